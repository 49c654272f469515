#include "platform/win32/long_path.h"

#include <windows.h>

#include <vector>

#include "base/win32/wide.h"

namespace morvane::win32 {
namespace {

bool isDrivePath(const std::wstring& path) {
    return path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

bool isSharePath(const std::wstring& path) {
    return path.size() >= 3 && (path[0] == L'\\' || path[0] == L'/') &&
           (path[1] == L'\\' || path[1] == L'/') && path[2] != L'?' && path[2] != L'.';
}

// The whole path as Windows itself would resolve it; the path as it was
// when that fails, so the call itself reports what is wrong with it.
std::wstring fullPath(const std::wstring& path) {
    std::vector<wchar_t> buffer(path.size() + MAX_PATH);
    for (;;) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()),
                                              buffer.data(), nullptr);
        if (length == 0) {
            return path;
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(length + 1);
    }
}

}  // namespace

std::wstring longPath(const std::string& path) {
    std::wstring given = wide(path);
    if (isDrivePath(given)) {
        return L"\\\\?\\" + fullPath(given);
    }
    if (isSharePath(given)) {
        std::wstring whole = fullPath(given);
        if (whole.rfind(L"\\\\", 0) == 0) {
            return L"\\\\?\\UNC\\" + whole.substr(2);
        }
        return whole;
    }
    return given;
}

}  // namespace morvane::win32
