#include "install/patient_file_system.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "base/text.h"

namespace morvane {
namespace {

constexpr int kWindowsAccessDenied = 5;
constexpr int kWindowsSharingViolation = 32;
constexpr int kWindowsLockViolation = 33;

}  // namespace

PatientFileSystem::PatientFileSystem(FileSystem& host, RunLog& log, Pause pause)
    : host_(host), log_(log), pause_(std::move(pause)) {}

bool PatientFileSystem::isPassing(const Failure& failure) {
    switch (failure.origin()) {
        case FailureOrigin::Windows:
            return failure.number() == kWindowsAccessDenied ||
                   failure.number() == kWindowsSharingViolation ||
                   failure.number() == kWindowsLockViolation;
        case FailureOrigin::Catalogue:
            return failure.number() == err::AccessDenied;
        default:
            return false;
    }
}

void PatientFileSystem::sleep(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void PatientFileSystem::patiently(const std::string& what, const std::function<void()>& step) {
    int waited = 0;
    int next = kFirstPause;
    for (int retry = 1;; ++retry) {
        try {
            step();
            return;
        } catch (const Failure& failure) {
            if (!isPassing(failure) || waited >= kPatience) {
                throw;
            }
            const int pause = std::min(next, kPatience - waited);
            log_.note("Retry " + decimal(retry) + " in " + decimal(pause) + " ms: " + what + ": " +
                      failure.description() + " (" + decimal(failure.number()) + ")");
            pause_(pause);
            waited += pause;
            next = std::min(next * 2, kLongestPause);
        }
    }
}

std::optional<EntryKind> PatientFileSystem::entryKind(const std::string& path) {
    return host_.entryKind(path);
}

void PatientFileSystem::createFolder(const std::string& path) {
    host_.createFolder(path);
}

void PatientFileSystem::deleteFile(const std::string& path) {
    patiently("delete " + path, [&] { host_.deleteFile(path); });
}

void PatientFileSystem::moveFile(const std::string& from, const std::string& to) {
    patiently("move " + from + " to " + to, [&] { host_.moveFile(from, to); });
}

void PatientFileSystem::replaceFile(const std::string& from, const std::string& to) {
    patiently("replace " + to + " with " + from, [&] { host_.replaceFile(from, to); });
}

void PatientFileSystem::syncFolder(const std::string& path) {
    host_.syncFolder(path);
}

std::unique_ptr<ReadableFile> PatientFileSystem::openForReading(const std::string& path,
                                                                Sharing othersMay) {
    return host_.openForReading(path, othersMay);
}

std::unique_ptr<WritableFile> PatientFileSystem::createNew(const std::string& path) {
    return host_.createNew(path);
}

std::unique_ptr<WritableFile> PatientFileSystem::createNewFlushedLater(const std::string& path) {
    return host_.createNewFlushedLater(path);
}

void PatientFileSystem::flushFiles(const std::vector<std::string>& paths) {
    host_.flushFiles(paths);
}

std::unique_ptr<WritableFile> PatientFileSystem::openForAppending(const std::string& path) {
    return host_.openForAppending(path);
}

bool PatientFileSystem::inUse(const std::string& path) {
    return host_.inUse(path);
}

}  // namespace morvane
