#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvane::test {

// One request as the server received it.
struct RecordedRequest {
    std::string requestLine;  // "GET /x HTTP/1.1", without the line end
    std::string method;
    std::string target;
    // Header lines in the order received, names and values as sent (the
    // value without the blanks around it).
    std::vector<std::pair<std::string, std::string>> headers;
    // The whole head as received: request line, header lines, empty line.
    std::string head;
    // Counts the connections of the server from 1: which one carried it.
    int connection = 0;

    // The value of the first header named `name` (ignoring case); nullopt
    // when the request has none.
    std::optional<std::string> header(std::string_view name) const;
};

// What the server does for one request: raw bytes, sent exactly as given,
// so a script can answer with anything, malformed or cut short included.
struct ScriptedReply {
    std::string bytes;
    // After `bytes`: this many bytes of the generated pattern (patternByte),
    // produced while sending, so huge bodies cost no memory.
    std::uint64_t patternBytes = 0;
    // After `bytes`, in place of the pattern: the bytes of this file, read
    // while sending, so a file of gigabytes costs no memory either.
    std::filesystem::path file;
    // Pause before the first byte.
    std::chrono::milliseconds delay{0};
    // Send in pieces of this size with `pieceDelay` between them; 0 sends
    // as fast as the client takes it.
    std::size_t pieceSize = 0;
    std::chrono::milliseconds pieceDelay{0};
    // When sending in pieces: the size of the first one (0: pieceSize), so
    // that a whole head can go out before a slow body.
    std::size_t firstPiece = 0;
    // Read the next request on the same connection instead of closing it.
    bool keepOpen = false;
    // End the connection with a reset instead of an orderly close.
    bool reset = false;
};

// The byte at `offset` of a generated body. Its period is a prime, so a
// body with a block lost, doubled or shifted differs from the pattern.
char patternByte(std::uint64_t offset);
std::string patternBytes(std::uint64_t offset, std::size_t count);
// True when `data` equals the pattern from offset 0.
bool isPattern(std::string_view data);

// Ready-made replies. Each closes the connection after it.
// Status line, the given header lines, "Content-Length", "Connection: close".
ScriptedReply replyWithLength(int status, const std::string& body,
                              const std::string& extraHeaders = "");
// Status line without Content-Length; the body ends when the connection does.
ScriptedReply replyCloseDelimited(int status, const std::string& body);
// "Transfer-Encoding: chunked", one chunk per piece, then the last chunk.
ScriptedReply replyChunked(int status, const std::vector<std::string>& pieces);
// The standard reason phrase of a status ("OK", "Not Found", ...).
std::string reasonPhrase(int status);

// A loopback HTTP server on 127.0.0.1 for tests, driven by a script that
// turns each request into a reply. Every connection gets its own thread;
// the script is called under a lock, so it may keep state. The destructor
// stops the server and every connection, also one the client still holds.
class ScriptedHttpServer {
public:
    using Script = std::function<ScriptedReply(const RecordedRequest&)>;

    // Listens on 127.0.0.1:`port`, or on a free ephemeral port when `port`
    // is 0. Throws std::runtime_error when it cannot listen.
    explicit ScriptedHttpServer(Script script, std::uint16_t port = 0);
    // As the constructor, but nullptr when the port is taken or not allowed.
    static std::unique_ptr<ScriptedHttpServer> tryListen(Script script, std::uint16_t port);
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    std::uint16_t port() const;
    // "http://127.0.0.1" + ":port" (left out for 80) + `path`.
    std::string url(std::string_view path) const;

    // The requests received so far, in order of arrival.
    std::vector<RecordedRequest> requests() const;
    int connectionCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A loopback port on which nothing listens (taken from the system and
// released again), for a server that cannot be reached.
std::uint16_t unusedPort();

}  // namespace morvane::test
