#pragma once

// The host's real file-system, clock, HTTP and process adapters, for tests and
// benchmarks that run against real files and a loopback server on either
// platform.
#ifdef _WIN32
#include "platform/win32/file_system.h"
#include "platform/win32/process.h"
#include "platform/win32/wininet_http.h"
namespace morvane::test {
using HostFileSystem = win32::Win32FileSystem;
using HostProcess = win32::Win32Process;
using HostClock = win32::Win32Clock;
using HostHttp = win32::WinInetHttp;
}  // namespace morvane::test
#else
#include "platform/posix/curl_http.h"
#include "platform/posix/file_system.h"
#include "platform/posix/process.h"
namespace morvane::test {
using HostFileSystem = posix::PosixFileSystem;
using HostProcess = posix::PosixProcess;
using HostClock = posix::PosixClock;
using HostHttp = posix::CurlHttp;
}  // namespace morvane::test
#endif
