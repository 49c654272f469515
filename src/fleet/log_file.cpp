#include "fleet/log_file.h"

#include <zlib.h>

#include <filesystem>
#include <limits>
#include <stdexcept>
#include <vector>

namespace morvane::fleet {
namespace {

constexpr std::size_t kCompressedChunk = std::size_t{64} * 1024;

}  // namespace

// zlib's inflate state over the compressed bytes of the file: one owner,
// ended once.
class LogFile::Inflater {
public:
    Inflater() : input_(kCompressedChunk) {
        // 15 + 32: the largest window, and a gzip (or zlib) header detected.
        if (inflateInit2(&stream_, 15 + 32) != Z_OK) {
            throw std::runtime_error("zlib cannot be set up");
        }
    }
    ~Inflater() { inflateEnd(&stream_); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    z_stream stream_{};
    std::vector<char> input_;
    bool inputEnded_ = false;
    bool memberEnded_ = false;  // the last member ended and nothing followed yet
};

LogFile::LogFile(const std::string& path)
    : path_(path),
      file_(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::binary) {
    if (!file_) {
        throw std::runtime_error(path + ": cannot be opened");
    }
    const int first = file_.get();
    const int second = file_.get();
    const bool isGzip = first == 0x1f && second == 0x8b;
    file_.clear();
    file_.seekg(0);
    if (isGzip) {
        inflater_ = std::make_unique<Inflater>();
    }
}

LogFile::~LogFile() = default;

std::size_t LogFile::readRaw(char* into, std::size_t most) {
    file_.read(into, static_cast<std::streamsize>(most));
    if (file_.bad()) {
        throw std::runtime_error(path_ + ": cannot be read");
    }
    return static_cast<std::size_t>(file_.gcount());
}

std::size_t LogFile::read(char* into, std::size_t most) {
    return inflater_ ? inflateInto(into, most) : readRaw(into, most);
}

std::size_t LogFile::inflateInto(char* into, std::size_t most) {
    Inflater& z = *inflater_;
    z_stream& stream = z.stream_;
    const auto room =
        static_cast<uInt>(std::min<std::size_t>(most, std::numeric_limits<uInt>::max()));
    stream.next_out = reinterpret_cast<Bytef*>(into);
    stream.avail_out = room;
    while (stream.avail_out == room) {
        if (stream.avail_in == 0 && !z.inputEnded_) {
            const std::size_t got = readRaw(z.input_.data(), z.input_.size());
            z.inputEnded_ = got == 0;
            stream.next_in = reinterpret_cast<Bytef*>(z.input_.data());
            stream.avail_in = static_cast<uInt>(got);
        }
        if (stream.avail_in == 0 && z.inputEnded_) {
            if (!z.memberEnded_) {
                throw std::runtime_error(path_ + ": the compressed data ends early");
            }
            break;
        }
        if (z.memberEnded_) {
            // Another gzip member follows (as `cat a.gz b.gz` makes).
            inflateReset(&stream);
            z.memberEnded_ = false;
        }
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            z.memberEnded_ = true;
        } else if (result != Z_OK && result != Z_BUF_ERROR) {
            throw std::runtime_error(path_ + ": damaged compressed data (" +
                                     (stream.msg != nullptr ? stream.msg : "zlib error") + ")");
        }
    }
    return room - stream.avail_out;
}

}  // namespace morvane::fleet
