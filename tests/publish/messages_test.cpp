#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "base/failure.h"
#include "publish/commands.h"
#include "publish/progress.h"
#include "publish/signing/signing.h"
#include "publish_vectors.h"
#include "support/host_adapters.h"
#include "support/temp_folder.h"

namespace morvane::publish {
namespace {

// The publisher runs the tool in a folder with a description, keys and a
// release folder; each run's exit status and messages.
struct Publisher {
    test::TempFolder folder;
    test::HostHttp http;
    std::string out, err;

    Publisher() {
        folder.write("revision.ini", "[Version]\r\n1\r\n");
        folder.write("encrypted.pem", test::vectors::kEncryptedPkcs8Key);
        folder.write("key.pem", test::vectors::kOpensslSec1Key);
        std::filesystem::create_directories(folder.native("from"));
        folder.write("from/Umsatz.xlsm", "Arbeitsmappe");
    }

    std::string at(const std::string& name) const {
        const std::u8string text = folder.native(name).u8string();
        return std::string(text.begin(), text.end());
    }

    int run(const std::vector<std::string>& args) {
        std::ostringstream o, e;
        const int status = runPublisher(args, http, o, e);
        out = o.str();
        err = e.str();
        return status;
    }

    int make(const std::string& notes, const std::string& server,
             std::vector<std::string> extra = {}) {
        folder.write("notes.txt", notes);
        std::vector<std::string> args = {
            "make",          "--from",  at("from"),    "--version", "2",
            "--title",       "T",       "--msg-typ",   "0",         "--notes",
            at("notes.txt"), "--start", "Umsatz.xlsm", "--out",     at(server)};
        args.insert(args.end(), extra.begin(), extra.end());
        return run(args);
    }
};

TEST(PublisherMessages, KeyFilesThatDoNotSignAreNamedForWhatTheyAre) {
    Publisher tool;
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"sign", tool.at("revision.ini"), tool.at("missing.pem")}, "does not exist"},
        {{"sign", tool.at("revision.ini"), tool.at("encrypted.pem")}, "encrypted private key"},
        {{"sign", tool.at("revision.ini"), tool.at("revision.ini")}, "no PEM key"},
        {{"check", tool.at("revision.ini"), "--key", "missing.pem"}, "no such file"},
        {{"check", tool.at("revision.ini"), "--key", tool.at("keys/Updater.ini")}, "no such file"},
        {{"keygen", tool.at("key.pem")}, "exists already"},
        {{"keygen", tool.at("no-folder/key.pem")}, "cannot write the key file"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tool.run(c.args), 3) << c.args[0];
        EXPECT_NE(tool.err.find(c.says), std::string::npos) << tool.err;
    }
    // A base64 line is still taken as the key itself.
    tool.run({"check", tool.at("revision.ini"), "--key", test::vectors::kOpensslPublicKey});
    EXPECT_EQ(tool.err.find("no such file"), std::string::npos) << tool.err;
    EXPECT_EQ(tool.run({"sign", tool.at("revision.ini"), tool.at("key.pem")}), 0) << tool.err;
}

TEST(PublisherMessages, EveryCommandsHelpShowsAnExampleUnderTheProgramsName) {
    Publisher tool;
    for (const std::string command : {"keygen", "make", "sign", "check"}) {
        ASSERT_EQ(tool.run({command, "--help"}), 0);
        EXPECT_NE(tool.out.find("example:\n  " + std::string(publisherName()) + " " + command),
                  std::string::npos)
            << tool.out;
    }
    tool.run({"make", "--help"});
    for (const std::string meaning :
         {"0  installs silently", "1  informs", "2  asks", "any other value silently"}) {
        EXPECT_NE(tool.out.find(meaning), std::string::npos) << meaning;
    }
}

