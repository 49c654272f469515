#include "install/durable_file.h"

#include <memory>

#include "base/failure.h"

namespace morvane {

void writeDurably(FileSystem& files, const std::string& path, std::string_view bytes) {
    const std::string part = path + ".part";
    try {
        // A part left by a run that was cut off is of no use to anyone.
        if (files.entryKind(part)) {
            files.deleteFile(part);
        }
        const std::unique_ptr<WritableFile> file = files.createNew(part);
        file->write(bytes.data(), bytes.size());
        file->flush();
        file->close();
        files.replaceFile(part, path);
    } catch (const Failure&) {
        try {
            if (files.entryKind(part)) {
                files.deleteFile(part);
            }
        } catch (const Failure&) {
            // The part stays; the next write removes it.
        }
        throw;
    }
    files.syncFolder(path.substr(0, path.rfind('\\')));
}

std::optional<std::string> readWhole(FileSystem& files, const std::string& path,
                                     std::int64_t largest) {
    try {
        const std::unique_ptr<ReadableFile> file = files.openForReading(path, Sharing::Read);
        const std::int64_t size = file->size();
        if (size < 0 || size > largest) {
            return std::nullopt;
        }
        std::string bytes(static_cast<std::size_t>(size), '\0');
        if (file->read(bytes.data(), bytes.size()) != bytes.size()) {
            return std::nullopt;
        }
        return bytes;
    } catch (const Failure&) {
        return std::nullopt;
    }
}

}  // namespace morvane
