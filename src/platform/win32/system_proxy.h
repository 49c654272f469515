#pragma once

#include <string>
#include <string_view>

namespace morvane::win32 {

// The proxy that an http request goes through, from the proxy settings of
// an Internet session (INTERNET_PROXY_INFO): `proxies` as WinINet gives
// them, one address or a list per scheme ("http=proxy:8080;https=..."),
// and the bypass list. Empty when the list exempts `host` (a host text; a
// port or user information with it is ignored): "<local>" exempts names
// without a dot, an entry exempts names it matches, "*" standing for any
// run of characters.
std::string httpProxyFor(std::string_view host, std::string_view proxies, std::string_view bypass);

}  // namespace morvane::win32
