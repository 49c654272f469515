#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace morvane::publish {

// The publisher's own files through the host's calls, by UTF-8 paths in the
// host's form. The tool runs on the publisher's machine, not in the
// updater's folder, so it has its own small set of calls rather than the
// updater's ports. On Windows every call takes the "\\?\" form of the whole
// path, so paths beyond 260 characters work whatever the system's long-path
// policy. Failures throw std::runtime_error naming the path and the host's
// reason.

enum class EntryKind {
    File,
    Folder,
    Missing,  // nothing there, or a link whose target is missing
    Other,    // a device, pipe or socket
};

// Two paths that reach the same folder (through a link, say) give the same
// identity.
struct EntryIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const EntryIdentity&) const = default;
};

// What a path leads to, links followed.
struct EntryInfo {
    EntryKind kind = EntryKind::Missing;
    std::uint64_t size = 0;  // of a file
    EntryIdentity identity;  // of a folder
};

EntryInfo entryAt(const std::string& path);

// One name in a folder as it stands there, and what it leads to.
struct ListedEntry {
    std::string name;
    bool link = false;  // a symbolic link (or, on Windows, a junction)
    EntryInfo target;   // links followed; the identity is left empty
};

// Every entry of the folder except "." and "..", in no particular order.
std::vector<ListedEntry> listFolder(const std::string& folder);

// A file open for reading.
class InputFile {
public:
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(InputFile&&) noexcept;
    InputFile& operator=(InputFile&&) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Up to `count` bytes from where the last read ended; 0 at the end.
    std::size_t read(char* into, std::size_t count);
    // Up to `count` bytes from `offset`; fewer only at the end of the file.
    std::size_t readAt(std::uint64_t offset, char* into, std::size_t count);

    struct State;

private:
    std::unique_ptr<State> state_;
};

// A new file, replacing one of that name; finish() reports whether every
// byte reached the file. A file not finished is left as far as it came.
class OutputFile {
public:
    explicit OutputFile(const std::string& path);
    ~OutputFile();
    OutputFile(OutputFile&&) noexcept;
    OutputFile& operator=(OutputFile&&) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const char* data, std::size_t count);
    void finish();

    struct State;

private:
    std::unique_ptr<State> state_;
};

// Creates the folder; its parent must exist. A folder already there is fine.
void createFolder(const std::string& path);
// Renames a file or folder; fails when `to` exists.
void renameEntry(const std::string& from, const std::string& to);
// Deletes a file, a link (not what it leads to) or an empty folder; nothing
// there is fine.
void removeEntry(const std::string& path);

}  // namespace morvane::publish
