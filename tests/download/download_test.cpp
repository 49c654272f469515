// Download against a scripted loopback server, through the host's real HTTP
// and file-system adapters: libcurl natively, WinINet under Windows.

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
// windows.h first
#include <tlhelp32.h>
#include <wininet.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/crypto.h"
#include "base/failure.h"
#include "download/download_module.h"
#include "download/logged_http.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_user_interface.h"
#include "fakes/recording_run_log.h"
#include "support/compressed.h"
#include "support/host_adapters.h"
#include "support/scoped_system_proxy.h"
#include "support/scripted_http_server.h"
#include "support/temp_folder.h"

namespace morvane {
namespace {

using test::isPattern;
using test::patternBytes;
using test::RecordedRequest;
using test::replyChunked;
using test::replyCloseDelimited;
using test::replyWithLength;
using test::ScriptedHttpServer;
using test::ScriptedReply;

const std::string kHtmlPage = "<html><body><h1>Not here</h1></body></html>";

// The answer to a HEAD: the head alone, with a Content-Length when given.
ScriptedReply headReply(int status, std::optional<std::uint64_t> length) {
    ScriptedReply reply;
    reply.bytes = "HTTP/1.1 " + std::to_string(status) + " " + test::reasonPhrase(status) + "\r\n";
    if (length) {
        reply.bytes += "Content-Length: " + std::to_string(*length) + "\r\n";
    }
    reply.bytes += "Connection: close\r\n\r\n";
    return reply;
}

// `head` for every HEAD, `get` for every other request.
ScriptedHttpServer::Script byMethod(ScriptedReply head, ScriptedReply get) {
    return [head = std::move(head), get = std::move(get)](const RecordedRequest& request) {
        return request.method == "HEAD" ? head : get;
    };
}

// Counts the requests of one method.
int countOf(const std::vector<RecordedRequest>& requests, const std::string& method) {
    return static_cast<int>(
        std::count_if(requests.begin(), requests.end(),
                      [&](const RecordedRequest& r) { return r.method == method; }));
}

// An HTTP layer whose session can never be opened.
class SessionlessHttp : public Http {
public:
    std::unique_ptr<HttpSession> openSession() override { return nullptr; }
};

class DownloadTest : public ::testing::Test {
protected:
    // Serves on a free ephemeral port; URLs then name the port, so the size
    // probe (port 80 of the host text) fails and only the GET arrives.
    ScriptedHttpServer& serve(ScriptedHttpServer::Script script) {
        server = std::make_unique<ScriptedHttpServer>(std::move(script));
        return *server;
    }

    // Serves on 127.0.0.1:80, where URLs without a port lead both the size
    // probe and the transfer. False when that port cannot be had.
    bool serveOnPort80(ScriptedHttpServer::Script script) {
        server = ScriptedHttpServer::tryListen(std::move(script), 80);
        return server != nullptr;
    }

    bool download(const std::string& url) {
        return Download(url, target, http, files, ui).arrived();
    }
    // Downloads into the in-memory file system, whose switches make chosen
    // calls fail.
    bool downloadToFake(const std::string& url) {
        return Download(url, kFakeTarget, http, fakeFiles, ui).arrived();
    }

    // The names in the test folder, sorted: what a download left behind.
    std::vector<std::string> folderContents() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(temp.native())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Bytes in regular files of the test folder, other than the target.
    std::uintmax_t bytesBesideTarget() const {
        std::uintmax_t total = 0;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(temp.native(), error)) {
            if (entry.path().filename() != "file.bin" && entry.is_regular_file(error)) {
                total += entry.file_size(error);
            }
        }
        return total;
    }

    test::TempFolder temp;
    const std::string target = temp.file("file.bin");
    test::HostHttp http;
    test::HostFileSystem files;
    const std::string kFakeTarget = "C:\\App\\file.bin";
    test::FakeFileSystem fakeFiles;
    test::FakeUserInterface ui;
    std::unique_ptr<ScriptedHttpServer> server;
};

// --- The URL checks: a message of Download's own, nothing sent ----------

struct RefusedUrl {
    const char* name;
    std::string (*url)(const ScriptedHttpServer&);
    const char* message;
};

TEST_F(DownloadTest, RefusedUrlsShowTheirMessageAndSendNothing) {
    const RefusedUrl cases[] = {
        {"https",
         [](const ScriptedHttpServer& s) { return "https" + s.url("/file.bin").substr(4); },
         "Only HTTP-service supported!"},
        {"ftp", [](const ScriptedHttpServer& s) { return "ftp" + s.url("/file.bin").substr(4); },
         "Only HTTP-service supported!"},
        {"scheme without slashes",
         [](const ScriptedHttpServer& s) { return "http:" + s.url("/file.bin").substr(7); },
         "Only HTTP-service supported!"},
        {"shorter than the scheme", [](const ScriptedHttpServer&) { return std::string("http:/"); },
         "Only HTTP-service supported!"},
        {"empty", [](const ScriptedHttpServer&) { return std::string(); },
         "Only HTTP-service supported!"},
        {"no slash after the host", [](const ScriptedHttpServer& s) { return s.url(""); },
         "Invalid Url!"},
        {"only slash is the last character", [](const ScriptedHttpServer& s) { return s.url("/"); },
         "Invalid Url!"},
        {"scheme alone", [](const ScriptedHttpServer&) { return std::string("HTTP://"); },
         "Invalid Url!"},
    };
    const ScriptedHttpServer& s = serve(byMethod(headReply(200, 3), replyWithLength(200, "abc")));
    for (const RefusedUrl& c : cases) {
        SCOPED_TRACE(c.name);
        ui.boxes.clear();

        EXPECT_FALSE(download(c.url(s)));

        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, c.message);
        EXPECT_EQ(ui.boxes[0].style, box::Plain);
        EXPECT_EQ(ui.boxes[0].shownCaption(), "Morvane");
        EXPECT_TRUE(folderContents().empty());
    }
    EXPECT_EQ(s.connectionCount(), 0);
}

