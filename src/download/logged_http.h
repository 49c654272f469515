#pragma once

#include <memory>

#include "platform/http.h"
#include "platform/run_log.h"

namespace morvane {

// The HTTP layer with every request in the run log: method, URL, the system
// proxy it went through, status, content coding, bytes and milliseconds, and
// for a failed one why ("status 404", "stalled", "cut short after N of M
// bytes", a size or SHA256 that differs from the expected one, the system's
// or library's error text). The size probe's line tells its status and
// whether its size is used. Requests, outcomes and exceptions pass through
// unchanged.
class LoggedHttp : public Http {
public:
    LoggedHttp(Http& inner, RunLog& log) : inner_(inner), log_(log) {}

    std::unique_ptr<HttpSession> openSession() override;
    void identifyAs(const std::string& userAgent) override { inner_.identifyAs(userAgent); }

private:
    Http& inner_;
    RunLog& log_;
};

}  // namespace morvane
