#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "publish/check.h"
#include "publish/commands.h"
#include "support/host_adapters.h"
#include "support/scripted_http_server.h"
#include "support/settings_variants.h"
#include "support/signing_vectors.h"
#include "support/temp_folder.h"

namespace morvane::publish {
namespace {

using Kind = Finding::Kind;

// SHA-256 of "a", the file every case puts next to its description.
const std::string kShaA = "ca978112ca1bbdcafac231b39a23dc4da786eff8147c4e72b9807785afee48bb";

std::string crlf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return out;
}

std::string head(const std::string& version = "1.1", const std::string& messageType = "1") {
    return "[Version]\n" + version + "\n[Titel]\nT\n[Msg-Typ]\n" + messageType +
           "\n[Beschreibung]\nx\n";
}
std::string fileBlock(const std::string& lines) {
    return "[A]\n" + lines;
}
// "Größe" in Windows-1252, as a description holds it.
const std::string kSizeKey =
    "Gr\xF6\xDF"
    "e";
const std::string kGoodFile =
    fileBlock("Quelle = a.txt\nZiel = a.txt\nSHA256 = " + kShaA + "\n" + kSizeKey + " = 1\n");
// A block in a file saved as UTF-8, and its start file.
const std::string kGoodFileUtf8 =
    fileBlock("Quelle = a.txt\nZiel = M\xC3\xBCller.xlsm\nSHA256 = " + kShaA +
              "\nGr\xC3\xB6\xC3\x9F"
              "e = 1\n");
const std::string kStartUtf8 = "[Startdatei]\nM\xC3\xBCller.xlsm\n";
const std::string kStart = "[Startdatei]\na.txt\n";

std::string longNotes() {
    return head() + std::string(std::size_t{1} << 20, 'x') + "\n" + kGoodFile + kStart;
}

std::string manyBlocks() {
    std::string text = head();
    for (int i = 0; i < 32767; ++i) {
        text += "[B]\n";
    }
    return text + kStart;
}

std::string path(const test::TempFolder& folder, const std::string& name) {
    const std::u8string text = folder.native(name).u8string();
    return std::string(text.begin(), text.end());
}

CheckOptions only(const std::string& description) {
    CheckOptions options;
    options.description = description;
    return options;
}

struct Case {
    const char* name;
    std::string text;  // "\n" becomes "\r\n" unless raw
    Kind kind;
    const char* message;  // part of the finding of this kind
    std::optional<std::string> installed = std::nullopt;
    bool raw = false;
};

TEST(Check, FindsEachFaultOfATableOfBrokenDescriptions) {
    const std::string sha = "SHA256 = " + kShaA + "\n";
    // clang-format off
    const std::vector<Case> cases = {
        {"head order", "[Version]\n1.1\n[Titel]\nT\n[Beschreibung]\nx\n[Notizen]\ny\n" + kGoodFile + kStart, Kind::Error, "block 4 must be one of"},
        {"no Version", "[Version]\n\n[Titel]\nT\n[Msg-Typ]\n1\n[Beschreibung]\nx\n" + kGoodFile + kStart, Kind::Error, "no Version"},
        {"last not Startdatei", head() + kGoodFile, Kind::Error, "last block must be Startdatei"},
        {"no Quelle", head() + fileBlock("Ziel = a.txt\n" + sha) + kStart, Kind::Error, "without Quelle"},
        {"no Ziel", head() + fileBlock("Quelle = a.txt\n" + sha) + kStart, Kind::Error, "without Ziel"},
        {"Ziel outside", head() + fileBlock("Quelle = a.txt\nZiel = ..\\a.txt\n" + sha) + kStart, Kind::Error, "refuses Ziel"},
        {"Ziel a device", head() + fileBlock("Quelle = a.txt\nZiel = lib\\NUL.txt\n" + sha) + kStart, Kind::Error, "\"NUL.txt\" is a Windows device name"},
        {"Ziel ends in a dot", head() + fileBlock("Quelle = a.txt\nZiel = lib.\\a.txt\n" + sha) + kStart, Kind::Error, "\"lib.\" ends in a dot or a blank"},
        {"Ziel with a pipe", head() + fileBlock("Quelle = a.txt\nZiel = a|b.txt\n" + sha) + kStart, Kind::Error, "does not allow in a name"},
        {"Ziel the settings", head() + fileBlock("Quelle = a.txt\nZiel = updater.INI\n" + sha) + kStart, Kind::Error, "the updater's own: its Temp or Backup folder"},
        {"= in Quelle", head() + fileBlock("Quelle = a=b.txt\nZiel = a.txt\n" + sha) + kStart, Kind::Error, "holds \"=\" more than once, so the updater reads no Quelle"},
        {"empty", "", Kind::Error, "the description is empty"},
        {"over 1 MiB", longNotes(), Kind::Error, "fetches at most 1 MiB (1,048,576 bytes)"},
        {"Ziel the record", head() + fileBlock("Quelle = a.txt\nZiel = REVISION.ini.new\n" + sha) + kStart, Kind::Error, "one of the updater's own files"},
        {"Ziel the log", head() + fileBlock("Quelle = a.txt\nZiel = Updater.log\n" + sha) + kStart, Kind::Error, "refuses Ziel"},
        {"Ziel twice", head() + kGoodFile + fileBlock("Quelle = a.txt\nZiel = A.TXT\n" + sha) + kStart, Kind::Error, "is the Ziel of block"},
        {"Quelle missing", head() + fileBlock("Quelle = b.txt\nZiel = a.txt\n" + sha) + kStart, Kind::Error, "missing next to the description"},
        {"SHA256 wrong", head() + fileBlock("Quelle = a.txt\nZiel = a.txt\nSHA256 = " + std::string(64, '0') + "\n") + kStart, Kind::Error, "does not match"},
        {"SHA256 short", head() + fileBlock("Quelle = a.txt\nZiel = a.txt\nSHA256 = " + kShaA.substr(1) + "\n") + kStart, Kind::Error, "not 64 hex digits"},
        {"Größe wrong", head() + fileBlock("Quelle = a.txt\nZiel = a.txt\n" + sha + kSizeKey + " = 2\n") + kStart, Kind::Error, "(its size is 1 bytes)"},
        {"Größe no number", head() + fileBlock("Quelle = a.txt\nZiel = a.txt\n" + sha + kSizeKey + " = 1 B\n") + kStart, Kind::Error, "no number of bytes"},
        {"too many blocks", manyBlocks(), Kind::Error, "16-bit block counter"},
        {"BOM before no UTF-8", "\xEF\xBB\xBF" + head() + kGoodFileUtf8 + "[Startdatei]\nM\xFCller.xlsm\n", Kind::Warning, "no valid UTF-8"},
        {"undefined byte", head() + kGoodFile + "[Startdatei]\nA\x81.xlsm\n", Kind::Warning, "byte 0x81"},
        {"LF only", head() + kGoodFile + kStart, Kind::Error, "LF only", std::nullopt, true},
        {"Msg-Typ 3", head("1.1", "3") + kGoodFile + kStart, Kind::Warning, "not 0, 1 or 2"},
        {"not newer", head("1.1") + kGoodFile + kStart, Kind::Warning, "not newer than the installed", "1.1"},
        {"1.10 after 1.9", head("1.10") + kGoodFile + kStart, Kind::Warning, "larger as a number", "1.9"},
        {"lengths differ", head("2.0") + kGoodFile + kStart, Kind::Warning, "differ in length", "1.10"},
        {"no SHA256", head() + fileBlock("Quelle = a.txt\nZiel = a.txt\n") + kStart, Kind::Warning, "without SHA256"},
        {"start file not released", head() + kGoodFile + "[Startdatei]\nUmsatz.xlsm\n", Kind::Warning, "installed by no file block: it must already be on every PC"},
        {"unknown key", head() + fileBlock("Quelle = a.txt\nZiel = a.txt\n" + sha + "Groesse = 1\n") + kStart, Kind::Warning, "unknown key \"Groesse\""},
        {"Anteil 0", head("1.1\nAnteil = 0") + kGoodFile + kStart, Kind::Error, "Anteil \"0\" is no whole number from 1 to 100: the updater takes it as 100"},
        {"Anteil 101", head("1.1\nAnteil = 101") + kGoodFile + kStart, Kind::Error, "Anteil \"101\" is no whole number"},
        {"Anteil abc", head("1.1\nAnteil = abc") + kGoodFile + kStart, Kind::Error, "Anteil \"abc\" is no whole number"},
        {"Anteil 25%", head("1.1\nAnteil = 25%") + kGoodFile + kStart, Kind::Error, "Anteil \"25%\" is no whole number"},
        {"Pilot no name", head("1.1\nPilot = Kasse 1, BUERO-01") + kGoodFile + kStart, Kind::Warning, "Pilot \"Kasse 1\": no computer name"},
        {"stage", head("1.1\n; erst die Pilot-PCs\nPilot = Kasse1, buero-01\nAnteil = 25") + kGoodFile + kStart, Kind::Note, "stage: pilot 2 PCs, then 25 % of the others"},
        {"share only", head("1.1\nAnteil = 25") + kGoodFile + kStart, Kind::Note, "stage: 25 % of the PCs"},
        {"pilots only", head("1.1\nPilot = Kasse1") + kGoodFile + kStart, Kind::Note, "stage: pilot 1 PC, then 100 % of the others"},
    };
    // clang-format on
    test::HostHttp http;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempFolder folder;
        folder.write("a.txt", "a");
        folder.write("revision.ini", c.raw ? c.text : crlf(c.text));
        const std::vector<Finding> findings =
            checkDescription({path(folder, "revision.ini"), c.installed, std::nullopt}, http);
        // The case's finding, and nothing of that kind that is unrelated.
        std::vector<std::string> ofKind;
        bool found = false;
        for (const Finding& f : findings) {
            if (f.kind == c.kind) {
                ofKind.push_back(f.message);
                found |= f.message.find(c.message) != std::string::npos;
            }
        }
        EXPECT_TRUE(found && ofKind.size() <= 2) << ::testing::PrintToString(ofKind);
        EXPECT_EQ(severityOf(findings), c.kind == Kind::Error     ? 2
                                        : c.kind == Kind::Warning ? 1
                                                                  : 0);
    }
}