TEST_F(DownloadTest, SessionThatCannotBeOpenedShowsItsMessage) {
    const ScriptedHttpServer& s = serve(byMethod(headReply(200, 3), replyWithLength(200, "abc")));
    SessionlessHttp noSession;

    EXPECT_FALSE(Download(s.url("/file.bin"), target, noSession, files, ui).arrived());

    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Can't connect to server!");
    EXPECT_EQ(ui.boxes[0].style, box::Plain);
    EXPECT_EQ(ui.boxes[0].shownCaption(), "Morvane");
    EXPECT_EQ(s.connectionCount(), 0);
    EXPECT_TRUE(folderContents().empty());
}

// --- Bodies: what the server sends and what is stored -------------------

struct BodyCase {
    const char* name;
    ScriptedReply reply;
    bool stored;  // the download succeeds and the file holds `content`
    std::string content;
};

ScriptedReply withPieces(ScriptedReply reply, std::size_t pieceSize) {
    reply.pieceSize = pieceSize;
    return reply;
}

ScriptedReply cutShort(std::uint64_t announced, std::uint64_t sent, bool reset) {
    ScriptedReply reply;
    reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(announced) +
                  "\r\nConnection: close\r\n\r\n";
    reply.patternBytes = sent;
    reply.reset = reset;
    return reply;
}

#ifndef _WIN32
ScriptedReply chunkedWithoutLastChunk(const std::string& body) {
    ScriptedReply reply = replyChunked(200, {body});
    reply.bytes.resize(reply.bytes.size() - std::string("0\r\n\r\n").size());
    return reply;
}

// A chunked body whose one chunk ends early, with the connection.
ScriptedReply chunkedCutInsideAChunk(const std::string& body) {
    ScriptedReply reply = chunkedWithoutLastChunk(body);
    reply.bytes.resize(reply.bytes.size() - body.size() / 2);
    return reply;
}
#endif

