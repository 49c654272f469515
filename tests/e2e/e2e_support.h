#pragma once

// What the end-to-end runs of Updater.exe are made of: child processes that
// are always ended, the stand-in spreadsheet program's registration, the
// update server, the records of the box driver and of EXCEL.EXE, pictures.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/win32/unique_handle.h"
#include "base/win32/wide.h"
#include "support/scripted_http_server.h"

namespace morvane::e2e {

// ---- texts and paths ----------------------------------------------------------------

using win32::narrow;
using win32::wide;

// UTF-8 text in the system's ANSI code page, as the updater reads its files.
std::string ansi(const std::string& utf8);

// ---- processes ------------------------------------------------------------------------

// A started program, ended (killed if need be) when the object goes.
class ChildProcess {
public:
    ChildProcess() = default;
    // Starts `commandLine` in `folder` (the caller's current folder when
    // empty), with its main window shown normally, or as `showCommand` asks
    // (SW_SHOWMAXIMIZED: as a shortcut set to run maximized starts it). Fails
    // the test and returns an empty object when the start fails.
    static ChildProcess start(const std::wstring& commandLine, const std::wstring& folder = {},
                              std::optional<WORD> showCommand = std::nullopt);
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    bool started() const { return process_.valid(); }
    DWORD id() const { return id_; }
    // True when the program ended within `timeout`.
    bool wait(std::chrono::milliseconds timeout) const;
    // The exit code once it ended; STILL_ACTIVE before.
    DWORD exitCode() const;
    // Ends the program now if it still runs.
    void kill();

private:
    win32::UniqueHandle process_;
    DWORD id_ = 0;
};

// Ends every running program whose image is one of `images` or lies in
// `folder` (compared without regard to case). Returns how many were ended.
int killProcesses(const std::vector<std::wstring>& images, const std::wstring& folder);
// True while a program with image `image` runs.
bool isRunning(const std::wstring& image);

// One start of EXCEL.EXE as it recorded it.
struct ExcelStart {
    std::string commandLine;
    int showWindow = -1;
    int flags = -1;
};
std::vector<ExcelStart> readExcelStarts(const std::wstring& recordFile);

// ---- the box driver's record --------------------------------------------------------

struct BoxSeen {
    DWORD processId = 0;
    std::string caption;
    std::string text;
    std::string buttons;
    std::string icon;
    std::string pressed;
    std::string picture;
};

struct WindowSeen {
    DWORD processId = 0;
    std::string className;
    std::string title;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    DWORD style = 0;
    int frame = 0;
    std::string picture;
    std::string bitmap;
};

struct DriverRecord {
    std::vector<std::string> seenCaptions;
    std::vector<BoxSeen> boxes;
    std::vector<WindowSeen> windows;
};
DriverRecord readDriverRecord(const std::wstring& recordFile);

// ---- pictures ---------------------------------------------------------------------------

// A 24-bit picture read from a BMP file that the box driver wrote.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;  // rows from the top

    bool empty() const { return pixels.empty(); }
    COLORREF at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};
Bitmap readBitmap(const std::string& file);

// A GIF of `width` × `height` pixels: a vertical gradient of 120 colours
// (pictureColour tells which one a row has) under a light band at the top.
std::string makeGradientGif(int width, int height);
COLORREF pictureColour(int row, int height);

// ---- the update server -------------------------------------------------------------

// Files served over HTTP on 127.0.0.1, on port 80 when it can be had (so the
// size probe reaches the server) and on a free port otherwise.
class UpdateServer {
public:
    struct File {
        int status = 200;
        std::string body;
        // Pause before the body of a GET, so that the progress window shows
        // each share for a while.
        std::chrono::milliseconds delay{0};
    };

    UpdateServer();
    ~UpdateServer();
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    void put(const std::string& path, File file);
    void put(const std::string& path, const std::string& body) { put(path, File{200, body, {}}); }
    std::string url(const std::string& path) const { return server_->url(path); }
    bool onPort80() const { return server_->port() == 80; }
    std::vector<test::RecordedRequest> requests() const { return server_->requests(); }

private:
    test::ScriptedReply answer(const test::RecordedRequest& request);

    mutable std::mutex mutex_;
    std::map<std::string, File> files_;
    std::unique_ptr<test::ScriptedHttpServer> server_;
};

}  // namespace morvane::e2e
