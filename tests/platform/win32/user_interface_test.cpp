// The Win32 user interface's parts that need no one at the screen; a box is
// answered by a thread of the test.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <thread>
#include <utility>

#include "base/progress_geometry.h"
#include "platform/win32/progress_window.h"
#include "platform/win32/user_interface.h"
#include "support/wine_host.h"

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

BOOL CALLBACK takeMessageBox(HWND window, LPARAM found) {
    wchar_t name[16] = {};
    if (GetClassNameW(window, name, 16) > 0 && lstrcmpW(name, L"#32770") == 0 &&
        IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The message box that `thread` shows, once it is there (up to 10 s).
HWND messageBoxOf(DWORD thread) {
    for (int i = 0; i < 200; ++i) {
        HWND found = nullptr;
        EnumThreadWindows(thread, takeMessageBox, reinterpret_cast<LPARAM>(&found));
        if (found != nullptr) {
            return found;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

TEST(Win32UserInterface, BoxShownWithTheProgressWindowBelongsToItAndComesToTheFront) {
    Win32ProgressWindow progress;
    progress.show("");
    const HWND window = progress.handle();
    ASSERT_NE(window, nullptr);
    // Another window of the thread is the active one, as after a click on it.
    const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                       0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    SetActiveWindow(other);
    Win32UserInterface ui([&progress] { return progress.handle(); });
    const DWORD thread = GetCurrentThreadId();
    HWND box = nullptr;
    HWND owner = nullptr;
    HWND foreground = nullptr;
    LONG_PTR extendedStyle = 0;
    std::thread answerer([&] {
        box = messageBoxOf(thread);
        if (box == nullptr) {
            return;
        }
        owner = GetWindow(box, GW_OWNER);
        extendedStyle = GetWindowLongPtrW(box, GWL_EXSTYLE);
        for (int i = 0; i < 40 && GetForegroundWindow() != box; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        foreground = GetForegroundWindow();
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });

    const box::Answer answer = ui.messageBox("Aktualisierung", box::Information, "");

    answerer.join();
    progress.close();
    DestroyWindow(other);
    EXPECT_EQ(answer, box::Ok);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(owner, window);
    EXPECT_EQ(foreground, box);
    // Wine's message boxes ignore MB_TOPMOST; the test kit judges it on Windows.
    if (!test::wineVersion()) {
        EXPECT_NE(extendedStyle & WS_EX_TOPMOST, 0) << "the box may fall behind other programs";
    }
}

// Windows knows the boxes by their style numbers: buttons plus icon.
TEST(Win32UserInterface, EveryBoxHasItsStyleAsksForTheForegroundAndStaysOnTop) {
    const std::pair<box::Style, UINT> styles[] = {
        {box::Plain, 0},        {box::Critical, 16},         {box::Exclamation, 48},
        {box::Information, 64}, {box::YesNoInformation, 68}, {box::RetryCancelWarning, 53}};
    for (const auto& [style, number] : styles) {
        SCOPED_TRACE(number);
        const UINT flags = messageBoxFlags(style);
        EXPECT_EQ(flags & ~UINT{MB_SETFOREGROUND | MB_TOPMOST}, number);
        EXPECT_EQ(flags & (MB_SETFOREGROUND | MB_TOPMOST), UINT{MB_SETFOREGROUND | MB_TOPMOST});
    }
}

TEST(Win32UserInterface, ThePressedButtonIsTheAnswerAndNoBoxChangesNothing) {
    struct Case {
        int pressed;
        box::Buttons buttons;
        box::Answer answer;
    };
    const Case cases[] = {
        {IDOK, box::Buttons::Ok, box::Ok},
        {IDYES, box::Buttons::YesNo, box::Yes},
        {IDNO, box::Buttons::YesNo, box::No},
        {IDRETRY, box::Buttons::RetryCancel, box::Retry},
        {IDCANCEL, box::Buttons::RetryCancel, box::Cancel},
        {0, box::Buttons::Ok, box::Ok},
        {0, box::Buttons::YesNo, box::No},
        {0, box::Buttons::RetryCancel, box::Cancel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pressed);
        EXPECT_EQ(answerOf(c.pressed, c.buttons), c.answer);
    }
}

TEST(Win32ProgressWindow, ShowsAtTheDesignedSizeForTheScreenWithoutTakingTheFocus) {
    const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                       0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    SetActiveWindow(other);
    Win32ProgressWindow progress;
    progress.show("");
    const HWND window = progress.handle();
    ASSERT_NE(window, nullptr);
    const HDC screen = GetDC(nullptr);
    const PixelSize expected =
        progressDesignSize(GetDeviceCaps(screen, LOGPIXELSX), GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    RECT client{};
    GetClientRect(window, &client);
    const bool visible = IsWindowVisible(window) != FALSE;
    const bool zoomedOrIconic = IsZoomed(window) != FALSE || IsIconic(window) != FALSE;
    const HWND active = GetActiveWindow();
    progress.close();
    DestroyWindow(other);
    EXPECT_TRUE(visible);
    EXPECT_FALSE(zoomedOrIconic);
    EXPECT_EQ(active, other);
    EXPECT_EQ(client.right, expected.width);
    EXPECT_EQ(client.bottom, expected.height);
}

}  // namespace
}  // namespace morvane::win32
