// KitProbe.exe: the test kit's helper on a Windows PC. It tells run-tests.cmd
// what the report needs to know about the PC and runs the checks that only a
// real Windows judges, through the updater's own platform layer:
//
//   KitProbe.exe wine              exit 0 under Wine (prints its version), else 1
//   KitProbe.exe dpi               prints the screen's dots per inch
//   KitProbe.exe acp               prints the ANSI code page
//   KitProbe.exe excel             prints whether "Excel.Application" is
//                                  registered (the stand-in aside)
//   KitProbe.exe console-code-page PROGRAM
//                                  PROGRAM --help leaves the console's output
//                                  code page as it found it
//   KitProbe.exe box-to-front      a box that a separately started program
//                                  shows comes in front of another program
//                                  that holds the foreground
//   KitProbe.exe scanner-holder    a virus scanner's handle (sharing read,
//                                  write and delete) does not make a file "in
//                                  use", a holder without delete sharing
//                                  does; a target so held is replaced once
//                                  the scanner lets go within the patience
//   KitProbe.exe measure-download  prints the download rate of a run of
//                                  Updater.exe for a large file from a
//                                  loopback server beside the PC's copy rate
//   KitProbe.exe measure-install   prints the time a run takes to install
//                                  1,000 small files
//   KitProbe.exe skipped LOG       prints how many tests a GoogleTest
//                                  program's output LOG reports as skipped
//   KitProbe.exe other-program     (used by box-to-front) a window that takes
//                                  the foreground until it is closed
//   KitProbe.exe show-box          (used by box-to-front) shows a box
//
// Checks exit 0 when passed, 1 when failed and 3 when they cannot judge on
// this PC, printing why; measurements exit 0 when they measured. 2: wrong
// arguments. MORVANE_KIT_DOWNLOAD_MIB and MORVANE_KIT_INSTALL_FILES make the
// measurements smaller.

#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>

#include "base/win32/wide.h"
#include "fake_excel_registration.h"
#include "kit_probe.h"
#include "support/wine_host.h"

namespace {

using morvane::win32::narrow;

int wine() {
    const auto version = morvane::test::wineVersion();
    if (!version) {
        std::puts("Windows");
        return 1;
    }
    std::printf("Wine %s\n", version->c_str());
    return 0;
}

int excel() {
    morvane::fake_excel::removeRegistration();  // the stand-in an interrupted run left
    const auto registered = morvane::fake_excel::registeredClass();
    if (!registered) {
        std::puts("not registered");
    } else {
        std::printf("registered (%s): the end-to-end runs and the COM tests skip\n",
                    narrow(*registered).c_str());
    }
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
bool runInConsole(const std::wstring& commandLine) {
    const auto started = morvane::kit::startProgram(commandLine);
    return started && WaitForSingleObject(started->process.get(), 60000) == WAIT_OBJECT_0;
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
        return morvane::kit::kCannotJudge;
    }
    const bool ran = runInConsole(L"\"" + program + L"\" --help");
    const UINT after = GetConsoleOutputCP();
    SetConsoleOutputCP(before);
    std::printf("code page %u, after the program %u\n", page, after);
    return ran && after == page ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"console-code-page") {
        return consoleCodePage(argv[2]);
    }
    if (argc == 3 && std::wstring(argv[1]) == L"skipped") {
        std::printf("%d\n", morvane::kit::skippedTests(argv[2]));
        return 0;
    }
    if (argc != 2) {
        std::fputs(
            "usage: KitProbe wine|dpi|acp|excel|box-to-front|scanner-holder|measure-download|"
            "measure-install|console-code-page PROGRAM|skipped LOG\n",
            stderr);
        return 2;
    }
    const std::wstring command = argv[1];
    try {
        if (command == L"wine") return wine();
        if (command == L"dpi") return dpi();
        if (command == L"excel") return excel();
        if (command == L"acp") {
            std::printf("%u\n", GetACP());
            return 0;
        }
        if (command == L"box-to-front") return morvane::kit::boxToFront();
        if (command == L"scanner-holder") return morvane::kit::scannerHolder();
        if (command == L"measure-download") return morvane::kit::measureDownload();
        if (command == L"measure-install") return morvane::kit::measureInstall();
        if (command == L"other-program") return morvane::kit::otherProgram();
        if (command == L"show-box") return morvane::kit::showBox();
    } catch (const std::exception& e) {
        std::printf("%s\n", e.what());
        return 1;
    }
    std::fputs("unknown command\n", stderr);
    return 2;
}
