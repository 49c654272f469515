#include "platform/win32/wininet_http.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/body_decoder.h"
#include "base/failure.h"
#include "base/http_fields.h"
#include "base/scope_guard.h"
#include "base/stall_watch.h"
#include "base/text.h"
#include "base/win32/wide.h"
#include "platform/win32/handoff.h"
#include "platform/win32/message_pump.h"
#include "platform/win32/os_error.h"
#include "platform/win32/system_proxy.h"

namespace morvane::win32 {

namespace {

// Owns one WinINet handle (session, connection, request or URL); move-only.
struct InternetHandleCloser {
    void operator()(void* handle) const noexcept { InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetHandleCloser>;
// The session handle, shared by the session and the threads that make calls
// on it: it is closed once, after the last call on it has returned.
using SharedInternetHandle = std::shared_ptr<void>;

constexpr DWORD kConnectTimeoutMs = 30'000;

// See requestFlags().
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE |
                                INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                                INTERNET_FLAG_NO_UI | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS |
                                INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP;

// The header lines of every request: no cache on the way may answer it.
// The flags make WinINet write the Pragma line of its own, not always the
// other one.
constexpr char kNoCacheLines[] = "Cache-Control: no-cache\r\nPragma: no-cache\r\n";

// The header lines of a GET: those of every request and the codings it decodes.
std::string getHeaderLines() {
    return std::string("Accept-Encoding: ") + kAcceptedCodings + "\r\n" + kNoCacheLines;
}

// The longest the waiting thread goes without handling its window messages:
// Windows marks a window that does not answer for 5 s as not responding.
constexpr DWORD kMessageTurnMs = 50;

// The longest a GET goes without calling its sink while nothing arrives.
constexpr std::chrono::milliseconds kIdleTurn{250};

// How much one read asks for. A synchronous read waits until it can fill
// the whole request, so while data only trickles in, a read asks for just
// what has arrived (InternetQueryDataAvailable): no read then waits for
// more, and the window system gets its turn as soon as anything came.
// WinINet hands over no more than its own small receive buffer that way,
// though, at the price of one costly call per few KiB, which caps a fast
// transfer far below what the network moves. So once the pace is known to
// be high, reads ask for blocks that arrive in about kBlockTime at that
// pace (kSmallestBlock to kLargestBlock); a block that takes much longer
// than that sends the reads back to taking what has arrived. The window
// system therefore waits no longer between turns than it would with small
// reads, unless a fast server suddenly slows down, and then once only.
//
// That one block is bounded by `largest`: half of what the least rate of
// the stall rule delivers within the stall limit. A line that drops from
// fast to just above that rate then fills it within half the limit and the
// stall watch still sees the line's true pace (a block is bytes that
// arrived meanwhile, handed over in one piece). Always asking what has
// arrived and reading just that (or reading without waiting,
// InternetReadFileEx with IRF_NO_WAIT) would keep the pace exact too, but
// WinINet then hands over a few KiB per call: under Wine a fast transfer
// fell from over 100 MiB/s to 9.
class ReadPacer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr DWORD kSmallestBlock = 64 * 1024;
    static constexpr DWORD kLargestBlock = 256 * 1024;

    explicit ReadPacer(DWORD largest) : largest_(std::max<DWORD>(1, largest)) {}

    // Bytes to ask for: `arrived` (what has come in already) or a block.
    DWORD wanted(DWORD arrived) const {
        if (block_ > 0) {
            return std::min(block_, largest_);
        }
        return arrived == 0 ? 1 : std::min(arrived, kLargestBlock);
    }
    // True when the next read asks for a block, so that what has arrived
    // need not be asked first.
    bool asksForBlock() const { return block_ > 0; }

    // After each read: the bytes it delivered and the time it took.
    void readDone(DWORD count, Clock::duration took) {
        const Clock::time_point now = Clock::now();
        if (block_ > 0 && took > 4 * kBlockTime) {
            block_ = 0;
            restart(now);
            return;
        }
        bytes_ += count;
        const Clock::duration span = now - since_;
        if (span < kRateSpan) {
            return;
        }
        // Bytes arriving in kBlockTime at the pace of the last span.
        const double block = static_cast<double>(bytes_) *
                             std::chrono::duration<double>(kBlockTime).count() /
                             std::chrono::duration<double>(span).count();
        if (block < kSmallestBlock) {
            block_ = 0;
        } else {
            block_ = block > kLargestBlock ? kLargestBlock : static_cast<DWORD>(block);
        }
        restart(now);
    }

private:
    static constexpr Clock::duration kBlockTime = std::chrono::milliseconds(10);
    static constexpr Clock::duration kRateSpan = std::chrono::milliseconds(20);

    void restart(Clock::time_point now) {
        since_ = now;
        bytes_ = 0;
    }

    DWORD largest_;
    DWORD block_ = 0;  // 0: ask for what has arrived
    Clock::time_point since_ = Clock::now();
    std::uint64_t bytes_ = 0;
};

// A header of the response as text; nullopt when it has none.
std::optional<std::string> headerText(HINTERNET request, DWORD infoLevel) {
    std::string buffer(256, '\0');
    DWORD length = static_cast<DWORD>(buffer.size());
    if (!HttpQueryInfoA(request, infoLevel, buffer.data(), &length, nullptr)) {
        // On a buffer too small, `length` is the size it needs.
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return std::nullopt;
        }
        buffer.assign(length, '\0');
        if (!HttpQueryInfoA(request, infoLevel, buffer.data(), &length, nullptr)) {
            return std::nullopt;
        }
    }
    buffer.resize(length);
    return buffer;
}

// The body length the GET's head announces; nullopt for none (or a chunked body).
std::optional<std::int64_t> announcedBodyLength(HINTERNET request) {
    if (const auto encoding = headerText(request, HTTP_QUERY_TRANSFER_ENCODING)) {
        if (encoding->find("chunked") != std::string::npos) {
            return std::nullopt;
        }
    }
    const auto text = headerText(request, HTTP_QUERY_CONTENT_LENGTH);
    return text ? decimalNumber(*text) : std::nullopt;
}

// The size probe: a HEAD to the host text on port 80. Each step only when
// the one before succeeded; the handles close in reverse order: request,
// then connection. Through a proxy WinINet names the whole resource,
// "http://host:80/path".
SizeProbe probe(HINTERNET session, const std::string& host, const std::string& objectPath) {
    SizeProbe result;
    const InternetHandle connection(
        InternetConnectA(session, host.c_str(), 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        result.error = osFailure(GetLastError());
        return result;
    }
    const InternetHandle request(HttpOpenRequestA(connection.get(), "HEAD", objectPath.c_str(),
                                                  "HTTP/1.1", nullptr, nullptr, kRequestFlags, 0));
    if (!request) {
        result.error = osFailure(GetLastError());
        return result;
    }
    // In place of one the flags made WinINet add already: each line once.
    HttpAddRequestHeadersA(request.get(), kNoCacheLines, static_cast<DWORD>(-1),
                           HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    if (!HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) {
        result.error = osFailure(GetLastError());
        return result;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                   nullptr);
    result.kind = SizeProbe::Kind::Answered;
    result.status = static_cast<int>(status);
    if (status >= 200 && status <= 299) {
        // As text: the number form of the query has only 32 bits.
        const auto length = headerText(request.get(), HTTP_QUERY_CONTENT_LENGTH);
        result.length = length ? decimalNumber(*length).value_or(0) : 0;
    }
    return result;
}

// What the reading thread of a GET hands to the caller, one at a time.
struct Piece {
    enum class Kind { NotOpened, Opened, Data, End, Failed };
    explicit Piece(Kind what, int code = 0, std::optional<std::int64_t> length = std::nullopt,
                   std::vector<char> bytes = {})
        : kind(what), status(code), expected(length), data(std::move(bytes)) {}
    static Piece opened(int status, std::optional<std::int64_t> length, BodyContent content) {
        Piece piece(Kind::Opened, status, length);
        piece.content = std::move(content);
        return piece;
    }
    // A failure of the reading thread itself, not of a Windows call.
    static Piece failedFor(int catalogueNumber) {
        Piece piece(Kind::Failed, catalogueNumber);
        piece.origin = FailureOrigin::Catalogue;
        return piece;
    }
    Kind kind;
    int status = 0;  // Opened; NotOpened, Failed: the error code, of `origin`
    FailureOrigin origin = FailureOrigin::Windows;
    std::optional<std::int64_t> expected;  // Opened: the announced body length
    BodyContent content;                   // Opened: its type and coding
    std::vector<char> data;                // Data

    // NotOpened, Failed: what ended the GET.
    Failure failure() const {
        return origin == FailureOrigin::Catalogue ? Failure::of(status)
                                                  : osFailure(static_cast<std::uint32_t>(status));
    }
};

// The reading thread of a GET: opens the URL and reads the body, handing
// each read over, until the body ends, a call fails or the caller has given
// up on it.
void fetch(HINTERNET session, const std::string& url, DWORD largestBlock,
           Handoff<Piece>& handoff) noexcept {
    try {
        const std::string headerLines = getHeaderLines();
        const InternetHandle file(InternetOpenUrlA(session, url.c_str(), headerLines.c_str(),
                                                   static_cast<DWORD>(headerLines.size()),
                                                   kRequestFlags, 0));
        if (!file) {
            const DWORD error = GetLastError();
            handoff.put(Piece{Piece::Kind::NotOpened, static_cast<int>(error)});
            return;
        }
        DWORD status = 0;
        DWORD size = sizeof status;
        HttpQueryInfoA(file.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                       nullptr);
        BodyContent content{headerText(file.get(), HTTP_QUERY_CONTENT_TYPE).value_or(""),
                            headerText(file.get(), HTTP_QUERY_CONTENT_ENCODING).value_or("")};
        if (contentCodingOf(content.coding) == ContentCoding::None) {
            content.coding.clear();
        }
        if (!handoff.put(Piece::opened(static_cast<int>(status), announcedBodyLength(file.get()),
                                       std::move(content)))) {
            return;
        }
        ReadPacer pacer(largestBlock);
        for (;;) {
            DWORD arrived = 0;
            if (!pacer.asksForBlock() && !InternetQueryDataAvailable(file.get(), &arrived, 0, 0)) {
                const DWORD error = GetLastError();
                handoff.put(Piece{Piece::Kind::Failed, static_cast<int>(error)});
                return;
            }
            std::vector<char> buffer(pacer.wanted(arrived));
            DWORD read = 0;
            const auto start = std::chrono::steady_clock::now();
            const BOOL ok = InternetReadFile(file.get(), buffer.data(),
                                             static_cast<DWORD>(buffer.size()), &read);
            const DWORD error = ok ? 0 : GetLastError();
            pacer.readDone(read, std::chrono::steady_clock::now() - start);
            if (!ok || read == 0) {
                handoff.put(
                    Piece{ok ? Piece::Kind::End : Piece::Kind::Failed, static_cast<int>(error)});
                return;
            }
            buffer.resize(read);
            if (!handoff.put(Piece{Piece::Kind::Data, 0, std::nullopt, std::move(buffer)})) {
                return;
            }
        }
    } catch (...) {
        // Out of memory for a buffer: the transfer failed.
        handoff.put(Piece::failedFor(err::OutOfMemory));
    }
}

// The next item of `handoff`, or nullopt once `deadline` has passed. While
// waiting, the thread's window messages are handled as they come, and at
// least every kMessageTurnMs, so its windows never stop answering.
template <class T>
std::optional<T> await(Handoff<T>& handoff, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        if (std::optional<T> item = handoff.tryTake()) {
            return item;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        const HANDLE ready = handoff.ready();
        const DWORD wait = static_cast<DWORD>(std::min<std::int64_t>(left.count(), kMessageTurnMs));
        if (MsgWaitForMultipleObjectsEx(1, &ready, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
            WAIT_FAILED) {
            Sleep(wait);
        }
        dispatchPendingMessages();
    }
}

// A thread that makes blocking WinINet calls for the waiting thread. It holds
// shared ownership of everything it uses (session handle, handoff), so it may
// outlive the call that started it: when nothing arrives for the stall limit,
// the waiting thread leaves it behind in its pending call (WinINet's own
// receive time-out is not honoured everywhere, Wine, and closing a handle
// under a running call is not allowed), and it ends when that call returns.
// Once it has handed over its last item it only closes its own handles, so
// it is joined then: after a normal end no thread is left.
class Worker {
public:
    template <class Body>
    explicit Worker(Body body) : thread_(std::move(body)) {}
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    ~Worker() {
        if (finished_) {
            thread_.join();
        } else {
            thread_.detach();
        }
    }
    // The thread has handed over its last item and ends by itself.
    void finished() noexcept { finished_ = true; }

private:
    std::thread thread_;
    bool finished_ = false;
};

class WinInetSession : public HttpSession {
public:
    WinInetSession(SharedInternetHandle session, std::chrono::milliseconds stallLimit)
        : session_(std::move(session)), stallLimit_(stallLimit) {}

    SizeProbe probeContentLength(const std::string& host, const std::string& objectPath) override {
        if (!isHostName(host)) {
            // WinINet would take "host:port" for a name and, through a
            // proxy, ask for "http://host:port:80/...".
            SizeProbe notSent;
            notSent.kind = SizeProbe::Kind::NoHostName;
            return notSent;
        }
        auto handoff = std::make_shared<Handoff<SizeProbe>>();
        Worker worker([session = session_, host, objectPath, handoff]() noexcept {
            try {
                handoff->put(probe(session.get(), host, objectPath));
            } catch (...) {
                // Out of memory for the outcome: no size.
                handoff->put(SizeProbe{});
            }
        });
        std::optional<SizeProbe> probe = await(
            *handoff, std::min(std::chrono::steady_clock::now() + kSizeProbeLimit, probeDeadline_));
        if (!probe) {
            handoff->abandon();
            SizeProbe late;
            late.kind = SizeProbe::Kind::TimedOut;
            return late;
        }
        worker.finished();
        return std::move(*probe);
    }

    GetResult get(const std::string& url, BodySink& sink) override {
        auto handoff = std::make_shared<Handoff<Piece>>();
        Worker worker([session = session_, url, block = largestBlock(), handoff]() noexcept {
            fetch(session.get(), url, block, *handoff);
        });
        // However this call ends, the reading thread stops at its next handover.
        const ScopeGuard abandonOnExit([&handoff]() noexcept { handoff->abandon(); });

        int status = 0;  // 0 until the response opened
        std::optional<std::int64_t> expected;
        BodyContent content;
        std::optional<BodyDecoder> decoder;
        std::int64_t received = 0;
        StallWatch watch(stallLimit_);
        const auto toSink = [&sink](const char* data, std::size_t count) {
            sink.write(data, count);
        };
        for (;;) {
            const auto turn = std::chrono::steady_clock::now() + kIdleTurn;
            std::optional<Piece> piece = await(*handoff, std::min(watch.deadline(), turn));
            if (!piece && !watch.stalled()) {
                // The sink hears of the wait as of a read that delivered nothing.
                sink.afterRead();
                continue;
            }
            if (!piece) {
                return GetResult::stalled(status).with(content);
            }
            switch (piece->kind) {
                case Piece::Kind::NotOpened:
                    worker.finished();
                    return GetResult::notOpened(piece->failure());
                case Piece::Kind::Opened: {
                    status = piece->status;
                    expected = piece->expected;
                    content = piece->content;
                    watch = StallWatch(stallLimit_);
                    const ContentCoding coding = contentCodingOf(content.coding);
                    sink.content(content);
                    // The announced length is the coded body's.
                    sink.begin(piece->status,
                               coding == ContentCoding::None ? expected : std::nullopt);
                    if (coding == ContentCoding::Unknown) {
                        return GetResult::unknownCoding(status).with(content);
                    }
                    if (coding != ContentCoding::None) {
                        decoder.emplace(coding);
                    }
                    break;
                }
                case Piece::Kind::Data:
                    watch.arrived(piece->data.size());
                    if (decoder) {
                        if (std::optional<Failure> undecodable =
                                decoder->feed(piece->data.data(), piece->data.size(), toSink)) {
                            return GetResult::incomplete(status, std::move(undecodable))
                                .with(content);
                        }
                    } else {
                        sink.write(piece->data.data(), piece->data.size());
                    }
                    received += static_cast<std::int64_t>(piece->data.size());
                    sink.afterRead();
                    break;
                case Piece::Kind::Failed:
                    worker.finished();
                    sink.afterRead();
                    return GetResult::incomplete(status, piece->failure()).with(content);
                case Piece::Kind::End:
                    worker.finished();
                    sink.afterRead();
                    // WinINet ends a body that the connection cut short like
                    // a whole one; only its announced length, or a coded
                    // stream that has not ended, tells them apart.
                    if ((expected && received < *expected) || (decoder && !decoder->whole())) {
                        return GetResult::incomplete(status).with(content);
                    }
                    sink.end();
                    return GetResult::complete(status).with(content);
            }
        }
    }

    std::string proxyFor(const std::string& host) const override {
        DWORD size = 0;
        std::vector<std::uint64_t> buffer;  // aligned for INTERNET_PROXY_INFO
        for (int attempt = 0; attempt < 2; ++attempt) {
            buffer.assign(size / sizeof(std::uint64_t) + 1, 0);
            size = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
            if (InternetQueryOptionW(session_.get(), INTERNET_OPTION_PROXY, buffer.data(), &size)) {
                const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data());
                if (info->dwAccessType != INTERNET_OPEN_TYPE_PROXY || info->lpszProxy == nullptr) {
                    return {};
                }
                return proxyForLog(httpProxyFor(
                    host, narrow(info->lpszProxy),
                    info->lpszProxyBypass != nullptr ? narrow(info->lpszProxyBypass) : ""));
            }
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
                break;
            }
        }
        return {};
    }

    void probeUntil(std::chrono::steady_clock::time_point deadline) override {
        probeDeadline_ = deadline;
    }

private:
    // Half of what the stall rule's least rate delivers within the limit.
    DWORD largestBlock() const {
        const auto bytes =
            static_cast<std::uint64_t>(stallLimit_.count()) * StallWatch::kLeastRate / 1000 / 2;
        return static_cast<DWORD>(std::min<std::uint64_t>(bytes, ReadPacer::kLargestBlock));
    }

    SharedInternetHandle session_;
    std::chrono::steady_clock::time_point probeDeadline_ =
        std::chrono::steady_clock::time_point::max();
    std::chrono::milliseconds stallLimit_;
};

}  // namespace

std::uint32_t requestFlags() {
    return kRequestFlags;
}

std::unique_ptr<HttpSession> WinInetHttp::openSession() {
    InternetHandle session(InternetOpenA(userAgent_.empty() ? nullptr : userAgent_.c_str(),
                                         INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) {
        return nullptr;
    }
    // Time limits set on the session hold for every handle made from it.
    // (Wine's WinINet keeps the connect limit only; the session enforces the
    // stall limit itself as well.)
    DWORD connectTimeout = kConnectTimeoutMs;
    DWORD stallTimeout = static_cast<DWORD>(stallLimit_.count());
    InternetSetOptionA(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout,
                       sizeof connectTimeout);
    InternetSetOptionA(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &stallTimeout,
                       sizeof stallTimeout);
    InternetSetOptionA(session.get(), INTERNET_OPTION_SEND_TIMEOUT, &stallTimeout,
                       sizeof stallTimeout);
    return std::make_unique<WinInetSession>(
        SharedInternetHandle(session.release(), InternetHandleCloser{}), stallLimit_);
}

}  // namespace morvane::win32
