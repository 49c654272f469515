// KitProbe.exe: the test kit's helper on a Windows PC. It tells run-tests.cmd
// what the report needs to know about the PC and runs the checks that only a
// real Windows judges, through the updater's own platform layer:
//
//   KitProbe.exe wine              exit 0 under Wine (prints its version), else 1
//   KitProbe.exe dpi               prints the screen's dots per inch
//   KitProbe.exe acp               prints the ANSI code page
//   KitProbe.exe console-code-page PROGRAM
//                                  PROGRAM --help leaves the console's output
//                                  code page as it found it
//   KitProbe.exe box-to-front      a box of a run comes in front of another
//                                  program that holds the foreground
//   KitProbe.exe scanner-holder    a virus scanner's handle (sharing read,
//                                  write and delete) does not make a file "in
//                                  use", a holder without delete sharing does
//   KitProbe.exe other-program     (used by box-to-front) a window that takes
//                                  the foreground until it is closed
//
// Checks exit 0 when passed and 1 when failed, printing why; 2: wrong arguments.

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>

#include "base/failure.h"
#include "base/win32/unique_handle.h"
#include "base/win32/wide.h"
#include "platform/user_interface.h"
#include "platform/win32/file_system.h"
#include "platform/win32/user_interface.h"
#include "support/wine_host.h"

namespace {

using morvane::win32::narrow;
using morvane::win32::UniqueHandle;

constexpr wchar_t kOtherClass[] = L"MorvaneKitOtherProgram";
constexpr DWORD kOtherLifetimeMilliseconds = 60000;

int wine() {
    const auto version = morvane::test::wineVersion();
    if (!version) {
        std::puts("Windows");
        return 1;
    }
    std::printf("Wine %s\n", version->c_str());
    return 0;
}

int dpi() {
    // Unaware programs are told 96 on a scaled screen; the updater is aware.
    SetProcessDPIAware();
    const HDC screen = GetDC(nullptr);
    std::printf("%d x %d\n", GetDeviceCaps(screen, LOGPIXELSX), GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    return 0;
}

// ---- the console's code page ------------------------------------------------------

// Starts `commandLine` in this console and waits for it (up to a minute).
bool runInConsole(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        std::printf("cannot start %s: error %lu\n", narrow(commandLine).c_str(), GetLastError());
        return false;
    }
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    return WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0;
}

int consoleCodePage(const std::wstring& program) {
    if (GetConsoleOutputCP() == 0) {
        // Started without a usable console (as in CI): one of its own.
        FreeConsole();
        if (!AllocConsole()) {
            std::printf("no console: error %lu\n", GetLastError());
        }
    }
    const UINT before = GetConsoleOutputCP();
    const UINT page = before == 850 ? 437 : 850;
    if (!SetConsoleOutputCP(page)) {
        std::printf("no console whose code page could be set: error %lu\n", GetLastError());
        return 3;
    }
    const bool ran = runInConsole(L"\"" + program + L"\" --help");
    const UINT after = GetConsoleOutputCP();
    SetConsoleOutputCP(before);
    std::printf("code page %u, after the program %u\n", page, after);
    return ran && after == page ? 0 : 1;
}

// ---- a box in front of another program ------------------------------------------

LRESULT CALLBACK otherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The program the user works in: a window that takes the foreground.
int otherProgram() {
    WNDCLASSW cls{};
    cls.lpfnWndProc = otherWindowProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = kOtherClass;
    cls.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    RegisterClassW(&cls);
    const HWND window =
        CreateWindowExW(0, kOtherClass, L"Anderes Programm", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                        100, 640, 480, nullptr, nullptr, cls.hInstance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    SetForegroundWindow(window);
    SetTimer(window, 1, kOtherLifetimeMilliseconds, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) {
            DestroyWindow(window);
        }
        DispatchMessageW(&message);
    }
    return 0;
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

bool above(HWND window, HWND other) {
    for (HWND below = GetWindow(window, GW_HWNDNEXT); below != nullptr;
         below = GetWindow(below, GW_HWNDNEXT)) {
        if (below == other) {
            return true;
        }
    }
    return false;
}

int boxToFront() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" other-program";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        std::printf("cannot start the other program: error %lu\n", GetLastError());
        return 1;
    }
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    HWND other = nullptr;
    for (int i = 0; i < 100 && (other == nullptr || GetForegroundWindow() != other); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        other = FindWindowW(kOtherClass, nullptr);
    }
    if (other == nullptr) {
        std::puts("the other program shows no window");
        return 1;
    }
    const bool otherInFront = GetForegroundWindow() == other;

