// Entry point of Updater.exe: builds the Windows adapters, runs the update and
// returns its exit status.
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/win32/wide.h"
#include "platform/win32/file_system.h"
#include "platform/win32/process.h"
#include "platform/win32/progress_window.h"
#include "platform/win32/spreadsheet_automation.h"
#include "platform/win32/user_interface.h"
#include "platform/win32/wininet_http.h"
#include "update/run_end.h"
#include "update/self_test.h"
#include "update/update_run.h"

namespace {

// "--self-test": the checks a run makes of a new updater program before it
// swaps it in. Besides what every host checks, the icon loads.
int selfTestOfProgram(HINSTANCE instance) {
    const HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE);
    if (icon == nullptr) {
        return 1;
    }
    DestroyIcon(static_cast<HICON>(icon));
    morvane::win32::Win32Process process;
    return morvane::selfTest(process);
}

// The arguments after the program's name, as UTF-8.
std::vector<std::string> commandLineArguments() {
    std::vector<std::string> arguments;
    int count = 0;
    const auto release = [](LPWSTR* parts) { LocalFree(static_cast<HLOCAL>(parts)); };
    const std::unique_ptr<LPWSTR, decltype(release)> parts(
        CommandLineToArgvW(GetCommandLineW(), &count), release);
    for (int i = 1; parts && i < count; ++i) {
        arguments.push_back(morvane::win32::narrow(parts.get()[i]));
    }
    return arguments;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    try {
        const std::vector<std::string> arguments = commandLineArguments();
        if (morvane::hasOption(arguments, "--self-test")) {
            return selfTestOfProgram(instance);
        }
        const morvane::RunMode mode = morvane::hasOption(arguments, "--prefetch")
                                          ? morvane::RunMode::Prefetch
                                          : morvane::RunMode::Normal;
        morvane::win32::Win32FileSystem files;
        morvane::win32::Win32Clock clock;
        morvane::win32::Win32ProgressWindow progress;
        // Boxes shown while the progress window is up belong to it.
        morvane::win32::Win32UserInterface ui([&progress] { return progress.handle(); });
        morvane::win32::Win32Process process;
        // Filtering proxies let no request through that names no agent.
        morvane::win32::WinInetHttp http(morvane::updaterUserAgent(process.fileVersion()));
        morvane::win32::ComSpreadsheetAutomation spreadsheet;
        morvane::Platform platform{files, clock, ui, process, http, progress, spreadsheet};
        return morvane::runUpdater(platform, morvane::kRevisionCheckTime, morvane::kLockPatience,
                                   mode);
    } catch (...) {
        // Nothing may escape to the system; the run has reported what it could.
        return static_cast<int>(morvane::ExitStatus::Unexpected);
    }
}
