#pragma once

#include <string>
#include <string_view>

namespace morvane::posix {

// The proxy of an http request to `host` (a host text; a port or user
// information with it is ignored) as libcurl reads the settings: `proxy`
// unless the no_proxy list `noProxy` exempts the host. In that list "*"
// exempts every host, and an entry its name and every name below it
// (".example.org" and "example.org" alike). Empty: direct.
std::string httpProxyFor(std::string_view host, std::string_view proxy, std::string_view noProxy);

// The same from this process's environment: http_proxy, else all_proxy or
// ALL_PROXY; no_proxy, else NO_PROXY.
std::string environmentProxyFor(std::string_view host);

}  // namespace morvane::posix
