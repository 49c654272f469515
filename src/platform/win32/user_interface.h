#pragma once

#include <string>

#include "platform/user_interface.h"

namespace morvane::win32 {

// Message boxes, the mouse cursor and the message queue of the calling
// (user-interface) thread.
class Win32UserInterface : public UserInterface {
public:
    // The box is owned by the thread's active window when there is one (the
    // progress window), so that it stays modal to it; otherwise it has no owner.
    // A box that cannot be shown answers OK, or No for a Yes/No box.
    int messageBox(const std::string& text, int style, const std::string& caption) override;
    void showWaitCursor() override;
    void showArrowCursor() override;
    void processPendingMessages() override;
};

}  // namespace morvane::win32
