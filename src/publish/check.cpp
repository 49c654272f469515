#include "publish/check.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string_view>

#include "blockfile/ini_reader.h"
#include "platform/crypto.h"
#include "platform/text.h"
#include "publish/description_text.h"
#include "publish/local_files.h"
#include "update/revision_limits.h"
#include "update/target_rules.h"

namespace morvane::publish {
namespace {

// The updater counts blocks in 16-bit numbers and steps one past the last
// file block, so the last block's position must stay below 32,767.
constexpr std::int32_t kMostBlocks = 32767;
// The updater's limits hold for the check: what it would not fetch fails here.
constexpr auto kLargestDescriptionBytes = static_cast<std::size_t>(kLargestDescription);
constexpr auto kLargestSignatureBytes = static_cast<std::size_t>(kLargestSignature);

// ---- the description's bytes, line by line --------------------------------------------

struct RawLine {
    int number;
    std::string_view bytes;
};

struct RawBlock {
    std::string title;  // UTF-8, as the updater reads it
    int headerLine;
    std::vector<RawLine> lines;
};

struct RawText {
    std::vector<RawLine> lines;
    std::vector<RawBlock> blocks;
    int firstLfOnly = 0;  // line of the first line end without CR
};

// Lines as an editor shows them (ended by CR LF, CR or LF); the updater
// itself ends lines at CR only, which the LF-only finding covers.
RawText scan(const std::string& bytes) {
    RawText text;
    int number = 1;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n') {
            continue;
        }
        if (i < bytes.size() || start < bytes.size()) {
            text.lines.push_back({number, std::string_view(bytes).substr(start, i - start)});
        }
        if (i < bytes.size()) {
            if (bytes[i] == '\n' && text.firstLfOnly == 0) {
                text.firstLfOnly = number;
            }
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
        }
        ++number;
        start = i + 1;
    }
    for (const RawLine& line : text.lines) {
        const std::string_view b = line.bytes;
        if (b.size() >= 2 && b.front() == '[' && b.back() == ']') {
            if (b.size() > 2) {
                text.blocks.push_back(
                    {ansiToUtf8(b.substr(1, b.size() - 2)), line.number, std::vector<RawLine>{}});
            }
        } else if (!text.blocks.empty()) {
            text.blocks.back().lines.push_back(line);
        }
    }
    return text;
}

// A complete multi-byte UTF-8 sequence at `i`: text saved as UTF-8.
bool utf8SequenceAt(std::string_view b, std::size_t i) {
    const auto lead = static_cast<unsigned char>(b[i]);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    } else {
        return false;
    }
    if (i + length > b.size()) {
        return false;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(b[i + k]) & 0xC0) != 0x80) {
            return false;
        }
    }
    return true;
}

// The first reason why a line is no Windows-1252 text; empty when it is.
std::string byteProblem(std::string_view b) {
    for (std::size_t i = 0; i < b.size(); ++i) {
        const auto c = static_cast<unsigned char>(b[i]);
        if (utf8SequenceAt(b, i)) {
            return "the text is UTF-8, not Windows-1252 (save the description as Windows-1252)";
        }
        if ((c < 0x20 && c != '\t') || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F ||
            c == 0x90 || c == 0x9D) {
            static const char* const kHex = "0123456789ABCDEF";
            return std::string("byte 0x") + kHex[c >> 4] + kHex[c & 15] +
                   " is no Windows-1252 text";
        }
    }
    return {};
}

std::string trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

