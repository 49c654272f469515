#include "download/download_file.h"

#include "base/scope_guard.h"

namespace morvane {

bool DownloadFile(UrlClass& source, PathClass& target, Http& http, FileSystem& files,
                  UserInterface& ui, const std::string& sha256, const DownloadLimits& limits,
                  std::string* contentType, FileFlush flush) {
    target.CreateFolder();
    if (target.isFolder()) {
        target.setFullName(source.FullName());
    }
    // The download replaces an old target only once the new file is complete,
    // so the old one is not deleted beforehand: a failed fetch keeps it.
    ui.showWaitCursor();
    const ScopeGuard arrowCursor([&ui] { ui.showArrowCursor(); });
    const DownloadResult result =
        Download(source.FullUrl(), target.FullPath(), http, files, ui, sha256, limits, flush);
    if (contentType != nullptr) {
        *contentType = result.contentType;
    }
    return result.arrived();
}

}  // namespace morvane
