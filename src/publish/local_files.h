#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/crypto.h"

namespace morvane::publish {

// The publisher's own files, by UTF-8 paths in the host's form, over the
// host's calls (publish/host/host_files.h).

// Byte counts for the size limits of the files the tool reads.
inline constexpr std::uintmax_t kKibibyte = 1024;
inline constexpr std::uintmax_t kMebibyte = 1024 * kKibibyte;

// The whole file; empty when it cannot be read or is larger than `largest`.
std::optional<std::string> readWholeFile(const std::string& path,
                                         std::uintmax_t largest = 16 * kMebibyte);
// Creates or replaces the file with `bytes`, making missing folders. Throws
// std::runtime_error naming the path.
void writeWholeFile(const std::string& path, const std::string& bytes);
bool isRegularFile(const std::string& path);
bool isFolder(const std::string& path);
// Creates the folder and every missing folder above it.
void makeFolders(const std::string& path);

// What one pass over a file found: its SHA-256 and its size in bytes.
struct FileFacts {
    Sha256Digest digest{};
    std::uint64_t size = 0;
};

// Copies `source` to the new file `target` (making its folders) in one
// pass that also hashes and counts the bytes, a piece at a time: memory
// stays flat whatever the file's size. `onBytes` hears of every piece.
// Throws std::runtime_error naming the file that cannot be read or written.
FileFacts copyFile(const std::string& source, const std::string& target,
                   const std::function<void(std::uint64_t)>& onBytes = {});
// The SHA-256 and size of a file, read a piece at a time; empty when it
// cannot be read.
std::optional<FileFacts> factsOfFile(const std::string& path,
                                     const std::function<void(std::uint64_t)>& onBytes = {});

// Deletes the folder with everything in it; a link in it goes, not what it
// leads to.
void removeTree(const std::string& path);
// Whether `path` is `folder` or lies below it, after resolving both.
bool isSameOrInside(const std::string& path, const std::string& folder);
// `relative` ("/"-separated) appended to `folder` in the host's form.
std::string joinPath(const std::string& folder, const std::string& relative);
// The folder part of a path ("" for a bare name).
std::string folderOf(const std::string& path);
// The last part of a path, trailing separators ignored.
std::string nameOf(const std::string& path);

}  // namespace morvane::publish
