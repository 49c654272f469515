#include "release/description_writer.h"

#include <stdexcept>

#include "base/text.h"
#include "release/windows1252.h"

namespace morvane {
namespace {

constexpr const char* kCrLf = "\r\n";

[[noreturn]] void refuse(const std::string& reason) {
    throw std::runtime_error(reason);
}

bool readsAsHeader(const std::string& line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

// A letter followed by a combining mark (U+0300 to U+036F), as macOS
// writes "ü" in file names: Windows-1252 holds only the composed letter.
bool hasCombiningMark(const std::string& utf8) {
    for (std::size_t i = 0; i + 1 < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const auto next = static_cast<unsigned char>(utf8[i + 1]);
        if ((lead == 0xCC && next >= 0x80) || (lead == 0xCD && next <= 0xAF)) {
            return true;
        }
    }
    return false;
}

// Text in Windows-1252 that stays one line.
std::string encoded(const std::string& what, const std::string& utf8) {
    if (utf8.find_first_of("\r\n") != std::string::npos) {
        refuse(what + " must be one line");
    }
    const std::optional<std::string> bytes = toWindows1252(utf8);
    if (!bytes && hasCombiningMark(utf8)) {
        refuse(what + " \"" + utf8 +
               "\" holds a decomposed umlaut or accent (a letter followed by a combining mark, as "
               "macOS writes names), which Windows-1252 cannot hold: type the letter anew as one "
               "character, or compose the names (convmv -r -f utf8 -t utf8 --nfc --notest)");
    }
    if (!bytes) {
        refuse(what + " \"" + utf8 + "\" has characters that Windows-1252 cannot hold");
    }
    return *bytes;
}

// A line of a block that opens no block of its own.
std::string encodedLine(const std::string& what, const std::string& utf8) {
    if (readsAsHeader(utf8)) {
        refuse(what + " \"" + utf8 + "\" would open a block");
    }
    return encoded(what, utf8) + kCrLf;
}

// A line that the reader takes as a block's first line: no comment.
std::string headLine(const std::string& what, const std::string& utf8) {
    if (!utf8.empty() && utf8.front() == ';') {
        refuse(what + " \"" + utf8 + "\" starts with \";\", which the updater skips as a comment");
    }
    return encodedLine(what, utf8);
}

// "name = value" that the reader gives back as it stands.
std::string valueLine(const std::string& what, const std::string& name, const std::string& value) {
    if (value.find('=') != std::string::npos) {
        refuse(what + " \"" + value + "\" holds \"=\", which a description cannot express");
    }
    if (!value.empty() && (value.front() == ' ' || value.back() == ' ')) {
        refuse(what + " \"" + value + "\" starts or ends with a blank, which the updater drops");
    }
    return encoded(what, name) + " = " + encoded(what, value) + kCrLf;
}

// "Pilot = A, B" and "Anteil = N" after the version line, each only when it
// narrows whom the release is offered to.
std::string stageLines(const Stage& stage) {
    std::string lines;
    if (!stage.pilots.empty()) {
        std::string names;
        for (const std::string& name : stage.pilots) {
            if (!isComputerName(name)) {
                refuse("the pilot \"" + name +
                       "\" is no computer name (letters, digits, \"-\" and \"_\")");
            }
            names += (names.empty() ? "" : ", ") + name;
        }
        lines += "Pilot = " + names + kCrLf;
    }
    if (stage.share < 1 || stage.share > 100) {
        refuse("the share " + decimal(stage.share) + " % is no whole number from 1 to 100");
    }
    if (stage.share < 100) {
        lines += "Anteil = " + decimal(stage.share) + kCrLf;
    }
    return lines;
}

}  // namespace

std::string descriptionText(const Release& description) {
    std::string text = "[Version]" + std::string(kCrLf) +
                       headLine("the version", description.version) +
                       stageLines(description.stage) + "[Titel]" + kCrLf +
                       headLine("the title", description.title) + "[Msg-Typ]" + kCrLf +
                       headLine("the Msg-Typ", description.messageType) + "[Beschreibung]" + kCrLf;
    std::size_t start = 0;
    for (int number = 1; start < description.notes.size(); ++number) {
        std::size_t end = description.notes.find(kCrLf, start);
        if (end == std::string::npos) {
            end = description.notes.size();
        }
        text += encodedLine("notes line " + decimal(number),
                            description.notes.substr(start, end - start));
        start = end + 2;
    }
    for (const FileEntry& file : description.files) {
        const std::string what = "the file " + file.title;
        if (foldCase(file.title) == "STARTDATEI" || file.title.empty()) {
            refuse(what + " cannot be a block title of its own");
        }
        text += "[" + encoded(what, file.title) + "]" + kCrLf;
        text += valueLine(what, "Quelle", file.source);
        text += valueLine(what, "Ziel", file.target);
        text += valueLine(what, "SHA256", file.sha256.value_or(""));
        if (file.size) {
            text += valueLine(what, "Größe", decimal(*file.size));
        }
        for (const auto& [name, value] : file.values) {
            if (name != "Quelle" && name != "Ziel" && name != "SHA256" && name != "Größe") {
                text += valueLine(what, name, value);
            }
        }
    }
    return text + "[Startdatei]" + kCrLf + headLine("the start file", description.startFile);
}

}  // namespace morvane
