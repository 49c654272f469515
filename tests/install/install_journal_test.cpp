#include "install/install_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_file_system.h"

namespace morvane {
namespace {

const char* const kJournal = "C:\\App\\Temp\\revision.ini.install";
// The form earlier versions wrote, one line per file before its moves.
const std::string kFirst = "Morvane-Installation 1\r\n";
const std::string kPlan = "Morvane-Installation 2\r\n";
const std::string kPlanEnd = "End of plan\r\n";

TEST(InstallJournalTest, WhatARunCutOffWroteIsReadBack) {
    test::FakeFileSystem files;
    files.addFolder("C:\\App\\Temp");
    const std::vector<JournalEntry> entries = {{"app.exe", "app_2024-03-05_14.07.09.exe"},
                                               {"lib\\Ä.dll", "lib\\Ä_2024-03-05_14.07.09.dll"}};
    {
        InstallJournal journal(files, kJournal);
        journal.write(entries);
        EXPECT_EQ(journal.entries(), entries);
        EXPECT_THROW(InstallJournal(files, kJournal).write(entries), Failure);
    }  // cut off: the journal stays
    const std::optional<JournalContents> read = readJournal(files, kJournal);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->complete);
    EXPECT_EQ(read->entries, entries);
    EXPECT_TRUE(InstallJournal(files, kJournal).remove());
    EXPECT_FALSE(readJournal(files, kJournal));
}

struct JournalCase {
    const char* name;
    std::string text;
    bool complete;
    std::vector<JournalEntry> entries;
};

TEST(InstallJournalTest, OnlyWholeLinesCount) {
    const std::vector<JournalCase> cases = {
        {"empty (the mark of earlier versions)", "", false, {}},
        {"first line torn", "Morvane-Inst", false, {}},
        {"first line without its end", "Morvane-Installation 1", false, {}},
        {"other first line", "Morvane-Installation 3\r\na\tb\r\n" + kPlanEnd, false, {}},
        {"no entry yet", kFirst, true, {}},
        {"last line torn", kFirst + "a.txt\ta_1.txt\r\nb.txt\tb_", true, {{"a.txt", "a_1.txt"}}},
        {"last line torn before its end",
         kFirst + "a.txt\ta_1.txt\r\nb.txt\tb_1.txt\r",
         true,
         {{"a.txt", "a_1.txt"}}},
        {"zeros after a power loss", kFirst + std::string(40, '\0'), true, {}},
        {"line without a separator",
         kFirst + "a.txt\r\nb.txt\tb_1.txt\r\n",
         true,
         {{"b.txt", "b_1.txt"}}},
        {"whole plan",
         kPlan + "a.txt\ta_1.txt\r\nb.txt\tb_1.txt\r\n" + kPlanEnd,
         true,
         {{"a.txt", "a_1.txt"}, {"b.txt", "b_1.txt"}}},
        {"empty plan", kPlan + kPlanEnd, true, {}},
        {"plan cut off before its last line", kPlan + "a.txt\ta_1.txt\r\nEnd of", false, {}},
        {"plan cut off in its first line", "Morvane-Installation 2", false, {}},
        {"lines after the plan's end", kPlan + kPlanEnd + "a.txt\ta_1.txt\r\n", true, {}},
        {"paths leaving the folder, read as written",
         kFirst + "..\\a.txt\ta.txt\r\nb.txt\tC:\\b.txt\r\n",
         true,
         {{"..\\a.txt", "a.txt"}, {"b.txt", "C:\\b.txt"}}},
    };
    for (const JournalCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeFileSystem files;
        files.addFile(kJournal, c.text);
        const std::optional<JournalContents> read = readJournal(files, kJournal);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->complete, c.complete);
        EXPECT_EQ(read->entries, c.entries);
    }
}

struct BackupNameCase {
    std::string target;
    std::string backup;
    bool dated;
};

TEST(InstallJournalTest, BackupNamesHaveTheDatedFormOfTheirTarget) {
    const std::vector<BackupNameCase> cases = {
        {"app.exe", "app_2024-03-05_14.07.09.exe", true},
        {"app.exe", "app_2024-03-05_14.07.09_2.exe", true},
        {"app.exe", "app_2024-03-05_14.07.09_1000.exe", true},
        {"lib\\a.b.dll", "lib\\a.b_2024-03-05_14.07.09.dll", true},
        {"README", "README_2024-03-05_14.07.09", true},
        {"README", "README_2024-03-05_14.07.09_3", true},
        {".config", "_2024-03-05_14.07.09.config", true},
        {"lib.d\\core", "lib.d\\core_2024-03-05_14.07.09", true},
        {"app.exe", "app.exe", false},
        {"app.exe", "app_2024-03-05_14.07.exe", false},
        {"app.exe", "app_2024-03-05_14.07.0x.exe", false},
        {"app.exe", "app_2024-03-05 14.07.09.exe", false},
        {"app.exe", "app_2024-03-05_14.07.09_1.exe", false},
        {"app.exe", "app_2024-03-05_14.07.09_02.exe", false},
        {"app.exe", "app_2024-03-05_14.07.09_x.exe", false},
        {"app.exe", "app_2024-03-05_14.07.09_10000.exe", false},
        {"app.exe", "app_2024-03-05_14.07.09.dll", false},
        {"app.exe", "other_2024-03-05_14.07.09.exe", false},
        {"app.exe", "lib\\app_2024-03-05_14.07.09.exe", false},
        {"lib\\app.exe", "app_2024-03-05_14.07.09.exe", false},
        {"app.exe", "..\\app_2024-03-05_14.07.09.exe", false},
    };
    for (const BackupNameCase& c : cases) {
        SCOPED_TRACE(c.target + " -> " + c.backup);
        EXPECT_EQ(isDatedBackupName(c.target, c.backup), c.dated);
    }
}

}  // namespace
}  // namespace morvane
