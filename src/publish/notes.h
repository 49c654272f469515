#pragma once

#include <ostream>
#include <string>

namespace morvane::publish {

// The notes file as the text of the Beschreibung block, every line followed
// by "\r\n": UTF-8 (with or without byte order mark), or else Windows-1252
// as Notepad saves "ANSI" text. Throws std::runtime_error for a file that
// cannot be read or is UTF-16. A line that starts with ";" reads like a
// comment but is shown to every user: a warning on `err` says so.
std::string notesText(const std::string& path, std::ostream& err);

}  // namespace morvane::publish
