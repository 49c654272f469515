#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/failure.h"
#include "platform/process.h"

namespace morvane::test {

// The running updater as the run sees it; records every program start.
class FakeProcess : public Process {
public:
    std::string folder = "C:\\App";
    std::string name = "Updater.exe";
    std::string version = "1.0.0.0";
    std::string user = "Anna";
    std::string computer = "PC-ANNA";
    bool otherInstance = false;
    // Takes and lets go the folder lock; without it the lock is always had.
    Process* lockHost = nullptr;
    std::vector<std::string> lockPaths;
    int unlocks = 0;
    // When set, every start fails with this failure.
    std::optional<Failure> startFailure;
    // The command line Windows would see for each start.
    std::vector<std::string> started;
    int startAttempts = 0;
    // What a program run to its end gives: its exit code, or nullopt for
    // one that does not end in time. Every such run is recorded.
    std::optional<int> exitCode = 0;
    std::vector<std::string> ranToEnd;
    // How many runs to their end fail to start, as when a scanner holds the program.
    int refusedRuns = 0;

    std::string executableFolder() override { return folder; }
    std::string executableName() override { return name; }
    std::string fileVersion() override { return version; }
    std::string userName() override { return user; }
    std::string computerName() override { return computer; }
    bool anotherInstanceRunning() override { return otherInstance; }
    bool lockFolder(const std::string& lockPath, std::string& why) override {
        lockPaths.push_back(lockPath);
        return lockHost == nullptr || lockHost->lockFolder(lockPath, why);
    }
    void unlockFolder() override {
        ++unlocks;
        if (lockHost != nullptr) {
            lockHost->unlockFolder();
        }
    }
    void start(const std::string& program, const std::vector<std::string>& arguments) override {
        ++startAttempts;
        if (startFailure) {
            throw *startFailure;
        }
        started.push_back(windowsCommandLine(program, arguments));
    }
    std::optional<int> runToEnd(const std::string& program,
                                const std::vector<std::string>& arguments,
                                std::chrono::milliseconds /*patience*/,
                                const std::function<void()>& whileWaiting) override {
        ranToEnd.push_back(windowsCommandLine(program, arguments));
        if (refusedRuns > 0) {
            --refusedRuns;
            throw Failure::of(err::AccessDenied);
        }
        if (whileWaiting) {
            whileWaiting();
        }
        return exitCode;
    }
};

}  // namespace morvane::test
