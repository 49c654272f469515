#include "support/scripted_http_server.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "base/http_fields.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace morvane::test {

namespace {

#ifdef _WIN32
using Socket = SOCKET;
const Socket kNoSocket = INVALID_SOCKET;
using PollEntry = WSAPOLLFD;

void closeSocket(Socket s) {
    closesocket(s);
}
int pollOne(PollEntry& entry, int milliseconds) {
    return WSAPoll(&entry, 1, milliseconds);
}
long long receive(Socket s, char* buffer, std::size_t size) {
    return recv(s, buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
}
long long transmit(Socket s, const char* data, std::size_t size) {
    return send(s, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
}
constexpr int kShutdownSend = SD_SEND;

// Winsock wants one WSAStartup per user; the count is kept by Winsock.
class WinsockUser {
public:
    WinsockUser() {
        WSADATA data{};
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
            throw std::runtime_error("WSAStartup failed");
        }
    }
    ~WinsockUser() { WSACleanup(); }
    WinsockUser(const WinsockUser&) = delete;
    WinsockUser& operator=(const WinsockUser&) = delete;
};
#else
using Socket = int;
const Socket kNoSocket = -1;
using PollEntry = pollfd;

void closeSocket(Socket s) {
    ::close(s);
}
int pollOne(PollEntry& entry, int milliseconds) {
    return ::poll(&entry, 1, milliseconds);
}
long long receive(Socket s, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::recv(s, buffer, size, 0);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}
long long transmit(Socket s, const char* data, std::size_t size) {
    for (;;) {
        // MSG_NOSIGNAL: a client that hangs up must not kill the test with SIGPIPE.
        const ssize_t put = ::send(s, data, size, MSG_NOSIGNAL);
        if (put >= 0 || errno != EINTR) {
            return put;
        }
    }
}
constexpr int kShutdownSend = SHUT_WR;

// Sockets need no set-up here.
class WinsockUser {
public:
    WinsockUser() {}
    ~WinsockUser() {}
    WinsockUser(const WinsockUser&) = delete;
    WinsockUser& operator=(const WinsockUser&) = delete;
};
#endif

// Owns one socket; move-only.
class OwnedSocket {
public:
    OwnedSocket() = default;
    explicit OwnedSocket(Socket s) : socket_(s) {}
    OwnedSocket(OwnedSocket&& other) noexcept : socket_(std::exchange(other.socket_, kNoSocket)) {}
    OwnedSocket& operator=(OwnedSocket&& other) noexcept {
        if (this != &other) {
            reset();
            socket_ = std::exchange(other.socket_, kNoSocket);
        }
        return *this;
    }
    OwnedSocket(const OwnedSocket&) = delete;
    OwnedSocket& operator=(const OwnedSocket&) = delete;
    ~OwnedSocket() { reset(); }

    Socket get() const { return socket_; }
    bool valid() const { return socket_ != kNoSocket; }
    void reset() {
        if (valid()) {
            closeSocket(std::exchange(socket_, kNoSocket));
        }
    }

private:
    Socket socket_ = kNoSocket;
};

constexpr std::size_t kPatternPeriod = 65521;  // the largest prime below 2^16

const std::array<char, kPatternPeriod>& patternTable() {
    static const std::array<char, kPatternPeriod> table = [] {
        std::array<char, kPatternPeriod> bytes{};
        std::uint32_t state = 0x2545F491u;
        for (char& b : bytes) {
            state = state * 1664525u + 1013904223u;
            b = static_cast<char>(state >> 24);
        }
        return bytes;
    }();
    return table;
}

// Copies `count` pattern bytes from `offset` into `out`.
void fillPattern(std::uint64_t offset, char* out, std::size_t count) {
    const auto& table = patternTable();
    std::size_t at = static_cast<std::size_t>(offset % kPatternPeriod);
    while (count > 0) {
        const std::size_t run = std::min(count, kPatternPeriod - at);
        std::copy_n(table.data() + at, run, out);
        out += run;
        count -= run;
        at = 0;
    }
}

std::string trimmed(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) {
        ++begin;
    }
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

RecordedRequest parseHead(std::string head, int connection) {
    RecordedRequest request;
    request.connection = connection;
    std::size_t lineStart = 0;
    bool first = true;
    while (lineStart < head.size()) {
        std::size_t lineEnd = head.find("\r\n", lineStart);
        if (lineEnd == std::string::npos) {
            lineEnd = head.size();
        }
        const std::string_view line(head.data() + lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 2;
        if (first) {
            first = false;
            request.requestLine = std::string(line);
            const std::size_t space1 = line.find(' ');
            const std::size_t space2 =
                space1 == std::string_view::npos ? space1 : line.find(' ', space1 + 1);
            request.method = std::string(line.substr(0, space1));
            if (space1 != std::string_view::npos) {
                request.target = std::string(line.substr(space1 + 1, space2 - space1 - 1));
            }
            continue;
        }
        if (line.empty()) {
            break;
        }
        const std::size_t colon = line.find(':');
        request.headers.emplace_back(
            trimmed(line.substr(0, colon)),
            colon == std::string_view::npos ? std::string() : trimmed(line.substr(colon + 1)));
    }
    request.head = std::move(head);
    return request;
}

}  // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (equalsIgnoringCase(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

char patternByte(std::uint64_t offset) {
    return patternTable()[static_cast<std::size_t>(offset % kPatternPeriod)];
}

std::string patternBytes(std::uint64_t offset, std::size_t count) {
    std::string bytes(count, '\0');
    fillPattern(offset, bytes.data(), count);
    return bytes;
}

bool isPattern(std::string_view data) {
    const auto& table = patternTable();
    for (std::size_t at = 0; at < data.size(); at += kPatternPeriod) {
        const std::size_t run = std::min(kPatternPeriod, data.size() - at);
        if (!std::equal(table.data(), table.data() + run, data.data() + at)) {
            return false;
        }
    }
    return true;
}

std::string reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 206:
            return "Partial Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 304:
            return "Not Modified";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

namespace {
std::string statusLine(int status) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
}
}  // namespace

ScriptedReply replyWithLength(int status, const std::string& body,
                              const std::string& extraHeaders) {
    ScriptedReply reply;
    reply.bytes = statusLine(status) + extraHeaders +
                  "Content-Length: " + std::to_string(body.size()) +
                  "\r\nConnection: close\r\n\r\n" + body;
    return reply;
}

ScriptedReply replyCloseDelimited(int status, const std::string& body) {
    ScriptedReply reply;
    reply.bytes = statusLine(status) + "Connection: close\r\n\r\n" + body;
    return reply;
}

ScriptedReply replyChunked(int status, const std::vector<std::string>& pieces) {
    ScriptedReply reply;
    reply.bytes = statusLine(status) + "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    static constexpr char kHex[] = "0123456789abcdef";
    for (const std::string& piece : pieces) {
        if (piece.empty()) {
            continue;  // an empty chunk would end the body
        }
        std::string size;
        for (std::size_t n = piece.size(); n > 0; n /= 16) {
            size.insert(size.begin(), kHex[n % 16]);
        }
        reply.bytes += size + "\r\n" + piece + "\r\n";
    }
    reply.bytes += "0\r\n\r\n";
    return reply;
}

struct ScriptedHttpServer::Impl {
    WinsockUser winsock;
    Script script;
    std::mutex scriptMutex;
    mutable std::mutex recordMutex;
    std::vector<RecordedRequest> requests;
    std::atomic<bool> stopping{false};
    std::atomic<int> connections{0};
    OwnedSocket listener;
    std::uint16_t port = 0;
    std::thread acceptor;
    std::mutex workersMutex;
    std::vector<std::thread> workers;

