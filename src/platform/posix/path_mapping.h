#pragma once

#include <optional>
#include <string>

namespace morvane::posix {

// The host path for a Windows path, mapped the way Wine maps its drive Z:.
// "Z:\" (either case, "\" or "/" after the colon) becomes "/", and every "\"
// becomes "/". A path without a drive stays relative ("App\x" -> "App/x"); a
// path rooted without a drive ("\x") counts as one on Z: ("/x"). nullopt for
// what has no place on this host: the empty path, other drive letters,
// drive-relative paths ("Z:x") and network paths ("\\server\share").
std::optional<std::string> toPosixPath(const std::string& windowsPath);

// The Windows path for a host path: "/home/x" -> "Z:\home\x", "/" -> "Z:\".
// A relative path stays relative, with "\" separators.
std::string toWindowsPath(const std::string& posixPath);

}  // namespace morvane::posix
