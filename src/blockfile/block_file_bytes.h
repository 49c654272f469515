#pragma once

#include <optional>
#include <string>

#include "platform/file_system.h"

namespace morvane {

// The bytes of a block file (a settings file, a description), read through
// the buffered file reader with lock mode 2: others may read it meanwhile.
// Nullopt when it cannot be opened; a read error after the open passes up
// as Failure.
std::optional<std::string> readBlockFileBytes(FileSystem& files, const std::string& path);

}  // namespace morvane
