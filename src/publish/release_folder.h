#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvane::publish {

// What of the publisher's folder goes out, gathered in one walk: every file
// below it under the name it has there, and everything else named with the
// reason it stays behind.

struct ReleaseFile {
    std::string relative;  // "/"-separated below the folder
    std::uint64_t size = 0;
};

struct LeftOut {
    std::string reported;  // what the publisher sees: "Temp/", "Thumbs.db"
    std::string reason;
};

struct ReleaseFolder {
    std::vector<ReleaseFile> files;  // sorted by name
    std::vector<LeftOut> leftOut;    // each reported name once
    // The updater's program names (without ".exe") whose files an
    // installed folder holds: `updaterName`, every program whose version
    // information says it is the updater, or else "Updater".
    std::vector<std::string> programNames;
};

// Left out: the updater's Temp and Backup folders, its program and
// settings; version control folders; lock and thumbnail files; and what
// gives no file: empty folders, links that lead nowhere or back into a
// folder that holds them, devices. Throws std::runtime_error when a folder
// cannot be listed.
ReleaseFolder gatherReleaseFolder(const std::string& from,
                                  const std::optional<std::string>& updaterName);

}  // namespace morvane::publish