    const DWORD boxThread = GetCurrentThreadId();
    HWND box = nullptr;
    bool inFront = false;
    bool foreground = false;
    std::thread answerer([&] {
        for (int i = 0; i < 200 && box == nullptr; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EnumThreadWindows(boxThread, takeMessageBox, reinterpret_cast<LPARAM>(&box));
        }
        if (box == nullptr) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // settled
        inFront = above(box, other);
        foreground = GetForegroundWindow() == box;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    morvane::win32::Win32UserInterface ui;
    ui.messageBox("Die Datei ist in Verwendung.", morvane::box::Exclamation, "");
    answerer.join();
    PostMessageW(other, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.get(), 10000);

    std::printf("other program in the foreground before the box: %s\n",
                otherInFront ? "yes" : "no");
    std::printf("box in front of it: %s; box in the foreground: %s\n", inFront ? "yes" : "no",
                foreground ? "yes" : "no");
    if (box == nullptr) {
        std::puts("no box was shown");
        return 1;
    }
    return inFront ? 0 : 1;
}

// ---- a scanner's handle ------------------------------------------------------------

UniqueHandle holdFile(const std::wstring& file, DWORD sharing) {
    return UniqueHandle(CreateFileW(file.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

int scannerHolder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"morvane-kit-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring file = folder + L"\\Mappe.xlsm";
    const std::wstring moved = folder + L"\\Mappe.neu";
    {
        const UniqueHandle created(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!created.valid()) {
            std::printf("cannot create %s: error %lu\n", narrow(file).c_str(), GetLastError());
            return 1;
        }
    }
    morvane::win32::Win32FileSystem files;
    bool passed = true;
    try {
        {
            const UniqueHandle scanner =
                holdFile(file, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
            const bool inUse = files.inUse(narrow(file));
            std::printf("held as a scanner holds it: %s\n", inUse ? "in use (wrong)" : "free");
            passed = passed && scanner.valid() && !inUse;
            files.moveFile(narrow(file), narrow(moved));
            files.moveFile(narrow(moved), narrow(file));
            std::puts("moved and moved back while the scanner held it");
        }
        {
            const UniqueHandle program = holdFile(file, FILE_SHARE_READ | FILE_SHARE_WRITE);
            const bool inUse = files.inUse(narrow(file));
            std::printf("held by a program that shares no delete: %s\n",
                        inUse ? "in use" : "free (wrong)");
            passed = passed && program.valid() && inUse;
        }
    } catch (const morvane::Failure& failure) {
        std::printf("failure %d: %s\n", failure.number(), failure.description().c_str());
        passed = false;
    }
    DeleteFileW(file.c_str());
    DeleteFileW(moved.c_str());
    RemoveDirectoryW(folder.c_str());
    return passed ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"console-code-page") {
        return consoleCodePage(argv[2]);
    }
    if (argc != 2) {
        std::fputs(
            "usage: KitProbe wine|dpi|acp|box-to-front|scanner-holder|"
            "console-code-page PROGRAM\n",
            stderr);
        return 2;
    }
    const std::wstring command = argv[1];
    try {
        if (command == L"wine") return wine();
        if (command == L"dpi") return dpi();
        if (command == L"acp") {
            std::printf("%u\n", GetACP());
            return 0;
        }
        if (command == L"box-to-front") return boxToFront();
        if (command == L"scanner-holder") return scannerHolder();
        if (command == L"other-program") return otherProgram();
    } catch (const std::exception& e) {
        std::printf("%s\n", e.what());
        return 1;
    }
    std::fputs("unknown command\n", stderr);
    return 2;
}
