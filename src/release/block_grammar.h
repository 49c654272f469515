#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// The syntax of block files, the settings file and the revision description
// alike. A line that begins with "[" and ends with "]" opens a block whose
// title is the text between them (untrimmed). Every other line belongs to the
// block opened above it; lines before the first titled header, and after a
// "[]" header, go ahead of the next titled block's own lines. CR LF and a
// lone CR end a line; a lone LF does not and stays in the line.

// One line of a block, and the line an editor shows it on (CR LF, CR and LF
// each end an editor's line), counted from 1.
struct BlockLine {
    std::string text;
    int number = 0;
};

struct Block {
    std::string title;
    int headerLine = 0;  // the editor's line of the header; 0 for none
    std::vector<BlockLine> lines;

    // The lines, each followed by "\r\n".
    std::string text() const;
};

// The bytes of a block file as text, as Windows editors save it: UTF-8
// after the UTF-8 byte order mark, UTF-16 after a UTF-16 one (little or big
// endian; the mark is dropped), UTF-8 where the bytes are well-formed UTF-8
// with at least one character beyond ASCII (Notepad saves so without a
// mark), and otherwise characters of the ANSI code page: the settings file
// is written on the PC itself.
std::string blockFileText(std::string_view bytes);

// The same for a revision description, except that bytes of no Unicode form
// are Windows-1252, which the publisher's tool writes, whatever the PC's
// code page.
std::string descriptionText(std::string_view bytes);

// Which UTF-16 form a byte order mark at the start of `bytes` announces.
enum class Utf16Mark { None, LittleEndian, BigEndian };
Utf16Mark utf16MarkOf(std::string_view bytes);

// The blocks of `text` in file order. A text without a titled header, or
// with lines after a last "[]", ends with a block of the empty title.
std::vector<Block> parseBlocks(std::string_view text);

// The first block whose title is `title`, ignoring case; nullptr for none.
const Block* findBlock(const std::vector<Block>& blocks, std::string_view title);

// The first line at or after `from` (from 0) that does not begin with ";";
// "" when there is none.
std::string firstLine(const Block& block, std::int32_t from = 0);

// "Key = value": the trimmed name and value of a line with exactly one "=";
// nullopt for any other line.
struct NameValue {
    std::string_view name;
    std::string_view value;
};
std::optional<NameValue> nameValueOf(std::string_view line);

// The value of the block's first line whose name is `key` (compared exactly);
// "" when there is none. Lines are counted in 16 bits: a block of 32,768
// lines or more throws failure 6 (overflow) before any line is looked at,
// and one of 32,767 lines throws it when none of them carries the key.
std::string valueOf(const Block& block, std::string_view key);

// The text without the blanks (" ") around it.
std::string_view trimBlanks(std::string_view text);

}  // namespace morvane
