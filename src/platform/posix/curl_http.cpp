#include "platform/posix/curl_http.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>

#include "base/failure.h"
#include "base/stall_watch.h"
#include "base/text.h"

namespace morvane::posix {

namespace {

struct EasyCleanup {
    void operator()(CURL* easy) const noexcept { curl_easy_cleanup(easy); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

struct ListCleanup {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, ListCleanup>;

constexpr long kConnectTimeoutSeconds = 30;
// Bytes libcurl hands over per write callback at most.
constexpr long kReceiveBufferBytes = 64L * 1024;

bool libcurlReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ready;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

// What the headers of the latest response said about its length. A redirect
// or an interim response is followed by the next one's status line, which
// starts afresh.
struct ResponseHead {
    std::optional<std::int64_t> contentLength;
    bool chunked = false;

    void take(std::string_view line) {
        if (line.substr(0, 5) == "HTTP/") {
            *this = ResponseHead{};
            return;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return;
        }
        const std::string_view name = trimmed(line.substr(0, colon));
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (equalsIgnoringCase(name, "Content-Length")) {
            contentLength = decimalNumber(value);
        } else if (equalsIgnoringCase(name, "Transfer-Encoding")) {
            chunked = value.find("chunked") != std::string_view::npos;
        }
    }

    // The body's length as the head announced it; nullopt when it did not.
    std::optional<std::int64_t> bodyLength() const {
        return chunked ? std::nullopt : contentLength;
    }
};

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) noexcept {
    static_cast<ResponseHead*>(user)->take(std::string_view(data, size * count));
    return size * count;
}

// A host text that names a host and nothing else: no port, no user
// information. Any other text is no server name, so a connection to it fails.
bool isPlainHost(std::string_view host) {
    if (host.empty()) {
        return false;
    }
    for (const char c : host) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

// Sets options of one handle in turn. Once libcurl refuses one, it sets no
// more, and refused() tells that one's code.
class Options {
public:
    explicit Options(CURL* easy) : easy_(easy) {}

    template <class Value>
    Options& set(CURLoption option, Value value) {
        if (refused_ == CURLE_OK) {
            refused_ = curl_easy_setopt(easy_, option, value);
        }
        return *this;
    }
    CURLcode refused() const { return refused_; }

private:
    CURL* easy_;
    CURLcode refused_ = CURLE_OK;
};

// Options both requests share. A transfer that moves less than one byte per
// second for `stallSeconds` has stalled. An empty `userAgent` sends none.
Options& setCommonOptions(Options& options, curl_slist* headers, long stallSeconds,
                          const std::string& userAgent) {
    if (!userAgent.empty()) {
        options.set(CURLOPT_USERAGENT, userAgent.c_str());
    }
    return options.set(CURLOPT_NOSIGNAL, 1L)
        .set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1))
        .set(CURLOPT_HTTPHEADER, headers)
        .set(CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds)
        .set(CURLOPT_LOW_SPEED_LIMIT, 1L)
        .set(CURLOPT_LOW_SPEED_TIME, stallSeconds)
        .set(CURLOPT_PATH_AS_IS, 1L);
}

// A failure libcurl reports: its code and its text.
Failure curlFailure(CURLcode code, const char* text) {
    return Failure(FailureOrigin::Library, static_cast<int>(code), text);
}

// libcurl's own "Accept: */*" is no header line of the exchange.
HeaderList noExtraHeaders() {
    return HeaderList(curl_slist_append(nullptr, "Accept:"));
}

// One GET in progress: hands the body to the sink and keeps the first
// exception a sink throws, which must not pass through libcurl.
struct Transfer {
    CURL* easy;
    BodySink& sink;
    // Ends the transfer when it stalls. libcurl's own low speed limit
    // averages over several seconds, so a burst before a silence would
    // stretch it, and a trickle of a few bytes a second passes it.
    StallWatch watch;
    ResponseHead head;
    bool begun = false;
    std::exception_ptr failure;
    curl_off_t received = 0;
    bool stalled = false;

    void beginOnce() {
        if (begun) {
            return;
        }
        begun = true;
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        sink.begin(static_cast<int>(status), head.bodyLength());
    }

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count,
                                void* user) noexcept {
        static_cast<Transfer*>(user)->head.take(std::string_view(data, size * count));
        return size * count;
    }

    static std::size_t onBody(char* data, std::size_t size, std::size_t count,
                              void* user) noexcept {
        auto& self = *static_cast<Transfer*>(user);
        try {
            self.beginOnce();
            self.sink.write(data, size * count);
            self.sink.afterRead();
            return size * count;
        } catch (...) {
            self.failure = std::current_exception();
            return 0;  // anything but the count given aborts the transfer
        }
    }

    // libcurl calls this while it waits too, so the window system is also
    // served while a slow server sends nothing.
    static int onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t,
                          curl_off_t) noexcept {
        auto& self = *static_cast<Transfer*>(user);
        const auto now = std::chrono::steady_clock::now();
        // The count starts afresh for each response when redirects are followed.
        if (downloaded > self.received) {
            self.watch.arrived(static_cast<std::uint64_t>(downloaded - self.received), now);
        }
        self.received = downloaded;
        if (self.watch.stalled(now)) {
            self.stalled = true;
            return 1;
        }
        try {
            self.sink.afterRead();
            return 0;
        } catch (...) {
            self.failure = std::current_exception();
            return 1;
        }
    }
};

class CurlSession : public HttpSession {
public:
    CurlSession(std::string userAgent, std::chrono::milliseconds stallLimit)
        : userAgent_(std::move(userAgent)),
          stallLimit_(stallLimit),
          stallSeconds_(static_cast<long>(std::max<std::int64_t>(
              1, std::chrono::ceil<std::chrono::seconds>(stallLimit).count()))) {}