TEST(Check, AGoodDescriptionHasNoFindingsAndItsFindingsNameBlockAndLine) {
    test::HostHttp http;
    test::TempFolder folder;
    folder.write("a.txt", "a");
    folder.write("revision.ini", crlf(head() + kGoodFile + kStart));
    EXPECT_TRUE(checkDescription(only(path(folder, "revision.ini")), http).empty());
    folder.write("revision.ini", "\xEF\xBB\xBF" + crlf(head() + kGoodFileUtf8 + kStartUtf8));
    EXPECT_TRUE(checkDescription(only(path(folder, "revision.ini")), http).empty());

    folder.write("revision.ini",
                 crlf(head() + fileBlock("Quelle = a.txt\nZiel = ..\\a\n") + kStart));
    const std::vector<Finding> findings =
        checkDescription(only(path(folder, "revision.ini")), http);
    ASSERT_FALSE(findings.empty());
    EXPECT_EQ(formatFinding("revision.ini", findings[0]).substr(0, 34),
              "revision.ini:11: error: [A] the up");
}

TEST(Check, WithAKeyTheSignatureMustHoldAndFileBlocksNeedSHA256AndShouldHaveGroesse) {
    test::HostHttp http;
    test::TempFolder folder;
    folder.write("a.txt", "a");
    folder.write("revision.ini",
                 crlf(head() + fileBlock("Quelle = a.txt\nZiel = a.txt\n") + kStart));
    const CheckOptions options{path(folder, "revision.ini"), std::nullopt,
                               std::string(test::vectors::kPublicKey)};
    std::vector<Finding> findings = checkDescription(options, http);
    ASSERT_EQ(findings.size(), 3u);
    EXPECT_NE(findings[0].message.find("is missing"), std::string::npos);
    EXPECT_NE(findings[1].message.find("with a key the updater refuses it"), std::string::npos);
    EXPECT_EQ(findings[2].kind, Kind::Warning);
    EXPECT_NE(findings[2].message.find("without Größe in a signed release"), std::string::npos);

    folder.write("revision.ini.sig", "\x30\x02\x01\x01");
    findings = checkDescription(options, http);
    ASSERT_FALSE(findings.empty());
    EXPECT_NE(findings[0].message.find("does not sign"), std::string::npos);
}

