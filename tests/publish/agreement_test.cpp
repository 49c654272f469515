// One table of descriptions, each run through the real update run (loopback
// server, real files) and through `check` against the same server: an error
// means the run installs nothing of it, unless the error concerns only a
// file that the PC has unchanged (it does not fetch that file), a clean
// description is installed, and each warning says what the run does.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "blockfile/ini_reader.h"
#include "publish/check.h"
#include "publish/key_encoding.h"
#include "publish/signing/signing.h"
#include "publish_vectors.h"
#include "release/release_rules.h"
#include "release/url_encoding.h"
#include "release/windows1252.h"
#include "support/signing_vectors.h"
#include "support/update_run_fixture.h"

namespace morvane::publish {
namespace {

enum class Verdict { Clean, Warning, Error };
enum class Signature { None, Valid, Missing, Wrong };

const std::string kShaA = "ca978112ca1bbdcafac231b39a23dc4da786eff8147c4e72b9807785afee48bb";
const std::string kShaB = "3e23e8160039594a33894f6564e1b1348bbd7a0088d42c4acb73eeaed59c009d";

struct Row {
    std::string name;
    std::string text;  // the description; "\n" becomes "\r\n" unless `raw`
    Verdict verdict;
    std::string finding = "";  // part of a finding of the verdict's kind
    // For warnings, and for errors about a file the PC has unchanged; clean
    // always installs.
    bool installs = false;
    // Files served beside the description, by path below its folder as the
    // request names it.
    std::map<std::string, std::string> served = {{"a.txt", "a"}, {"b.txt", "b"}};
    std::optional<std::string> installed = std::nullopt;  // the record's version
    Signature signature = Signature::None;
    bool raw = false;
    // Files the PC has already, by Ziel.
    std::map<std::string, std::string> present = {};
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

std::string crlf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return out;
}

std::string head(const std::string& version = "1.1", const std::string& messageType = "0") {
    return "[Version]\n" + version + "\n[Titel]\nT\n[Msg-Typ]\n" + messageType +
           "\n[Beschreibung]\nx\n";
}
std::string file(const std::string& source, const std::string& target,
                 const std::string& sha256 = kShaA, const std::string& title = "A") {
    std::string block = "[" + title + "]\n";
    block += source.empty() ? "" : "Quelle = " + source + "\n";
    block += target.empty() ? "" : "Ziel = " + target + "\n";
    return block + (sha256.empty() ? "" : "SHA256 = " + sha256 + "\n");
}
const std::string kA = file("a.txt", "a.txt");
const std::string kSize =
    "Gr\xF6\xDF"
    "e";  // in Windows-1252
const std::string kSizedA = kA + kSize + " = 1\n";
const std::string kStart = "[Startdatei]\na.txt\n";
// Without a start file the settings file's is started.
std::string release(const std::string& files = kA, const std::string& start = "[Startdatei]\n") {
    return head() + files + start;
}

std::string manyBlocks() {
    std::string text = head();
    for (int i = 0; i < kMostBlocks; ++i) {
        text += "[B]\n";
    }
    return text + kStart;
}

// clang-format off
const std::vector<Row> kRows = {
    // Clean: installed.
    {"OneFile", release(), Verdict::Clean},
    {"FilesInFolders", release(kA + file("b.txt", "lib\\sub\\b.txt", kShaB, "B")), Verdict::Clean},
    {"ZielWithSlash", release(file("b.txt", "lib/b.txt", kShaB)), Verdict::Clean},
    {"BlankInQuelle", release(file("a b.txt", "a b.txt")), Verdict::Clean, "", false, {{"a%20b.txt", "a"}}},
    {"UmlautInQuelle", release(file("Gr\xF6\xDF" "e.txt", "Gr\xF6\xDF" "e.txt")), Verdict::Clean, "", false, {{"Gr%C3%B6%C3%9Fe.txt", "a"}}},
    {"EncodedHashInQuelle", release(file("a%23b.txt", "a#b.txt")), Verdict::Clean, "", false, {{"a%23b.txt", "a"}}},
    {"InformsFirst", head("1.1", "1") + kA + kStart, Verdict::Clean},
    {"HeadBlocksInAnotherOrder", "[Titel]\nT\n[msg-typ]\n0\n[Beschreibung]\nx\n[VERSION]\n1.1\n" + kA + kStart, Verdict::Clean},
    {"CommentBeforeTheVersion", "[Version]\n;erste Zeile\n1.1\n[Titel]\nT\n[Msg-Typ]\n0\n[Beschreibung]\nx\n" + kA + kStart, Verdict::Clean},
    {"SizeRight", release(kSizedA), Verdict::Clean},
    {"NoFileBlocks", release(""), Verdict::Clean},
    {"StartFileInAFolder", release(file("a.txt", "lib\\A.xlsm"), "[Startdatei]\nlib\\A.xlsm\n"), Verdict::Clean},
    {"NoStartFile", release(kA, "[Startdatei]\n"), Verdict::Clean},
    {"NewerThanInstalled", release(), Verdict::Clean, "", false, {{"a.txt", "a"}}, "1.0"},
    {"Signed", release(kSizedA), Verdict::Clean, "", false, {{"a.txt", "a"}}, std::nullopt, Signature::Valid},
    // Warnings: as each says.
    {"UnknownMsgTyp", head("1.1", "3") + kA + kStart, Verdict::Warning, "installs without asking", true},
    {"EmptyMsgTyp", head("1.1", "") + kA + kStart, Verdict::Warning, "installs without asking", true},
    {"NotNewer", release(), Verdict::Warning, "not newer than the installed", false, {{"a.txt", "a"}}, "1.1"},
    {"TenAfterNine", head("1.10") + kA + kStart, Verdict::Warning, "larger as a number", false, {{"a.txt", "a"}}, "1.9"},
    {"LengthsDiffer", head("2.0") + kA + kStart, Verdict::Warning, "differ in length", true, {{"a.txt", "a"}}, "1.10"},
    {"NoSHA256", release(file("a.txt", "a.txt", "")), Verdict::Warning, "without SHA256", true},
    {"Utf8WithBom", "\xEF\xBB\xBF" + head() + file("a.txt", "M\xC3\xBCller.txt") + "[Startdatei]\nM\xC3\xBCller.txt\n", Verdict::Clean},
    {"Utf8Notes", "[Version]\n1.1\n[Titel]\nT\n[Msg-Typ]\n0\n[Beschreibung]\nM\xC3\xBCller\n" + kA + kStart, Verdict::Clean},
    {"StartFileNotReleased", release(kA, "[Startdatei]\nA.xlsm\n"), Verdict::Warning, "installed by no file block", true},
    {"UnknownKey", release(kA + "Groesse = 9\n"), Verdict::Warning, "unknown key \"Groesse\"", true},
    {"SignedWithoutSize", release(), Verdict::Warning, "without Gr\xC3\xB6\xC3\x9F" "e in a signed release", true, {{"a.txt", "a"}}, std::nullopt, Signature::Valid},
    {"UndefinedByteInTitle", "[Version]\n1.1\n[Titel]\nT\x81\n[Msg-Typ]\n0\n[Beschreibung]\nx\n" + kA + kStart, Verdict::Warning, "byte 0x81", true},
    // Errors: nothing installed.
    {"FourthBlockNoHeadBlock", "[Version]\n1.1\n[Titel]\nT\n[Beschreibung]\nx\n[Notizen]\ny\n" + kA + kStart, Verdict::Error, "block 4 must be one of"},
    {"FileBlockAtPositionFour", "[Version]\n1.1\n[Titel]\nT\n[Msg-Typ]\n0\n" + kA + file("b.txt", "b.txt", kShaB, "B") + kStart, Verdict::Error, "block 4 must be one of"},
    {"HeadBlockTwice", "[Version]\n1.1\n[Titel]\nT\n[Titel]\nU\n[Msg-Typ]\n0\n" + kA + kStart, Verdict::Error, "block 3 must be one of"},
    {"OnlyThreeBlocks", "[Version]\n1.1\n[Titel]\nT\n[Startdatei]\nA.xlsm\n", Verdict::Error, "block 3 must be one of"},
    {"NoFourthBlock", "[Version]\n1.1\n[Titel]\nT\n[Msg-Typ]\n0\n", Verdict::Error, "block 4 is missing"},
    {"LastBlockNoStartdatei", head() + kA, Verdict::Error, "last block must be Startdatei"},
    {"NoVersion", "[Version]\n\n[Titel]\nT\n[Msg-Typ]\n0\n[Beschreibung]\nx\n" + kA + kStart, Verdict::Error, "no Version"},
    {"VersionOfBlanks", head("   ") + kA + kStart, Verdict::Error, "blanks only"},
    {"NoQuelle", release(file("", "a.txt")), Verdict::Error, "without Quelle"},
    {"EmptyQuelle", release("[A]\nQuelle =\nZiel = a.txt\nSHA256 = " + kShaA + "\n"), Verdict::Error, "without Quelle", false, {{"", "<html>Index</html>"}, {"a.txt", "a"}}},
    {"NoZiel", release(file("a.txt", "")), Verdict::Error, "without Ziel"},
    {"ZielOutside", release(file("a.txt", "..\\a.txt")), Verdict::Error, "refuses Ziel"},
    {"ZielWithDrive", release(file("a.txt", "C:\\a.txt")), Verdict::Error, "refuses Ziel"},
    {"ZielADevice", release(file("a.txt", "lib\\NUL.txt")), Verdict::Error, "refuses Ziel"},
    {"ZielWithAStar", release(file("a.txt", "a*.txt")), Verdict::Error, "refuses Ziel"},
    {"ZielTheRecord", release(file("a.txt", "REVISION.ini.new")), Verdict::Error, "refuses Ziel"},
    {"ZielTheLog", release(file("a.txt", "Updater.log")), Verdict::Error, "refuses Ziel"},
    {"ZielInTemp", release(file("a.txt", "Temp\\a.txt")), Verdict::Error, "refuses Ziel"},
    {"ZielInBackup", release(file("a.txt", "backup/a.txt")), Verdict::Error, "refuses Ziel"},
    {"ZielTheUpdater", release(file("a.txt", "Updater.exe")), Verdict::Error, "only from a signed release"},
    {"ZielTheUpdaterSigned", release(file("a.txt", "UPDATER.exe") + kSize + " = 1\n"), Verdict::Clean, "", false, {{"a.txt", "a"}}, std::nullopt, Signature::Valid},
    {"ZielTheSettings", release(file("a.txt", "updater.INI")), Verdict::Error, "refuses Ziel"},
    {"ZielAShortName", release(file("a.txt", "lib\\BERICH~1.XLS")), Verdict::Error, "refuses Ziel"},
    {"ZielAPortZero", release(file("a.txt", "COM0.txt")), Verdict::Error, "refuses Ziel"},
    {"ZielASuperscriptPort", release(file("a.txt", "lib\\LPT\xB9")), Verdict::Error, "refuses Ziel"},
    {"ZielTwice", release(kA + file("a.txt", "A.TXT", kShaA, "B")), Verdict::Error, "is the Ziel of block"},
    {"ZielAFolderOfAnother", release(file("a.txt", "lib") + file("b.txt", "lib\\b.txt", kShaB, "B")), Verdict::Error, "one is a folder of the other"},
    {"ZielBelowAnother", release(file("b.txt", "lib/b.txt", kShaB, "B") + file("a.txt", "LIB")), Verdict::Error, "one is a folder of the other"},
    {"QuelleNotServed", release(file("c.txt", "a.txt")), Verdict::Error, "answers HTTP 404"},
    {"SHA256Wrong", release(file("a.txt", "a.txt", std::string(64, '0'))), Verdict::Error, "does not match"},
    {"SizeWrong", release(kA + kSize + " = 2\n"), Verdict::Error, "does not match"},
    {"SizeNoNumber", release("[A]\nQuelle = a.txt\nZiel = a.txt\n" + kSize + " = 1 KB\n"), Verdict::Error, "no number of bytes"},
    {"SHA256Short", release(file("a.txt", "a.txt", kShaA.substr(1))), Verdict::Error, "not 64 hex digits"},
    {"TooManyBlocks", manyBlocks(), Verdict::Error, "16-bit block counter"},
    {"Empty", "", Verdict::Error, "the description is empty"},
    {"Over1MiB", head() + std::string(std::size_t{1} << 20, 'x') + "\n" + kA + kStart, Verdict::Error, "at most 1 MiB"},
    {"EqualsInQuelle", release(file("a=b.txt", "a.txt")), Verdict::Error, "holds \"=\" more than once", false, {{"a=b.txt", "a"}}},
    // A file the PC has unchanged is not fetched: the error about its
    // Quelle fails only the PCs that need it.
    {"QuelleNotServedOnAPCThatHasTheFile", release(), Verdict::Error, "answers HTTP 404", true, {}, std::nullopt, Signature::None, false, {{"a.txt", "a"}}},
    {"SizeWrongOnAPCThatHasTheFile", release(kA + kSize + " = 2\n"), Verdict::Error, "does not match", true, {{"a.txt", "a"}}, std::nullopt, Signature::None, false, {{"a.txt", "a"}}},
    {"LfOnly", release(), Verdict::Error, "LF only", false, {{"a.txt", "a"}}, std::nullopt, Signature::None, true},
    {"MaintenancePage", "<html><body>Wartung</body></html>\n", Verdict::Error, "the answer is not a revision description: ", false, {{"a.txt", "a"}}, std::nullopt, Signature::None, true},
    {"StartFileOutside", release(kA, "[Startdatei]\n..\\A.xlsm\n"), Verdict::Error, "leaves the application folder"},
    {"StartFileOnADrive", release(kA, "[Startdatei]\nC:\\A.xlsm\n"), Verdict::Error, "leaves the application folder"},
    {"SignatureMissing", release(), Verdict::Error, "is missing", false, {{"a.txt", "a"}}, std::nullopt, Signature::Missing},
    {"SignatureWrong", release(), Verdict::Error, "does not sign", false, {{"a.txt", "a"}}, std::nullopt, Signature::Wrong},
    {"SignedWithoutSHA256", release(file("a.txt", "a.txt", "")), Verdict::Error, "with a key the updater refuses it", false, {{"a.txt", "a"}}, std::nullopt, Signature::Valid},
};
// clang-format on

class Agreement : public test::UpdateRunTest, public ::testing::WithParamInterface<Row> {
protected:
    // Regular files the run put into the application folder, beside its
    // settings, Temp and Backup.
    std::map<std::string, std::string> installedFiles() const {
        std::map<std::string, std::string> found;
        const std::filesystem::path app = root.native("App");
        for (const auto& entry : std::filesystem::recursive_directory_iterator(app)) {
            const std::u8string utf8 = entry.path().lexically_relative(app).generic_u8string();
            std::string name(utf8.begin(), utf8.end());
            const std::string first = foldCase(name.substr(0, name.find('/')));
            if (entry.is_regular_file() && first != "TEMP" && first != "BACKUP" &&
                name != "Updater.ini") {
                std::replace(name.begin(), name.end(), '/', '\\');
                std::ifstream in(entry.path(), std::ios::binary);
                found[name] = std::string(std::istreambuf_iterator<char>(in), {});
            }
        }
        return found;
    }
};

TEST_P(Agreement, CheckAndTheUpdaterReadADescriptionAlike) {
    const Row& row = GetParam();
    const bool signs = row.signature != Signature::None;
    const std::string text = row.raw ? row.text : crlf(row.text);
    publish(text);
    for (const auto& [path, content] : row.served) {
        serve("updates/" + path, content);
    }
    if (row.signature == Signature::Valid) {
        const publish::KeyReading key =
            publish::readPrivateKeyPem(test::vectors::kOpensslPrivateKey);
        serve("updates/revision.ini.sig", publish::signatureDer(*signWithKey(*key.key, text)));
    } else if (row.signature == Signature::Wrong) {
        serve("updates/revision.ini.sig", std::string(test::vectors::kSignature));
    }
    writeSettings("A.xlsm");
    if (signs) {
        writeApp("Updater.ini", readApp("Updater.ini") + "[Signatur]\r\n" +
                                    test::vectors::kOpensslPublicKey + "\r\n");
    }
    if (row.installed) {
        writeApp("Temp\\revision.ini", crlf(head(*row.installed) + kStart));
    }
    for (const auto& [target, content] : row.present) {
        writeApp(target, content);
    }
    run();

    CheckOptions options;
    options.description = server->url("/updates/revision.ini");
    options.installedVersion = row.installed;
    if (signs) {
        options.publicKey = test::vectors::kOpensslPublicKey;
    }
    const std::vector<Finding> findings = checkDescription(options, http);
    std::vector<std::string> messages;
    bool found = row.finding.empty();
    for (const Finding& finding : findings) {
        messages.push_back(formatFinding("revision.ini", finding));
        const bool ofVerdict =
            (finding.kind == Finding::Kind::Error) == (row.verdict == Verdict::Error);
        found |= ofVerdict && finding.message.find(row.finding) != std::string::npos;
    }
    EXPECT_EQ(severityOf(findings), static_cast<int>(row.verdict))
        << ::testing::PrintToString(messages);
    EXPECT_TRUE(found) << ::testing::PrintToString(messages);

    const std::map<std::string, std::string> installed = installedFiles();
    if (row.verdict != Verdict::Clean && !row.installs) {
        EXPECT_EQ(installed, row.present);
        return;
    }
    // Every file of the description at its Ziel, with the served content or
    // as the PC had it, and the description recorded as installed.
    std::map<std::string, std::string> expected = row.present;
    for (const FileEntry& entry : parseRelease(text).files) {
        if (row.present.count(entry.target) == 0) {
            expected[entry.target] = row.served.at(percentEncoded(entry.source));
        }
    }
    EXPECT_EQ(installed, expected);
    EXPECT_EQ(readApp("Temp\\revision.ini"), text);
}

INSTANTIATE_TEST_SUITE_P(Descriptions, Agreement, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& row) { return row.param.name; });

}  // namespace
}  // namespace morvane::publish
