#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "publish/check.h"
#include "publish/commands.h"
#include "publish/local_files.h"
#include "publish_vectors.h"
#include "support/host_adapters.h"
#include "support/scripted_http_server.h"
#include "support/temp_folder.h"

namespace morvane::publish {
namespace {

std::string at(const test::TempFolder& folder, const std::string& name) {
    const std::u8string text = folder.native(name).u8string();
    return std::string(text.begin(), text.end());
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
             std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {
            "make",        "--from",  at(folder, "from"),      "--version",
            version,       "--title", "Umsatz " + version,     "--msg-typ",
            "0",           "--notes", at(folder, "notes.txt"), "--start",
            "Umsatz.xlsm", "--out",   at(folder, server)};
        args.insert(args.end(), extra.begin(), extra.end());
        return runPublisher(args, http, this->out, err);
    }
};

TEST(Make, WritesADescriptionThatCheckPassesAndSignsIt) {
    Release release;
    ASSERT_EQ(release.make("2.1", "server", {"--key", at(release.folder, "key.pem")}), 0)
        << release.err.str();
    const std::string text = release.folder.read("server/revision.ini");
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
    EXPECT_TRUE(findings.empty()) << formatFinding("revision.ini", findings.front());
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
              2);
    EXPECT_NE(release.err.str().find("not newer"), std::string::npos);
}

TEST(Make, LeavesOutWhatAnInstalledFolderOrTheSystemAdds) {
    Release release;
    for (const char* name : {"Temp/revision.ini", "backup/Umsatz_2026.xlsm", "Updater.exe",
                             "updater.ini", "lib/Thumbs.db", "desktop.ini", ".DS_Store",
                             "~$Umsatz.xlsm", ".git/config", "lib/.svn/entries"}) {
        release.folder.write(std::string("from/") + name, "nicht ausliefern");
    }
    ASSERT_EQ(release.make("2.1", "server"), 0) << release.err.str();
    const std::string text = release.folder.read("server/revision.ini");
    EXPECT_EQ(text.find("nicht"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '['), 7) << text;  // 4 + 2 files + Startdatei
    const std::string said = release.err.str();
    for (const char* reported :
         {"left out Temp/", "left out backup/", "left out Updater.exe", "left out .git/",
          "left out lib/.svn/", "left out ~$Umsatz.xlsm"}) {
        EXPECT_NE(said.find(reported), std::string::npos) << reported << "\n" << said;
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

TEST(Make, DeletesTheSignatureOfAnEarlierMake) {
    Release release;
    release.folder.write("server/revision.ini.sig", "alte Signatur");
    ASSERT_EQ(release.make("2.1", "server"), 0) << release.err.str();
    EXPECT_FALSE(release.folder.exists("server/revision.ini.sig"));
}

TEST(Make, RefusesWhatTheUpdaterCouldNotUse) {
    Release release;
    release.folder.write(
        "from/Gr\xC3\xB6\xC3\x9F"
        "e-\xE2\x82\xAC.txt",
        "fine in Windows-1252");
    EXPECT_EQ(release.make("2.1", "ok"), 0) << release.err.str();
    release.folder.write("from/\xCE\xA9.txt", "Greek");
    EXPECT_EQ(release.make("2.1", "greek"), 2);
    EXPECT_NE(release.err.str().find("Windows-1252 cannot hold"), std::string::npos);
    EXPECT_EQ(release.make("2.1", "bad", {"--key", at(release.folder, "notes.txt")}), 2);
    std::filesystem::remove(release.folder.native("from/\xCE\xA9.txt"));
    struct Refusal {
        std::string version, title, start, out, said;
    };
    const std::vector<Refusal> refusals = {
        {"[2.1]", "Umsatz", "Umsatz.xlsm", "a", "would open a block"},
        {"2.1", "[Umsatz]", "Umsatz.xlsm", "b", "would open a block"},
        {"2.1", "Umsatz", "[Umsatz.xlsm]", "c", "would open a block"},
        {"   ", "Umsatz", "Umsatz.xlsm", "d", "blanks only"},
        {"2.1", "Umsatz", "..\\Umsatz.xlsm", "e", "leaves the application folder"},
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
        EXPECT_EQ(runPublisher(args, release.http, release.out, release.err), 2) << r.said;
        EXPECT_NE(release.err.str().find(r.said), std::string::npos) << release.err.str();
    }
    EXPECT_FALSE(release.folder.exists("from/lib/server"));
    release.folder.write("from/a=b.txt", "Gleichung");
    EXPECT_EQ(release.make("2.1", "equals"), 2);
    EXPECT_NE(release.err.str().find("cannot express"), std::string::npos) << release.err.str();
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
