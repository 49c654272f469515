#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "base/failure.h"
#include "publish/commands.h"
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

    int make(const std::string& notes, const std::string& server) {
        folder.write("notes.txt", notes);
        return run({"make", "--from", at("from"), "--version", "2", "--title", "T", "--msg-typ",
                    "0", "--notes", at("notes.txt"), "--start", "Umsatz.xlsm", "--out",
                    at(server)});
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
        EXPECT_EQ(tool.run(c.args), 2) << c.args[0];
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
