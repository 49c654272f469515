#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "../fleet_logs.h"
#include "fleet/access_log.h"
#include "platform/http.h"
#include "support/host_adapters.h"
#include "support/scripted_http_server.h"

namespace morvane::fleet {
namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";

class DiscardingSink : public BodySink {
public:
    void begin(int, std::optional<std::int64_t>) override {}
    void write(const char*, std::size_t) override {}
    void afterRead() override {}
};

// nginx on a loopback port with a configuration of its own in a temporary
// folder, serving its www/ folder and logging in the combined format;
// stopped again at the end of the test.
class LoopbackNginx {
public:
    LoopbackNginx() : port_(morvane::test::unusedPort()) {
        std::filesystem::create_directories(logs_.folder.native("www/u"));
        std::filesystem::create_directories(logs_.folder.native("temp"));
        logs_.write("www/u/revision.ini", "[Version]\r\n2.1\r\n");
        const std::string root = logs_.path("");
        logs_.write("nginx.conf", "daemon on;\nmaster_process off;\npid " + root +
                                      "nginx.pid;\n"
                                      "error_log " +
                                      root +
                                      "error.log;\nevents {}\nhttp {\n"
                                      "  access_log " +
                                      root +
                                      "access.log combined;\n"
                                      "  client_body_temp_path " +
                                      root + "temp; proxy_temp_path " + root +
                                      "temp; fastcgi_temp_path " + root + "temp; uwsgi_temp_path " +
                                      root + "temp; scgi_temp_path " + root +
                                      "temp;\n"
                                      "  server { listen 127.0.0.1:" +
                                      std::to_string(port_) + "; root " + root + "www; }\n}\n");
        started_ = run("");
    }
    ~LoopbackNginx() {
        if (started_) {
            run("-s stop");
        }
    }
    LoopbackNginx(const LoopbackNginx&) = delete;
    LoopbackNginx& operator=(const LoopbackNginx&) = delete;

    bool started() const { return started_; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::string log() const { return logs_.path("access.log"); }
    std::string errors() const { return logs_.folder.read("error.log"); }
    std::string logText() const { return logs_.folder.read("access.log"); }

    // Waits up to 5 s for `count` lines in the log: nginx writes a line once
    // its answer is out, which may be after the client has it.
    bool waitForLines(std::size_t count) const {
        for (int tries = 0; tries < 100; ++tries) {
            std::ifstream in(log(), std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
            if (static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) >= count) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    bool run(const std::string& signal) const {
        const std::string command = std::string(kNginx) + " -p " + logs_.path("") + " -c " +
                                    logs_.path("nginx.conf") + " " + signal + " 2>/dev/null";
        return std::system(command.c_str()) == 0;
    }

    test::LogFolder logs_;
    std::uint16_t port_;
    bool started_ = false;
};

void get(const std::string& userAgent, const std::string& url) {
    morvane::test::HostHttp http(userAgent);
    DiscardingSink sink;
    const GetResult result = http.openSession()->get(url, sink);
    ASSERT_TRUE(result.isComplete());
}

TEST(NginxLog, TheUpdatersRequestsAsNginxLogsThemAreRead) {
    if (access(kNginx, X_OK) != 0) {
        GTEST_SKIP() << "nginx is not installed";
    }
    const LoopbackNginx nginx;
    ASSERT_TRUE(nginx.started());
    const std::string agent =
        "Morvane-Updater/1.1.0.0 (Revision 2.0 \"Fr\xC3\xBChjahr\"; Status 6; PC BUERO-01)";
    get(agent, nginx.url("/u/revision.ini"));
    get(agent, nginx.url("/u/revision.ini.sig"));  // 404
    get("Morvane-Updater/1.1.0.0 (Revision -; Status -; PC NEU)", nginx.url("/u/revision.ini"));
    get("Mozilla/5.0", nginx.url("/u/revision.ini"));

    ASSERT_TRUE(nginx.waitForLines(4)) << nginx.errors() << "\n" << nginx.logText();
    PcTally tally(0);
    const LogReading reading = readAccessLog(nginx.log(), "", tally);
    EXPECT_EQ(reading.lines, 4);
    EXPECT_EQ(reading.unreadable, 0) << reading.firstWhy;
    EXPECT_EQ(test::pcLines(tally),
              "BUERO-01 127.0.0.1 2.0 \"Fr\xC3\xBChjahr\" 6 1.1.0.0 1/1\n"
              "NEU 127.0.0.1 - - 1.1.0.0 1/0\n");
}

}  // namespace
}  // namespace morvane::fleet
