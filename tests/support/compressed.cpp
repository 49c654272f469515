#include "support/compressed.h"

#include <zlib.h>

#include <stdexcept>

namespace morvane::test {

namespace {

std::string compressed(std::string_view data, int window) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, window, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("deflate did not finish");
    }
    return out;
}

}  // namespace

std::string gzipped(std::string_view data) {
    return compressed(data, 15 + 16);
}

std::string zlibDeflated(std::string_view data) {
    return compressed(data, 15);
}

std::string bareDeflated(std::string_view data) {
    return compressed(data, -15);
}

}  // namespace morvane::test
