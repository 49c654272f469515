#pragma once

// The host's real HTTP and file-system adapters, as the updater uses them:
// libcurl and POSIX natively, WinINet and Win32 on Windows (and under Wine).

#ifdef _WIN32
#include "platform/win32/file_system.h"
#include "platform/win32/wininet_http.h"
#else
#include "platform/posix/curl_http.h"
#include "platform/posix/file_system.h"
#endif

namespace morvane::test {

#ifdef _WIN32
using HostHttp = win32::WinInetHttp;
using HostFileSystem = win32::Win32FileSystem;
#else
using HostHttp = posix::CurlHttp;
using HostFileSystem = posix::PosixFileSystem;
#endif

}  // namespace morvane::test
