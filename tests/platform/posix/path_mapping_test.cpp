// The Windows-to-host path mapping exists on POSIX hosts only.

#include "platform/posix/path_mapping.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base/failure.h"
#include "platform/posix/file_system.h"
#include "support/temp_folder.h"

namespace morvane::posix {
namespace {

struct ToPosixCase {
    std::string windows;
    std::optional<std::string> posix;
};

TEST(PathMappingTest, WindowsPathsToHostPaths) {
    const ToPosixCase cases[] = {
        {"Z:\\", "/"},
        {"z:\\", "/"},
        {"Z:\\home\\x", "/home/x"},
        {"z:\\home\\x\\", "/home/x/"},
        {"Z:/home/x", "/home/x"},
        {"Z:\\home/x\\y", "/home/x/y"},
        {"App\\app.exe", "App/app.exe"},
        {"app.exe", "app.exe"},
        {"\\tmp\\x", "/tmp/x"},
        {"C:\\Programs\\app.exe", std::nullopt},
        {"c:\\", std::nullopt},
        {"Z:", std::nullopt},
        {"Z:x", std::nullopt},
        {"\\\\server\\share\\x", std::nullopt},
        {"", std::nullopt},
        {"Z:\\Grüße\\ä.txt", "/Grüße/ä.txt"},
    };
    for (const ToPosixCase& c : cases) {
        SCOPED_TRACE(c.windows);
        EXPECT_EQ(toPosixPath(c.windows), c.posix);
    }
}

TEST(PathMappingTest, HostPathsToWindowsPaths) {
    const std::pair<std::string, std::string> cases[] = {
        {"/", "Z:\\"}, {"/home/x", "Z:\\home\\x"}, {"/home/x/", "Z:\\home\\x\\"}, {"a/b", "a\\b"},
        {"", ""},
    };
    for (const auto& [posix, windows] : cases) {
        SCOPED_TRACE(posix);
        EXPECT_EQ(toWindowsPath(posix), windows);
        if (!posix.empty()) {
            EXPECT_EQ(toPosixPath(windows), posix);
        }
    }
}

TEST(PathMappingTest, OtherDrivesDoNotExistOnThisHost) {
    PosixFileSystem files;
    EXPECT_FALSE(files.entryKind("C:\\").has_value());
    EXPECT_TRUE(files.entryKind("Z:\\").has_value());
    try {
        files.createFolder("C:\\Programs");
        FAIL() << "a folder on drive C: was created";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), err::PathAccess);
    }
    EXPECT_THROW(files.openForReading("C:\\x.txt", Sharing::ReadWrite), Failure);
    EXPECT_THROW(files.createNew("C:\\x.txt"), Failure);
}

TEST(PathMappingTest, DriveZIsTheHostRoot) {
    test::TempFolder temp;
    temp.write("file.txt", "x");
    ASSERT_EQ(temp.path().rfind("Z:\\", 0), 0u);
    PosixFileSystem files;
    std::string lowerDrive = temp.file("file.txt");
    lowerDrive[0] = 'z';
    EXPECT_TRUE(files.entryKind(lowerDrive).has_value());
}

}  // namespace
}  // namespace morvane::posix
