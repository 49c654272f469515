#pragma once

#include <chrono>
#include <string>
#include <utility>

#include "platform/http.h"

namespace morvane::posix {

// HTTP through libcurl, in the exchange the updater has always made: a HEAD
// to the host text on port 80 and a GET for the whole URL (following
// redirects, to https too), with the user agent it is given (none when
// empty). Every request says that no cache may answer it; the GET accepts
// gzip and deflate and decodes them (BodyDecoder). Proxies come from the usual
// environment variables (http_proxy, no_proxy), libcurl's preconfiguration;
// the HEAD takes them as libcurl would (environment_proxy.h), so that it
// can name the whole resource to a proxy.
class CurlHttp : public Http {
public:
    // A transfer that stalls (see StallWatch) over `stallLimit` fails.
    explicit CurlHttp(std::string userAgent = "",
                      std::chrono::milliseconds stallLimit = kDefaultStallLimit)
        : userAgent_(std::move(userAgent)), stallLimit_(stallLimit) {}
    explicit CurlHttp(std::chrono::milliseconds stallLimit) : CurlHttp("", stallLimit) {}

    // nullptr when libcurl cannot be initialised.
    std::unique_ptr<HttpSession> openSession() override;
    void identifyAs(const std::string& userAgent) override { userAgent_ = userAgent; }

private:
    std::string userAgent_;
    std::chrono::milliseconds stallLimit_;
};

}  // namespace morvane::posix
