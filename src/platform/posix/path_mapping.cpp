#include "platform/posix/path_mapping.h"

#include <algorithm>

namespace morvane::posix {

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string withSlashes(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

}  // namespace

std::optional<std::string> toPosixPath(const std::string& windowsPath) {
    if (windowsPath.empty()) {
        return std::nullopt;
    }
    if (windowsPath.size() >= 2 && isAsciiLetter(windowsPath[0]) && windowsPath[1] == ':') {
        const bool driveZ = windowsPath[0] == 'Z' || windowsPath[0] == 'z';
        if (!driveZ || windowsPath.size() < 3 || !isSeparator(windowsPath[2])) {
            return std::nullopt;
        }
        return withSlashes(windowsPath.substr(2));
    }
    if (windowsPath.size() >= 2 && isSeparator(windowsPath[0]) && isSeparator(windowsPath[1])) {
        return std::nullopt;
    }
    return withSlashes(windowsPath);
}

std::string toWindowsPath(const std::string& posixPath) {
    std::string windows = posixPath;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    if (!windows.empty() && windows[0] == '\\') {
        windows.insert(0, "Z:");
    }
    return windows;
}

}  // namespace morvane::posix
