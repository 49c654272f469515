#include "paths/path_class.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/failure.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"

namespace morvane {
namespace {

using test::FakeClock;
using test::FakeFileSystem;

class PathClassTest : public ::testing::Test {
protected:
    PathClass path(const std::string& fullPath) {
        PathClass value(files, clock);
        value.setFullPath(fullPath);
        return value;
    }

    // Expects failure 5 from `operation` and the path unchanged afterwards.
    void expectInvalidCall(PathClass& value, const std::function<void()>& operation) {
        // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): the call may change it
        const std::string before = value.FullPath();
        try {
            operation();
            ADD_FAILURE() << "no failure on " << before;
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.number(), err::InvalidCall);
        }
        EXPECT_EQ(value.FullPath(), before);
    }

    FakeFileSystem files;
    FakeClock clock{LocalTime{2024, 3, 5, 14, 7, 9}};
};

struct ReadCase {
    std::string fullPath;
    std::string drive, fullDrive, folder, fullName;
    std::optional<std::string> name;  // nullopt: the read fails
    std::string ext, fullExt;
    bool isFile, isFolder;
};

TEST_F(PathClassTest, ReadsOfTheParts) {
    const ReadCase cases[] = {
        {R"(C:\Programs\App\app.exe)", "C", R"(C:\)", R"(C:\Programs\App\)", "app.exe", "app",
         "exe", ".exe", true, false},
        {R"(C:\Programs\App\)", "C", R"(C:\)", R"(C:\Programs\App\)", "", "", "", ".", false, true},
        {R"(C:\Programs\App\archive.tar.gz)", "C", R"(C:\)", R"(C:\Programs\App\)",
         "archive.tar.gz", "archive.tar", "gz", ".gz", true, false},
        {R"(C:\Programs\App\README)", "C", R"(C:\)", R"(C:\Programs\App\)", "README", std::nullopt,
         "README", ".README", true, false},
        {R"(C:\Programs\App\.profile)", "C", R"(C:\)", R"(C:\Programs\App\)", ".profile", "",
         "profile", ".profile", true, false},
        {R"(C:\Programs\App\app.)", "C", R"(C:\)", R"(C:\Programs\App\)", "app.", "app", "", ".",
         true, false},
        {R"(C:\)", "C", R"(C:\)", R"(C:\)", "", "", "", ".", false, true},
        {R"(App\app.exe)", R"(App\app.exe)", R"(App\app.exe:\)", R"(App\)", "app.exe", "app", "exe",
         ".exe", true, false},
        {"app.exe", "app.exe", R"(app.exe:\)", "", "app.exe", "app", "exe", ".exe", true, false},
        {"", "", R"(:\)", "", "", "", "", ".", true, false},
        // Beyond the worked examples: network paths, dots in folder names,
        // "/" as an ordinary character, non-ASCII names.
        {R"(\\server\share\app.exe)", R"(\\server\share\app.exe)", R"(\\server\share\app.exe:\)",
         R"(\\server\share\)", "app.exe", "app", "exe", ".exe", true, false},
        {R"(D:\app.data\notes)", "D", R"(D:\)", R"(D:\app.data\)", "notes", std::nullopt, "notes",
         ".notes", true, false},
        {R"(D:\a/b.c\d.e)", "D", R"(D:\)", R"(D:\a/b.c\)", "d.e", "d", "e", ".e", true, false},
        {R"(D:\Grüße\Übersicht.xlsm)", "D", R"(D:\)", R"(D:\Grüße\)", "Übersicht.xlsm", "Übersicht",
         "xlsm", ".xlsm", true, false},
        {R"(C:\a\\b.txt)", "C", R"(C:\)", R"(C:\a\\)", "b.txt", "b", "txt", ".txt", true, false},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.fullPath);
        PathClass value = path(c.fullPath);
        EXPECT_EQ(value.Drive(), c.drive);
        EXPECT_EQ(value.FullDrive(), c.fullDrive);
        EXPECT_EQ(value.Path(), c.folder);
        EXPECT_EQ(value.FullPath(), c.fullPath);
        EXPECT_EQ(value.FullName(), c.fullName);
        if (c.name) {
            EXPECT_EQ(value.Name(), *c.name);
        } else {
            expectInvalidCall(value, [&] { (void)value.Name(); });
        }
        EXPECT_EQ(value.Ext(), c.ext);
        EXPECT_EQ(value.FullExt(), c.fullExt);
        EXPECT_EQ(value.isFile(), c.isFile);
        EXPECT_EQ(value.isFolder(), c.isFolder);
    }
}

