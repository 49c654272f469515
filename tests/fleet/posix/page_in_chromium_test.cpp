#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "../fleet_logs.h"
#include "fleet/fleet_picture.h"
#include "fleet/fleet_reports.h"
#include "fleet/log_time.h"

namespace morvane::fleet {
namespace {

constexpr const char* kChromium = "/usr/bin/chromium";

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

std::string contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

PcState pc(const std::string& computer, const std::string& revision, const std::string& status,
           std::int64_t lastSeen) {
    PcState state;
    state.computer = computer;
    state.revision = revision;
    state.status = status;
    state.lastSeen = lastSeen;
    state.address = "10.0.0.1";
    state.fileVersion = "1.1.0.0";
    state.runs = 3;
    return state;
}

// Headless Chromium as the page's reader: it loads the page from the disk
// with no network, then gives the document it built (--dump-dom) and its
// console messages (logged to stderr).
class HeadlessChromium {
public:
    std::string run(const std::string& what, const std::string& page, std::string& console) {
        static int runs = 0;
        const std::string profile = folder_.path("profile" + std::to_string(++runs));
        const std::string out = folder_.path("out" + std::to_string(runs));
        const std::string log = folder_.path("console" + std::to_string(runs));
        const std::string command =
            std::string("timeout 120 ") + kChromium +
            " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
            " --disable-background-networking --disable-component-update --disable-sync"
            " --enable-logging=stderr --v=0 --user-data-dir=" +
            profile + " " + what + " file://" + page + " >" + out + " 2>" + log;
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        console = contentOf(log);
        return contentOf(out);
    }
    const test::LogFolder& folder() const { return folder_; }

private:
    test::LogFolder folder_;
};

TEST(FleetPageInChromium, ShowsTheBarsAndRowsAndLogsNoErrors) {
    if (access(kChromium, X_OK) != 0) {
        GTEST_SKIP() << "chromium is not installed";
    }
    constexpr std::int64_t kNow = 1796725500;
    const FleetPicture picture =
        makePicture({pc("BUERO-01", "2.1", "0", kNow), pc("BUERO-02", "2.0", "5", kNow - 3600),
                     pc("EMPFANG", "2.0", "3", kNow - 9 * kSecondsPerDay),
                     pc("LAGER_7", "<img src=x onerror=alert(1)>", "-", kNow)},
                    kNow, 30, std::nullopt);
    HeadlessChromium chromium;
    const std::string page = chromium.folder().write(
        "fleet.html", htmlReport(picture, [](std::int64_t) { return 3600; }));

    std::string console;
    const std::string dom = chromium.run("--dump-dom", page, console);

    // Three revisions, then the failed and the absent PCs.
    EXPECT_EQ(occurrences(dom, "<rect class=\"bar revision\""), 3u) << dom;
    EXPECT_EQ(occurrences(dom, "<rect class=\"bar failing\""), 1u);
    EXPECT_EQ(occurrences(dom, "<rect class=\"bar absent\""), 1u);
    const std::size_t failing = dom.find("<table class=\"failing\">");
    const std::size_t all = dom.find("<table class=\"pcs\">");
    ASSERT_NE(failing, std::string::npos);
    ASSERT_NE(all, std::string::npos);
    EXPECT_EQ(occurrences(dom.substr(failing, all - failing), "<tr class=\"failing\">"), 2u);
    EXPECT_EQ(occurrences(dom.substr(all), "<tr"), 5u) << "the header and four PCs";
    EXPECT_EQ(occurrences(dom, "<img"), 0u) << "the log's markup stays text";
    EXPECT_NE(dom.find("&lt;img src=x onerror=alert(1)&gt;"), std::string::npos);
    EXPECT_EQ(console.find(":CONSOLE"), std::string::npos) << console;

    const std::string screenshot = chromium.folder().path("fleet.png");
    chromium.run("--window-size=1100,1200 --screenshot=" + screenshot, page, console);
    EXPECT_EQ(contentOf(screenshot).substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(console.find(":CONSOLE"), std::string::npos) << console;
}

}  // namespace
}  // namespace morvane::fleet
