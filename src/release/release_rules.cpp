#include "release/release_rules.h"

#include <algorithm>
#include <map>
#include <vector>

#include "base/text.h"
#include "release/target_rules.h"

namespace morvane {

bool exceedsBlockCounter(const Release& description) {
    return description.blocks.size() > static_cast<std::size_t>(kMostBlocks);
}

bool isNewerVersion(std::string_view version, std::string_view installed) {
    return version.find_first_not_of(" \t") != std::string_view::npos &&
           compareOrdinal(version, installed) > 0;
}

Notice noticeOf(std::string_view messageType) {
    if (messageType == "1") {
        return Notice::Inform;
    }
    return messageType == "2" ? Notice::Ask : Notice::Silent;
}

std::string fileUrl(const std::string& descriptionUrl, const FileEntry& entry) {
    return descriptionUrl.substr(0, descriptionUrl.rfind('/') + 1) + entry.source;
}

bool mayInstallTarget(std::string_view target, std::string_view recordName,
                      std::string_view programName) {
    return namesFileBelowFolder(target) && !namesUpdaterOwnFile(target, recordName, programName);
}

std::optional<std::pair<std::size_t, std::size_t>> clashingTargets(const Release& description) {
    // Folded targets in order: a folder sorts right before the files below it.
    std::map<std::string, std::size_t> seen;
    for (std::size_t i = 0; i < description.files.size(); ++i) {
        const std::string target = foldCase(description.files[i].target);
        const auto [at, added] = seen.emplace(target, i);
        if (!added) {
            return std::make_pair(at->second, i);
        }
        // A folder of this one listed before it, or one below it.
        for (std::size_t cut = target.find('\\'); cut != std::string::npos;
             cut = target.find('\\', cut + 1)) {
            const auto folder = seen.find(target.substr(0, cut));
            if (folder != seen.end()) {
                return std::make_pair(folder->second, i);
            }
        }
        const auto below = seen.lower_bound(target + "\\");
        if (below != seen.end() && below->first.rfind(target + "\\", 0) == 0) {
            return std::make_pair(below->second, i);
        }
    }
    return std::nullopt;
}

std::optional<std::int32_t> misplacedHeadBlock(const Release& description) {
    static const std::vector<std::string> kHead = {"VERSION", "TITEL", "MSG-TYP", "BESCHREIBUNG"};
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < kHead.size(); ++i) {
        const auto position = static_cast<std::int32_t>(i + 1);
        if (i >= description.blocks.size()) {
            return position;
        }
        const std::string folded = foldCase(description.blocks[i].title);
        if (std::find(kHead.begin(), kHead.end(), folded) == kHead.end() ||
            std::find(seen.begin(), seen.end(), folded) != seen.end()) {
            return position;
        }
        seen.push_back(folded);
    }
    return std::nullopt;
}

bool isDescription(const Release& description) {
    return !misplacedHeadBlock(description) &&
           description.version.find_first_not_of(' ') != std::string::npos;
}

bool endsWithStartFile(const Release& description) {
    return !description.blocks.empty() && foldCase(description.blocks.back().title) == "STARTDATEI";
}

bool isWholeRelease(const Release& description) {
    return !misplacedHeadBlock(description) && endsWithStartFile(description) &&
           startFileStaysBelowFolder(description) && !clashingTargets(description);
}

bool startFileStaysBelowFolder(const Release& description) {
    return staysBelowFolder(description.startFile);
}

bool startFileIsReleased(const Release& description) {
    std::string start = foldCase(description.startFile);
    std::replace(start.begin(), start.end(), '/', '\\');
    return start.empty() ||
           std::any_of(description.files.begin(), description.files.end(),
                       [&](const FileEntry& file) { return foldCase(file.target) == start; });
}

}  // namespace morvane
