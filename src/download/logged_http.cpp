#include "download/logged_http.h"

#include <chrono>
#include <exception>
#include <optional>

#include "base/failure.h"
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
        const std::string request = "HEAD http://" + host + objectPath + " (port 80): ";
        try {
            SizeProbe probe = inner_->probeContentLength(host, objectPath);
            log_.note(
                request +
                (probe.length != 0
                     ? "Content-Length " + decimal(probe.length)
                     : "no size" + (probe.error ? " (" + probe.error->description() + ")" : "")) +
                ", " + millisecondsSince(start));
            return probe;
        } catch (const Failure& failure) {
            log_.note(request + "failed: " + failure.description() + ", " +
                      millisecondsSince(start));
            throw;
        }
    }

    GetResult get(const std::string& url, BodySink& sink) override {
        const auto start = Stopwatch::now();
        CountingSink counting(sink);
        std::string why;
        try {
            GetResult result = inner_->get(url, counting);
            if (!result.isComplete()) {
                why = reason(result, counting);
            }
            log_.note(line(url, counting, why, start));
            return result;
        } catch (const Failure& failure) {
            why = failure.description() + " (" + decimal(failure.number()) + ")";
            log_.note(line(url, counting, why, start));
            throw;
        } catch (const OutsideLimits& broken) {
            why = broken.what();
            log_.note(line(url, counting, why, start));
            throw;
        } catch (...) {
            // A status the sink refused ends the transfer by an exception too.
            why = counting.status_ ? "status " + decimal(*counting.status_) : "stopped";
            log_.note(line(url, counting, why, start));
            throw;
        }
    }

    void probeUntil(std::chrono::steady_clock::time_point deadline) override {
        inner_->probeUntil(deadline);
    }

private:
    static std::string reason(const GetResult& result, const CountingSink& counting) {
        if (result.kind == GetResult::Kind::Stalled) {
            return "stalled";
        }
        if (result.kind == GetResult::Kind::Incomplete && counting.announced_ &&
            counting.received_ < *counting.announced_) {
            return "cut short after " + decimal(counting.received_) + " of " +
                   decimal(*counting.announced_) + " bytes";
        }
        if (result.error) {
            return result.error->description();
        }
        return result.kind == GetResult::Kind::NotOpened ? "not opened" : "incomplete";
    }

    static std::string line(const std::string& url, const CountingSink& counting,
                            const std::string& why, Stopwatch::time_point start) {
        std::string text = "GET " + url + ": ";
        if (counting.status_ && why != "status " + decimal(*counting.status_)) {
            text += "status " + decimal(*counting.status_) + ", ";
        }
        text += decimal(counting.received_) + " bytes, " + millisecondsSince(start);
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
