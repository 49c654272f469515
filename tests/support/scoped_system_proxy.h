#pragma once

#include <optional>
#include <string>

namespace morvane::test {

// Makes `proxy` ("http://127.0.0.1:<port>") the system proxy of this process
// for as long as it lives, with no host exempt from it: the environment
// variable http_proxy, which libcurl reads, and Wine's WinINet too when it
// has no proxy in its registry, at every session it opens. Windows itself reads it from its
// settings only: there available() is false and nothing changes.
class ScopedSystemProxy {
public:
    explicit ScopedSystemProxy(const std::string& proxy);
    ~ScopedSystemProxy();
    ScopedSystemProxy(const ScopedSystemProxy&) = delete;
    ScopedSystemProxy& operator=(const ScopedSystemProxy&) = delete;

    static bool available();

private:
    std::optional<std::string> httpProxy_;
    std::optional<std::string> noProxy_;
    std::optional<std::string> noProxyUpper_;
};

}  // namespace morvane::test
