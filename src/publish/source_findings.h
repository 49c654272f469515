#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

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
};

// Each Quelle fetched below the description's URL, as the updater fetches it.
std::unique_ptr<SourceReader> serverSources(Http& http, std::string descriptionUrl);
// Each Quelle read from the file that a server of the description's folder
// would serve for it.
std::unique_ptr<SourceReader> folderSources(std::string descriptionPath);
// Each Quelle as make found it while writing it; one it did not write is
// missing.
std::unique_ptr<SourceReader> knownSources(std::map<std::string, FileFacts> facts);

// Every Quelle compared with its block's SHA256 and Größe. Each error means
// that the PCs that need the file fail and install nothing; a PC that has
// it unchanged does not fetch it.
void findSourceFaults(const Release& release, SourceReader& reader, Progress& progress,
                      FindingList& findings);

}  // namespace morvane::publish
