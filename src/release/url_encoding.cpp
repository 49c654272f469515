#include "release/url_encoding.h"

namespace morvane {

std::string percentEncoded(std::string_view url) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(url.size());
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::string percentDecoded(std::string_view path) {
    const auto digit = [](char c) {
        const std::string_view kHex = "0123456789ABCDEF0123456789abcdef";
        const std::size_t at = kHex.find(c);
        return at == std::string_view::npos ? -1 : static_cast<int>(at % 16);
    };
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 2 < path.size() && digit(path[i + 1]) >= 0 &&
            digit(path[i + 2]) >= 0) {
            out += static_cast<char>(digit(path[i + 1]) * 16 + digit(path[i + 2]));
            i += 2;
        } else {
            out += path[i];
        }
    }
    return out;
}

}  // namespace morvane
