#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvane::fleet {

// What the updater tells the server in its User-Agent:
//   Morvane-Updater/<file version> (Revision <installed revision or ->;
//   Status <previous run's exit status or ->; PC <computer name>)
// An updater of before these details sends "Morvane-Updater/<file version>"
// alone.
struct UpdaterAgent {
    std::string_view fileVersion;
    bool detailed = false;      // false for an updater that sends the version alone
    std::string_view revision;  // "-" when none is installed
    std::string_view status;    // decimal digits, or "-" before the first run
    std::string_view computer;  // ASCII letters, digits, "-" and "_"
};

inline constexpr std::string_view kUpdaterAgentPrefix = "Morvane-Updater/";

enum class AgentReading {
    NotUpdater,  // some other program's User-Agent
    Updater,     // the updater's; the agent is filled in
    Damaged,     // begins as the updater's but does not read as one
};

// Reads a User-Agent (its escapes undone). The texts point into `userAgent`.
AgentReading readUpdaterAgent(std::string_view userAgent, UpdaterAgent& agent);

// Whether a request target is that of a revision description. With a
// `descriptionName`, the decoded path must end in it (the file name, or the
// end of the path such as "umsatz/revision.ini", ASCII letters in any case);
// without, its last segment must end in ".ini" (so the description's
// signature, ".ini.sig", and the files of a release other than .ini files
// do not count). The query is ignored; "%XX" is decoded first.
bool isDescriptionTarget(std::string_view target, std::string_view descriptionName);

}  // namespace morvane::fleet
