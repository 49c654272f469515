#include "blockfile/ini_reader.h"

#include <limits>

#include "base/failure.h"
#include "blockfile/block_file_bytes.h"

namespace morvane {

bool IniReader::Init(const std::string& Path) {
    blocks_.clear();
    const std::optional<std::string> bytes = readBlockFileBytes(*files_, Path);
    if (!bytes) {
        return false;
    }
    blocks_ = parseBlocks(blockFileText(*bytes));
    return true;
}

std::int32_t IniReader::BlockCount() const {
    // A file would need more than two billion header lines to get here.
    return static_cast<std::int32_t>(
        std::min<std::size_t>(blocks_.size(), std::numeric_limits<std::int32_t>::max()));
}

const Block* IniReader::find(const BlockSelector& selector) const {
    if (const std::string* title = selector.title()) {
        return findBlock(blocks_, *title);
    }
    const std::int32_t position = *selector.position();
    if (position < 1 || static_cast<std::size_t>(position) > blocks_.size()) {
        return nullptr;
    }
    return &blocks_[static_cast<std::size_t>(position) - 1];
}

std::string IniReader::title(std::int32_t position) const {
    const Block* block = find(position);
    return block == nullptr ? std::string() : block->title;
}

std::string IniReader::GetBlock(const BlockSelector& TitleOrIndex) const {
    const Block* block = find(TitleOrIndex);
    return block == nullptr ? std::string() : block->text();
}

std::string IniReader::GetLine(const BlockSelector& Block, std::int32_t LineIndex) const {
    const morvane::Block* block = find(Block);
    if (block == nullptr || LineIndex < 0) {
        return {};
    }
    return firstLine(*block, LineIndex);
}

std::string IniReader::GetValue(const BlockSelector& Block, const std::string& Key) const {
    const morvane::Block* block = find(Block);
    return block == nullptr ? std::string() : valueOf(*block, Key);
}

}  // namespace morvane
