#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvane::publish {

// One entry below a folder, by the names as they stand there: a link is
// followed under its own name, never resolved to where it leads.
struct WalkedEntry {
    enum class Kind {
        File,          // a file, or a link to one
        EmptyFolder,   // a folder (or a link to one) with nothing in it
        DanglingLink,  // a link whose target is missing
        LinkLoop,      // a link to a folder that holds it
        Other,         // a device, pipe or socket
    };
    std::string relative;  // "/"-separated below the folder
    Kind kind = Kind::File;
    std::uint64_t size = 0;  // of a file
};

// Every entry below `folder` that is a file or gives none, sorted by
// `relative`. Throws std::runtime_error when a folder cannot be listed.
std::vector<WalkedEntry> walkFolder(const std::string& folder);

}  // namespace morvane::publish
