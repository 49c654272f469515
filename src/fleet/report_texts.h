#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/fleet_picture.h"

namespace morvane::fleet {

// The words and sentences that the terminal table, the CSV file and the
// page share.

// The offset from UTC of the local time that reports show, at a moment.
using LocalOffset = std::function<std::int64_t(std::int64_t time)>;

// An exit status of the updater in words, as the README's table gives them;
// "-" is "no run before", "" (an updater that sends no details) "not told".
std::string statusWords(std::string_view status);

// The revision as reports show it: "?" when the updater does not tell.
std::string revisionLabel(const std::string& revision);

// The mark in words: "has it", "offered", "not offered yet", "-" (the stage
// is not known), "?" (the updater does not tell).
std::string markWords(ReleaseMark mark);

// Text from a log made safe to show: valid UTF-8 (bad bytes as U+FFFD) and
// every control character as "?", so that no log line can move the
// terminal's cursor or break a line of a report.
std::string withoutControls(std::string_view text);

// The summary's first sentence: how many PCs asked in the period, up to
// when, and how many runs.
std::string headline(const FleetPicture& picture, const LocalOffset& offset);
// What the release in view reached: "Release 2.1 (the newest a PC reports):
// 8 of 12 PCs have it" and, with the stage, whom it is offered to. "" when
// no release is in view.
std::string releaseLine(const FleetPicture& picture);
// A stage in words: "pilot 2 PCs, then 25 % of the others", "25 % of the
// PCs", "all PCs".
std::string stageWords(const Stage& stage);

// "3 PCs" or "1 PC".
std::string pcCount(std::size_t count);

// The table of the PCs, the same in every report.
struct TableColumn {
    std::string title;
    bool numeric = false;  // a count, aligned right
    bool fromLog = false;  // text from a log: the report makes it safe for its form
};
struct PcTable {
    std::vector<TableColumn> columns;
    // One row per PC of the picture, in its order, one cell per column.
    std::vector<std::vector<std::string>> rows;
};
// The table of `picture`: PC, last seen (as `when` writes a time), address,
// revision, the updater's version, runs, failed runs, the mark of the
// release in view (when there is one), the last run's status and its words.
PcTable pcTable(const FleetPicture& picture,
                const std::function<std::string(std::int64_t time)>& when);

}  // namespace morvane::fleet
