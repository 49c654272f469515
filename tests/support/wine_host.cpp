#include "support/wine_host.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace morvane::test {

std::optional<std::string> wineVersion() {
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) {
        return std::nullopt;
    }
    using Version = const char*(CDECL*)();
    const auto version = reinterpret_cast<Version>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
    if (version != nullptr) {
        return std::string(version());
    }
#endif
    return std::nullopt;
}

}  // namespace morvane::test
