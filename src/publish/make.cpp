#include "publish/make.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "base/crypto.h"
#include "base/text.h"
#include "publish/check.h"
#include "publish/host/host_files.h"
#include "publish/local_files.h"
#include "publish/notes.h"
#include "publish/previous_release.h"
#include "publish/quantities.h"
#include "publish/release_folder.h"
#include "publish/release_staging.h"
#include "publish/signer.h"
#include "publish/target_refusal.h"
#include "release/description_writer.h"
#include "release/limits.h"
#include "release/release_rules.h"

namespace morvane::publish {
namespace {

[[noreturn]] void refuse(const std::string& reason) {
    throw std::runtime_error(reason);
}

std::string signatureIn(const std::string& folder) {
    return joinPath(folder, std::string(kDescriptionName) + ".sig");
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
    if (options.updaterProgram && !isRegularFile(*options.updaterProgram)) {
        refuse("--updater " + *options.updaterProgram + " is no file");
    }
    if (!options.keyFile && !options.unsignedRelease && isRegularFile(signatureIn(options.out))) {
        refuse("--out " + options.out +
               " holds a signed release; made without --key, this one would be unsigned, and "
               "every PC whose settings hold a key would refuse it at every start: give --key, "
               "or --unsigned to publish it unsigned");
    }
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

// The limit by name, with how many files of names like these would fit.
void checkDescriptionSize(const Release& release, std::size_t size) {
    const auto limit = static_cast<std::uint64_t>(kLargestDescription);
    if (size <= limit) {
        return;
    }
    Release empty = release;
    empty.files.clear();
    const std::size_t fixed = descriptionText(empty).size();
    const std::size_t perFile = (size - fixed) / std::max<std::size_t>(release.files.size(), 1);
    std::uint64_t fitting = limit > fixed ? (limit - fixed) / std::max<std::size_t>(perFile, 1) : 0;
    if (fitting > 1000) {
        fitting -= fitting % 100;
    }
    refuse("the description would have " + inMebibytes(size) + " (" + grouped(size) +
           " bytes); the updater fetches at most 1 MiB (" + grouped(limit) +
           " bytes) of it: about " + grouped(fitting) + " files with names like these fit");
}

// The release as the list decides it, every file with its size from the
// walk and a digest still to come.
Release plannedRelease(const MakeOptions& options, const ReleaseFolder& folder, std::string notes) {
    Release release;
    release.version = options.version;
    release.title = options.title;
    release.messageType = options.messageType;
    release.notes = std::move(notes);
    release.startFile = options.startFile;
    release.stage = options.stage;
    if (!startFileStaysBelowFolder(release)) {
        refuse("--start " + options.startFile + " leaves the application folder");
    }
    for (const ReleaseFile& found : folder.files) {
        FileEntry file;
        file.title = found.relative;
        file.source = sourceOf(found.relative);
        file.target = found.relative;
        std::replace(file.target.begin(), file.target.end(), '/', '\\');
        if (const auto refusal =
                targetRefusal(file.target, kDescriptionName, folder.programNames)) {
            refuse("the updater would refuse the file " + found.relative + ": " + *refusal);
        }
        file.sha256 = std::string(64, '0');  // as long as the digest to come
        file.size = static_cast<std::int64_t>(found.size);
        release.files.push_back(std::move(file));
    }
    if (options.updaterProgram) {
        // Under the name the updater runs as in the application's folder.
        FileEntry file;
        file.title = folder.programNames.front() + ".exe";
        file.source = sourceOf(file.title);
        file.target = file.title;
        file.sha256 = std::string(64, '0');
        file.size = static_cast<std::int64_t>(entryAt(*options.updaterProgram).size);
        release.files.push_back(std::move(file));
    }
    if (const auto clash = clashingTargets(release)) {
        const FileEntry& first = release.files[clash->first];
        const FileEntry& second = release.files[clash->second];
        refuse(foldCase(first.target) == foldCase(second.target)
                   ? "the files " + first.title + " and " + second.title +
                         " differ only in case, which Windows does not tell apart"
                   : "the file " + first.title + " and the folder of " + second.title +
                         " have one name on Windows");
    }
    const std::string text = descriptionText(release);
    if (!startFileIsReleased(release)) {
        refuse("--start " + options.startFile +
               " is no file of the release (none below --from has that name): after the update "
               "every start would show \"Start-Fehler\"");
    }
    checkDescriptionSize(release, text.size());
    return release;
}

// Each file read once: hashed, counted and copied into the new folder.
std::map<std::string, FileFacts> writeFiles(const MakeOptions& options, Release& release,
                                            const std::string& folder, Progress& progress) {
    std::map<std::string, FileFacts> written;
    for (FileEntry& file : release.files) {
        const bool updater = options.updaterProgram && &file == &release.files.back();
        const std::string source =
            updater ? *options.updaterProgram : joinPath(options.from, file.title);
        const FileFacts facts = copyFile(source, joinPath(folder, file.title),
                                         [&](std::uint64_t count) { progress.addBytes(count); });
        file.sha256 = toHex(facts.digest);
        file.size = static_cast<std::int64_t>(facts.size);
        written[file.source] = facts;
        progress.fileDone();
    }
    progress.finish();
    return written;
}

// A Http that reaches nothing: make checks its own output on disk.
class NoHttp : public Http {
public:
    std::unique_ptr<HttpSession> openSession() override { return nullptr; }
};

}  // namespace

void makeRelease(const MakeOptions& options, std::ostream& out, std::ostream& err) {
    checkOptions(options);
    std::optional<Release> previous;
    if (options.previous) {
        previous = readPreviousRelease(*options.previous);
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

    const ReleaseFolder folder = gatherReleaseFolder(options.from, options.updaterName);
    for (const LeftOut& skipped : folder.leftOut) {
        err << "left out " << skipped.reported << ": " << skipped.reason << "\n";
    }
    Release release = plannedRelease(options, folder, notesText(options.notesFile, err));

    ReleaseStaging staging(options.out);
    Progress progress(err, options.progress, "make");
    std::uint64_t bytes = 0;
    for (const FileEntry& file : release.files) {
        bytes += static_cast<std::uint64_t>(*file.size);
    }
    progress.setTotal(release.files.size(), bytes);
    std::map<std::string, FileFacts> written =
        writeFiles(options, release, staging.folder(), progress);
    const std::string text = descriptionText(release);
    const std::string description = joinPath(staging.folder(), kDescriptionName);
    writeWholeFile(description, text);
    if (signer) {
        writeWholeFile(signatureIn(staging.folder()), signer->sign(text));
    }

    // The release as the updater and `check` will read it, with the files
    // as the one pass over them found them.
    CheckOptions check;
    check.description = description;
    check.programNames = folder.programNames;
    check.knownSources = std::move(written);
    const std::string shown = joinPath(options.out, kDescriptionName);
    std::size_t errors = 0;
    NoHttp offline;
    for (const Finding& finding : checkDescription(check, offline)) {
        if (finding.kind == Finding::Kind::Error) {
            err << formatFinding(shown, finding) << "\n";
            ++errors;
        }
    }
    if (errors != 0) {
        refuse("the release fails its check; --out " + options.out + " is as it was");
    }
    staging.swapIn();
    if (previous) {
        reportChanges(*previous, release, out);
    }
    out << "wrote " << shown << ": " << release.files.size() << " file block(s)"
        << (signer ? ", signed" : "") << "\n";
}

}  // namespace morvane::publish
