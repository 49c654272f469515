#pragma once

#include <string>

namespace morvane {

class Process {
public:
    virtual ~Process() = default;
    // Folder of the running executable, without a trailing "\".
    virtual std::string executableFolder() = 0;
    // File name of the running executable, with its extension ("Updater.exe").
    virtual std::string executableName() = 0;
    // True when another instance of the updater runs. The first call claims the
    // instance mark for this process's lifetime.
    virtual bool anotherInstanceRunning() = 0;
    // Starts a program from a command line, its window maximized and activated,
    // without waiting. Throws Failure when it cannot be started.
    virtual void start(const std::string& commandLine) = 0;
};

}  // namespace morvane
