#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// A release rolled out in stages: the PCs named as pilots first, then a
// share of the others. Which PCs are in the share is stable for a version,
// and raising the share only adds PCs.
struct Stage {
    std::vector<std::string> pilots;  // computer names, any case
    int share = 100;                  // per cent of the other PCs, 1 to 100
};

// The stage a description's [Version] block states after its version line:
// "Pilot = NAME, NAME" and "Anteil = N". `shareUnreadable` is set when
// "Anteil" is given but is no whole number from 1 to 100; the share then
// stays 100, so that a typo never holds a release back.
struct StageLines {
    Stage stage;
    bool shareUnreadable = false;
};
StageLines stageOf(const std::vector<std::string>& versionBlockLines);

// The PC's bucket for a version, 0 to 99: the first four bytes of
// SHA-256(upper-case computer name + "|" + version) as a big-endian number,
// modulo 100.
int stageBucket(std::string_view computerName, std::string_view version);

// The names of a "Pilot" value: split at ",", blanks around each dropped,
// empty ones left out.
std::vector<std::string> pilotNames(std::string_view value);

// Whether `name` can be a computer name in "Pilot": ASCII letters, digits,
// "-" and "_", at least one. A name of other characters matches no PC.
bool isComputerName(std::string_view name);

// Whether the stage names the PC `computerName` as a pilot, in any case.
bool isPilot(const Stage& stage, std::string_view computerName);

// Whether `version` is offered to the PC `computerName`: it is a pilot, or
// its bucket is below the share.
bool isOfferedTo(const Stage& stage, std::string_view computerName, std::string_view version);

}  // namespace morvane
