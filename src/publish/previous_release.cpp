#include "publish/previous_release.h"

#include <map>
#include <optional>
#include <stdexcept>

#include "base/text.h"
#include "publish/local_files.h"
#include "release/release_rules.h"

namespace morvane::publish {

Release readPreviousRelease(const std::string& path) {
    const std::string scheme = foldCase(path.substr(0, path.find(':') + 1));
    if (scheme == "HTTP:" || scheme == "HTTPS:") {
        throw std::runtime_error("--previous " + path +
                                 " is a URL: give the description now on the server as a file "
                                 "(download it first)");
    }
    const std::optional<std::string> bytes = readWholeFile(path);
    if (!bytes) {
        throw std::runtime_error("cannot read the previous description " + path);
    }
    Release previous = parseRelease(*bytes);
    if (misplacedHeadBlock(previous) || !isNewerVersion(previous.version, "")) {
        throw std::runtime_error("--previous " + path +
                                 " is no revision description: it does not begin with the blocks "
                                 "Version, Titel, Msg-Typ and Beschreibung with a version");
    }
    return previous;
}

void reportChanges(const Release& previous, const Release& release, std::ostream& out) {
    std::map<std::string, std::string> before;
    for (const FileEntry& file : previous.files) {
        before[foldCase(file.target)] = foldCase(file.sha256.value_or(""));
    }
    std::size_t changed = 0;
    for (const FileEntry& file : release.files) {
        const auto known = before.find(foldCase(file.target));
        if (known == before.end() || known->second != foldCase(file.sha256.value_or(""))) {
            out << "changed since " << previous.version << ": " << file.target << "\n";
            ++changed;
        }
        if (known != before.end()) {
            before.erase(known);
        }
    }
    for (const FileEntry& file : previous.files) {
        if (before.count(foldCase(file.target)) != 0) {
            out << "removed since " << previous.version << ": " << file.target
                << " (stays on workstations that have it)\n";
        }
    }
    out << changed << " of " << release.files.size() << " file(s) changed\n";
}

}  // namespace morvane::publish
