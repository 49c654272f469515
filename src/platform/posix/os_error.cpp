#include "platform/posix/os_error.h"

#include <cerrno>

namespace morvane::posix {

Failure errnoFailure(int errorNumber) {
    switch (errorNumber) {
        case ENOENT:
        case ENOTDIR:
            return Failure::of(err::FileNotFound);
        case EACCES:
        case EPERM:
        case EROFS:
        case EBUSY:
        case ETXTBSY:
        case EWOULDBLOCK:
            return Failure::of(err::AccessDenied);
        case ENOSPC:
        case EDQUOT:
            return Failure::of(err::DiskFull);
        case ENOMEM:
            return Failure::of(err::OutOfMemory);
        case EINVAL:
        case ENAMETOOLONG:
            return Failure::of(err::InvalidCall);
        default:
            return Failure::of(err::PathAccess);
    }
}

}  // namespace morvane::posix
