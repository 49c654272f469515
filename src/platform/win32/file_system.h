#pragma once

#include "platform/file_system.h"

namespace morvane::win32 {

// The Windows file system through the wide-character Win32 calls, absolute
// paths in their long form (long_path.h) so that no call stops at MAX_PATH.
// Failures carry the system's error code and text.
class Win32FileSystem : public FileSystem {
public:
    std::optional<EntryKind> entryKind(const std::string& path) override;
    void createFolder(const std::string& path) override;
    void deleteFile(const std::string& path) override;
    void moveFile(const std::string& from, const std::string& to) override;
    // Replaces the target, read-only or not. NTFS journals renames in the
    // order they happen (a file's data it does not: that takes flush()), so
    // syncFolder() has nothing to do here.
    void replaceFile(const std::string& from, const std::string& to) override;
    // Lock mode 0..3 becomes the sharing mode of the open: others may
    // 0 read and write, 1 write, 2 read, 3 do neither.
    std::unique_ptr<ReadableFile> openForReading(const std::string& path,
                                                 Sharing othersMay) override;
    // The new file is shared with nobody until it is closed; close() flushes it.
    std::unique_ptr<WritableFile> createNew(const std::string& path) override;
    std::unique_ptr<WritableFile> openForAppending(const std::string& path) override;
    // True when another open of the file does not share delete access.
    bool inUse(const std::string& path) override;
    bool isLinkOrDevice(const std::string& path) override;
    std::vector<std::string> fileNamesIn(const std::string& folder) override;
};

// The host's local date and time.
class Win32Clock : public Clock {
public:
    LocalTime now() override;
};

}  // namespace morvane::win32
