#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "update/file_run_log.h"

namespace morvane::test {
namespace {

const std::string kLog = R"(C:\App\Temp\Updater.log)";

class FileRunLogTest : public ::testing::Test {
protected:
    FileRunLogTest() {
        files.addFolder(R"(C:\App)");
        clock.time.millisecond = 42;
    }

    FakeFileSystem files;
    FakeClock clock;
    FileRunLog log{files, clock, kLog};
};

TEST_F(FileRunLogTest, LinesAreStampedAndAppendedAndTheFolderIsMade) {
    log.note("Run start");
    clock.time = LocalTime{2024, 12, 31, 9, 5, 3, 7};
    log.note("Box \"Fehler\": erste\r\nzweite Zeile");
    EXPECT_EQ(files.content(kLog),
              "2024-03-05 14:07:09.042 Run start\r\n"
              "2024-12-31 09:05:03.007 Box \"Fehler\": erste  zweite Zeile\r\n");

    // A later run goes on where the last one stopped.
    FileRunLog next(files, clock, kLog);
    next.note("Run end");
    EXPECT_EQ(files.content(kLog)->substr(files.content(kLog)->size() - 33),
              "2024-12-31 09:05:03.007 Run end\r\n");
}

TEST_F(FileRunLogTest, APassedSizeLimitStartsANewFileAndKeepsOneOlder) {
    const std::string full(FileRunLog::kSizeLimit, 'x');
    struct Case {
        std::string present;
        bool rotated;
    };
    for (const Case& c : {Case{full, false}, Case{full + "y", true}}) {
        SCOPED_TRACE(c.present.size());
        files.addFile(kLog, c.present);
        files.addFile(kLog + ".1", "older");
        FileRunLog fresh(files, clock, kLog);
        fresh.note("Run start");
        const std::string line = "2024-03-05 14:07:09.042 Run start\r\n";
        EXPECT_EQ(files.content(kLog), c.rotated ? line : c.present + line);
        EXPECT_EQ(files.content(kLog + ".1"), c.rotated ? c.present : "older");
    }
}

TEST_F(FileRunLogTest, ALogThatCannotBeWrittenLosesTheLineAndNothingElse) {
    files.addFile(kLog, std::string(FileRunLog::kSizeLimit + 1, 'x'));
    for (const auto operation :
         {FakeFileSystem::Operation::OpenForAppending, FakeFileSystem::Operation::Write}) {
        files.fail(operation, "", Failure::of(err::AccessDenied), 1);
        EXPECT_NO_THROW(log.note("lost"));
    }
    log.note("kept");
    const std::string content = files.content(kLog).value_or("");
    EXPECT_EQ(content.find("lost"), std::string::npos) << content;
    EXPECT_NE(content.find("kept"), std::string::npos);
}

TEST_F(FileRunLogTest, ARotationThatFailsGoesOnInTheCurrentFile) {
    const std::string full(FileRunLog::kSizeLimit + 1, 'x');
    files.addFile(kLog, full);
    files.fail(FakeFileSystem::Operation::ReplaceFile, kLog,
               Failure(FailureOrigin::Windows, 32, "Sharing violation"));
    log.note("eins");
    log.note("zwei");
    EXPECT_EQ(files.content(kLog), full +
                                       "2024-03-05 14:07:09.042 eins\r\n"
                                       "2024-03-05 14:07:09.042 zwei\r\n");
    EXPECT_FALSE(files.hasFile(kLog + ".1"));
}

}  // namespace
}  // namespace morvane::test
