#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/http_fields.h"

namespace morvane {

// Decodes a body that came in gzip or deflate as it arrives, for both HTTP
// adapters alike. Their libraries' own decoding falls short: libcurl takes
// a gzip stream that the body cuts short for a whole one, and WinINet
// (under Wine) takes deflate for a bare deflate stream only and drops the
// Content-Encoding it decoded. "deflate" is meant as a zlib stream; a bare
// deflate stream, as some servers send, is taken too.
class BodyDecoder {
public:
    using Output = std::function<void(const char* data, std::size_t count)>;

    // `coding` is Gzip or Deflate.
    explicit BodyDecoder(ContentCoding coding);
    ~BodyDecoder();
    BodyDecoder(const BodyDecoder&) = delete;
    BodyDecoder& operator=(const BodyDecoder&) = delete;

    // Decodes `count` more bytes of the coded body, handing what they give
    // to `out` in pieces. Bytes after the end of the coded stream are
    // ignored. Returns what zlib said of bytes that are no such stream (its
    // code and text, origin Library); then nothing more is decoded. What
    // `out` throws passes through; want of memory throws Failure.
    std::optional<Failure> feed(const char* data, std::size_t count, const Output& out);
    // Whether the coded body is whole: its stream has ended, or not one byte
    // of it came (an empty body). A body that stops before is cut short.
    bool whole() const noexcept;

private:
    struct Stream;
    std::optional<Failure> inflateSome(const char* data, std::size_t count, const Output& out);

    ContentCoding coding_;
    std::unique_ptr<Stream> stream_;
    std::string header_;  // deflate: the first bytes, until they tell the form
    std::vector<char> decoded_;
    bool fed_ = false;
    bool finished_ = false;
    bool broken_ = false;
};

}  // namespace morvane