    // Waits until the socket is ready for `events`; false once the server stops.
    bool waitFor(Socket s, short events) const {
        while (!stopping.load()) {
            PollEntry entry{};
            entry.fd = s;
            entry.events = events;
            const int ready = pollOne(entry, 20);
            if (ready > 0) {
                return true;
            }
            if (ready < 0) {
                return false;
            }
        }
        return false;
    }

    // Sleeps for `duration`, cut short when the server stops.
    void pause(std::chrono::milliseconds duration) const {
        const auto until = std::chrono::steady_clock::now() + duration;
        while (!stopping.load() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                std::chrono::milliseconds(10), until - std::chrono::steady_clock::now()));
        }
    }

    bool sendAll(Socket s, const char* data, std::size_t size) const {
        while (size > 0) {
            if (!waitFor(s, POLLOUT)) {
                return false;
            }
            const long long put = transmit(s, data, size);
            if (put <= 0) {
                return false;
            }
            data += put;
            size -= static_cast<std::size_t>(put);
        }
        return true;
    }

    bool sendReply(Socket s, const ScriptedReply& reply) const {
        pause(reply.delay);
        std::ifstream file;
        if (!reply.file.empty()) {
            file.open(reply.file, std::ios::binary);
        }
        const std::uint64_t total =
            reply.bytes.size() +
            (reply.file.empty() ? reply.patternBytes : std::filesystem::file_size(reply.file));
        const std::size_t piece = reply.pieceSize > 0 ? reply.pieceSize : std::size_t{1} << 16;
        const std::size_t first =
            reply.pieceSize > 0 && reply.firstPiece > 0 ? reply.firstPiece : piece;
        std::vector<char> buffer(std::max(piece, first));
        std::uint64_t sent = 0;
        while (sent < total && !stopping.load()) {
            const std::size_t count = static_cast<std::size_t>(
                std::min<std::uint64_t>(sent == 0 ? first : piece, total - sent));
            for (std::size_t i = 0; i < count;) {
                const std::uint64_t at = sent + i;
                if (at < reply.bytes.size()) {
                    const std::size_t run = std::min<std::size_t>(
                        count - i, reply.bytes.size() - static_cast<std::size_t>(at));
                    std::copy_n(reply.bytes.data() + at, run, buffer.data() + i);
                    i += run;
                } else if (file.is_open()) {
                    // Read in order: every piece starts where the last one ended.
                    if (!file.read(buffer.data() + i, static_cast<std::streamsize>(count - i))) {
                        return false;
                    }
                    i = count;
                } else {
                    fillPattern(at - reply.bytes.size(), buffer.data() + i, count - i);
                    i = count;
                }
            }
            if (!sendAll(s, buffer.data(), count)) {
                return false;
            }
            sent += count;
            if (reply.pieceSize > 0 && sent < total) {
                pause(reply.pieceDelay);
            }
        }
        return sent == total;
    }

    // Reads until the empty line that ends a request head. Bytes after it
    // stay in `pending` for the next request.
    std::optional<std::string> readHead(Socket s, std::string& pending) const {
        for (;;) {
            const std::size_t end = pending.find("\r\n\r\n");
            if (end != std::string::npos) {
                std::string head = pending.substr(0, end + 4);
                pending.erase(0, end + 4);
                return head;
            }
            if (!waitFor(s, POLLIN)) {
                return std::nullopt;
            }
            char buffer[4096];
            const long long got = receive(s, buffer, sizeof buffer);
            if (got <= 0) {
                return std::nullopt;
            }
            pending.append(buffer, static_cast<std::size_t>(got));
        }
    }

    // Reads and drops a request body of `length` bytes.
    bool skipBody(Socket s, std::string& pending, std::uint64_t length) const {
        const std::size_t fromPending =
            static_cast<std::size_t>(std::min<std::uint64_t>(length, pending.size()));
        pending.erase(0, fromPending);
        length -= fromPending;
        char buffer[4096];
        while (length > 0) {
            if (!waitFor(s, POLLIN)) {
                return false;
            }
            const long long got =
                receive(s, buffer, std::min<std::uint64_t>(length, sizeof buffer));
            if (got <= 0) {
                return false;
            }
            length -= static_cast<std::uint64_t>(got);
        }
        return true;
    }

    void serve(OwnedSocket connection, int number) {
        const Socket s = connection.get();
        std::string pending;
        for (;;) {
            std::optional<std::string> head = readHead(s, pending);
            if (!head) {
                return;
            }
            RecordedRequest request = parseHead(std::move(*head), number);
            if (const auto length = request.header("Content-Length")) {
                if (!skipBody(s, pending, std::strtoull(length->c_str(), nullptr, 10))) {
                    return;
                }
            }
            {
                std::lock_guard lock(recordMutex);
                requests.push_back(request);
            }
            ScriptedReply reply;
            {
                std::lock_guard lock(scriptMutex);
                reply = script(request);
            }
            const bool sent = sendReply(s, reply);
            if (reply.reset) {
                // A zero linger time turns the close into a reset.
                linger abort{};
                abort.l_onoff = 1;
                abort.l_linger = 0;
                setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                           sizeof abort);
                return;
            }
            if (!sent || !reply.keepOpen) {
                break;
            }
        }
        // An orderly close: the client reads the whole reply before the end.
        // Waiting a little for its own close keeps unread request bytes from
        // turning the close into a reset that could swallow the reply's tail.
        shutdown(s, kShutdownSend);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        char buffer[4096];
        while (!stopping.load() && std::chrono::steady_clock::now() < until) {
            PollEntry entry{};
            entry.fd = s;
            entry.events = POLLIN;
            if (pollOne(entry, 20) > 0 && receive(s, buffer, sizeof buffer) <= 0) {
                break;
            }
        }
    }

    void acceptLoop() {
        while (waitFor(listener.get(), POLLIN)) {
            OwnedSocket connection(accept(listener.get(), nullptr, nullptr));
            if (!connection.valid()) {
                continue;
            }
            const int number = ++connections;
            std::lock_guard lock(workersMutex);
            workers.emplace_back([this, c = std::move(connection), number]() mutable {
                serve(std::move(c), number);
            });
        }
    }

    void listen(std::uint16_t wanted) {
        listener = OwnedSocket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (!listener.valid()) {
            throw std::runtime_error("socket() failed");
        }
#ifndef _WIN32
        // Lets a fixed port be bound again while old connections linger.
        // (Windows' SO_REUSEADDR would let two servers share a port instead.)
        int on = 1;
        setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(wanted);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
            0) {
            throw std::runtime_error("cannot bind 127.0.0.1:" + std::to_string(wanted));
        }
        if (::listen(listener.get(), 64) != 0) {
            throw std::runtime_error("listen() failed");
        }
        socklen_t length = sizeof address;
        if (getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("getsockname() failed");
        }
        port = ntohs(address.sin_port);
        acceptor = std::thread([this] { acceptLoop(); });
    }

    ~Impl() {
        stopping = true;
        if (acceptor.joinable()) {
            acceptor.join();
        }
        std::lock_guard lock(workersMutex);
        for (std::thread& worker : workers) {
            worker.join();
        }
    }
};

