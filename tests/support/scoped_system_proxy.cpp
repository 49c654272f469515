#include "support/scoped_system_proxy.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

#include "support/wine_host.h"

namespace morvane::test {

namespace {

std::optional<std::string> variable(const char* name) {
#ifdef _WIN32
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) {
        return std::nullopt;
    }
    std::string value(size, '\0');
    value.resize(GetEnvironmentVariableA(name, value.data(), size));
    return value;
#else
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
#endif
}

void setVariable(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
    SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
    // Wine's WinINet reads the environment through the copy that ucrtbase
    // takes once, and that only ucrtbase's own _putenv_s keeps up to date.
    using PutEnvironment = int(__cdecl*)(const char*, const char*);
    if (const HMODULE ucrt = GetModuleHandleA("ucrtbase.dll")) {
        if (const FARPROC put = GetProcAddress(ucrt, "_putenv_s")) {
            reinterpret_cast<PutEnvironment>(reinterpret_cast<void (*)()>(put))(
                name, value ? value->c_str() : "");
        }
    }
#else
    if (value) {
        setenv(name, value->c_str(), 1);
    } else {
        unsetenv(name);
    }
#endif
}

}  // namespace

ScopedSystemProxy::ScopedSystemProxy(const std::string& proxy) {
    if (!available()) {
        return;
    }
    httpProxy_ = variable("http_proxy");
    noProxy_ = variable("no_proxy");
    noProxyUpper_ = variable("NO_PROXY");
    setVariable("http_proxy", proxy);
    setVariable("no_proxy", std::nullopt);
    setVariable("NO_PROXY", std::nullopt);
}

ScopedSystemProxy::~ScopedSystemProxy() {
    if (!available()) {
        return;
    }
    setVariable("http_proxy", httpProxy_);
    setVariable("no_proxy", noProxy_);
    setVariable("NO_PROXY", noProxyUpper_);
}

bool ScopedSystemProxy::available() {
#ifdef _WIN32
    return wineVersion().has_value();
#else
    return true;
#endif
}

}  // namespace morvane::test
