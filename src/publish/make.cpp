#include "publish/make.h"

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>

#include "base/crypto.h"
#include "base/text.h"
#include "blockfile/ini_reader.h"
#include "publish/check.h"
#include "publish/local_files.h"
#include "publish/signer.h"
#include "release/description_writer.h"
#include "release/release_rules.h"
#include "release/target_rules.h"
#include "release/windows1252.h"

namespace morvane::publish {
namespace {

constexpr const char* kCrLf = "\r\n";
// The updater's program name whose files a copy of an installed folder holds.
constexpr const char* kProgramName = "Updater";

[[noreturn]] void refuse(const std::string& reason) {
    throw std::runtime_error(reason);
}

// The notes as the text of the Beschreibung block: every line followed by
// "\r\n".
std::string notesText(const std::string& path) {
    std::optional<std::string> text = readWholeFile(path, kMebibyte);
    if (!text) {
        refuse("cannot read the notes " + path);
    }
    if (text->rfind("\xEF\xBB\xBF", 0) == 0) {
        text->erase(0, 3);  // a byte order mark some editors write
    }
    // Text that is no UTF-8 was saved in the publisher's Windows code page,
    // which the description keeps as it is.
    if (!isUtf8(*text)) {
        *text = windows1252ToUtf8(*text);
    }
    std::string block;
    std::size_t start = 0;
    while (start < text->size()) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos) {
            end = text->size();
        }
        std::string line = text->substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        block += line + kCrLf;
        start = end + 1;
    }
    return block;
}

// The description a release before this one was made with.
Release readPrevious(const std::string& path) {
    const std::optional<std::string> bytes = readWholeFile(path, 16 * kMebibyte);
    if (!bytes) {
        refuse("cannot read the previous description " + path);
    }
    return parseRelease(*bytes);
}

// Why a file below --from is no part of a release; empty when it is. What
// is left out is named by the path reported for it ("Temp/", "Thumbs.db").
struct LeftOut {
    std::string reported;
    std::string reason;
};

std::optional<LeftOut> leftOut(const std::string& relative) {
    const std::size_t slash = relative.find('/');
    const std::string first = relative.substr(0, slash);
    const std::string name = relative.substr(relative.rfind('/') + 1);
    std::string target = relative;
    std::replace(target.begin(), target.end(), '/', '\\');
    if (namesUpdaterPlace(target, kProgramName)) {
        return LeftOut{slash == std::string::npos ? relative : first + "/",
                       "the updater's own, from an installed folder"};
    }
    for (std::size_t start = 0; start < relative.size();) {
        const std::size_t end = std::min(relative.find('/', start), relative.size());
        const std::string component = foldCase(relative.substr(start, end - start));
        if (end < relative.size() && (component == ".GIT" || component == ".SVN")) {
            return LeftOut{relative.substr(0, end + 1), "version control"};
        }
        start = end + 1;
    }
    const std::string folded = foldCase(name);
    if (name.rfind("~$", 0) == 0 || folded == "THUMBS.DB" || folded == "DESKTOP.INI" ||
        folded == ".DS_STORE") {
        return LeftOut{relative, "a file the system or an open document leaves behind"};
    }
    return std::nullopt;
}

// "#", "%" and "?" end or escape a URL's path: percent-encoded, the server
// finds the file of that name.
std::string sourceOf(const std::string& relative) {
    std::string source;
    for (const char c : relative) {
        if (c == '#' || c == '%' || c == '?') {
            static const char* const kHex = "0123456789ABCDEF";
            source += '%';
            source += kHex[static_cast<unsigned char>(c) >> 4];
            source += kHex[c & 15];
        } else {
            source += c;
        }
    }
    return source;
}

std::string hashOf(const std::string& path) {
    const std::optional<Sha256Digest> digest = fileSha256(path);
    if (!digest) {
        refuse("cannot read " + path);
    }
    return toHex(*digest);
}

// What changed against the previous release, by folded "Ziel".
void reportChanges(const Release& previous, const Release& release, std::ostream& out) {
    std::map<std::string, std::string> before;
    for (const FileEntry& file : previous.files) {
        before[foldCase(file.target)] = foldCase(file.sha256.value_or(""));
    }
    std::size_t changed = 0;
    for (const FileEntry& file : release.files) {
        const auto known = before.find(foldCase(file.target));
        if (known == before.end() || known->second != foldCase(file.sha256.value_or(""))) {
            out << "changed since " << previous.version << ": " << file.target << "\n";
            ++changed;
        }
        if (known != before.end()) {
            before.erase(known);
        }
    }
    for (const FileEntry& file : previous.files) {
        if (before.count(foldCase(file.target)) != 0) {
            out << "removed since " << previous.version << ": " << file.target
                << " (stays on workstations that have it)\n";
        }
    }
    out << changed << " of " << release.files.size() << " file(s) changed\n";
}

