#include "platform/win32/user_interface.h"

#include <windows.h>

#include "platform/win32/message_pump.h"
#include "platform/win32/wide.h"

namespace morvane::win32 {

// The style's bits select buttons and icon as given. Windows refuses the
// foreground while the user works in another program (the workbook open in
// the spreadsheet program), and a box hidden behind that would stall the run:
// topmost, it shows all the same.
UINT messageBoxFlags(int style) noexcept {
    return static_cast<UINT>(style) | MB_SETFOREGROUND | MB_TOPMOST;
}

int Win32UserInterface::messageBox(const std::string& text, int style, const std::string& caption) {
    const std::wstring wideText = wide(text);
    const std::wstring wideCaption = wide(caption.empty() ? std::string(kAppTitle) : caption);
    HWND owner = owner_ ? owner_() : nullptr;
    if (owner == nullptr) {
        owner = GetActiveWindow();
    }
    const int answer =
        MessageBoxW(owner, wideText.c_str(), wideCaption.c_str(), messageBoxFlags(style));
    if (answer == 0) {
        // No box could be shown (no desktop): it counts as answered with the
        // button that changes nothing, as nobody could have pressed another.
        switch (style & MB_TYPEMASK) {
            case MB_YESNO:
                return box::No;
            case MB_RETRYCANCEL:
                return box::Cancel;
            default:
                return box::Ok;
        }
    }
    return answer;
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
