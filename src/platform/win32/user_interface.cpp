#include "platform/win32/user_interface.h"

#include <windows.h>

#include "base/win32/wide.h"
#include "platform/win32/message_pump.h"

namespace morvane::win32 {

namespace {

UINT buttonFlags(box::Buttons buttons) noexcept {
    return buttons == box::Buttons::YesNo         ? MB_YESNO
           : buttons == box::Buttons::RetryCancel ? MB_RETRYCANCEL
                                                  : MB_OK;
}

UINT iconFlags(box::Icon icon) noexcept {
    switch (icon) {
        case box::Icon::Critical:
            return MB_ICONERROR;
        case box::Icon::Exclamation:
            return MB_ICONWARNING;
        case box::Icon::Information:
            return MB_ICONINFORMATION;
        case box::Icon::None:
            break;
    }
    return 0;
}

}  // namespace

// Windows refuses the foreground while the user works in another program (the
// workbook open in the spreadsheet program), and a box hidden behind that
// would stall the run: topmost, it shows all the same.
UINT messageBoxFlags(box::Style style) noexcept {
    return buttonFlags(style.buttons) | iconFlags(style.icon) | MB_SETFOREGROUND | MB_TOPMOST;
}

box::Answer answerOf(int pressed, box::Buttons buttons) noexcept {
    switch (pressed) {
        case IDOK:
            return box::Ok;
        case IDCANCEL:
            return box::Cancel;
        case IDRETRY:
            return box::Retry;
        case IDYES:
            return box::Yes;
        case IDNO:
            return box::No;
        default:
            // No box could be shown (no desktop): it counts as answered with
            // the button that changes nothing, as nobody could have pressed
            // another.
            return box::unattendedAnswer(buttons);
    }
}

box::Answer Win32UserInterface::messageBox(const std::string& text, box::Style style,
                                           const std::string& caption) {
    const std::wstring wideText = wide(text);
    const std::wstring wideCaption = wide(caption.empty() ? std::string(kAppTitle) : caption);
    HWND owner = owner_ ? owner_() : nullptr;
    if (owner == nullptr) {
        owner = GetActiveWindow();
    }
    const int pressed =
        MessageBoxW(owner, wideText.c_str(), wideCaption.c_str(), messageBoxFlags(style));
    return answerOf(pressed, style.buttons);
}

// The updater mostly has no window of its own, so the cursor is set for the
// thread directly; it shows over the updater's windows and message boxes.
void Win32UserInterface::showWaitCursor() {
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void Win32UserInterface::showArrowCursor() {
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

void Win32UserInterface::processPendingMessages() {
    dispatchPendingMessages();
}

}  // namespace morvane::win32
