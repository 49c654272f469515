#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/crypto.h"
#include "platform/file_system.h"

namespace morvane {

// SHA-256 of a file's bytes, read piece by piece (others may read it
// meanwhile), `afterPiece` called after each piece so that a window can
// answer while hundreds of megabytes come from a share; nullopt when it
// cannot be opened or read.
std::optional<Sha256Digest> sha256OfFile(FileSystem& files, const std::string& path,
                                         const std::function<void()>& afterPiece = {});

}  // namespace morvane
