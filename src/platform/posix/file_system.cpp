#include "platform/posix/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <limits>
#include <memory>
#include <set>
#include <utility>

#include "base/posix/unique_fd.h"
#include "platform/posix/os_error.h"
#include "platform/posix/path_mapping.h"

namespace morvane::posix {

namespace {

// The host path, or failure 75 for a path that has no place on this host.
std::string hostPath(const std::string& windowsPath) {
    std::optional<std::string> mapped = toPosixPath(windowsPath);
    if (!mapped) {
        throw Failure::of(err::PathAccess);
    }
    return *mapped;
}

// Takes an advisory whole-file lock without waiting; a conflict is failure 70.
void lockWithoutWaiting(int fd, int operation) {
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0) {
            return;
        }
        const int error = errno;
        if (error != EINTR) {
            throw errnoFailure(error);
        }
    }
}

// Opens `path` with `flags`; a directory is refused with 70, as opening a
// folder as a file is on Windows (POSIX would open it for reading).
UniqueFd openExistingFile(const std::string& path, int flags) {
    UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC, 0666));
    if (!fd.valid()) {
        const int error = errno;
        throw errnoFailure(error);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        const int error = errno;
        throw errnoFailure(error);
    }
    if (S_ISDIR(info.st_mode)) {
        throw Failure::of(err::AccessDenied);
    }
    return fd;
}

// Creates the file at the host path `target`, failing when one exists, and
// locks it as a Windows file created without sharing shuts out others.
UniqueFd createLocked(const std::string& target) {
    UniqueFd fd(::open(target.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666));
    if (!fd.valid()) {
        const int error = errno;
        throw errnoFailure(error);
    }
    try {
        lockWithoutWaiting(fd.get(), LOCK_EX);
    } catch (...) {
        // Someone locked the file between its creation and ours: it was
        // never written, so it goes again.
        ::unlink(target.c_str());
        throw;
    }
    return fd;
}

class PosixReadableFile : public ReadableFile {
public:
    explicit PosixReadableFile(UniqueFd fd) : fd_(std::move(fd)) {}

    std::size_t read(char* buffer, std::size_t count) override {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t got = ::read(fd_.get(), buffer + done, count - done);
            if (got < 0) {
                const int error = errno;
                if (error == EINTR) {
                    continue;
                }
                throw errnoFailure(error);
            }
            if (got == 0) {
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

    std::int64_t size() override {
        struct stat info {};
        if (::fstat(fd_.get(), &info) != 0) {
            const int error = errno;
            throw errnoFailure(error);
        }
        return static_cast<std::int64_t>(info.st_size);
    }

    void seek(std::int64_t offset) override {
        if (offset < 0 || offset > std::numeric_limits<off_t>::max()) {
            throw Failure::of(err::InvalidCall);
        }
        if (::lseek(fd_.get(), static_cast<off_t>(offset), SEEK_SET) < 0) {
            const int error = errno;
            throw errnoFailure(error);
        }
    }

private:
    UniqueFd fd_;
};

class PosixWritableFile : public WritableFile {
public:
    // `durable`: close() flushes what was written since the last flush.
    PosixWritableFile(UniqueFd fd, bool durable) : fd_(std::move(fd)), durable_(durable) {}

    void write(const char* data, std::size_t count) override {
        if (!fd_.valid()) {
            throw Failure::of(err::InvalidCall);
        }
        unflushed_ = true;
        std::size_t done = 0;
        while (done < count) {
            const ssize_t put = ::write(fd_.get(), data + done, count - done);
            if (put < 0) {
                const int error = errno;
                if (error == EINTR) {
                    continue;
                }
                throw errnoFailure(error);
            }
            done += static_cast<std::size_t>(put);
        }
    }

    void flush() override {
        if (!fd_.valid()) {
            throw Failure::of(err::InvalidCall);
        }
        if (::fsync(fd_.get()) != 0) {
            const int error = errno;
            throw errnoFailure(error);
        }
        unflushed_ = false;
    }

    void close() override {
        if (!fd_.valid()) {
            return;
        }
        if (durable_ && unflushed_) {
            flush();
        }
        // Linux frees the descriptor even when close() reports EINTR, and a
        // local file has no data in flight then, so only other errors count.
        if (::close(fd_.release()) != 0) {
            const int error = errno;
            if (error != EINTR) {
                throw errnoFailure(error);
            }
        }
    }

private:
    UniqueFd fd_;
    bool durable_;
    bool unflushed_ = false;
};

}  // namespace

std::optional<EntryKind> PosixFileSystem::entryKind(const std::string& path) {
    const std::optional<std::string> mapped = toPosixPath(path);
    if (!mapped) {
        return std::nullopt;
    }
    struct stat info {};
    if (::stat(mapped->c_str(), &info) != 0) {
        return std::nullopt;
    }
    return S_ISDIR(info.st_mode) ? EntryKind::Folder : EntryKind::File;
}

bool PosixFileSystem::isLinkOrDevice(const std::string& path) {
    const std::optional<std::string> mapped = toPosixPath(path);
    struct stat info {};
    if (!mapped || ::lstat(mapped->c_str(), &info) != 0) {
        return false;
    }
    return !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

std::vector<std::string> PosixFileSystem::fileNamesIn(const std::string& folder) {
    std::vector<std::string> names;
    const std::optional<std::string> mapped = toPosixPath(folder);
    if (!mapped) {
        return names;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(mapped->c_str()), ::closedir);
    if (!listing) {
        return names;
    }
    while (const dirent* entry = ::readdir(listing.get())) {
        struct stat info {};
        const std::string path = *mapped + "/" + entry->d_name;
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            names.emplace_back(entry->d_name);
        }
    }
    return names;
}

void PosixFileSystem::createFolder(const std::string& path) {
    const std::string target = hostPath(path);
    if (::mkdir(target.c_str(), 0777) != 0) {
        const int error = errno;
        throw errnoFailure(error);
    }
}

void PosixFileSystem::deleteFile(const std::string& path) {
    const std::string target = hostPath(path);
    // unlink() refuses directories (EISDIR on Linux, EPERM elsewhere).
    if (::unlink(target.c_str()) != 0) {
        const int error = errno;
        throw errnoFailure(error);
    }
}

void PosixFileSystem::moveFile(const std::string& from, const std::string& to) {
    const std::string source = hostPath(from);
    const std::string target = hostPath(to);
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return;
    }
    const int renameError = errno;
    // Only a file system or kernel without the flag falls through to the
    // link-and-unlink way; every other error is the answer.
    if (renameError != EINVAL && renameError != ENOSYS && renameError != ENOTSUP) {
        throw errnoFailure(renameError);
    }
#endif
    // link() never replaces an existing target (EEXIST), so no file is lost.
    if (::link(source.c_str(), target.c_str()) != 0) {
        const int error = errno;
        throw errnoFailure(error);
    }
    if (::unlink(source.c_str()) != 0) {
        const int error = errno;
        ::unlink(target.c_str());
        throw errnoFailure(error);
    }
}

