#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvane::fleet {

// Times in access logs and in the fleet's reports: seconds since
// 1970-01-01 00:00:00 UTC, without leap seconds.

inline constexpr std::int64_t kSecondsPerDay = std::int64_t{24} * 60 * 60;

// The time of a "combined" log line, as between its brackets:
// "08/Dec/2026:10:25:00 +0100". nullopt for any other text.
std::optional<std::int64_t> combinedTime(std::string_view text);

// The time of a W3C extended log line from its "date" and "time" fields
// ("2026-12-08", "10:25:00", UTC; fractions of a second ignored).
std::optional<std::int64_t> w3cTime(std::string_view date, std::string_view time);

// A moment shown in a time zone whose offset from UTC is `offsetSeconds`:
// "2026-12-08 10:25" for the terminal and the page, "08.12.2026 10:25:00"
// as a German Excel reads a date and time.
std::string isoMinute(std::int64_t time, std::int64_t offsetSeconds);
std::string germanDateTime(std::int64_t time, std::int64_t offsetSeconds);

// The offset from UTC of the host's local time at `time`.
std::int64_t hostOffsetSeconds(std::int64_t time);

}  // namespace morvane::fleet
