#include "paths/split.h"

#include "base/failure.h"

namespace morvane::paths {

std::vector<std::string_view> pieces(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> result;
    if (text.empty()) {
        return result;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t found = text.find(separator, start);
        if (found == std::string_view::npos) {
            result.push_back(text.substr(start));
            return result;
        }
        result.push_back(text.substr(start, found - start));
        start = found + separator.size();
    }
}

std::string firstPiece(std::string_view text, std::string_view separator) {
    return std::string(text.substr(0, text.find(separator)));
}

std::string lastPiece(std::string_view text, std::string_view separator) {
    const std::size_t found = text.rfind(separator);
    if (found == std::string_view::npos) {
        return std::string(text);
    }
    return std::string(text.substr(found + separator.size()));
}

std::string rootOf(std::string_view text, const Separators& separators) {
    return firstPiece(text, separators.root);
}

std::string fullNameOf(std::string_view text, const Separators& separators) {
    return lastPiece(text, separators.folder);
}

std::string folderOf(std::string_view text, const Separators& separators) {
    const std::size_t nameLength = fullNameOf(text, separators).size();
    return std::string(text.substr(0, text.size() - nameLength));
}

std::string extOf(std::string_view fullName) {
    return lastPiece(fullName, ".");
}

std::string fullExtOf(std::string_view fullName) {
    return "." + extOf(fullName);
}

std::string nameOf(std::string_view fullName) {
    if (fullName.empty()) {
        return {};
    }
    const std::size_t extLength = fullExtOf(fullName).size();
    if (extLength > fullName.size()) {
        throw Failure::of(err::InvalidCall);
    }
    return std::string(fullName.substr(0, fullName.size() - extLength));
}

std::string withRoot(std::string_view text, std::string_view root, const Separators& separators) {
    std::string result(root);
    if (!result.empty()) {
        result += separators.root;
    }
    if (!text.empty()) {
        result += lastPiece(text, separators.root);
    }
    return result;
}

std::string withFolder(std::string_view text, std::string_view folder,
                       const Separators& separators) {
    std::string result(folder);
    result += separators.folder;
    result += fullNameOf(text, separators);
    return result;
}

std::string withName(std::string_view text, std::string_view name, const Separators& separators) {
    const std::string fullName = fullNameOf(text, separators);
    return folderOf(text, separators) + std::string(name) + fullExtOf(fullName);
}

std::string withFullName(std::string_view text, std::string_view fullName,
                         const Separators& separators) {
    return folderOf(text, separators) + std::string(fullName);
}

std::string withExt(std::string_view text, std::string_view ext, const Separators& separators) {
    std::string fullExt(ext);
    if (fullExt.empty() || fullExt.front() != '.') {
        fullExt.insert(0, ".");
    }
    const std::string folder = folderOf(text, separators);
    const std::string name = nameOf(fullNameOf(text, separators));
    return folder + name + fullExt;
}

}  // namespace morvane::paths
