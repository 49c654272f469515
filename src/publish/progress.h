#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace morvane::publish {

// How a long run of make or check shows how far it is, on stderr.
enum class ProgressMode {
    Quiet,
    Rewrite,  // one line rewritten in place, for a terminal
    Lines,    // a line now and then, for a log
};

// Files and bytes done of a known total, shown only once the run has taken
// longer than a second, so short runs stay quiet.
class Progress {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    Progress(std::ostream& err, ProgressMode mode, std::string what, Clock clock = {});
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void setTotal(std::uint64_t files, std::uint64_t bytes);
    void addBytes(std::uint64_t count);
    void fileDone();
    // Shows the last state if anything was shown, and ends the line.
    void finish();

private:
    void show(bool last);

    std::ostream& err_;
    ProgressMode mode_;
    std::string what_;
    Clock clock_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point shownAt_{};
    bool shown_ = false;
    bool finished_ = false;
    std::size_t width_ = 0;
    std::uint64_t files_ = 0, totalFiles_ = 0, bytes_ = 0, totalBytes_ = 0;
};

}  // namespace morvane::publish
