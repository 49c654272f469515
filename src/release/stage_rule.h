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

// Whether `version` is offered to the PC `computerName`: it is a pilot, or
// its bucket is below the share.
bool isOfferedTo(const Stage& stage, std::string_view computerName, std::string_view version);

}  // namespace morvane
