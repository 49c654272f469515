#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "release/block_grammar.h"

namespace morvane {

// Stages of a release: the PCs named as pilots get it first, then a share
// of the others. Which PCs a share reaches depends only on the computer name
// and the version, so a PC's answer is stable for a version and raising the
// share only adds PCs.

// The PC's bucket for `version`, 0 to 99: the first four bytes of
// SHA-256(computer name in ASCII upper case + "|" + version) as a big-endian
// number, modulo 100. Throws Failure when the platform's hash fails.
int stageBucket(std::string_view computerName, std::string_view version);

// Whether the release `version` is offered to the PC: it is named in
// `pilots` (ASCII letters in any case), or its bucket is below `share`
// (percent; outside 1 to 100 counts as 100).
bool isOfferedTo(std::string_view computerName, std::string_view version,
                 const std::vector<std::string>& pilots, int share);

// The stage a [Version] block carries after its version line:
// "Pilot = NAME, NAME" and "Anteil = N".
struct Stage {
    std::vector<std::string> pilots;  // as written, blanks around each dropped
    int share = 100;                  // percent, 1 to 100
    // False when an "Anteil" line holds no whole number from 1 to 100; the
    // share then counts as 100, so a typo never holds a release back.
    bool shareValid = true;
    std::string shareText;  // the "Anteil" value as written; "" for none
};

// The stage in the [Version] block of a description. Its version line (the
// first one not beginning with ";", as firstLine gives it) and comment lines
// are skipped; a line is "Name = value" by the block grammar's rule
// (nameValueOf: exactly one "=", blanks around name and value dropped, the
// name compared exactly) and the first line of a name counts. Without
// "Anteil" the share is 100.
Stage readStage(const Block& versionBlock);

// The share from the text of an "Anteil" value; nullopt unless it is a
// whole number from 1 to 100 (blanks around it allowed).
std::optional<int> shareOf(std::string_view text);

// The stage in words: "pilot 2 PCs, then 25 % of the others", "25 % of the
// PCs", "all PCs".
std::string describeStage(const Stage& stage);

}  // namespace morvane
