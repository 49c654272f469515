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

bool PatientFileSystem::waitFor(const std::string& what,
                                const std::function<bool(std::string& why)>& attempt) {
    int waited = 0;
    int next = kFirstPause;
    for (int retry = 1;; ++retry) {
        std::string why;
        if (attempt(why)) {
            return true;
        }
        if (waited >= kPatience) {
            return false;
        }
        const int pause = std::min(next, kPatience - waited);
        std::string line = "Retry " + decimal(retry) + " in " + decimal(pause) + " ms: ";
        line += what;
        line += ": ";
        line += why;
        log_.note(line);
        pause_(pause);
        waited += pause;
        next = std::min(next * 2, kLongestPause);
    }
}

void PatientFileSystem::patiently(const std::string& what, const std::function<void()>& step) {
    std::optional<Failure> last;
    const bool done = waitFor(what, [&](std::string& why) {
        try {
            step();
            return true;
        } catch (const Failure& failure) {
            if (!isPassing(failure)) {
                throw;
            }
            why = failure.description() + " (" + decimal(failure.number()) + ")";
            last = failure;
            return false;
        }
    });
    if (!done) {
        throw *last;
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
    // A stale file of the same name that a share keeps pending deletion
    // denies the creation for a while.
    std::unique_ptr<WritableFile> created;
    patiently("create " + path, [&] { created = host_.createNew(path); });
    return created;
}

std::unique_ptr<WritableFile> PatientFileSystem::createNewFlushedLater(const std::string& path) {
    std::unique_ptr<WritableFile> created;
    patiently("create " + path, [&] { created = host_.createNewFlushedLater(path); });
    return created;
}

void PatientFileSystem::flushFiles(const std::vector<std::string>& paths) {
    host_.flushFiles(paths);
}

std::unique_ptr<WritableFile> PatientFileSystem::openForAppending(const std::string& path) {
    return host_.openForAppending(path);
}

bool PatientFileSystem::isLinkOrDevice(const std::string& path) {
    return host_.isLinkOrDevice(path);
}

bool PatientFileSystem::inUse(const std::string& path) {
    // A scanner's open is over in a moment; a program's stays past the
    // patience, and only that one is the user's to close.
    return !waitFor("in use " + path, [&](std::string& why) {
        why = "held by another program";
        return !host_.inUse(path);
    });
}

}  // namespace morvane
