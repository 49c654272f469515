#include "release/windows1252.h"

#include <algorithm>
#include <array>
#include <map>

#include "base/text.h"

namespace morvane {
namespace {

// The bytes that Windows-1252 leaves undefined; Windows maps them to control
// characters, which no description may hold.
constexpr std::array<unsigned char, 5> kUndefined = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

// UTF-8 of each character to its Windows-1252 byte, built from the core's
// own decoding so that both directions agree.
const std::map<std::string, char>& encodingTable() {
    static const std::map<std::string, char> table = [] {
        std::map<std::string, char> built;
        for (int b = 0x20; b <= 0xFF; ++b) {
            if (b == 0x7F ||
                std::find(kUndefined.begin(), kUndefined.end(), b) != kUndefined.end()) {
                continue;
            }
            const char byte = static_cast<char>(b);
            built.emplace(windows1252ToUtf8(std::string_view(&byte, 1)), byte);
        }
        built.emplace("\t", '\t');
        return built;
    }();
    return table;
}

std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        return 3;
    }
    return 4;
}

}  // namespace

std::optional<std::string> toWindows1252(std::string_view utf8) {
    const auto& table = encodingTable();
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t length = sequenceLength(static_cast<unsigned char>(utf8[i]));
        const auto found = table.find(std::string(utf8.substr(i, length)));
        if (found == table.end()) {
            return std::nullopt;
        }
        out += found->second;
        i += length;
    }
    return out;
}

}  // namespace morvane
