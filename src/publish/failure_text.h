#pragma once

#include <string>

#include "base/failure.h"

namespace morvane::publish {

// A failure in English, as the tool's other messages: the system's English
// text for an operating-system code, or what the updater's own number means.
std::string englishText(const Failure& failure);

}  // namespace morvane::publish
