// Signed revision descriptions and file hashes in the update run: real files,
// the loopback server, descriptions and signatures made by the openssl
// command line (support/signing_vectors.h).
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/crypto.h"
#include "support/scripted_file_system.h"
#include "support/settings_variants.h"
#include "support/signing_vectors.h"
#include "support/update_run_fixture.h"

namespace morvane::test {
namespace {

namespace v = vectors;

const std::string kOldWorkbook = "alte Mappe 2.03";
const std::string kOldTemplate = "alte Vorlage 2.03";
const std::string kUnsignedText =
    "Die Beschreibung der neuen Version ist nicht gültig signiert.\r\n"
    "Die Aktualisierung wird nicht durchgeführt.";
const std::string kBadKeyText = "Der Signaturschlüssel in Updater.ini ist ungültig.";
const std::string kInformCaption = "Morvane-Aktualisierung 2.04";

std::string bytes(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return out;
}

class SignedUpdateTest : public UpdateRunTest {
protected:
    // The installation of release 2.03, its record, settings with `key`.
    void installOlderRelease(const std::string& key = v::kPublicKey) {
        std::string settings = "[Adresse]\r\n" + server->url("/updates/revision.ini") + "\r\n";
        if (key != "-") {
            settings += "[Signatur]\r\n" + key + "\r\n";
        }
        writeApp("Updater.ini", settings);
        writeApp("Auswertung.xlsm", kOldWorkbook);
        writeApp("Vorlagen\\Bericht.xltx", kOldTemplate);
        writeApp("Temp\\revision.ini", v::kOlderRelease);
    }
    // Release 2.04 on the server: `description` with `signature` (nullptr:
    // no signature file), and its two files.
    void serveRelease(const std::string& description, const char* signature) {
        publish(description);
        if (signature != nullptr) {
            serve("updates/revision.ini.sig", bytes(signature));
        }
        serve("updates/dateien/Auswertung.xlsm", v::kNewWorkbook);
        serve("updates/dateien/vorlagen/Bericht.xltx", v::kNewTemplate);
    }
    void expectOldInstallation(const std::string& record = v::kOlderRelease) {
        EXPECT_EQ(readApp("Auswertung.xlsm"), kOldWorkbook);
        EXPECT_EQ(readApp("Vorlagen\\Bericht.xltx"), kOldTemplate);
        EXPECT_EQ(readApp("Temp\\revision.ini"), record);
        EXPECT_TRUE(backups().empty());
        expectNoLeftovers();
    }
    void expectNoLeftovers() {
        EXPECT_FALSE(appHas("Temp\\revision.ini.new"));
        EXPECT_FALSE(appHas("Temp\\revision.ini.new.sig"));
    }
    NullRunLog quiet;
    // The old record's workbook was started.
    void expectStartedOldWorkbook() {
        ASSERT_EQ(process.started.size(), 1u);
        EXPECT_NE(process.started[0].find("Auswertung.xlsm"), std::string::npos);
    }
};

TEST_F(SignedUpdateTest, SignedReleaseInstalls) {
    installOlderRelease();
    serveRelease(v::kRelease, v::kReleaseSignature);
    run();

    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, kInformCaption);
    EXPECT_EQ(readApp("Auswertung.xlsm"), v::kNewWorkbook);
    EXPECT_EQ(readApp("Vorlagen\\Bericht.xltx"), v::kNewTemplate);
    EXPECT_EQ(readApp("Temp\\revision.ini"), v::kRelease);
    EXPECT_EQ(backups().size(), 2u);
    expectNoLeftovers();
    expectStartedOldWorkbook();
}

TEST_F(SignedUpdateTest, DescriptionWithoutValidSignatureChangesNothing) {
    std::string altered = v::kRelease;
    altered[altered.find("Quartalszahlen")] = 'q';
    std::string flipped = bytes(v::kReleaseSignature);
    flipped[20] = static_cast<char>(flipped[20] ^ 0x10);
    const struct {
        const char* name;
        std::string description;
        std::string signature;  // "-": none on the server
    } cases[] = {
        {"altered after signing", altered, bytes(v::kReleaseSignature)},
        {"signature of another description", v::kRelease, bytes(v::kOlderReleaseSignature)},
        {"signature missing", v::kRelease, "-"},
        {"signature empty", v::kRelease, ""},
        {"one byte of the signature flipped", v::kRelease, flipped},
        {"signature by another key", v::kRelease, bytes(v::kOtherKeySignature)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui.boxes.clear();
        process.started.clear();
        installOlderRelease();
        serveRelease(c.description, nullptr);
        serve("updates/revision.ini.sig", c.signature == "-" ? "" : c.signature,
              c.signature == "-" ? 404 : 200);
        run();

        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, kUnsignedText);
        EXPECT_EQ(ui.boxes[0].caption, "Fehler");
        EXPECT_EQ(ui.boxes[0].style, box::Critical);
        expectOldInstallation();
        expectStartedOldWorkbook();
        EXPECT_EQ(requestsFor("/updates/dateien/Auswertung.xlsm"), 0);
    }
}

// A prefetch checks the signature as the run does, without a box, and
// leaves nothing beside the record; the run then fetches no file.
TEST_F(SignedUpdateTest, APrefetchChecksTheSignatureUnseen) {
    installOlderRelease();
    serveRelease(v::kRelease, nullptr);
    serve("updates/revision.ini.sig", bytes(v::kOtherKeySignature));
    const auto prefetch = [this] {
        return Main(platform, quiet, kRevisionCheckTime, kLockPatience, RunMode::Prefetch);
    };

    EXPECT_EQ(prefetch(), static_cast<int>(ExitStatus::NoDescription));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(requestsFor("/updates/dateien/Auswertung.xlsm"), 0);

    serve("updates/revision.ini.sig", bytes(v::kReleaseSignature));
    EXPECT_EQ(prefetch(), 0);
    EXPECT_TRUE(ui.boxes.empty());
    expectOldInstallation();
    EXPECT_FALSE(appHas("Temp\\Vorrat\\revision.ini.new"));
    EXPECT_FALSE(appHas("Temp\\Vorrat\\revision.ini.new.sig"));

    run();
    EXPECT_EQ(readApp("Auswertung.xlsm"), v::kNewWorkbook);
    EXPECT_EQ(requestsFor("/updates/dateien/Auswertung.xlsm"), 1);
    EXPECT_EQ(requestsFor("/updates/dateien/vorlagen/Bericht.xltx"), 1);
}

TEST_F(SignedUpdateTest, UnreadableKeyFetchesNothing) {
    const struct {
        const char* name;
        std::string key;
    } cases[] = {
        {"garbage", "kein Schlüssel"},
        {"key of another curve", v::kP384PublicKey},
        {"empty line", ""},
        {"comment only", ";MFkw"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui.boxes.clear();
        process.started.clear();
        installOlderRelease(c.key);
        serveRelease(v::kRelease, v::kReleaseSignature);
        const std::size_t requests = server->requests().size();
        run();

        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, kBadKeyText);
        EXPECT_EQ(ui.boxes[0].caption, "Fehler");
        EXPECT_EQ(ui.boxes[0].style, box::Critical);
        EXPECT_EQ(server->requests().size(), requests);
        expectOldInstallation();
        expectStartedOldWorkbook();
    }
}

TEST_F(SignedUpdateTest, SettingsThatAskForAKeyNeverRunUnsigned) {
    for (const SettingsVariant& variant : settingsVariants()) {
        SCOPED_TRACE(variant.name);
        ui.boxes.clear();
        process.started.clear();
        installOlderRelease();
        writeApp("Updater.ini",
                 settingsText(variant, server->url("/updates/revision.ini"), v::kPublicKey));
        // Signed by another key: a run that reads the key refuses it.
        serveRelease(v::kRelease, v::kOtherKeySignature);
        run();

        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, variant.keyRead ? kUnsignedText : kBadKeyText);
        EXPECT_EQ(requestsFor("/updates/dateien/Auswertung.xlsm"), 0);
        expectOldInstallation();
    }
}

