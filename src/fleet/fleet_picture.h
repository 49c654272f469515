#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fleet/pc_tally.h"
#include "release/stage_rule.h"

namespace morvane::fleet {

// PCs not seen for longer than this are named in the summary.
inline constexpr std::int64_t kAbsentAfterDays = 7;

// The release whose state the picture shows per PC.
struct ReleaseInView {
    std::string version;
    // The stage from its description (fleet --release); nullopt when only
    // the logs name the release, so whom it is offered to is not known.
    std::optional<Stage> stage;
    // Its "Anteil" is no whole number from 1 to 100 and counts as 100.
    bool shareUnreadable = false;
};

// Where a PC stands with the release in view.
enum class ReleaseMark {
    Has,         // its last request reports the release installed
    Offered,     // it has not, and the stage offers it
    NotOffered,  // it has not, and the stage does not offer it yet
    Lacks,       // it has not; the stage is not known
    Unknown,     // its updater sends no details
};

// What the fleet's reports show: the PCs and the summary over them.
struct FleetPicture {
    std::int64_t now = 0;  // UTC seconds
    int days = 0;          // the period: the last `days` days before `now`
    // By computer name (ASCII letters in any case), then the PCs whose
    // updater sends no details, by address.
    std::vector<PcState> pcs;
    // Revision and number of PCs, the newest first (compared as text by
    // UTF-16 code units, as the updater compares versions), then "-" (none
    // installed), then "" (the updater sends no details).
    std::vector<std::pair<std::string, std::size_t>> revisions;
    std::vector<std::size_t> failing;  // indices into pcs: the last run failed
    std::vector<std::size_t> absent;   // not seen for more than kAbsentAfterDays
    std::int64_t runs = 0;
    std::int64_t failingRuns = 0;
    // The given release, else the newest revision a PC reports; nullopt
    // when there is none. `marks` has one entry per PC then.
    std::optional<ReleaseInView> release;
    std::vector<ReleaseMark> marks;
    bool releaseFromLogs = false;  // the release is the newest seen, none was given
};

// The picture of `pcs` at `now`. Without `given`, the release in view is
// the newest revision that a PC reports.
FleetPicture makePicture(std::vector<PcState> pcs, std::int64_t now, int days,
                         std::optional<ReleaseInView> given);

// How many PCs have each mark.
std::size_t countMarks(const FleetPicture& picture, ReleaseMark mark);

}  // namespace morvane::fleet
