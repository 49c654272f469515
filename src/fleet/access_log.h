#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fleet/pc_tally.h"

namespace morvane::fleet {

enum class LogFormat {
    Combined,  // nginx and Apache "combined", also with more fields after the User-Agent
    W3c,       // IIS W3C extended
};

// The formats fleet reads, in words, for messages.
extern const char* const kKnownFormats;

// What reading one log found.
struct LogReading {
    std::optional<LogFormat> format;  // nullopt for a log without lines
    std::int64_t lines = 0;
    // Lines that do not read as the log's format (or whose User-Agent begins
    // as the updater's but does not read as one): how many, the first one's
    // number and why.
    std::int64_t unreadable = 0;
    std::int64_t firstUnreadable = 0;
    std::string firstWhy;
    std::int64_t updaterRequests = 0;      // every request with the updater's User-Agent
    std::int64_t descriptionRequests = 0;  // its GETs of a description, handed to the tally
};

// Reads the access log at `path` (UTF-8, the host's form; plain or gzip)
// line by line and hands every GET of a revision description by the updater
// (see isDescriptionTarget for `descriptionName`) to `tally`. The format is
// told by the first lines. Throws std::runtime_error naming the file when it
// cannot be read or is of no known format.
LogReading readAccessLog(const std::string& path, std::string_view descriptionName, PcTally& tally);

}  // namespace morvane::fleet
