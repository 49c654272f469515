#include "publish/commands.h"

#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "base/crypto.h"
#include "base/failure.h"
#include "base/text.h"
#include "publish/check.h"
#include "publish/failure_text.h"
#include "publish/fleet_command.h"
#include "publish/local_files.h"
#include "publish/make.h"
#include "publish/progress.h"
#include "publish/signer.h"
#include "publish/signing/signing.h"
#include "release/settings.h"
#include "release/stage_rule.h"
#include "release/windows1252.h"

namespace morvane::publish {
namespace {

// Exit statuses.
constexpr int kDone = 0;
constexpr int kFindings = 1;  // check found warnings or errors
constexpr int kUsage = 2;
constexpr int kFailure = 3;

constexpr std::string_view kPemBegin = "-----BEGIN PUBLIC KEY-----";
constexpr std::string_view kPemEnd = "-----END PUBLIC KEY-----";

constexpr const char* kExitStatuses =
    "exit status: 0 done (check: no findings), 1 check found warnings or errors,\n"
    "2 the command line is wrong, 3 the command failed.\n";

// The help texts name the program as it is called on its host.
std::string named(std::string text) {
    const std::string name = publisherName();
    for (std::size_t at = text.find('@'); at != std::string::npos;
         at = text.find('@', at + name.size())) {
        text.replace(at, 1, name);
    }
    return text;
}

const std::string& usage() {
    static const std::string text = named(
        "usage: @ COMMAND [ARGUMENTS]\n"
        "Makes, signs and checks releases for the updater.\n"
        "\n"
        "commands:\n"
        "  keygen KEYFILE        a new signing key pair\n"
        "  make ...              the description and the server folder of a release\n"
        "  sign DESCRIPTION KEYFILE\n"
        "                        writes DESCRIPTION.sig\n"
        "  check DESCRIPTION-OR-URL [--installed-version V] [--key KEY] [--updater-name NAME]\n"
        "        [--fleet LOG...]\n"
        "                        reads a description as the updater would\n"
        "  fleet [--days N] [--csv FILE] [--html FILE] LOG...\n"
        "                        the PCs that run the updater, from the server's access logs\n"
        "\n"
        "COMMAND --help tells more; --version names the tool's version.\n" +
        std::string(kExitStatuses));
    return text;
}

const std::map<std::string, std::string>& helpTexts() {
    static const std::map<std::string, std::string> texts = {
        {"keygen",
         named(
             "usage: @ keygen KEYFILE\n"
             "Makes a new ECDSA P-256 key pair. The private key goes to KEYFILE as PKCS#8 PEM\n"
             "(readable by its owner only; keep it off the server). The [Signatur] block for the\n"
             "updater's settings file (<exe name>.ini) is printed with CR LF line ends, ready to\n"
             "be appended to it. An existing KEYFILE is never replaced.\n"
             "\n"
             "example:\n"
             "  @ keygen signing-key.pem >> Updater.ini\n")},
        {"make",
         named("usage: @ make --from FOLDER --version V --title T --msg-typ 0|1|2\n"
               "         --notes NOTESFILE --start WORKBOOK [--previous DESCRIPTION]\n"
               "         [--key KEYFILE | --unsigned] [--updater-name NAME] [--progress]\n"
               "         [--pilot NAME,NAME] [--share N] [--updater PROGRAM] --out SERVERFOLDER\n"
               "Writes SERVERFOLDER/revision.ini with one block per file below FOLDER (Quelle,\n"
               "Ziel, SHA256, Größe) in Windows-1252 with CR LF, copies the files beside it as\n"
               "the server serves them, and with --key signs it (revision.ini.sig). Every\n"
               "release lists every file; WORKBOOK must be one of them. With --previous (the\n"
               "description now on the server, as a file) make reports which files changed and\n"
               "which were removed since. The release is built in a folder beside SERVERFOLDER\n"
               "and replaces it only once it passes its check; SERVERFOLDER may hold nothing\n"
               "but a release. A signed SERVERFOLDER stays signed: without --key, make needs\n"
               "--unsigned.\n"
               "Left out, and named: Temp, Backup, the updater's program (known by its version\n"
               "information, or named by --updater-name NAME for NAME.exe) and its settings,\n"
               "version-control folders, lock and thumbnail files, empty folders and links that\n"
               "lead nowhere. A link is released under its own name.\n"
               "NOTESFILE is text in UTF-8 (with or without byte order mark) or else\n"
               "Windows-1252, one line of the notice per line.\n"
               "--progress shows how far it is also when stderr is no terminal.\n"
               "--pilot and --share roll the release out in stages: the PCs named (computer\n"
               "names: letters, digits, - and _) get it first, of the others N per cent\n"
               "(1 to 100), the same PCs for a version, so that a larger N only adds PCs.\n"
               "They go into the [Version] block as Pilot and Anteil.\n"
               "--updater PROGRAM puts a new updater program into the release (Ziel: the\n"
               "updater's name, NAME.exe or Updater.exe); only with --key: the PCs replace\n"
               "their updater only from a signed release, after the new one passed its\n"
               "self-test.\n"
               "\n"
               "--msg-typ tells the updater how to tell the user:\n"
               "  0  installs silently, without the progress window\n"
               "  1  informs: shows the title and the notes with OK, then installs\n"
               "  2  asks: shows the title and the notes with Yes and No; No declines\n"
               "The updater installs any other value silently; make takes only 0, 1 and 2.\n"
               "\n"
               "example:\n"
               "  @ make --from release --version 2.1 --title \"Umsatz 2.1\" --msg-typ 1 "
               "--notes notes.txt --start Umsatz.xlsm --key key.pem --out upload\n" +
               std::string(kExitStatuses))},
        {"sign",
         named("usage: @ sign DESCRIPTION KEYFILE\n"
               "Signs DESCRIPTION's exact bytes with the private key in KEYFILE and writes\n"
               "DESCRIPTION.sig. KEYFILE is an unencrypted ECDSA P-256 key in PEM, from keygen\n"
               "or openssl (\"PRIVATE KEY\" or \"EC PRIVATE KEY\").\n"
               "\n"
               "example:\n"
               "  @ sign upload/revision.ini signing-key.pem\n")},
        {"check",
         named(
             "usage: @ check DESCRIPTION-OR-URL [--installed-version V] [--key KEY]\n"
             "         [--updater-name NAME] [--progress] [--fleet LOG...]\n"
             "Reads a description as the updater would, checks each Quelle and SHA256 against\n"
             "the files next to it (or on the server) and, with --key, the signature. KEY is the\n"
             "base64 line of the [Signatur] block, a public key in PEM, or the updater's settings\n"
             "file, read as the updater reads it (a key the updater cannot use is an error).\n"
             "NAME is the updater's program name when it is not Updater.exe.\n"
             "Prints one line per finding. An error in the description's form means that the\n"
             "updater installs nothing of it; an error about a Quelle, that the PCs that need\n"
             "that file fail and install nothing (a PC that has it unchanged does not fetch it).\n"
             "A note tells the stage (Pilot, Anteil) and, with --fleet, which of the PCs in\n"
             "the web server's access logs (as fleet reads them, the last 30 days) it reaches.\n"
             "\n"
             "example:\n"
             "  @ check upload/revision.ini --installed-version 2.0 --key Updater.ini\n" +
             std::string(kExitStatuses))},
        {"fleet", named(fleetHelp())},
    };
    return texts;
}

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a command takes: its positional arguments by name, the options
// with a value and the options without one; with `repeatsLast` the last
// positional argument may be given any number of times. A `listed` option
// takes every argument after it up to the next option, at least one.
struct Syntax {
    std::vector<std::string> positional;
    std::vector<std::string> valued;
    std::vector<std::string> flags;
    bool repeatsLast = false;
    std::vector<std::string> listed = {};
};

const Syntax& syntaxOf(const std::string& command) {
    static const std::map<std::string, Syntax> syntaxes = {
        {"keygen", {{"KEYFILE"}, {}, {}}},
        {"make",
         {{},
          {"--from", "--version", "--title", "--msg-typ", "--notes", "--start", "--previous",
           "--key", "--out", "--updater-name", "--pilot", "--share", "--updater"},
          {"--unsigned", "--progress"}}},
        {"sign", {{"DESCRIPTION", "KEYFILE"}, {}, {}}},
        {"check",
         {{"DESCRIPTION-OR-URL"},
          {"--installed-version", "--key", "--updater-name"},
          {"--progress"},
          false,
          {"--fleet"}}},
        {"fleet", {{"LOG"}, {"--days", "--csv", "--html", "--description", "--release"}, {}, true}},
    };
    return syntaxes.at(command);
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Positional arguments and the options of one command.
struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;  // a flag's value is ""
    std::map<std::string, std::vector<std::string>> lists;
    bool help = false;
};

Arguments parse(const std::vector<std::string>& args, const Syntax& syntax) {
    Arguments parsed;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
        } else if (contains(syntax.listed, arg)) {
            if (parsed.lists.count(arg) != 0) {
                throw UsageError(arg + " is given twice");
            }
            std::vector<std::string>& list = parsed.lists[arg];
            while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
                list.push_back(args[++i]);
            }
            if (list.empty()) {
                throw UsageError(arg + " needs a value");
            }
        } else if (arg.rfind("--", 0) == 0) {
            const bool valued = contains(syntax.valued, arg);
            if (!valued && !contains(syntax.flags, arg)) {
                throw UsageError("unknown option " + arg);
            }
            if (parsed.options.count(arg) != 0) {
                throw UsageError(arg + " is given twice");
            }
            if (valued && i + 1 >= args.size()) {
                throw UsageError(arg + " needs a value");
            }
            parsed.options[arg] = valued ? args[++i] : std::string();
        } else if (parsed.positional.size() < syntax.positional.size() || syntax.repeatsLast) {
            parsed.positional.push_back(arg);
        } else {
            throw UsageError("unexpected argument " + arg);
        }
    }
    if (!parsed.help && parsed.positional.size() < syntax.positional.size()) {
        throw UsageError(syntax.positional[parsed.positional.size()] + " is missing");
    }
    return parsed;
}

