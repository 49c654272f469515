#include "update/revision_description.h"

#include <algorithm>

namespace morvane {
namespace {

bool isHeader(std::string_view line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

std::string_view trimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The name of a "Key = value" line by the block reader's rule; empty when
// the line holds none or more than one "=".
std::string_view nameOf(std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || line.find('=', equals + 1) != std::string_view::npos) {
        return {};
    }
    return trimBlanks(line.substr(0, equals));
}

// The names of the block's value lines, each once, in order. The reader
// ends each line of a block with "\r\n".
std::vector<std::string> namesIn(std::string_view blockText) {
    std::vector<std::string> names;
    for (std::size_t start = 0; start < blockText.size();) {
        std::size_t end = blockText.find("\r\n", start);
        if (end == std::string_view::npos) {
            end = blockText.size();
        }
        const std::string name(nameOf(blockText.substr(start, end - start)));
        start = end + 2;
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }
    return names;
}

}  // namespace

int FileEntry::lineOf(const std::string& key) const {
    const auto found = keyLines.find(key);
    return found == keyLines.end() ? line : found->second;
}

RevisionDescription describeRevision(const IniReader& reader) {
    RevisionDescription description;
    description.version = reader.GetLine("Version");
    description.title = reader.GetLine("Titel");
    description.messageType = reader.GetLine("Msg-Typ");
    description.notes = reader.GetBlock("Beschreibung");
    description.startFile = reader.GetLine("Startdatei");
    for (std::int32_t position = 1; position <= reader.BlockCount(); ++position) {
        description.blocks.push_back(BlockHeader{reader.title(position), 0});
    }
    for (std::int32_t position = 5; position < reader.BlockCount(); ++position) {
        FileEntry entry;
        entry.position = position;
        entry.title = reader.title(position);
        for (const std::string& name : namesIn(reader.GetBlock(position))) {
            entry.values[name] = reader.GetValue(position, name);
        }
        entry.source = reader.GetValue(position, "Quelle");
        entry.target = reader.GetValue(position, "Ziel");
        entry.sha256 = reader.GetValue(position, "SHA256");
        description.files.push_back(std::move(entry));
    }
    return description;
}

std::optional<RevisionDescription> readRevision(FileSystem& files, const std::string& path) {
    IniReader reader(files);
    if (!reader.Init(path)) {
        return std::nullopt;
    }
    return describeRevision(reader);
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

void locateLines(RevisionDescription& description, std::string_view bytes) {
    std::size_t block = 0;
    FileEntry* entry = nullptr;
    for (const DescriptionLine& line : linesOf(bytes)) {
        if (isHeader(line.bytes)) {
            // "[]" opens no block: its lines go to the next titled one.
            if (line.bytes.size() > 2 && block < description.blocks.size()) {
                description.blocks[block++].line = line.number;
                // File blocks stand at positions 5 to the last but one.
                entry = block >= 5 && block - 5 < description.files.size()
                            ? &description.files[block - 5]
                            : nullptr;
                if (entry != nullptr) {
                    entry->line = line.number;
                }
            }
        } else if (entry != nullptr) {
            const std::string name(nameOf(line.bytes));
            if (!name.empty()) {
                entry->keyLines.try_emplace(name, line.number);
            }
        }
    }
}

}  // namespace morvane
