#include "publish/block_findings.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "base/crypto.h"
#include "base/text.h"
#include "fleet/report_texts.h"
#include "publish/target_refusal.h"
#include "publish/updater_program.h"
#include "release/release_rules.h"

namespace morvane::publish {
namespace {

// The keys of a file block the updater reads, as they are spelt in memory.
constexpr std::array<std::string_view, 4> kFileKeys = {"Quelle", "Ziel", "SHA256", "Größe"};

// The parts of a version of dot-separated decimal numbers; empty otherwise.
std::optional<std::vector<unsigned long long>> numericParts(const std::string& version) {
    std::vector<unsigned long long> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = version.find('.', start);
        const std::string part = version.substr(start, dot - start);
        if (part.empty() || part.size() > 18 ||
            part.find_first_not_of("0123456789") != std::string::npos) {
            return std::nullopt;
        }
        parts.push_back(std::stoull(part));
        if (dot == std::string::npos) {
            return parts;
        }
        start = dot + 1;
    }
}

class BlockFindings {
public:
    BlockFindings(const BlockCheck& check, FindingList& findings)
        : check_(check), release_(check.release), findings_(findings) {}

    bool run() {
        if (exceedsBlockCounter(release_)) {
            findings_.error({}, 0,
                            decimal(static_cast<long long>(release_.blocks.size())) +
                                " blocks: more than the updater's 16-bit block counter holds (at "
                                "most " +
                                decimal(kMostBlocks) + ")");
            return false;
        }
        headBlocks();
        for (const FileEntry& file : release_.files) {
            fileBlock(file);
        }
        clashes();
        startFile();
        return true;
    }

private:
    int headerLine(const std::string& foldedTitle) const {
        for (const BlockHeader& block : release_.blocks) {
            if (foldCase(block.title) == foldedTitle) {
                return block.line;
            }
        }
        return 0;
    }

    void headBlocks() {
        const std::vector<BlockHeader>& blocks = release_.blocks;
        if (const auto position = misplacedHeadBlock(release_)) {
            const auto index = static_cast<std::size_t>(*position - 1);
            const std::string head =
                "the first four blocks must be Version, Titel, Msg-Typ and "
                "Beschreibung (the updater reads the files from block 5 on)";
            if (index >= blocks.size()) {
                findings_.error({}, 0, "block " + decimal(*position) + " is missing: " + head);
            } else {
                findings_.error(blocks[index].title, blocks[index].line,
                                "block " + decimal(*position) + " must be one of them: " + head);
            }
        }
        const std::string& version = release_.version;
        if (!isNewerVersion(version, "")) {
            findings_.error(
                "Version", headerLine("VERSION"),
                "no Version, or one of blanks only: the updater never sees it as newer");
        } else if (check_.installedVersion) {
            versionOrder(version, *check_.installedVersion);
        }
        stage();
        const std::string& messageType = release_.messageType;
        if (messageType != "0" && messageType != "1" && messageType != "2") {
            findings_.warning(
                "Msg-Typ", headerLine("MSG-TYP"),
                "Msg-Typ " + quoted(messageType) +
                    " is not 0, 1 or 2: the updater installs without asking, as for 0");
        }
    }

    // The lines after the version line: an Anteil the updater cannot read,
    // pilots that no PC can be called, and the stage in words.
    void stage() {
        const Block* version = findBlock(check_.blocks, "Version");
        if (version == nullptr) {
            return;
        }
        int pilotLine = 0;
        int shareLine = 0;
        std::string shareText;
        for (const BlockLine& line : linesAfterVersion(*version)) {
            const std::optional<NameValue> pair = nameValueOf(line.text);
            if (pair && pair->name == "Pilot" && pilotLine == 0) {
                pilotLine = line.number;
            } else if (pair && pair->name == "Anteil" && shareLine == 0) {
                shareLine = line.number;
                shareText = pair->value;
            }
        }
        const Stage& stage = release_.stage;
        if (release_.shareUnreadable) {
            findings_.error("Version", shareLine,
                            "Anteil " + quoted(shareText) +
                                " is no whole number from 1 to 100: the updater takes it as 100 "
                                "and offers the release to every PC");
        }
        std::string badNames;
        for (const std::string& name : stage.pilots) {
            if (!isComputerName(name)) {
                badNames += (badNames.empty() ? "" : ", ") + quoted(name);
            }
        }
        if (!badNames.empty()) {
            findings_.warning("Version", pilotLine,
                              "Pilot " + badNames +
                                  ": no computer name (letters, digits, \"-\" and \"_\"), so no "
                                  "PC is a pilot by it");
        }
        if (stage.share < 100) {
            findings_.note("Version", shareLine, "stage: " + fleet::stageWords(stage));
        } else if (!stage.pilots.empty()) {
            findings_.note("Version", pilotLine,
                           "stage: pilot " + fleet::pcCount(stage.pilots.size()) +
                               ", then 100 % of the others: every PC is offered it at once");
        }
    }

    void versionOrder(const std::string& version, const std::string& installed) {
        const int line = headerLine("VERSION");
        if (!isNewerVersion(version, installed)) {
            std::string message = "version " + quoted(version) +
                                  " is not newer than the installed " + quoted(installed) +
                                  " by the updater's text comparison: workstations skip it";
            const auto a = numericParts(version);
            const auto b = numericParts(installed);
            if (a && b && *a > *b) {
                message +=
                    " (it is larger as a number, but text compares character by character, so " +
                    quoted(version) + " sorts before " + quoted(installed) + ")";
            }
            findings_.warning("Version", line, message);
        }
        if (version.size() != installed.size()) {
            findings_.warning(
                "Version", line,
                "version " + quoted(version) + " and the installed " + quoted(installed) +
                    " differ in length: the updater compares them as text, so give every version "
                    "the same number of digits (e.g. \"1.09\", \"1.10\")");
        }
    }

