#include "platform/posix/process.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/posix/os_error.h"
#include "platform/posix/path_mapping.h"

extern char** environ;

namespace morvane::posix {
namespace {

// The running executable's host path.
std::string hostExecutablePath() {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            const int error = errno;
            throw errnoFailure(error);
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string windowsExecutablePath() {
    return toWindowsPath(hostExecutablePath());
}

bool isRegularFile(const std::string& hostPath) {
    struct stat info {};
    return stat(hostPath.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The host file for a program named in a command line: a name with a folder
// is mapped from its Windows path; a bare name is searched in PATH, as Windows
// searches its own. nullopt when it has no place on this host or is not found.
std::optional<std::string> hostProgram(const std::string& windowsName) {
    if (windowsName.find_first_of("\\/:") != std::string::npos) {
        return toPosixPath(windowsName);
    }
    const char* searchPath = std::getenv("PATH");
    std::string folders = searchPath != nullptr ? searchPath : "/usr/bin:/bin";
    std::size_t begin = 0;
    for (;;) {
        const std::size_t end = folders.find(':', begin);
        std::string folder = folders.substr(begin, end - begin);
        const std::string candidate =
            (folder.empty() ? std::string(".") : folder) + "/" + windowsName;
        if (isRegularFile(candidate)) {
            return candidate;
        }
        if (end == std::string::npos) {
            return std::nullopt;
        }
        begin = end + 1;
    }
}

bool isAbsoluteWindowsPath(const std::string& text) {
    return text.size() >= 3 &&
           ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')) &&
           text[1] == ':' && (text[2] == '\\' || text[2] == '/');
}

// Reports errno to the waiting parent through the pipe and ends the process.
// Only async-signal-safe calls: this runs between fork and exec.
[[noreturn]] void reportAndExit(int pipeFd, int error) {
    [[maybe_unused]] const ssize_t written = write(pipeFd, &error, sizeof(error));
    _exit(127);
}

}  // namespace

std::string PosixProcess::executableFolder() {
    const std::string path = windowsExecutablePath();
    const std::size_t separator = path.rfind('\\');
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

std::string PosixProcess::executableName() {
    const std::string path = windowsExecutablePath();
    const std::size_t separator = path.rfind('\\');
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string PosixProcess::fileVersion() {
    return MORVANE_VERSION;
}

std::string PosixProcess::userName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_name == nullptr) {
        return {};
    }
    return found->pw_name;
}

std::string PosixProcess::computerName() {
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0) {
        return {};
    }
    return name.data();
}

bool PosixProcess::anotherInstanceRunning() {
    if (instanceMark_.valid()) {
        return false;
    }
    // Abstract socket names are at most 107 bytes, so the path enters the name
    // as a 64-bit FNV-1a hash.
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : hostExecutablePath()) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    std::string name = "MorvaneUpdater.";
    for (int shift = 60; shift >= 0; shift -= 4) {
        name += "0123456789ABCDEF"[(hash >> shift) & 0xF];
    }

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // sun_path[0] stays 0: the abstract namespace.
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());

