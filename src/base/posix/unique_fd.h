#pragma once

#include <unistd.h>

#include "base/unique_resource.h"

namespace morvane::posix {

// A file descriptor (file, pipe end, socket); -1 means "no descriptor".
struct FileDescriptor {
    using Value = int;
    static Value none() noexcept { return -1; }
    static bool isValid(Value fd) noexcept { return fd >= 0; }
    static bool close(Value fd) noexcept { return ::close(fd) == 0; }
};

using UniqueFd = UniqueResource<FileDescriptor>;

}  // namespace morvane::posix
