#include <cstdio>
#include <string>

#include "base/win32/wide.h"
#include "kit_probe.h"

namespace morvane::kit {

std::optional<StartedProgram> startProgram(std::wstring commandLine, const std::wstring& folder) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        std::printf("cannot start %s: error %lu\n", win32::narrow(commandLine).c_str(),
                    GetLastError());
        return std::nullopt;
    }
    return StartedProgram{win32::UniqueHandle(info.hProcess), win32::UniqueHandle(info.hThread),
                          info.dwProcessId};
}

std::wstring kitFolder() {
    wchar_t self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring freshTempFolder(const std::wstring& purpose) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"morvane-kit-" + purpose + L"-" +
                          std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

double secondsNow() {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER now{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace morvane::kit