TEST_F(SignedUpdateTest, ReplayedOlderSignedDescriptionLeavesTheRecord) {
    for (const char* installed : {v::kRelease, v::kOlderRelease}) {
        SCOPED_TRACE(installed == v::kRelease ? "older one offered" : "the same one offered");
        ui.boxes.clear();
        installOlderRelease();
        writeApp("Temp\\revision.ini", installed);
        serveRelease(v::kOlderRelease, v::kOlderReleaseSignature);
        run();

        EXPECT_TRUE(ui.boxes.empty());
        expectOldInstallation(installed);
    }
}

TEST_F(SignedUpdateTest, WithAKeyEveryFileNeedsItsHash) {
    const struct {
        const char* name;
        std::string description;
        const char* signature;
        std::string templateOnServer;
    } cases[] = {
        {"file swapped", v::kRelease, v::kReleaseSignature, "fremde Vorlage"},
        {"block without SHA256", v::kUnhashedRelease, v::kUnhashedReleaseSignature,
         v::kNewTemplate},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui.boxes.clear();
        installOlderRelease();
        serveRelease(c.description, c.signature);
        serve("updates/dateien/vorlagen/Bericht.xltx", c.templateOnServer);
        run();

        ASSERT_EQ(ui.boxes.size(), 2u);
        EXPECT_EQ(ui.boxes[1].caption, "Fehler beim Download einer Datei");
        EXPECT_EQ(readApp("Auswertung.xlsm"), kOldWorkbook);
        EXPECT_EQ(readApp("Vorlagen\\Bericht.xltx"), kOldTemplate);
        EXPECT_TRUE(backups().empty());
        EXPECT_FALSE(appHas("Vorlagen\\Bericht.xltx.part"));
        EXPECT_FALSE(appHas("Temp\\Vorlagen\\Bericht.xltx"));
        // Not recorded as installed: the record still names 2.03.
        EXPECT_EQ(readApp("Temp\\revision.ini"), v::kOlderRelease);
        expectNoLeftovers();
    }
}

