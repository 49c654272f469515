#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "release/block_grammar.h"
#include "release/stage_rule.h"

namespace morvane {

// A release as its revision description states it: the blocks at positions
// 1 to 4 (Version, Titel, Msg-Typ and Beschreibung, found by title, in any
// order), one file block for every position from 5 to the last but one, and
// the start file. The update run, the publisher's check and its writer all
// go through this one reading.

// One "[title]" header: its title and its line (from 1; 0 when unknown).
struct BlockHeader {
    std::string title;
    int line = 0;
};

struct FileEntry {
    std::int32_t position = 0;  // block position, from 5
    std::string title;
    std::string source;  // "Quelle" below the description's folder on the server
    // "Ziel" below the updater's folder as Windows reads it: "/" separates
    // folders as "\" does.
    std::string target;
    // "SHA256" as written; nullopt when the block gives none or an empty one.
    std::optional<std::string> sha256;
    // "Größe" in bytes; nullopt when the block gives none or an empty one.
    // A value that is no number of bytes leaves `size` empty and sets
    // `sizeUnreadable`: such a file cannot be fetched.
    std::optional<std::int64_t> size;
    bool sizeUnreadable = false;
    // Every "Key = value" of the block by the block grammar's rule (exactly
    // one "=", blanks around name and value dropped, the first line of a
    // name counts), "Quelle", "Ziel" (as written) and "SHA256" included.
    std::map<std::string, std::string> values;
    int line = 0;                         // the header's line; 0 when unknown
    std::map<std::string, int> keyLines;  // the line of each name in `values`

    // The line of `key`, or the header's when the block has no such value.
    int lineOf(const std::string& key) const;
};

struct Release {
    std::string version;
    std::string title;
    std::string messageType;
    std::string notes;  // the Beschreibung block, every line followed by "\r\n"
    std::vector<FileEntry> files;
    std::string startFile;
    // The PCs it is offered to, from the [Version] block's lines after the
    // version line; `shareUnreadable` as stageOf tells.
    Stage stage;
    bool shareUnreadable = false;
    // Every header in file order; the block positions are its indices + 1.
    std::vector<BlockHeader> blocks;
};

// The release that the bytes of a revision description state, read as block
// file text (see release/block_grammar.h). A file block of 32,767 lines or
// more throws failure 6 (overflow), as the block reader's value lookup does.
Release parseRelease(std::string_view bytes);

// The lines of a [Version] block after its version line (its first line
// that is no comment), where the release's stage stands.
std::vector<BlockLine> linesAfterVersion(const Block& version);

// One line of a description's bytes as an editor shows it (ended by CR LF,
// CR or LF), numbered from 1.
struct DescriptionLine {
    int number;
    std::string_view bytes;
};
std::vector<DescriptionLine> linesOf(std::string_view bytes);

}  // namespace morvane