TEST(PublisherMessages, NotesInUtf8OrElseWindows1252) {
    Publisher tool;
    const struct {
        std::string notes;
        std::string server;
    } cases[] = {
        {"Monatsabschl\xC3\xBCsse\n", "utf8"},
        {"\xEF\xBB\xBFMonatsabschl\xC3\xBCsse\r\n", "bom"},
        {"Monatsabschl\xFCsse\r\n", "ansi"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(tool.make(c.notes, c.server), 0) << tool.err;
        EXPECT_NE(tool.folder.read(c.server + "/revision.ini").find("Monatsabschl\xFCsse\r\n"),
                  std::string::npos)
            << c.server;
    }
    // A line every user sees although it reads like a comment.
    ASSERT_EQ(tool.make("Neu:\n; intern: Server umgezogen\n", "comment"), 0) << tool.err;
    EXPECT_NE(tool.err.find("warning: notes line 2 starts with \";\""), std::string::npos)
        << tool.err;
    EXPECT_EQ(tool.make(std::string("\xFF\xFEN\0e\0u\0", 8), "utf16"), 3);
    EXPECT_NE(tool.err.find("are UTF-16 text"), std::string::npos) << tool.err;
}

// Usage errors name what is wrong and exit with 2; a failing command with 3.
TEST(PublisherMessages, TheCommandLineIsReadStrictlyAndExitStatusesTellWhatHappened) {
    Publisher tool;
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {{"check", tool.at("revision.ini"), "extra"}, 2, "unexpected argument extra"},
        {{"check"}, 2, "DESCRIPTION-OR-URL is missing"},
        {{"check", tool.at("revision.ini"), "--key", "a", "--key", "b"}, 2, "--key is given twice"},
        {{"make", "--from", "a", "--key", "k", "--unsigned"}, 2, "exclude each other"},
        {{"make", "--from", "a", "--updater", "u.exe"}, 2, "--updater needs --key"},
        {{"sign", "--force"}, 2, "unknown option --force"},
        {{"make", "--from", tool.at("from"), "--version", "2", "--title", "T", "--msg-typ", "0",
          "--notes", tool.at("revision.ini"), "--start", "Umsatz.xlsm", "--out", tool.at("a"),
          "--previous", "http://127.0.0.1:9/revision.ini"},
         3,
         "is a URL"},
        {{"make", "--from", tool.at("from"), "--version", "2", "--title", "T", "--msg-typ", "0",
          "--notes", tool.at("revision.ini"), "--start", "Umsatz.xlsm", "--out", tool.at("b"),
          "--previous", tool.at("from/Umsatz.xlsm")},
         3,
         "is no revision description"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tool.run(c.args), c.status) << c.says;
        EXPECT_NE(tool.err.find(c.says), std::string::npos) << tool.err;
    }
    // A stage the updater could not read as meant is no release at all.
    const struct {
        std::vector<std::string> extra;
        std::string says;
    } stages[] = {
        {{"--share", "0"}, "--share takes a whole number from 1 to 100, not \"0\""},
        {{"--share", "25%"}, "not \"25%\""},
        {{"--pilot", "Kasse 1"}, "--pilot \"Kasse 1\" is no computer name"},
        {{"--pilot", " , "}, "--pilot names no PC"},
    };
    for (const auto& c : stages) {
        EXPECT_EQ(tool.make("x\n", "staged", c.extra), 2) << c.says;
        EXPECT_NE(tool.err.find(c.says), std::string::npos) << tool.err;
    }
    EXPECT_FALSE(tool.folder.exists("staged"));
    EXPECT_EQ(tool.run({"--version"}), 0);
    EXPECT_EQ(tool.out.rfind(std::string(publisherName()) + " ", 0), 0u) << tool.out;
    for (const std::string command : {"--help", "make", "check"}) {
        tool.run({command, "--help"});
        EXPECT_NE(tool.out.find("exit status: 0 done (check: no findings), 1 check found "
                                "warnings or errors,\n2 the command line is wrong, 3 the command "
                                "failed."),
                  std::string::npos)
            << command;
    }
}

TEST(PublisherMessages, CheckKnowsARenamedUpdatersOwnFiles) {
    Publisher tool;
    tool.folder.write("a.txt", "a");
    tool.folder.write("revision.ini",
                      "[Version]\r\n2\r\n[Titel]\r\nT\r\n[Msg-Typ]\r\n0\r\n[Beschreibung]\r\n"
                      "[Einstellungen]\r\nQuelle = a.txt\r\nZiel = Umsatz.ini\r\n[Startdatei]\r\n");
    EXPECT_EQ(tool.run({"check", tool.at("revision.ini")}), 1);
    EXPECT_EQ(tool.err.find("refuses"), std::string::npos) << tool.err;
    EXPECT_EQ(tool.run({"check", tool.at("revision.ini"), "--updater-name", "Umsatz"}), 1);
    EXPECT_NE(tool.err.find("refuses Ziel \"Umsatz.ini\": it is the updater's own"),
              std::string::npos)
        << tool.err;
}

// Quiet for a second, then files and bytes: rewritten in place on a
// terminal, a line now and then for a log.
TEST(PublisherMessages, ProgressShowsOnlyWhenARunTakesLongerThanASecond) {
    auto now = std::chrono::steady_clock::time_point();
    const Progress::Clock clock = [&] { return now; };
    for (const ProgressMode mode : {ProgressMode::Rewrite, ProgressMode::Lines}) {
        std::ostringstream err;
        Progress progress(err, mode, "make", clock);
        constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
        progress.setTotal(2, 3 * kMiB);
        progress.addBytes(kMiB);
        EXPECT_EQ(err.str(), "");
        now += std::chrono::milliseconds(1500);
        progress.fileDone();
        progress.addBytes(2 * kMiB);
        progress.fileDone();
        progress.finish();
        const std::string first = "make: 1 of 2 files, 1.0 MiB of 3.0 MiB";
        const std::string last = "make: 2 of 2 files, 3.0 MiB of 3.0 MiB\n";
        EXPECT_EQ(err.str(),
                  mode == ProgressMode::Rewrite ? "\r" + first + "\r" + last : first + "\n" + last);
    }
}

TEST(PublisherMessages, FailuresOfTheUpdatersCatalogueAreWordedByTheTool) {
    EXPECT_FALSE(englishSystemMessage(Failure::of(err::PathAccess)));
#ifdef _WIN32
    const auto text =
        englishSystemMessage(Failure(FailureOrigin::Windows, 5, "Zugriff verweigert"));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->find("Zugriff"), std::string::npos) << *text;
#endif
}

}  // namespace
}  // namespace morvane::publish
