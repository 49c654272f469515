#pragma once

#include <string>
#include <vector>

#include "publish/finding.h"
#include "release/release.h"

namespace morvane::publish {

// Whom the release reaches among the PCs that asked for a description in the
// access logs `logs` in the last kDefaultDays days, by the updater's own rule
// (isOfferedTo): a note "reaches 3 of 10 PCs in the logs (...): PC-A (pilot),
// PC-B, PC-C". A log's unreadable lines, PCs whose updater sends no name, and
// logs without a PC are notes too. Throws std::runtime_error as readLogs.
void findFleetReach(const Release& release, const std::vector<std::string>& logs,
                    FindingList& findings);

}  // namespace morvane::publish
