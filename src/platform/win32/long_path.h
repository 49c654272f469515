#pragma once

#include <string>

namespace morvane::win32 {

// The form of `path` that the wide Win32 file calls take beyond MAX_PATH
// (260) characters on every Windows, whatever its long-path policy: an
// absolute path, made whole by GetFullPathNameW (which also turns "/" into
// "\" and resolves "." and ".."), gets the prefix "\\?\", a share path
// "\\server\share\..." becomes "\\?\UNC\server\share\...". Paths that
// carry a "\\?\" or "\\.\" prefix already, relative paths and the empty
// path stay as they are.
std::wstring longPath(const std::string& path);

}  // namespace morvane::win32
