#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/run_log.h"

namespace morvane::test {

// A run log that keeps its lines in memory.
class RecordingRunLog : public RunLog {
public:
    void note(const std::string& event) noexcept override { lines.push_back(event); }

    // The number of lines that contain `part`.
    std::ptrdiff_t count(const std::string& part) const {
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(part) != std::string::npos;
        });
    }

    std::vector<std::string> lines;
};

}  // namespace morvane::test
