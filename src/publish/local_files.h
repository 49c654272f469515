#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/crypto.h"

namespace morvane::publish {

// The publisher's own files, by UTF-8 paths in the host's form. The tool runs
// on the publisher's machine, not in the updater's folder, so it uses the
// standard library's file system rather than the updater's ports.

// Byte counts for the size limits of the files the tool reads.
inline constexpr std::uintmax_t kKibibyte = 1024;
inline constexpr std::uintmax_t kMebibyte = 1024 * kKibibyte;

// The whole file; empty when it cannot be read or is larger than `largest`.
std::optional<std::string> readWholeFile(const std::string& path,
                                         std::uintmax_t largest = 1ull << 30);
// Creates or replaces the file with `bytes`, making missing folders. Throws
// std::runtime_error naming the path.
void writeWholeFile(const std::string& path, const std::string& bytes);
bool isRegularFile(const std::string& path);
bool isFolder(const std::string& path);
// Every regular file below `folder`, as paths relative to it with "/",
// sorted. Throws std::runtime_error when the folder cannot be listed.
std::vector<std::string> filesBelow(const std::string& folder);
// SHA-256 of the file's bytes, read piece by piece; empty when it cannot be
// read.
std::optional<Sha256Digest> fileSha256(const std::string& path);
// Deletes the file if there is one. Throws std::runtime_error naming the
// path when it stays.
void removeFile(const std::string& path);
// Whether `path` is `folder` or lies below it, after resolving both.
bool isSameOrInside(const std::string& path, const std::string& folder);
// The file's size in bytes; empty when it cannot be told.
std::optional<std::uint64_t> fileSize(const std::string& path);
// `relative` ("/"-separated) appended to `folder` in the host's form.
std::string joinPath(const std::string& folder, const std::string& relative);
// The folder part of a path ("" for a bare name).
std::string folderOf(const std::string& path);

}  // namespace morvane::publish
