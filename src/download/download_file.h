#pragma once

#include <string>

#include "download/download_module.h"
#include "paths/path_class.h"
#include "paths/url_class.h"
#include "platform/file_system.h"
#include "platform/http.h"
#include "platform/user_interface.h"

namespace morvane {

// The download step of the update run: fetches `source` to `target`,
// creating the target's folders, with the wait cursor shown; a target
// ending in "\" gets the source's file name. True when the file arrived
// and, when `sha256` is not empty, has that SHA-256 (64 hex digits). An
// old target that cannot be replaced passes up as Failure. `limits` bound
// the body as for Download.
// `contentType`, when given, receives the stored body's Content-Type.
// `flush` as for Download.
bool DownloadFile(UrlClass& source, PathClass& target, Http& http, FileSystem& files,
                  UserInterface& ui, const std::string& sha256 = "",
                  const DownloadLimits& limits = {}, std::string* contentType = nullptr,
                  FileFlush flush = FileFlush::OnArrival);

}  // namespace morvane
