#include "platform/win32/process.h"

#include <windows.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "base/command_line.h"
#include "base/win32/wide.h"
#include "platform/win32/long_path.h"
#include "platform/win32/os_error.h"

namespace morvane::win32 {
namespace {

// The executable's full path; the buffer grows for paths beyond MAX_PATH.
std::wstring modulePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            const DWORD error = GetLastError();
            throw osFailure(error);
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring::size_type lastSeparator(const std::wstring& path) {
    return path.find_last_of(L"\\/");
}

// Starts `program` with `arguments`, its window shown as `show`; the
// process's handle. Only a program named by its full path: "\\EXCEL.EXE" of
// an empty program folder would run from the root of the current drive, a
// share's root on a shared install that users may write to. It fails as a
// missing program does.
UniqueHandle createProcess(const std::string& program, const std::vector<std::string>& arguments,
                           WORD show, DWORD flags) {
    if (!isFullWindowsPath(program)) {
        throw osFailure(ERROR_FILE_NOT_FOUND);
    }
    // CreateProcessW may write into the command line, so it gets its own copy.
    std::wstring line = wide(windowsCommandLine(program, arguments));
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    PROCESS_INFORMATION started{};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                       &startup, &started) == FALSE) {
        const DWORD error = GetLastError();
        throw osFailure(error);
    }
    const UniqueHandle thread(started.hThread);
    return UniqueHandle(started.hProcess);
}

}  // namespace

std::string Win32Process::executableFolder() {
    const std::wstring path = modulePath();
    const auto separator = lastSeparator(path);
    return narrow(separator == std::wstring::npos ? std::wstring() : path.substr(0, separator));
}

std::string Win32Process::executableName() {
    const std::wstring path = modulePath();
    const auto separator = lastSeparator(path);
    return narrow(separator == std::wstring::npos ? path : path.substr(separator + 1));
}

std::string Win32Process::fileVersion() {
    const std::wstring path = modulePath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return {};
    }
    std::vector<char> info(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data()) ||
        !VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
        return {};
    }
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(fixed->dwFileVersionLS));
}

std::string Win32Process::userName() {
    std::vector<wchar_t> buffer(257);
    DWORD length = static_cast<DWORD>(buffer.size());
    if (!GetUserNameW(buffer.data(), &length) || length == 0) {
        return {};
    }
    return narrow(std::wstring(buffer.data(), length - 1));
}

std::string Win32Process::computerName() {
    std::array<wchar_t, MAX_COMPUTERNAME_LENGTH + 1> buffer{};
    DWORD length = static_cast<DWORD>(buffer.size());
    if (!GetComputerNameW(buffer.data(), &length)) {
        return {};
    }
    return narrow(std::wstring(buffer.data(), length));
}

std::wstring Win32Process::instanceMarkName(const std::wstring& executablePath) {
    // Windows compares paths without regard to case, so the mark does too.
    std::wstring folded = executablePath;
    if (!folded.empty()) {
        CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
    }
    // Object names allow no "\" after the namespace and at most MAX_PATH
    // characters, so the path enters the name as a 64-bit FNV-1a hash.
    std::uint64_t hash = 14695981039346656037ULL;
    for (const wchar_t unit : folded) {
        hash = (hash ^ static_cast<std::uint16_t>(unit)) * 1099511628211ULL;
    }
    std::wstring name = L"Local\\MorvaneUpdater.";
    for (int shift = 60; shift >= 0; shift -= 4) {
        name += L"0123456789ABCDEF"[(hash >> shift) & 0xF];
    }
    return name;
}

bool Win32Process::anotherInstanceRunning() {
    if (instanceMark_) {
        return false;
    }
    const std::wstring name = instanceMarkName(modulePath());
    UniqueHandle mark(CreateMutexW(nullptr, FALSE, name.c_str()));
    const DWORD error = GetLastError();
    if (!mark) {
        // The mark exists but belongs to another user, whose updater runs.
        if (error == ERROR_ACCESS_DENIED) {
            return true;
        }
        throw osFailure(error);
    }
    if (error == ERROR_ALREADY_EXISTS) {
        return true;
    }
    instanceMark_ = std::move(mark);
    return false;
}

namespace {

// Opens the lock file without sharing, and a link at its place as the link
// itself. Deleted when the last handle goes (also when the process is
// killed) unless `deleteOnClose` is off.
UniqueHandle openLockFile(const std::wstring& path, bool deleteOnClose) {
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                        (deleteOnClose ? FILE_FLAG_DELETE_ON_CLOSE : 0);
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_ALWAYS, flags, nullptr));
}

// How long a lock file that its last holder just closed may stand pending
// deletion (access denied to every open) before it is opened to be kept.
// The caller tries again while its window answers; no wait happens here.
constexpr auto kPendingDeletion = std::chrono::seconds(1);

}  // namespace

bool Win32Process::lockFolder(const std::string& lockPath, std::string& why) {
    if (folderLock_) {
        return true;
    }
    const std::wstring path = longPath(lockPath);
    UniqueHandle lock = openLockFile(path, true);
    DWORD error = GetLastError();
    if (!lock && error == ERROR_PATH_NOT_FOUND) {
        const std::size_t separator = path.rfind(L'\\');
        if (separator != std::wstring::npos) {
            CreateDirectoryW(path.substr(0, separator).c_str(), nullptr);
            lock = openLockFile(path, true);
            error = GetLastError();
        }
    }
    // A lock file its last holder closed a moment ago denies every open until
    // it is gone; one that stays so (a share that keeps it) is opened to be
    // kept instead, still without sharing.
    if (!lock && error == ERROR_ACCESS_DENIED) {
        const auto now = std::chrono::steady_clock::now();
        if (!deniedSince_) {
            deniedSince_ = now;
        }
        if (now - *deniedSince_ >= kPendingDeletion) {
            lock = openLockFile(path, false);
            error = GetLastError();
        }
    }
    if (!lock) {
        why = error == ERROR_SHARING_VIOLATION ? "another run holds it" : errorText(error);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileInformationByHandle(lock.get(), &information) == FALSE ||
        (information.dwFileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        why = "no plain file is at its place";
        return false;
    }
    folderLock_ = std::move(lock);
    deniedSince_.reset();
    return true;
}

void Win32Process::unlockFolder() {
    folderLock_.reset();
}

void Win32Process::start(const std::string& program, const std::vector<std::string>& arguments) {
    createProcess(program, arguments, SW_SHOWMAXIMIZED, 0);
}

std::optional<int> Win32Process::runToEnd(const std::string& program,
                                          const std::vector<std::string>& arguments,
                                          std::chrono::milliseconds patience,
                                          const std::function<void()>& whileWaiting) {
    const UniqueHandle process = createProcess(program, arguments, SW_HIDE, CREATE_NO_WINDOW);
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    constexpr DWORD kSlice = 50;
    while (WaitForSingleObject(process.get(), kSlice) == WAIT_TIMEOUT) {
        if (std::chrono::steady_clock::now() >= giveUp) {
            // TerminateProcess only starts the end; the window keeps
            // answering while it comes, for a few seconds at most.
            TerminateProcess(process.get(), 1);
            for (int slice = 0;
                 slice < 100 && WaitForSingleObject(process.get(), kSlice) == WAIT_TIMEOUT;
                 ++slice) {
                if (whileWaiting) {
                    whileWaiting();
                }
            }
            return std::nullopt;
        }
        if (whileWaiting) {
            whileWaiting();
        }
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode)) {
        const DWORD error = GetLastError();
        throw osFailure(error);
    }
    return static_cast<int>(exitCode);
}

}  // namespace morvane::win32
