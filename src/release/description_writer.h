#pragma once

#include <string>

#include "release/release.h"

namespace morvane {

// The bytes of a revision description as the updater reads it back into
// the same model: Windows-1252, every line ended by "\r\n", the head blocks
// first, then one block per file entry ("Quelle", "Ziel", "SHA256", "Größe"
// when it has a size, then its other values by name), the start file last. Titles and line numbers
// of the model's `blocks` are not used. Throws std::runtime_error naming the value that cannot be
// written so: a line break, a character Windows-1252 cannot hold, a line that would open a block, a
// head line the reader would skip as a comment, a value with "=" or with blanks around it, a file
// block titled "Startdatei".
std::string descriptionText(const Release& description);

}  // namespace morvane