// The line of "Key = value" in the block, as the block reader finds it; the
// header's line when there is none.
int lineOfKey(const RawBlock& block, std::string_view key) {
    for (const RawLine& line : block.lines) {
        const std::size_t equals = line.bytes.find('=');
        if (equals != std::string_view::npos &&
            line.bytes.find('=', equals + 1) == std::string_view::npos &&
            trim(line.bytes.substr(0, equals)) == key) {
            return line.number;
        }
    }
    return block.headerLine;
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
    void begin(int status, std::optional<std::int64_t>) override { status_ = status; }
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

    int status() const { return status_; }
    std::uint64_t received() const { return received_; }
    std::string& body() { return body_; }
    Sha256Digest digest() { return hash_.finish(); }

private:
    std::size_t largest_;
    bool keep_;
    int status_ = 0;
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
    result.complete = session->get(url, sink) == GetOutcome::Complete;
    result.status = sink.status();
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
        const RawText raw = scan(bytes);
        checkBytes(raw);
        if (options_.publicKey) {
            checkSignature(bytes);
        }
        if (raw.firstLfOnly != 0) {
            // The updater sees one long line: nothing else can be told.
            error({}, raw.firstLfOnly,
                  "line ends with LF only; the updater needs CR LF and reads no blocks here");
            return std::move(findings_);
        }
        OneFileSystem memory(bytes);
        IniReader reader(memory);
        reader.Init(options_.description);
        if (reader.BlockCount() > kMostBlocks) {
            error({}, 0,
                  decimal(reader.BlockCount()) +
                      " blocks: more than the updater's 16-bit block "
                      "counter holds (at most " +
                      decimal(kMostBlocks) + ")");
            return std::move(findings_);
        }
        if (static_cast<std::size_t>(reader.BlockCount()) != raw.blocks.size()) {
            throw std::runtime_error("the blocks of " + options_.description +
                                     " cannot be told apart");
        }
        checkHeadBlocks(raw, reader);
        checkFileBlocks(raw, reader);
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
            const Fetched got = fetch(http_, options_.description, kLargestDescriptionBytes, true);
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

    void checkBytes(const RawText& raw) {
        for (const RawLine& line : raw.lines) {
            const std::string problem = byteProblem(line.bytes);
            if (!problem.empty()) {
                error(blockAt(raw, line.number), line.number, problem);
            }
        }
    }

    static std::string blockAt(const RawText& raw, int line) {
        std::string title;
        for (const RawBlock& block : raw.blocks) {
            if (block.headerLine <= line) {
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
            Fetched got = fetch(http_, where, kLargestSignatureBytes, true);
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

    void checkHeadBlocks(const RawText& raw, const IniReader& reader) {
        static const std::vector<std::string> kHead = {"VERSION", "TITEL", "MSG-TYP",
                                                       "BESCHREIBUNG"};
        std::vector<std::string> seen;
        for (std::size_t i = 0; i < 4; ++i) {
            if (i >= raw.blocks.size()) {
                error({}, 0,
                      "block " + decimal(static_cast<long long>(i + 1)) +
                          " is missing: the first four blocks must be Version, Titel, "
                          "Msg-Typ and Beschreibung");
                continue;
            }
            const std::string folded = foldCase(raw.blocks[i].title);
            if (std::find(kHead.begin(), kHead.end(), folded) == kHead.end() ||
                std::find(seen.begin(), seen.end(), folded) != seen.end()) {
                error(raw.blocks[i].title, raw.blocks[i].headerLine,
                      "block " + decimal(static_cast<long long>(i + 1)) +
                          " must be one of Version, Titel, Msg-Typ and Beschreibung (the updater "
                          "reads the files from block 5 on)");
            }
            seen.push_back(folded);
        }

        const std::string version = reader.GetLine("Version");
        if (version.empty()) {
            error("Version", headerLine(raw, "VERSION"), "no Version, or an empty one");
        } else if (options_.installedVersion) {
            checkVersionOrder(raw, version, *options_.installedVersion);
        }

        const std::string messageType = reader.GetLine("Msg-Typ");
        if (messageType != "0" && messageType != "1" && messageType != "2") {
            warning("Msg-Typ", headerLine(raw, "MSG-TYP"),
                    "Msg-Typ " + quoted(messageType) +
                        " is not 0, 1 or 2: the updater shows no notice and installs nothing");
        }

        if (raw.blocks.empty() || foldCase(raw.blocks.back().title) != "STARTDATEI") {
            error(raw.blocks.empty() ? std::string() : raw.blocks.back().title,
                  raw.blocks.empty() ? 0 : raw.blocks.back().headerLine,
                  "the last block must be Startdatei");
        }
    }

    void checkVersionOrder(const RawText& raw, const std::string& version,
                           const std::string& installed) {
        const int line = headerLine(raw, "VERSION");
        if (compareOrdinal(version, installed) <= 0) {
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

    static int headerLine(const RawText& raw, const std::string& foldedTitle) {
        for (const RawBlock& block : raw.blocks) {
            if (foldCase(block.title) == foldedTitle) {
                return block.headerLine;
            }
        }
        return 0;
    }

    void checkFileBlocks(const RawText& raw, const IniReader& reader) {
        std::map<std::string, std::string> targets;  // folded "Ziel" to its block's title
        const std::string name = descriptionName();
        for (std::int32_t position = 5; position < reader.BlockCount(); ++position) {
            const RawBlock& block = raw.blocks[static_cast<std::size_t>(position - 1)];
            const std::string source = reader.GetValue(position, "Quelle");
            const std::string target = reader.GetValue(position, "Ziel");
            const std::string sha256 = reader.GetValue(position, "SHA256");
            const std::string size = reader.GetValue(position, "Größe");
            if (source.empty()) {
                error(block.title, block.headerLine, "file block without Quelle");
            }
            if (target.empty()) {
                error(block.title, block.headerLine, "file block without Ziel");
            } else if (!namesFileBelowFolder(target) ||
                       namesUpdaterOwnFile(target, name, options_.programName)) {
                error(block.title, lineOfKey(block, "Ziel"),
                      "the updater refuses Ziel " + quoted(target) +
                          " (it must name a file below the application folder, and none of the "
                          "updater's own files)");
            } else {
                std::string key = target;
                std::replace(key.begin(), key.end(), '/', '\\');
                const auto [at, added] = targets.emplace(foldCase(key), block.title);
                if (!added) {
                    error(block.title, lineOfKey(block, "Ziel"),
                          "Ziel " + quoted(target) + " is the Ziel of block [" + at->second +
                              "] too");
                }
            }
            if (sha256.empty()) {
                if (options_.publicKey) {
                    error(block.title, block.headerLine,
                          "file block without SHA256: with a key the updater refuses it");
                } else {
                    warning(block.title, block.headerLine,
                            "file block without SHA256: damaged transfers go unnoticed");
                }
            }
            if (!source.empty()) {
                checkSource(block, source, sha256, size);
            }
        }
    }

    void checkSource(const RawBlock& block, const std::string& source, const std::string& sha256,
                     const std::string& size) {
        const int line = lineOfKey(block, "Quelle");
        std::optional<Sha256Digest> digest;
        std::optional<std::uint64_t> actualSize;
        if (isUrl(options_.description)) {
            const std::string& d = options_.description;
            const std::string url = d.substr(0, d.rfind('/') + 1) + source;
            const Fetched got = fetch(http_, url, 0, false);
            if (!got.complete || got.status < 200 || got.status > 299) {
                error(block.title, line,
                      "Quelle " + url +
                          (got.status != 0 ? " answers HTTP " + decimal(got.status)
                                           : std::string(" cannot be fetched")));
                return;
            }
            digest = got.digest;
            actualSize = got.size;
        } else {
            const std::string path = joinPath(folderOf(options_.description), source);
            if (!isRegularFile(path)) {
                error(block.title, line,
                      "Quelle " + quoted(source) + " is missing next to the description (" + path +
                          ")");
                return;
            }
            digest = fileSha256(path);
            actualSize = fileSize(path);
        }
        checkSize(block, source, size, actualSize);
        if (sha256.empty()) {
            return;
        }
        const std::optional<Sha256Digest> expected = parseSha256(sha256);
        const int shaLine = lineOfKey(block, "SHA256");
        if (!expected) {
            error(block.title, shaLine, "SHA256 " + quoted(sha256) + " is not 64 hex digits");
        } else if (digest && *digest != *expected) {
            error(block.title, shaLine,
                  "SHA256 does not match Quelle " + quoted(source) + " (its SHA-256 is " +
                      toHex(*digest) + ")");
        }
    }

    // "Größe", when given, must be the Quelle's size: the updater stops a
    // download that passes it and refuses one of another size.
    void checkSize(const RawBlock& block, const std::string& source, const std::string& size,
                   std::optional<std::uint64_t> actual) {
        if (size.empty()) {
            return;
        }
        const std::optional<std::int64_t> expected = decimalNumber(size);
        const int line = lineOfKey(block,
                                   "Gr\xF6\xDF"
                                   "e");
        if (!expected) {
            error(block.title, line,
                  "Größe " + quoted(size) + " is no number of bytes: the updater refuses the file");
        } else if (actual && *actual != static_cast<std::uint64_t>(*expected)) {
            error(block.title, line,
                  "Größe " + size + " does not match Quelle " + quoted(source) + " (its size is " +
                      decimal(static_cast<long long>(*actual)) + " bytes)");
        }
    }

    const CheckOptions& options_;
    Http& http_;
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
