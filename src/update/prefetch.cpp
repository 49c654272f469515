#include "update/prefetch.h"

#include <algorithm>
#include <set>
#include <string>

#include "base/text.h"
#include "download/download_file.h"
#include "install/install_plan.h"
#include "install/prefetch_store.h"

namespace morvane {

RunEnd fillPrefetchStore(const RunContext& run, const Release& release, Platform& platform,
                         RunLog& log) {
    const InstallFolders folders = run.installFolders();
    const InstallPlan plan = planInstallation(release, run.ServerUrl.FullUrl(), folders,
                                              run.publisherKey.has_value(), platform.files);
    std::set<std::string> wanted;
    for (const PlannedFile& file : plan.files) {
        if (file.installable && !file.linkInTheWay && !file.unchanged && !file.sha256.empty()) {
            wanted.insert(file.sha256);
        }
    }
    PrefetchStore store(platform, log, folders.store());
    store.keepOnly(wanted);
    int fetched = 0;
    int stored = 0;
    for (const std::string& sha256 : wanted) {
        if (store.holds(sha256)) {
            ++stored;
            continue;
        }
        const auto file = std::find_if(plan.files.begin(), plan.files.end(),
                                       [&](const PlannedFile& f) { return f.sha256 == sha256; });
        UrlClass source;
        source.setFullUrl(file->url);
        PathClass target(platform.files, platform.clock);
        target.setFullPath(store.pathOf(sha256));
        if (!DownloadFile(source, target, platform.http, platform.files, platform.ui, sha256,
                          file->limits)) {
            log.note("Prefetch: not fetched " + source.FullUrl() + " for \"" + file->target + "\"");
            return RunEnd::DownloadFailed;
        }
        log.note("Prefetch: fetched " + source.FullUrl() + " to " + target.FullPath());
        ++fetched;
    }
    log.note("Prefetch: version \"" + release.version + "\": " + decimal(fetched) +
             " file(s) fetched, " + decimal(stored) + " already in the store " + folders.store());
    return RunEnd::Prefetched;
}

}  // namespace morvane
