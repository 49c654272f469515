#pragma once

#include <string>
#include <string_view>
#include <vector>

// The splitting rules shared by the path and URL values. A text splits at a
// separator into the pieces between its occurrences, empty pieces included;
// a text without the separator is one piece, the empty text none at all.
// Separators are ASCII, so byte-wise matching is safe on UTF-8 text.
namespace morvane::paths {

std::vector<std::string_view> pieces(std::string_view text, std::string_view separator);

// The first and the last piece; empty for the empty text.
std::string firstPiece(std::string_view text, std::string_view separator);
std::string lastPiece(std::string_view text, std::string_view separator);

// The parts of one stored text. `rootSeparator` ends the drive or protocol
// (":\" or "://"), `folderSeparator` separates folders ("\" or "/"); the
// extension always follows the last ".".
struct Separators {
    std::string_view root;
    std::string_view folder;
};

// Drive or protocol: the first piece at the root separator.
std::string rootOf(std::string_view text, const Separators& separators);
// The last piece at the folder separator.
std::string fullNameOf(std::string_view text, const Separators& separators);
// The text without its full name: the folder part with its final separator.
std::string folderOf(std::string_view text, const Separators& separators);
// What follows the last "." of a full name (the whole name without ".").
std::string extOf(std::string_view fullName);
// "." and the extension.
std::string fullExtOf(std::string_view fullName);
// The full name without its full extension. Throws Failure 5 for a non-empty
// name without ".", whose full extension is longer than the name itself.
std::string nameOf(std::string_view fullName);

// The rebuilt texts of the property writes; each keeps the other parts of
// `text`. They throw only where they read a name (withExt).
// `root` is the new drive or protocol without its separator; empty removes it.
std::string withRoot(std::string_view text, std::string_view root, const Separators& separators);
// Always inserts a folder separator after `folder`, even when it ends in one.
std::string withFolder(std::string_view text, std::string_view folder,
                       const Separators& separators);
std::string withName(std::string_view text, std::string_view name, const Separators& separators);
std::string withFullName(std::string_view text, std::string_view fullName,
                         const Separators& separators);
// A "." is put in front of `ext` unless it begins with one.
std::string withExt(std::string_view text, std::string_view ext, const Separators& separators);

}  // namespace morvane::paths
