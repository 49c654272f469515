#include "release/release.h"

#include <algorithm>
#include <utility>

#include "base/text.h"
#include "release/block_grammar.h"

namespace morvane {
namespace {

// The head block's first line that is no comment; "" without the block.
std::string headLine(const std::vector<Block>& blocks, std::string_view title) {
    const Block* block = findBlock(blocks, title);
    return block == nullptr ? std::string() : firstLine(*block);
}

FileEntry fileEntryOf(const Block& block, std::int32_t position) {
    FileEntry entry;
    entry.position = position;
    entry.title = block.title;
    entry.line = block.headerLine;
    for (const BlockLine& line : block.lines) {
        const std::optional<NameValue> pair = nameValueOf(line.text);
        if (pair && !pair->name.empty() && !entry.values.contains(std::string(pair->name))) {
            const std::string name(pair->name);
            // The lookup of the block reader, with its line counter.
            entry.values[name] = valueOf(block, name);
            entry.keyLines[name] = line.number;
        }
    }
    entry.source = valueOf(block, "Quelle");
    entry.target = valueOf(block, "Ziel");
    std::replace(entry.target.begin(), entry.target.end(), '/', '\\');
    if (std::string sha256 = valueOf(block, "SHA256"); !sha256.empty()) {
        entry.sha256 = std::move(sha256);
    }
    if (const auto size = entry.values.find("Größe");
        size != entry.values.end() && !size->second.empty()) {
        entry.size = decimalNumber(size->second);
        entry.sizeUnreadable = !entry.size;
    }
    return entry;
}

}  // namespace

std::vector<BlockLine> linesAfterVersion(const Block& version) {
    std::vector<BlockLine> after;
    bool versionLineSeen = false;
    for (const BlockLine& line : version.lines) {
        if (versionLineSeen) {
            after.push_back(line);
        } else if (line.text.empty() || line.text.front() != ';') {
            versionLineSeen = true;
        }
    }
    return after;
}

int FileEntry::lineOf(const std::string& key) const {
    const auto found = keyLines.find(key);
    return found == keyLines.end() ? line : found->second;
}

Release parseRelease(std::string_view bytes) {
    const std::vector<Block> blocks = parseBlocks(descriptionText(bytes));
    Release release;
    release.version = headLine(blocks, "Version");
    if (const Block* version = findBlock(blocks, "Version")) {
        // The lines after the version line, which older readers never look at.
        std::vector<std::string> after;
        for (BlockLine& line : linesAfterVersion(*version)) {
            after.push_back(std::move(line.text));
        }
        StageLines stage = stageOf(after);
        release.stage = std::move(stage.stage);
        release.shareUnreadable = stage.shareUnreadable;
    }
    release.title = headLine(blocks, "Titel");
    release.messageType = headLine(blocks, "Msg-Typ");
    if (const Block* notes = findBlock(blocks, "Beschreibung")) {
        release.notes = notes->text();
    }
    release.startFile = headLine(blocks, "Startdatei");
    for (const Block& block : blocks) {
        release.blocks.push_back(BlockHeader{block.title, block.headerLine});
    }
    // File blocks stand at positions 5 to the last but one.
    for (std::size_t index = 4; index + 1 < blocks.size(); ++index) {
        release.files.push_back(fileEntryOf(blocks[index], static_cast<std::int32_t>(index + 1)));
    }
    return release;
}

std::vector<DescriptionLine> linesOf(std::string_view bytes) {
    std::vector<DescriptionLine> lines;
    int number = 1;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = bytes.size();
        }
        lines.push_back({number++, bytes.substr(start, end - start)});
        if (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n') {
            ++end;
        }
        start = end + 1;
    }
    return lines;
}

}  // namespace morvane
