#include "paths/url_class.h"

#include "paths/split.h"

namespace morvane {

namespace {

constexpr paths::Separators UrlSeparators{"://", "/"};

}  // namespace

std::string UrlClass::Protocol() const {
    return paths::rootOf(fullUrl_, UrlSeparators);
}

void UrlClass::setProtocol(const std::string& plainProtocol) {
    std::string_view protocol = plainProtocol;
    if (protocol.size() >= UrlSeparators.root.size() &&
        protocol.substr(protocol.size() - UrlSeparators.root.size()) == UrlSeparators.root) {
        protocol.remove_suffix(UrlSeparators.root.size());
        if (protocol.empty()) {
            // "://" alone still names a protocol, the empty one.
            fullUrl_ =
                std::string(UrlSeparators.root) + paths::lastPiece(fullUrl_, UrlSeparators.root);
            return;
        }
    }
    fullUrl_ = paths::withRoot(fullUrl_, protocol, UrlSeparators);
}

std::string UrlClass::FullProtocol() const {
    return Protocol() + std::string(UrlSeparators.root);
}

std::string UrlClass::Url() const {
    return paths::folderOf(fullUrl_, UrlSeparators);
}

void UrlClass::setUrl(const std::string& folderPath) {
    fullUrl_ = paths::withFolder(fullUrl_, folderPath, UrlSeparators);
}

std::string UrlClass::Name() const {
    return paths::nameOf(FullName());
}

void UrlClass::setName(const std::string& nameWithoutExt) {
    fullUrl_ = paths::withName(fullUrl_, nameWithoutExt, UrlSeparators);
}

std::string UrlClass::FullName() const {
    return paths::fullNameOf(fullUrl_, UrlSeparators);
}

void UrlClass::setFullName(const std::string& nameWithExt) {
    fullUrl_ = paths::withFullName(fullUrl_, nameWithExt, UrlSeparators);
}

std::string UrlClass::Ext() const {
    return paths::extOf(FullName());
}

void UrlClass::setExt(const std::string& extension) {
    fullUrl_ = paths::withExt(fullUrl_, extension, UrlSeparators);
}

std::string UrlClass::FullExt() const {
    return paths::fullExtOf(FullName());
}

}  // namespace morvane