struct WriteCase {
    std::string label;
    std::string start;
    std::function<void(PathClass&)> write;
    std::string expected;
};

void runWrites(const std::vector<WriteCase>& cases, const std::function<PathClass()>& make) {
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.label + " on \"" + c.start + "\"");
        PathClass value = make();
        value.setFullPath(c.start);
        c.write(value);
        EXPECT_EQ(value.FullPath(), c.expected);
    }
}

TEST_F(PathClassTest, WritesAndOperationsOnAFilePath) {
    const std::string app = R"(C:\Programs\App\app.exe)";
    runWrites(
        {
            {"Drive D", app, [](PathClass& p) { p.setDrive("D"); }, R"(D:\Programs\App\app.exe)"},
            {"FullDrive E:\\", app, [](PathClass& p) { p.setFullDrive(R"(E:\)"); },
             R"(E:\Programs\App\app.exe)"},
            {"Path D:\\Backup", app, [](PathClass& p) { p.setPath(R"(D:\Backup)"); },
             R"(D:\Backup\app.exe)"},
            {"Name setup", app, [](PathClass& p) { p.setName("setup"); },
             R"(C:\Programs\App\setup.exe)"},
            {"FullName readme.txt", app, [](PathClass& p) { p.setFullName("readme.txt"); },
             R"(C:\Programs\App\readme.txt)"},
            {"FullName empty", app, [](PathClass& p) { p.setFullName(""); }, R"(C:\Programs\App\)"},
            {"Ext dll", app, [](PathClass& p) { p.setExt("dll"); }, R"(C:\Programs\App\app.dll)"},
            {"FullExt .bak", app, [](PathClass& p) { p.setFullExt(".bak"); },
             R"(C:\Programs\App\app.bak)"},
            {"AddDateInfo", app, [](PathClass& p) { p.AddDateInfo(); },
             R"(C:\Programs\App\app_2024-03-05_14.07.09.exe)"},
            {"IncrementExt", app, [](PathClass& p) { p.IncrementExt(); },
             R"(C:\Programs\App\app.000)"},
        },
        [this] { return PathClass(files, clock); });
}

