#pragma once

#include <string>

#include "release/release.h"

namespace morvane {

// The bytes of a revision description as the updater reads it back into
// the same model: Windows-1252, every line ended by "\r\n", the head blocks
// first (the stage's "Pilot" and "Anteil" lines after the version line, when
// it has pilots or a share below 100), then one block per file entry ("Quelle", "Ziel", "SHA256",
// "Größe" when it has a size, then its other values by name), the start file last. Titles and line
// numbers of the model's `blocks` are not used. Throws std::runtime_error naming the value that
// cannot be written so: a line break, a character Windows-1252 cannot hold, a line that would open
// a block, a head line the reader would skip as a comment, a pilot that is no computer name, a
// share outside 1 to 100, a value with "=" or with blanks around it, a file block titled
// "Startdatei".
std::string descriptionText(const Release& description);

}  // namespace morvane
