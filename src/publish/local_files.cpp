#include "publish/local_files.h"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "publish/host/host_files.h"

namespace morvane::publish {
namespace {

namespace fs = std::filesystem;

// Large enough that the system's calls, not the loop, set the pace; small
// enough that memory stays flat.
constexpr std::size_t kPiece = std::size_t{1} << 20;

fs::path hostPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

std::optional<std::string> readWholeFile(const std::string& path, std::uintmax_t largest) {
    const EntryInfo info = entryAt(path);
    if (info.kind != EntryKind::File || info.size > largest) {
        return std::nullopt;
    }
    try {
        InputFile in(path);
        std::string bytes(static_cast<std::size_t>(info.size), '\0');
        std::size_t done = 0;
        while (done < bytes.size()) {
            const std::size_t got = in.read(bytes.data() + done, bytes.size() - done);
            if (got == 0) {
                return std::nullopt;
            }
            done += got;
        }
        return bytes;
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

void writeWholeFile(const std::string& path, const std::string& bytes) {
    const std::string folder = folderOf(path);
    if (!folder.empty()) {
        makeFolders(folder);
    }
    OutputFile out(path);
    out.write(bytes.data(), bytes.size());
    out.finish();
}

bool isRegularFile(const std::string& path) {
    return entryAt(path).kind == EntryKind::File;
}

bool isFolder(const std::string& path) {
    return entryAt(path).kind == EntryKind::Folder;
}

void makeFolders(const std::string& path) {
    if (path.empty() || isFolder(path)) {
        return;
    }
    const std::string parent = folderOf(path);
    if (parent != path) {
        makeFolders(parent);
    }
    createFolder(path);
}

namespace {

// One pass over a file: hashed, counted and, with `out`, copied.
FileFacts readOnce(InputFile& in, OutputFile* out,
                   const std::function<void(std::uint64_t)>& onBytes) {
    const std::unique_ptr<char[]> piece(new char[kPiece]);
    Sha256 hash;
    FileFacts facts;
    while (const std::size_t got = in.read(piece.get(), kPiece)) {
        hash.update(piece.get(), got);
        if (out != nullptr) {
            out->write(piece.get(), got);
        }
        facts.size += got;
        if (onBytes) {
            onBytes(got);
        }
    }
    facts.digest = hash.finish();
    return facts;
}

}  // namespace

FileFacts copyFile(const std::string& source, const std::string& target,
                   const std::function<void(std::uint64_t)>& onBytes) {
    InputFile in(source);
    makeFolders(folderOf(target));
    OutputFile out(target);
    const FileFacts facts = readOnce(in, &out, onBytes);
    out.finish();
    return facts;
}

std::optional<FileFacts> factsOfFile(const std::string& path,
                                     const std::function<void(std::uint64_t)>& onBytes) {
    try {
        InputFile in(path);
        return readOnce(in, nullptr, onBytes);
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

void removeTree(const std::string& path) {
    for (const ListedEntry& entry : listFolder(path)) {
        const std::string inner = joinPath(path, entry.name);
        if (!entry.link && entry.target.kind == EntryKind::Folder) {
            removeTree(inner);
        } else {
            removeEntry(inner);
        }
    }
    removeEntry(path);
}

bool isSameOrInside(const std::string& path, const std::string& folder) {
    std::error_code error;
    const fs::path inner = fs::weakly_canonical(fs::absolute(hostPath(path), error), error);
    const fs::path outer = fs::weakly_canonical(fs::absolute(hostPath(folder), error), error);
    const fs::path relative = inner.lexically_relative(outer);
    return !relative.empty() && *relative.begin() != "..";
}

std::string joinPath(const std::string& folder, const std::string& relative) {
    fs::path path = folder.empty() ? fs::path() : hostPath(folder);
    path /= hostPath(relative);
    return utf8Of(path.make_preferred());
}

std::string folderOf(const std::string& path) {
    return utf8Of(hostPath(path).parent_path());
}

std::string nameOf(const std::string& path) {
    fs::path host = hostPath(path);
    if (!host.has_filename()) {
        host = host.parent_path();
    }
    return utf8Of(host.filename());
}

}  // namespace morvane::publish
