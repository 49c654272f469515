#include "publish/notes.h"

#include <optional>
#include <stdexcept>

#include "base/text.h"
#include "publish/local_files.h"

namespace morvane::publish {

std::string notesText(const std::string& path, std::ostream& err) {
    std::optional<std::string> text = readWholeFile(path, kMebibyte);
    if (!text) {
        throw std::runtime_error("cannot read the notes " + path +
                                 " (missing, unreadable, or larger than 1 MiB)");
    }
    if (text->rfind("\xFF\xFE", 0) == 0 || text->rfind("\xFE\xFF", 0) == 0 ||
        text->find('\0') != std::string::npos) {
        throw std::runtime_error("the notes " + path +
                                 " are UTF-16 text (Notepad's \"Unicode\"): save them as UTF-8 or "
                                 "ANSI");
    }
    if (hasUtf8ByteOrderMark(*text)) {
        text->erase(0, kUtf8ByteOrderMark.size());
    }
    // Text that is no UTF-8 was saved in the publisher's Windows code page.
    if (!isUtf8(*text)) {
        *text = windows1252ToUtf8(*text);
    }
    std::string block;
    std::size_t start = 0;
    for (int number = 1; start < text->size(); ++number) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos) {
            end = text->size();
        }
        std::string line = text->substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line.front() == ';') {
            err << "warning: notes line " << number
                << " starts with \";\" but is no comment: the updater shows every line of the "
                   "notes, so every user sees it\n";
        }
        block += line + "\r\n";
        start = end + 1;
    }
    return block;
}

}  // namespace morvane::publish