TEST_F(PathClassTest, WritesOnEdgePaths) {
    const std::string app = R"(C:\Programs\App\app.exe)";
    const std::string folder = R"(C:\Programs\App\)";
    runWrites(
        {
            // The empty path.
            {"Drive C", "", [](PathClass& p) { p.setDrive("C"); }, R"(C:\)"},
            {"Path C:\\x", "", [](PathClass& p) { p.setPath(R"(C:\x)"); }, R"(C:\x\)"},
            {"FullName a.txt", "", [](PathClass& p) { p.setFullName("a.txt"); }, "a.txt"},
            {"Ext txt", "", [](PathClass& p) { p.setExt("txt"); }, ".txt"},
            {"Name a", "", [](PathClass& p) { p.setName("a"); }, "a."},
            {"Drive empty", "", [](PathClass& p) { p.setDrive(""); }, ""},
            // A folder path.
            {"FullName app.exe", folder, [](PathClass& p) { p.setFullName("app.exe"); },
             R"(C:\Programs\App\app.exe)"},
            {"Name app", folder, [](PathClass& p) { p.setName("app"); }, R"(C:\Programs\App\app.)"},
            {"Ext txt", folder, [](PathClass& p) { p.setExt("txt"); }, R"(C:\Programs\App\.txt)"},
            // The Path write always inserts a separator.
            {"Path D:\\Backup\\", app, [](PathClass& p) { p.setPath(R"(D:\Backup\)"); },
             R"(D:\Backup\\app.exe)"},
            {"Path read back", app, [](PathClass& p) { p.setPath(p.Path()); },
             R"(C:\Programs\App\\app.exe)"},
            // Drive writes.
            {"Drive D:", app, [](PathClass& p) { p.setDrive("D:"); }, R"(D:\Programs\App\app.exe)"},
            {"Drive D:\\", app, [](PathClass& p) { p.setDrive(R"(D:\)"); },
             R"(D:\Programs\App\app.exe)"},
            {"Drive data", app, [](PathClass& p) { p.setDrive("data"); },
             R"(d:\Programs\App\app.exe)"},
            {"Drive Ärger", app, [](PathClass& p) { p.setDrive("Ärger"); },
             R"(Ä:\Programs\App\app.exe)"},
            {"Drive empty", app, [](PathClass& p) { p.setDrive(""); }, R"(Programs\App\app.exe)"},
            {"Drive after two roots", R"(C:\x:\y\app.exe)", [](PathClass& p) { p.setDrive("D"); },
             R"(D:\y\app.exe)"},
            {"Drive on a drive-less path", R"(App\app.exe)", [](PathClass& p) { p.setDrive("D"); },
             R"(D:\App\app.exe)"},
            {"FullDrive empty", app, [](PathClass& p) { p.setFullDrive(""); },
             R"(Programs\App\app.exe)"},
            // Ext writes.
            {"Ext .dll", app, [](PathClass& p) { p.setExt(".dll"); }, R"(C:\Programs\App\app.dll)"},
            {"Ext empty", app, [](PathClass& p) { p.setExt(""); }, R"(C:\Programs\App\app.)"},
            {"Ext tar.gz", app, [](PathClass& p) { p.setExt("tar.gz"); },
             R"(C:\Programs\App\app.tar.gz)"},
            {"FullExt bak", app, [](PathClass& p) { p.setFullExt("bak"); },
             R"(C:\Programs\App\app.bak)"},
            {"Ext on two dots", R"(C:\a\archive.tar.gz)", [](PathClass& p) { p.setExt("zip"); },
             R"(C:\a\archive.tar.zip)"},
            {"Ext on a leading dot", R"(C:\a\.profile)", [](PathClass& p) { p.setExt("bak"); },
             R"(C:\a\.bak)"},
            // Name and FullName need no "." in the name.
            {"Name LICENSE", R"(C:\Programs\App\README)",
             [](PathClass& p) { p.setName("LICENSE"); }, R"(C:\Programs\App\LICENSE.README)"},
            {"FullName x.txt", R"(C:\Programs\App\README)",
             [](PathClass& p) { p.setFullName("x.txt"); }, R"(C:\Programs\App\x.txt)"},
            // Values are stored untested.
            {"FullName with separators", app, [](PathClass& p) { p.setFullName(R"(a\b:c)"); },
             R"(C:\Programs\App\a\b:c)"},
        },
        [this] { return PathClass(files, clock); });
}

TEST_F(PathClassTest, WhatReadsNameFailsOnANameWithoutDotAndChangesNothing) {
    for (const std::string start : {R"(C:\Programs\App\README)", R"(D:\app.data\notes)"}) {
        SCOPED_TRACE(start);
        PathClass value = path(start);
        expectInvalidCall(value, [&] { (void)value.Name(); });
        expectInvalidCall(value, [&] { value.setExt("txt"); });
        expectInvalidCall(value, [&] { value.setFullExt(".txt"); });
        expectInvalidCall(value, [&] { value.IncrementExt(); });
    }
}

