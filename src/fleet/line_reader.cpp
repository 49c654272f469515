#include "fleet/line_reader.h"

#include <algorithm>
#include <cstring>

namespace morvane::fleet {

LineReader::LineReader(LogFile& file, std::size_t bufferSize)
    : file_(&file), buffer_(std::max(bufferSize, kLongestLine + 1)) {}

// Moves the unread bytes to the front and reads more behind them; false when
// nothing more came.
bool LineReader::fill() {
    if (ended_) {
        return false;
    }
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    const std::size_t got = file_->read(buffer_.data() + end_, buffer_.size() - end_);
    end_ += got;
    ended_ = got == 0;
    return got > 0;
}

std::optional<std::string_view> LineReader::next() {
    tooLong_ = false;
    std::size_t searched = begin_;
    for (;;) {
        const void* found = std::memchr(buffer_.data() + searched, '\n', end_ - searched);
        if (found != nullptr) {
            const auto newline =
                static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data());
            std::string_view line(buffer_.data() + begin_, newline - begin_);
            begin_ = newline + 1;
            ++number_;
            if (line.size() > kLongestLine) {
                tooLong_ = true;
                return std::string_view();
            }
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            return line;
        }
        if (end_ - begin_ > kLongestLine) {
            // Too long: skip to its end, whatever it holds.
            tooLong_ = true;
            begin_ = end_;
            while (fill()) {
                const void* end = std::memchr(buffer_.data(), '\n', end_);
                if (end != nullptr) {
                    begin_ =
                        static_cast<std::size_t>(static_cast<const char*>(end) - buffer_.data()) +
                        1;
                    break;
                }
                begin_ = end_;
            }
            ++number_;
            return std::string_view();
        }
        const std::size_t unread = end_ - begin_;
        if (!fill()) {
            if (end_ == begin_) {
                return std::nullopt;
            }
            // The last line, without a line end.
            std::string_view line(buffer_.data() + begin_, end_ - begin_);
            begin_ = end_;
            ++number_;
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            return line;
        }
        searched = begin_ + unread;
    }
}

}  // namespace morvane::fleet
