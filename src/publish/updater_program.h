#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::publish {

// The product name in the updater's version information.
inline constexpr const char* kUpdaterProductName = "Morvane Updater";

// Whether the file is the updater's program whatever it is called now: a
// Windows program whose version information names the product
// kUpdaterProductName. Reads the program's headers and resources only;
// false for any file that is no such program.
bool isUpdaterProgram(const std::string& path);

// The "FileVersion" text of a Windows program's version information;
// nullopt for a file that is no program or has none.
std::optional<std::string> programFileVersion(const std::string& path);

// Whether a "Ziel" is the updater's program under one of its `programNames`
// (without ".exe"), which the updater installs from a signed release only.
bool namesUpdaterProgramOf(std::string_view target, const std::vector<std::string>& programNames);

}  // namespace morvane::publish
