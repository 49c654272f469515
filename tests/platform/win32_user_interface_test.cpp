// The Win32 user interface's parts that need no one at the screen.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/user_interface.h"

namespace morvane::win32 {
namespace {

TEST(Win32UserInterface, ProcessPendingMessagesEmptiesTheQueue) {
    Win32UserInterface ui;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // gives the thread its queue
    ASSERT_NE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0), FALSE);
    ASSERT_NE(PostThreadMessageW(GetCurrentThreadId(), WM_USER + 1, 0, 0), FALSE);
    ui.processPendingMessages();
    EXPECT_EQ(PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE), FALSE);
}

TEST(Win32UserInterface, CursorsAreTheSystemsOwn) {
    Win32UserInterface ui;
    ui.showWaitCursor();
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
    ui.showArrowCursor();
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
}

}  // namespace
}  // namespace morvane::win32

#endif
