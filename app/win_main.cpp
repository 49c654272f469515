// Entry point of Updater.exe: builds the Windows adapters, runs the update and
// returns its exit status.
#include <windows.h>

#include "platform/win32/file_system.h"
#include "platform/win32/process.h"
#include "platform/win32/progress_window.h"
#include "platform/win32/spreadsheet_automation.h"
#include "platform/win32/user_interface.h"
#include "platform/win32/wininet_http.h"
#include "update/run_end.h"
#include "update/update_run.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    try {
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
        return morvane::runUpdater(platform);
    } catch (...) {
        // Nothing may escape to the system; the run has reported what it could.
        return static_cast<int>(morvane::ExitStatus::Unexpected);
    }
}