std::string required(const Arguments& arguments, const std::string& name) {
    const auto found = arguments.options.find(name);
    if (found == arguments.options.end()) {
        throw UsageError(name + " is required");
    }
    return found->second;
}

std::optional<std::string> optional(const Arguments& arguments, const std::string& name) {
    const auto found = arguments.options.find(name);
    return found == arguments.options.end() ? std::nullopt
                                            : std::optional<std::string>(found->second);
}

bool given(const Arguments& arguments, const std::string& name) {
    return arguments.options.count(name) != 0;
}

ProgressMode progressOf(const Arguments& arguments, bool errIsTerminal) {
    if (errIsTerminal) {
        return ProgressMode::Rewrite;
    }
    return given(arguments, "--progress") ? ProgressMode::Lines : ProgressMode::Quiet;
}

int keygen(const Arguments& arguments, std::ostream& out) {
    const std::string publicKey = makeKeyFile(arguments.positional[0]);
    // The first line end ends the last line of a settings file that lacks
    // one, so that appending never glues the comment onto it. The block
    // [Hinweis], which the updater does not read, takes that empty line in a
    // file that holds nothing else: ahead of [Signatur] it would be read as
    // the key.
    out << "\r\n[Hinweis]\r\n; The private key is in " << arguments.positional[0]
        << ". The block [Signatur] goes into the updater's settings file:\r\n"
        << "[Signatur]\r\n"
        << publicKey << "\r\n";
    return kDone;
}

