#include "download/logged_http.h"

#include <chrono>
#include <exception>
#include <optional>

#include "base/failure.h"
#include "base/http_fields.h"
#include "base/text.h"
#include "download/file_sink.h"

namespace morvane {
namespace {

using Stopwatch = std::chrono::steady_clock;

std::string millisecondsSince(Stopwatch::time_point start) {
    return decimal(std::chrono::duration_cast<std::chrono::milliseconds>(Stopwatch::now() - start)
                       .count()) +
           " ms";
}

// Passes the body on and notes what the response said and how much came.
class CountingSink : public BodySink {
public:
    explicit CountingSink(BodySink& inner) : inner_(inner) {}

    void content(const BodyContent& content) override {
        coding_ = content.coding;
        inner_.content(content);
    }
    void begin(int status, std::optional<std::int64_t> contentLength) override {
        status_ = status;
        announced_ = contentLength;
        inner_.begin(status, contentLength);
    }
    void write(const char* data, std::size_t count) override {
        inner_.write(data, count);
        received_ += static_cast<std::int64_t>(count);
    }
    void afterRead() override { inner_.afterRead(); }
    void end() override { inner_.end(); }

    std::string coding_;
    std::optional<int> status_;
    std::optional<std::int64_t> announced_;
    std::int64_t received_ = 0;

private:
    BodySink& inner_;
};

class LoggedSession : public HttpSession {
public:
    LoggedSession(std::unique_ptr<HttpSession> inner, RunLog& log)
        : inner_(std::move(inner)), log_(log) {}

    SizeProbe probeContentLength(const std::string& host, const std::string& objectPath) override {
        const auto start = Stopwatch::now();
        const std::string proxy = inner_->proxyFor(host);
        const std::string request = "HEAD http://" + host + objectPath + " (port 80" +
                                    (proxy.empty() ? "" : ", via proxy " + proxy) + "): ";
        try {
            SizeProbe probe = inner_->probeContentLength(host, objectPath);
            log_.note(request + outcome(probe) + ", " + millisecondsSince(start));
            return probe;
        } catch (const Failure& failure) {
            log_.note(request + "failed: " + failure.description() + ", " +
                      millisecondsSince(start));
            throw;
        }
    }

    GetResult get(const std::string& url, BodySink& sink) override {
        const auto start = Stopwatch::now();
        const std::string request = "GET " + url + via(inner_->proxyFor(hostTextOf(url))) + ": ";
        CountingSink counting(sink);
        std::string why;
        try {
            GetResult result = inner_->get(url, counting);
            if (!result.isComplete()) {
                why = reason(result, counting);
            }
            log_.note(line(request, counting, why, start));
            return result;
        } catch (const Failure& failure) {
            why = failure.description() + " (" + decimal(failure.number()) + ")";
            log_.note(line(request, counting, why, start));
            throw;
        } catch (const OutsideLimits& broken) {
            why = broken.what();
            log_.note(line(request, counting, why, start));
            throw;
        } catch (const DigestMismatch& mismatch) {
            why = mismatch.what();
            log_.note(line(request, counting, why, start));
            throw;
        } catch (...) {
            // A status the sink refused ends the transfer by an exception too.
            why = counting.status_ ? "status " + decimal(*counting.status_) : "stopped";
            log_.note(line(request, counting, why, start));
            throw;
        }
    }

    void probeUntil(std::chrono::steady_clock::time_point deadline) override {
        inner_->probeUntil(deadline);
    }
    std::string proxyFor(const std::string& host) const override { return inner_->proxyFor(host); }

private:
    // What became of the size probe: the size, or why there is none.
    static std::string outcome(const SizeProbe& probe) {
        switch (probe.kind) {
            case SizeProbe::Kind::Answered:
                if (probe.status < 200 || probe.status > 299) {
                    return "status " + decimal(probe.status) + ", not used";
                }
                return "status " + decimal(probe.status) + ", " +
                       (probe.length != 0 ? "Content-Length " + decimal(probe.length) : "no size");
            case SizeProbe::Kind::NoHostName:
                return "not sent: the host text names more than a host";
            case SizeProbe::Kind::TimedOut:
                return "no answer in time, no size";
            case SizeProbe::Kind::NoAnswer:
                break;
        }
        return "no size" + (probe.error ? " (" + probe.error->description() + ")" : "");
    }

    static std::string via(const std::string& proxy) {
        return proxy.empty() ? "" : " (via proxy " + proxy + ")";
    }

    // The text between "http://" and the next "/" of a URL.
    static std::string hostTextOf(const std::string& url) {
        const std::size_t start = url.find("://");
        if (start == std::string::npos) {
            return {};
        }
        const std::size_t end = url.find('/', start + 3);
        return url.substr(start + 3,
                          end == std::string::npos ? std::string::npos : end - start - 3);
    }

    static std::string reason(const GetResult& result, const CountingSink& counting) {
        if (result.kind == GetResult::Kind::Stalled) {
            return "stalled";
        }
        if (result.kind == GetResult::Kind::UnknownCoding) {
            return "the updater decodes no Content-Encoding but " + std::string(kAcceptedCodings);
        }
        if (result.kind == GetResult::Kind::Incomplete && counting.announced_ &&
            counting.received_ < *counting.announced_) {
            return "cut short after " + decimal(counting.received_) + " of " +
                   decimal(*counting.announced_) + " bytes";
        }
        if (result.error) {
            return result.error->description();
        }
        if (result.kind == GetResult::Kind::Incomplete && !result.content.coding.empty()) {
            return "cut short: the " + result.content.coding + " data break off";
        }
        return result.kind == GetResult::Kind::NotOpened ? "not opened" : "incomplete";
    }

    static std::string line(const std::string& request, const CountingSink& counting,
                            const std::string& why, Stopwatch::time_point start) {
        std::string text = request;
        if (counting.status_ && why != "status " + decimal(*counting.status_)) {
            text += "status " + decimal(*counting.status_) + ", ";
        }
        if (!counting.coding_.empty()) {
            text += "Content-Encoding " + counting.coding_ + ", ";
        }
        const bool decoded = contentCodingOf(counting.coding_) != ContentCoding::Unknown &&
                             !counting.coding_.empty();
        text += decimal(counting.received_) + " bytes" + (decoded ? " decoded" : "") + ", " +
                millisecondsSince(start);
        if (!why.empty()) {
            text += ", failed: " + why;
        }
        return text;
    }

    std::unique_ptr<HttpSession> inner_;
    RunLog& log_;
};

}  // namespace

std::unique_ptr<HttpSession> LoggedHttp::openSession() {
    std::unique_ptr<HttpSession> session = inner_.openSession();
    if (!session) {
        log_.note("HTTP: no Internet session could be opened");
        return nullptr;
    }
    return std::make_unique<LoggedSession>(std::move(session), log_);
}

}  // namespace morvane
