#pragma once

#include <string>

#include "platform/user_interface.h"

namespace morvane::posix {

// Message boxes on the terminal: the box is drawn as text with its caption,
// message and buttons, and the answer is read from the terminal (Enter for
// OK; j/y or n for Yes/No; w/r or a/c for Retry/Cancel). Without a terminal
// to ask (input not a terminal, closed or at its end) the box is only printed
// and answered with the button that changes nothing: OK, No or Cancel, so
// that an unattended run never waits.
class TerminalUserInterface : public UserInterface {
public:
    // Asks on standard input when it is a terminal; draws on standard output.
    TerminalUserInterface();
    // Asks on `inputFd` when it is a terminal; draws on `outputFd`. The
    // descriptors stay owned by the caller.
    TerminalUserInterface(int inputFd, int outputFd);

    box::Answer messageBox(const std::string& text, box::Style style,
                           const std::string& caption) override;
    // There is no mouse cursor on a terminal.
    void showWaitCursor() override {}
    void showArrowCursor() override {}
    // Nothing is queued: the terminal is read only while a box asks.
    void processPendingMessages() override {}

    // The box as drawn, without the question after it.
    static std::string render(const std::string& text, box::Style style,
                              const std::string& caption);

private:
    void print(const std::string& text);
    // One line from the terminal, without its line end; false at its end or on
    // a read failure.
    bool readLine(std::string& line);

    int inputFd_;
    int outputFd_;
};

}  // namespace morvane::posix