TEST_F(PathClassTest, AddDateInfo) {
    runWrites(
        {
            {"two dots", R"(D:\Backup\archive.tar.gz)", [](PathClass& p) { p.AddDateInfo(); },
             R"(D:\Backup\archive.tar_2024-03-05_14.07.09.gz)"},
            {"folder", R"(D:\Backup\)", [](PathClass& p) { p.AddDateInfo(); },
             R"(D:\Backup\_2024-03-05_14.07.09.)"},
            {"no dot in the name", R"(C:\Backup\README)", [](PathClass& p) { p.AddDateInfo(); },
             R"(C:\Backup\README_2024-03-05_14.07.09)"},
            {"dot only in a folder", R"(D:\app.data\notes)", [](PathClass& p) { p.AddDateInfo(); },
             R"(D:\app.data\notes_2024-03-05_14.07.09)"},
            {"leading dot", R"(D:\Backup\.profile)", [](PathClass& p) { p.AddDateInfo(); },
             R"(D:\Backup\_2024-03-05_14.07.09.profile)"},
            {"twice", R"(D:\Backup\app.exe)",
             [](PathClass& p) {
                 p.AddDateInfo();
                 p.AddDateInfo();
             },
             R"(D:\Backup\app_2024-03-05_14.07.09_2024-03-05_14.07.09.exe)"},
        },
        [this] { return PathClass(files, clock); });
}

TEST_F(PathClassTest, AddDateInfoPadsEveryFieldWhateverTheHour) {
    clock.time = LocalTime{2024, 1, 9, 8, 5, 3};
    PathClass value = path(R"(D:\Backup\app.exe)");
    value.AddDateInfo();
    EXPECT_EQ(value.FullPath(), R"(D:\Backup\app_2024-01-09_08.05.03.exe)");

    clock.time = LocalTime{2023, 12, 31, 23, 59, 59};
    value.setFullPath(R"(D:\Backup\app.exe)");
    value.AddDateInfo();
    EXPECT_EQ(value.FullPath(), R"(D:\Backup\app_2023-12-31_23.59.59.exe)");

    clock.time = LocalTime{2024, 2, 1, 0, 0, 0};
    value.setFullPath(R"(D:\Backup\app.exe)");
    value.AddDateInfo();
    EXPECT_EQ(value.FullPath(), R"(D:\Backup\app_2024-02-01_00.00.00.exe)");
}

TEST_F(PathClassTest, IncrementExtTakesTheFirstFreeNumber) {
    files.addFile(R"(D:\Backup\app.000)");
    files.addFile(R"(D:\Backup\app.001)");
    files.addFile(R"(D:\Backup\app.003)");
    PathClass value = path(R"(D:\Backup\app.exe)");
    value.IncrementExt();
    EXPECT_EQ(value.FullPath(), R"(D:\Backup\app.002)");
}

TEST_F(PathClassTest, IncrementExtCountsAFolderAsTaken) {
    files.addFolder(R"(D:\Backup\archive.tar.000)");
    PathClass value = path(R"(D:\Backup\archive.tar.gz)");
    value.IncrementExt();
    EXPECT_EQ(value.FullPath(), R"(D:\Backup\archive.tar.001)");
}

TEST_F(PathClassTest, IncrementExtUsesThreeDigitsUpTo999) {
    for (int n = 0; n < 998; ++n) {
        std::string digits = std::to_string(n);
        digits.insert(0, 3 - digits.size(), '0');
        files.addFile(R"(D:\Backup\app.)" + digits);
    }
    PathClass value = path(R"(D:\Backup\app.exe)");
    value.IncrementExt();
    EXPECT_EQ(value.FullPath(), R"(D:\Backup\app.998)");
}

TEST_F(PathClassTest, IncrementExtFailsWhenAllThousandAreTaken) {
    for (int n = 0; n < 1000; ++n) {
        std::string digits = std::to_string(n);
        digits.insert(0, 3 - digits.size(), '0');
        files.addFile(R"(D:\Backup\app.)" + digits);
    }
    PathClass value = path(R"(D:\Backup\app.exe)");
    try {
        value.IncrementExt();
        FAIL() << "no failure after .999";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), err::InvalidCall);
    }
    EXPECT_EQ(value.FullPath(), R"(D:\Backup\app.999)");
}

