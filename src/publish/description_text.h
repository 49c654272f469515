#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace morvane::publish {

// The text of a revision description as the updater reads it: Windows-1252
// bytes, lines ended by "\r\n".

// UTF-8 text as Windows-1252 bytes; empty when a character has no place in
// Windows-1252 or is a control character other than the tab.
std::optional<std::string> toWindows1252(std::string_view utf8);

// A file system that holds one file, `bytes` at any path, for reading only:
// the updater's block reader reads a description fetched into memory.
class OneFileSystem : public FileSystem {
public:
    explicit OneFileSystem(std::string bytes) : bytes_(std::move(bytes)) {}

    std::optional<std::uint32_t> attributes(const std::string&) override { return 0; }
    void createFolder(const std::string&) override { refuse(); }
    void deleteFile(const std::string&) override { refuse(); }
    void moveFile(const std::string&, const std::string&) override { refuse(); }
    void replaceFile(const std::string&, const std::string&) override { refuse(); }
    std::unique_ptr<ReadableFile> openForReading(const std::string& path, int lockMode) override;
    std::unique_ptr<WritableFile> createNew(const std::string&) override { refuse(); }
    std::unique_ptr<WritableFile> openForAppending(const std::string&) override { refuse(); }
    bool inUse(const std::string&) override { return false; }

private:
    [[noreturn]] static void refuse();
    std::string bytes_;
};

}  // namespace morvane::publish
