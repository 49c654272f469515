#include "platform/win32/os_error.h"

#include <windows.h>

#include "base/text.h"
#include "base/win32/local_memory.h"

namespace morvane::win32 {

std::optional<std::string> systemText(std::uint32_t code, std::uint16_t language) {
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
    HMODULE source = nullptr;
    if (code >= 12000 && code <= 12999) {
        source = GetModuleHandleW(L"wininet.dll");
    }
    flags |= source != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
    wchar_t* allocated = nullptr;
    const DWORD length = FormatMessageW(flags, source, code, language,
                                        reinterpret_cast<wchar_t*>(&allocated), 0, nullptr);
    const LocalMemory<wchar_t> buffer(allocated);
    std::wstring text;
    if (length != 0 && buffer) {
        text.assign(buffer.get(), length);
    }
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        return std::nullopt;
    }
    return fromUtf16(std::u16string(text.begin(), text.end()));
}

std::string errorText(std::uint32_t code) {
    return systemText(code, 0).value_or("Systemfehler " + decimal(static_cast<long long>(code)));
}

std::string englishErrorText(std::uint32_t code) {
    std::optional<std::string> text = systemText(code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!text) {
        text = systemText(code, 0);
    }
    return text.value_or("Windows error " + decimal(static_cast<long long>(code)));
}

Failure osFailure(std::uint32_t code) {
    return Failure(FailureOrigin::Windows, static_cast<int>(code), errorText(code));
}

}  // namespace morvane::win32
