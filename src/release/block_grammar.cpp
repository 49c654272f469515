#include "release/block_grammar.h"

#include <algorithm>
#include <limits>

#include "base/failure.h"
#include "base/text.h"

namespace morvane {
namespace {

bool isHeader(std::string_view line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

// Pairs of bytes after the two of the mark; an odd last byte becomes U+FFFD.
std::string utf16Text(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    units.reserve(bytes.size() / 2 + 1);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(
            static_cast<char16_t>(bigEndian ? (first << 8U) | second : (second << 8U) | first));
    }
    if (bytes.size() % 2 != 0) {
        units.push_back(u'\uFFFD');
    }
    return fromUtf16(units);
}

// The text of a Unicode form the bytes announce or are; nullopt for bytes
// of a code page.
std::optional<std::string> unicodeText(std::string_view bytes) {
    if (hasUtf8ByteOrderMark(bytes)) {
        return utf8Text(bytes.substr(kUtf8ByteOrderMark.size()));
    }
    if (const Utf16Mark mark = utf16MarkOf(bytes); mark != Utf16Mark::None) {
        return utf16Text(bytes, mark == Utf16Mark::BigEndian);
    }
    const bool beyondAscii = std::any_of(
        bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (beyondAscii && isUtf8(bytes)) {
        return std::string(bytes);
    }
    return std::nullopt;
}

}  // namespace

Utf16Mark utf16MarkOf(std::string_view bytes) {
    const std::string_view mark = bytes.substr(0, 2);
    return mark == "\xFF\xFE"   ? Utf16Mark::LittleEndian
           : mark == "\xFE\xFF" ? Utf16Mark::BigEndian
                                : Utf16Mark::None;
}

std::string Block::text() const {
    std::string joined;
    for (const BlockLine& line : lines) {
        joined += line.text;
        joined += "\r\n";
    }
    return joined;
}

std::string blockFileText(std::string_view bytes) {
    std::optional<std::string> text = unicodeText(bytes);
    return text ? std::move(*text) : ansiToUtf8(bytes);
}

std::string descriptionText(std::string_view bytes) {
    std::optional<std::string> text = unicodeText(bytes);
    return text ? std::move(*text) : windows1252ToUtf8(bytes);
}

std::vector<Block> parseBlocks(std::string_view text) {
    std::vector<Block> blocks;
    Block open;
    int editorLine = 1;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\r', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(start, end - start);
        const int number = editorLine;
        for (const char c : line) {
            editorLine += c == '\n' ? 1 : 0;
        }
        ++editorLine;
        start = end + 1;
        if (end + 1 < text.size() && text[end + 1] == '\n') {
            ++start;
        }
        if (!isHeader(line)) {
            open.lines.push_back(BlockLine{std::string(line), number});
            continue;
        }
        if (!open.title.empty()) {
            blocks.push_back(std::move(open));
            open = Block{};
        }
        open.title = std::string(line.substr(1, line.size() - 2));
        open.headerLine = open.title.empty() ? 0 : number;
    }
    blocks.push_back(std::move(open));
    return blocks;
}

const Block* findBlock(const std::vector<Block>& blocks, std::string_view title) {
    const std::string wanted = foldCase(title);
    for (const Block& block : blocks) {
        if (foldCase(block.title) == wanted) {
            return &block;
        }
    }
    return nullptr;
}

std::string firstLine(const Block& block, std::int32_t from) {
    for (auto i = static_cast<std::size_t>(std::max(from, 0)); i < block.lines.size(); ++i) {
        const std::string& line = block.lines[i].text;
        if (line.empty() || line.front() != ';') {
            return line;
        }
    }
    return {};
}

std::string_view trimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::optional<NameValue> nameValueOf(std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || line.find('=', equals + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    return NameValue{trimBlanks(line.substr(0, equals)), trimBlanks(line.substr(equals + 1))};
}

std::string valueOf(const Block& block, std::string_view key) {
    // The block's text cut at every "\r\n" has one element more than it has
    // lines, the empty one after the last line end; the scan counts those
    // elements in 16 bits, as the block files' readers always have.
    constexpr std::size_t kLastCountable = std::numeric_limits<std::int16_t>::max();
    const std::size_t elements = block.lines.size() + 1;
    if (elements > kLastCountable + 1) {
        throw Failure::of(err::Overflow);
    }
    for (std::size_t i = 0; i < elements; ++i) {
        if (i < block.lines.size()) {
            const std::optional<NameValue> pair = nameValueOf(block.lines[i].text);
            if (pair && pair->name == key) {
                return std::string(pair->value);
            }
        }
        if (i == kLastCountable) {
            throw Failure::of(err::Overflow);
        }
    }
    return {};
}

}  // namespace morvane
