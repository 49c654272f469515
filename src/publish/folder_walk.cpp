#include "publish/folder_walk.h"

#include <algorithm>

#include "publish/host/host_files.h"
#include "publish/local_files.h"

namespace morvane::publish {
namespace {

// The folders from the walk's start down to the one being listed: a folder
// reached again through a link would be walked without end.
using Chain = std::vector<EntryIdentity>;

bool onChain(const Chain& chain, const EntryIdentity& identity) {
    // A host that tells no identity (all zero) never sees a loop.
    return identity != EntryIdentity{} &&
           std::find(chain.begin(), chain.end(), identity) != chain.end();
}

void walk(const std::string& folder, const std::string& prefix, Chain& chain,
          std::vector<WalkedEntry>& found) {
    for (const ListedEntry& entry : listFolder(folder)) {
        const std::string relative = prefix + entry.name;
        const EntryInfo& target = entry.target;
        switch (target.kind) {
            case EntryKind::File:
                found.push_back({relative, WalkedEntry::Kind::File, target.size});
                break;
            case EntryKind::Missing:
                found.push_back(
                    {relative,
                     entry.link ? WalkedEntry::Kind::DanglingLink : WalkedEntry::Kind::Other, 0});
                break;
            case EntryKind::Other:
                found.push_back({relative, WalkedEntry::Kind::Other, 0});
                break;
            case EntryKind::Folder: {
                const std::string inner = joinPath(folder, entry.name);
                const EntryIdentity identity = entryAt(inner).identity;
                if (onChain(chain, identity)) {
                    found.push_back({relative, WalkedEntry::Kind::LinkLoop, 0});
                    break;
                }
                const std::size_t before = found.size();
                chain.push_back(identity);
                walk(inner, relative + "/", chain, found);
                chain.pop_back();
                if (found.size() == before) {
                    found.push_back({relative, WalkedEntry::Kind::EmptyFolder, 0});
                }
                break;
            }
        }
    }
}

}  // namespace

std::vector<WalkedEntry> walkFolder(const std::string& folder) {
    std::vector<WalkedEntry> found;
    Chain chain{entryAt(folder).identity};
    walk(folder, "", chain, found);
    std::sort(found.begin(), found.end(),
              [](const WalkedEntry& a, const WalkedEntry& b) { return a.relative < b.relative; });
    return found;
}

}  // namespace morvane::publish
