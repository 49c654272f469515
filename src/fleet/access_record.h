#pragma once

#include <cstdint>
#include <string_view>

namespace morvane::fleet {

// What the fleet needs of one request in an access log, whatever the
// format. The texts point into the line as the log writes it (or into the
// format's buffer) and stay valid until the next line is read.
struct AccessRecord {
    std::int64_t time = 0;          // UTC seconds
    std::string_view address;       // the client's address
    std::string_view method;        // "GET", "HEAD", ...
    std::string_view target;        // the request target, percent-encoded as sent
    std::string_view rawUserAgent;  // as the log writes it, escapes and all ("" for none)
};

}  // namespace morvane::fleet
