#include "publish/check.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "base/crypto.h"
#include "base/text.h"
#include "download/answer_description.h"
#include "publish/block_findings.h"
#include "publish/fleet_reach.h"
#include "publish/quantities.h"
#include "publish/server_files.h"
#include "publish/source_findings.h"
#include "publish/text_findings.h"
#include "publish/updater_program.h"
#include "release/block_grammar.h"
#include "release/limits.h"
#include "release/release.h"
#include "release/release_rules.h"

namespace morvane::publish {
namespace {

// Read at most this much of what claims to be a description or a
// signature, so that one over the updater's limit is told by its size.
constexpr std::uint64_t kLargestRead = 16 * kMebibyte;

// The bytes at a path or URL; nullopt when they cannot be had. A server's
// answer leaves its Content-Type in `contentType`.
std::optional<std::string> readBytes(Http& http, const std::string& where, std::string& why,
                                     std::string* contentType = nullptr) {
    if (isUrl(where)) {
        Fetched got = fetch(http, where, kLargestRead, true);
        if (got.succeeded()) {
            if (contentType != nullptr) {
                *contentType = got.contentType;
            }
            return std::move(got.body);
        }
        why = got.tooLarge      ? " (larger than " + inMebibytes(kLargestRead) + ")"
              : got.status != 0 ? " (HTTP " + decimal(got.status) + ")"
                                : std::string();
        return std::nullopt;
    }
    return readWholeFile(where, kLargestRead);
}

// The updater fetches neither more than its limits nor installs anything
// then.
bool withinLimit(const std::string& what, std::uint64_t size, std::int64_t limit,
                 const std::string& limitName, FindingList& findings) {
    if (size <= static_cast<std::uint64_t>(limit)) {
        return true;
    }
    findings.error({}, 0,
                   what + " has " + grouped(size) + " bytes; the updater fetches at most " +
                       limitName + " (" + grouped(static_cast<std::uint64_t>(limit)) +
                       " bytes) and installs nothing of it");
    return false;
}

void checkSignature(const CheckOptions& options, Http& http, const std::string& bytes,
                    FindingList& findings) {
    const std::optional<SignatureKey> key = SignatureKey::fromBase64(*options.publicKey);
    if (!key) {
        throw std::runtime_error("the key is no ECDSA P-256 public key in base64");
    }
    const std::string where = options.description + ".sig";
    std::string why;
    const std::optional<std::string> signature = readBytes(http, where, why);
    if (!signature) {
        findings.error({}, 0, "the signature " + where + " is missing");
    } else if (withinLimit("the signature " + where, signature->size(), kLargestSignature, "1 KiB",
                           findings) &&
               !key->verifies(bytes, *signature)) {
        findings.error({}, 0,
                       "the signature " + where + " does not sign this description with the key");
    }
}

std::string fileName(const std::string& description) {
    const std::size_t cut = description.find_last_of(isUrl(description) ? "/" : "/\\");
    return cut == std::string::npos ? description : description.substr(cut + 1);
}

std::unique_ptr<SourceReader> sourcesOf(const CheckOptions& options, Http& http) {
    if (options.knownSources) {
        return knownSources(*options.knownSources, options.description);
    }
    if (isUrl(options.description)) {
        return serverSources(http, options.description);
    }
    return folderSources(options.description);
}

}  // namespace

std::vector<Finding> checkDescription(const CheckOptions& options, Http& http) {
    std::string why;
    std::string contentType;
    const std::optional<std::string> read = readBytes(http, options.description, why, &contentType);
    if (!read) {
        throw std::runtime_error("cannot " +
                                 std::string(isUrl(options.description) ? "fetch " : "read ") +
                                 options.description + why);
    }
    FindingList findings;
    if (!withinLimit("the description", read->size(), kLargestDescription, "1 MiB", findings)) {
        return findings.take();
    }
    if (options.publicKey) {
        checkSignature(options, http, *read, findings);
    }
    // A description in UTF-16 is looked at as the UTF-8 text the updater
    // makes of it; the signature covers the bytes as they came.
    const std::string bytes = utf16MarkOf(*read) == Utf16Mark::None
                                  ? *read
                                  : std::string(kUtf8ByteOrderMark) + descriptionText(*read);
    const Release release = parseRelease(bytes);
    // The updater takes such an answer as a failed fetch and keeps its
    // record; a maintenance or portal page is told by its look. The findings
    // below say what is wrong with it where it is a block file after all.
    if (isUrl(options.description) && !isDescription(release)) {
        findings.error(
            {}, 0,
            "the answer is not a revision description: " + describeAnswer(contentType, bytes));
    }
    if (!findLineEndFaults(bytes, findings)) {
        return findings.take();
    }
    findEncodingFaults(bytes, release, findings);
    const std::vector<Block> blocks = parseBlocks(descriptionText(bytes));
    const BlockCheck blockCheck{release,
                                blocks,
                                fileName(options.description),
                                options.programNames,
                                options.installedVersion,
                                options.publicKey.has_value()};
    if (!findBlockFaults(blockCheck, findings)) {
        return findings.take();
    }
    std::ostringstream nowhere;
    Progress progress(options.progressOut != nullptr ? *options.progressOut : nowhere,
                      options.progress, "check");
    const std::unique_ptr<SourceReader> sources = sourcesOf(options, http);
    findSourceFaults(release, *sources, progress, findings);
    if (std::any_of(release.files.begin(), release.files.end(), [&](const FileEntry& file) {
            return namesUpdaterProgramOf(file.target, options.programNames);
        })) {
        // Without the key, a signature beside the description stands for a
        // signed release; with it, checkSignature has said whether it holds.
        std::string ignored;
        const bool signedDescription =
            options.publicKey || readBytes(http, options.description + ".sig", ignored);
        findUpdaterUpdates(release, options.programNames, signedDescription, *sources, findings);
    }
    if (!options.fleetLogs.empty()) {
        findFleetReach(release, options.fleetLogs, findings);
    }
    return findings.take();
}

std::string formatFinding(const std::string& description, const Finding& finding) {
    std::string text = description;
    if (finding.line > 0) {
        text += ":" + decimal(finding.line);
    }
    text += finding.kind == Finding::Kind::Error     ? ": error: "
            : finding.kind == Finding::Kind::Warning ? ": warning: "
                                                     : ": note: ";
    if (!finding.block.empty()) {
        text += "[" + finding.block + "] ";
    }
    return text + finding.message;
}

int severityOf(const std::vector<Finding>& findings) {
    int severity = 0;
    for (const Finding& finding : findings) {
        severity = std::max(severity, finding.kind == Finding::Kind::Error     ? 2
                                      : finding.kind == Finding::Kind::Warning ? 1
                                                                               : 0);
    }
    return severity;
}

}  // namespace morvane::publish
