#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "publish/check.h"
#include "publish/commands.h"
#include "publish/local_files.h"
#include "publish_vectors.h"
#include "release/release.h"
#include "support/built_file.h"
#include "support/host_adapters.h"
#include "support/scripted_http_server.h"
#include "support/temp_folder.h"

namespace morvane::publish {
namespace {

std::string at(const test::TempFolder& folder, const std::string& name) {
    const std::u8string text = folder.native(name).u8string();
    return std::string(text.begin(), text.end());
}

// A Windows program of few bytes whose version information names
// `product` and, when given, its `fileVersion`: the headers, one section of
// resources, the version tree.
std::string programNamed(const std::string& product, const std::string& fileVersion = "") {
    const auto u16 = [](std::size_t v) {
        return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)};
    };
    const auto u32 = [&](std::size_t v) { return u16(v & 0xFFFF) + u16(v >> 16); };
    const auto utf16 = [](const std::string& ascii) {
        std::string bytes;
        for (const char c : ascii) {
            bytes += c;
            bytes += '\0';
        }
        return bytes + std::string(2, '\0');
    };
    const auto padded = [](std::string bytes) {
        bytes.append((4 - bytes.size() % 4) % 4, '\0');
        return bytes;
    };
    const auto node = [&](const std::string& key, const std::string& value, int type,
                          std::size_t valueLength, const std::string& children) {
        const std::string body =
            padded(padded(std::string(6, '\0') + utf16(key)) + value) + children;
        return u16(body.size()) + u16(valueLength) + u16(static_cast<std::size_t>(type)) +
               body.substr(6);
    };
    const std::string version =
        node("VS_VERSION_INFO", std::string(52, '\0'), 0, 52,
             node("StringFileInfo", "", 1, 0,
                  node("040704B0", "", 1, 0,
                       node("ProductName", utf16(product), 1, product.size() + 1, "") +
                           (fileVersion.empty() ? ""
                                                : node("FileVersion", utf16(fileVersion), 1,
                                                       fileVersion.size() + 1, "")))));
    constexpr std::size_t kAddress = 0x1000;
    std::string resources;
    const auto directory = [&](std::size_t id, std::size_t next) {
        resources += std::string(14, '\0') + u16(1) + u32(id) + u32(next);
    };
    directory(16, 0x80000000u | 24);  // the version type
    directory(1, 0x80000000u | 48);   // its first name
    directory(0x407, 72);             // its first language: a data entry
    resources += u32(kAddress + 88) + u32(version.size()) + std::string(8, '\0') + version;

    std::string file = "MZ" + std::string(58, '\0') + u32(64);
    file += std::string("PE\0\0", 4) + u16(0x8664) + u16(1) + std::string(12, '\0') + u16(240) +
            u16(0x22);
    std::string optional = u16(0x20B) + std::string(106, '\0') + u32(16);
    optional += std::string(16, '\0') + u32(kAddress) + u32(resources.size());
    file += optional + std::string(240 - optional.size(), '\0');
    file += ".rsrc" + std::string(7, '\0') + u32(kAddress) + u32(resources.size()) + u32(512) +
            std::string(16, '\0');
    file.resize(512, '\0');
    return file + resources;
}

// A publisher's folder: a workbook, an add-in in a subfolder, notes with an
// umlaut (UTF-8, as the publisher writes them).
struct Release {
    test::TempFolder folder;
    test::HostHttp http;
    std::ostringstream out, err;

    Release() {
        folder.write("notes.txt",
                     "- Neue Auswertung\n- Schnellere Monatsabschl\xC3\xBC"
                     "sse\n");
        folder.write("key.pem", test::vectors::kOpensslPrivateKey);
        std::filesystem::create_directories(folder.native("from") / "lib");
        folder.write("from/Umsatz.xlsm", "Arbeitsmappe 2.1");
        folder.write("from/lib/Regionen.xlam", "Add-in 2.1");
    }

