#pragma once

#include <string>

#include "platform/run_log.h"
#include "platform/user_interface.h"

namespace morvane {

// The user interface with every message box in the run log: its caption and
// the first line of its text when it opens, the button pressed when it
// closes. Everything else passes through unchanged.
class LoggedUserInterface : public UserInterface {
public:
    LoggedUserInterface(UserInterface& inner, RunLog& log) : inner_(inner), log_(log) {}

    box::Answer messageBox(const std::string& text, box::Style style,
                           const std::string& caption) override;
    void showWaitCursor() override { inner_.showWaitCursor(); }
    void showArrowCursor() override { inner_.showArrowCursor(); }
    void processPendingMessages() override { inner_.processPendingMessages(); }

private:
    UserInterface& inner_;
    RunLog& log_;
};

// The name of a message box answer as the log shows it ("OK", "Yes", ...).
std::string answerName(box::Answer answer);

}  // namespace morvane
