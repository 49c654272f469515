#pragma once

#include <filesystem>
#include <string>

namespace morvane::test {

// A new, empty folder below the host's temporary folder, removed with
// everything in it when the object goes. Its path is a Windows path on every
// host ("Z:\tmp\morvane-..." on POSIX, where the adapter maps Z:\ to "/"),
// so it can be handed to the file-system adapter as it is.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder, without a trailing "\".
    const std::string& path() const { return path_; }
    // The Windows path of `name` inside the folder: path() + "\" + name.
    std::string file(const std::string& name) const;

    // The host's own path of the folder or of `name` inside it, for setting
    // up and checking files without the adapter.
    const std::filesystem::path& native() const { return native_; }
    std::filesystem::path native(const std::string& name) const;

    // Writes `content` as the whole file `name` (raw bytes), replacing it.
    void write(const std::string& name, const std::string& content) const;
    // The whole content of file `name`; fails the test when it cannot be read.
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;

private:
    std::filesystem::path native_;
    std::string path_;
};

}  // namespace morvane::test
