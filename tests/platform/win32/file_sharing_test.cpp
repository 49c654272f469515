// The Win32 file adapter beside other programs: scanners that share
// everything, editors that do not, read-only targets, long paths.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/failure.h"
#include "base/win32/unique_handle.h"
#include "base/win32/wide.h"
#include "platform/win32/file_system.h"
#include "platform/win32/long_path.h"
#include "support/temp_folder.h"

namespace morvane::win32 {
namespace {

TEST(LongPath, AbsolutePathsGetTheirLongFormOthersStay) {
    EXPECT_EQ(longPath(R"(C:\App\Temp\app.exe)"), LR"(\\?\C:\App\Temp\app.exe)");
    EXPECT_EQ(longPath(R"(C:\App\lib\..\x.txt)"), LR"(\\?\C:\App\x.txt)");
    EXPECT_EQ(longPath("C:/App/x.txt"), LR"(\\?\C:\App\x.txt)");
    EXPECT_EQ(longPath(R"(C:\App\Backup\)"), LR"(\\?\C:\App\Backup\)");
    EXPECT_EQ(longPath(R"(\\srv\share\App\x.txt)"), LR"(\\?\UNC\srv\share\App\x.txt)");
    EXPECT_EQ(longPath(R"(\\?\C:\App)"), LR"(\\?\C:\App)");
    EXPECT_EQ(longPath(R"(\\.\pipe\x)"), LR"(\\.\pipe\x)");
    EXPECT_EQ(longPath(R"(Temp\x.txt)"), LR"(Temp\x.txt)");
    EXPECT_EQ(longPath(""), L"");
}

class FileSharingTest : public ::testing::Test {
protected:
    FileSharingTest() { temp.write("Mappe.xlsx", "x"); }

    // Opens the file as another program would, sharing `share`.
    UniqueHandle holdWith(DWORD share) {
        UniqueHandle held(CreateFileW(wide(temp.file("Mappe.xlsx")).c_str(), GENERIC_READ, share,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(held.valid()) << GetLastError();
        return held;
    }

    test::TempFolder temp;
    Win32FileSystem files;
};

TEST_F(FileSharingTest, AHolderThatSharesEverythingIsNoUseOfTheFile) {
    const UniqueHandle scanner = holdWith(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    EXPECT_FALSE(files.inUse(temp.file("Mappe.xlsx")));
}

TEST_F(FileSharingTest, AHolderThatDoesNotShareDeleteUsesTheFile) {
    for (const DWORD share : {DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}, DWORD{0}}) {
        SCOPED_TRACE(share);
        const UniqueHandle editor = holdWith(share);
        EXPECT_TRUE(files.inUse(temp.file("Mappe.xlsx")));
    }
}

TEST_F(FileSharingTest, AReadOnlyTargetIsReplaced) {
    temp.write("revision.ini", "old");
    temp.write("revision.ini.new", "new");
    const std::wstring record = wide(temp.file("revision.ini"));
    ASSERT_TRUE(SetFileAttributesW(record.c_str(), FILE_ATTRIBUTE_READONLY));
    files.replaceFile(temp.file("revision.ini.new"), temp.file("revision.ini"));
    EXPECT_EQ(temp.read("revision.ini"), "new");
    EXPECT_FALSE(temp.exists("revision.ini.new"));
}

}  // namespace
}  // namespace morvane::win32
