#pragma once

#include <chrono>

#include "platform/http.h"

namespace morvane::win32 {

// HTTP through the Windows Internet functions (WinINet): a HEAD to the host
// text on port 80 for the size, then the whole URL opened for the GET. The
// session names no user agent, uses the system's preconfigured proxy
// settings and never answers from the cache.
class WinInetHttp : public Http {
public:
    // A transfer that delivers nothing for `stallLimit` fails.
    explicit WinInetHttp(std::chrono::milliseconds stallLimit = std::chrono::seconds(60))
        : stallLimit_(stallLimit) {}

    // nullptr when InternetOpen fails.
    std::unique_ptr<HttpSession> openSession() override;

private:
    std::chrono::milliseconds stallLimit_;
};

}  // namespace morvane::win32
