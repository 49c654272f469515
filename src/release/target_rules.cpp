#include "release/target_rules.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "base/text.h"

namespace morvane {
namespace {

std::vector<std::string_view> componentsOf(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos) {
            parts.push_back(path.substr(start));
            return parts;
        }
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
}

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upperAscii(a[i]) != upperAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// Windows opens the device for these names whatever follows the first "."
// and whatever blanks stand before it.
bool isDeviceName(std::string_view component) {
    std::string_view stem = component.substr(0, component.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.remove_suffix(1);
    }
    static constexpr std::array<std::string_view, 6> kFixed = {"CON", "PRN",    "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view device : kFixed) {
        if (equalsIgnoringCase(stem, device)) {
            return true;
        }
    }
    const std::string_view prefix = stem.substr(0, 3);
    if (!equalsIgnoringCase(prefix, "COM") && !equalsIgnoringCase(prefix, "LPT")) {
        return false;
    }
    // A port number: a digit, or a superscript one, two or three, which
    // Windows reads as 1, 2 and 3 (UTF-8 in memory).
    static constexpr std::array<std::string_view, 3> kSuperscripts = {"¹", "²", "³"};
    const std::string_view number = stem.substr(prefix.size());
    if (number.size() == 1) {
        return number[0] >= '0' && number[0] <= '9';
    }
    return std::find(kSuperscripts.begin(), kSuperscripts.end(), number) != kSuperscripts.end();
}

// The short name Windows gives a long one on volumes that keep short names
// ("REVISI~1.NEW" for "revision.ini.new"): it may reach a file of another
// name, so no "Ziel" may use that form.
// Characters, not bytes: "ÜBERWE~1" is a short name of eight.
std::size_t characters(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U;
    }));
}

bool looksLikeShortName(std::string_view component) {
    const std::size_t dot = component.rfind('.');
    const std::string_view stem = component.substr(0, dot);
    if (characters(stem) > 8 ||
        (dot != std::string_view::npos && characters(component.substr(dot + 1)) > 3)) {
        return false;
    }
    const std::size_t tilde = stem.rfind('~');
    return tilde != std::string_view::npos && tilde > 0 && tilde + 1 < stem.size() &&
           stem.find_first_not_of("0123456789", tilde + 1) == std::string_view::npos;
}

bool hasForbiddenCharacter(std::string_view component) {
    for (const char c : component) {
        if (static_cast<unsigned char>(c) < 0x20 ||
            std::string_view("<>\"|?*").find(c) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool staysBelowFolder(std::string_view relative) {
    if (!relative.empty() && (relative.front() == '\\' || relative.front() == '/')) {
        return false;
    }
    if (relative.find(':') != std::string_view::npos) {
        return false;
    }
    for (std::string_view part : componentsOf(relative)) {
        if (part == "..") {
            return false;
        }
    }
    return true;
}

std::optional<TargetFaultAt> targetFault(std::string_view relative) {
    if (relative.empty()) {
        return TargetFaultAt{TargetFault::Empty, {}};
    }
    if (!staysBelowFolder(relative)) {
        return TargetFaultAt{TargetFault::LeavesFolder, {}};
    }
    for (std::string_view part : componentsOf(relative)) {
        if (part.empty() || part == ".") {
            return TargetFaultAt{TargetFault::EmptyComponent, part};
        }
        if (part.back() == '.' || part.back() == ' ') {
            return TargetFaultAt{TargetFault::DotOrBlankAtEnd, part};
        }
        if (hasForbiddenCharacter(part)) {
            return TargetFaultAt{TargetFault::ReservedCharacter, part};
        }
        if (isDeviceName(part)) {
            return TargetFaultAt{TargetFault::DeviceName, part};
        }
        if (looksLikeShortName(part)) {
            return TargetFaultAt{TargetFault::ShortNameForm, part};
        }
    }
    return std::nullopt;
}

bool namesFileBelowFolder(std::string_view relative) {
    return !targetFault(relative);
}

bool namesUpdaterPlace(std::string_view target, std::string_view programName) {
    // Installed as AppFolder + target: the updater's folders, its program
    // and its settings. The picture "<programName>.gif" is the publisher's.
    const std::vector<std::string_view> parts = componentsOf(target);
    const std::string first = foldCase(parts.front());
    if (first == "TEMP" || first == "BACKUP") {
        return true;
    }
    const std::string program = foldCase(programName);
    return parts.size() == 1 &&
           (first == program || first == program + ".EXE" || first == program + ".INI");
}

bool namesUpdaterProgram(std::string_view target, std::string_view programFile) {
    return !programFile.empty() && foldCase(target) == foldCase(programFile);
}

bool namesUpdaterOwnFile(std::string_view target, std::string_view recordName,
                         std::string_view programName) {
    if (namesUpdaterPlace(target, programName)) {
        return true;
    }
    // Downloaded as TempFolder + target: the updater's own files in Temp,
    // the prefetch store, the record, the fresh description, the journal,
    // the log, the folder's lock and the temporary names of downloads.
    if (foldCase(componentsOf(target).front()) == "VORRAT") {
        return true;
    }
    const std::string name = foldCase(target);
    const std::string record = foldCase(recordName);
    const std::string log = foldCase(std::string(programName) + ".log");
    const std::string lock = foldCase(std::string(programName) + ".lock");
    for (const std::string& own :
         {record, record + ".NEW", record + ".INSTALL", log, log + ".1", lock}) {
        if (name == own) {
            return true;
        }
    }
    constexpr std::string_view kPart = ".PART";
    return name.size() >= kPart.size() &&
           name.compare(name.size() - kPart.size(), kPart.size(), kPart) == 0;
}

}  // namespace morvane
