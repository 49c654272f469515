#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "publish/progress.h"
#include "release/stage_rule.h"

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
    // The PCs it is offered to: the pilots, then a share of the others.
    Stage stage;
    // The updater's program name without ".exe", when it is not recognised
    // by its version information.
    std::optional<std::string> updaterName;
    // A new updater program to release under the updater's name (signed
    // releases only).
    std::optional<std::string> updaterProgram;
    // Without a key, the publisher means an unsigned release even where the
    // release in `out` is signed.
    bool unsignedRelease = false;
    ProgressMode progress = ProgressMode::Quiet;
};

// The name of the description that `make` writes into the server folder.
inline constexpr const char* kDescriptionName = "revision.ini";

// Makes the release of `options.from` in three steps: gathers the folder
// (every file's name and size; what is left out is named on `err`), decides
// over that list (names, the start file, the updater's limits) and writes
// the release in a folder beside `options.out`, each file read once: hashed,
// counted and copied in one pass. The description gets a block for every
// file and, with a key, its signature. The release is checked as `check`
// would, from what that pass found, and only then swapped in for `out`.
// With `previous`, `out` names what changed and what was removed since.
// Throws std::runtime_error with the reason when the release cannot be made
// as the updater needs it; `options.out` is then as it was.
void makeRelease(const MakeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace morvane::publish
