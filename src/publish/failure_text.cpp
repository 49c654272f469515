#include "publish/failure_text.h"

#include <optional>

#include "publish/signing/signing.h"

namespace morvane::publish {

std::string englishText(const Failure& failure) {
    if (const std::optional<std::string> system = englishSystemMessage(failure)) {
        return *system;
    }
    switch (failure.number()) {
        case err::OutOfMemory:
            return "out of memory";
        case err::FileNotFound:
            return "file not found";
        case err::DiskFull:
            return "disk full";
        case err::AccessDenied:
            return "access denied";
        case err::PathAccess:
            return "the file or folder cannot be accessed";
        default:
            return "the system's cryptography or files failed (failure " +
                   std::to_string(failure.number()) + ")";
    }
}

}  // namespace morvane::publish
