#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

class Process {
public:
    virtual ~Process() = default;
    // Folder of the running executable, without a trailing "\".
    virtual std::string executableFolder() = 0;
    // File name of the running executable, with its extension ("Updater.exe").
    virtual std::string executableName() = 0;
    // The executable's own file version ("1.0.0.0"); empty when it has none.
    virtual std::string fileVersion() = 0;
    // The name of the user the updater runs as; empty when it cannot be told.
    virtual std::string userName() = 0;
    // The name of the PC (Windows' computer name, the host name elsewhere);
    // empty when it cannot be told.
    virtual std::string computerName() = 0;
    // True when another instance of the updater runs. The first call claims the
    // instance mark for this process's lifetime.
    virtual bool anotherInstanceRunning() = 0;
    // Takes the exclusive lock of the application's folder, the file at
    // `lockPath` (created, with its folder, when missing, and opened without
    // following a link), and holds it until unlockFolder() or this object's
    // end. Unlike the instance mark it is seen by runs on other PCs and in
    // other sessions, and under every spelling of the folder's path. True
    // when had (also when held already); false with `why` when another run
    // holds it ("another run holds it") or anything else stands in the way
    // (a folder or a link at the path, the system's refusal): a lock that
    // cannot be had counts as held.
    virtual bool lockFolder(const std::string& lockPath, std::string& why) = 0;
    // Lets the folder lock go; harmless when it is not held.
    virtual void unlockFolder() = 0;
    // Starts `program` (a Windows path; a bare name is searched for as the
    // host searches programs) with `arguments`, each arriving as one, its
    // window maximized and activated, without waiting. Throws Failure when it
    // cannot be started.
    virtual void start(const std::string& program, const std::vector<std::string>& arguments) = 0;
    // Runs `program` (a full Windows path) with `arguments`, without a window,
    // and waits up to `patience` for its end, calling `whileWaiting` at least
    // every 50 ms so that the caller's window keeps answering. Its exit code;
    // nullopt when it did not end in time (it is then ended). Throws Failure
    // when it cannot be started.
    virtual std::optional<int> runToEnd(const std::string& program,
                                        const std::vector<std::string>& arguments,
                                        std::chrono::milliseconds patience,
                                        const std::function<void()>& whileWaiting) = 0;
};

}  // namespace morvane
