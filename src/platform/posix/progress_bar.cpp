#include "platform/posix/progress_bar.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

namespace morvane::posix {

TerminalProgressBar::TerminalProgressBar() : TerminalProgressBar(STDERR_FILENO) {}

TerminalProgressBar::TerminalProgressBar(int outputFd)
    : outputFd_(outputFd), terminal_(::isatty(outputFd) == 1) {}

TerminalProgressBar::~TerminalProgressBar() {
    close();
}

std::string TerminalProgressBar::render(float share, int width) {
    const double value = std::isnan(share) ? 0.0 : static_cast<double>(share);
    // A share of k/n computed in single precision may lie a hair below k/n.
    const double steps = std::floor(std::clamp(value, 0.0, 1.0) * width + 1e-6);
    const auto filled =
        static_cast<std::size_t>(std::clamp(steps, 0.0, static_cast<double>(width)));
    std::string line = "Aktualisierung [";
    line.append(filled, '#');
    line.append(static_cast<std::size_t>(width) - filled, ' ');
    char percent[32];
    if (std::isfinite(share)) {
        std::snprintf(percent, sizeof percent, "] %3.0f %%", value * 100.0);
    } else {
        std::snprintf(percent, sizeof percent, "]   ? %%");
    }
    return line + percent;
}

void TerminalProgressBar::show(const std::string&) {
    shown_ = true;
    write(terminal_ ? "\r" + render(share_) : render(share_) + "\n");
}

void TerminalProgressBar::setPercent(float share) {
    share_ = share;
    if (shown_) {
        write(terminal_ ? "\r" + render(share_) : render(share_) + "\n");
    }
}

void TerminalProgressBar::close() {
    if (shown_ && terminal_) {
        write("\n");
    }
    shown_ = false;
}

void TerminalProgressBar::write(const std::string& text) {
    // Only when the output takes the text at once: a pipe that nobody reads or
    // a terminal held by flow control must not stop the update.
    pollfd ready{outputFd_, POLLOUT, 0};
    int polled = 0;
    do {
        polled = ::poll(&ready, 1, 0);
    } while (polled < 0 && errno == EINTR);
    if (polled != 1 || (ready.revents & POLLOUT) == 0) {
        return;
    }
    // One write of a short line: a pipe that reports room takes it whole.
    ssize_t written = 0;
    do {
        written = ::write(outputFd_, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
}

}  // namespace morvane::posix
