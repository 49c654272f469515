#include "update/updater_settings.h"

#include <cstdint>
#include <vector>

#include "blockfile/file_reader.h"
#include "blockfile/ini_reader.h"
#include "platform/text.h"

namespace morvane {
namespace {

std::string_view trimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool isSignatureTitle(std::string_view line) {
    const std::string_view text = trimBlanks(line);
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') {
        return false;
    }
    constexpr std::string_view kTitle = "SIGNATUR";
    return foldCase(trimBlanks(text.substr(1, text.size() - 2)).substr(0, kTitle.size())) == kTitle;
}

std::string allBytes(FileSystem& files, const std::string& path) {
    FileReader reader(files);
    if (!reader.Init(path)) {
        return {};
    }
    const std::vector<std::uint8_t> bytes = reader.ReadBytes(reader.Size());
    return {bytes.begin(), bytes.end()};
}

}  // namespace

bool asksForSignature(std::string_view bytes) {
    if (hasUtf8ByteOrderMark(bytes)) {
        bytes.remove_prefix(kUtf8ByteOrderMark.size());
    }
    while (!bytes.empty()) {
        const std::size_t end = bytes.find_first_of("\r\n");
        if (isSignatureTitle(bytes.substr(0, end))) {
            return true;
        }
        if (end == std::string_view::npos) {
            break;
        }
        bytes.remove_prefix(end + 1);
    }
    return false;
}

std::optional<UpdaterSettings> readUpdaterSettings(FileSystem& files, const std::string& path) {
    IniReader reader(files);
    if (!reader.Init(path)) {
        return std::nullopt;
    }
    UpdaterSettings settings;
    settings.address = reader.GetLine("Adresse");
    settings.startFile = reader.GetLine("Startdatei");
    settings.signatureRequired = asksForSignature(allBytes(files, path));
    settings.signatureKey = std::string(trimBlanks(reader.GetLine("Signatur")));
    return settings;
}

}  // namespace morvane