void PosixFileSystem::replaceFile(const std::string& from, const std::string& to) {
    const std::string source = hostPath(from);
    const std::string target = hostPath(to);
    if (::rename(source.c_str(), target.c_str()) != 0) {
        const int error = errno;
        throw errnoFailure(error);
    }
}

void PosixFileSystem::syncFolder(const std::string& path) {
    UniqueFd folder(::open(hostPath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) {
        const int error = errno;
        throw errnoFailure(error);
    }
    // A rename is in the folder's own data, which only its fsync makes
    // durable; file systems that cannot sync a folder have nothing to do.
    if (::fsync(folder.get()) != 0) {
        const int error = errno;
        if (error != EINVAL && error != EROFS) {
            throw errnoFailure(error);
        }
    }
}

std::unique_ptr<ReadableFile> PosixFileSystem::openForReading(const std::string& path,
                                                              Sharing othersMay) {
    UniqueFd fd = openExistingFile(hostPath(path), O_RDONLY);
    if (othersMay == Sharing::Read) {
        lockWithoutWaiting(fd.get(), LOCK_SH);
    } else if (othersMay == Sharing::Nothing) {
        lockWithoutWaiting(fd.get(), LOCK_EX);
    }
    return std::make_unique<PosixReadableFile>(std::move(fd));
}

std::unique_ptr<WritableFile> PosixFileSystem::createNew(const std::string& path) {
    return std::make_unique<PosixWritableFile>(createLocked(hostPath(path)), true);
}

std::unique_ptr<WritableFile> PosixFileSystem::createNewFlushedLater(const std::string& path) {
    return std::make_unique<PosixWritableFile>(createLocked(hostPath(path)), false);
}

void PosixFileSystem::flushFiles(const std::vector<std::string>& paths) {
#ifdef __linux__
    std::set<dev_t> flushed;
    for (const std::string& path : paths) {
        const UniqueFd fd = openExistingFile(hostPath(path), O_RDONLY);
        struct stat info {};
        if (::fstat(fd.get(), &info) != 0) {
            const int error = errno;
            throw errnoFailure(error);
        }
        if (flushed.insert(info.st_dev).second && ::syncfs(fd.get()) != 0) {
            const int error = errno;
            throw errnoFailure(error);
        }
    }
#else
    for (const std::string& path : paths) {
        const UniqueFd fd = openExistingFile(hostPath(path), O_RDONLY);
        if (::fsync(fd.get()) != 0) {
            const int error = errno;
            throw errnoFailure(error);
        }
    }
#endif
}

std::unique_ptr<WritableFile> PosixFileSystem::openForAppending(const std::string& path) {
    return std::make_unique<PosixWritableFile>(
        openExistingFile(hostPath(path), O_CREAT | O_APPEND | O_WRONLY), false);
}

bool PosixFileSystem::inUse(const std::string& path) {
    const std::optional<std::string> mapped = toPosixPath(path);
    if (!mapped) {
        return false;
    }
    UniqueFd fd(::open(mapped->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        return false;
    }
    // Whole-file locks of this adapter and of programs that use flock().
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK;
    }
    ::flock(fd.get(), LOCK_UN);
#ifdef F_OFD_GETLK
    // Record locks, which office programs take on the documents they edit.
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    if (::fcntl(fd.get(), F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) {
        return true;
    }
#endif
    return false;
}

LocalTime PosixClock::now() {
    timespec precise{};
    if (::clock_gettime(CLOCK_REALTIME, &precise) != 0) {
        const int error = errno;
        throw errnoFailure(error);
    }
    const std::time_t seconds = precise.tv_sec;
    std::tm local{};
    if (::localtime_r(&seconds, &local) == nullptr) {
        const int error = errno;
        throw errnoFailure(error);
    }
    return LocalTime{local.tm_year + 1900,
                     local.tm_mon + 1,
                     local.tm_mday,
                     local.tm_hour,
                     local.tm_min,
                     local.tm_sec,
                     static_cast<int>(precise.tv_nsec / 1'000'000)};
}

}  // namespace morvane::posix
