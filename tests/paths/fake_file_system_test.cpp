// The in-memory file system that the path and update-run tests stand on: it
// must answer as Windows does, or those tests prove nothing.
#include "fakes/fake_file_system.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace morvane::test {
namespace {

int failureNumber(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const Failure& failure) {
        return failure.number();
    }
    return 0;
}

std::string readAll(ReadableFile& file) {
    std::string content(static_cast<std::size_t>(file.size()), '\0');
    content.resize(file.read(content.data(), content.size()));
    return content;
}

TEST(FakeFileSystemTest, NamesIgnoreCaseAndAFolderItsFinalSeparator) {
    FakeFileSystem files;
    files.addFile(R"(C:\App\Temp\revision.ini)", "x");
    EXPECT_TRUE(files.hasFile(R"(c:\app\TEMP\Revision.INI)"));
    EXPECT_TRUE(files.hasFolder(R"(C:\App\Temp)"));
    EXPECT_TRUE(files.hasFolder(R"(c:\app\temp\)"));
    EXPECT_EQ(files.attributes(R"(C:\App\Temp\)"), attr::Folder);
    EXPECT_FALSE(files.attributes(R"(C:\App\Temp\revision.ini\)").has_value());
    EXPECT_EQ(files.attributes(R"(D:\)"), attr::Folder);
    EXPECT_FALSE(files.attributes("").has_value());
}

TEST(FakeFileSystemTest, NewEntriesNeedTheirParentFolder) {
    FakeFileSystem files;
    EXPECT_EQ(failureNumber([&] { files.createFolder(R"(C:\a\b)"); }), err::FileNotFound);
    EXPECT_EQ(failureNumber([&] { files.createNew(R"(C:\a\b.txt)"); }), err::FileNotFound);
    files.createFolder(R"(C:\a\)");
    EXPECT_EQ(failureNumber([&] { files.createFolder(R"(C:\a)"); }), err::PathAccess);
    EXPECT_EQ(failureNumber([&] { files.createFolder(R"(C:\)"); }), err::PathAccess);
    files.createNew(R"(C:\a\b.txt)")->close();
    EXPECT_TRUE(files.hasFile(R"(C:\a\b.txt)"));
    EXPECT_EQ(files.folderRequests(),
              (std::vector<std::string>{R"(C:\a\b)", R"(C:\a\)", R"(C:\a)", R"(C:\)"}));
}

TEST(FakeFileSystemTest, MoveNeverOverwritesButReplaceDoes) {
    FakeFileSystem files;
    files.addFile(R"(C:\a\new.txt)", "new");
    files.addFile(R"(C:\a\old.txt)", "old");
    EXPECT_EQ(failureNumber([&] { files.moveFile(R"(C:\a\new.txt)", R"(C:\A\OLD.txt)"); }),
              err::PathAccess);
    EXPECT_EQ(files.content(R"(C:\a\old.txt)"), "old");

    files.replaceFile(R"(C:\a\new.txt)", R"(C:\a\old.txt)");
    EXPECT_FALSE(files.hasFile(R"(C:\a\new.txt)"));
    EXPECT_EQ(files.content(R"(C:\a\old.txt)"), "new");

    EXPECT_EQ(failureNumber([&] { files.moveFile(R"(C:\a\old.txt)", R"(C:\b\x.txt)"); }),
              err::FileNotFound);
    files.moveFile(R"(C:\a\old.txt)", R"(C:\a\moved.txt)");
    EXPECT_EQ(files.entries(), (std::vector<std::string>{R"(C:\a\)", R"(C:\a\moved.txt)"}));
}

TEST(FakeFileSystemTest, FoldersAreNoFiles) {
    FakeFileSystem files;
    files.addFolder(R"(C:\a\b)");
    EXPECT_EQ(failureNumber([&] { files.deleteFile(R"(C:\a\b)"); }), err::AccessDenied);
    EXPECT_EQ(failureNumber([&] { files.openForReading(R"(C:\a\b)", 0); }), err::AccessDenied);
    EXPECT_EQ(failureNumber([&] { files.deleteFile(R"(C:\a\c)"); }), err::FileNotFound);
}

