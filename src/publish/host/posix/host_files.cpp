#include "publish/host/host_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "base/posix/unique_fd.h"

namespace morvane::publish {
namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int error) {
    throw std::runtime_error(what + " " + path + ": " + std::strerror(error));
}

EntryInfo infoOf(const struct stat& status) {
    EntryInfo info;
    info.kind = S_ISREG(status.st_mode)   ? EntryKind::File
                : S_ISDIR(status.st_mode) ? EntryKind::Folder
                                          : EntryKind::Other;
    info.size = info.kind == EntryKind::File ? static_cast<std::uint64_t>(status.st_size) : 0;
    info.identity = {static_cast<std::uint64_t>(status.st_dev),
                     static_cast<std::uint64_t>(status.st_ino)};
    return info;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

EntryInfo entryAt(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return {};
    }
    return infoOf(status);
}

std::vector<ListedEntry> listFolder(const std::string& folder) {
    const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) {
        fail("cannot list", folder, errno);
    }
    std::vector<ListedEntry> entries;
    errno = 0;
    while (const dirent* found = readdir(dir.get())) {
        const std::string name = found->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat status {};
        if (fstatat(dirfd(dir.get()), found->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
            fail("cannot list", folder, errno);
        }
        ListedEntry entry{name, S_ISLNK(status.st_mode), {}};
        // A link leads to what the followed status says; one that leads
        // nowhere stays Missing.
        const bool known = !entry.link || fstatat(dirfd(dir.get()), found->d_name, &status, 0) == 0;
        if (known) {
            entry.target = infoOf(status);
        }
        entry.target.identity = {};
        entries.push_back(std::move(entry));
        errno = 0;
    }
    if (errno != 0) {
        fail("cannot list", folder, errno);
    }
    return entries;
}

struct InputFile::State {
    posix::UniqueFd fd;
    std::string path;
};

InputFile::InputFile(const std::string& path) : state_(std::make_unique<State>()) {
    state_->path = path;
    state_->fd = posix::UniqueFd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!state_->fd.valid()) {
        fail("cannot read", path, errno);
    }
}
InputFile::~InputFile() = default;
InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;

std::size_t InputFile::read(char* into, std::size_t count) {
    for (;;) {
        const ssize_t got = ::read(state_->fd.get(), into, count);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            fail("cannot read", state_->path, errno);
        }
    }
}

std::size_t InputFile::readAt(std::uint64_t offset, char* into, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got =
            pread(state_->fd.get(), into + done, count - done, static_cast<off_t>(offset + done));
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("cannot read", state_->path, errno);
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

struct OutputFile::State {
    posix::UniqueFd fd;
    std::string path;
};

OutputFile::OutputFile(const std::string& path) : state_(std::make_unique<State>()) {
    state_->path = path;
    state_->fd =
        posix::UniqueFd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!state_->fd.valid()) {
        fail("cannot write", path, errno);
    }
}
OutputFile::~OutputFile() = default;
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;

void OutputFile::write(const char* data, std::size_t count) {
    while (count > 0) {
        const ssize_t put = ::write(state_->fd.get(), data, count);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("cannot write", state_->path, errno);
        }
        data += put;
        count -= static_cast<std::size_t>(put);
    }
}

void OutputFile::finish() {
    if (::close(state_->fd.release()) != 0) {
        fail("cannot write", state_->path, errno);
    }
}

void createFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        fail("cannot create the folder", path, errno);
    }
}

void renameEntry(const std::string& from, const std::string& to) {
    struct stat status {};
    if (lstat(to.c_str(), &status) == 0) {
        fail("cannot rename " + from + " to", to, EEXIST);
    }
    if (rename(from.c_str(), to.c_str()) != 0) {
        fail("cannot rename " + from + " to", to, errno);
    }
}

void removeEntry(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        return;
    }
    const int result = S_ISDIR(status.st_mode) ? rmdir(path.c_str()) : unlink(path.c_str());
    if (result != 0 && errno != ENOENT) {
        fail("cannot delete", path, errno);
    }
}

}  // namespace morvane::publish
