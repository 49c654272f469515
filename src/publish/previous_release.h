#pragma once

#include <ostream>
#include <string>

#include "release/release.h"

namespace morvane::publish {

// The description of the release now on the server, from a file. Throws
// std::runtime_error for a URL, a file that cannot be read, and one that is
// no revision description.
Release readPreviousRelease(const std::string& path);

// What changed against the previous release and what was removed since, by
// "Ziel" ignoring case, on `out`.
void reportChanges(const Release& previous, const Release& release, std::ostream& out);

}  // namespace morvane::publish