int make(const Arguments& arguments, bool errIsTerminal, std::ostream& out, std::ostream& err) {
    if (given(arguments, "--key") && given(arguments, "--unsigned")) {
        throw UsageError("--key and --unsigned exclude each other");
    }
    if (given(arguments, "--updater") && !given(arguments, "--key")) {
        throw UsageError(
            "--updater needs --key: the updaters replace their program only from a signed "
            "release");
    }
    MakeOptions options;
    options.from = required(arguments, "--from");
    options.version = required(arguments, "--version");
    options.title = required(arguments, "--title");
    options.messageType = required(arguments, "--msg-typ");
    options.notesFile = required(arguments, "--notes");
    options.startFile = required(arguments, "--start");
    options.previous = optional(arguments, "--previous");
    options.keyFile = optional(arguments, "--key");
    options.out = required(arguments, "--out");
    options.updaterName = optional(arguments, "--updater-name");
    options.updaterProgram = optional(arguments, "--updater");
    options.unsignedRelease = given(arguments, "--unsigned");
    options.progress = progressOf(arguments, errIsTerminal);
    if (const auto pilots = optional(arguments, "--pilot")) {
        options.stage.pilots = pilotNames(*pilots);
        if (options.stage.pilots.empty()) {
            throw UsageError("--pilot names no PC");
        }
        for (const std::string& name : options.stage.pilots) {
            if (!isComputerName(name)) {
                throw UsageError("--pilot \"" + name +
                                 "\" is no computer name (letters, digits, \"-\" and \"_\")");
            }
        }
    }
    if (const auto share = optional(arguments, "--share")) {
        const std::optional<std::int64_t> number = decimalNumber(*share);
        if (!number || *number < 1 || *number > 100) {
            throw UsageError("--share takes a whole number from 1 to 100, not \"" + *share + "\"");
        }
        options.stage.share = static_cast<int>(*number);
    }
    makeRelease(options, out, err);
    return kDone;
}

int sign(const Arguments& arguments, std::ostream& out) {
    const std::string& description = arguments.positional[0];
    const Signer signer = Signer::fromKeyFile(arguments.positional[1]);
    const std::optional<std::string> bytes = readWholeFile(description);
    if (!bytes) {
        throw std::runtime_error("cannot read " + description);
    }
    writeWholeFile(description + ".sig", signer.sign(*bytes));
    out << "wrote " << description << ".sig\n";
    return kDone;
}

// Whether a --key text that names no file is meant as the base64 line
// itself: base64 characters only, and about as long as a key (the line of a
// P-256 key has 124). A name with a dot, a blank or "\\" is none, so a
// mistyped file name is reported as missing rather than as a bad key.
bool looksLikeKeyLine(const std::string& text) {
    constexpr const char* kBase64 =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
    return text.size() >= 64 && text.find_first_not_of(kBase64) == std::string::npos;
}