TEST_F(PathClassTest, CreateFolderRequestsEveryFolderAlongThePath) {
    struct Case {
        std::string fullPath;
        std::vector<std::string> requests;
    };
    const Case cases[] = {
        {R"(C:\Programs\App\sub\app.exe)",
         {R"(C:\)", R"(C:\Programs\)", R"(C:\Programs\App\)", R"(C:\Programs\App\sub\)"}},
        {R"(C:\Programs\App\)", {R"(C:\)", R"(C:\Programs\)", R"(C:\Programs\App\)"}},
        {R"(C:\Programs\App)", {R"(C:\)", R"(C:\Programs\)"}},
        {R"(\\server\share\x\app.exe)",
         {R"(\)", R"(\\)", R"(\\server\)", R"(\\server\share\)", R"(\\server\share\x\)"}},
        {R"(C:\a\\b\c.txt)", {R"(C:\)", R"(C:\a\)", R"(C:\a\\)", R"(C:\a\\b\)"}},
        {"app.exe", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fullPath);
        FakeFileSystem fresh;
        PathClass value(fresh, clock);
        value.setFullPath(c.fullPath);
        value.CreateFolder();
        EXPECT_EQ(fresh.folderRequests(), c.requests);
        EXPECT_EQ(value.FullPath(), c.fullPath);
    }
}

TEST_F(PathClassTest, CreateFolderCreatesTheMissingFolders) {
    files.addFolder(R"(C:\Programs)");
    PathClass value = path(R"(C:\Programs\App\sub\app.exe)");
    value.CreateFolder();
    EXPECT_TRUE(files.hasFolder(R"(C:\Programs\App\sub)"));
    EXPECT_FALSE(files.hasFile(R"(C:\Programs\App\sub\app.exe)"));
    EXPECT_FALSE(files.hasFolder(R"(C:\Programs\App\sub\app.exe)"));
}

TEST_F(PathClassTest, CreateFolderIgnoresEveryFailure) {
    files.fail(FakeFileSystem::Operation::CreateFolder, R"(C:\Programs\)",
               Failure::of(err::AccessDenied));
    PathClass value = path(R"(C:\Programs\App\app.exe)");
    EXPECT_NO_THROW(value.CreateFolder());
    EXPECT_EQ(files.folderRequests(),
              (std::vector<std::string>{R"(C:\)", R"(C:\Programs\)", R"(C:\Programs\App\)"}));
}

// A host whose every call throws something other than a Failure.
class BrokenFileSystem : public FileSystem {
public:
    std::optional<EntryKind> entryKind(const std::string&) override { throw broken(); }
    void createFolder(const std::string&) override {
        ++folderRequests;
        throw broken();
    }
    void deleteFile(const std::string&) override { throw broken(); }
    void moveFile(const std::string&, const std::string&) override { throw broken(); }
    void replaceFile(const std::string&, const std::string&) override { throw broken(); }
    std::unique_ptr<ReadableFile> openForReading(const std::string&, Sharing) override {
        throw broken();
    }
    std::unique_ptr<WritableFile> createNew(const std::string&) override { throw broken(); }
    std::unique_ptr<WritableFile> openForAppending(const std::string&) override { throw broken(); }
    bool inUse(const std::string&) override { throw broken(); }

    int folderRequests = 0;

private:
    static std::runtime_error broken() { return std::runtime_error("broken"); }
};

TEST_F(PathClassTest, FileSystemOperationsNeverThrow) {
    BrokenFileSystem broken;
    PathClass value(broken, clock);
    value.setFullPath(R"(C:\Programs\App\app.exe)");
    EXPECT_FALSE(value.Exists());
    EXPECT_FALSE(value.Delete());
    EXPECT_NO_THROW(value.CreateFolder());
    EXPECT_EQ(broken.folderRequests, 3);
    EXPECT_EQ(value.FullPath(), R"(C:\Programs\App\app.exe)");
}

