// The progress window keeps answering while a download waits for a silent
// server: Windows marks a window that does not answer for 5 s as not
// responding and ghosts it.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "download/download_module.h"
#include "platform/win32/file_system.h"
#include "platform/win32/progress_window.h"
#include "platform/win32/user_interface.h"
#include "platform/win32/wininet_http.h"
#include "support/scripted_http_server.h"
#include "support/temp_folder.h"

namespace morvane::win32 {
namespace {

TEST(ResponsiveWindow, AnswersThroughoutWhileTheServerSendsNothingForThreeSeconds) {
    test::ScriptedReply silent = test::replyWithLength(200, "abc");
    silent.delay = std::chrono::seconds(3);
    test::ScriptedHttpServer server([&](const test::RecordedRequest&) { return silent; });
    test::TempFolder temp;
    Win32ProgressWindow window;
    window.show(temp.file("no picture.gif"));
    const HWND handle = window.handle();
    ASSERT_NE(handle, nullptr);

    // Another thread asks the window as Windows does before it ghosts it.
    std::atomic<bool> downloading{true};
    int asked = 0;
    int unanswered = 0;
    std::thread asker([&] {
        while (downloading) {
            // A thread that waits without handling messages misses both asks;
            // a moment without the processor on a busy machine only one.
            DWORD_PTR result = 0;
            if (SendMessageTimeoutW(handle, WM_NULL, 0, 0, SMTO_NORMAL, 200, &result) == 0 &&
                SendMessageTimeoutW(handle, WM_NULL, 0, 0, SMTO_NORMAL, 200, &result) == 0) {
                ++unanswered;
            }
            ++asked;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    Win32UserInterface ui;
    WinInetHttp http;
    Win32FileSystem files;
    const auto start = std::chrono::steady_clock::now();

    const bool stored =
        Download(server.url("/file.bin"), temp.file("file.bin"), http, files, ui).arrived();

    const auto took = std::chrono::steady_clock::now() - start;
    downloading = false;
    asker.join();
    window.close();
    EXPECT_TRUE(stored);
    EXPECT_GE(took, std::chrono::milliseconds(2'900));
    EXPECT_GE(asked, 10);
    // A wait without handling messages leaves nearly every ask of the three
    // silent seconds unanswered; a loaded machine may drop a single one.
    EXPECT_LE(unanswered * 10, asked) << unanswered << " of " << asked;
}

}  // namespace
}  // namespace morvane::win32
