#include "fleet/fleet_picture.h"

#include <algorithm>
#include <map>

#include "base/text.h"
#include "fleet/log_time.h"
#include "release/release_rules.h"

namespace morvane::fleet {
namespace {

// Revisions newest first as the updater compares them; "-" (none
// installed) and "" (not told) after every revision.
bool isListedBefore(const std::string& a, const std::string& b) {
    const auto rank = [](const std::string& revision) {
        return revision.empty() ? 2 : revision == "-" ? 1 : 0;
    };
    if (rank(a) != rank(b)) {
        return rank(a) < rank(b);
    }
    return compareOrdinal(a, b) > 0;
}

bool isListedBefore(const PcState& a, const PcState& b) {
    if (a.computer.empty() != b.computer.empty()) {
        return !a.computer.empty();
    }
    if (a.computer.empty()) {
        return a.address < b.address;
    }
    return foldCase(a.computer) < foldCase(b.computer);
}

ReleaseMark markOf(const PcState& pc, const ReleaseInView& release) {
    if (pc.computer.empty()) {
        return ReleaseMark::Unknown;
    }
    if (pc.revision == release.version) {
        return ReleaseMark::Has;
    }
    if (!release.stage) {
        return ReleaseMark::Lacks;
    }
    return isOfferedTo(*release.stage, pc.computer, release.version) ? ReleaseMark::Offered
                                                                     : ReleaseMark::NotOffered;
}

}  // namespace

FleetPicture makePicture(std::vector<PcState> pcs, std::int64_t now, int days,
                         std::optional<ReleaseInView> given) {
    FleetPicture picture;
    picture.now = now;
    picture.days = days;
    std::sort(pcs.begin(), pcs.end(),
              [](const PcState& a, const PcState& b) { return isListedBefore(a, b); });
    picture.pcs = std::move(pcs);
    std::map<std::string, std::size_t> perRevision;
    for (std::size_t i = 0; i < picture.pcs.size(); ++i) {
        const PcState& pc = picture.pcs[i];
        picture.runs += pc.runs;
        picture.failingRuns += pc.failingRuns;
        if (isFailingStatus(pc.status)) {
            picture.failing.push_back(i);
        }
        if (now - pc.lastSeen > kAbsentAfterDays * kSecondsPerDay) {
            picture.absent.push_back(i);
        }
        ++perRevision[pc.revision];
    }
    picture.revisions.assign(perRevision.begin(), perRevision.end());
    std::sort(picture.revisions.begin(), picture.revisions.end(),
              [](const auto& a, const auto& b) { return isListedBefore(a.first, b.first); });
    if (given) {
        picture.release = std::move(given);
    } else {
        for (const auto& [revision, count] : picture.revisions) {
            if (revision != "-" && isNewerVersion(revision, "")) {
                picture.release = ReleaseInView{revision, std::nullopt};
                picture.releaseFromLogs = true;
                break;
            }
        }
    }
    if (picture.release) {
        for (const PcState& pc : picture.pcs) {
            picture.marks.push_back(markOf(pc, *picture.release));
        }
    }
    return picture;
}

std::size_t countMarks(const FleetPicture& picture, ReleaseMark mark) {
    return static_cast<std::size_t>(std::count(picture.marks.begin(), picture.marks.end(), mark));
}

}  // namespace morvane::fleet