    int make(const std::string& version, const std::string& server,
             std::vector<std::string> extra = {}, const std::string& from = "from") {
        std::vector<std::string> args = {
            "make",        "--from",  at(folder, from),        "--version",
            version,       "--title", "Umsatz " + version,     "--msg-typ",
            "0",           "--notes", at(folder, "notes.txt"), "--start",
            "Umsatz.xlsm", "--out",   at(folder, server)};
        args.insert(args.end(), extra.begin(), extra.end());
        err.str("");
        return runPublisher(args, http, this->out, err);
    }
};

TEST(Make, WritesADescriptionThatCheckPassesAndSignsIt) {
    Release release;
    ASSERT_EQ(release.make("2.1", "server",
                           {"--key", at(release.folder, "key.pem"), "--pilot", "Kasse1, buero-01",
                            "--share", "25"}),
              0)
        << release.err.str();
    const std::string text = release.folder.read("server/revision.ini");
    // The stage after the version line, signed with the rest, as the updater reads it.
    EXPECT_EQ(
        text.rfind("[Version]\r\n2.1\r\nPilot = Kasse1, buero-01\r\nAnteil = 25\r\n[Titel]", 0),
        0u);
    const morvane::Release read = parseRelease(text);
    EXPECT_EQ(read.stage.pilots, (std::vector<std::string>{"Kasse1", "buero-01"}));
    EXPECT_EQ(read.stage.share, 25);
    EXPECT_NE(text.find("[lib/Regionen.xlam]\r\nQuelle = lib/Regionen.xlam\r\nZiel = "
                        "lib\\Regionen.xlam\r\nSHA256 = "),
              std::string::npos);
    // "Add-in 2.1": 10 bytes; the key in Windows-1252.
    EXPECT_NE(text.find("\r\nGr\xF6\xDF"
                        "e = 10\r\n[Startdatei]"),
              std::string::npos);
    EXPECT_NE(text.find("Monatsabschl\xFCsse\r\n"), std::string::npos);  // Windows-1252
    EXPECT_EQ(text.substr(text.size() - 27), "[Startdatei]\r\nUmsatz.xlsm\r\n");
    EXPECT_EQ(release.folder.read("server/lib/Regionen.xlam"), "Add-in 2.1");
    const std::vector<Finding> findings =
        checkDescription({at(release.folder, "server/revision.ini"), "2.0",
                          std::optional<std::string>(test::vectors::kOpensslPublicKey)},
                         release.http);
    ASSERT_EQ(findings.size(), 1u) << formatFinding("revision.ini", findings.front());
    EXPECT_EQ(formatFinding("revision.ini", findings[0]),
              "revision.ini:4: note: [Version] stage: pilot 2 PCs, then 25 % of the others");
}

