#include "platform/win32/file_system.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "base/scope_guard.h"
#include "base/win32/unique_handle.h"
#include "base/win32/wide.h"
#include "platform/win32/long_path.h"
#include "platform/win32/os_error.h"

namespace morvane::win32 {

namespace {

// ReadFile and WriteFile take at most a DWORD of bytes per call.
constexpr std::size_t MaxChunk = 1u << 30;

DWORD chunkOf(std::size_t remaining) {
    return static_cast<DWORD>(std::min(remaining, MaxChunk));
}

class Win32ReadableFile : public ReadableFile {
public:
    explicit Win32ReadableFile(UniqueHandle file) : file_(std::move(file)) {}

    std::size_t read(char* buffer, std::size_t count) override {
        std::size_t done = 0;
        while (done < count) {
            DWORD got = 0;
            if (!ReadFile(file_.get(), buffer + done, chunkOf(count - done), &got, nullptr)) {
                const DWORD error = GetLastError();
                throw osFailure(error);
            }
            if (got == 0) {
                break;
            }
            done += got;
        }
        return done;
    }

    std::int64_t size() override {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file_.get(), &size)) {
            const DWORD error = GetLastError();
            throw osFailure(error);
        }
        return size.QuadPart;
    }

    void seek(std::int64_t offset) override {
        LARGE_INTEGER distance{};
        distance.QuadPart = offset;
        if (!SetFilePointerEx(file_.get(), distance, nullptr, FILE_BEGIN)) {
            const DWORD error = GetLastError();
            throw osFailure(error);
        }
    }

private:
    UniqueHandle file_;
};

class Win32WritableFile : public WritableFile {
public:
    // `durable`: close() flushes what was written since the last flush.
    Win32WritableFile(UniqueHandle file, bool durable)
        : file_(std::move(file)), durable_(durable) {}

    void write(const char* data, std::size_t count) override {
        if (!file_.valid()) {
            throw Failure::of(err::InvalidCall);
        }
        unflushed_ = true;
        std::size_t done = 0;
        while (done < count) {
            DWORD put = 0;
            if (!WriteFile(file_.get(), data + done, chunkOf(count - done), &put, nullptr)) {
                const DWORD error = GetLastError();
                throw osFailure(error);
            }
            done += put;
        }
    }

    void flush() override {
        if (!FlushFileBuffers(file_.get())) {
            const DWORD error = GetLastError();
            throw osFailure(error);
        }
        unflushed_ = false;
    }

    void close() override {
        if (file_.valid() && durable_ && unflushed_) {
            flush();
        }
        if (!file_.close()) {
            const DWORD error = GetLastError();
            throw osFailure(error);
        }
    }

private:
    UniqueHandle file_;
    bool durable_;
    bool unflushed_ = false;
};

DWORD shareModeOf(Sharing othersMay) {
    switch (othersMay) {
        case Sharing::ReadWrite:
            return FILE_SHARE_READ | FILE_SHARE_WRITE;
        case Sharing::Write:
            return FILE_SHARE_WRITE;
        case Sharing::Read:
            return FILE_SHARE_READ;
        case Sharing::Nothing:
            break;
    }
    return 0;
}

}  // namespace