    SizeProbe probeContentLength(const std::string& host, const std::string& objectPath) override {
        if (!isPlainHost(host)) {
            return {};
        }
        EasyHandle easy(curl_easy_init());
        HeaderList headers = noExtraHeaders();
        if (!easy || !headers) {
            return {};
        }
        const std::string url = "http://" + host + "/";
        ResponseHead head;
        CURL* e = easy.get();
        // The request target goes out as written, not as libcurl would
        // normalise the URL's path.
        Options options(e);
        setCommonOptions(options, headers.get(), stallSeconds_, userAgent_)
            .set(CURLOPT_PROTOCOLS_STR, "http")
            .set(CURLOPT_URL, url.c_str())
            .set(CURLOPT_PORT, 80L)
            .set(CURLOPT_REQUEST_TARGET, objectPath.c_str())
            .set(CURLOPT_NOBODY, 1L)
            .set(CURLOPT_HEADERFUNCTION, &onHeader)
            .set(CURLOPT_HEADERDATA, &head);
        if (probeDeadline_) {
            options.set(CURLOPT_TIMEOUT_MS, millisecondsUntil(*probeDeadline_));
        }
        if (options.refused() != CURLE_OK) {
            return {};
        }
        if (const CURLcode result = curl_easy_perform(e); result != CURLE_OK) {
            return {0, curlFailure(result, curl_easy_strerror(result))};
        }
        // Read as a 32-bit number: lengths from 2^31 to 2^32 - 1 come out
        // negative; a longer number is none.
        const std::optional<std::int64_t> length = head.contentLength;
        if (!length || *length > 0xFFFFFFFFLL) {
            return {};
        }
        return {static_cast<std::int32_t>(static_cast<std::uint32_t>(*length)), std::nullopt};
    }

    GetResult get(const std::string& url, BodySink& sink) override {
        EasyHandle easy(curl_easy_init());
        HeaderList headers = noExtraHeaders();
        if (!easy || !headers) {
            throw Failure::of(err::OutOfMemory);
        }
        CURL* e = easy.get();
        char errorText[CURL_ERROR_SIZE] = {};
        Transfer transfer{e, sink, StallWatch(stallLimit_), {}, false, nullptr, 0, false};
        Options options(e);
        setCommonOptions(options, headers.get(), stallSeconds_, userAgent_)
            .set(CURLOPT_PROTOCOLS_STR, "http,https")
            .set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https")
            .set(CURLOPT_URL, url.c_str())
            .set(CURLOPT_FOLLOWLOCATION, 1L)
            .set(CURLOPT_MAXREDIRS, 20L)
            .set(CURLOPT_BUFFERSIZE, kReceiveBufferBytes)
            .set(CURLOPT_HEADERFUNCTION, &Transfer::onHeader)
            .set(CURLOPT_HEADERDATA, &transfer)
            .set(CURLOPT_WRITEFUNCTION, &Transfer::onBody)
            .set(CURLOPT_WRITEDATA, &transfer)
            .set(CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress)
            .set(CURLOPT_XFERINFODATA, &transfer)
            .set(CURLOPT_NOPROGRESS, 0L)
            .set(CURLOPT_ERRORBUFFER, errorText);
        if (options.refused() != CURLE_OK) {
            return GetResult::notOpened(
                curlFailure(options.refused(), "libcurl refused an option"));
        }
        const CURLcode result = curl_easy_perform(e);
        if (transfer.failure) {
            std::rethrow_exception(transfer.failure);
        }
        if (result == CURLE_OUT_OF_MEMORY) {
            throw Failure::of(err::OutOfMemory);
        }
        long status = 0;
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
        if (result == CURLE_OK) {
            transfer.beginOnce();
            return GetResult::complete(static_cast<int>(status));
        }
        const bool opened = transfer.begun || status != 0;
        // libcurl's own low speed limit ends a stalled transfer as a time-out.
        if (transfer.stalled || (opened && result == CURLE_OPERATION_TIMEDOUT)) {
            return GetResult::stalled(static_cast<int>(status));
        }
        Failure error =
            curlFailure(result, errorText[0] != '\0' ? errorText : curl_easy_strerror(result));
        return opened ? GetResult::incomplete(static_cast<int>(status), std::move(error))
                      : GetResult::notOpened(std::move(error));
    }
    void probeUntil(std::chrono::steady_clock::time_point deadline) override {
        probeDeadline_ = deadline;
    }

private:
    // At least 1: libcurl reads 0 as no limit.
    static long millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        return static_cast<long>(std::max<std::int64_t>(1, left.count()));
    }

    std::optional<std::chrono::steady_clock::time_point> probeDeadline_;
    std::string userAgent_;
    std::chrono::milliseconds stallLimit_;
    long stallSeconds_;  // for libcurl's own limit, in whole seconds
};

}  // namespace

std::unique_ptr<HttpSession> CurlHttp::openSession() {
    if (!libcurlReady()) {
        return nullptr;
    }
    return std::make_unique<CurlSession>(userAgent_, stallLimit_);
}

}  // namespace morvane::posix
