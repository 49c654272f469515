#pragma once

#include <string>

namespace morvane::publish {

// The product name in the updater's version information.
inline constexpr const char* kUpdaterProductName = "Morvane Updater";

// Whether the file is the updater's program whatever it is called now: a
// Windows program whose version information names the product
// kUpdaterProductName. Reads the program's headers and resources only;
// false for any file that is no such program.
bool isUpdaterProgram(const std::string& path);

}  // namespace morvane::publish
