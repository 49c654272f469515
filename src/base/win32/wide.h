#pragma once

#include <string>
#include <string_view>

#include "base/text.h"

namespace morvane::win32 {

// UTF-8 to the UTF-16 that Win32 calls take, and back.
inline std::wstring wide(std::string_view utf8) {
    const std::u16string u = toUtf16(utf8);
    return std::wstring(u.begin(), u.end());
}

inline std::string narrow(std::wstring_view utf16) {
    return fromUtf16(std::u16string(utf16.begin(), utf16.end()));
}

}  // namespace morvane::win32
