#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/process.h"

namespace morvane::test {

// The running updater as the run sees it; records every program start.
class FakeProcess : public Process {
public:
    std::string folder = "C:\\App";
    std::string name = "Updater.exe";
    std::string version = "1.0.0.0";
    std::string user = "Anna";
    bool otherInstance = false;
    // When set, every start fails with this failure.
    std::optional<Failure> startFailure;
    std::vector<std::string> started;
    int startAttempts = 0;

    std::string executableFolder() override { return folder; }
    std::string executableName() override { return name; }
    std::string fileVersion() override { return version; }
    std::string userName() override { return user; }
    bool anotherInstanceRunning() override { return otherInstance; }
    void start(const std::string& commandLine) override {
        ++startAttempts;
        if (startFailure) {
            throw *startFailure;
        }
        started.push_back(commandLine);
    }
};

}  // namespace morvane::test
