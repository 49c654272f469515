// FileHolder.exe: opens an existing file without sharing and holds it, so
// that every other open of it, a rename or a move fails with a sharing
// violation. Used by tests to force a failing file move. With --share-all it
// holds the file as a virus scanner or an indexer does instead, sharing
// read, write and delete access, which keeps nobody from moving it.
//
//   FileHolder.exe <file> [--share-all] [--seconds N] [--ready-file F]
//                  [--release-file F]
//
// Once the file is held it prints "ready" on its own line and, when asked,
// creates the ready file. It lets go after N seconds (default 120), when the
// release file appears, or when it is killed.
//
// Exit codes: 0 held and let go, 2 wrong arguments, 3 the file could not be
// opened (the Windows error code is printed).

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "base/win32/unique_handle.h"

namespace {

constexpr DWORD kPollMilliseconds = 50;

int usage() {
    std::fputs(
        "usage: FileHolder <file> [--share-all] [--seconds N] [--ready-file F] "
        "[--release-file F]\n",
        stderr);
    return 2;
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring target;
    std::wstring readyFile;
    std::wstring releaseFile;
    unsigned long seconds = 120;
    DWORD share = 0;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == L"--seconds" && hasValue) {
            wchar_t* end = nullptr;
            seconds = std::wcstoul(argv[++i], &end, 10);
            if (end == nullptr || *end != L'\0') {
                return usage();
            }
        } else if (argument == L"--share-all") {
            share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        } else if (argument == L"--ready-file" && hasValue) {
            readyFile = argv[++i];
        } else if (argument == L"--release-file" && hasValue) {
            releaseFile = argv[++i];
        } else if (target.empty() && argument.rfind(L"--", 0) != 0) {
            target = argument;
        } else {
            return usage();
        }
    }
    if (target.empty()) {
        return usage();
    }

    morvane::win32::UniqueHandle held(CreateFileW(target.c_str(), GENERIC_READ, share, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held.valid()) {
        const DWORD error = GetLastError();
        std::fprintf(stderr, "cannot open the file: error %lu\n", error);
        return 3;
    }
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    if (!readyFile.empty()) {
        morvane::win32::UniqueHandle ready(CreateFileW(readyFile.c_str(), GENERIC_WRITE,
                                                       FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000U;
    while (GetTickCount64() < until) {
        if (!releaseFile.empty() && exists(releaseFile)) {
            break;
        }
        Sleep(kPollMilliseconds);
    }
    return 0;
}
