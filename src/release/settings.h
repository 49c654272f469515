#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace morvane {

// The updater's settings file, <executable name>.ini beside the program,
// read once by the updater and by the publisher's check alike.
struct UpdaterSettings {
    std::string address;    // [Adresse]: the URL of the revision description
    std::string startFile;  // [Startdatei]: the workbook when no description names one
    // The administrator asked for signed updates (see asksForSignature): a
    // run then needs a valid key in `signatureKey`, never runs unsigned.
    bool signatureRequired = false;
    std::string signatureKey;  // [Signatur]: the publisher's public key in base64
    // [Bericht] "anonym": requests name the PC by a hash of its name only.
    bool anonymousReport = false;
};

// The settings that the bytes of a settings file give, read as block file
// text (see release/block_grammar.h).
UpdaterSettings parseSettings(std::string_view bytes);

// Why the bytes of a settings file cannot be trusted as one text, or
// nullopt: a NUL byte in a file that is not UTF-16 as a whole, or a byte
// order mark anywhere but at its start. Both come of a block appended in
// another encoding (a shell's ">>" in UTF-16, a copy of a file with its own
// mark), whose "[Signatur]" no reader of the rest would see.
std::optional<std::string> settingsTextFault(std::string_view bytes);

// True when a line of the text, however it ends (CR LF, CR or LF) and with
// blanks around it, is a block title that begins with "Signatur" in any case
// once trimmed. Such a line means a key, even where the block reader sees no
// block: a key appended with the wrong line ends or a title with a typo must
// stop the update, not switch the signature check off.
bool asksForSignature(std::string_view text);

}  // namespace morvane
