#pragma once

#include <chrono>

#include "platform/http.h"

namespace morvane::posix {

// HTTP through libcurl, in the exchange the updater has always made: a HEAD
// to the host text on port 80 and a GET for the whole URL, with no user
// agent, no extra header lines and no cache. Proxies come from the usual
// environment variables (http_proxy, no_proxy), libcurl's preconfiguration.
class CurlHttp : public Http {
public:
    // A transfer that delivers nothing for `stallLimit` fails.
    explicit CurlHttp(std::chrono::milliseconds stallLimit = std::chrono::seconds(60))
        : stallLimit_(stallLimit) {}

    // nullptr when libcurl cannot be initialised.
    std::unique_ptr<HttpSession> openSession() override;

private:
    std::chrono::milliseconds stallLimit_;
};

}  // namespace morvane::posix