void checkOptions(const MakeOptions& options) {
    if (!isNewerVersion(options.version, "")) {
        refuse("--version must not be empty or blanks only");
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
    if (isSameOrInside(options.out, options.from)) {
        refuse("--out " + options.out + " lies in --from " + options.from +
               ": the next release would ship this one");
    }
}

// A Http that reaches nothing: `make` checks its own output on disk.
class NoHttp : public Http {
public:
    std::unique_ptr<HttpSession> openSession() override { return nullptr; }
};

}  // namespace

void makeRelease(const MakeOptions& options, std::ostream& out, std::ostream& err) {
    checkOptions(options);
    std::optional<Release> previous;
    if (options.previous) {
        previous = readPrevious(*options.previous);
        if (!isNewerVersion(options.version, previous->version)) {
            refuse("version \"" + options.version + "\" is not newer than the previous \"" +
                   previous->version +
                   "\" by the updater's text comparison (compare as text: \"1.10\" sorts before "
                   "\"1.9\"; use \"1.09\")");
        }
    }
    std::optional<Signer> signer;
    if (options.keyFile) {
        signer = Signer::fromKeyFile(*options.keyFile);
    }

    Release release;
    release.version = options.version;
    release.title = options.title;
    release.messageType = options.messageType;
    release.notes = notesText(options.notesFile);
    release.startFile = options.startFile;
    if (!startFileStaysBelowFolder(release)) {
        refuse("--start " + options.startFile + " leaves the application folder");
    }
    std::set<std::string> reported;
    for (const std::string& relative : filesBelow(options.from)) {
        if (const std::optional<LeftOut> skip = leftOut(relative)) {
            if (reported.insert(skip->reported).second) {
                err << "left out " << skip->reported << ": " << skip->reason << "\n";
            }
            continue;
        }
        FileEntry file;
        file.title = relative;
        file.source = sourceOf(relative);
        file.target = relative;
        std::replace(file.target.begin(), file.target.end(), '/', '\\');
        if (!mayInstallTarget(file.target, kDescriptionName, kProgramName)) {
            refuse("the updater would refuse the file " + relative +
                   " (a name Windows does not allow, or one of the updater's own files)");
        }
        file.sha256 = hashOf(joinPath(options.from, relative));
        const std::optional<std::uint64_t> size = fileSize(joinPath(options.from, relative));
        if (!size) {
            refuse("cannot read " + joinPath(options.from, relative));
        }
        // The updater stops a download that grows beyond this.
        file.size = static_cast<std::int64_t>(*size);
        release.files.push_back(std::move(file));
    }
    if (const auto clash = clashingTargets(release)) {
        refuse("two files differ only in case, which Windows does not tell apart: " +
               release.files[clash->second].title);
    }
    const std::string text = descriptionText(release);

    std::optional<std::string> signature;
    if (signer) {
        signature = signer->sign(text);
    }
    for (const FileEntry& file : release.files) {
        const std::optional<std::string> bytes =
            readWholeFile(joinPath(options.from, file.title), ~std::uintmax_t{0});
        if (!bytes) {
            refuse("cannot read " + joinPath(options.from, file.title));
        }
        writeWholeFile(joinPath(options.out, file.title), *bytes);
    }
    const std::string description = joinPath(options.out, kDescriptionName);
    writeWholeFile(description, text);
    if (signature) {
        writeWholeFile(description + ".sig", *signature);
    } else {
        // A signature of an earlier make would sign other bytes.
        removeFile(description + ".sig");
    }

    // The release as the updater and `check` will read it.
    NoHttp offline;
    CheckOptions check;
    check.description = description;
    check.programName = kProgramName;
    std::size_t errors = 0;
    for (const Finding& finding : checkDescription(check, offline)) {
        if (finding.kind == Finding::Kind::Error) {
            err << formatFinding(description, finding) << "\n";
            ++errors;
        }
    }
    if (errors != 0) {
        removeFile(description);
        removeFile(description + ".sig");
        refuse("the release fails its check; " + description + " was removed");
    }
    if (previous) {
        reportChanges(*previous, release, out);
    }
    out << "wrote " << description << ": " << release.files.size() << " file block(s)"
        << (signature ? ", signed" : "") << "\n";
}

}  // namespace morvane::publish
