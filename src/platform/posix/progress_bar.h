#pragma once

#include <string>

#include "platform/progress_view.h"

namespace morvane::posix {

// The progress window on a terminal: one line such as
// "Aktualisierung [##########          ]  50 %", redrawn in place with "\r" on
// every setPercent while it is shown. When the output is no terminal, every
// update is one line of its own. The picture is not shown.
//
// Never blocks the update: an update that the output cannot take at once is
// dropped, and write errors are ignored.
class TerminalProgressBar final : public ProgressView {
public:
    // Draws on standard error.
    TerminalProgressBar();
    // Draws on `outputFd`, which stays owned by the caller.
    explicit TerminalProgressBar(int outputFd);
    ~TerminalProgressBar() override;
    TerminalProgressBar(const TerminalProgressBar&) = delete;
    TerminalProgressBar& operator=(const TerminalProgressBar&) = delete;

    void show(const std::string& picturePath) override;
    void setPercent(float share) override;
    // Ends the line on a terminal; nothing is drawn afterwards until show().
    void close() override;

    // The line for a share, without line end: the bar is filled in whole
    // steps of 1/width, within 0..width; the number is the share in percent,
    // unlimited and rounded to whole numbers.
    static std::string render(float share, int width = 20);

private:
    void write(const std::string& text);

    int outputFd_;
    bool terminal_;
    bool shown_ = false;
    float share_ = 0.0f;
};

}  // namespace morvane::posix
