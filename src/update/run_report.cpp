#include "update/run_report.h"

#include <memory>
#include "base/crypto.h"
#include "base/failure.h"
#include "base/text.h"

#include "install/durable_file.h"

namespace morvane {
namespace {

// ASCII letters, digits, "-" and "_" as they are; anything else as "_".
std::string plainName(const std::string& name) {
    std::string plain;
    for (const char c : name) {
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_';
        plain += kept ? c : '_';
    }
    return plain;
}

// The revision as one field of the User-Agent: printable ASCII without the
// characters that end a field.
std::string plainRevision(const std::string& revision) {
    std::string plain;
    for (const char c : revision) {
        const bool kept = c >= ' ' && c <= '~' && c != ';' && c != '(' && c != ')';
        plain += kept ? c : '_';
    }
    return plain;
}

}  // namespace

std::string userAgentOf(const RunReport& report) {
    std::string name = plainName(report.computerName);
    if (report.anonymous) {
        Sha256 hash;
        hash.update(report.computerName.data(), report.computerName.size());
        name = toHex(hash.finish()).substr(0, 8);
    }
    return "Morvane-Updater/" + report.fileVersion + " (Revision " +
           (report.installedRevision ? plainRevision(*report.installedRevision) : "-") +
           "; Status " + (report.previousStatus ? decimal(*report.previousStatus) : "-") + "; PC " +
           (name.empty() ? "-" : name) + ")";
}

std::optional<int> readPreviousStatus(FileSystem& files, const std::string& path) {
    const std::optional<std::string> text = readWhole(files, path, 16);
    if (!text) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> status = decimalNumber(*text);
    if (!status || *status > 255) {
        return std::nullopt;
    }
    return static_cast<int>(*status);
}

void keepStatus(FileSystem& files, const std::string& path, int status) {
    try {
        // No trip to the disk for it: a status lost or torn by a power cut
        // reads as none.
        if (files.entryKind(path.substr(0, path.rfind('\\'))) != EntryKind::Folder) {
            return;
        }
        if (files.entryKind(path)) {
            files.deleteFile(path);
        }
        const std::string text = decimal(status);
        const std::unique_ptr<WritableFile> file = files.openForAppending(path);
        file->write(text.data(), text.size());
        file->close();
    } catch (const Failure&) {
        // The next run reports no previous status.
    }
}

}  // namespace morvane
