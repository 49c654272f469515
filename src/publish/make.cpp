#include "publish/make.h"

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>

#include "blockfile/ini_reader.h"
#include "platform/crypto.h"
#include "platform/signing.h"
#include "platform/text.h"
#include "publish/description_text.h"
#include "publish/local_files.h"
#include "update/target_rules.h"

namespace morvane::publish {
namespace {

constexpr const char* kCrLf = "\r\n";

[[noreturn]] void refuse(const std::string& reason) {
    throw std::runtime_error(reason);
}

// One line of the description: Windows-1252 must hold it and it must stay
// one line.
std::string lineText(const std::string& what, const std::string& utf8) {
    if (utf8.find_first_of("\r\n") != std::string::npos) {
        refuse(what + " must be one line");
    }
    const std::optional<std::string> bytes = toWindows1252(utf8);
    if (!bytes) {
        refuse(what + " \"" + utf8 + "\" has characters that Windows-1252 cannot hold");
    }
    return *bytes;
}

bool looksLikeHeader(const std::string& line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

// The notes as the lines of the Beschreibung block.
std::string notesText(const std::string& path) {
    std::optional<std::string> text = readWholeFile(path, 1024 * 1024);
    if (!text) {
        refuse("cannot read the notes " + path);
    }
    if (text->rfind("\xEF\xBB\xBF", 0) == 0) {
        text->erase(0, 3);  // a byte order mark some editors write
    }
    std::string block;
    std::size_t start = 0;
    int number = 1;
    while (start < text->size()) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos) {
            end = text->size();
        }
        std::string line = text->substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (looksLikeHeader(line)) {
            refuse("notes line " + decimal(number) + " would open a block: \"" + line + "\"");
        }
        block += lineText("notes line " + decimal(number), line) + kCrLf;
        start = end + 1;
        ++number;
    }
    return block;
}

struct Previous {
    std::string version;
    std::map<std::string, std::string> hashes;  // folded "Ziel" to lower-case hex
};

Previous readPrevious(const std::string& path) {
    const std::optional<std::string> bytes = readWholeFile(path, 16 * 1024 * 1024);
    if (!bytes) {
        refuse("cannot read the previous description " + path);
    }
    OneFileSystem memory(*bytes);
    IniReader reader(memory);
    reader.Init(path);
    Previous previous{reader.GetLine("Version"), {}};
    for (std::int32_t position = 5; position < reader.BlockCount(); ++position) {
        std::string target = reader.GetValue(position, "Ziel");
        std::replace(target.begin(), target.end(), '/', '\\');
        const std::optional<Sha256Digest> digest = parseSha256(reader.GetValue(position, "SHA256"));
        if (!target.empty() && digest) {
            previous.hashes[foldCase(target)] = toHex(*digest);
        }
    }
    return previous;
}

}  // namespace

void makeRelease(const MakeOptions& options, std::ostream& out) {
    if (options.version.empty()) {
        refuse("--version must not be empty");
    }
    if (options.messageType != "0" && options.messageType != "1" && options.messageType != "2") {
        refuse("--msg-typ must be 0, 1 or 2");
    }
    if (options.startFile.empty()) {
        refuse("--start must not be empty");
    }
    if (!isFolder(options.from)) {
        refuse("--from " + options.from + " is no folder");
    }
    std::optional<Previous> previous;
    if (options.previous) {
        previous = readPrevious(*options.previous);
        if (compareOrdinal(options.version, previous->version) <= 0) {
            refuse("version \"" + options.version + "\" is not newer than the previous \"" +
                   previous->version +
                   "\" by the updater's text comparison (compare as text: \"1.10\" sorts before "
                   "\"1.9\"; use \"1.09\")");
        }
    }
    std::optional<std::string> privateKey;
    if (options.keyFile) {
        privateKey = readWholeFile(*options.keyFile, 64 * 1024);
        if (!privateKey) {
            refuse("cannot read the key " + *options.keyFile);
        }
    }

    std::string text;
    text += "[Version]" + std::string(kCrLf) + lineText("--version", options.version) + kCrLf;
    text += "[Titel]" + std::string(kCrLf) + lineText("--title", options.title) + kCrLf;
    text += "[Msg-Typ]" + std::string(kCrLf) + options.messageType + kCrLf;
    text += "[Beschreibung]" + std::string(kCrLf) + notesText(options.notesFile);

    std::set<std::string> targets;
    std::vector<std::string> released;
    std::size_t unchanged = 0;
    for (const std::string& relative : filesBelow(options.from)) {
        std::string target = relative;
        std::replace(target.begin(), target.end(), '/', '\\');
        if (!namesFileBelowFolder(target) ||
            namesUpdaterOwnFile(target, kDescriptionName, "Updater")) {
            refuse("the updater would refuse the file " + relative +
                   " (a name Windows does not allow, or one of the updater's own files)");
        }
        if (!targets.insert(foldCase(target)).second) {
            refuse("two files differ only in case, which Windows does not tell apart: " + relative);
        }
        const std::optional<Sha256Digest> digest = fileSha256(joinPath(options.from, relative));
        if (!digest) {
            refuse("cannot read " + joinPath(options.from, relative));
        }
        const std::optional<std::uint64_t> size = fileSize(joinPath(options.from, relative));
        if (!size) {
            refuse("cannot read " + joinPath(options.from, relative));
        }
        const std::string hex = toHex(*digest);
        if (previous) {
            const auto known = previous->hashes.find(foldCase(target));
            if (known != previous->hashes.end() && known->second == hex) {
                ++unchanged;
                continue;
            }
        }
        const std::string title = lineText("the file name " + relative, relative);
        // The updater finds its start file by the block's title.
        if (foldCase(title) == "STARTDATEI") {
            refuse("the file name " + relative + " would shadow the Startdatei block");
        }
        text += "[" + title + "]" + kCrLf;
        text += "Quelle = " + title + kCrLf;
        text += "Ziel = " + lineText("the file name " + relative, target) + kCrLf;
        text += "SHA256 = " + hex + kCrLf;
        // The updater stops a download that grows beyond this.
        text += lineText("the size", "Größe = " + decimal(static_cast<long long>(*size))) + kCrLf;
        released.push_back(relative);
    }
    text += "[Startdatei]" + std::string(kCrLf) + lineText("--start", options.startFile) + kCrLf;

    std::optional<std::string> signature;
    if (privateKey) {
        signature = signWithPrivateKey(*privateKey, text);
        if (!signature) {
            refuse("the key " + *options.keyFile + " is no ECDSA P-256 private key (PKCS#8 PEM)");
        }
    }
    for (const std::string& relative : released) {
        const std::optional<std::string> bytes =
            readWholeFile(joinPath(options.from, relative), ~std::uintmax_t{0});
        if (!bytes) {
            refuse("cannot read " + joinPath(options.from, relative));
        }
        writeWholeFile(joinPath(options.out, relative), *bytes);
    }
    const std::string description = joinPath(options.out, kDescriptionName);
    writeWholeFile(description, text);
    if (signature) {
        writeWholeFile(description + ".sig", *signature);
    }
    out << "wrote " << description << ": " << released.size() << " file block(s)";
    if (previous) {
        out << ", " << unchanged << " unchanged file(s) left out";
    }
    out << (signature ? ", signed" : "") << "\n";
}

}  // namespace morvane::publish
