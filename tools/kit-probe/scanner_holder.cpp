// scanner-holder: a handle as virus scanners hold a fresh file (sharing read,
// write and delete) does not make it "in use", one without delete sharing
// does; a target so held is replaced by the run's patient file system once
// the holder lets go within the patience, and the replacement fails when it
// does not.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "base/failure.h"
#include "base/win32/wide.h"
#include "install/patient_file_system.h"
#include "kit_probe.h"
#include "platform/win32/file_system.h"

namespace morvane::kit {
namespace {

using win32::narrow;
using win32::UniqueHandle;

// The patient file system's retries, shown in the check's output.
class PrintedRunLog : public RunLog {
public:
    void note(const std::string& event) noexcept override { std::printf("  %s\n", event.c_str()); }
};

UniqueHandle holdFile(const std::wstring& file, DWORD sharing) {
    return UniqueHandle(CreateFileW(file.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool write(const std::wstring& file, const std::string& content) {
    std::ofstream out(std::filesystem::path(file), std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

std::string read(const std::wstring& file) {
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// FileHolder.exe holding `file` with full sharing until `release` appears.
std::optional<StartedProgram> startScanner(const std::wstring& file, const std::wstring& release) {
    const std::wstring ready = release + L".ready";
    auto holder = startProgram(L"\"" + kitFolder() + L"\\FileHolder.exe\" \"" + file +
                               L"\" --share-all --seconds 60 --ready-file \"" + ready +
                               L"\" --release-file \"" + release + L"\"");
    for (int i = 0; holder && i < 200 && !exists(ready); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (holder && !exists(ready)) {
        std::puts("FileHolder.exe did not take the file");
        TerminateProcess(holder->process.get(), 1);
        return std::nullopt;
    }
    return holder;
}

void letGo(const StartedProgram& holder, const std::wstring& release) {
    write(release, "");
    WaitForSingleObject(holder.process.get(), 10000);
}

// The holder's handle keeps a plain replacement out; 3 when it does not.
int replacementRefused(win32::Win32FileSystem& files, const std::wstring& source,
                       const std::wstring& target) {
    try {
        files.replaceFile(narrow(source), narrow(target));
    } catch (const Failure& failure) {
        std::printf("replacing the held target: error %d (%s)\n", failure.number(),
                    failure.description().c_str());
        return 0;
    }
    std::puts("the held target was replaced at once: this file system lets a held file go");
    return kCannotJudge;
}

int inUseAsked(win32::Win32FileSystem& files, const std::wstring& file) {
    bool passed = true;
    {
        const UniqueHandle scanner =
            holdFile(file, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        const bool inUse = files.inUse(narrow(file));
        std::printf("held as a scanner holds it: %s\n", inUse ? "in use (wrong)" : "free");
        passed = scanner.valid() && !inUse;
    }
    {
        const UniqueHandle program = holdFile(file, FILE_SHARE_READ | FILE_SHARE_WRITE);
        const bool inUse = files.inUse(narrow(file));
        std::printf("held by a program that shares no delete: %s\n",
                    inUse ? "in use" : "free (wrong)");
        passed = passed && program.valid() && inUse;
    }
    return passed ? 0 : 1;
}

// The holder lets go after `holdMilliseconds` (never within the patience
// when negative); the patient replacement must succeed exactly when it does.
int replacedPatiently(win32::Win32FileSystem& files, const std::wstring& folder,
                      int holdMilliseconds) {
    const std::wstring target = folder + L"\\Mappe.xlsm";
    const std::wstring source = folder + L"\\Mappe.neu";
    const std::wstring release = folder + L"\\release-" + std::to_wstring(holdMilliseconds);
    if (!write(target, "alte Mappe") || !write(source, "neue Mappe")) {
        std::puts("cannot write the files of the check");
        return 1;
    }
    const auto holder = startScanner(target, release);
    if (!holder) {
        return 1;
    }
    int verdict = replacementRefused(files, source, target);
    if (verdict == 0) {
        const bool letsGo = holdMilliseconds >= 0;
        std::printf("the holder lets go %s\n", letsGo ? "within the patience" : "only after it");
        std::thread releaser;
        if (letsGo) {
            releaser = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(holdMilliseconds));
                write(release, "");
            });
        }
        PrintedRunLog log;
        PatientFileSystem patient(files, log);
        bool replaced = false;
        try {
            patient.replaceFile(narrow(source), narrow(target));
            replaced = true;
        } catch (const Failure& failure) {
            std::printf("the patient replacement failed: error %d (%s)\n", failure.number(),
                        failure.description().c_str());
        }
        if (releaser.joinable()) {
            releaser.join();
        }
        const bool newContent = read(target) == "neue Mappe";
        std::printf("replaced: %s; the target holds the new file: %s\n", replaced ? "yes" : "no",
                    newContent ? "yes" : "no");
        verdict = replaced == letsGo && newContent == letsGo ? 0 : 1;
    }
    letGo(*holder, release);
    DeleteFileW(target.c_str());
    DeleteFileW(source.c_str());
    DeleteFileW(release.c_str());
    DeleteFileW((release + L".ready").c_str());
    return verdict;
}

// Pass beats cannot judge; a failure beats both.
int worse(int verdict, int other) {
    if (verdict == 1 || other == 1) return 1;
    return verdict == kCannotJudge || other == kCannotJudge ? kCannotJudge : 0;
}

}  // namespace

int scannerHolder() {
    const std::wstring folder = freshTempFolder(L"scanner");
    const std::wstring file = folder + L"\\Mappe.xlsm";
    if (!write(file, "Mappe")) {
        std::printf("cannot create %s\n", narrow(file).c_str());
        return 1;
    }
    win32::Win32FileSystem files;
    int verdict = 0;
    try {
        verdict = inUseAsked(files, file);
        DeleteFileW(file.c_str());
        std::puts("-- a scanner that lets go within the patience");
        verdict = worse(verdict, replacedPatiently(files, folder, 1500));
        std::puts("-- a scanner that holds on beyond the patience");
        verdict = worse(verdict, replacedPatiently(files, folder, -1));
    } catch (const Failure& failure) {
        std::printf("failure %d: %s\n", failure.number(), failure.description().c_str());
        verdict = 1;
    }
    DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());
    return verdict;
}

}  // namespace morvane::kit
