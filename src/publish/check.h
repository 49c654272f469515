#pragma once

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/http.h"
#include "publish/finding.h"
#include "publish/local_files.h"
#include "publish/progress.h"

namespace morvane::publish {

struct CheckOptions {
    // A local path or an http:// or https:// URL.
    std::string description;
    std::optional<std::string> installedVersion;
    // The publisher's public key, base64 of its SubjectPublicKeyInfo.
    std::optional<std::string> publicKey;
    // The updater's program names without ".exe", which name its settings,
    // log and lock.
    std::vector<std::string> programNames = {"Updater"};
    // What make learnt of each file by Quelle in its one pass over it: taken
    // as it stands rather than read again.
    std::optional<std::map<std::string, FileFacts>> knownSources = std::nullopt;
    // Web server access logs, as fleet reads them: the check then tells
    // which of the PCs in them the release reaches by its stage.
    std::vector<std::string> fleetLogs = {};
    // Where a long check shows how far it is.
    std::ostream* progressOut = nullptr;
    ProgressMode progress = ProgressMode::Quiet;
};

// Reads the description as the updater would and reports every fault the
// updater would stumble on (errors) or that makes it behave other than the
// publisher probably means (warnings). An error in the description's form
// means the updater installs nothing of it; an error about one file's
// Quelle means that the PCs that need that file fail and install nothing,
// while a PC that has the file unchanged (same SHA256) does not fetch it.
// Throws std::runtime_error when the description itself cannot be read or
// the key is unusable.
std::vector<Finding> checkDescription(const CheckOptions& options, Http& http);

// "revision.ini:12: error: [Block] message" (or "warning:", "note:")
std::string formatFinding(const std::string& description, const Finding& finding);

// 0 without errors and warnings, 1 with warnings only, 2 with errors.
int severityOf(const std::vector<Finding>& findings);

}  // namespace morvane::publish
