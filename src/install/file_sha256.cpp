#include "install/file_sha256.h"

#include <memory>
#include <vector>

#include "base/failure.h"

namespace morvane {

std::optional<Sha256Digest> sha256OfFile(FileSystem& files, const std::string& path,
                                         const std::function<void()>& afterPiece) {
    constexpr std::size_t kPiece = std::size_t{64} * 1024;
    try {
        const std::unique_ptr<ReadableFile> file = files.openForReading(path, Sharing::Read);
        Sha256 hash;
        std::vector<char> piece(kPiece);
        for (;;) {
            const std::size_t got = file->read(piece.data(), piece.size());
            hash.update(piece.data(), got);
            if (afterPiece) {
                afterPiece();
            }
            if (got < piece.size()) {
                return hash.finish();
            }
        }
    } catch (const Failure&) {
        return std::nullopt;
    }
}

}  // namespace morvane
