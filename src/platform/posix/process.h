#pragma once

#include <string>
#include <vector>

#include "base/posix/unique_fd.h"
#include "platform/process.h"

namespace morvane::posix {

// The updater process on a POSIX host, in Windows paths: the host path of the
// executable appears on drive Z: the way Wine shows it.
class PosixProcess : public Process {
public:
    PosixProcess() = default;
    PosixProcess(const PosixProcess&) = delete;
    PosixProcess& operator=(const PosixProcess&) = delete;
    ~PosixProcess() override = default;

    std::string executableFolder() override;
    std::string executableName() override;
    // The version the updater was built as: an ELF file carries none.
    std::string fileVersion() override;
    // The name of the effective user in the user database.
    std::string userName() override;
    std::string computerName() override;
    // The instance mark is a UNIX socket in the abstract namespace whose name
    // derives from the executable's path: it leaves no file behind and vanishes
    // with the process, even one that crashed. The updaters of two
    // applications in different folders do not see each other's mark.
    bool anotherInstanceRunning() override;
    // A whole-file lock (flock, which Linux carries over NFS) on the lock
    // file, held for this object's lifetime and let go by the kernel when the
    // process ends, however. The file stays: removing it would race with the
    // next run's lock.
    bool lockFolder(const std::string& lockPath, std::string& why) override;
    void unlockFolder() override;
    // Starts the program detached (own session, not a child of the updater)
    // and returns once it has been executed. Z:\ paths of the program and of
    // arguments that are absolute Windows paths become host paths. Throws
    // Failure when the program cannot be executed.
    void start(const std::string& program, const std::vector<std::string>& arguments) override;
    // A program fetched into a folder has no execute bits yet: it gets them
    // where reading is allowed, as an installed program has them. A program
    // ended by a signal exits with 128 + the signal's number, as shells say.
    std::optional<int> runToEnd(const std::string& program,
                                const std::vector<std::string>& arguments,
                                std::chrono::milliseconds patience,
                                const std::function<void()>& whileWaiting) override;

private:
    UniqueFd instanceMark_;
    UniqueFd folderLock_;
};

}  // namespace morvane::posix
