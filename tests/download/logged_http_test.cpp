#include "download/logged_http.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "fakes/recording_run_log.h"

namespace morvane::test {
namespace {

// A session that answers every request as it is told, after announcing a
// body of 100 bytes and delivering 40 of them.
class ToldSession : public HttpSession {
public:
    explicit ToldSession(GetResult result, SizeProbe probe = {})
        : result_(std::move(result)), probe_(std::move(probe)) {}
    SizeProbe probeContentLength(const std::string&, const std::string&) override { return probe_; }
    GetResult get(const std::string&, BodySink& sink) override {
        sink.begin(200, 100);
        sink.write(std::string(40, 'x').data(), 40);
        return result_;
    }

private:
    GetResult result_;
    SizeProbe probe_;
};

class ToldHttp : public Http {
public:
    explicit ToldHttp(GetResult result, SizeProbe probe = {})
        : result_(std::move(result)), probe_(std::move(probe)) {}
    std::unique_ptr<HttpSession> openSession() override {
        return std::make_unique<ToldSession>(result_, probe_);
    }

private:
    GetResult result_;
    SizeProbe probe_;
};

class IgnoringSink : public BodySink {
public:
    void begin(int, std::optional<std::int64_t>) override {}
    void write(const char*, std::size_t) override {}
    void afterRead() override {}
};

TEST(LoggedHttp, AFailedGetIsLoggedWithWhatEndedIt) {
    const struct {
        const char* name;
        GetResult result;
        std::string why;
    } cases[] = {
        {"stalled", GetResult::stalled(200), ", failed: stalled"},
        {"cut short", GetResult::incomplete(200), ", failed: cut short after 40 of 100 bytes"},
        {"no memory in the reading thread", GetResult::notOpened(Failure::of(err::OutOfMemory)),
         ", failed: Nicht genügend Speicher"},
        {"the system's error",
         GetResult::notOpened(Failure(FailureOrigin::Windows, 12029, "Keine Verbindung")),
         ", failed: Keine Verbindung"},
        {"nothing told", GetResult::notOpened(), ", failed: not opened"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ToldHttp told(c.result);
        RecordingRunLog log;
        IgnoringSink sink;

        EXPECT_EQ(LoggedHttp(told, log).openSession()->get("http://h/f", sink).kind, c.result.kind);

        ASSERT_EQ(log.lines.size(), 1u);
        EXPECT_EQ(log.lines[0].find("GET http://h/f: status 200, 40 bytes, "), 0u) << log.lines[0];
        EXPECT_EQ(log.lines[0].substr(log.lines[0].size() - c.why.size()), c.why);
    }
}

SizeProbe probeOf(SizeProbe::Kind kind, int status, std::int64_t length,
                  std::optional<Failure> error = std::nullopt) {
    SizeProbe probe;
    probe.kind = kind;
    probe.status = status;
    probe.length = length;
    probe.error = std::move(error);
    return probe;
}

TEST(LoggedHttp, TheProbeIsLoggedWithItsStatusOrWhyItGaveNoSize) {
    using Kind = SizeProbe::Kind;
    const struct {
        const char* name;
        SizeProbe probe;
        std::string logged;
    } cases[] = {
        {"a size", probeOf(Kind::Answered, 200, 1234), "status 200, Content-Length 1234, "},
        {"no length", probeOf(Kind::Answered, 204, 0), "status 204, no size, "},
        {"an error page", probeOf(Kind::Answered, 404, 0), "status 404, not used, "},
        {"a port in the host text", probeOf(Kind::NoHostName, 0, 0),
         "not sent: the host text names more than a host, "},
        {"no answer in time", probeOf(Kind::TimedOut, 0, 0), "no answer in time, no size, "},
        {"the library's reason",
         probeOf(Kind::NoAnswer, 0, 0,
                 Failure(FailureOrigin::Library, 7, "Couldn't connect to server")),
         "no size (Couldn't connect to server), "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ToldHttp told(GetResult::complete(200), c.probe);
        RecordingRunLog log;

        EXPECT_EQ(LoggedHttp(told, log).openSession()->probeContentLength("h", "/f").length,
                  c.probe.length);

        ASSERT_EQ(log.lines.size(), 1u);
        EXPECT_EQ(log.lines[0].find("HEAD http://h/f (port 80): " + c.logged), 0u) << log.lines[0];
    }
}

}  // namespace
}  // namespace morvane::test
