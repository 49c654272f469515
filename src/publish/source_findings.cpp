#include "publish/source_findings.h"

#include <utility>

#include "base/crypto.h"
#include "base/text.h"
#include "publish/server_files.h"
#include "publish/updater_program.h"
#include "release/release_rules.h"
#include "release/url_encoding.h"

namespace morvane::publish {
namespace {

constexpr const char* kNeededFails = ": PCs that need this file fail and install nothing";

class ServerSources : public SourceReader {
public:
    ServerSources(Http& http, std::string url) : http_(http), url_(std::move(url)) {}
    SourceLookup read(const FileEntry& file,
                      const std::function<void(std::uint64_t)>& onBytes) override {
        const std::string url = fileUrl(url_, file);
        const Fetched got = fetch(http_, url, 0, false, onBytes);
        if (!got.succeeded()) {
            return {std::nullopt, "Quelle " + url +
                                      (got.status != 0 ? " answers HTTP " + decimal(got.status)
                                                       : std::string(" cannot be fetched"))};
        }
        return {FileFacts{*got.digest, *got.size}, {}};
    }

private:
    Http& http_;
    std::string url_;
};

// The file a server of the description's folder would serve for a Quelle.
std::string servedFile(const std::string& description, const FileEntry& file) {
    return joinPath(folderOf(description), percentDecoded(file.source));
}

class FolderSources : public SourceReader {
public:
    explicit FolderSources(std::string description) : description_(std::move(description)) {}
    SourceLookup read(const FileEntry& file,
                      const std::function<void(std::uint64_t)>& onBytes) override {
        const std::string path = servedFile(description_, file);
        std::optional<FileFacts> facts =
            isRegularFile(path) ? factsOfFile(path, onBytes) : std::nullopt;
        if (!facts) {
            return {std::nullopt, "Quelle " + quoted(file.source) +
                                      " is missing next to the description (" + path + ")"};
        }
        return {facts, {}};
    }
    std::optional<std::string> programVersion(const FileEntry& file) override {
        return programFileVersion(servedFile(description_, file));
    }

private:
    std::string description_;
};

class KnownSources : public SourceReader {
public:
    KnownSources(std::map<std::string, FileFacts> facts, std::string description)
        : facts_(std::move(facts)), description_(std::move(description)) {}
    SourceLookup read(const FileEntry& file,
                      const std::function<void(std::uint64_t)>& onBytes) override {
        const auto found = facts_.find(file.source);
        if (found == facts_.end()) {
            return {std::nullopt, "Quelle " + quoted(file.source) + " was not written"};
        }
        if (onBytes) {
            onBytes(found->second.size);
        }
        return {found->second, {}};
    }
    std::optional<std::string> programVersion(const FileEntry& file) override {
        return programFileVersion(servedFile(description_, file));
    }

private:
    std::map<std::string, FileFacts> facts_;
    std::string description_;
};

void compare(const FileEntry& file, const FileFacts& facts, FindingList& findings) {
    if (file.size && static_cast<std::uint64_t>(*file.size) != facts.size) {
        findings.error(file.title, file.lineOf("Größe"),
                       "Größe " + decimal(*file.size) + " does not match Quelle " +
                           quoted(file.source) + " (its size is " +
                           decimal(static_cast<long long>(facts.size)) + " bytes)" + kNeededFails);
    }
    const std::optional<Sha256Digest> expected =
        file.sha256 ? parseSha256(*file.sha256) : std::nullopt;
    if (expected && *expected != facts.digest) {
        findings.error(file.title, file.lineOf("SHA256"),
                       "SHA256 does not match Quelle " + quoted(file.source) + " (its SHA-256 is " +
                           toHex(facts.digest) + ")" + kNeededFails);
    }
}

}  // namespace

std::unique_ptr<SourceReader> serverSources(Http& http, std::string descriptionUrl) {
    return std::make_unique<ServerSources>(http, std::move(descriptionUrl));
}

std::unique_ptr<SourceReader> folderSources(std::string descriptionPath) {
    return std::make_unique<FolderSources>(std::move(descriptionPath));
}

std::unique_ptr<SourceReader> knownSources(std::map<std::string, FileFacts> facts,
                                           std::string descriptionPath) {
    return std::make_unique<KnownSources>(std::move(facts), std::move(descriptionPath));
}

void findUpdaterUpdates(const Release& release, const std::vector<std::string>& programNames,
                        bool signedDescription, SourceReader& reader, FindingList& findings) {
    for (const FileEntry& file : release.files) {
        if (!namesUpdaterProgramOf(file.target, programNames)) {
            continue;
        }
        if (!signedDescription) {
            findings.error(file.title, file.lineOf("Ziel"),
                           "Ziel " + quoted(file.target) +
                               " is the updater's program, which the updater replaces only from "
                               "a signed release (settings with a key): every PC fails this "
                               "file's download; sign the release (make --key)");
            continue;
        }
        const std::optional<std::string> version = reader.programVersion(file);
        findings.note(file.title, file.lineOf("Ziel"),
                      version ? "updates the updater to " + *version
                              : "updates the updater (its file version is not read here)");
    }
}

void findSourceFaults(const Release& release, SourceReader& reader, Progress& progress,
                      FindingList& findings) {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    for (const FileEntry& file : release.files) {
        files += file.source.empty() ? 0u : 1u;
        bytes += file.size ? static_cast<std::uint64_t>(*file.size) : 0;
    }
    progress.setTotal(files, bytes);
    const auto onBytes = [&](std::uint64_t count) { progress.addBytes(count); };
    for (const FileEntry& file : release.files) {
        if (file.source.empty()) {
            continue;
        }
        const SourceLookup lookup = reader.read(file, onBytes);
        if (lookup.facts) {
            compare(file, *lookup.facts, findings);
        } else {
            findings.error(file.title, file.lineOf("Quelle"), lookup.problem + kNeededFails);
        }
        progress.fileDone();
    }
    progress.finish();
}

}  // namespace morvane::publish
