#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <memory>
#include <string>

#include "base/failure.h"
#include "support/host_adapters.h"
#include "support/temp_folder.h"

namespace morvane {
namespace {

class FileSystemTest : public ::testing::Test {
protected:
    // Writes a file through the adapter and closes it.
    void create(const std::string& name, const std::string& content) {
        std::unique_ptr<WritableFile> file = files.createNew(temp.file(name));
        file->write(content.data(), content.size());
        file->close();
    }

    test::TempFolder temp;
    test::HostFileSystem files;
};

TEST_F(FileSystemTest, AttributesTellFileFromFolderAndMissing) {
    temp.write("file.txt", "x");
    files.createFolder(temp.file("folder"));

    EXPECT_EQ(files.entryKind(temp.file("file.txt")), EntryKind::File);
    EXPECT_EQ(files.entryKind(temp.file("folder")), EntryKind::Folder);
    EXPECT_EQ(files.entryKind(temp.file("folder\\")), EntryKind::Folder);

    EXPECT_FALSE(files.entryKind(temp.file("missing.txt")).has_value());
    EXPECT_FALSE(files.entryKind(temp.file("missing\\file.txt")).has_value());
    EXPECT_FALSE(files.entryKind("").has_value());
}

TEST_F(FileSystemTest, CreateFolderFailsWhenItExists) {
    files.createFolder(temp.file("sub"));
    EXPECT_TRUE(temp.exists("sub"));
    EXPECT_THROW(files.createFolder(temp.file("sub")), Failure);
}

TEST_F(FileSystemTest, CreateFolderNeedsItsParent) {
    EXPECT_THROW(files.createFolder(temp.file("missing\\sub")), Failure);
    EXPECT_FALSE(temp.exists("missing"));
}

TEST_F(FileSystemTest, MoveFileNeverOverwrites) {
    temp.write("from.txt", "new");
    temp.write("to.txt", "old");

    EXPECT_THROW(files.moveFile(temp.file("from.txt"), temp.file("to.txt")), Failure);

    EXPECT_EQ(temp.read("from.txt"), "new");
    EXPECT_EQ(temp.read("to.txt"), "old");
}

TEST_F(FileSystemTest, MoveFileMovesToAFreeName) {
    temp.write("from.txt", "content");
    files.createFolder(temp.file("sub"));

    files.moveFile(temp.file("from.txt"), temp.file("sub\\to.txt"));

    EXPECT_FALSE(temp.exists("from.txt"));
    EXPECT_EQ(temp.read("sub\\to.txt"), "content");
}

TEST_F(FileSystemTest, MoveFileFailsWithoutSource) {
    EXPECT_THROW(files.moveFile(temp.file("missing.txt"), temp.file("to.txt")), Failure);
    EXPECT_FALSE(temp.exists("to.txt"));
}

TEST_F(FileSystemTest, ReplaceFileReplacesTheTarget) {
    temp.write("from.txt", "new");
    temp.write("to.txt", "old");

    files.replaceFile(temp.file("from.txt"), temp.file("to.txt"));

    EXPECT_FALSE(temp.exists("from.txt"));
    EXPECT_EQ(temp.read("to.txt"), "new");
}

TEST_F(FileSystemTest, ReplaceFileAlsoMovesToAFreeName) {
    temp.write("from.txt", "new");
    files.replaceFile(temp.file("from.txt"), temp.file("to.txt"));
    EXPECT_EQ(temp.read("to.txt"), "new");
}

TEST_F(FileSystemTest, DeleteFileRemovesAFileButNoFolder) {
    temp.write("file.txt", "x");
    files.createFolder(temp.file("folder"));

    files.deleteFile(temp.file("file.txt"));
    EXPECT_FALSE(temp.exists("file.txt"));

    EXPECT_THROW(files.deleteFile(temp.file("folder")), Failure);
    EXPECT_TRUE(temp.exists("folder"));

    EXPECT_THROW(files.deleteFile(temp.file("missing.txt")), Failure);
}

TEST_F(FileSystemTest, CreateNewFailsWhenTheFileExists) {
    temp.write("file.txt", "keep");

    EXPECT_THROW(files.createNew(temp.file("file.txt")), Failure);

    EXPECT_EQ(temp.read("file.txt"), "keep");
}

// As the installation's downloads: written, moved to their names, then put
// on the disk together.
TEST_F(FileSystemTest, FilesFlushedLaterAreWholeAfterTheirMoveAndTheFlush) {
    for (const std::string name : {"a.bin", "b.bin"}) {
        std::unique_ptr<WritableFile> file = files.createNewFlushedLater(temp.file(name + ".part"));
        file->write(name.data(), name.size());
        file->close();
        files.replaceFile(temp.file(name + ".part"), temp.file(name));
    }
    files.flushFiles({temp.file("a.bin"), temp.file("b.bin")});
    EXPECT_EQ(temp.read("a.bin"), "a.bin");
    EXPECT_EQ(temp.read("b.bin"), "b.bin");
    EXPECT_THROW(files.createNewFlushedLater(temp.file("a.bin")), Failure);
}

TEST_F(FileSystemTest, WrittenBytesReadBackUnchanged) {
    const std::string bytes("a\r\nb\0\xff\n", 7);
    create("data.bin", bytes);

    std::unique_ptr<ReadableFile> file = files.openForReading(temp.file("data.bin"), Sharing::Read);
    EXPECT_EQ(file->size(), 7);
    char buffer[16] = {};
    ASSERT_EQ(file->read(buffer, sizeof buffer), 7u);
    EXPECT_EQ(std::string(buffer, 7), bytes);
    EXPECT_EQ(file->read(buffer, sizeof buffer), 0u);

    file->seek(3);
    ASSERT_EQ(file->read(buffer, 2), 2u);
    EXPECT_EQ(std::string(buffer, 2), std::string("b\0", 2));
}

TEST_F(FileSystemTest, AppendingCreatesThenAddsAtTheEndWhileOthersRead) {
    for (const std::string part : {"eins\r\n", "zwei\r\n"}) {
        std::unique_ptr<WritableFile> file = files.openForAppending(temp.file("run.log"));
        std::unique_ptr<ReadableFile> reader =
            files.openForReading(temp.file("run.log"), Sharing::ReadWrite);
        file->write(part.data(), part.size());
        file->close();
    }
    EXPECT_EQ(temp.read("run.log"), "eins\r\nzwei\r\n");

    files.createFolder(temp.file("folder"));
    EXPECT_THROW(files.openForAppending(temp.file("folder")), Failure);
    EXPECT_THROW(files.openForAppending(temp.file("missing\\run.log")), Failure);
}

TEST_F(FileSystemTest, OpenForReadingFailsForMissingFileAndFolder) {
    files.createFolder(temp.file("folder"));
    EXPECT_THROW(files.openForReading(temp.file("missing.txt"), Sharing::ReadWrite), Failure);
    EXPECT_THROW(files.openForReading(temp.file("folder"), Sharing::ReadWrite), Failure);
}

TEST_F(FileSystemTest, LockModeTwoConflictsWithAWriter) {
    std::unique_ptr<WritableFile> writer = files.createNew(temp.file("busy.txt"));
    writer->write("x", 1);

    EXPECT_THROW(files.openForReading(temp.file("busy.txt"), Sharing::Read), Failure);
    EXPECT_THROW(files.openForReading(temp.file("busy.txt"), Sharing::Nothing), Failure);

    writer->close();
    EXPECT_NO_THROW(files.openForReading(temp.file("busy.txt"), Sharing::Read));
}

TEST_F(FileSystemTest, LockModesBetweenReaders) {
    temp.write("file.txt", "x");
    std::unique_ptr<ReadableFile> holder =
        files.openForReading(temp.file("file.txt"), Sharing::Read);

    EXPECT_NO_THROW(files.openForReading(temp.file("file.txt"), Sharing::Read));
    EXPECT_NO_THROW(files.openForReading(temp.file("file.txt"), Sharing::ReadWrite));
    EXPECT_THROW(files.openForReading(temp.file("file.txt"), Sharing::Nothing), Failure);

    holder.reset();
    std::unique_ptr<ReadableFile> exclusive =
        files.openForReading(temp.file("file.txt"), Sharing::Nothing);
    EXPECT_THROW(files.openForReading(temp.file("file.txt"), Sharing::Read), Failure);
}

TEST_F(FileSystemTest, AFileHeldOpenByAWriterIsInUse) {
    temp.write("free.txt", "x");
    EXPECT_FALSE(files.inUse(temp.file("free.txt")));
    EXPECT_FALSE(files.inUse(temp.file("missing.txt")));

    std::unique_ptr<WritableFile> writer = files.createNew(temp.file("busy.txt"));
    EXPECT_TRUE(files.inUse(temp.file("busy.txt")));
    writer->close();
    EXPECT_FALSE(files.inUse(temp.file("busy.txt")));
}

// Windows stops plain paths at MAX_PATH (260) characters.
TEST_F(FileSystemTest, PathsLongerThan260CharactersWorkForEveryCall) {
    std::string folder = temp.path();
    while (folder.size() < 300) {
        folder += "\\" + std::string(60, 'f');
        files.createFolder(folder);
    }
    const std::string file = folder + "\\Auswertung.xlsx";
    std::unique_ptr<WritableFile> writer = files.createNew(file);
    writer->write("lang", 4);
    writer->close();
    EXPECT_FALSE(files.inUse(file));
    ASSERT_TRUE(files.entryKind(file).has_value());
    EXPECT_EQ(files.openForReading(file, Sharing::Read)->size(), 4);

    files.moveFile(file, file + ".bak");
    std::unique_ptr<WritableFile> log = files.openForAppending(file);
    log->write("neu", 3);
    log->close();
    files.replaceFile(file, file + ".bak");
    EXPECT_EQ(files.openForReading(file + ".bak", Sharing::ReadWrite)->size(), 3);
    EXPECT_NO_THROW(files.syncFolder(folder));
    files.deleteFile(file + ".bak");
    EXPECT_FALSE(files.entryKind(file + ".bak").has_value());
}

TEST_F(FileSystemTest, FailuresCarryADescription) {
    try {
        files.deleteFile(temp.file("missing.txt"));
        FAIL() << "deleting a missing file succeeded";
    } catch (const Failure& failure) {
        EXPECT_NE(failure.number(), 0);
        EXPECT_FALSE(failure.description().empty());
    }
}

// The clock reads the local time as the C library does: the full year,
// months from 1, the local zone.
TEST(ClockTest, NowIsTheLocalTime) {
    test::HostClock clock;
    const std::time_t before = std::time(nullptr);
    const LocalTime now = clock.now();
    std::tm fields{};
    fields.tm_year = now.year - 1900;
    fields.tm_mon = now.month - 1;
    fields.tm_mday = now.day;
    fields.tm_hour = now.hour;
    fields.tm_min = now.minute;
    fields.tm_sec = now.second;
    fields.tm_isdst = -1;
    EXPECT_LE(std::abs(std::difftime(std::mktime(&fields), before)), 2.0);
    EXPECT_GE(now.millisecond, 0);
    EXPECT_LE(now.millisecond, 999);
}

}  // namespace
}  // namespace morvane