// The base64 public key from the text of --key: the line itself, a file
// with a PEM public key (its base64 lines joined), or the updater's settings
// file, read by the updater's own code: where the updater would refuse to
// run, so does check.
std::string publicKeyOf(const std::string& text) {
    if (!isRegularFile(text)) {
        if (looksLikeKeyLine(text)) {
            return text;
        }
        throw std::runtime_error("--key " + text +
                                 ": there is no such file, and it is no base64 key line either");
    }
    const std::optional<std::string> read = readWholeFile(text, 64 * kKibibyte);
    if (!read) {
        throw std::runtime_error("cannot read the key file " + text);
    }
    const std::string& content = *read;
    const std::size_t begin = content.find(kPemBegin);
    const std::size_t end = content.find(kPemEnd);
    if (begin != std::string::npos && end != std::string::npos && begin < end) {
        std::string joined;
        for (const char c :
             content.substr(begin + kPemBegin.size(), end - begin - kPemBegin.size())) {
            if (c != '\r' && c != '\n' && c != ' ') {
                joined += c;
            }
        }
        return joined;
    }
    if (const std::optional<std::string> fault = settingsTextFault(content)) {
        throw std::runtime_error(text + ": the updater cannot read this settings file (" + *fault +
                                 ") and refuses to run");
    }
    const UpdaterSettings settings = parseSettings(content);
    if (!settings.signatureRequired) {
        throw std::runtime_error(text + " holds neither a [Signatur] block nor a PEM public key");
    }
    if (!SignatureKey::fromBase64(settings.signatureKey)) {
        throw std::runtime_error(
            text +
            ": the updater finds no valid key in its [Signatur] block and refuses every update "
            "(the title must read [Signatur], every line end CR LF, the key the line after it)");
    }
    return settings.signatureKey;
}

int check(const Arguments& arguments, bool errIsTerminal, Http& http, std::ostream& out,
          std::ostream& err) {
    CheckOptions options;
    options.description = arguments.positional[0];
    options.installedVersion = optional(arguments, "--installed-version");
    if (const auto key = optional(arguments, "--key")) {
        options.publicKey = publicKeyOf(*key);
    }
    if (const auto name = optional(arguments, "--updater-name")) {
        options.programNames = {*name};
    }
    if (const auto logs = arguments.lists.find("--fleet"); logs != arguments.lists.end()) {
        options.fleetLogs = logs->second;
    }
    options.progressOut = &err;
    options.progress = progressOf(arguments, errIsTerminal);
    const std::vector<Finding> findings = checkDescription(options, http);
    std::size_t errors = 0;
    std::size_t warnings = 0;
    for (const Finding& finding : findings) {
        const bool error = finding.kind == Finding::Kind::Error;
        errors += error ? 1 : 0;
        warnings += finding.kind == Finding::Kind::Warning ? 1 : 0;
        (error ? err : out) << formatFinding(options.description, finding) << "\n";
    }
    if (errors + warnings == 0) {
        out << options.description << ": no findings\n";
        return kDone;
    }
    out << options.description << ": " << errors << " error(s), " << warnings << " warning(s)\n";
    return kFindings;
}

}  // namespace

int runPublisher(const std::vector<std::string>& args, Http& http, std::ostream& out,
                 std::ostream& err, bool errIsTerminal) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? err : out) << usage();
        return args.empty() ? kUsage : kDone;
    }
    if (args[0] == "--version") {
        out << publisherName() << " " << MORVANE_VERSION << "\n";
        return args.size() == 1 ? kDone : kUsage;
    }
    const std::string& command = args[0];
    const auto help = helpTexts().find(command);
    if (help == helpTexts().end()) {
        err << "unknown command " << command << "\n" << usage();
        return kUsage;
    }
    try {
        const Arguments arguments = parse(args, syntaxOf(command));
        if (arguments.help) {
            out << help->second;
            return kDone;
        }
        if (command == "keygen") {
            return keygen(arguments, out);
        }
        if (command == "make") {
            return make(arguments, errIsTerminal, out, err);
        }
        if (command == "sign") {
            return sign(arguments, out);
        }
        if (command == "fleet") {
            return fleet(arguments.positional, arguments.options, help->second, out, err);
        }
        return check(arguments, errIsTerminal, http, out, err);
    } catch (const UsageError& e) {
        err << command << ": " << e.what() << "\n" << help->second;
        return kUsage;
    } catch (const Failure& e) {
        err << command << ": " << englishText(e) << "\n";
    } catch (const std::exception& e) {
        err << command << ": " << e.what() << "\n";
    }
    return kFailure;
}

}  // namespace morvane::publish