    // CLOEXEC: a program the updater starts must not inherit the mark.
    UniqueFd mark(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!mark.valid()) {
        const int error = errno;
        throw errnoFailure(error);
    }
    if (bind(mark.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        const int error = errno;
        if (error == EADDRINUSE) {
            return true;
        }
        throw errnoFailure(error);
    }
    instanceMark_ = std::move(mark);
    return false;
}

bool PosixProcess::lockFolder(const std::string& lockPath, std::string& why) {
    if (folderLock_.valid()) {
        return true;
    }
    const std::optional<std::string> path = toPosixPath(lockPath);
    if (!path) {
        why = "no path of this host";
        return false;
    }
    // A link at the lock's place is not followed out of the folder.
    const auto open = [&] {
        return UniqueFd(::open(path->c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
    };
    UniqueFd lock = open();
    if (!lock.valid() && errno == ENOENT) {
        const std::size_t separator = path->rfind('/');
        if (separator != std::string::npos && separator > 0) {
            ::mkdir(path->substr(0, separator).c_str(), 0777);
            lock = open();
        }
    }
    if (!lock.valid()) {
        const int error = errno;
        why = errnoFailure(error).description();
        return false;
    }
    struct stat status {};
    if (::fstat(lock.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        why = "no plain file is at its place";
        return false;
    }
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        why = error == EWOULDBLOCK ? "another run holds it" : errnoFailure(error).description();
        return false;
    }
    folderLock_ = std::move(lock);
    return true;
}

void PosixProcess::unlockFolder() {
    folderLock_ = UniqueFd();
}

void PosixProcess::start(const std::string& program, const std::vector<std::string>& arguments) {
    const std::optional<std::string> hostPath = hostProgram(program);
    if (!hostPath) {
        throw Failure::of(err::FileNotFound);
    }
    std::vector<std::string> words{*hostPath};
    for (const std::string& argument : arguments) {
        const std::optional<std::string> host =
            isAbsoluteWindowsPath(argument) ? toPosixPath(argument) : std::nullopt;
        words.push_back(host.value_or(argument));
    }
    // Everything the new process needs is prepared before fork: between fork
    // and exec only async-signal-safe calls are allowed.
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    // The pipe closes on exec; an exec failure sends errno through it instead.
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        const int error = errno;
        throw errnoFailure(error);
    }
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);

    // Fork twice: the program becomes a child of init, so the updater neither
    // waits for it nor leaves it a zombie, and it runs in a session of its own.
    const pid_t middle = fork();
    if (middle < 0) {
        const int error = errno;
        throw errnoFailure(error);
    }
    if (middle == 0) {
        readEnd.reset();
        const pid_t programPid = fork();
        if (programPid < 0) {
            reportAndExit(writeEnd.get(), errno);
        }
        if (programPid == 0) {
            setsid();
            execve(argv[0], argv.data(), environ);
            reportAndExit(writeEnd.get(), errno);
        }
        _exit(0);
    }
    writeEnd.reset();
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }

    int error = 0;
    ssize_t got = 0;
    do {
        got = read(readEnd.get(), &error, sizeof(error));
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof(error))) {
        throw errnoFailure(error);
    }
}

std::optional<int> PosixProcess::runToEnd(const std::string& program,
                                          const std::vector<std::string>& arguments,
                                          std::chrono::milliseconds patience,
                                          const std::function<void()>& whileWaiting) {
    const std::optional<std::string> hostPath = toPosixPath(program);
    struct stat status {};
    if (!hostPath || ::stat(hostPath->c_str(), &status) != 0) {
        throw Failure::of(err::FileNotFound);
    }
    const mode_t readable = status.st_mode & (S_IRUSR | S_IRGRP | S_IROTH);
    if (::chmod(hostPath->c_str(), status.st_mode | (readable >> 2)) != 0) {
        const int error = errno;
        throw errnoFailure(error);
    }
    std::vector<std::string> words{*hostPath};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (const int error = posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ);
        error != 0) {
        throw errnoFailure(error);
    }
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    for (;;) {
        int exit = 0;
        const pid_t ended = waitpid(child, &exit, WNOHANG);
        if (ended == child) {
            return WIFEXITED(exit) ? WEXITSTATUS(exit) : 128 + WTERMSIG(exit);
        }
        if (ended < 0 && errno != EINTR) {
            const int error = errno;
            throw errnoFailure(error);
        }
        if (std::chrono::steady_clock::now() >= giveUp) {
            ::kill(child, SIGKILL);
            while (waitpid(child, &exit, 0) < 0 && errno == EINTR) {
            }
            return std::nullopt;
        }
        if (whileWaiting) {
            whileWaiting();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace morvane::posix
