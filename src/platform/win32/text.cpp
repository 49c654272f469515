#include "platform/text.h"

#include <windows.h>

#include <string>

#include "platform/win32/wide.h"

namespace morvane {

std::string ansiToUtf8(std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    const auto size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0) {
        // Cannot happen for CP_ACP without MB_ERR_INVALID_CHARS; the fixed
        // Western table keeps the text readable all the same.
        return windows1252ToUtf8(bytes);
    }
    std::wstring utf16(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, utf16.data(), length);
    return win32::narrow(utf16);
}

}  // namespace morvane
