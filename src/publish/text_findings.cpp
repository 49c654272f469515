#include "publish/text_findings.h"

#include <algorithm>
#include <string>

#include "base/text.h"

namespace morvane::publish {
namespace {

// The line of the first line end without CR; 0 when every line has one.
int firstLfOnlyLine(std::string_view bytes) {
    int number = 1;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            return number;
        }
        if (bytes[i] == '\r') {
            ++number;
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
        }
    }
    return 0;
}

// The first reason why a line is no text of the description's encoding;
// empty when it is.
std::string byteProblem(std::string_view b, bool utf8) {
    if (utf8 && !isUtf8(b)) {
        return "the text is no valid UTF-8 although the file starts with the UTF-8 mark "
               "(the updater shows \"\xEF\xBF\xBD\" for those bytes)";
    }
    for (const char byte : b) {
        const auto c = static_cast<unsigned char>(byte);
        if ((c < 0x20 && c != '\t') || c == 0x7F ||
            (!utf8 && (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D))) {
            static const char* const kHex = "0123456789ABCDEF";
            return std::string("byte 0x") + kHex[c >> 4] + kHex[c & 15] + " is no " +
                   (utf8 ? "text" : "Windows-1252 text");
        }
    }
    return {};
}

std::string blockAt(const Release& release, int line) {
    std::string title;
    for (const BlockHeader& block : release.blocks) {
        if (block.line != 0 && block.line <= line) {
            title = block.title;
        }
    }
    return title;
}

std::string_view withoutMark(std::string_view bytes) {
    return bytes.substr(hasUtf8ByteOrderMark(bytes) ? kUtf8ByteOrderMark.size() : 0);
}

}  // namespace

bool findLineEndFaults(std::string_view bytes, FindingList& findings) {
    if (withoutMark(bytes).empty()) {
        findings.error({}, 0, "the description is empty: the updater installs nothing of it");
        return false;
    }
    if (const int line = firstLfOnlyLine(withoutMark(bytes)); line != 0) {
        findings.error({}, line,
                       "line ends with LF only; the updater needs CR LF and reads no blocks here");
        return false;
    }
    return true;
}

void findEncodingFaults(std::string_view bytes, const Release& release, FindingList& findings) {
    // The updater reads UTF-8 after its byte order mark and where the bytes
    // are UTF-8 without one, else Windows-1252.
    const bool utf8 = hasUtf8ByteOrderMark(bytes) || isUtf8(bytes);
    for (const DescriptionLine& line : linesOf(withoutMark(bytes))) {
        const std::string problem = byteProblem(line.bytes, utf8);
        if (!problem.empty()) {
            findings.warning(blockAt(release, line.number), line.number, problem);
        }
    }
}

}  // namespace morvane::publish
