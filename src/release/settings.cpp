#include "release/settings.h"

#include <cstdint>
#include <vector>

#include "base/text.h"
#include "release/block_grammar.h"

namespace morvane {
namespace {

std::string_view trimBlanksAndTabs(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool isSignatureTitle(std::string_view line) {
    const std::string_view text = trimBlanksAndTabs(line);
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') {
        return false;
    }
    constexpr std::string_view kTitle = "SIGNATUR";
    return foldCase(trimBlanksAndTabs(text.substr(1, text.size() - 2)).substr(0, kTitle.size())) ==
           kTitle;
}

}  // namespace

std::optional<std::string> settingsTextFault(std::string_view bytes) {
    std::string text;
    if (utf16MarkOf(bytes) != Utf16Mark::None) {
        if (bytes.size() % 2 != 0) {
            return "UTF-16 of an odd number of bytes";
        }
        text = blockFileText(bytes);
        bytes = text;
    } else if (hasUtf8ByteOrderMark(bytes)) {
        bytes.remove_prefix(kUtf8ByteOrderMark.size());
    }
    if (const std::size_t nul = bytes.find('\0'); nul != std::string_view::npos) {
        return "a NUL byte in the text (a part in UTF-16?)";
    }
    for (const std::string_view mark :
         {kUtf8ByteOrderMark, std::string_view("\xFF\xFE"), std::string_view("\xFE\xFF")}) {
        if (bytes.find(mark) != std::string_view::npos) {
            return "a byte order mark inside the text (a part appended in another encoding?)";
        }
    }
    return std::nullopt;
}

bool asksForSignature(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find_first_of("\r\n");
        if (isSignatureTitle(bytes.substr(0, end))) {
            return true;
        }
        if (end == std::string_view::npos) {
            break;
        }
        bytes.remove_prefix(end + 1);
    }
    return false;
}

UpdaterSettings parseSettings(std::string_view bytes) {
    const std::string text = blockFileText(bytes);
    const std::vector<Block> blocks = parseBlocks(text);
    const auto line = [&blocks](std::string_view title) {
        const Block* block = findBlock(blocks, title);
        return block == nullptr ? std::string() : firstLine(*block);
    };
    UpdaterSettings settings;
    settings.address = line("Adresse");
    settings.startFile = line("Startdatei");
    settings.signatureRequired = asksForSignature(text);
    settings.signatureKey = std::string(trimBlanksAndTabs(line("Signatur")));
    settings.anonymousReport = foldCase(trimBlanksAndTabs(line("Bericht"))) == "ANONYM";
    return settings;
}

}  // namespace morvane
