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

// What a response says of its body besides status and length.
struct BodyContent {
    std::string type;    // its Content-Type as the server wrote it; empty when none
    std::string coding;  // the content coding it came in ("gzip", "deflate"); empty for none
};

// Receives the body of a GET as it arrives. Exceptions thrown by a sink
// abort the transfer and reach the caller of HttpSession::get.
class BodySink {
public:
    virtual ~BodySink() = default;
    // Called just before begin() with what the response says of its body.
    // A body that came in a content coding reaches write() decoded.
    virtual void content(const BodyContent& /*content*/) {}
    // Called once before the first byte, with the response's status code and
    // its Content-Length when it carries one (none for a coded body: that
    // length is the coded one's); also for an empty body, and never when the
    // URL could not be opened.
    virtual void begin(int status, std::optional<std::int64_t> contentLength) = 0;
    virtual void write(const char* data, std::size_t count) = 0;
    // Called after every read, also one that delivered nothing yet.
    virtual void afterRead() = 0;
    // Called once the whole body arrived, before get() returns Complete; what
    // it throws passes out of get().
    virtual void end() {}
};

// How a GET ended.
struct GetResult {
    enum class Kind {
        Complete,       // the whole body went to the sink
        NotOpened,      // the URL could not be opened: no connection, no answer
        Incomplete,     // a read failed or the body ended before its announced length
        Stalled,        // too little arrived over the stall limit (see StallWatch)
        UnknownCoding,  // the body came in a content coding other than gzip and deflate
    };
    Kind kind = Kind::NotOpened;
    // The response's status code; 0 when no response came.
    int status = 0;
    // What the system or the library reported when one of its calls ended
    // the GET: its code, where that comes from, and its text.
    std::optional<Failure> error;
    // What the response said of its body; empty when no response came.
    BodyContent content;

    static GetResult complete(int status) { return make(Kind::Complete, status, std::nullopt); }
    static GetResult notOpened(std::optional<Failure> error = std::nullopt) {
        return make(Kind::NotOpened, 0, std::move(error));
    }
    static GetResult incomplete(int status, std::optional<Failure> error = std::nullopt) {
        return make(Kind::Incomplete, status, std::move(error));
    }
    static GetResult stalled(int status) { return make(Kind::Stalled, status, std::nullopt); }
    static GetResult unknownCoding(int status) {
        return make(Kind::UnknownCoding, status, std::nullopt);
    }

    bool isComplete() const noexcept { return kind == Kind::Complete; }

    // The same result, with what the response said of its body.
    GetResult with(BodyContent said) && {
        content = std::move(said);
        return std::move(*this);
    }

private:
    static GetResult make(Kind kind, int status, std::optional<Failure> error) {
        GetResult result;
        result.kind = kind;
        result.status = status;
        result.error = std::move(error);
        return result;
    }
};

// What the HEAD that asks for the size found. Only a 2xx answer gives a
// size: an error page's length is no file's.
struct SizeProbe {
    enum class Kind {
        Answered,    // an answer came, with `status`
        NoHostName,  // the host text names a port or a user as well: nothing sent
        NoAnswer,    // no answer: no connection, or a call failed (`error`, if it tells)
        TimedOut,    // no answer within kSizeProbeLimit or the session's probe deadline
    };
    Kind kind = Kind::NoAnswer;
    int status = 0;
    // The Content-Length of a 2xx answer; 0 otherwise.
    std::int64_t length = 0;
    std::optional<Failure> error;
};

// The longest the size probe may take. It only sizes a buffer, so it waits
// far less than a transfer, and its time counts against no stall rule.
inline constexpr std::chrono::milliseconds kSizeProbeLimit = std::chrono::seconds(5);

// The accepted content codings, in the form of an Accept-Encoding line.
inline constexpr const char* kAcceptedCodings = "gzip, deflate";

// The stall limit of the HTTP adapters: a transfer that moves less than
// 1 KiB a second on average over this long has stalled (see StallWatch).
inline constexpr std::chrono::milliseconds kDefaultStallLimit = std::chrono::seconds(60);

// The User-Agent the updater sends: "Morvane-Updater/<file version>".
inline std::string updaterUserAgent(const std::string& fileVersion) {
    return "Morvane-Updater/" + fileVersion;
}

// One Internet session: HEAD probe and GET transfers. Neither call may hang:
// the probe gives up after kSizeProbeLimit, a silent host fails after about
// 30 s, a stalled transfer (less than 1 KiB a second over 60 s, see
// StallWatch) after about 60 s. Every request carries "Cache-Control:
// no-cache" and "Pragma: no-cache": no cache on the way answers it. Host
// texts, object paths and URLs arrive percent-encoded (percentEncoded):
// ASCII without blanks.
class HttpSession {
public:
    virtual ~HttpSession() = default;
    // HEAD "objectPath" HTTP/1.1 to `host` on port 80; through a proxy in
    // absolute form, "http://" + host + ":80" + objectPath. Sent only when
    // `host` is a host name (isHostName).
    virtual SizeProbe probeContentLength(const std::string& host,
                                         const std::string& objectPath) = 0;
    // GET for the whole URL, to the host and port it names, never from a
    // cache, accepting the codings kAcceptedCodings and decoding them. A
    // status outside 2xx is the sink's to judge.
    virtual GetResult get(const std::string& url, BodySink& sink) = 0;
    // From now on the probe gives up at `deadline` (no size) if that comes
    // before its own limit; a GET's sink keeps its own time.
    virtual void probeUntil(std::chrono::steady_clock::time_point /*deadline*/) {}
    // The system proxy that a request to `host` goes through, named for the
    // log without user name or password; empty when it goes direct.
    virtual std::string proxyFor(const std::string& /*host*/) const { return {}; }
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
