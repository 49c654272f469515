#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/http.h"

namespace morvane::publish {

// What `check` finds in a revision description, one finding per line of
// output, with the block and the line of the description it concerns.
struct Finding {
    enum class Kind { Error, Warning };
    Kind kind;
    std::string block;  // title of the block; empty for the file as a whole
    int line;           // from 1; 0 when no line is concerned
    std::string message;
};

struct CheckOptions {
    // A local path or an http:// or https:// URL.
    std::string description;
    std::optional<std::string> installedVersion;
    // The publisher's public key, base64 of its SubjectPublicKeyInfo.
    std::optional<std::string> publicKey;
    // The updater's program name, which names its log in Temp.
    std::string programName = "Updater";
};

// Reads the description as the updater would and reports every fault the
// updater would stumble on (errors) or that makes it behave other than the
// publisher probably means (warnings). Throws std::runtime_error when the
// description itself cannot be read or the key is unusable.
std::vector<Finding> checkDescription(const CheckOptions& options, Http& http);

// "revision.ini:12: error: [Block] message"
std::string formatFinding(const std::string& description, const Finding& finding);

// 0 without findings, 1 with warnings only, 2 with errors.
int exitStatusOf(const std::vector<Finding>& findings);

}  // namespace morvane::publish