TEST(Check, ReadsTheKeyOfASettingsFileAsTheUpdaterDoes) {
    test::HostHttp http;
    test::TempFolder folder;
    folder.write("a.txt", "a");
    folder.write("revision.ini", crlf(head() + kGoodFile + kStart));
    for (const test::SettingsVariant& variant : test::settingsVariants()) {
        SCOPED_TRACE(variant.name);
        folder.write("Updater.ini", test::settingsText(variant, "http://127.0.0.1:9/revision.ini",
                                                       test::vectors::kPublicKey));
        std::ostringstream out, err;
        // No signature lies beside the description: a key that is read finds that.
        EXPECT_EQ(runPublisher(
                      {"check", path(folder, "revision.ini"), "--key", path(folder, "Updater.ini")},
                      http, out, err),
                  variant.keyRead ? 1 : 3);
        EXPECT_EQ(err.str().find("signature") != std::string::npos, variant.keyRead) << err.str();
        EXPECT_EQ(err.str().find("refuses every update") != std::string::npos, !variant.keyRead);
    }
}

TEST(Check, ReadsADescriptionFromTheServerAndFetchesEachQuelle) {
    const std::string description =
        crlf(head() + kGoodFile + fileBlock("Quelle = lib/b.txt\nZiel = b.txt\n") + kStart);
    test::ScriptedHttpServer server([&](const test::RecordedRequest& request) {
        if (request.target == "/updates/revision.ini") {
            return test::replyWithLength(200, description);
        }
        if (request.target == "/updates/a.txt") {
            return test::replyWithLength(200, "a");
        }
        return test::replyWithLength(404, "");
    });
    test::HostHttp http;
    const std::vector<Finding> findings =
        checkDescription(only(server.url("/updates/revision.ini")), http);
    std::vector<std::string> messages;
    messages.reserve(findings.size());
    for (const Finding& f : findings) {
        messages.push_back(f.message);
    }
    ASSERT_EQ(findings.size(), 2u) << ::testing::PrintToString(messages);
    EXPECT_EQ(findings[0].kind, Kind::Warning);  // no SHA256 for b.txt
    EXPECT_EQ(findings[1].message, "Quelle " + server.url("/updates/lib/b.txt") +
                                       " answers HTTP 404: PCs that need this file fail and "
                                       "install nothing");
}

}  // namespace
}  // namespace morvane::publish