    void startFile() {
        const std::vector<BlockHeader>& blocks = release_.blocks;
        if (!endsWithStartFile(release_)) {
            findings_.error(blocks.empty() ? std::string() : blocks.back().title,
                            blocks.empty() ? 0 : blocks.back().line,
                            "the last block must be Startdatei");
            return;
        }
        const int line = headerLine("STARTDATEI");
        if (!startFileStaysBelowFolder(release_)) {
            findings_.error("Startdatei", line,
                            "Startdatei " + quoted(release_.startFile) +
                                " leaves the application folder: the updater refuses the "
                                "description");
        } else if (!startFileIsReleased(release_)) {
            findings_.warning(
                "Startdatei", line,
                "Startdatei " + quoted(release_.startFile) +
                    " is installed by no file block: it must already be on every PC, or every "
                    "start after the update shows \"Start-Fehler\"");
        }
    }

    // A line "Quelle = a=b.txt": the name the publisher meant, with more
    // than one "=", which the updater reads as no value at all.
    std::optional<BlockLine> valueWithEquals(const FileEntry& file, std::string_view key) const {
        const auto index = static_cast<std::size_t>(file.position - 1);
        if (index >= check_.blocks.size()) {
            return std::nullopt;
        }
        for (const BlockLine& line : check_.blocks[index].lines) {
            const std::size_t equals = line.text.find('=');
            if (equals != std::string::npos &&
                line.text.find('=', equals + 1) != std::string::npos &&
                trimBlanks(std::string_view(line.text).substr(0, equals)) == key) {
                return line;
            }
        }
        return std::nullopt;
    }

    // An error for a missing Quelle or Ziel that says why it is missing.
    void missingValue(const FileEntry& file, std::string_view key) {
        if (const auto line = valueWithEquals(file, key)) {
            findings_.error(file.title, line->number,
                            "the line " + quoted(line->text) +
                                " holds \"=\" more than once, so the updater reads no " +
                                std::string(key) +
                                " from it: a value cannot contain \"=\" (rename the file)");
        } else {
            findings_.error(file.title, file.line, "file block without " + std::string(key));
        }
    }

    void fileBlock(const FileEntry& file) {
        if (file.source.empty()) {
            missingValue(file, "Quelle");
        }
        if (file.target.empty()) {
            missingValue(file, "Ziel");
        } else if (const auto refusal = refusalOf(file.target)) {
            findings_.error(file.title, file.lineOf("Ziel"),
                            "the updater refuses Ziel " + quoted(file.target) + ": " + *refusal);
        }
        if (!file.sha256) {
            if (check_.signedRelease) {
                findings_.error(file.title, file.line,
                                "file block without SHA256: with a key the updater refuses it");
            } else {
                findings_.warning(file.title, file.line,
                                  "file block without SHA256: damaged transfers go unnoticed");
            }
        } else if (!parseSha256(*file.sha256)) {
            findings_.error(file.title, file.lineOf("SHA256"),
                            "SHA256 " + quoted(*file.sha256) + " is not 64 hex digits");
        }
        if (file.sizeUnreadable) {
            findings_.error(file.title, file.lineOf("Größe"),
                            "Größe " + quoted(file.values.at("Größe")) +
                                " is no number of bytes: the updater refuses the file");
        } else if (!file.size && check_.signedRelease) {
            findings_.warning(file.title, file.line,
                              "file block without Größe in a signed release: the signature does "
                              "not bound this download, which the updater then stops only at the "
                              "length the server announces, or at 4 GiB");
        }
        for (const auto& [name, value] : file.values) {
            if (std::find(kFileKeys.begin(), kFileKeys.end(), name) == kFileKeys.end()) {
                findings_.warning(file.title, file.lineOf(name),
                                  "unknown key " + quoted(name) +
                                      ": the updater reads only Quelle, Ziel, SHA256 and Größe, "
                                      "spelt exactly so");
            }
        }
    }

    // The updater's program is told apart with the version it brings, or as
    // an error when unsigned (findUpdaterUpdates).
    std::optional<std::string> refusalOf(const std::string& target) const {
        return namesUpdaterProgramOf(target, check_.programNames)
                   ? std::nullopt
                   : targetRefusal(target, check_.recordName, check_.programNames);
    }

    // Two Ziele the updater cannot both install; Ziele it refuses anyway
    // are reported as such only.
    void clashes() {
        Release candidates;
        for (const FileEntry& file : release_.files) {
            if (!file.target.empty() &&
                !targetRefusal(file.target, check_.recordName, check_.programNames)) {
                candidates.files.push_back(file);
            }
        }
        while (const auto clash = clashingTargets(candidates)) {
            const FileEntry& first = candidates.files[clash->first];
            const FileEntry& second = candidates.files[clash->second];
            const bool same = foldCase(first.target) == foldCase(second.target);
            findings_.error(
                second.title, second.lineOf("Ziel"),
                "Ziel " + quoted(second.target) +
                    (same ? " is the Ziel of block [" + first.title + "] too"
                          : " and Ziel " + quoted(first.target) + " of block [" + first.title +
                                "] cannot both be installed: one is a folder of the other"));
            candidates.files.erase(candidates.files.begin() +
                                   static_cast<std::ptrdiff_t>(clash->second));
        }
    }

    const BlockCheck& check_;
    const Release& release_;
    FindingList& findings_;
};

}  // namespace

bool findBlockFaults(const BlockCheck& check, FindingList& findings) {
    return BlockFindings(check, findings).run();
}

}  // namespace morvane::publish
