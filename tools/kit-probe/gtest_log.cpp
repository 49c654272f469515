#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "kit_probe.h"

namespace morvane::kit {

int skippedTests(const std::wstring& log) {
    // GoogleTest's closing summary, once per program run.
    static const std::regex summary(R"(^\[  SKIPPED \] (\d+) tests?, listed below:)");
    std::ifstream in(std::filesystem::path(log), std::ios::binary);
    std::string line;
    std::smatch match;
    while (std::getline(in, line)) {
        if (std::regex_search(line, match, summary)) {
            return std::stoi(match[1].str());
        }
    }
    return 0;
}

}  // namespace morvane::kit
