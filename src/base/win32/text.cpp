#include "base/text.h"

#include <windows.h>

#include <string>

#include "base/win32/wide.h"

namespace morvane {
namespace {

// Block files are written on Western European PCs in Windows-1252. A PC
// whose ANSI code page is that or another single-byte page decodes them
// with its own; one set to UTF-8 or to a multi-byte Asian page would turn
// every umlaut into a replacement character, so it reads Windows-1252.
bool ansiIsSingleByte() {
    CPINFO info{};
    return GetACP() != CP_UTF8 && GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
}

}  // namespace

std::string ansiToUtf8(std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    static const bool singleByte = ansiIsSingleByte();
    const auto size = static_cast<int>(bytes.size());
    const int length =
        singleByte ? MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0) : 0;
    if (length <= 0) {
        return windows1252ToUtf8(bytes);
    }
    std::wstring utf16(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, utf16.data(), length);
    return win32::narrow(utf16);
}

}  // namespace morvane
