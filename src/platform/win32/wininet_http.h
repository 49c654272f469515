#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/http.h"

namespace morvane::win32 {

// HTTP through the Windows Internet functions (WinINet): a HEAD to the host
// text on port 80 for the size, then the whole URL opened for the GET. The
// session names the user agent it is given (none when empty), uses the
// system's preconfigured proxy settings and never answers from the cache.
class WinInetHttp : public Http {
public:
    // A transfer that stalls (see StallWatch) over `stallLimit` fails.
    explicit WinInetHttp(std::string userAgent = "",
                         std::chrono::milliseconds stallLimit = kDefaultStallLimit)
        : userAgent_(std::move(userAgent)), stallLimit_(stallLimit) {}
    explicit WinInetHttp(std::chrono::milliseconds stallLimit) : WinInetHttp("", stallLimit) {}

    // nullptr when InternetOpen fails.
    std::unique_ptr<HttpSession> openSession() override;
    void identifyAs(const std::string& userAgent) override { userAgent_ = userAgent; }

private:
    std::string userAgent_;
    std::chrono::milliseconds stallLimit_;
};

// The flags of every request: always from the server (a caching proxy too),
// nothing kept in the user's browser cache, no cookies, no dialogs, and a
// redirect between http and https followed without the zone-crossing
// warning that a policy may turn into a failure (what arrives is vouched
// for by the signature, not by the scheme).
std::uint32_t requestFlags();

}  // namespace morvane::win32
