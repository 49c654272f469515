#pragma once

#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace morvane {

// Puts `bytes` at `path` whole or not at all: written to "<path>.part",
// flushed to the disk, then moved onto `path` (replacing what stands there)
// and the move made durable. Throws Failure; `path` then stays as it was.
void writeDurably(FileSystem& files, const std::string& path, std::string_view bytes);

// The whole file, at most `largest` bytes; nullopt when it cannot be opened
// or read, or is larger.
std::optional<std::string> readWhole(FileSystem& files, const std::string& path,
                                     std::int64_t largest);

}  // namespace morvane
