#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "base/win32/unique_handle.h"

// The checks and measurements of KitProbe.exe (see kit_probe.cpp). A check
// returns 0 when passed, 1 when failed and kCannotJudge when its premise does
// not hold on this PC; it prints what it saw.
namespace morvane::kit {

inline constexpr int kCannotJudge = 3;

// A program this probe started; its handles are closed with it.
struct StartedProgram {
    win32::UniqueHandle process;
    win32::UniqueHandle thread;
    DWORD id = 0;
};

// Starts `commandLine` (in `folder` when given); nullopt when it cannot,
// the reason printed.
std::optional<StartedProgram> startProgram(std::wstring commandLine,
                                           const std::wstring& folder = {});

// The folder of KitProbe.exe, where the kit's other programs lie.
std::wstring kitFolder();

// A fresh folder below the temporary folder, named after `purpose`.
std::wstring freshTempFolder(const std::wstring& purpose);

// A message box that the process `processId` shows, or nullptr.
HWND shownBoxOf(DWORD processId);

// Seconds since an arbitrary start, for the measurements.
double secondsNow();

int otherProgram();
int showBox();
int boxToFront();
int scannerHolder();
int measureDownload();
int measureInstall();

// The number of tests a GoogleTest program reported as skipped in its
// output `log` ("[  SKIPPED ] N tests, listed below:"), 0 when none.
int skippedTests(const std::wstring& log);

}  // namespace morvane::kit
