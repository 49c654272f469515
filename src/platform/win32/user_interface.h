#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "platform/user_interface.h"

namespace morvane::win32 {

// Message boxes, the mouse cursor and the message queue of the calling
// (user-interface) thread.
class Win32UserInterface : public UserInterface {
public:
    // `owner` names the window that owns the boxes while it is shown (the
    // progress window; nullptr while there is none).
    explicit Win32UserInterface(std::function<HWND()> owner = {}) : owner_(std::move(owner)) {}

    // The box is owned by the owner window while there is one, else by the
    // thread's active window if any, so that it stays modal to it and in front
    // of it. Every box asks for the foreground and stays above other programs'
    // windows (topmost), so it never waits unseen behind them even when
    // Windows refuses the foreground. A box that cannot be shown answers with
    // the button that changes nothing.
    box::Answer messageBox(const std::string& text, box::Style style,
                           const std::string& caption) override;
    void showWaitCursor() override;
    void showArrowCursor() override;
    void processPendingMessages() override;

private:
    std::function<HWND()> owner_;
};

// The flags MessageBoxW gets for a box of `style`: its buttons and icon
// (MB_OK, MB_YESNO, MB_RETRYCANCEL; MB_ICONERROR, MB_ICONWARNING,
// MB_ICONINFORMATION), and the box asks for the foreground and stays above
// other programs' windows.
UINT messageBoxFlags(box::Style style) noexcept;

// The answer for what MessageBoxW returned (IDOK, IDYES, ...) on a box with
// `buttons`; 0, the box not shown, is the button that changes nothing.
box::Answer answerOf(int pressed, box::Buttons buttons) noexcept;

}  // namespace morvane::win32
