#include "publish/local_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace morvane::publish {
namespace {

namespace fs = std::filesystem;

fs::path hostPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

std::optional<std::string> readWholeFile(const std::string& path, std::uintmax_t largest) {
    std::error_code error;
    const fs::path host = hostPath(path);
    const std::uintmax_t size = fs::file_size(host, error);
    if (error || size > largest || !fs::is_regular_file(host, error)) {
        return std::nullopt;
    }
    std::ifstream in(host, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::uintmax_t>(in.gcount()) != size) {
        return std::nullopt;
    }
    return bytes;
}

void writeWholeFile(const std::string& path, const std::string& bytes) {
    const fs::path host = hostPath(path);
    std::error_code error;
    if (host.has_parent_path()) {
        fs::create_directories(host.parent_path(), error);
    }
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

bool isRegularFile(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(hostPath(path), error);
}

bool isFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(hostPath(path), error);
}

std::vector<std::string> filesBelow(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    const fs::path root = hostPath(folder);
    fs::recursive_directory_iterator it(root, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file(error)) {
            names.push_back(utf8Of(fs::relative(it->path(), root)));
        }
    }
    if (error) {
        throw std::runtime_error("cannot list " + folder + ": " + error.message());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<Sha256Digest> fileSha256(const std::string& path) {
    std::ifstream in(hostPath(path), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    Sha256 hash;
    std::string piece(64 * kKibibyte, '\0');
    while (in) {
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        hash.update(piece.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return hash.finish();
}

void removeFile(const std::string& path) {
    std::error_code error;
    fs::remove(hostPath(path), error);
    if (error) {
        throw std::runtime_error("cannot delete " + path + ": " + error.message());
    }
}

bool isSameOrInside(const std::string& path, const std::string& folder) {
    std::error_code error;
    const fs::path inner = fs::weakly_canonical(fs::absolute(hostPath(path), error), error);
    const fs::path outer = fs::weakly_canonical(fs::absolute(hostPath(folder), error), error);
    const fs::path relative = inner.lexically_relative(outer);
    return !relative.empty() && *relative.begin() != "..";
}

std::optional<std::uint64_t> fileSize(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(hostPath(path), error);
    if (error) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size);
}

std::string joinPath(const std::string& folder, const std::string& relative) {
    fs::path path = folder.empty() ? fs::path() : hostPath(folder);
    path /= hostPath(relative);
    const std::u8string text = path.make_preferred().u8string();
    return std::string(text.begin(), text.end());
}

std::string folderOf(const std::string& path) {
    const std::u8string text = hostPath(path).parent_path().u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace morvane::publish
