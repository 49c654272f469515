#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "base/failure.h"

namespace morvane {

// Receives the body of a GET as it arrives. Exceptions thrown by a sink
// abort the transfer and reach the caller of HttpSession::get.
class BodySink {
public:
    virtual ~BodySink() = default;
    // Called once before the first byte, with the response's status code and
    // its Content-Length when it carries one; also for an empty body, and
    // never when the URL could not be opened.
    virtual void begin(int status, std::optional<std::int64_t> contentLength) = 0;
    virtual void write(const char* data, std::size_t count) = 0;
    // Called after every read, also one that delivered nothing yet.
    virtual void afterRead() = 0;
};

// How a GET ended.
struct GetResult {
    enum class Kind {
        Complete,    // the whole body went to the sink
        NotOpened,   // the URL could not be opened: no connection, no answer
        Incomplete,  // a read failed or the body ended before its announced length
        Stalled,     // too little arrived over the stall limit (see StallWatch)
    };
    Kind kind = Kind::NotOpened;
    // The response's status code; 0 when no response came.
    int status = 0;
    // What the system or the library reported when one of its calls ended
    // the GET: its code, where that comes from, and its text.
    std::optional<Failure> error;

    static GetResult complete(int status) { return {Kind::Complete, status, std::nullopt}; }
    static GetResult notOpened(std::optional<Failure> error = std::nullopt) {
        return {Kind::NotOpened, 0, std::move(error)};
    }
    static GetResult incomplete(int status, std::optional<Failure> error = std::nullopt) {
        return {Kind::Incomplete, status, std::move(error)};
    }
    static GetResult stalled(int status) { return {Kind::Stalled, status, std::nullopt}; }

    bool isComplete() const noexcept { return kind == Kind::Complete; }
};

// What a HEAD asked for the size found: the Content-Length as a 32-bit
// number, 0 when anything failed; and what the system or library reported
// when one of its calls failed, if it tells.
struct SizeProbe {
    std::int32_t length = 0;
    std::optional<Failure> error;
};

// The stall limit of the HTTP adapters: a transfer that moves less than
// 1 KiB a second on average over this long has stalled (see StallWatch).
inline constexpr std::chrono::milliseconds kDefaultStallLimit = std::chrono::seconds(60);

// The User-Agent the updater sends: "Morvane-Updater/<file version>".
inline std::string updaterUserAgent(const std::string& fileVersion) {
    return "Morvane-Updater/" + fileVersion;
}

// One Internet session: HEAD probe and GET transfers. Neither call may hang:
// a silent host fails after about 30 s, a stalled transfer (less than 1 KiB
// a second over 60 s, see StallWatch) after about 60 s. Host texts, object paths and URLs
// arrive percent-encoded (percentEncoded): ASCII without blanks.
class HttpSession {
public:
    virtual ~HttpSession() = default;
    // HEAD "objectPath" HTTP/1.1 to `host` (verbatim, port included) on port 80.
    virtual SizeProbe probeContentLength(const std::string& host,
                                         const std::string& objectPath) = 0;
    // GET for the whole URL, to the host and port it names, never from a cache.
    // A status outside 2xx is the sink's to judge.
    virtual GetResult get(const std::string& url, BodySink& sink) = 0;
    // From now on the probe gives up at `deadline` (no size); a GET's sink
    // keeps its own time.
    virtual void probeUntil(std::chrono::steady_clock::time_point /*deadline*/) {}
};

class Http {
public:
    virtual ~Http() = default;
    // A new session; nullptr when none can be opened.
    virtual std::unique_ptr<HttpSession> openSession() = 0;
    // Sessions opened from now on send `userAgent` as their User-Agent.
    virtual void identifyAs(const std::string& userAgent) { static_cast<void>(userAgent); }
};

}  // namespace morvane
