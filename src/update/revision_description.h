#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "blockfile/ini_reader.h"
#include "platform/file_system.h"

namespace morvane {

// A revision description as the updater reads it: the blocks at positions 1
// to 4 (Version, Titel, Msg-Typ and Beschreibung, found by title, in any
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
    std::string target;  // "Ziel" below the updater's folder, as written
    std::string sha256;  // "" for none
    // Every "Key = value" of the block by the block reader's rule (exactly
    // one "=", blanks around name and value dropped, the first line of a
    // name counts), "Quelle", "Ziel" and "SHA256" included.
    std::map<std::string, std::string> values;
    int line = 0;                         // the header's line; 0 when unknown
    std::map<std::string, int> keyLines;  // the line of each name in `values`

    // The line of `key`, or the header's when the block has no such value.
    int lineOf(const std::string& key) const;
};

struct RevisionDescription {
    std::string version;
    std::string title;
    std::string messageType;
    std::string notes;  // the Beschreibung block, every line followed by "\r\n"
    std::vector<FileEntry> files;
    std::string startFile;
    // Every header in file order; the reader's block positions are its
    // indices + 1.
    std::vector<BlockHeader> blocks;
};

// The model of what `reader` holds. A file block of 32,767 lines or more
// throws failure 6 (overflow), as the block reader's value lookup does.
RevisionDescription describeRevision(const IniReader& reader);

// The description in the file at `path`; nullopt when it cannot be opened.
std::optional<RevisionDescription> readRevision(FileSystem& files, const std::string& path);

// One line of a description's bytes as an editor shows it (ended by CR LF,
// CR or LF), numbered from 1.
struct DescriptionLine {
    int number;
    std::string_view bytes;
};
std::vector<DescriptionLine> linesOf(std::string_view bytes);

// Fills in the header and value lines of `description` from the bytes it
// was read from.
void locateLines(RevisionDescription& description, std::string_view bytes);

}  // namespace morvane
