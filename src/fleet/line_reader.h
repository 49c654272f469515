#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "fleet/log_file.h"

namespace morvane::fleet {

// The lines of a log, one at a time, in a buffer of fixed size: memory stays
// the same whatever the size of the log.
class LineReader {
public:
    // Lines longer than this are not given; no access log writes them.
    static constexpr std::size_t kLongestLine = std::size_t{64} * 1024;

    explicit LineReader(LogFile& file, std::size_t bufferSize = std::size_t{1024} * 1024);

    // The next line without its line end (LF or CR LF; a last line without
    // one counts too); nullopt at the end of the log. The text stays valid
    // until the next call. A line longer than kLongestLine is given as
    // empty with tooLong() true.
    std::optional<std::string_view> next();

    // The number of the line given last, from 1.
    std::int64_t number() const { return number_; }
    bool tooLong() const { return tooLong_; }

private:
    bool fill();

    LogFile* file_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool ended_ = false;
    std::int64_t number_ = 0;
    bool tooLong_ = false;
};

}  // namespace morvane::fleet
