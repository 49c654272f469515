#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/file_system.h"
#include "release/block_grammar.h"

namespace morvane {

// Chooses a block by title (ignoring case) or by position (from 1). A text
// is always a title, even when it consists of digits.
class BlockSelector {
public:
    BlockSelector(std::string title) : value_(std::move(title)) {}
    BlockSelector(const char* title) : value_(std::string(title)) {}
    BlockSelector(std::int32_t position) : value_(position) {}

    const std::string* title() const { return std::get_if<std::string>(&value_); }
    const std::int32_t* position() const { return std::get_if<std::int32_t>(&value_); }

private:
    std::variant<std::string, std::int32_t> value_;
};

// Reads a block file into memory in one call and answers lookups of blocks,
// lines and name-value pairs. Lookups never fail: a missing block, line or
// key gives "". The syntax and the text's encoding are those of
// release/block_grammar.h.
class IniReader {
public:
    explicit IniReader(FileSystem& files) : files_(&files) {}

    // Empties the reader, then reads the file (lock mode 2: others may read
    // it meanwhile). False when it cannot be opened. A read error after the
    // open passes up; the blocks stored before it stay.
    bool Init(const std::string& Path);
    std::int32_t BlockCount() const;
    // The title of the block at `position` (from 1); "" when there is none.
    std::string title(std::int32_t position) const;
    // The block's lines, each followed by "\r\n".
    std::string GetBlock(const BlockSelector& TitleOrIndex) const;
    // The first line at or after LineIndex that does not begin with ";".
    std::string GetLine(const BlockSelector& Block, std::int32_t LineIndex = 0) const;
    // The value of the first line "Key = value" (exactly one "=", blanks around
    // name and value ignored, name compared exactly). Lines are counted in 16
    // bits: a block of 32,768 lines or more throws failure 6 (overflow) before
    // any line is looked at, whatever it holds, and a block of 32,767 lines
    // throws it when none of them carries the key.
    std::string GetValue(const BlockSelector& Block, const std::string& Key) const;

private:
    const Block* find(const BlockSelector& selector) const;

    FileSystem* files_;
    std::vector<Block> blocks_;
};

}  // namespace morvane
