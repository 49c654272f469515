#include "platform/posix/curl_http.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>

#include "base/body_decoder.h"
#include "base/failure.h"
#include "base/http_fields.h"
#include "base/stall_watch.h"
#include "base/text.h"
#include "platform/posix/environment_proxy.h"

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

// What the headers of the latest response said about its length. A redirect
// or an interim response is followed by the next one's status line, which
// starts afresh.
struct ResponseHead {
    std::optional<std::int64_t> contentLength;
    bool chunked = false;
    std::string contentType;
    std::string contentEncoding;

    void take(std::string_view line) {
        if (line.substr(0, 5) == "HTTP/") {
            *this = ResponseHead{};
            return;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return;
        }
        const std::string_view name = trimmedField(line.substr(0, colon));
        const std::string_view value = trimmedField(line.substr(colon + 1));
        if (equalsIgnoringCase(name, "Content-Length")) {
            contentLength = decimalNumber(value);
        } else if (equalsIgnoringCase(name, "Transfer-Encoding")) {
            chunked = value.find("chunked") != std::string_view::npos;
        } else if (equalsIgnoringCase(name, "Content-Type")) {
            contentType = value;
        } else if (equalsIgnoringCase(name, "Content-Encoding")) {
            contentEncoding = value;
        }
    }

    ContentCoding coding() const { return contentCodingOf(contentEncoding); }

    BodyContent content() const {
        return {contentType, coding() == ContentCoding::None ? std::string() : contentEncoding};
    }

