#include "platform/posix/environment_proxy.h"

#include <cstdlib>
#include <initializer_list>

#include "base/http_fields.h"

namespace morvane::posix {

namespace {

// The value of the first of the environment variables `names` that is set
// and not empty; empty when none is.
std::string environmentValue(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

bool exemptFromProxy(std::string_view host, std::string_view noProxy) {
    while (!noProxy.empty()) {
        const std::size_t comma = noProxy.find(',');
        std::string_view entry = trimmedField(noProxy.substr(0, comma));
        noProxy.remove_prefix(comma == std::string_view::npos ? noProxy.size() : comma + 1);
        if (entry == "*") {
            return true;
        }
        if (!entry.empty() && entry.front() == '.') {
            entry.remove_prefix(1);
        }
        if (entry.empty() || entry.size() > host.size()) {
            continue;
        }
        const std::size_t tailAt = host.size() - entry.size();
        if (equalsIgnoringCase(host.substr(tailAt), entry) &&
            (tailAt == 0 || host[tailAt - 1] == '.')) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string httpProxyFor(std::string_view host, std::string_view proxy, std::string_view noProxy) {
    if (proxy.empty() || exemptFromProxy(hostNameOf(host), noProxy)) {
        return {};
    }
    return std::string(proxy);
}

std::string environmentProxyFor(std::string_view host) {
    return httpProxyFor(host, environmentValue({"http_proxy", "all_proxy", "ALL_PROXY"}),
                        environmentValue({"no_proxy", "NO_PROXY"}));
}

}  // namespace morvane::posix
