#include "blockfile/ini_reader.h"

#include <limits>
#include <string_view>

#include "blockfile/file_reader.h"
#include "platform/failure.h"
#include "platform/text.h"

namespace morvane {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool isHeader(const std::string& line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

// The block's text cut at every "\r\n"; n lines give n + 1 elements, the
// last one empty, and the empty text gives none.
std::vector<std::string_view> elements(std::string_view text) {
    std::vector<std::string_view> parts;
    if (text.empty()) {
        return parts;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(kLineEnd, start);
        if (end == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + kLineEnd.size();
    }
}

std::string_view trimSpaces(std::string_view s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

bool IniReader::Init(const std::string& Path) {
    blocks_.clear();
    keyed_.clear();
    FileReader reader(*files_);
    if (!reader.Init(Path, 2, 1024)) {
        return false;
    }
    reader.skipByteOrderMark();
    std::string title;
    std::string text;
    while (!reader.EndOfFile()) {
        std::string line = reader.ReadLine();
        if (isHeader(line)) {
            if (!title.empty()) {
                AddBlock(std::move(text), std::move(title));
                text.clear();
            }
            title = line.substr(1, line.size() - 2);
        } else {
            text += line;
            text += kLineEnd;
        }
    }
    AddBlock(std::move(text), std::move(title));
    reader.CloseFile();
    return true;
}

void IniReader::AddBlock(std::string text, std::string title) {
    keyed_.try_emplace(foldCase(title), blocks_.size());
    blocks_.push_back(StoredBlock{std::move(title), std::move(text)});
}

std::int32_t IniReader::BlockCount() const {
    // A file would need more than two billion header lines to get here.
    return static_cast<std::int32_t>(
        std::min<std::size_t>(blocks_.size(), std::numeric_limits<std::int32_t>::max()));
}

const IniReader::StoredBlock* IniReader::find(const BlockSelector& selector) const {
    if (const std::string* title = selector.title()) {
        const auto it = keyed_.find(foldCase(*title));
        return it == keyed_.end() ? nullptr : &blocks_[it->second];
    }
    const std::int32_t position = *selector.position();
    if (position < 1 || static_cast<std::size_t>(position) > blocks_.size()) {
        return nullptr;
    }
    return &blocks_[static_cast<std::size_t>(position) - 1];
}

std::string IniReader::title(std::int32_t position) const {
    const StoredBlock* block = find(position);
    return block == nullptr ? std::string() : block->title;
}

std::string IniReader::GetBlock(const BlockSelector& TitleOrIndex) const {
    const StoredBlock* block = find(TitleOrIndex);
    return block == nullptr ? std::string() : block->text;
}

std::string IniReader::GetLine(const BlockSelector& Block, std::int32_t LineIndex) const {
    const IniReader::StoredBlock* block = find(Block);
    if (block == nullptr || LineIndex < 0) {
        return {};
    }
    const std::vector<std::string_view> parts = elements(block->text);
    for (auto i = static_cast<std::size_t>(LineIndex); i < parts.size(); ++i) {
        if (parts[i].empty() || parts[i].front() != ';') {
            return std::string(parts[i]);
        }
    }
    return {};
}

std::string IniReader::GetValue(const BlockSelector& Block, const std::string& Key) const {
    const IniReader::StoredBlock* block = find(Block);
    if (block == nullptr) {
        return {};
    }
    // The scan counts lines in 16 bits, as the block files' readers always have.
    constexpr std::size_t kLastCountable = std::numeric_limits<std::int16_t>::max();
    const std::vector<std::string_view> parts = elements(block->text);
    if (parts.size() > kLastCountable + 1) {
        throw Failure::of(err::Overflow);
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string_view line = parts[i];
        const std::size_t eq = line.find('=');
        if (eq != std::string_view::npos && line.find('=', eq + 1) == std::string_view::npos &&
            trimSpaces(line.substr(0, eq)) == Key) {
            return std::string(trimSpaces(line.substr(eq + 1)));
        }
        if (i == kLastCountable) {
            throw Failure::of(err::Overflow);
        }
    }
    return {};
}

}  // namespace morvane