std::optional<EntryKind> Win32FileSystem::entryKind(const std::string& path) {
    const DWORD bits = GetFileAttributesW(longPath(path).c_str());
    if (bits == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    if ((bits & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return EntryKind::Folder;
    }
    // The volume label bit, which no constant of the headers names any more.
    constexpr DWORD kVolumeLabel = 8;
    return (bits & kVolumeLabel) != 0 ? EntryKind::Other : EntryKind::File;
}

bool Win32FileSystem::isLinkOrDevice(const std::string& path) {
    // The entry's own attributes and reparse tag, as a folder listing has
    // them: a symbolic link or a junction is not followed here. Other
    // reparse points (a file of a cloud folder kept online only) are plain
    // files to their users.
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(longPath(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(search);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) {
        return true;
    }
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
            found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
}

std::vector<std::string> Win32FileSystem::fileNamesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::string pattern = folder;
    if (!pattern.empty() && pattern.back() != '\\') {
        pattern += '\\';
    }
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(longPath(pattern + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    const ScopeGuard close([search] { FindClose(search); });
    do {
        constexpr DWORD kNotPlain =
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;
        if ((found.dwFileAttributes & kNotPlain) == 0) {
            names.push_back(narrow(found.cFileName));
        }
    } while (FindNextFileW(search, &found));
    return names;
}

void Win32FileSystem::createFolder(const std::string& path) {
    if (!CreateDirectoryW(longPath(path).c_str(), nullptr)) {
        const DWORD error = GetLastError();
        throw osFailure(error);
    }
}

void Win32FileSystem::deleteFile(const std::string& path) {
    if (!DeleteFileW(longPath(path).c_str())) {
        const DWORD error = GetLastError();
        throw osFailure(error);
    }
}

void Win32FileSystem::moveFile(const std::string& from, const std::string& to) {
    if (!MoveFileW(longPath(from).c_str(), longPath(to).c_str())) {
        const DWORD error = GetLastError();
        throw osFailure(error);
    }
}

void Win32FileSystem::replaceFile(const std::string& from, const std::string& to) {
    const std::wstring source = longPath(from);
    const std::wstring target = longPath(to);
    // Windows refuses to replace a read-only file: a record or an
    // application file someone marked so loses the mark, as it is replaced
    // anyway.
    const DWORD bits = GetFileAttributesW(target.c_str());
    if (bits != INVALID_FILE_ATTRIBUTES && (bits & FILE_ATTRIBUTE_READONLY) != 0 &&
        (bits & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        SetFileAttributesW(target.c_str(), bits & ~DWORD{FILE_ATTRIBUTE_READONLY});
    }
    if (!MoveFileExW(source.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        throw osFailure(error);
    }
}

std::unique_ptr<ReadableFile> Win32FileSystem::openForReading(const std::string& path,
                                                              Sharing othersMay) {
    const DWORD share = shareModeOf(othersMay);
    UniqueHandle file(CreateFileW(longPath(path).c_str(), GENERIC_READ, share, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = GetLastError();
    if (!file.valid()) {
        throw osFailure(error);
    }
    return std::make_unique<Win32ReadableFile>(std::move(file));
}

std::unique_ptr<WritableFile> Win32FileSystem::createNew(const std::string& path) {
    UniqueHandle file(CreateFileW(longPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = GetLastError();
    if (!file.valid()) {
        throw osFailure(error);
    }
    return std::make_unique<Win32WritableFile>(std::move(file), true);
}

std::unique_ptr<WritableFile> Win32FileSystem::openForAppending(const std::string& path) {
    // Append-only access: every write lands at the end, also beside other
    // writers, and the sharing lets the file be read, renamed or deleted.
    UniqueHandle file(CreateFileW(longPath(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = GetLastError();
    if (!file.valid()) {
        throw osFailure(error);
    }
    return std::make_unique<Win32WritableFile>(std::move(file), false);
}

bool Win32FileSystem::inUse(const std::string& path) {
    // A move needs every open of the file to share delete access. Asking for
    // delete access while sharing everything ourselves fails exactly then:
    // a program with the file open for editing is in the way, a scanner,
    // indexer or backup that shares everything is not.
    UniqueHandle file(CreateFileW(longPath(path).c_str(), DELETE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = GetLastError();
    if (file.valid()) {
        return false;
    }
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

LocalTime Win32Clock::now() {
    SYSTEMTIME time{};
    GetLocalTime(&time);
    return LocalTime{time.wYear,   time.wMonth,  time.wDay,         time.wHour,
                     time.wMinute, time.wSecond, time.wMilliseconds};
}

}  // namespace morvane::win32
