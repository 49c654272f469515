#pragma once

#include <string>

#include "platform/run_log.h"
#include "platform/user_interface.h"

namespace morvane {

// The user interface of a prefetch, which runs unseen: no box opens, each
// one it would have shown is logged and answered with the button that
// changes nothing; no cursor changes.
class SilentUserInterface : public UserInterface {
public:
    explicit SilentUserInterface(RunLog& log) : log_(log) {}

    box::Answer messageBox(const std::string& text, box::Style style,
                           const std::string& caption) override {
        log_.note(
            "Prefetch: no box shown: " + (caption.empty() ? std::string(kAppTitle) : caption) +
            ": " + text.substr(0, text.find('\r')));
        return box::unattendedAnswer(style.buttons);
    }
    void showWaitCursor() override {}
    void showArrowCursor() override {}
    void processPendingMessages() override {}

private:
    RunLog& log_;
};

}  // namespace morvane