TEST_F(SignedUpdateTest, WithoutAKeyHashesThatAreGivenAreChecked) {
    const std::string good = sha256Of(v::kNewTemplate);
    std::string upper = good;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const struct {
        const char* name;
        std::string sha256;  // "-": no SHA256 line
        bool installed;
    } cases[] = {
        {"correct", good, true},
        {"correct in upper case", upper, true},
        {"no SHA256", "-", true},
        {"wrong", sha256Of("fremde Vorlage"), false},
        {"63 digits", good.substr(1), false},
        {"not hex", "z" + good.substr(1), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui.boxes.clear();
        installOlderRelease("-");
        std::filesystem::remove_all(root.native("App/Backup"));  // same stamp each round
        std::string blocks =
            "[Datei]\r\nQuelle = dateien/vorlagen/Bericht.xltx\r\nZiel = "
            "Vorlagen\\Bericht.xltx\r\n";
        if (c.sha256 != "-") {
            blocks += "SHA256 = " + c.sha256 + "\r\n";
        }
        serveRelease(description("2.04", "0", blocks, "Auswertung.xlsm"), nullptr);
        run();

        EXPECT_EQ(readApp("Vorlagen\\Bericht.xltx"), c.installed ? v::kNewTemplate : kOldTemplate);
        EXPECT_EQ(ui.boxes.size(), c.installed ? 0u : 1u);
        EXPECT_EQ(requestsFor("/updates/revision.ini.sig"), 0);
    }
}

// The updater's own program, "Ziel = Updater.exe", replaced by release 2.04.
class SelfUpdateTest : public SignedUpdateTest {
protected:
    static constexpr const char* kOldUpdater = "altes Programm 2.03";

    void installWithUpdater(const std::string& key) {
        installOlderRelease(key);
        writeApp("Updater.exe", kOldUpdater);
        publish(v::kUpdaterRelease);
        serve("updates/revision.ini.sig", bytes(v::kUpdaterReleaseSignature));
        serve("updates/dateien/Auswertung.xlsm", v::kNewWorkbook);
        serve("updates/dateien/Updater.exe", v::kNewUpdater);
    }
    // Either release whole: the workbook and the program of one version.
    void expectOneVersion() {
        const bool isNew = readApp("Updater.exe") == v::kNewUpdater;
        EXPECT_EQ(readApp("Auswertung.xlsm"), isNew ? v::kNewWorkbook : kOldWorkbook);
        EXPECT_EQ(readApp("Updater.exe"), isNew ? v::kNewUpdater : kOldUpdater);
    }
};

TEST_F(SelfUpdateTest, OnlyASignedReleaseWhoseProgramPassesItsSelfTestReplacesTheUpdater) {
    const std::string selfTest = "\"" + appFolder() + "\\Temp\\Updater.exe\" \"--self-test\"";
    const struct {
        const char* name;
        std::string key;  // "-": the settings ask for no signature
        std::optional<int> selfTestExit;
        ExitStatus status;
        std::size_t selfTests;
        int refusedStarts = 0;  // as long as a scanner holds the fresh program
    } cases[] = {
        {"signed, self-test passes", v::kUpdaterReleaseKey, 0, ExitStatus::Done, 1},
        {"started once a scanner let go", v::kUpdaterReleaseKey, 0, ExitStatus::Done, 3, 2},
        {"unsigned", "-", 0, ExitStatus::DownloadFailed, 0},
        {"self-test fails", v::kUpdaterReleaseKey, 1, ExitStatus::DownloadFailed, 1},
        {"self-test hangs", v::kUpdaterReleaseKey, std::nullopt, ExitStatus::DownloadFailed, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(root.native("App"));
        process.ranToEnd.clear();
        process.exitCode = c.selfTestExit;
        process.refusedRuns = c.refusedStarts;
        installWithUpdater(c.key);
        EXPECT_EQ(run(), static_cast<int>(c.status));

        EXPECT_EQ(process.ranToEnd, std::vector<std::string>(c.selfTests, selfTest));
        if (c.status == ExitStatus::Done) {
            EXPECT_EQ(readApp("Updater.exe"), v::kNewUpdater);
            EXPECT_EQ(readApp("Auswertung.xlsm"), v::kNewWorkbook);
            EXPECT_EQ(backups().size(), 2u);
            EXPECT_EQ(readApp("Temp\\revision.ini"), v::kUpdaterRelease);
        } else {
            EXPECT_EQ(readApp("Updater.exe"), kOldUpdater);
            EXPECT_EQ(readApp("Auswertung.xlsm"), kOldWorkbook);
            EXPECT_TRUE(backups().empty());
            EXPECT_FALSE(appHas("Temp\\Updater.exe"));
            EXPECT_EQ(readApp("Temp\\revision.ini"), v::kOlderRelease);
            ASSERT_FALSE(ui.boxes.empty());
            EXPECT_EQ(ui.boxes.back().caption, "Fehler beim Download einer Datei");
        }
        expectNoLeftovers();
    }
}

TEST_F(SelfUpdateTest, CutOffAnywhereInTheSwapLeavesOneWholeVersionAfterTheNextStart) {
    for (long cut = 0;; ++cut) {
        SCOPED_TRACE("cut off after " + std::to_string(cut) + " steps");
        std::filesystem::remove_all(root.native("App"));
        installWithUpdater(v::kUpdaterReleaseKey);
        ScriptedFileSystem scripted(files);
        scripted.countFrom = "revision.ini.install";
        scripted.crashAfter = cut;
        try {
            runOn(scripted);
        } catch (const SimulatedCrash&) {
        }
        if (!scripted.crashed) {
            EXPECT_EQ(readApp("Updater.exe"), v::kNewUpdater);
            break;
        }
        // The next start, with the server down, puts back the version the
        // record names: a program of the other version never runs with it.
        serve("updates/revision.ini", "down", 503);
        run();
        expectOneVersion();
        EXPECT_EQ(readApp("Updater.exe") == v::kNewUpdater,
                  readApp("Temp\\revision.ini") == v::kUpdaterRelease);
        EXPECT_FALSE(appHas("Temp\\revision.ini.install"));
    }
}

}  // namespace
}  // namespace morvane::test
