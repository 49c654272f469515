// Download benchmark: the pieces that bench/download/run puts together.
//
//   download_bench serve ROOT PORTFILE
//       (POSIX only) An HTTP/1.1 server on 127.0.0.1 for the files in ROOT,
//       with Content-Length, sent with sendfile(). Writes its port to
//       PORTFILE once it listens; runs until killed.
//   download_bench fetch URL TARGET [SHA256]
//       One Download of URL to TARGET (a Windows path; Z:\ is / natively)
//       with the host's real adapters; with SHA256, the file must have that
//       digest, computed while the body streams to disk. Prints one line:
//       "ok=1 seconds=S bytes=N peak_rss_kib=K session=S probe=S get=S": the
//       whole Download, the file's size, the peak memory of this process,
//       and the time of opening the session, of the size probe and of the
//       transfer.
//
// Each fetch is a process of its own, so its peak memory is the download's.

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "base/failure.h"
#include "download/download_module.h"
#include "platform/user_interface.h"
#include "support/host_adapters.h"

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <psapi.h>
// clang-format on
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#endif

namespace {

using morvane::test::HostFileSystem;
using morvane::test::HostHttp;

// No one to answer boxes: they go to the error stream and count as OK.
class QuietUserInterface : public morvane::UserInterface {
public:
    morvane::box::Answer messageBox(const std::string& text, morvane::box::Style,
                                    const std::string&) override {
        std::fprintf(stderr, "box: %s\n", text.c_str());
        return morvane::box::Ok;
    }
    void showWaitCursor() override {}
    void showArrowCursor() override {}
    void processPendingMessages() override {
#ifdef _WIN32
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
#endif
    }
};

// The host's HTTP layer, timing the size probe and the transfer apart.
class TimedHttp : public morvane::Http {
public:
    using Clock = std::chrono::steady_clock;

    std::unique_ptr<morvane::HttpSession> openSession() override {
        const auto start = Clock::now();
        std::unique_ptr<morvane::HttpSession> session = host_.openSession();
        sessionSeconds += seconds(start);
        if (!session) {
            return nullptr;
        }
        return std::make_unique<Session>(*this, std::move(session));
    }

    double sessionSeconds = 0;
    double probeSeconds = 0;
    double getSeconds = 0;

private:
    static double seconds(Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    class Session : public morvane::HttpSession {
    public:
        Session(TimedHttp& owner, std::unique_ptr<morvane::HttpSession> session)
            : owner_(owner), session_(std::move(session)) {}
        morvane::SizeProbe probeContentLength(const std::string& host,
                                              const std::string& objectPath) override {
            const auto start = Clock::now();
            morvane::SizeProbe probe = session_->probeContentLength(host, objectPath);
            owner_.probeSeconds += seconds(start);
            return probe;
        }
        morvane::GetResult get(const std::string& url, morvane::BodySink& sink) override {
            const auto start = Clock::now();
            morvane::GetResult result = session_->get(url, sink);
            owner_.getSeconds += seconds(start);
            return result;
        }

    private:
        TimedHttp& owner_;
        std::unique_ptr<morvane::HttpSession> session_;
    };

    HostHttp host_;
};

long long peakMemoryKib() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        return -1;
    }
    return static_cast<long long>(counters.PeakWorkingSetSize / 1024);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // KiB on Linux
#endif
}

long long fileSize(const std::string& windowsPath) {
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const std::wstring wide(windowsPath.begin(), windowsPath.end());
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
#else
    std::string path =
        windowsPath.size() > 2 && windowsPath[1] == ':' ? windowsPath.substr(2) : windowsPath;
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
#endif
}

int fetch(const std::string& url, const std::string& target, const std::string& sha256) {
    TimedHttp http;
    HostFileSystem files;
    QuietUserInterface ui;
    const auto start = std::chrono::steady_clock::now();
    bool ok = false;
    try {
        ok = morvane::Download(url, target, http, files, ui, sha256).arrived();
    } catch (const morvane::Failure& failure) {
        std::fprintf(stderr, "failure %d: %s\n", failure.number(), failure.description().c_str());
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::printf(
        "ok=%d seconds=%.6f bytes=%lld peak_rss_kib=%lld session=%.6f probe=%.6f "
        "get=%.6f\n",
        ok ? 1 : 0, seconds.count(), fileSize(target), peakMemoryKib(), http.sessionSeconds,
        http.probeSeconds, http.getSeconds);
    return ok ? 0 : 1;
}

#ifndef _WIN32

bool sendAll(int socket, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::send(socket, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (put <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// One request per connection: GET or HEAD of a file below `root`.
void serveConnection(int socket, const std::string& root) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
        if (got <= 0) {
            ::close(socket);
            return;
        }
        head.append(buffer, static_cast<std::size_t>(got));
    }
    const std::size_t firstBlank = head.find(' ');
    const std::size_t secondBlank = head.find(' ', firstBlank + 1);
    const std::string method = head.substr(0, firstBlank);
    std::string object = head.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    object = object.substr(0, object.find('?'));
    const int file = object.find("..") == std::string::npos
                         ? ::open((root + object).c_str(), O_RDONLY | O_CLOEXEC)
                         : -1;
    struct stat info {};
    if (file < 0 || ::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
        sendAll(socket, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    } else {
        const std::string reply =
            "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
            "Content-Length: " +
            std::to_string(info.st_size) + "\r\nConnection: close\r\n\r\n";
        if (sendAll(socket, reply) && method == "GET") {
            off_t offset = 0;
            while (offset < info.st_size) {
                const ssize_t put = ::sendfile(socket, file, &offset,
                                               static_cast<std::size_t>(info.st_size - offset));
                if (put <= 0) {
                    break;
                }
            }
        }
    }
    if (file >= 0) {
        ::close(file);
    }
    ::shutdown(socket, SHUT_WR);
    while (::recv(socket, buffer, sizeof buffer, 0) > 0) {
    }
    ::close(socket);
}

int serve(const std::string& root, const std::string& portFile) {
    ::signal(SIGPIPE, SIG_IGN);
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0) {
        std::perror("listen");
        return 1;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    if (FILE* out = std::fopen(portFile.c_str(), "w")) {
        std::fprintf(out, "%u\n", static_cast<unsigned>(ntohs(address.sin_port)));
        std::fclose(out);
    }
    for (;;) {
        const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            continue;
        }
        std::thread(serveConnection, connection, root).detach();
    }
}

#endif

}  // namespace

int main(int argc, char** argv) {
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "fetch") == 0) {
        return fetch(argv[2], argv[3], argc == 5 ? argv[4] : "");
    }
#ifndef _WIN32
    if (argc == 4 && std::strcmp(argv[1], "serve") == 0) {
        return serve(argv[2], argv[3]);
    }
#endif
    std::fprintf(stderr, "usage: download_bench fetch URL TARGET [SHA256] | serve ROOT PORTFILE\n");
    return 2;
}
