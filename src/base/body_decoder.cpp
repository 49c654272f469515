#include "base/body_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace morvane {

namespace {

constexpr int kGzipWindow = 15 + 16;  // zlib reads a gzip header and trailer
constexpr int kZlibWindow = 15;
constexpr int kBareWindow = -15;  // no header at all
// The most that one piece handed on holds.
constexpr std::size_t kDecodedPiece = std::size_t{64} * 1024;

// The two bytes that open a zlib stream: the deflate method, and a check
// that makes them a multiple of 31.
bool opensZlibStream(unsigned char first, unsigned char second) {
    return (first & 0x0F) == 8 && ((first << 8) | second) % 31 == 0;
}

Failure zlibFailure(int code, const char* text) {
    return Failure(FailureOrigin::Library, code,
                   text != nullptr ? text : "komprimierte Daten unlesbar");
}

}  // namespace

struct BodyDecoder::Stream {
    z_stream z{};
    explicit Stream(int window) {
        if (const int code = inflateInit2(&z, window); code != Z_OK) {
            throw code == Z_MEM_ERROR ? Failure::of(err::OutOfMemory) : zlibFailure(code, z.msg);
        }
    }
    ~Stream() { inflateEnd(&z); }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
};

BodyDecoder::BodyDecoder(ContentCoding coding) : coding_(coding) {
    if (coding_ == ContentCoding::Gzip) {
        stream_ = std::make_unique<Stream>(kGzipWindow);
    }
}

BodyDecoder::~BodyDecoder() = default;

std::optional<Failure> BodyDecoder::feed(const char* data, std::size_t count, const Output& out) {
    if (finished_ || broken_ || count == 0) {
        return std::nullopt;
    }
    fed_ = true;
    if (stream_) {
        return inflateSome(data, count, out);
    }
    // Deflate: the form shows in the first two bytes.
    header_.append(data, count);
    if (header_.size() < 2) {
        return std::nullopt;
    }
    const std::string first = std::move(header_);
    stream_ = std::make_unique<Stream>(
        opensZlibStream(static_cast<unsigned char>(first[0]), static_cast<unsigned char>(first[1]))
            ? kZlibWindow
            : kBareWindow);
    return inflateSome(first.data(), first.size(), out);
}

std::optional<Failure> BodyDecoder::inflateSome(const char* data, std::size_t count,
                                                const Output& out) {
    decoded_.resize(kDecodedPiece);
    z_stream& z = stream_->z;
    while (count > 0 && !finished_) {
        const auto piece =
            static_cast<uInt>(std::min<std::size_t>(count, std::numeric_limits<uInt>::max()));
        // zlib reads through a pointer to non-const but never writes there.
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        z.avail_in = piece;
        do {
            z.next_out = reinterpret_cast<Bytef*>(decoded_.data());
            z.avail_out = static_cast<uInt>(decoded_.size());
            const int code = inflate(&z, Z_NO_FLUSH);
            if (code == Z_MEM_ERROR) {
                throw Failure::of(err::OutOfMemory);
            }
            if (code != Z_OK && code != Z_STREAM_END && code != Z_BUF_ERROR) {
                broken_ = true;
                return zlibFailure(code, z.msg);
            }
            if (const std::size_t produced = decoded_.size() - z.avail_out; produced > 0) {
                out(decoded_.data(), produced);
            }
            finished_ = code == Z_STREAM_END;
        } while (!finished_ && z.avail_out == 0);
        data += piece;
        count -= piece;
    }
    return std::nullopt;
}

bool BodyDecoder::whole() const noexcept {
    return finished_ || !fed_;
}

}  // namespace morvane
