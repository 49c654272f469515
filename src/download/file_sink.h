#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/crypto.h"
#include "platform/file_system.h"
#include "platform/http.h"

namespace morvane {

// Thrown by FileSink::begin for a response whose status is not 2xx: such a
// body is no file, so the transfer stops and nothing is stored.
class UnwantedStatus : public std::exception {
public:
    explicit UnwantedStatus(int status) : status_(status) {}
    int status() const noexcept { return status_; }
    const char* what() const noexcept override { return "HTTP status outside 200-299"; }

private:
    int status_;
};

// Thrown by FileSink::finish when the body's SHA-256 is not the expected one:
// the file arrived damaged or swapped, so it is not stored. what() names
// both digests.
class DigestMismatch : public std::exception {
public:
    DigestMismatch(const Sha256Digest& expected, const Sha256Digest& received)
        : why_("SHA256 " + toHex(received) + " instead of the expected " + toHex(expected)) {}
    const char* what() const noexcept override { return why_.c_str(); }

private:
    std::string why_;
};

// Thrown by FileSink when the body breaks a limit set on it: larger than it
// may be, of another size than it must have, or still arriving at its
// deadline. The transfer stops and nothing is stored.
class OutsideLimits : public std::exception {
public:
    explicit OutsideLimits(std::string why) : why_(std::move(why)) {}
    const char* what() const noexcept override { return why_.c_str(); }

private:
    std::string why_;
};

// Streams a GET body to disk as it arrives: into a temporary file beside
// the target, which commit() moves onto the target. Until then the target
// stays as it was; a sink that goes without commit() removes its temporary
// file. A killed run leaves its partial file ("<target>.part", or
// "<target>.<n>.part" when that name was taken); the next download of the
// same target removes those once the server answers with a 2xx status,
// except one still open elsewhere, which stays and is passed over. Memory
// use is one write buffer, whatever the size of the body.
class FileSink : public BodySink {
public:
    // `sizeHint` is the size the server announced beforehand (0 or less:
    // none); it only sizes the write buffer, which stays within
    // kLargestBuffer whatever the hint. `onRead` runs after every read.
    FileSink(FileSystem& files, std::string target, std::int64_t sizeHint,
             std::function<void()> onRead);
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    // Throws UnwantedStatus for a status outside 200..299; otherwise creates
    // the temporary file (Failure when that is impossible). An announced
    // `contentLength` bounds the body from then on: more bytes than the
    // server announced are no file it meant to send.
    void content(const BodyContent& content) override { contentType_ = content.type; }
    void begin(int status, std::optional<std::int64_t> contentLength) override;
    // The body's Content-Type as the server wrote it; empty when none.
    const std::string& contentType() const { return contentType_; }
    // Throws Failure (the file's own), or OutsideLimits once the body passes
    // a bound set on it or its announced length.
    void write(const char* data, std::size_t count) override;
    // Throws OutsideLimits once the deadline has passed.
    void afterRead() override;
    // The body is whole: finish().
    void end() override;

    // Limits of the body, set before the first write; each throws
    // OutsideLimits when broken, as soon as that shows. At most `largest`
    // bytes (a larger announced length refuses the body before it is read);
    // exactly `size` bytes; all of it by `deadline`.
    void limitSize(std::int64_t largest);
    void expectSize(std::int64_t size);
    void endBy(std::chrono::steady_clock::time_point deadline);
    // The finished file is not flushed on its own: its caller puts it on
    // the disk with others by FileSystem::flushFiles(). Call before begin().
    void flushLater() { flushLater_ = true; }

    // From now on the body must have this SHA-256; it is computed as the
    // bytes pass, without reading the file again. Call before the first write.
    void expectSha256(const Sha256Digest& digest);

    // Writes what is buffered and closes the temporary file; once only,
    // later calls do nothing. Throws Failure, DigestMismatch when an expected
    // SHA-256 differs, or OutsideLimits for a body shorter than its expected
    // size.
    void finish();
    // Moves the finished file onto the target, replacing a file that stands
    // there (finishing it first when needed). Throws Failure; the temporary
    // file is then removed when the sink goes.
    void commit();

    // Write buffer sizes: without any announced size, and the bounds for one.
    static constexpr std::size_t kDefaultBuffer = std::size_t{64} * 1024;
    static constexpr std::size_t kSmallestBuffer = std::size_t{4} * 1024;
    static constexpr std::size_t kLargestBuffer = std::size_t{256} * 1024;

private:
    void flush();

    FileSystem& files_;
    std::string target_;
    std::string contentType_;
    std::int64_t sizeHint_;
    std::function<void()> onRead_;
    std::string temporary_;
    std::unique_ptr<WritableFile> file_;
    std::vector<char> buffer_;
    std::size_t buffered_ = 0;
    std::int64_t received_ = 0;
    std::optional<std::int64_t> largest_;
    std::optional<std::int64_t> announced_;
    bool exact_ = false;
    bool flushLater_ = false;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    bool begun_ = false;
    bool finished_ = false;
    bool committed_ = false;
    std::optional<Sha256> hash_;
    std::optional<Sha256Digest> expected_;
    bool matched_ = false;
};

}  // namespace morvane