ScriptedHttpServer::ScriptedHttpServer(Script script, std::uint16_t port)
    : impl_(std::make_unique<Impl>()) {
    impl_->script = std::move(script);
    impl_->listen(port);
}

std::unique_ptr<ScriptedHttpServer> ScriptedHttpServer::tryListen(Script script,
                                                                  std::uint16_t port) {
    try {
        return std::make_unique<ScriptedHttpServer>(std::move(script), port);
    } catch (const std::runtime_error&) {
        return nullptr;
    }
}

ScriptedHttpServer::~ScriptedHttpServer() = default;

std::uint16_t ScriptedHttpServer::port() const {
    return impl_->port;
}

int ScriptedHttpServer::connectionCount() const {
    return impl_->connections.load();
}

std::string ScriptedHttpServer::url(std::string_view path) const {
    std::string text = "http://127.0.0.1";
    if (impl_->port != 80) {
        text += ":" + std::to_string(impl_->port);
    }
    return text + std::string(path);
}

std::vector<RecordedRequest> ScriptedHttpServer::requests() const {
    std::lock_guard lock(impl_->recordMutex);
    return impl_->requests;
}

std::uint16_t unusedPort() {
    WinsockUser winsock;
    OwnedSocket probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (!probe.valid() ||
        bind(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("cannot bind an ephemeral port");
    }
    socklen_t length = sizeof address;
    getsockname(probe.get(), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

}  // namespace morvane::test