TEST_F(PathClassTest, ExistsForFilesAndFolders) {
    files.addFile(R"(C:\Programs\App\app.exe)");
    files.addFile(R"(C:\Programs\App\label)");
    files.setKind(R"(C:\Programs\App\label)", EntryKind::Other);
    files.addFile(R"(C:\Programs\App\readonly.txt)");

    struct Case {
        std::string fullPath;
        bool exists;
    };
    const Case cases[] = {
        {R"(C:\Programs\App\app.exe)", true},
        {R"(c:\programs\app\APP.EXE)", true},
        {R"(C:\Programs\App\readonly.txt)", true},
        {R"(C:\Programs\App)", true},
        {R"(C:\Programs\App\)", true},
        {R"(C:\)", true},
        {R"(C:\Programs\App\label)", false},
        {R"(C:\Programs\App\missing.exe)", false},
        {R"(C:\Programs\App\app.exe\)", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fullPath);
        EXPECT_EQ(path(c.fullPath).Exists(), c.exists);
    }
    // The text decides isFile, not the file system.
    PathClass folderWithoutSeparator = path(R"(C:\Programs\App)");
    EXPECT_TRUE(folderWithoutSeparator.isFile());
    EXPECT_FALSE(folderWithoutSeparator.isFolder());
}

TEST_F(PathClassTest, ExistsIsFalseWhenTheQueryFails) {
    files.addFile(R"(C:\a.txt)");
    files.fail(FakeFileSystem::Operation::Attributes, "", Failure::of(err::PathAccess));
    EXPECT_FALSE(path(R"(C:\a.txt)").Exists());
}

TEST_F(PathClassTest, DeleteReportsSuccessOnlyForAFileItDeleted) {
    files.addFile(R"(C:\App\app.exe)");
    files.addFile(R"(C:\App\busy.exe)");
    files.addFolder(R"(C:\App\sub)");
    const std::shared_ptr<void> holder =
        files.holdOpen(R"(C:\App\busy.exe)", false, Sharing::ReadWrite);

    PathClass value = path(R"(C:\App\app.exe)");
    EXPECT_TRUE(value.Delete());
    EXPECT_FALSE(files.hasFile(R"(C:\App\app.exe)"));
    EXPECT_EQ(value.FullPath(), R"(C:\App\app.exe)");
    EXPECT_FALSE(value.Delete());

    EXPECT_FALSE(path(R"(C:\App\busy.exe)").Delete());
    EXPECT_TRUE(files.hasFile(R"(C:\App\busy.exe)"));
    EXPECT_FALSE(path(R"(C:\App\sub)").Delete());
    EXPECT_FALSE(path(R"(C:\App\sub\)").Delete());
    EXPECT_TRUE(files.hasFolder(R"(C:\App\sub)"));
    EXPECT_FALSE(path("").Delete());
}

TEST_F(PathClassTest, EmptyPathTouchesNothing) {
    PathClass value(files, clock);
    EXPECT_EQ(value.FullPath(), "");
    EXPECT_FALSE(value.Exists());
    value.CreateFolder();
    EXPECT_TRUE(files.folderRequests().empty());
    EXPECT_FALSE(value.Delete());
}

TEST(DateSuffixTest, FixedFormatWithLeadingZeros) {
    const std::pair<LocalTime, std::string> cases[] = {
        {LocalTime{2024, 3, 5, 14, 7, 9}, "_2024-03-05_14.07.09"},
        {LocalTime{2024, 1, 9, 8, 5, 3}, "_2024-01-09_08.05.03"},
        {LocalTime{2024, 12, 31, 23, 59, 59}, "_2024-12-31_23.59.59"},
        {LocalTime{999, 1, 1, 0, 0, 0}, "_0999-01-01_00.00.00"},
    };
    for (const auto& [time, suffix] : cases) {
        SCOPED_TRACE(suffix);
        EXPECT_EQ(dateSuffix(time), suffix);
    }
}

}  // namespace
}  // namespace morvane
