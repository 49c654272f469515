#pragma once

#include <optional>
#include <string>
#include <vector>

#include "publish/finding.h"
#include "release/block_grammar.h"
#include "release/release.h"

namespace morvane::publish {

// What the block findings look at: the release, the blocks it was read
// from, and what the updater's PCs bring to it.
struct BlockCheck {
    const Release& release;
    const std::vector<Block>& blocks;
    std::string recordName;  // the description's file name, e.g. "revision.ini"
    std::vector<std::string> programNames;
    std::optional<std::string> installedVersion;
    bool signedRelease = false;  // checked with a key
};

// Faults of the blocks by the updater's rules: the head blocks, the version
// order, Msg-Typ, the start file, and each file block's values and Ziel.
// False when the blocks cannot be counted (the updater refuses the whole
// file), so nothing else is worth telling.
bool findBlockFaults(const BlockCheck& check, FindingList& findings);

}  // namespace morvane::publish