    // The length of the body as the sink receives it, when the head announced
    // it: a coded body is decoded, and its announced length is the coded one's.
    std::optional<std::int64_t> bodyLength() const {
        return chunked || coding() != ContentCoding::None ? std::nullopt : contentLength;
    }
};

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) noexcept {
    static_cast<ResponseHead*>(user)->take(std::string_view(data, size * count));
    return size * count;
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

// The header lines of a request: libcurl's own "Accept: */*" left out, no
// cache on the way may answer, and for a GET the codings it decodes. Empty
// when memory ran out.
HeaderList requestHeaders(bool acceptCodings) {
    static const std::string kAcceptEncoding = std::string("Accept-Encoding: ") + kAcceptedCodings;
    HeaderList list;
    for (const char* line : {"Accept:", "Cache-Control: no-cache", "Pragma: no-cache",
                             acceptCodings ? kAcceptEncoding.c_str() : nullptr}) {
        if (line == nullptr) {
            break;
        }
        curl_slist* longer = curl_slist_append(list.get(), line);
        if (longer == nullptr) {
            return {};
        }
        if (!list) {
            list.reset(longer);  // the first line starts the list; the others join it
        }
    }
    return list;
}

// One GET in progress: hands the body to the sink and keeps the first
// exception a sink throws, which must not pass through libcurl.
struct Transfer {
    Transfer(CURL* handle, BodySink& receiver, std::chrono::milliseconds stallLimit)
        : easy(handle), sink(receiver), watch(stallLimit) {}

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
    bool unknownCoding = false;
    // libcurl hands the body over as it came; a coded one is decoded here
    // (see BodyDecoder), and `undecodable` says why when that failed.
    std::optional<BodyDecoder> decoder;
    std::optional<Failure> undecodable;

    void beginOnce() {
        if (begun) {
            return;
        }
        begun = true;
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        sink.content(head.content());
        sink.begin(static_cast<int>(status), head.bodyLength());
        if (const ContentCoding coding = head.coding();
            coding == ContentCoding::Gzip || coding == ContentCoding::Deflate) {
            decoder.emplace(coding);
        }
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
            if (self.head.coding() == ContentCoding::Unknown) {
                self.unknownCoding = true;
                return 0;
            }
            if (self.decoder) {
                self.undecodable = self.decoder->feed(
                    data, size * count, [&self](const char* decoded, std::size_t length) {
                        self.sink.write(decoded, length);
                    });
                if (self.undecodable) {
                    return 0;
                }
            } else {
                self.sink.write(data, size * count);
            }
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
        SizeProbe probe;
        if (!isHostName(host)) {
            probe.kind = SizeProbe::Kind::NoHostName;
            return probe;
        }
        EasyHandle easy(curl_easy_init());
        HeaderList headers = requestHeaders(false);
        if (!easy || !headers) {
            return probe;
        }
        const std::string url = "http://" + host + "/";
        // Through a proxy the request names the whole resource, port 80
        // included; straight to the server only the object path. Either goes
        // out as written, not as libcurl would normalise the URL's path.
        const std::string proxy = environmentProxyFor(host);
        const std::string target =
            proxy.empty() ? objectPath : "http://" + host + ":80" + objectPath;
        ResponseHead head;
        CURL* e = easy.get();
        Options options(e);
        setCommonOptions(options, headers.get(), stallSeconds_, userAgent_)
            .set(CURLOPT_PROTOCOLS_STR, "http")
            .set(CURLOPT_URL, url.c_str())
            .set(CURLOPT_PORT, 80L)
            .set(CURLOPT_PROXY, proxy.c_str())
            .set(CURLOPT_NOPROXY, "")
            .set(CURLOPT_REQUEST_TARGET, target.c_str())
            .set(CURLOPT_NOBODY, 1L)
            .set(CURLOPT_TIMEOUT_MS, probeMilliseconds())
            .set(CURLOPT_HEADERFUNCTION, &onHeader)
            .set(CURLOPT_HEADERDATA, &head);
        if (options.refused() != CURLE_OK) {
            probe.error = curlFailure(options.refused(), "libcurl refused an option");
            return probe;
        }
        if (const CURLcode result = curl_easy_perform(e); result != CURLE_OK) {
            probe.kind = result == CURLE_OPERATION_TIMEDOUT ? SizeProbe::Kind::TimedOut
                                                            : SizeProbe::Kind::NoAnswer;
            probe.error = curlFailure(result, curl_easy_strerror(result));
            return probe;
        }
        long status = 0;
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
        probe.kind = SizeProbe::Kind::Answered;
        probe.status = static_cast<int>(status);
        if (status >= 200 && status <= 299) {
            probe.length = head.contentLength.value_or(0);
        }
        return probe;
    }

    GetResult get(const std::string& url, BodySink& sink) override {
        EasyHandle easy(curl_easy_init());
        HeaderList headers = requestHeaders(true);
        if (!easy || !headers) {
            throw Failure::of(err::OutOfMemory);
        }
        CURL* e = easy.get();
        char errorText[CURL_ERROR_SIZE] = {};
        Transfer transfer(e, sink, stallLimit_);
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
        long code = 0;
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &code);
        const auto status = static_cast<int>(code);
        const bool opened = transfer.begun || status != 0;
        if (opened &&
            (transfer.unknownCoding || transfer.head.coding() == ContentCoding::Unknown)) {
            // The sink judges the status first: an error page is refused as that.
            transfer.beginOnce();
            return GetResult::unknownCoding(status).with(transfer.head.content());
        }
        if (transfer.undecodable) {
            return GetResult::incomplete(status, std::move(transfer.undecodable))
                .with(transfer.head.content());
        }
        if (result == CURLE_OK) {
            transfer.beginOnce();
            if (transfer.decoder && !transfer.decoder->whole()) {
                // The coded stream broke off although the body seemed whole.
                return GetResult::incomplete(status).with(transfer.head.content());
            }
            transfer.sink.end();
            return GetResult::complete(status).with(transfer.head.content());
        }
        // libcurl's own low speed limit ends a stalled transfer as a time-out.
        if (transfer.stalled || (opened && result == CURLE_OPERATION_TIMEDOUT)) {
            return GetResult::stalled(status).with(transfer.head.content());
        }
        Failure error =
            curlFailure(result, errorText[0] != '\0' ? errorText : curl_easy_strerror(result));
        return opened
                   ? GetResult::incomplete(status, std::move(error)).with(transfer.head.content())
                   : GetResult::notOpened(std::move(error));
    }
    std::string proxyFor(const std::string& host) const override {
        return proxyForLog(environmentProxyFor(host));
    }
    void probeUntil(std::chrono::steady_clock::time_point deadline) override {
        probeDeadline_ = deadline;
    }

private:
    // The probe's own limit, or less when the probe deadline comes first; at
    // least 1, as libcurl reads 0 as no limit.
    long probeMilliseconds() const {
        auto left = kSizeProbeLimit;
        if (probeDeadline_) {
            left = std::min(left, std::chrono::ceil<std::chrono::milliseconds>(
                                      *probeDeadline_ - std::chrono::steady_clock::now()));
        }
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
