#include "publish/updater_program.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "base/text.h"
#include "publish/host/host_files.h"
#include "release/target_rules.h"

namespace morvane::publish {
namespace {

// A resource section larger than this belongs to no updater.
constexpr std::uint32_t kLargestResources = std::uint32_t{16} << 20;
constexpr std::uint32_t kVersionResource = 16;  // RT_VERSION

// Little-endian numbers at offsets of a byte string; nullopt past its end.
class Bytes {
public:
    explicit Bytes(std::string_view bytes) : bytes_(bytes) {}
    std::optional<std::uint32_t> u16(std::size_t at) const { return number(at, 2); }
    std::optional<std::uint32_t> u32(std::size_t at) const { return number(at, 4); }
    std::string_view view() const { return bytes_; }

private:
    std::optional<std::uint32_t> number(std::size_t at, std::size_t width) const {
        if (at > bytes_.size() || bytes_.size() - at < width) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (std::size_t i = width; i > 0; --i) {
            value = value << 8 | static_cast<unsigned char>(bytes_[at + i - 1]);
        }
        return value;
    }
    std::string_view bytes_;
};

std::string readAt(InputFile& file, std::uint64_t offset, std::size_t count) {
    std::string bytes(count, '\0');
    bytes.resize(file.readAt(offset, bytes.data(), count));
    return bytes;
}

// Where the resources lie: their section's bytes and the section's address
// in memory, which the resource entries count from.
struct Resources {
    std::string bytes;
    std::uint32_t address = 0;
};

std::optional<Resources> resourcesOf(InputFile& file) {
    const std::string dos = readAt(file, 0, 64);
    const Bytes header(dos);
    if (dos.substr(0, 2) != "MZ" || !header.u32(0x3C)) {
        return std::nullopt;
    }
    const std::uint32_t pe = *header.u32(0x3C);
    const std::string headers = readAt(file, pe, 4096);
    const Bytes h(headers);
    // The file header follows "PE\0\0", the optional header follows it.
    const auto sections = h.u16(6);
    const auto optionalSize = h.u16(20);
    const auto magic = h.u16(24);
    if (headers.substr(0, 4) != std::string_view("PE\0\0", 4) || !sections || !optionalSize ||
        !magic || (*magic != 0x10B && *magic != 0x20B)) {
        return std::nullopt;
    }
    // The data directories follow the optional header's fixed part; the
    // third one is the resources'.
    const std::size_t directories = 24 + (*magic == 0x10B ? 96 : 112);
    const auto count = h.u32(directories - 4);
    constexpr std::size_t kDirectorySize = 8;
    const auto address = h.u32(directories + 2 * kDirectorySize);
    if (!count || *count < 3 || !address || *address == 0) {
        return std::nullopt;
    }
    for (std::uint32_t i = 0; i < *sections; ++i) {
        const std::size_t at = 24 + *optionalSize + std::size_t{i} * 40;
        const auto virtualAddress = h.u32(at + 12);
        const auto rawSize = h.u32(at + 16);
        const auto rawOffset = h.u32(at + 20);
        if (!virtualAddress || !rawSize || !rawOffset) {
            return std::nullopt;
        }
        if (*address >= *virtualAddress && *address - *virtualAddress < *rawSize) {
            if (*rawSize > kLargestResources) {
                return std::nullopt;
            }
            return Resources{readAt(file, *rawOffset, *rawSize), *virtualAddress};
        }
    }
    return std::nullopt;
}

// The offset of a directory's entry: the one of `id`, or the first.
std::optional<std::uint32_t> entryOf(const Bytes& r, std::uint32_t directory,
                                     std::optional<std::uint32_t> id) {
    const auto named = r.u16(directory + 12);
    const auto numbered = r.u16(directory + 14);
    if (!named || !numbered) {
        return std::nullopt;
    }
    for (std::uint32_t i = 0; i < *named + *numbered; ++i) {
        const std::uint32_t entry = directory + 16 + i * 8;
        const auto name = r.u32(entry);
        const auto offset = r.u32(entry + 4);
        if (!name || !offset) {
            return std::nullopt;
        }
        if (!id || *name == *id) {
            return *offset;
        }
    }
    return std::nullopt;
}

// The version information: the first language of the first resource of
// that type.
std::optional<std::string_view> versionInformation(const Resources& resources) {
    const Bytes r(resources.bytes);
    constexpr std::uint32_t kSubdirectory = 0x80000000;
    std::uint32_t directory = 0;
    // The type's directory leads to one of names, that to one of languages.
    for (const std::optional<std::uint32_t> id :
         {std::optional<std::uint32_t>(kVersionResource), std::optional<std::uint32_t>()}) {
        const auto offset = entryOf(r, directory, id);
        if (!offset || !(*offset & kSubdirectory)) {
            return std::nullopt;
        }
        directory = *offset & ~kSubdirectory;
    }
    // The languages' directory holds data entries; their address is in memory.
    const auto data = entryOf(r, directory, std::nullopt);
    if (!data || (*data & kSubdirectory)) {
        return std::nullopt;
    }
    const auto address = r.u32(*data);
    const auto size = r.u32(*data + 4);
    if (!address || !size || *address < resources.address ||
        *address - resources.address > resources.bytes.size() ||
        resources.bytes.size() - (*address - resources.address) < *size) {
        return std::nullopt;
    }
    return std::string_view(resources.bytes).substr(*address - resources.address, *size);
}

std::size_t aligned(std::size_t offset) {
    return (offset + 3) & ~std::size_t{3};
}

// A version information node: length, value length, type, a key in UTF-16
// ended by a zero, then (each aligned to four bytes) its value and its
// children. Calls `visit` with every node's key and the text of its value.
template <typename Visit>
void visitNodes(std::string_view node, const Visit& visit) {
    const Bytes b(node);
    const auto length = b.u16(0);
    const auto valueLength = b.u16(2);
    const auto type = b.u16(4);
    if (!length || !valueLength || !type || *length < 6 || *length > node.size()) {
        return;
    }
    const Bytes whole(node.substr(0, *length));
    const auto textAt = [&](std::size_t at) {
        std::u16string text;
        for (auto unit = whole.u16(at); unit && *unit != 0; unit = whole.u16(at)) {
            text += static_cast<char16_t>(*unit);
            at += 2;
        }
        return text;
    };
    const std::u16string key = textAt(6);
    const std::size_t valueAt = aligned(6 + (key.size() + 1) * 2);
    const bool isText = *type == 1;
    visit(fromUtf16(key), isText && *valueLength > 0 ? fromUtf16(textAt(valueAt)) : std::string());
    // The children follow the value, whose length text counts in UTF-16
    // units and binary data in bytes.
    std::size_t child = aligned(valueAt + (isText ? *valueLength * std::size_t{2} : *valueLength));
    while (child + 6 <= *length) {
        const auto childLength = whole.u16(child);
        if (!childLength || *childLength < 6) {
            return;
        }
        visitNodes(whole.view().substr(child), visit);
        child = aligned(child + *childLength);
    }
}

// The text value of `key` in a program's version information.
std::optional<std::string> versionValue(const std::string& path, std::string_view key) {
    try {
        InputFile file(path);
        const std::optional<Resources> resources = resourcesOf(file);
        const std::optional<std::string_view> version =
            resources ? versionInformation(*resources) : std::nullopt;
        std::optional<std::string> found;
        if (version) {
            visitNodes(*version, [&](const std::string& name, const std::string& value) {
                if (!found && name == key) {
                    found = value;
                }
            });
        }
        return found;
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

}  // namespace

bool isUpdaterProgram(const std::string& path) {
    return versionValue(path, "ProductName") == kUpdaterProductName;
}

std::optional<std::string> programFileVersion(const std::string& path) {
    return versionValue(path, "FileVersion");
}

bool namesUpdaterProgramOf(std::string_view target, const std::vector<std::string>& programNames) {
    return std::any_of(programNames.begin(), programNames.end(), [&](const std::string& name) {
        return namesUpdaterProgram(target, name + ".exe");
    });
}

}  // namespace morvane::publish
