#include "update/file_run_log.h"

#include <memory>
#include <utility>

#include "base/failure.h"

namespace morvane {
namespace {

// `value` in `width` digits with leading zeros.
std::string digits(int value, std::size_t width) {
    std::string text = std::to_string(value < 0 ? 0 : value);
    if (text.size() < width) {
        text.insert(0, width - text.size(), '0');
    }
    return text;
}

std::string timestamp(const LocalTime& t) {
    return digits(t.year, 4) + "-" + digits(t.month, 2) + "-" + digits(t.day, 2) + " " +
           digits(t.hour, 2) + ":" + digits(t.minute, 2) + ":" + digits(t.second, 2) + "." +
           digits(t.millisecond, 3);
}

}  // namespace

FileRunLog::FileRunLog(FileSystem& files, Clock& clock, std::string path)
    : files_(files), clock_(clock), path_(std::move(path)) {}

void FileRunLog::note(const std::string& event) noexcept {
    try {
        std::string line = timestamp(clock_.now()) + " " + event;
        for (char& c : line) {
            if (c == '\r' || c == '\n') {
                c = ' ';
            }
        }
        line += "\r\n";
        append(line);
    } catch (...) {
        // The log is no part of the run's work: the line is lost, nothing else.
        size_.reset();
    }
}

void FileRunLog::append(const std::string& line) {
    if (!size_) {
        size_ = measure();
    }
    if (*size_ > kSizeLimit && !rotationFailed_) {
        try {
            files_.replaceFile(path_, path_ + ".1");
            size_ = 0;
        } catch (const Failure&) {
            rotationFailed_ = true;
        }
    }
    std::unique_ptr<WritableFile> file = files_.openForAppending(path_);
    file->write(line.data(), line.size());
    file->close();
    *size_ += static_cast<std::int64_t>(line.size());
}

std::int64_t FileRunLog::measure() {
    try {
        return files_.openForReading(path_, Sharing::ReadWrite)->size();
    } catch (const Failure&) {
        // No log yet; its folder may be missing too.
        const std::size_t separator = path_.rfind('\\');
        if (separator != std::string::npos && separator > 0) {
            const std::string folder = path_.substr(0, separator);
            if (!files_.entryKind(folder)) {
                files_.createFolder(folder);
            }
        }
        return 0;
    }
}

}  // namespace morvane
