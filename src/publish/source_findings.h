#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/http.h"
#include "publish/finding.h"
#include "publish/local_files.h"
#include "publish/progress.h"
#include "release/release.h"

namespace morvane::publish {

// What a file block's Quelle holds as the server would serve it; without
// facts, the reason it cannot be had ("answers HTTP 404").
struct SourceLookup {
    std::optional<FileFacts> facts;
    std::string problem;
};

class SourceReader {
public:
    virtual ~SourceReader() = default;
    // `onBytes` hears of every piece read.
    virtual SourceLookup read(const FileEntry& file,
                              const std::function<void(std::uint64_t)>& onBytes) = 0;
    // The file version of the program a Quelle holds, where it lies on this
    // machine to be read; nullopt otherwise.
    virtual std::optional<std::string> programVersion(const FileEntry& /*file*/) {
        return std::nullopt;
    }
};

// Each Quelle fetched below the description's URL, as the updater fetches it.
std::unique_ptr<SourceReader> serverSources(Http& http, std::string descriptionUrl);
// Each Quelle read from the file that a server of the description's folder
// would serve for it.
std::unique_ptr<SourceReader> folderSources(std::string descriptionPath);
// Each Quelle as make found it while writing it beside `descriptionPath`;
// one it did not write is missing.
std::unique_ptr<SourceReader> knownSources(std::map<std::string, FileFacts> facts,
                                           std::string descriptionPath);

// Every Quelle compared with its block's SHA256 and Größe. Each error means
// that the PCs that need the file fail and install nothing; a PC that has
// it unchanged does not fetch it.
// A file block that replaces the updater's program (named by one of
// `programNames`): a note with the version it brings from a signed
// description, an error from an unsigned one, which every PC refuses.
void findUpdaterUpdates(const Release& release, const std::vector<std::string>& programNames,
                        bool signedDescription, SourceReader& reader, FindingList& findings);

void findSourceFaults(const Release& release, SourceReader& reader, Progress& progress,
                      FindingList& findings);

}  // namespace morvane::publish
