#include "publish/check.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string_view>

#include "base/crypto.h"
#include "base/text.h"
#include "blockfile/ini_reader.h"
#include "publish/local_files.h"
#include "release/limits.h"
#include "release/release.h"
#include "release/release_rules.h"
#include "release/url_encoding.h"
#include "release/windows1252.h"

namespace morvane::publish {
namespace {

// The updater's limits hold for the check: what it would not fetch fails here.
constexpr auto kLargestDescriptionBytes = static_cast<std::size_t>(kLargestDescription);
constexpr auto kLargestSignatureBytes = static_cast<std::size_t>(kLargestSignature);

// The line of the first line end without CR; 0 when every line has one.
int firstLfOnlyLine(std::string_view bytes) {
    int number = 1;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            return number;
        }
        if (bytes[i] == '\r') {
            ++number;
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
        }
    }
    return 0;
}

bool isAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The first reason why a line is no text of the description's encoding;
// empty when it is.
std::string byteProblem(std::string_view b, bool utf8) {
    if (utf8 && !isUtf8(b)) {
        return "the text is no valid UTF-8 although the file starts with the UTF-8 mark "
               "(the updater shows \"\xEF\xBF\xBD\" for those bytes)";
    }
    for (const char byte : b) {
        const auto c = static_cast<unsigned char>(byte);
        if ((c < 0x20 && c != '\t') || c == 0x7F ||
            (!utf8 && (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D))) {
            static const char* const kHex = "0123456789ABCDEF";
            return std::string("byte 0x") + kHex[c >> 4] + kHex[c & 15] + " is no " +
                   (utf8 ? "text" : "Windows-1252 text");
        }
    }
    return {};
}

// ---- versions -------------------------------------------------------------------------

// The parts of a version of dot-separated decimal numbers; empty otherwise.
std::optional<std::vector<unsigned long long>> numericParts(const std::string& version) {
    std::vector<unsigned long long> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = version.find('.', start);
        const std::string part = version.substr(start, dot - start);
        if (part.empty() || part.size() > 18 ||
            part.find_first_not_of("0123456789") != std::string::npos) {
            return std::nullopt;
        }
        parts.push_back(std::stoull(part));
        if (dot == std::string::npos) {
            return parts;
        }
        start = dot + 1;
    }
}

// ---- the server's files ---------------------------------------------------------------

bool isUrl(const std::string& text) {
    const std::string folded = foldCase(text.substr(0, 8));
    return folded.rfind("HTTP://", 0) == 0 || folded.rfind("HTTPS://", 0) == 0;
}

class CollectingSink : public BodySink {
public:
    explicit CollectingSink(std::size_t largest, bool keep) : largest_(largest), keep_(keep) {}
    void begin(int, std::optional<std::int64_t>) override {}
    void write(const char* data, std::size_t count) override {
        hash_.update(data, count);
        received_ += count;
        if (keep_) {
            if (body_.size() + count > largest_) {
                throw std::runtime_error("the answer is too large");
            }
            body_.append(data, count);
        }
    }
    void afterRead() override {}

    std::uint64_t received() const { return received_; }
    std::string& body() { return body_; }
    Sha256Digest digest() { return hash_.finish(); }

private:
    std::size_t largest_;
    bool keep_;
    std::uint64_t received_ = 0;
    std::string body_;
    Sha256 hash_;
};

struct Fetched {
    bool complete = false;
    int status = 0;
    std::string body;
    std::optional<Sha256Digest> digest;
    std::optional<std::uint64_t> size;
};

