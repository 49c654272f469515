#pragma once

#include <string_view>

#include "publish/finding.h"
#include "release/release.h"

namespace morvane::publish {

// Faults of the description's bytes as an editor shows them.

// An empty file, or line ends the updater does not read (LF alone: it sees
// one long line and no blocks). False when no block can be read at all.
bool findLineEndFaults(std::string_view bytes, FindingList& findings);

// Bytes that are no text of the file's encoding (Windows-1252, or UTF-8
// after its byte order mark), and UTF-8 without the mark: the updater reads
// them all the same, so names and notes come out otherwise.
void findEncodingFaults(std::string_view bytes, const Release& release, FindingList& findings);

}  // namespace morvane::publish
