#include "publish/progress.h"

#include <utility>

#include "publish/quantities.h"

namespace morvane::publish {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kQuietStart{1000};
constexpr milliseconds kRewriteEvery{200};
constexpr milliseconds kLineEvery{5000};

}  // namespace

Progress::Progress(std::ostream& err, ProgressMode mode, std::string what, Clock clock)
    : err_(err),
      mode_(mode),
      what_(std::move(what)),
      clock_(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); })),
      started_(clock_()) {}

Progress::~Progress() {
    finish();
}

void Progress::setTotal(std::uint64_t files, std::uint64_t bytes) {
    totalFiles_ = files;
    totalBytes_ = bytes;
}

void Progress::addBytes(std::uint64_t count) {
    bytes_ += count;
    show(false);
}

void Progress::fileDone() {
    ++files_;
    show(false);
}

void Progress::finish() {
    if (!finished_ && shown_) {
        show(true);
        if (mode_ == ProgressMode::Rewrite) {
            err_ << "\n";
        }
        err_.flush();
    }
    finished_ = true;
}

void Progress::show(bool last) {
    if (mode_ == ProgressMode::Quiet || finished_) {
        return;
    }
    const auto now = clock_();
    const milliseconds every = mode_ == ProgressMode::Rewrite ? kRewriteEvery : kLineEvery;
    if (!last && (now - started_ < kQuietStart || (shown_ && now - shownAt_ < every))) {
        return;
    }
    std::string text = what_ + ": " + grouped(files_) + " of " + grouped(totalFiles_) + " files, " +
                       inMebibytes(bytes_) + " of " + inMebibytes(totalBytes_);
    if (mode_ == ProgressMode::Rewrite) {
        const std::size_t width = text.size();
        text.append(width_ > width ? width_ - width : 0, ' ');
        width_ = width;
        err_ << "\r" << text;
    } else {
        err_ << text << "\n";
    }
    err_.flush();
    shown_ = true;
    shownAt_ = now;
}

}  // namespace morvane::publish