Fetched fetch(Http& http, const std::string& url, std::size_t largest, bool keep) {
    Fetched result;
    const std::unique_ptr<HttpSession> session = http.openSession();
    if (!session) {
        return result;
    }
    CollectingSink sink(largest, keep);
    const GetResult got = session->get(url, sink);
    result.complete = got.isComplete();
    result.status = got.status;
    result.body = std::move(sink.body());
    if (result.complete) {
        result.digest = sink.digest();
        result.size = sink.received();
    }
    return result;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// ---- the checks -----------------------------------------------------------------------

class Checker {
public:
    Checker(const CheckOptions& options, Http& http) : options_(options), http_(http) {}

    std::vector<Finding> run() {
        const std::string bytes = readDescription();
        if (options_.publicKey) {
            checkSignature(bytes);
        }
        // A UTF-8 byte order mark makes the rest UTF-8, as for the updater.
        const bool utf8 = hasUtf8ByteOrderMark(bytes);
        const std::string_view text =
            std::string_view(bytes).substr(utf8 ? kUtf8ByteOrderMark.size() : 0);
        if (const int line = firstLfOnlyLine(text); line != 0) {
            // The updater sees one long line: nothing else can be told.
            error({}, line,
                  "line ends with LF only; the updater needs CR LF and reads no blocks here");
            return std::move(findings_);
        }
        description_ = parseRelease(bytes);
        checkBytes(text, utf8);
        if (exceedsBlockCounter(description_)) {
            error({}, 0,
                  decimal(static_cast<long long>(description_.blocks.size())) +
                      " blocks: more than the updater's 16-bit block counter holds (at most " +
                      decimal(kMostBlocks) + ")");
            return std::move(findings_);
        }
        checkHeadBlocks();
        checkFileBlocks();
        return std::move(findings_);
    }

private:
    void error(const std::string& block, int line, std::string message) {
        findings_.push_back({Finding::Kind::Error, block, line, std::move(message)});
    }
    void warning(const std::string& block, int line, std::string message) {
        findings_.push_back({Finding::Kind::Warning, block, line, std::move(message)});
    }

    std::string readDescription() {
        if (isUrl(options_.description)) {
            const Fetched got =
                fetch(http_, percentEncoded(options_.description), kLargestDescriptionBytes, true);
            if (!got.complete || got.status < 200 || got.status > 299) {
                throw std::runtime_error(
                    "cannot fetch " + options_.description +
                    (got.status != 0 ? " (HTTP " + decimal(got.status) + ")" : std::string()));
            }
            return got.body;
        }
        const auto bytes = readWholeFile(options_.description, kLargestDescriptionBytes);
        if (!bytes) {
            throw std::runtime_error("cannot read " + options_.description);
        }
        return *bytes;
    }

    std::string descriptionName() const {
        const std::string& d = options_.description;
        const std::size_t cut = d.find_last_of(isUrl(d) ? "/" : "/\\");
        return cut == std::string::npos ? d : d.substr(cut + 1);
    }

    // Bytes that are no text of the file's encoding: the updater reads them
    // all the same, so names and notices come out otherwise.
    void checkBytes(std::string_view text, bool utf8) {
        int firstNonAscii = 0;
        bool allUtf8 = true;
        for (const DescriptionLine& line : linesOf(text)) {
            const std::string problem = byteProblem(line.bytes, utf8);
            if (!problem.empty()) {
                warning(blockAt(line.number), line.number, problem);
            }
            if (firstNonAscii == 0 && !isAscii(line.bytes)) {
                firstNonAscii = line.number;
            }
            allUtf8 = allUtf8 && isUtf8(line.bytes);
        }
        if (!utf8 && firstNonAscii != 0 && allUtf8) {
            warning(blockAt(firstNonAscii), firstNonAscii,
                    "saved as UTF-8 without BOM? the updater reads Windows-1252 (save it as "
                    "Windows-1252, or as UTF-8 with BOM)");
        }
    }

    std::string blockAt(int line) const {
        std::string title;
        for (const BlockHeader& block : description_.blocks) {
            if (block.line != 0 && block.line <= line) {
                title = block.title;
            }
        }
        return title;
    }

    void checkSignature(const std::string& bytes) {
        const std::optional<SignatureKey> key = SignatureKey::fromBase64(*options_.publicKey);
        if (!key) {
            throw std::runtime_error("the key is no ECDSA P-256 public key in base64");
        }
        std::optional<std::string> signature;
        const std::string where = options_.description + ".sig";
        if (isUrl(options_.description)) {
            Fetched got = fetch(http_, percentEncoded(where), kLargestSignatureBytes, true);
            if (got.complete && got.status >= 200 && got.status <= 299) {
                signature = std::move(got.body);
            }
        } else {
            signature = readWholeFile(where, kLargestSignatureBytes);
        }
        if (!signature) {
            error({}, 0, "the signature " + where + " is missing");
        } else if (!key->verifies(bytes, *signature)) {
            error({}, 0, "the signature " + where + " does not sign this description with the key");
        }
    }

    void checkHeadBlocks() {
        const std::vector<BlockHeader>& blocks = description_.blocks;
        if (const auto position = misplacedHeadBlock(description_)) {
            const auto index = static_cast<std::size_t>(*position - 1);
            const std::string head =
                "the first four blocks must be Version, Titel, Msg-Typ and "
                "Beschreibung (the updater reads the files from block 5 on)";
            if (index >= blocks.size()) {
                error({}, 0, "block " + decimal(*position) + " is missing: " + head);
            } else {
                error(blocks[index].title, blocks[index].line,
                      "block " + decimal(*position) + " must be one of them: " + head);
            }
        }

        const std::string& version = description_.version;
        if (!isNewerVersion(version, "")) {
            error("Version", headerLine("VERSION"),
                  "no Version, or one of blanks only: the updater never sees it as newer");
        } else if (options_.installedVersion) {
            checkVersionOrder(version, *options_.installedVersion);
        }

        const std::string& messageType = description_.messageType;
        if (messageType != "0" && messageType != "1" && messageType != "2") {
            warning("Msg-Typ", headerLine("MSG-TYP"),
                    "Msg-Typ " + quoted(messageType) +
                        " is not 0, 1 or 2: the updater installs without asking, as for 0");
        }

        if (!endsWithStartFile(description_)) {
            error(blocks.empty() ? std::string() : blocks.back().title,
                  blocks.empty() ? 0 : blocks.back().line, "the last block must be Startdatei");
        }
        if (!startFileStaysBelowFolder(description_)) {
            error("Startdatei", headerLine("STARTDATEI"),
                  "Startdatei " + quoted(description_.startFile) +
                      " leaves the application folder: the updater refuses the description");
        }
    }

    void checkVersionOrder(const std::string& version, const std::string& installed) {
        const int line = headerLine("VERSION");
        if (!isNewerVersion(version, installed)) {
            std::string message = "version " + quoted(version) +
                                  " is not newer than the installed " + quoted(installed) +
                                  " by the updater's text comparison: workstations skip it";
            const auto a = numericParts(version);
            const auto b = numericParts(installed);
            if (a && b && *a > *b) {
                message +=
                    " (it is larger as a number, but text compares character by "
                    "character, so " +
                    quoted(version) + " sorts before " + quoted(installed) + ")";
            }
            warning("Version", line, message);
        }
        if (version.size() != installed.size()) {
            warning("Version", line,
                    "version " + quoted(version) + " and the installed " + quoted(installed) +
                        " differ in length: the updater compares them as text, so give every "
                        "version the same number of digits (e.g. \"1.09\", \"1.10\")");
        }
    }

    int headerLine(const std::string& foldedTitle) const {
        for (const BlockHeader& block : description_.blocks) {
            if (foldCase(block.title) == foldedTitle) {
                return block.line;
            }
        }
        return 0;
    }

    void checkFileBlocks() {
        const std::string name = descriptionName();
        std::vector<bool> installable;
        for (const FileEntry& file : description_.files) {
            const std::string target = file.target;
            installable.push_back(false);
            if (file.source.empty()) {
                error(file.title, file.line, "file block without Quelle");
            }
            if (target.empty()) {
                error(file.title, file.line, "file block without Ziel");
            } else if (!mayInstallTarget(target, name, options_.programName)) {
                error(file.title, file.lineOf("Ziel"),
                      "the updater refuses Ziel " + quoted(file.target) +
                          " (it must name a file below the application folder, and none of the "
                          "updater's own files or folders)");
            } else {
                installable.back() = true;
            }
            if (!file.sha256) {
                if (options_.publicKey) {
                    error(file.title, file.line,
                          "file block without SHA256: with a key the updater refuses it");
                } else {
                    warning(file.title, file.line,
                            "file block without SHA256: damaged transfers go unnoticed");
                }
            }
            if (!file.source.empty()) {
                checkSource(file);
            }
        }
        checkClashes(installable);
    }

    // Two Ziele the updater cannot both install; Ziele it refuses anyway
    // are reported as such only.
    void checkClashes(const std::vector<bool>& installable) {
        Release candidates;
        std::vector<std::size_t> index;
        for (std::size_t i = 0; i < description_.files.size(); ++i) {
            if (installable[i]) {
                candidates.files.push_back(description_.files[i]);
                index.push_back(i);
            }
        }
        while (const auto clash = clashingTargets(candidates)) {
            const FileEntry& first = candidates.files[clash->first];
            const FileEntry& second = candidates.files[clash->second];
            const bool same = foldCase(first.target) == foldCase(second.target);
            error(second.title, second.lineOf("Ziel"),
                  "Ziel " + quoted(second.target) +
                      (same ? " is the Ziel of block [" + first.title + "] too"
                            : " and Ziel " + quoted(first.target) + " of block [" + first.title +
                                  "] cannot both be installed: one is a folder of the other"));
            candidates.files.erase(candidates.files.begin() +
                                   static_cast<std::ptrdiff_t>(clash->second));
        }
    }

    void checkSource(const FileEntry& file) {
        const int line = file.lineOf("Quelle");
        std::optional<Sha256Digest> digest;
        std::optional<std::uint64_t> actualSize;
        if (isUrl(options_.description)) {
            const std::string url = fileUrl(options_.description, file);
            const Fetched got = fetch(http_, percentEncoded(url), 0, false);
            if (!got.complete || got.status < 200 || got.status > 299) {
                error(file.title, line,
                      "Quelle " + url +
                          (got.status != 0 ? " answers HTTP " + decimal(got.status)
                                           : std::string(" cannot be fetched")));
                return;
            }
            digest = got.digest;
            actualSize = got.size;
        } else {
            // The file the server would serve for the request.
            const std::string path =
                joinPath(folderOf(options_.description), percentDecoded(file.source));
            if (!isRegularFile(path)) {
                error(file.title, line,
                      "Quelle " + quoted(file.source) + " is missing next to the description (" +
                          path + ")");
                return;
            }
            digest = fileSha256(path);
            actualSize = fileSize(path);
        }
        checkSize(file, actualSize);
        if (!file.sha256) {
            return;
        }
        const std::optional<Sha256Digest> expected = parseSha256(*file.sha256);
        const int shaLine = file.lineOf("SHA256");
        if (!expected) {
            error(file.title, shaLine, "SHA256 " + quoted(*file.sha256) + " is not 64 hex digits");
        } else if (digest && *digest != *expected) {
            error(file.title, shaLine,
                  "SHA256 does not match Quelle " + quoted(file.source) + " (its SHA-256 is " +
                      toHex(*digest) + ")");
        }
    }

    // "Größe", when given, must be the Quelle's size: the updater stops a
    // download that passes it and refuses one of another size.
    void checkSize(const FileEntry& file, std::optional<std::uint64_t> actual) {
        const auto given = file.values.find("Größe");
        if (given == file.values.end() || given->second.empty()) {
            return;
        }
        const std::string& size = given->second;
        const std::optional<std::int64_t> expected = decimalNumber(size);
        // The name's line, as the file spells it: Windows-1252, or UTF-8.
        const int line = file.lineOf("Größe");
        if (!expected) {
            error(file.title, line,
                  "Größe " + quoted(size) + " is no number of bytes: the updater refuses the file");
        } else if (actual && *actual != static_cast<std::uint64_t>(*expected)) {
            error(file.title, line,
                  "Größe " + size + " does not match Quelle " + quoted(file.source) +
                      " (its size is " + decimal(static_cast<long long>(*actual)) + " bytes)");
        }
    }

    const CheckOptions& options_;
    Http& http_;
    Release description_;
    std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> checkDescription(const CheckOptions& options, Http& http) {
    return Checker(options, http).run();
}

std::string formatFinding(const std::string& description, const Finding& finding) {
    std::string text = description;
    if (finding.line > 0) {
        text += ":" + decimal(finding.line);
    }
    text += finding.kind == Finding::Kind::Error ? ": error: " : ": warning: ";
    if (!finding.block.empty()) {
        text += "[" + finding.block + "] ";
    }
    return text + finding.message;
}

int exitStatusOf(const std::vector<Finding>& findings) {
    int status = 0;
    for (const Finding& finding : findings) {
        status = std::max(status, finding.kind == Finding::Kind::Error ? 2 : 1);
    }
    return status;
}

}  // namespace morvane::publish
