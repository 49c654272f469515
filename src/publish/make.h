#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace morvane::publish {

struct MakeOptions {
    std::string from;     // the publisher's folder: every file below it is released
    std::string version;  // text of the Version block
    std::string title;
    std::string messageType;  // "0", "1" or "2"
    std::string notesFile;    // UTF-8 text for the Beschreibung block
    std::string startFile;
    std::optional<std::string> previous;  // the description of the release before
    std::optional<std::string> keyFile;   // PKCS#8 PEM private key
    std::string out;                      // the folder to put on the server
};

// The name of the description that `make` writes into the server folder.
inline constexpr const char* kDescriptionName = "revision.ini";

// Writes the release into `options.out`: the description with a block for
// every file below `options.from`, the files in the server layout and, with
// a key, the description's signature (without one, an earlier signature is
// deleted). What an installed folder or the system adds (the updater's Temp
// and Backup folders and its own files, version control folders, lock and
// thumbnail files) is left out and named on `err`. With `previous`, `out`
// names what changed and what was removed since. The release is checked as
// `check` would; its errors go to `err`. Throws std::runtime_error with the
// reason when the release cannot be made as the updater needs it.
void makeRelease(const MakeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace morvane::publish
