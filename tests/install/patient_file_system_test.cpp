#include "install/patient_file_system.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <vector>

#include "fakes/fake_file_system.h"
#include "fakes/recording_run_log.h"

namespace morvane::test {
namespace {

using Operation = FakeFileSystem::Operation;

class PatientFileSystemTest : public ::testing::Test {
protected:
    PatientFileSystemTest() {
        disk.addFile(R"(C:\App\Temp\app.exe)", "new");
        disk.addFile(R"(C:\App\app.exe)", "old");
    }

    int waited() const { return std::accumulate(pauses.begin(), pauses.end(), 0); }

    FakeFileSystem disk;
    RecordingRunLog log;
    std::vector<int> pauses;
    std::function<void()> onPause;
    PatientFileSystem files{disk, log, [this](int milliseconds) {
                                pauses.push_back(milliseconds);
                                if (onPause) {
                                    onPause();
                                }
                            }};
};

// What a scanner's or indexer's open causes, on Windows and elsewhere.
const Failure kPassing[] = {Failure(FailureOrigin::Windows, 32, "Sharing violation"),
                            Failure(FailureOrigin::Windows, 33, "Lock violation"),
                            Failure(FailureOrigin::Windows, 5, "Zugriff verweigert"),
                            Failure::of(err::AccessDenied)};

TEST_F(PatientFileSystemTest, MovesReplacesAndDeletesOutwaitAPassingHolder) {
    const std::string from = R"(C:\App\Temp\app.exe)";
    const std::string to = R"(C:\App\app.exe)";
    for (const Failure& failure : kPassing) {
        SCOPED_TRACE(failure.number());
        pauses.clear();
        disk.fail(Operation::ReplaceFile, from, failure, 3);
        files.replaceFile(from, to);
        EXPECT_EQ(disk.content(to), "new");
        EXPECT_EQ(pauses, (std::vector<int>{10, 20, 40}));
        disk.addFile(from, "new");
    }
    disk.fail(Operation::MoveFile, to, kPassing[0], 1);
    files.moveFile(to, R"(C:\App\Backup.exe)");
    disk.fail(Operation::DeleteFile, from, kPassing[0], 1);
    files.deleteFile(from);
    EXPECT_FALSE(disk.hasFile(from));
    EXPECT_EQ(log.count("Retry 1 in 10 ms: "), 6);
    EXPECT_EQ(log.count("Retry 3 in 40 ms: replace C:\\App\\app.exe with C:\\App\\Temp\\app.exe: "
                        "Sharing violation (32)"),
              1);
}

// A scanner holding a fresh file is outwaited before the user is asked to
// close a program, and a stale ".part" pending deletion before a download
// fails.
TEST_F(PatientFileSystemTest, InUseAndCreationOutwaitAPassingHolder) {
    const std::string held = R"(C:\App\app.exe)";
    auto scanner = disk.openForReading(held, Sharing::Nothing);
    onPause = [&] {
        if (pauses.size() == 2) {
            scanner.reset();
        }
    };
    EXPECT_FALSE(files.inUse(held));
    EXPECT_EQ(pauses, (std::vector<int>{10, 20}));
    scanner = disk.openForReading(held, Sharing::Nothing);
    onPause = {};
    EXPECT_TRUE(files.inUse(held));
    EXPECT_EQ(waited(), 30 + PatientFileSystem::kPatience);
    disk.fail(Operation::CreateNew, R"(C:\App\Temp\app.exe.part)", kPassing[2], 2);
    EXPECT_NE(files.createNew(R"(C:\App\Temp\app.exe.part)"), nullptr);
    EXPECT_EQ(log.count("Retry 2 in 20 ms: create C:\\App\\Temp\\app.exe.part: "), 1);
}

TEST_F(PatientFileSystemTest, AHolderThatStaysFailsTheMoveAfterThePatience) {
    disk.fail(Operation::MoveFile, "", kPassing[0]);
    EXPECT_THROW(files.moveFile(R"(C:\App\app.exe)", R"(C:\App\Backup.exe)"), Failure);
    EXPECT_EQ(waited(), PatientFileSystem::kPatience);
    EXPECT_EQ(pauses.front(), PatientFileSystem::kFirstPause);
    EXPECT_TRUE(std::is_sorted(pauses.begin(), pauses.end() - 1));
    EXPECT_LE(*std::max_element(pauses.begin(), pauses.end()), PatientFileSystem::kLongestPause);
    EXPECT_TRUE(disk.hasFile(R"(C:\App\app.exe)"));
}

TEST_F(PatientFileSystemTest, OtherFailuresPassUpAtOnce) {
    EXPECT_THROW(files.moveFile(R"(C:\App\missing.exe)", R"(C:\App\x.exe)"), Failure);
    EXPECT_THROW(files.moveFile(R"(C:\App\Temp\app.exe)", R"(C:\App\app.exe)"), Failure);
    EXPECT_THROW(files.deleteFile(R"(C:\App\missing.exe)"), Failure);
    EXPECT_TRUE(pauses.empty());
    EXPECT_TRUE(log.lines.empty());
}

// The same number means another thing from another origin.
TEST(PatientFileSystemOrigin, ANumberCountsOnlyFromTheOriginThatMeansAnotherOpen) {
    for (const Failure& failure :
         {Failure::of(err::InvalidCall), Failure(FailureOrigin::Windows, err::AccessDenied, "x"),
          Failure(FailureOrigin::ComResult, 32, "x"), Failure(FailureOrigin::Library, 5, "x")}) {
        SCOPED_TRACE(failure.number());
        EXPECT_FALSE(PatientFileSystem::isPassing(failure));
    }
}

}  // namespace
}  // namespace morvane::test
