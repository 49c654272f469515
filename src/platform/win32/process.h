#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "base/win32/unique_handle.h"
#include "platform/process.h"

namespace morvane::win32 {

// The running updater process and the start of other programs.
class Win32Process : public Process {
public:
    std::string executableFolder() override;
    std::string executableName() override;
    // The file version of the executable's version resource.
    std::string fileVersion() override;
    std::string userName() override;
    std::string computerName() override;
    // The instance mark is a named mutex in the session's namespace whose name
    // derives from the executable's full path (case folded): a second start of
    // the same Updater.exe finds it, while the updaters of two applications in
    // different folders run side by side. The mark lives as long as this object.
    bool anotherInstanceRunning() override;
    // The lock file is opened without sharing and deleted on close, so that
    // it goes with the run, also a killed one. Held for this object's lifetime.
    bool lockFolder(const std::string& lockPath, std::string& why) override;
    void unlockFolder() override;
    // CreateProcessW with the windowsCommandLine of program and arguments,
    // the window maximized (SW_SHOWMAXIMIZED). Throws the system's failure
    // when it fails.
    void start(const std::string& program, const std::vector<std::string>& arguments) override;
    // CreateProcessW without a window (CREATE_NO_WINDOW, SW_HIDE); the wait
    // is cut into 50 ms slices for `whileWaiting`. A program still running
    // after the patience is ended with TerminateProcess.
    std::optional<int> runToEnd(const std::string& program,
                                const std::vector<std::string>& arguments,
                                std::chrono::milliseconds patience,
                                const std::function<void()>& whileWaiting) override;

    // The name of the instance mark for an executable path.
    static std::wstring instanceMarkName(const std::wstring& executablePath);

private:
    UniqueHandle instanceMark_;
    UniqueHandle folderLock_;
    // Since when every open of the lock file was denied: a file its last
    // holder closed stands pending deletion for a moment; after a second it
    // is opened to be kept instead.
    std::optional<std::chrono::steady_clock::time_point> deniedSince_;
};

}  // namespace morvane::win32
