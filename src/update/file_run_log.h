#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/run_log.h"

namespace morvane {

// The run log as a text file: UTF-8, "\r\n" line ends, each line the local
// time with milliseconds ("2024-03-05 14:07:09.042"), a blank and the event.
// Lines are appended, so the log goes on across runs; once the file has
// passed kSizeLimit it becomes `<path>.1` (replacing an older one) and a new
// file begins, so about twice the limit is kept at most; when that fails
// (the old file held open elsewhere) the lines go on into the current file
// for the rest of the run. The file is opened
// for every line and closed again: a run that ends abruptly loses nothing it
// noted, and nothing holds the file between lines. A folder that holds the
// log is created when it is missing. Whatever fails is dropped.
class FileRunLog : public RunLog {
public:
    static constexpr std::int64_t kSizeLimit = std::int64_t{1024} * 1024;

    FileRunLog(FileSystem& files, Clock& clock, std::string path);

    void note(const std::string& event) noexcept override;

private:
    void append(const std::string& line);
    std::int64_t measure();

    FileSystem& files_;
    Clock& clock_;
    std::string path_;
    // What the file holds as far as this run knows; measured again after a
    // failure.
    std::optional<std::int64_t> size_;
    bool rotationFailed_ = false;
};

}  // namespace morvane
