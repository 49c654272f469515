#include "publish/host/host_files.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

#include "base/text.h"
#include "base/win32/unique_handle.h"
#include "base/win32/wide.h"
#include "platform/win32/long_path.h"
#include "platform/win32/os_error.h"

namespace morvane::publish {
namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, DWORD error) {
    throw std::runtime_error(what + " " + path + ": " + win32::englishErrorText(error));
}

bool isAbsolute(const std::string& path) {
    const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool share = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
                       (path[1] == '\\' || path[1] == '/');
    return drive || share;
}

// The "\\?\" form of the whole path: a relative path is taken from the
// current folder first, since that form has no current folder.
std::wstring hostPath(const std::string& path) {
    if (path.empty() || isAbsolute(path)) {
        return win32::longPath(path);
    }
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    std::wstring current(length, L'\0');
    current.resize(GetCurrentDirectoryW(length, current.data()));
    return win32::longPath(win32::narrow(current) + "\\" + path);
}

bool isLinkTag(DWORD tag) {
    return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT;
}

// Owns a FindFirstFileExW search.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            FindClose(handle_);
        }
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

EntryInfo entryAt(const std::string& path) {
    const std::wstring host = hostPath(path);
    // Opening follows links; backup semantics opens folders too.
    const win32::UniqueHandle handle(CreateFileW(
        host.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    EntryInfo info;
    BY_HANDLE_FILE_INFORMATION data{};
    if (handle.valid() && GetFileInformationByHandle(handle.get(), &data)) {
        info.kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder
                                                                       : EntryKind::File;
        info.identity = {data.dwVolumeSerialNumber,
                         std::uint64_t{data.nFileIndexHigh} << 32 | data.nFileIndexLow};
    } else {
        WIN32_FILE_ATTRIBUTE_DATA attributes{};
        if (!GetFileAttributesExW(host.c_str(), GetFileExInfoStandard, &attributes) ||
            (attributes.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            return info;  // nothing there, or a link that leads nowhere
        }
        info.kind = (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder
                                                                             : EntryKind::File;
        data.nFileSizeHigh = attributes.nFileSizeHigh;
        data.nFileSizeLow = attributes.nFileSizeLow;
    }
    if (info.kind == EntryKind::File) {
        info.size = std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
    }
    return info;
}

std::vector<ListedEntry> listFolder(const std::string& folder) {
    WIN32_FIND_DATAW found{};
    const FindHandle search(FindFirstFileExW((hostPath(folder) + L"\\*").c_str(), FindExInfoBasic,
                                             &found, FindExSearchNameMatch, nullptr,
                                             FIND_FIRST_EX_LARGE_FETCH));
    if (search.get() == INVALID_HANDLE_VALUE) {
        fail("cannot list", folder, GetLastError());
    }
    std::vector<ListedEntry> entries;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        ListedEntry entry{win32::narrow(name), false, {}};
        entry.link =
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && isLinkTag(found.dwReserved0);
        if (entry.link) {
            entry.target = entryAt(folder + "\\" + entry.name);
            entry.target.identity = {};
        } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            entry.target.kind = EntryKind::Folder;
        } else {
            entry.target.kind = EntryKind::File;
            entry.target.size = std::uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow;
        }
        entries.push_back(std::move(entry));
    } while (FindNextFileW(search.get(), &found));
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) {
        fail("cannot list", folder, error);
    }
    return entries;
}

struct InputFile::State {
    win32::UniqueHandle handle;
    std::string path;
};

InputFile::InputFile(const std::string& path) : state_(std::make_unique<State>()) {
    state_->path = path;
    state_->handle = win32::UniqueHandle(
        CreateFileW(hostPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!state_->handle.valid()) {
        fail("cannot read", path, GetLastError());
    }
}
InputFile::~InputFile() = default;
InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;

std::size_t InputFile::read(char* into, std::size_t count) {
    DWORD got = 0;
    const auto asked = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    if (!ReadFile(state_->handle.get(), into, asked, &got, nullptr)) {
        fail("cannot read", state_->path, GetLastError());
    }
    return got;
}

std::size_t InputFile::readAt(std::uint64_t offset, char* into, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset + done);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        DWORD got = 0;
        const auto asked = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        if (!ReadFile(state_->handle.get(), into + done, asked, &got, &at)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF) {
                break;
            }
            fail("cannot read", state_->path, error);
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

struct OutputFile::State {
    win32::UniqueHandle handle;
    std::string path;
};

OutputFile::OutputFile(const std::string& path) : state_(std::make_unique<State>()) {
    state_->path = path;
    state_->handle =
        win32::UniqueHandle(CreateFileW(hostPath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!state_->handle.valid()) {
        fail("cannot write", path, GetLastError());
    }
}
OutputFile::~OutputFile() = default;
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;

void OutputFile::write(const char* data, std::size_t count) {
    while (count > 0) {
        DWORD put = 0;
        const auto asked = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
        if (!WriteFile(state_->handle.get(), data, asked, &put, nullptr)) {
            fail("cannot write", state_->path, GetLastError());
        }
        data += put;
        count -= put;
    }
}

void OutputFile::finish() {
    if (!state_->handle.close()) {
        fail("cannot write", state_->path, GetLastError());
    }
}

void createFolder(const std::string& path) {
    if (!CreateDirectoryW(hostPath(path).c_str(), nullptr)) {
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            fail("cannot create the folder", path, error);
        }
    }
}

void renameEntry(const std::string& from, const std::string& to) {
    if (!MoveFileExW(hostPath(from).c_str(), hostPath(to).c_str(), 0)) {
        fail("cannot rename " + from + " to", to, GetLastError());
    }
}

void removeEntry(const std::string& path) {
    const std::wstring host = hostPath(path);
    const DWORD attributes = GetFileAttributesW(host.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    // A folder link goes as a folder does, without what it leads to.
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesW(host.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    }
    const BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(host.c_str())
                                                                 : DeleteFileW(host.c_str());
    const DWORD error = removed ? ERROR_SUCCESS : GetLastError();
    if (!removed && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        fail("cannot delete", path, error);
    }
}

}  // namespace morvane::publish