TEST(Make, PutsANewUpdaterIntoASignedReleaseUnderTheUpdatersName) {
    const struct {
        const char* name;
        std::vector<std::string> extra;
        std::string target;
    } cases[] = {
        {"by default", {}, "Updater.exe"},
        {"named", {"--updater-name", "Kasse"}, "Kasse.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Release release;
        const std::string program = programNamed("Morvane Updater", "1.0.1.0");
        release.folder.write("Updater-neu.exe", program);
        std::vector<std::string> extra = {"--key", at(release.folder, "key.pem"), "--updater",
                                          at(release.folder, "Updater-neu.exe")};
        extra.insert(extra.end(), c.extra.begin(), c.extra.end());
        ASSERT_EQ(release.make("2.1", "server", extra), 0) << release.err.str();
        const std::string text = release.folder.read("server/revision.ini");
        EXPECT_NE(
            text.find("]\r\nQuelle = " + c.target + "\r\nZiel = " + c.target + "\r\nSHA256 = "),
            std::string::npos);
        EXPECT_EQ(release.folder.read("server/" + c.target), program);
        CheckOptions options{at(release.folder, "server/revision.ini"), "2.0",
                             std::optional<std::string>(test::vectors::kOpensslPublicKey)};
        if (!c.extra.empty()) {
            options.programNames = {"Kasse"};
        }
        std::vector<std::string> notes;
        for (const Finding& finding : checkDescription(options, release.http)) {
            notes.push_back(finding.message);
        }
        EXPECT_EQ(notes, std::vector<std::string>{"updates the updater to 1.0.1.0"});
    }
}

TEST(Make, ListsEveryFileAndWithThePreviousDescriptionReportsWhatChanged) {
    Release release;
    release.folder.write("from/Alt.txt", "bald weg");
    ASSERT_EQ(release.make("2.1", "v21"), 0) << release.err.str();
    release.folder.write("from/Umsatz.xlsm", "Arbeitsmappe 2.2");
    std::filesystem::remove(release.folder.native("from/Alt.txt"));
    release.out.str("");
    ASSERT_EQ(release.make("2.2", "v22", {"--previous", at(release.folder, "v21/revision.ini")}), 0)
        << release.err.str();
    const std::string text = release.folder.read("v22/revision.ini");
    EXPECT_NE(text.find("Ziel = Umsatz.xlsm"), std::string::npos);
    EXPECT_NE(text.find("Ziel = lib\\Regionen.xlam"), std::string::npos);
    EXPECT_EQ(release.folder.read("v22/lib/Regionen.xlam"), "Add-in 2.1");
    const std::string report = release.out.str();
    EXPECT_NE(report.find("changed since 2.1: Umsatz.xlsm\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("changed since 2.1: lib"), std::string::npos) << report;
    EXPECT_NE(report.find("removed since 2.1: Alt.txt"), std::string::npos) << report;
    // "2.10" is no successor of "2.2" for the updater's text comparison.
    EXPECT_EQ(release.make("2.10", "v210", {"--previous", at(release.folder, "v22/revision.ini")}),
              3);
    EXPECT_NE(release.err.str().find("not newer"), std::string::npos);
}

// Copies of installed folders, the updater under its own name or renamed:
// its files stay behind, named, whatever it is called.
TEST(Make, LeavesOutWhatAnInstalledFolderOrTheSystemAdds) {
    const std::string updater = programNamed("Morvane Updater");
    struct Installed {
        std::string name;
        std::map<std::string, std::string> files;
        std::vector<std::string> extra;
        std::vector<std::string> leftOut;
    };
    std::vector<Installed> folders = {
        {"system and version control",
         {{"Temp/revision.ini", ""},
          {"backup/Umsatz_2026.xlsm", ""},
          {"Updater.exe", ""},
          {"updater.ini", ""},
          {"lib/Thumbs.db", ""},
          {"desktop.ini", ""},
          {".DS_Store", ""},
          {"~$Umsatz.xlsm", ""},
          {".git/config", ""},
          {"lib/.svn/entries", ""}},
         {},
         {"Temp/", "backup/", "Updater.exe", ".git/", "lib/.svn/", "~$Umsatz.xlsm"}},
        {"renamed, known by its version information",
         {{"Umsatz.exe", updater}, {"Umsatz.ini", ""}, {"Umsatz.gif", ""}},
         {},
         {"Umsatz.exe", "Umsatz.ini"}},
        {"renamed and named",
         {{"Kasse.exe", ""}, {"KASSE.ini", ""}},
         {"--updater-name", "Kasse"},
         {"Kasse.exe", "KASSE.ini"}},
    };
#ifdef MORVANE_UPDATER_PROGRAM
    std::ifstream built(test::builtFile(MORVANE_UPDATER_PROGRAM), std::ios::binary);
    folders.push_back({"the built updater renamed",
                       {{"Umsatz.exe", std::string(std::istreambuf_iterator<char>(built), {})},
                        {"Umsatz.ini", ""}},
                       {},
                       {"Umsatz.exe", "Umsatz.ini"}});
#endif
    for (const Installed& installed : folders) {
        SCOPED_TRACE(installed.name);
        Release release;
        for (const auto& [name, content] : installed.files) {
            release.folder.write("from/" + name, content.empty() ? "nicht ausliefern" : content);
        }
        ASSERT_EQ(release.make("2.1", "server", installed.extra), 0) << release.err.str();
        const std::string text = release.folder.read("server/revision.ini");
        EXPECT_EQ(text.find("nicht"), std::string::npos);
        EXPECT_EQ(text.find("Umsatz.ini"), std::string::npos);
        for (const std::string& name : installed.leftOut) {
            EXPECT_NE(release.err.str().find("left out " + name + ": "), std::string::npos)
                << name << "\n"
                << release.err.str();
        }
    }
}

TEST(Make, WritesNamesTheServerWouldReadOtherwisePercentEncoded) {
    Release release;
    release.folder.write("from/Plan #2 (100%).txt", "Plan");
    ASSERT_EQ(release.make("2.1", "server"), 0) << release.err.str();
    const std::string text = release.folder.read("server/revision.ini");
    EXPECT_NE(text.find("Quelle = Plan %232 (100%25).txt\r\nZiel = Plan #2 (100%).txt\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(release.folder.read("server/Plan #2 (100%).txt"), "Plan");
}

// The server folder holds the old release or the new one whole, never a
// mix: a refused make leaves it as it was and nothing beside it.
TEST(Make, ReplacesTheServerFolderOnlyWithAWholeRelease) {
    Release release;
    ASSERT_EQ(release.make("2.1", "server", {"--key", at(release.folder, "key.pem")}), 0)
        << release.err.str();
    const std::string signedText = release.folder.read("server/revision.ini");
    const std::string signature = release.folder.read("server/revision.ini.sig");
    const auto unchanged = [&] {
        EXPECT_EQ(release.folder.read("server/revision.ini"), signedText);
        EXPECT_EQ(release.folder.read("server/revision.ini.sig"), signature);
        std::vector<std::string> beside;
        for (const auto& entry : std::filesystem::directory_iterator(release.folder.native())) {
            beside.push_back(entry.path().filename().string());
        }
        std::sort(beside.begin(), beside.end());
        EXPECT_EQ(beside, (std::vector<std::string>{"from", "key.pem", "notes.txt", "server"}));
    };
    // A make without a key would turn the signed release unsigned.
    EXPECT_EQ(release.make("2.2", "server"), 3);
    EXPECT_NE(release.err.str().find("--unsigned"), std::string::npos) << release.err.str();
    unchanged();
    // Too many files for the updater's 1 MiB.
    for (int i = 0; i < 7000; ++i) {
        std::ofstream(release.folder.native("from/lib") /
                      ("Monatsbericht-Filiale-" + std::to_string(10000 + i) + ".xlsx"));
    }
    EXPECT_EQ(release.make("2.2", "server", {"--key", at(release.folder, "key.pem")}), 3);
    EXPECT_NE(release.err.str().find("fetches at most 1 MiB (1,048,576 bytes) of it: about "),
              std::string::npos)
        << release.err.str();
    unchanged();
    std::filesystem::remove_all(release.folder.native("from/lib"));
    // What no release put there stays the publisher's.
    release.folder.write("server/Notiz.txt", "meine");
    EXPECT_EQ(release.make("2.2", "server", {"--key", at(release.folder, "key.pem")}), 3);
    EXPECT_NE(release.err.str().find("holds Notiz.txt"), std::string::npos) << release.err.str();
    std::filesystem::remove(release.folder.native("server/Notiz.txt"));
    unchanged();

    ASSERT_EQ(release.make("2.2", "server", {"--unsigned"}), 0) << release.err.str();
    EXPECT_FALSE(release.folder.exists("server/revision.ini.sig"));
    EXPECT_FALSE(release.folder.exists("server/lib/Regionen.xlam"));
    EXPECT_NE(release.folder.read("server/revision.ini").find("2.2"), std::string::npos);
}

TEST(Make, RefusesWhatTheUpdaterCouldNotUseAndSaysWhichRule) {
    Release release;
    release.folder.write(
        "from/Gr\xC3\xB6\xC3\x9F"
        "e-\xE2\x82\xAC.txt",
        "fine in Windows-1252");
    EXPECT_EQ(release.make("2.1", "ok"), 0) << release.err.str();
    EXPECT_EQ(release.make("2.1", "bad", {"--key", at(release.folder, "notes.txt")}), 3);
    struct Name {
        std::string file, said;
    };
    std::vector<Name> names = {
        {"\xCE\xA9.txt", "Windows-1252 cannot hold"},
        {"Mu\xCC\x88ller.txt", "decomposed umlaut"},
        {"lib/BERICH~1.XLS", "\"BERICH~1.XLS\" has the form of a Windows short name"},
        {"revision.ini.new", "one of the updater's own files"},
        {"a=b.txt", "cannot express"},
    };
#ifndef _WIN32
    // Windows itself makes no file of such a name.
    names.push_back({"lib/NUL.txt", "\"NUL.txt\" is a Windows device name"});
    names.push_back({"lib/Ende.", "\"Ende.\" ends in a dot or a blank"});
#endif
    for (const auto& name : names) {
        release.folder.write("from/" + name.file, "x");
        EXPECT_EQ(release.make("2.1", "named"), 3) << name.file;
        EXPECT_NE(release.err.str().find(name.said), std::string::npos) << release.err.str();
        std::filesystem::remove(release.folder.native("from/" + name.file));
    }
    struct Refusal {
        std::string version, title, start, out, said;
    };
    const std::vector<Refusal> refusals = {
        {"[2.1]", "Umsatz", "Umsatz.xlsm", "a", "would open a block"},
        {"2.1", "[Umsatz]", "Umsatz.xlsm", "b", "would open a block"},
        {"2.1", "Umsatz", "[Umsatz.xlsm]", "c", "would open a block"},
        {"   ", "Umsatz", "Umsatz.xlsm", "d", "blanks only"},
        {"2.1", "Umsatz", "..\\Umsatz.xlsm", "e", "leaves the application folder"},
        {"2.1", "Umsatz", "Umsatz.xlsx", "f", "is no file of the release"},
        {"2.1", "Umsatz", "Umsatz.xlsm", "from", "lies in --from"},
        {"2.1", "Umsatz", "Umsatz.xlsm", "from/lib/server", "lies in --from"},
    };
    for (const Refusal& r : refusals) {
        release.err.str("");
        const std::vector<std::string> args = {"make",
                                               "--from",
                                               at(release.folder, "from"),
                                               "--version",
                                               r.version,
                                               "--title",
                                               r.title,
                                               "--msg-typ",
                                               "0",
                                               "--notes",
                                               at(release.folder, "notes.txt"),
                                               "--start",
                                               r.start,
                                               "--out",
                                               at(release.folder, r.out)};
        EXPECT_EQ(runPublisher(args, release.http, release.out, release.err), 3) << r.said;
        EXPECT_NE(release.err.str().find(r.said), std::string::npos) << release.err.str();
        EXPECT_FALSE(release.folder.exists(r.out + "/revision.ini")) << r.out;
    }
}

// Names as they stand in the folder: a link is released under its own
// name, or named as left out with the reason.
TEST(Make, ReleasesLinksUnderTheirOwnNamesOrNamesThemAsLeftOut) {
    Release release;
    namespace fs = std::filesystem;
    release.folder.write("shared/Kopf.xlsx", "Kopf");
    release.folder.write("shared/Vorlagen/Bericht.xltx", "Bericht");
    fs::create_directories(release.folder.native("from/leer"));
    std::error_code error;
    fs::create_symlink("../../shared/Kopf.xlsx", release.folder.native("from/lib/Kopf.xlsx"),
                       error);
    if (error) {
        GTEST_SKIP() << "this system makes no links: " << error.message();
    }
    fs::create_directory_symlink("../shared/Vorlagen", release.folder.native("from/Vorlagen"));
    fs::create_symlink("fehlt.xlsx", release.folder.native("from/Alt.xlsx"));
    fs::create_directory_symlink("..", release.folder.native("from/lib/zurueck"));
    ASSERT_EQ(release.make("2.1", "server"), 0) << release.err.str();
    const std::string text = release.folder.read("server/revision.ini");
    EXPECT_NE(text.find("Ziel = lib\\Kopf.xlsx\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Ziel = Vorlagen\\Bericht.xltx\r\n"), std::string::npos) << text;
    EXPECT_EQ(release.folder.read("server/lib/Kopf.xlsx"), "Kopf");
    EXPECT_EQ(release.folder.read("server/Vorlagen/Bericht.xltx"), "Bericht");
    for (const std::string said :
         {"left out Alt.xlsx: a link whose target is missing", "left out leer/: an empty folder",
          "left out lib/zurueck: a link to a folder that holds it"}) {
        EXPECT_NE(release.err.str().find(said), std::string::npos) << release.err.str();
    }
}

// Deep folders and long names, on Windows beyond the 260 characters of
// the system's old limit.
TEST(Make, ReleasesAFileWhosePathHas300Characters) {
    Release release;
    const std::string from = at(release.folder, "from");
    std::string relative = "lib";
    while (from.size() + relative.size() < 290) {
        relative += "/Quartalsabschluss-Filialen-" + std::to_string(relative.size());
    }
    relative += "/Bericht.xlsx";
    ASSERT_GE(from.size() + relative.size(), 300u);
    writeWholeFile(joinPath(from, relative), "tief");
    ASSERT_EQ(release.make("2.1", "server"), 0) << release.err.str();
    std::string target = relative;
    std::replace(target.begin(), target.end(), '/', '\\');
    EXPECT_NE(release.folder.read("server/revision.ini").find("Ziel = " + target + "\r\n"),
              std::string::npos);
    EXPECT_EQ(readWholeFile(joinPath(at(release.folder, "server"), relative)), "tief");
    // The temporary folder's own removal knows no long paths on every host.
    removeTree(joinPath(from, "lib"));
    removeTree(at(release.folder, "server"));
}

#ifndef _WIN32
// The whole path on this machine: the tool makes the release, a loopback
// server serves the folder, the real updater installs it.
class Installation : public ::testing::TestWithParam<bool> {};

TEST_P(Installation, TheUpdaterInstallsAReleaseMadeByTheTool) {
    const bool signed_ = GetParam();
    Release release;
    ASSERT_EQ(
        release.make("2.1", "server/updates",
                     signed_ ? std::vector<std::string>{"--key", at(release.folder, "key.pem")}
                             : std::vector<std::string>{}),
        0)
        << release.err.str();
    const std::filesystem::path root = release.folder.native("server");
    test::ScriptedHttpServer server([&](const test::RecordedRequest& request) {
        const std::optional<std::string> body =
            readWholeFile((root / request.target.substr(1)).string());
        return body ? test::replyWithLength(200, *body) : test::replyWithLength(404, "");
    });

    const test::TempFolder& app = release.folder;
    std::filesystem::create_directories(app.native("app/Temp"));
    std::filesystem::create_directories(app.native("bin"));
    std::filesystem::copy_file(MORVANE_UPDATER_BINARY, app.native("app/Updater"));
    app.write("app/Umsatz.xlsm", "Arbeitsmappe 2.0");
    app.write("app/Temp/revision.ini", "[Version]\r\n2.0\r\n[Startdatei]\r\nUmsatz.xlsm\r\n");
    std::string settings = "[Adresse]\r\n" + server.url("/updates/revision.ini") +
                           "\r\n[Startdatei]\r\nUmsatz.xlsm\r\n";
    if (signed_) {
        settings += std::string("[Signatur]\r\n") + test::vectors::kOpensslPublicKey + "\r\n";
    }
    app.write("app/Updater.ini", settings);
    // The spreadsheet program, first on the search path, only notes its call.
    app.write("bin/localc", "#!/bin/sh\necho \"$@\" >\"$(dirname \"$0\")/opened\"\n");
    std::filesystem::permissions(app.native("bin/localc"), std::filesystem::perms::owner_all);

    const std::string command = "cd '" + app.native("app").string() + "' && PATH='" +
                                app.native("bin").string() +
                                "':\"$PATH\" ./Updater </dev/null >../run.log 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << app.read("run.log");
    EXPECT_EQ(app.read("app/Umsatz.xlsm"), "Arbeitsmappe 2.1") << app.read("run.log");
    EXPECT_EQ(app.read("app/lib/Regionen.xlam"), "Add-in 2.1");
    EXPECT_EQ(app.read("app/Temp/revision.ini"), app.read("server/updates/revision.ini"));
    bool askedForSignature = false;
    for (const test::RecordedRequest& request : server.requests()) {
        askedForSignature |= request.target == "/updates/revision.ini.sig";
    }
    EXPECT_EQ(askedForSignature, signed_);
}

INSTANTIATE_TEST_SUITE_P(SignedAndUnsigned, Installation, ::testing::Bool());
#endif

}  // namespace
}  // namespace morvane::publish
