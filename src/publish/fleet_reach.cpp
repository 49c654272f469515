#include "publish/fleet_reach.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "base/text.h"
#include "fleet/report_texts.h"
#include "publish/access_logs.h"

namespace morvane::publish {

void findFleetReach(const Release& release, const std::vector<std::string>& logs,
                    FindingList& findings) {
    const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    LogsRead read = readLogs(logs, "", now, kDefaultDays);
    for (std::string& line : read.unreadable) {
        findings.note({}, 0, std::move(line));
    }
    if (read.pcs.empty()) {
        findings.note({}, 0, "no PC in the logs: " + read.whyEmpty);
        return;
    }
    std::vector<std::string> named;
    std::size_t nameless = 0;
    for (const fleet::PcState& pc : read.pcs) {
        if (pc.computer.empty()) {
            ++nameless;
        } else {
            named.push_back(pc.computer);
        }
    }
    std::sort(named.begin(), named.end(),
              [](const std::string& a, const std::string& b) { return foldCase(a) < foldCase(b); });
    std::string reached;
    std::size_t count = 0;
    for (const std::string& name : named) {
        if (isOfferedTo(release.stage, name, release.version)) {
            reached += (count++ == 0 ? ": " : ", ") + fleet::withoutControls(name) +
                       (isPilot(release.stage, name) ? " (pilot)" : "");
        }
    }
    findings.note({}, 0,
                  "reaches " + decimal(static_cast<long long>(count)) + " of " +
                      fleet::pcCount(named.size()) + " in the logs (seen in the last " +
                      decimal(kDefaultDays) + " days)" + reached);
    if (nameless > 0) {
        findings.note({}, 0,
                      fleet::pcCount(nameless) +
                          " in the logs left out: an updater that old sends no computer name");
    }
}

}  // namespace morvane::publish
