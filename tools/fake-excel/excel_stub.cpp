// EXCEL.EXE: stands in for the spreadsheet program file in tests. It records
// how it was started and ends at once. Each start appends one record, UTF-8,
// to the file named by MORVANE_EXCEL_RECORD, or else to excel-record.txt
// beside this program:
//
//   CommandLine=<the whole command line, exactly as received>
//   ShowWindow=<wShowWindow of the start-up information, decimal>
//   Flags=<dwFlags of the start-up information, decimal>
//   <empty line>
//
// ShowWindow is what the starter asked for only when Flags contains
// STARTF_USESHOWWINDOW (1).

#include <windows.h>

#include <string>

#include "base/win32/unique_handle.h"
#include "fake_excel_ids.h"

namespace {

std::wstring recordFile() {
    const DWORD needed = GetEnvironmentVariableW(morvane::fake_excel::kRecordVariable, nullptr, 0);
    if (needed != 0) {
        std::wstring value(needed, L'\0');
        const DWORD length =
            GetEnvironmentVariableW(morvane::fake_excel::kRecordVariable, value.data(), needed);
        if (length != 0 && length < needed) {
            value.resize(length);
            return value;
        }
    }
    std::wstring file(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, file.data(), static_cast<DWORD>(file.size()));
    file.resize(length);
    const auto slash = file.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : file.substr(0, slash);
    return folder + L"\\excel-record.txt";
}

std::string utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);

    const std::wstring record = L"CommandLine=" + std::wstring(GetCommandLineW()) +
                                L"\nShowWindow=" + std::to_wstring(startup.wShowWindow) +
                                L"\nFlags=" + std::to_wstring(startup.dwFlags) + L"\n\n";
    const std::string bytes = utf8(record);

    // Appending to a file that another start may be writing: retry briefly
    // while it is held.
    for (int attempt = 0; attempt < 50; ++attempt) {
        morvane::win32::UniqueHandle file(CreateFileW(recordFile().c_str(), FILE_APPEND_DATA,
                                                      FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            const DWORD error = GetLastError();
            if (error != ERROR_SHARING_VIOLATION) {
                return 2;
            }
            Sleep(20);
            continue;
        }
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) ||
            written != bytes.size()) {
            return 3;
        }
        return 0;
    }
    return 4;
}
