#include "paths/path_class.h"

#include <cstdint>
#include <optional>

#include "base/failure.h"
#include "base/text.h"
#include "paths/split.h"

namespace morvane {

namespace {

constexpr paths::Separators PathSeparators{":\\", "\\"};

// The first character of a UTF-8 text: one code point, not one byte.
std::string firstCharacter(const std::string& text) {
    std::size_t length = 1;
    while (length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
        ++length;
    }
    return text.substr(0, length);
}

// Leading zeros to `width` digits.
std::string padded(int value, int width) {
    std::string digits = decimal(value);
    const auto wanted = static_cast<std::size_t>(width);
    if (digits.size() < wanted) {
        digits.insert(0, wanted - digits.size(), '0');
    }
    return digits;
}

}  // namespace

std::string dateSuffix(const LocalTime& time) {
    return "_" + padded(time.year, 4) + "-" + padded(time.month, 2) + "-" + padded(time.day, 2) +
           "_" + padded(time.hour, 2) + "." + padded(time.minute, 2) + "." + padded(time.second, 2);
}

std::string PathClass::Drive() const {
    return paths::rootOf(fullPath_, PathSeparators);
}

void PathClass::setDrive(const std::string& driveLetter) {
    const std::string letter = driveLetter.empty() ? std::string() : firstCharacter(driveLetter);
    fullPath_ = paths::withRoot(fullPath_, letter, PathSeparators);
}

std::string PathClass::FullDrive() const {
    return Drive() + std::string(PathSeparators.root);
}

std::string PathClass::Path() const {
    return paths::folderOf(fullPath_, PathSeparators);
}

void PathClass::setPath(const std::string& folderPath) {
    fullPath_ = paths::withFolder(fullPath_, folderPath, PathSeparators);
}

std::string PathClass::Name() const {
    return paths::nameOf(FullName());
}

void PathClass::setName(const std::string& nameWithoutExt) {
    fullPath_ = paths::withName(fullPath_, nameWithoutExt, PathSeparators);
}

std::string PathClass::FullName() const {
    return paths::fullNameOf(fullPath_, PathSeparators);
}

void PathClass::setFullName(const std::string& nameWithExt) {
    fullPath_ = paths::withFullName(fullPath_, nameWithExt, PathSeparators);
}

std::string PathClass::Ext() const {
    return paths::extOf(FullName());
}

void PathClass::setExt(const std::string& extension) {
    fullPath_ = paths::withExt(fullPath_, extension, PathSeparators);
}

std::string PathClass::FullExt() const {
    return paths::fullExtOf(FullName());
}

bool PathClass::Exists() const {
    return FileExists(fullPath_) || FolderExists(fullPath_);
}

bool PathClass::isFile() const {
    return fullPath_.empty() || fullPath_.back() != '\\';
}

bool PathClass::isFolder() const {
    return !fullPath_.empty() && fullPath_.back() == '\\';
}

void PathClass::CreateFolder() {
    const std::vector<std::string_view> parts = paths::pieces(fullPath_, PathSeparators.folder);
    std::string prefix;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        prefix += parts[i];
        prefix += PathSeparators.folder;
        // Roots, existing folders, refused access: none of it stops the walk.
        try {
            files_->createFolder(prefix);
        } catch (...) {
        }
    }
}

void PathClass::IncrementExt() {
    setExt("000");
    for (int counter = 1; Exists(); ++counter) {
        if (counter > 999) {
            throw Failure::of(err::InvalidCall);
        }
        setExt(padded(counter, 3));
    }
}

void PathClass::AddDateInfo() {
    const std::string suffix = dateSuffix(clock_->now());
    const std::string fullName = FullName();
    if (!fullName.empty() && fullName.find('.') == std::string::npos) {
        // A name without "." has no extension to keep; the suffix goes last.
        setFullName(fullName + suffix);
        return;
    }
    setName(Name() + suffix);
}

bool PathClass::Delete() {
    try {
        files_->deleteFile(fullPath_);
        return true;
    } catch (...) {
        return false;
    }
}

bool PathClass::FileExists(const std::string& path) const {
    try {
        return files_->entryKind(path) == EntryKind::File;
    } catch (...) {
        return false;
    }
}

bool PathClass::FolderExists(const std::string& path) const {
    try {
        return files_->entryKind(path) == EntryKind::Folder;
    } catch (...) {
        return false;
    }
}

}  // namespace morvane
