#include "publish/release_folder.h"

#include <algorithm>
#include <set>

#include "base/text.h"
#include "publish/folder_walk.h"
#include "publish/local_files.h"
#include "publish/updater_program.h"
#include "release/target_rules.h"

namespace morvane::publish {
namespace {

constexpr const char* kDefaultProgramName = "Updater";

std::vector<std::string> programNamesIn(const std::string& from,
                                        const std::vector<WalkedEntry>& entries,
                                        const std::optional<std::string>& updaterName) {
    std::vector<std::string> names;
    if (updaterName) {
        names.push_back(*updaterName);
    }
    for (const WalkedEntry& entry : entries) {
        const std::string& name = entry.relative;
        const bool program = name.size() > 4 && foldCase(name.substr(name.size() - 4)) == ".EXE";
        // The updater lies in the application's folder itself.
        if (entry.kind == WalkedEntry::Kind::File && program &&
            name.find('/') == std::string::npos &&
            isUpdaterProgram(joinPath(from, entry.relative))) {
            names.push_back(name.substr(0, name.size() - 4));
        }
    }
    if (names.empty()) {
        names.emplace_back(kDefaultProgramName);
    }
    return names;
}

// Why an entry stays behind, by its name; empty when the name is fine.
std::optional<LeftOut> leftOutByName(const std::string& relative,
                                     const std::vector<std::string>& programNames) {
    const std::size_t slash = relative.find('/');
    const std::string first = relative.substr(0, slash);
    std::string target = relative;
    std::replace(target.begin(), target.end(), '/', '\\');
    for (const std::string& program : programNames) {
        if (namesUpdaterPlace(target, program)) {
            return LeftOut{slash == std::string::npos ? relative : first + "/",
                           "the updater's own, from an installed folder"};
        }
    }
    for (std::size_t start = 0; start < relative.size();) {
        const std::size_t end = std::min(relative.find('/', start), relative.size());
        const std::string component = foldCase(relative.substr(start, end - start));
        if (end < relative.size() && (component == ".GIT" || component == ".SVN")) {
            return LeftOut{relative.substr(0, end + 1), "version control"};
        }
        start = end + 1;
    }
    const std::string name = relative.substr(relative.rfind('/') + 1);
    const std::string folded = foldCase(name);
    if (name.rfind("~$", 0) == 0 || folded == "THUMBS.DB" || folded == "DESKTOP.INI" ||
        folded == ".DS_STORE") {
        return LeftOut{relative, "a file the system or an open document leaves behind"};
    }
    return std::nullopt;
}

std::string reasonOf(WalkedEntry::Kind kind) {
    switch (kind) {
        case WalkedEntry::Kind::EmptyFolder:
            return "an empty folder (the updater installs files, not folders)";
        case WalkedEntry::Kind::DanglingLink:
            return "a link whose target is missing";
        case WalkedEntry::Kind::LinkLoop:
            return "a link to a folder that holds it (it would be walked without end)";
        case WalkedEntry::Kind::Other:
            return "neither a file nor a folder (a device, pipe or socket)";
        case WalkedEntry::Kind::File:
            break;
    }
    return {};
}

}  // namespace

ReleaseFolder gatherReleaseFolder(const std::string& from,
                                  const std::optional<std::string>& updaterName) {
    const std::vector<WalkedEntry> entries = walkFolder(from);
    ReleaseFolder folder;
    folder.programNames = programNamesIn(from, entries, updaterName);
    std::set<std::string> reported;
    for (const WalkedEntry& entry : entries) {
        std::optional<LeftOut> skip = leftOutByName(entry.relative, folder.programNames);
        if (!skip && entry.kind != WalkedEntry::Kind::File) {
            const bool empty = entry.kind == WalkedEntry::Kind::EmptyFolder;
            skip = LeftOut{entry.relative + (empty ? "/" : ""), reasonOf(entry.kind)};
        }
        if (!skip) {
            folder.files.push_back({entry.relative, entry.size});
        } else if (reported.insert(skip->reported).second) {
            folder.leftOut.push_back(std::move(*skip));
        }
    }
    return folder;
}

}  // namespace morvane::publish
