#include "support/built_file.h"

#include <algorithm>
#include <cstdlib>

namespace morvane::test {

std::string windowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path.insert(0, "Z:");
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string builtFile(const std::string& builtPath) {
    std::string path = windowsPath(builtPath);
    const char* kit = std::getenv("MORVANE_TEST_KIT");
    if (kit == nullptr || *kit == '\0') {
        return path;
    }
    std::string folder = kit;
    if (folder.back() != '\\') folder.push_back('\\');
    return folder + path.substr(path.find_last_of('\\') + 1);
}

}  // namespace morvane::test