TEST(FakeFileSystemTest, SharingFollowsTheLockModes) {
    FakeFileSystem files;
    files.addFile(R"(C:\a.txt)", "abc");
    {
        // Another program writes, letting others read: mode 2 fails, 0 works.
        const std::shared_ptr<void> writer = files.holdOpen(R"(C:\a.txt)", true, 2);
        EXPECT_EQ(failureNumber([&] { files.openForReading(R"(C:\a.txt)", 2); }),
                  err::AccessDenied);
        EXPECT_EQ(failureNumber([&] { files.openForReading(R"(C:\a.txt)", 0); }), 0);
        EXPECT_EQ(failureNumber([&] { files.deleteFile(R"(C:\a.txt)"); }), err::AccessDenied);
    }
    std::unique_ptr<ReadableFile> reader = files.openForReading(R"(C:\a.txt)", 2);
    EXPECT_TRUE(files.isOpen(R"(C:\a.txt)"));
    EXPECT_EQ(failureNumber([&] { files.openForReading(R"(C:\a.txt)", 2); }), 0);
    EXPECT_EQ(failureNumber([&] { files.openForReading(R"(C:\a.txt)", 1); }), err::AccessDenied);
    EXPECT_EQ(failureNumber([&] { files.holdOpen(R"(C:\a.txt)", true, 0); }), err::AccessDenied);
    EXPECT_EQ(readAll(*reader), "abc");
    reader.reset();
    EXPECT_FALSE(files.isOpen(R"(C:\a.txt)"));
    files.deleteFile(R"(C:\a.txt)");
}

TEST(FakeFileSystemTest, NewFileIsSharedWithNobodyUntilClosed) {
    FakeFileSystem files;
    std::unique_ptr<WritableFile> file = files.createNew(R"(C:\new.bin)");
    file->write("ab", 2);
    EXPECT_EQ(failureNumber([&] { files.openForReading(R"(C:\new.bin)", 0); }), err::AccessDenied);
    EXPECT_EQ(failureNumber([&] { files.createNew(R"(C:\new.bin)"); }), err::PathAccess);
    file->close();
    EXPECT_EQ(files.content(R"(C:\new.bin)"), "ab");
    EXPECT_EQ(files.log(),
              (std::vector<std::string>{R"(createNew C:\new.bin)", R"(openForReading C:\new.bin 0)",
                                        R"(createNew C:\new.bin)", R"(close C:\new.bin)"}));
}

TEST(FakeFileSystemTest, FailureSwitches) {
    FakeFileSystem files;
    files.addFile(R"(C:\a.txt)");
    files.fail(FakeFileSystem::Operation::DeleteFile, R"(C:\A.TXT)", Failure(32, "busy"), 1);
    EXPECT_EQ(failureNumber([&] { files.deleteFile(R"(C:\a.txt)"); }), 32);
    EXPECT_TRUE(files.hasFile(R"(C:\a.txt)"));
    EXPECT_EQ(failureNumber([&] { files.deleteFile(R"(C:\a.txt)"); }), 0);

    files.fail(FakeFileSystem::Operation::Close, "", Failure::of(err::DiskFull));
    files.failWritesAfter(3, Failure::of(err::DiskFull));
    std::unique_ptr<WritableFile> file = files.createNew(R"(C:\b.txt)");
    file->write("ab", 2);
    EXPECT_EQ(failureNumber([&] { file->write("cd", 2); }), err::DiskFull);
    EXPECT_EQ(files.content(R"(C:\b.txt)"), "abc");
    EXPECT_EQ(failureNumber([&] { file->close(); }), err::DiskFull);
    EXPECT_FALSE(files.isOpen(R"(C:\b.txt)"));
}

TEST(FakeFileSystemTest, OpenFilesMayOutliveTheFileSystem) {
    std::unique_ptr<ReadableFile> reader;
    {
        FakeFileSystem files;
        files.addFile(R"(C:\a.txt)", "abc");
        reader = files.openForReading(R"(C:\a.txt)", 3);
    }
    EXPECT_EQ(readAll(*reader), "abc");
}

}  // namespace
}  // namespace morvane::test