TEST_F(DownloadTest, StoresExactlyTheCompleteBodyOfASuccessfulGet) {
    const std::string big = patternBytes(0, 300'000);
    const std::string exact = patternBytes(0, 65'536);
    const std::vector<BodyCase> cases = {
        {"Content-Length", replyWithLength(200, big), true, big},
        {"Content-Length, sent in small pieces", withPieces(replyWithLength(200, big), 1'000), true,
         big},
        {"no Content-Length, ends with the connection", replyCloseDelimited(200, big), true, big},
        {"chunked",
         replyChunked(200, {big.substr(0, 1), big.substr(1, 70'000), big.substr(70'001)}), true,
         big},
        {"65,536 bytes unannounced", replyCloseDelimited(200, exact), true, exact},
        {"65,536 bytes chunked", replyChunked(200, {exact}), true, exact},
        {"one byte more than 65,536 unannounced", replyCloseDelimited(200, patternBytes(0, 65'537)),
         true, patternBytes(0, 65'537)},
        {"empty with Content-Length 0", replyWithLength(200, ""), true, ""},
        {"empty, ends with the connection", replyCloseDelimited(200, ""), true, ""},
        {"status 204", replyWithLength(204, ""), true, ""},
        {"404 with an HTML page", replyWithLength(404, kHtmlPage), false, ""},
        {"500 with an HTML page", replyWithLength(500, kHtmlPage), false, ""},
        {"404 with a chunked HTML page", replyChunked(404, {kHtmlPage}), false, ""},
        {"cut short, orderly close", cutShort(300'000, 120'000, false), false, ""},
        {"cut short, reset", cutShort(300'000, 120'000, true), false, ""},
#ifndef _WIN32
        // WinINet ends a chunked body that the connection cuts like a whole
        // one and tells nothing about it; libcurl reports it.
        {"chunked without its last chunk", chunkedWithoutLastChunk(big), false, ""},
        {"chunked, cut inside a chunk", chunkedCutInsideAChunk(big), false, ""},
#endif
    };
    for (const BodyCase& c : cases) {
        SCOPED_TRACE(c.name);
        ui.pumps = 0;
        const ScriptedHttpServer& s = serve(byMethod(headReply(200, big.size()), c.reply));

        const bool result = download(s.url("/folder/file.bin"));

        EXPECT_EQ(result, c.stored);
        EXPECT_TRUE(ui.boxes.empty());
        if (c.stored) {
            EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});
            EXPECT_TRUE(temp.exists("file.bin") && temp.read("file.bin") == c.content);
            EXPECT_GT(ui.pumps, 0);
        } else {
            EXPECT_TRUE(folderContents().empty());
        }
        const std::vector<RecordedRequest> requests = s.requests();
        EXPECT_EQ(countOf(requests, "GET"), 1);
        EXPECT_EQ(countOf(requests, "HEAD"), 0) << "the probe goes to port 80, not the URL's port";
        std::filesystem::remove(temp.native("file.bin"));
    }
}

TEST_F(DownloadTest, FollowsARedirect) {
    const std::string body = patternBytes(0, 5'000);
    ScriptedHttpServer elsewhere(
        [&](const RecordedRequest&) { return replyWithLength(200, body); });
    for (const std::string& location : {std::string("/new.bin"), elsewhere.url("/new.bin")}) {
        SCOPED_TRACE(location);
        std::filesystem::remove(temp.native("file.bin"));
        const ScriptedHttpServer& s = serve([&](const RecordedRequest& request) {
            if (request.target == "/old.bin") {
                return replyWithLength(302, kHtmlPage, "Location: " + location + "\r\n");
            }
            return replyWithLength(200, body);
        });

        EXPECT_TRUE(download(s.url("/old.bin")));

        EXPECT_TRUE(temp.exists("file.bin") && temp.read("file.bin") == body);
        std::vector<RecordedRequest> requests = s.requests();
        const std::vector<RecordedRequest> moved = elsewhere.requests();
        requests.insert(requests.end(), moved.begin(), moved.end());
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back().requestLine, "GET /new.bin HTTP/1.1");
    }
}

#ifdef _WIN32
// A redirect between http and https is followed as libcurl follows it, not
// refused where a policy sets the zone-crossing warning.
TEST(WinInetRequests, FollowRedirectsAcrossHttpAndHttps) {
    EXPECT_NE(win32::requestFlags() & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS, 0u);
    EXPECT_NE(win32::requestFlags() & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP, 0u);
}
#endif

TEST_F(DownloadTest, SendsTheUserAgentItIsGiven) {
    const ScriptedHttpServer& s = serve(byMethod(headReply(200, 3), replyWithLength(200, "abc")));
    test::HostHttp named{updaterUserAgent("1.2.3.4")};

    EXPECT_TRUE(Download(s.url("/file.bin"), target, named, files, ui).arrived());
    EXPECT_TRUE(download(s.url("/file.bin")));

    const std::vector<RecordedRequest> requests = s.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].header("User-Agent"), "Morvane-Updater/1.2.3.4");
    EXPECT_FALSE(requests[1].header("User-Agent").has_value()) << "none when given none";
}

TEST_F(DownloadTest, SchemeInCapitalsIsAcceptedAndTheUrlGoesOutUnchanged) {
    const ScriptedHttpServer& s = serve(byMethod(headReply(200, 3), replyWithLength(200, "abc")));
    const std::string url = "HTTP://" + s.url("/Dir/File.BIN?Rev=2&x=%41").substr(7);

    EXPECT_TRUE(download(url));

    EXPECT_EQ(temp.read("file.bin"), "abc");
    const std::vector<RecordedRequest> requests = s.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "GET /Dir/File.BIN?Rev=2&x=%41 HTTP/1.1");
    EXPECT_EQ(requests[0].header("Host"), "127.0.0.1:" + std::to_string(s.port()));
}

TEST_F(DownloadTest, ServerThatCannotBeReachedGivesFalseWithoutMessage) {
    const std::string url = "http://127.0.0.1:" + std::to_string(test::unusedPort()) + "/file.bin";

    EXPECT_FALSE(download(url));

    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(folderContents().empty());
}

TEST_F(DownloadTest, ServerThatFallsSilentFailsAfterTheStallLimit) {
    struct Case {
        const char* name;
        ScriptedReply reply;
    };
    ScriptedReply silentBeforeItsHead = replyWithLength(200, patternBytes(0, 1'000));
    silentBeforeItsHead.delay = std::chrono::seconds(6);
    ScriptedReply silentInTheBody = replyWithLength(200, patternBytes(0, 1'000));
    silentInTheBody.pieceSize = silentInTheBody.bytes.size() - 500;
    silentInTheBody.pieceDelay = std::chrono::seconds(6);
    const Case cases[] = {{"before its head", silentBeforeItsHead},
                          {"in the body", silentInTheBody}};
    test::HostHttp impatient{std::chrono::seconds(1)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScriptedHttpServer& s = serve(byMethod(headReply(200, 1'000), c.reply));
        const auto start = std::chrono::steady_clock::now();

        EXPECT_EQ(Download(s.url("/file.bin"), target, impatient, files, ui).kind,
                  DownloadResult::Kind::Stalled);

        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_TRUE(folderContents().empty());
    }
}

// A body sent in pieces of `piece` bytes every `every`, after a whole head
// that announces `announced` bytes.
ScriptedReply pacedBody(std::uint64_t announced, std::uint64_t sent, std::size_t piece,
                        std::chrono::milliseconds every) {
    ScriptedReply reply;
    reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(announced) +
                  "\r\nConnection: close\r\n\r\n";
    reply.firstPiece = reply.bytes.size();
    reply.patternBytes = sent;
    reply.pieceSize = piece;
    reply.pieceDelay = every;
    return reply;
}

TEST_F(DownloadTest, TrickleFailsAfterTheStallLimitWhileASlowLineSucceeds) {
    test::HostHttp impatient{std::chrono::seconds(1)};
    {
        SCOPED_TRACE("2 bytes every 100 ms of an announced 2 GiB");
        const std::uint64_t huge = std::uint64_t{2} << 30;
        const ScriptedHttpServer& s = serve(byMethod(
            headReply(200, huge), pacedBody(huge, huge, 2, std::chrono::milliseconds(100))));
        const auto start = std::chrono::steady_clock::now();

        EXPECT_EQ(Download(s.url("/file.bin"), target, impatient, files, ui).kind,
                  DownloadResult::Kind::Stalled);

        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_TRUE(folderContents().empty());
    }
    {
        SCOPED_TRACE("70 bytes every 100 ms: 1.4 KiB within a 2 s limit, yet below 1 KiB a second");
        test::HostHttp patient{std::chrono::seconds(2)};
        const std::uint64_t huge = std::uint64_t{2} << 30;
        const ScriptedHttpServer& s = serve(byMethod(
            headReply(200, huge), pacedBody(huge, huge, 70, std::chrono::milliseconds(100))));
        const auto start = std::chrono::steady_clock::now();

        EXPECT_EQ(Download(s.url("/file.bin"), target, patient, files, ui).kind,
                  DownloadResult::Kind::Stalled);

        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_TRUE(folderContents().empty());
    }
    {
        SCOPED_TRACE("a fast line that slows to 5 KiB a second");
        const std::uint64_t size = 8'000'000 + 5'120;
        ScriptedReply reply = pacedBody(size, size, 512, std::chrono::milliseconds(100));
        reply.firstPiece += 8'000'000;
        const ScriptedHttpServer& s = serve(byMethod(headReply(200, size), reply));

        EXPECT_TRUE(Download(s.url("/file.bin"), target, impatient, files, ui).arrived());

        EXPECT_EQ(temp.read("file.bin").size(), size);
    }
    {
        SCOPED_TRACE("512 bytes every 100 ms");
        const ScriptedHttpServer& s = serve(byMethod(
            headReply(200, 6'000), pacedBody(6'000, 6'000, 512, std::chrono::milliseconds(100))));

        EXPECT_TRUE(Download(s.url("/file.bin"), target, impatient, files, ui).arrived());

        EXPECT_TRUE(isPattern(temp.read("file.bin")));
        EXPECT_EQ(temp.read("file.bin").size(), 6'000u);
    }
}

TEST_F(DownloadTest, RequestLineCarriesBlanksAndUmlautsPercentEncoded) {
    const ScriptedHttpServer& s = serve(byMethod(headReply(200, 3), replyWithLength(200, "abc")));

    EXPECT_TRUE(download(s.url("/Neue Dateien/M\xC3\xBCller %41.xlsm")));

    EXPECT_EQ(temp.read("file.bin"), "abc");
    const std::vector<RecordedRequest> requests = s.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "GET /Neue%20Dateien/M%C3%BCller%20%41.xlsm HTTP/1.1");
}

// Threads of this process.
int threadCount() {
#ifdef _WIN32
    int count = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
#else
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
#endif
}

TEST_F(DownloadTest, ManyDownloadsInARowDoNotAffectOneAnother) {
    test::HostHttp impatient{std::chrono::seconds(1)};
    const std::string body = patternBytes(0, 50'000);
    // One download first, so that threads the HTTP library keeps for good count as before.
    serve(byMethod(headReply(200, 50'000), replyWithLength(200, body)));
    ASSERT_TRUE(Download(server->url("/file.bin"), target, impatient, files, ui).arrived());
    server.reset();
    const int threadsBefore = threadCount();
    ScriptedReply silentInTheBody = replyWithLength(200, body);
    silentInTheBody.pieceSize = 20'000;
    silentInTheBody.pieceDelay = std::chrono::seconds(30);
    ScriptedReply silentBeforeItsHead = replyWithLength(200, body);
    silentBeforeItsHead.delay = std::chrono::seconds(30);
    struct Failing {
        const char* name;
        ScriptedReply reply;
    };
    const Failing failures[] = {
        {"404", replyWithLength(404, kHtmlPage)},
        {"silent in the body", silentInTheBody},
        {"cut short", cutShort(50'000, 20'000, true)},
        {"silent before its head", silentBeforeItsHead},
    };
    for (int round = 0; round < 3; ++round) {
        for (const Failing& f : failures) {
            SCOPED_TRACE(std::string(f.name) + ", round " + std::to_string(round));
            {
                const ScriptedHttpServer& s = serve(byMethod(headReply(200, 50'000), f.reply));
                EXPECT_FALSE(Download(s.url("/file.bin"), target, impatient, files, ui).arrived());
            }
            const ScriptedHttpServer& s =
                serve(byMethod(headReply(200, 50'000), replyWithLength(200, body)));
            EXPECT_TRUE(Download(s.url("/file.bin"), target, impatient, files, ui).arrived());
            EXPECT_EQ(temp.read("file.bin"), body);
            EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});
        }
    }
    EXPECT_TRUE(ui.boxes.empty());
    // With the servers gone every left-behind call returns, and its thread ends.
    server.reset();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (threadCount() > threadsBefore && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(threadCount(), threadsBefore);
}

TEST_F(DownloadTest, YieldsAfterEveryReadWhileNoPartialFileStandsAtTheTarget) {
    ScriptedReply reply = replyCloseDelimited(200, patternBytes(0, 4'000));
    reply.pieceSize = 1'000;
    reply.pieceDelay = std::chrono::milliseconds(40);
    const ScriptedHttpServer& s = serve(byMethod(headReply(200, 4'000), reply));
    bool targetSeenEarly = false;
    ui.onPump = [&] { targetSeenEarly = targetSeenEarly || temp.exists("file.bin"); };

    EXPECT_TRUE(download(s.url("/file.bin")));

    EXPECT_GE(ui.pumps, 4) << "one turn of the window system per piece at least";
    EXPECT_FALSE(targetSeenEarly);
    EXPECT_TRUE(isPattern(temp.read("file.bin")));
    EXPECT_EQ(temp.read("file.bin").size(), 4'000u);
}

TEST_F(DownloadTest, BodyReachesTheDiskWhileItArrives) {
    constexpr std::uint64_t kSize = 8u << 20;
    ScriptedReply reply;
    reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kSize) +
                  "\r\nConnection: close\r\n\r\n";
    reply.patternBytes = kSize;
    reply.pieceSize = 1u << 20;
    reply.pieceDelay = std::chrono::milliseconds(30);
    const ScriptedHttpServer& s = serve(byMethod(headReply(200, kSize), reply));
    std::uintmax_t mostOnDiskBeforeTheEnd = 0;
    ui.onPump = [&] {
        if (!temp.exists("file.bin")) {
            mostOnDiskBeforeTheEnd = std::max(mostOnDiskBeforeTheEnd, bytesBesideTarget());
        }
    };

    EXPECT_TRUE(download(s.url("/file.bin")));

    EXPECT_GE(mostOnDiskBeforeTheEnd, kSize / 2) << "the body waits in memory";
    const std::string stored = temp.read("file.bin");
    EXPECT_EQ(stored.size(), kSize);
    EXPECT_TRUE(isPattern(stored));
}

// --- The exchange: HEAD on port 80 of the host text, GET for the URL ------

TEST_F(DownloadTest, ProbesWithHeadOnPort80ThenGetsTheWholeUrl) {
    const std::string body = patternBytes(0, 1'000);
    if (!serveOnPort80(byMethod(headReply(200, body.size()), replyWithLength(200, body)))) {
        GTEST_SKIP() << "127.0.0.1:80 cannot be had here";
    }

    EXPECT_TRUE(download(server->url("/dir/file.bin?rev=7")));

    EXPECT_EQ(temp.read("file.bin"), body);
    const std::vector<RecordedRequest> requests = server->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].requestLine, "HEAD /dir/file.bin?rev=7 HTTP/1.1");
    EXPECT_EQ(requests[1].requestLine, "GET /dir/file.bin?rev=7 HTTP/1.1");
    EXPECT_NE(requests[0].connection, requests[1].connection);
    // No user agent, no referrer, no accept types: only the Host line, the
    // lines that keep caches out (each once), the codings the GET decodes,
    // and what the HTTP layer writes on its own.
#ifdef _WIN32
    // WinINet: the length of the empty body it sends with the HEAD, the
    // default accept type of a URL it opens, and its connection directive.
    const std::set<std::string> layerOwn = {"content-length: 0", "accept: */*",
                                            "connection: keep-alive"};
#else
    const std::set<std::string> layerOwn;
#endif
    for (const RecordedRequest& request : requests) {
        SCOPED_TRACE(request.head);
        EXPECT_EQ(request.header("Host"), "127.0.0.1");
        EXPECT_FALSE(request.header("User-Agent").has_value());
        std::multiset<std::string> required = {"cache-control: no-cache", "pragma: no-cache"};
        if (request.method == "GET") {
            required.insert("accept-encoding: gzip, deflate");
        }
        std::multiset<std::string> sent;
        for (const auto& [name, value] : request.headers) {
            std::string line = name + ": " + value;
            std::transform(line.begin(), line.end(), line.begin(), [](char c) {
                return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            });
            if (line != "host: 127.0.0.1" && layerOwn.count(line) == 0) {
                sent.insert(line);
            }
        }
        EXPECT_EQ(sent, required);
    }
}

TEST_F(DownloadTest, HeadLengthIsOnlyAHint) {
    const std::string body = patternBytes(0, 200'000);
    struct Case {
        const char* name;
        ScriptedReply head;
        ScriptedReply get;
    };
    const Case cases[] = {
        {"HEAD smaller, GET with its length", headReply(200, 1'000), replyWithLength(200, body)},
        {"HEAD smaller, GET unannounced", headReply(200, 1'000), replyCloseDelimited(200, body)},
        {"HEAD larger, GET with its length", headReply(200, 5'000'000), replyWithLength(200, body)},
        {"HEAD larger, GET chunked", headReply(200, 5'000'000), replyChunked(200, {body})},
        {"HEAD length past 2^31", headReply(200, 3'000'000'000u), replyWithLength(200, body)},
        {"HEAD answered 404", headReply(404, 7), replyWithLength(200, body)},
        {"HEAD without length", headReply(200, std::nullopt), replyCloseDelimited(200, body)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!serveOnPort80(byMethod(c.head, c.get))) {
            GTEST_SKIP() << "127.0.0.1:80 cannot be had here";
        }

        EXPECT_TRUE(download(server->url("/file.bin")));

        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_TRUE(temp.exists("file.bin") && temp.read("file.bin") == body);
        EXPECT_EQ(countOf(server->requests(), "HEAD"), 1);
        server.reset();
        std::filesystem::remove(temp.native("file.bin"));
    }
}

TEST_F(DownloadTest, UrlNamingAPortProbesItsHostTextOnPort80) {
    // The probe addresses "127.0.0.1:<port>" as a host name on port 80: no
    // such host, so it fails silently and nothing reaches port 80.
    std::unique_ptr<ScriptedHttpServer> port80 =
        ScriptedHttpServer::tryListen(byMethod(headReply(200, 1), replyWithLength(200, "x")), 80);
    const ScriptedHttpServer& s = serve(byMethod(headReply(200, 3), replyWithLength(200, "abc")));

    EXPECT_TRUE(download(s.url("/file.bin")));

    EXPECT_EQ(temp.read("file.bin"), "abc");
    EXPECT_TRUE(ui.boxes.empty());
    const std::vector<RecordedRequest> requests = s.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "GET /file.bin HTTP/1.1");
    if (!port80) {
        GTEST_SKIP() << "127.0.0.1:80 cannot be had here: not checked that it stays quiet";
    }
    EXPECT_EQ(port80->connectionCount(), 0);
}

// --- The target: written only whole, replaced only on success -----------

TEST_F(DownloadTest, TargetThatCannotBeWrittenIsReportedWithItsPath) {
    const ScriptedHttpServer& s = serve(byMethod(headReply(200, 3), replyWithLength(200, "abc")));
    const std::string unwritable = temp.file("missing\\file.bin");

    EXPECT_EQ(Download(s.url("/file.bin"), unwritable, http, files, ui).kind,
              DownloadResult::Kind::FailureReported);

    ASSERT_EQ(ui.boxes.size(), 1u);
    const test::ShownBox& report = ui.boxes[0];
    EXPECT_EQ(report.style, box::Critical);
    EXPECT_EQ(report.caption, "Unbekannter Fehler");
    const std::string head =
        "Es ist ein Fehler beim Herunterladen von " + unwritable + " aufgetreten:\r\n";
    const std::string tail = ")\r\n[Zeile AppMorvane.DownloadModule.Download]";
    ASSERT_GT(report.text.size(), head.size() + tail.size()) << report.text;
    EXPECT_EQ(report.text.substr(0, head.size()), head);
    EXPECT_EQ(report.text.substr(report.text.size() - tail.size()), tail);
    // The middle line: the description, " (", the number.
    const std::string middle =
        report.text.substr(head.size(), report.text.size() - head.size() - tail.size());
    const std::size_t open = middle.rfind(" (");
    ASSERT_NE(open, std::string::npos) << middle;
    EXPECT_GT(open, 0u) << "a description";
    EXPECT_EQ(middle.find("\r\n"), std::string::npos);
    const std::string number = middle.substr(open + 2);
    EXPECT_FALSE(number.empty());
    EXPECT_TRUE(std::all_of(number.begin(), number.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '-';
    })) << number;
    EXPECT_TRUE(folderContents().empty());
}

struct FailedDownload {
    const char* name;
    ScriptedReply reply;
    DownloadResult::Kind kind;
};

TEST_F(DownloadTest, OldTargetIsReplacedOnlyBySuccess) {
    const std::string body = patternBytes(0, 100'000);
    const FailedDownload failures[] = {
        {"404", replyWithLength(404, kHtmlPage), DownloadResult::Kind::UnwantedStatus},
        {"cut short", cutShort(100'000, 40'000, false), DownloadResult::Kind::Incomplete},
        {"reset", cutShort(100'000, 40'000, true), DownloadResult::Kind::Incomplete},
    };
    for (const FailedDownload& f : failures) {
        SCOPED_TRACE(f.name);
        temp.write("file.bin", "old content");
        const ScriptedHttpServer& s = serve(byMethod(headReply(200, body.size()), f.reply));

        EXPECT_EQ(Download(s.url("/file.bin"), target, http, files, ui).kind, f.kind);

        EXPECT_EQ(temp.read("file.bin"), "old content");
        EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});
    }
    {
        SCOPED_TRACE("unreachable");
        EXPECT_EQ(Download("http://127.0.0.1:" + std::to_string(test::unusedPort()) + "/f", target,
                           http, files, ui)
                      .kind,
                  DownloadResult::Kind::NotReached);
        EXPECT_EQ(temp.read("file.bin"), "old content");
        EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});
    }
    {
        SCOPED_TRACE("success");
        const ScriptedHttpServer& s =
            serve(byMethod(headReply(200, body.size()), replyWithLength(200, body)));
        EXPECT_TRUE(download(s.url("/file.bin")));
        EXPECT_EQ(temp.read("file.bin"), body);
        EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});
    }
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DownloadTest, OldTargetThatCannotBeReplacedPassesTheFailureUp) {
    fakeFiles.addFile(kFakeTarget, "old content");
    fakeFiles.fail(test::FakeFileSystem::Operation::ReplaceFile, "",
                   Failure::of(err::AccessDenied));
    const ScriptedHttpServer& s = serve(byMethod(headReply(200, 3), replyWithLength(200, "new")));

    try {
        downloadToFake(s.url("/file.bin"));
        ADD_FAILURE() << "no failure passed up";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), err::AccessDenied);
    }

    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(fakeFiles.content(kFakeTarget), "old content");
    EXPECT_EQ(fakeFiles.entries(), (std::vector<std::string>{"C:\\App\\", kFakeTarget}));
}

// A virus scanner that quarantines the complete file before it is renamed
// into place: a failed download, reported with the system's text.
TEST_F(DownloadTest, AFileAScannerTookAwayIsAFailedDownload) {
    const Failure taken[] = {Failure(FailureOrigin::Windows, 225, "Virus gefunden"),
                             Failure(FailureOrigin::Windows, 226, "Virus entfernt"),
                             Failure(FailureOrigin::Windows, 2, "Datei nicht gefunden"),
                             Failure::of(err::FileNotFound)};
    const ScriptedHttpServer& s = serve(byMethod(headReply(200, 3), replyWithLength(200, "new")));
    for (const Failure& failure : taken) {
        SCOPED_TRACE(failure.number());
        ui.boxes.clear();
        fakeFiles.addFile(kFakeTarget, "old content");
        fakeFiles.fail(test::FakeFileSystem::Operation::ReplaceFile, "", failure, 1);
        EXPECT_FALSE(downloadToFake(s.url("/file.bin")));
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_NE(ui.boxes[0].text.find(failure.description()), std::string::npos);
        EXPECT_EQ(fakeFiles.content(kFakeTarget), "old content");
    }
}

TEST_F(DownloadTest, WriteThatFailsMidFileIsReportedAndKeepsTheOldTarget) {
    fakeFiles.addFile(kFakeTarget, "old content");
    fakeFiles.failWritesAfter(100'000, Failure::of(err::DiskFull));
    const std::string body = patternBytes(0, 300'000);
    const ScriptedHttpServer& s =
        serve(byMethod(headReply(200, body.size()), replyWithLength(200, body)));

    EXPECT_FALSE(downloadToFake(s.url("/file.bin")));

    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Unbekannter Fehler");
    EXPECT_NE(ui.boxes[0].text.find(" (61)\r\n"), std::string::npos) << ui.boxes[0].text;
    EXPECT_EQ(fakeFiles.content(kFakeTarget), "old content");
    EXPECT_EQ(fakeFiles.entries(), (std::vector<std::string>{"C:\\App\\", kFakeTarget}));
}

TEST_F(DownloadTest, FolderAtTheTargetCannotBeReplaced) {
    std::filesystem::create_directory(temp.native("file.bin"));
    const ScriptedHttpServer& s = serve(byMethod(headReply(200, 3), replyWithLength(200, "new")));

    EXPECT_THROW(download(s.url("/file.bin")), Failure);

    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(std::filesystem::is_directory(temp.native("file.bin")));
    EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});
}

// --- An expected SHA-256: checked while the body streams to disk ---------

TEST_F(DownloadTest, ExpectedSha256DecidesWhetherTheFileIsStored) {
    // Pieces of odd sizes, so that the digest spans many writes of the sink.
    const std::string body = patternBytes(0, 300000);
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < body.size(); at += 40961) {
        pieces.push_back(body.substr(at, 40961));
    }
    Sha256 hash;
    hash.update(body.data(), body.size());
    const std::string digest = toHex(hash.finish());
    std::string upper = digest;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 32) : c; });
    std::string wrong = digest;
    wrong[17] = wrong[17] == '0' ? '1' : '0';

    const struct {
        const char* name;
        std::string expected;
        bool stored;
        bool fetched;
    } cases[] = {
        {"correct", digest, true, true},
        {"correct in upper case", upper, true, true},
        {"wrong", wrong, false, true},
        {"63 digits", digest.substr(1), false, false},
        {"65 digits", digest + "0", false, false},
        {"not hex", "x" + digest.substr(1), false, false},
    };
    const ScriptedHttpServer& s =
        serve(byMethod(headReply(200, body.size()), replyChunked(200, pieces)));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        temp.write("file.bin", "old content");
        const int connections = s.connectionCount();

        EXPECT_EQ(Download(s.url("/file.bin"), target, http, files, ui, c.expected).arrived(),
                  c.stored);

        EXPECT_EQ(temp.read("file.bin"), c.stored ? body : "old content");
        EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});
        EXPECT_EQ(s.connectionCount() > connections, c.fetched);
    }
    EXPECT_TRUE(ui.boxes.empty());
}

// --- Limits: a body that breaks one stops as soon as that shows ------------

TEST_F(DownloadTest, LimitsEndTheDownloadAsSoonAsTheyAreBroken) {
    const std::uint64_t endless = std::uint64_t{1} << 40;
    ScriptedReply withoutEnd = replyCloseDelimited(200, "");
    withoutEnd.patternBytes = endless;
    const auto limited = [](std::optional<std::int64_t> largest, std::optional<std::int64_t> size) {
        DownloadLimits limits;
        limits.largest = largest;
        limits.size = size;
        return limits;
    };
    const auto inOneSecond = [] {
        DownloadLimits limits;
        limits.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        return limits;
    };
    const struct {
        const char* name;
        ScriptedReply reply;
        std::function<DownloadLimits()> limits;
        bool stored;
    } cases[] = {
        {"a body without end, at most 100,000 bytes", withoutEnd,
         [&] { return limited(100'000, std::nullopt); }, false},
        {"a body without end, a size of 5,000 bytes", withoutEnd,
         [&] { return limited(std::nullopt, 5'000); }, false},
        {"announced larger than allowed", pacedBody(endless, endless, 0, {}),
         [&] { return limited(100'000, std::nullopt); }, false},
        {"one byte short of its size", replyWithLength(200, patternBytes(0, 4'999)),
         [&] { return limited(std::nullopt, 5'000); }, false},
        {"exactly its size, at most that", replyWithLength(200, patternBytes(0, 5'000)),
         [&] { return limited(5'000, 5'000); }, true},
        {"a line above the least rate, past its deadline",
         pacedBody(endless, endless, 2'000, std::chrono::milliseconds(100)), inOneSecond, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(temp.native("file.bin"));
        const ScriptedHttpServer& s = serve(byMethod(headReply(200, 0), c.reply));
        const auto start = std::chrono::steady_clock::now();

        EXPECT_EQ(Download(s.url("/file.bin"), target, http, files, ui, {}, c.limits()).arrived(),
                  c.stored);

        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(folderContents(),
                  c.stored ? std::vector<std::string>{"file.bin"} : std::vector<std::string>{});
    }
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DownloadTest, DeadlineHoldsForTheSizeProbeToo) {
    ScriptedReply silentHead = headReply(200, 3);
    silentHead.delay = std::chrono::seconds(30);
    if (!serveOnPort80(byMethod(silentHead, replyWithLength(200, "abc")))) {
        GTEST_SKIP() << "127.0.0.1:80 cannot be had here";
    }
    DownloadLimits limits;
    limits.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    const auto start = std::chrono::steady_clock::now();

    EXPECT_FALSE(Download(server->url("/file.bin"), target, http, files, ui, {}, limits).arrived());

    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(folderContents().empty());
}

// --- Content codings: decoded before the size and SHA-256 are checked ------

std::string sha256Of(const std::string& data) {
    Sha256 hash;
    hash.update(data.data(), data.size());
    return toHex(hash.finish());
}

ScriptedReply codedReply(const std::string& coding, const std::string& coded) {
    return replyWithLength(200, coded, "Content-Encoding: " + coding + "\r\n");
}

TEST_F(DownloadTest, BodiesInGzipAndDeflateAreStoredDecoded) {
    const std::string body = patternBytes(0, 300'000);
    const std::string gzip = test::gzipped(body);
    ScriptedReply chunked = replyChunked(200, {gzip.substr(0, 1'000), gzip.substr(1'000)});
    chunked.bytes.insert(chunked.bytes.find("\r\n") + 2, "Content-Encoding: gzip\r\n");
    const struct {
        const char* name;
        ScriptedReply reply;
    } cases[] = {
        {"gzip", codedReply("gzip", gzip)},
        {"gzip, chunked", chunked},
        {"x-gzip", codedReply("x-gzip", gzip)},
        {"deflate as a zlib stream", codedReply("deflate", test::zlibDeflated(body))},
        {"deflate as a bare stream", codedReply("deflate", test::bareDeflated(body))},
        {"gzip in small pieces", withPieces(codedReply("GZIP", gzip), 700)},
    };
    DownloadLimits exactSize;
    exactSize.size = static_cast<std::int64_t>(body.size());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(temp.native("file.bin"));
        const ScriptedHttpServer& s = serve(byMethod(headReply(200, gzip.size()), c.reply));

        EXPECT_TRUE(Download(s.url("/file.bin"), target, http, files, ui, sha256Of(body), exactSize)
                        .arrived());

        EXPECT_TRUE(temp.exists("file.bin") && temp.read("file.bin") == body);
        ASSERT_EQ(s.requests().size(), 1u);
        EXPECT_EQ(s.requests()[0].header("Accept-Encoding"), "gzip, deflate");
    }
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DownloadTest, BodyInAnotherCodingOrDamagedIsNotStored) {
    const std::string body = patternBytes(0, 100'000);
    const std::string gzip = test::gzipped(body);
    std::string damaged = gzip;
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x55);
    const struct {
        const char* name;
        ScriptedReply reply;
        DownloadResult::Kind kind;
        std::string logged;
    } cases[] = {
        {"br", codedReply("br", body), DownloadResult::Kind::UnknownCoding,
         "Content-Encoding br, "},
        {"compress", codedReply("compress", body), DownloadResult::Kind::UnknownCoding,
         "Content-Encoding compress, "},
        {"gzip twice", codedReply("gzip, gzip", test::gzipped(gzip)),
         DownloadResult::Kind::UnknownCoding, "Content-Encoding gzip, gzip, "},
        {"gzip, damaged", codedReply("gzip", damaged), DownloadResult::Kind::Incomplete,
         "Content-Encoding gzip, "},
        {"gzip, stream cut short", codedReply("gzip", gzip.substr(0, gzip.size() / 2)),
         DownloadResult::Kind::Incomplete, "Content-Encoding gzip, "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        temp.write("file.bin", "old content");
        const ScriptedHttpServer& s = serve(byMethod(headReply(200, 0), c.reply));
        test::RecordingRunLog log;
        LoggedHttp logged(http, log);

        EXPECT_EQ(Download(s.url("/file.bin"), target, logged, files, ui).kind, c.kind);

        EXPECT_EQ(temp.read("file.bin"), "old content");
        EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});
        EXPECT_EQ(log.count(c.logged), 1) << testing::PrintToString(log.lines);
    }
    EXPECT_TRUE(ui.boxes.empty());
}

// --- The log says why a download failed --------------------------------------

TEST_F(DownloadTest, LogNamesTheExpectedAndTheReceivedValue) {
    const std::string body = patternBytes(0, 5'000);
    const std::string digest = sha256Of(body);
    const std::string other = sha256Of(body + "x");
    DownloadLimits size;
    size.size = 5'001;
    const struct {
        const char* name;
        ScriptedReply reply;
        std::string expectedSha256;
        DownloadLimits limits;
        DownloadResult::Kind kind;
        std::string logged;
    } cases[] = {
        {"SHA256",
         replyWithLength(200, body),
         other,
         {},
         DownloadResult::Kind::DigestMismatch,
         "status 200, 5000 bytes, "},
        {"SHA256 of a gzip body",
         codedReply("gzip", test::gzipped(body)),
         other,
         {},
         DownloadResult::Kind::DigestMismatch,
         "status 200, Content-Encoding gzip, 5000 bytes decoded, "},
        {"size", replyWithLength(200, body), digest, size, DownloadResult::Kind::OutsideLimits,
         "failed: 5000 bytes instead of the expected 5001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ScriptedHttpServer& s = serve(byMethod(headReply(200, 0), c.reply));
        test::RecordingRunLog log;
        LoggedHttp logged(http, log);

        EXPECT_EQ(
            Download(s.url("/file.bin"), target, logged, files, ui, c.expectedSha256, c.limits)
                .kind,
            c.kind);

        EXPECT_EQ(log.count(c.logged), 1) << testing::PrintToString(log.lines);
        if (c.kind == DownloadResult::Kind::DigestMismatch) {
            EXPECT_EQ(log.count("failed: SHA256 " + digest + " instead of the expected " + other),
                      1)
                << testing::PrintToString(log.lines);
        }
        EXPECT_TRUE(folderContents().empty());
    }
}

// --- The size probe: its status logged, its own time limit, a proxy ----------

TEST_F(DownloadTest, SizeProbeTellsItsStatusAndGivesUpAfterItsOwnLimit) {
    const std::string body = patternBytes(0, 1'000);
    ScriptedReply silentHead = headReply(200, body.size());
    silentHead.delay = std::chrono::seconds(60);
    const struct {
        const char* name;
        ScriptedReply head;
        std::string logged;
    } cases[] = {
        {"200", headReply(200, body.size()), "(port 80): status 200, Content-Length 1000, "},
        {"200 past 4 GiB", headReply(200, 5'000'000'000),
         "(port 80): status 200, Content-Length 5000000000, "},
        {"404 with a length", headReply(404, 345), "(port 80): status 404, not used, "},
        {"silent", silentHead, "(port 80): no answer in time, no size, "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!serveOnPort80(byMethod(c.head, replyWithLength(200, body)))) {
            GTEST_SKIP() << "127.0.0.1:80 cannot be had here";
        }
        test::RecordingRunLog log;
        LoggedHttp logged(http, log);
        const auto start = std::chrono::steady_clock::now();

        EXPECT_TRUE(Download(server->url("/file.bin"), target, logged, files, ui).arrived());

        // Without a limit of its own a silent HEAD took the stall limit, 60 s.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        EXPECT_EQ(temp.read("file.bin"), body);
        EXPECT_EQ(log.count("HEAD http://127.0.0.1/file.bin " + c.logged), 1)
            << testing::PrintToString(log.lines);
        server.reset();
    }
}

TEST_F(DownloadTest, ThroughTheSystemProxyTheProbeNamesTheWholeResource) {
    if (!test::ScopedSystemProxy::available()) {
        GTEST_SKIP() << "Windows takes its proxy from its settings only";
    }
    const std::string body = patternBytes(0, 2'000);
    const ScriptedHttpServer& proxy =
        serve(byMethod(headReply(200, body.size()), replyWithLength(200, body)));
    const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.port());
    const test::ScopedSystemProxy systemProxy("http://" + proxyAddress);
    test::RecordingRunLog log;
    LoggedHttp logged(http, log);

    EXPECT_TRUE(
        Download("http://127.0.0.1/dir/file.bin?rev=2", target, logged, files, ui).arrived());
    // With a port in the URL there is no host name to probe on port 80.
    EXPECT_TRUE(Download("http://127.0.0.1:8081/file.bin", target, logged, files, ui).arrived());

    EXPECT_EQ(temp.read("file.bin"), body);
    const std::vector<RecordedRequest> requests = proxy.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].requestLine, "HEAD http://127.0.0.1:80/dir/file.bin?rev=2 HTTP/1.1");
    EXPECT_EQ(requests[0].header("Host"), "127.0.0.1");
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].target.rfind("http://127.0.0.1", 0), 0u) << requests[1].target;
    EXPECT_EQ(requests[2].requestLine, "GET http://127.0.0.1:8081/file.bin HTTP/1.1");
    EXPECT_EQ(log.count("HEAD http://127.0.0.1/dir/file.bin?rev=2 (port 80, via proxy "), 1);
    EXPECT_EQ(log.count("HEAD http://127.0.0.1:8081/file.bin (port 80, via proxy "), 1);
    EXPECT_EQ(log.count("not sent: the host text names more than a host"), 1);
    EXPECT_EQ(log.count(" (via proxy "), 2);
    EXPECT_EQ(log.count(proxyAddress), 4) << testing::PrintToString(log.lines);
}

}  // namespace
}  // namespace morvane
