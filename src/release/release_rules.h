#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "release/release.h"

namespace morvane {

// The updater's rules over a revision description. The update run follows
// them, and the publisher's check reports by them, so both always agree.

// The updater counts blocks in 16 bits: a description with more blocks than
// that counter holds is refused as an overflow (failure 6).
inline constexpr std::int32_t kMostBlocks = 32767;
bool exceedsBlockCounter(const Release& description);

// Whether `version` is newer than `installed`: compared as text by UTF-16
// code units, and never when it is empty or holds blanks only.
bool isNewerVersion(std::string_view version, std::string_view installed);

// What the run does with a newer version before it installs.
enum class Notice {
    Silent,  // "0" and any value other than "1" and "2": installs without asking
    Inform,  // "1": tells the user, then installs with the progress window
    Ask,     // "2": asks; on "Ja" installs with the progress window
};
Notice noticeOf(std::string_view messageType);

// The URL of a file: its "Quelle" below the description's folder
// (`descriptionUrl` up to and with its last "/"). The request sends it
// percent-encoded (see percentEncoded).
std::string fileUrl(const std::string& descriptionUrl, const FileEntry& entry);

// Whether a "Ziel" (as FileEntry::target holds it) may be installed at all,
// whatever lies in the folder: a file below the folder that is none of the
// updater's own files (`recordName` is the description's file name, e.g.
// "revision.ini"; `programName` the updater's without extension).
bool mayInstallTarget(std::string_view target, std::string_view recordName,
                      std::string_view programName);

// The first two file entries (by index) whose "Ziel"s cannot both be
// installed: the same file in any case, or one a folder of the other
// ("lib" beside "lib\x.dll").
std::optional<std::pair<std::size_t, std::size_t>> clashingTargets(const Release& description);

// Whether the bytes a server answered are a revision description at all:
// the blocks at positions 1 to 4 are Version, Titel, Msg-Typ and
// Beschreibung (any order, any case, each once) and the version line is not
// blank. A maintenance page, a portal's login page or a compressed body is
// none, and must never become the record.
bool isDescription(const Release& description);

// Whether the updater installs the description as a release: the blocks at
// positions 1 to 4 are Version, Titel, Msg-Typ and Beschreibung (any order,
// any case, each once), the last block is Startdatei (so every file block is
// read), the start file stays below the folder and no two "Ziel"s clash.
bool isWholeRelease(const Release& description);

// The first of the positions 1 to 4 that holds no head block, or one a
// position before holds already; nullopt when they hold the four.
std::optional<std::int32_t> misplacedHeadBlock(const Release& description);

// Whether the last block is Startdatei.
bool endsWithStartFile(const Release& description);

// Whether the start file may be started: empty (the settings file names
// it), or a path that stays below the updater's folder.
bool startFileStaysBelowFolder(const Release& description);

// Whether a file block installs the start file (compared as Windows
// compares names), or none is named and the settings file's is started. A
// start file that no block installs must already be on every PC.
bool startFileIsReleased(const Release& description);

}  // namespace morvane
