#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fleet/pc_tally.h"

namespace morvane::publish {

// The period that fleet looks at unless --days says otherwise, and check
// --fleet always: PCs not seen in it are left out.
inline constexpr int kDefaultDays = 30;

// The PCs in the web server's access logs, as fleet and check --fleet read
// them.
struct LogsRead {
    std::vector<fleet::PcState> pcs;  // those that asked in the period
    // For each log with lines that do not read: how many, and the first.
    std::vector<std::string> unreadable;
    std::string whyEmpty;  // why `pcs` is empty, in one sentence
};

// Reads the logs that `arguments` name (a name with "*" or "?" in its last
// part that names no file stands for the files it matches) and gathers the
// updater's GETs of a description (see fleet::readAccessLog for
// `descriptionName`) of the last `days` days before `now` (UTC seconds) per
// PC. Throws std::runtime_error naming a log that cannot be read or is of no
// known format, or a pattern that matches no file.
LogsRead readLogs(const std::vector<std::string>& arguments, const std::string& descriptionName,
                  std::int64_t now, int days);

}  // namespace morvane::publish
