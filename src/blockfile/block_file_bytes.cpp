#include "blockfile/block_file_bytes.h"

#include "blockfile/file_reader.h"

namespace morvane {

std::optional<std::string> readBlockFileBytes(FileSystem& files, const std::string& path) {
    FileReader reader(files);
    if (!reader.Init(path, 2, 1024)) {
        return std::nullopt;
    }
    const std::vector<std::uint8_t> bytes = reader.ReadBytes(reader.Size());
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace morvane
