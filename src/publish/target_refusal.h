#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::publish {

// Why the updater refuses a "Ziel" (as FileEntry::target holds it), naming
// the rule it breaks; empty when the updater installs it. `programNames` are
// the updater's names without ".exe"; `recordName` the description's file.
std::optional<std::string> targetRefusal(std::string_view target, std::string_view recordName,
                                         const std::vector<std::string>& programNames);

}  // namespace morvane::publish
