#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

namespace morvane::fleet {

// The bytes of one access log, read piece by piece: as they lie in the file,
// or decompressed when the file is gzip data (a rotated log), whatever its
// name. Several gzip members one after the other read as one text.
class LogFile {
public:
    // Opens the file at `path` (UTF-8, the host's form). Throws
    // std::runtime_error naming it when it cannot be opened.
    explicit LogFile(const std::string& path);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Up to `most` bytes of the log text; 0 only at its end. Throws
    // std::runtime_error naming the file when it cannot be read or its
    // compressed data is damaged or cut short.
    std::size_t read(char* into, std::size_t most);

    const std::string& path() const { return path_; }

private:
    std::size_t readRaw(char* into, std::size_t most);
    std::size_t inflateInto(char* into, std::size_t most);

    class Inflater;
    std::string path_;
    std::ifstream file_;
    std::unique_ptr<Inflater> inflater_;  // only for gzip data
};

}  // namespace morvane::fleet
