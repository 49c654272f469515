// The real process adapter: the executable's place, the single-instance mark
// and the start of programs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "base/failure.h"
#include "support/temp_folder.h"

#ifdef _WIN32
#include <windows.h>

#include "base/win32/unique_handle.h"
#include "base/win32/wide.h"
#include "platform/win32/process.h"
#include "support/built_file.h"
using HostProcess = morvane::win32::Win32Process;
#else
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix/process.h"
extern char** environ;
using HostProcess = morvane::posix::PosixProcess;
#endif

namespace morvane {
namespace {

// Exit codes of the probe below, apart from GoogleTest's own 0 and 1.
constexpr int kProbeSawInstance = 10;
constexpr int kProbeSawNone = 11;

// Runs in a child process started by the tests below; disabled in normal runs.
TEST(InstanceProbe, DISABLED_ReportsWhatItSees) {
    HostProcess process;
    std::exit(process.anotherInstanceRunning() ? kProbeSawInstance : kProbeSawNone);
}

// Runs this test program again with only the probe and returns its exit code.
int runProbe() {
    const std::string arguments =
        " --gtest_filter=InstanceProbe.DISABLED_ReportsWhatItSees"
        " --gtest_also_run_disabled_tests";
#ifdef _WIN32
    wchar_t self[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    EXPECT_GT(length, 0u);
    std::wstring line = L"\"" + std::wstring(self, length) + L"\"" + win32::wide(arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &started) == FALSE) {
        ADD_FAILURE() << "cannot start the probe: " << GetLastError();
        return -1;
    }
    const win32::UniqueHandle process(started.hProcess);
    const win32::UniqueHandle thread(started.hThread);
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 99);
        ADD_FAILURE() << "probe did not end";
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
#else
    std::string self = "/proc/self/exe";
    std::string filter = arguments.substr(1, arguments.find(' ', 1) - 1);
    std::string disabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {self.data(), filter.data(), disabled.data(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, environ) != 0) {
        ADD_FAILURE() << "cannot start the probe";
        return -1;
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

TEST(SingleInstance, SecondProcessSeesTheFirstUntilItEnds) {
    {
        HostProcess first;
        ASSERT_FALSE(first.anotherInstanceRunning());
        EXPECT_EQ(runProbe(), kProbeSawInstance);
    }
    EXPECT_EQ(runProbe(), kProbeSawNone);
}

TEST(SingleInstance, MarkBelongsToTheFirstCaller) {
    HostProcess first;
    EXPECT_FALSE(first.anotherInstanceRunning());
    EXPECT_FALSE(first.anotherInstanceRunning());
    {
        HostProcess second;
        EXPECT_TRUE(second.anotherInstanceRunning());
    }
    EXPECT_FALSE(first.anotherInstanceRunning());
}

// Every other taker sees the folder lock, as runs on two PCs that share the
// folder see each other's.
TEST(FolderLock, HeldByItsFirstTakerUntilItGoes) {
    test::TempFolder temp;
    const std::string lockPath = temp.file("Temp\\Updater.lock");
    std::string why;
    {
        HostProcess first;
        EXPECT_TRUE(first.lockFolder(lockPath, why));
        EXPECT_TRUE(first.lockFolder(lockPath, why));
        HostProcess second;
        EXPECT_FALSE(second.lockFolder(lockPath, why));
        EXPECT_EQ(why, "another run holds it");
        EXPECT_TRUE(temp.exists("Temp"));
        first.unlockFolder();
        EXPECT_TRUE(second.lockFolder(lockPath, why));
    }
#ifdef _WIN32
    EXPECT_FALSE(temp.exists("Temp/Updater.lock"));  // deleted on close
#endif
    HostProcess later;
    EXPECT_TRUE(later.lockFolder(lockPath, why));
}

// Anything but a plain file at the lock's place counts as a held lock, and
// a link there is not followed out of the folder.
TEST(FolderLock, AnythingButAPlainFileCountsAsHeld) {
    test::TempFolder temp;
    temp.write("Temp/Updater.lock/x", "");
    std::string why;
    HostProcess process;
    EXPECT_FALSE(process.lockFolder(temp.file("Temp\\Updater.lock"), why));
    EXPECT_FALSE(why.empty());
#ifndef _WIN32
    std::filesystem::create_symlink(temp.native("outside.txt"), temp.native("Temp/Link.lock"));
    EXPECT_FALSE(process.lockFolder(temp.file("Temp\\Link.lock"), why));
    EXPECT_FALSE(temp.exists("outside.txt"));
#endif
}

TEST(ProcessPlace, FolderAndNameMakeTheExecutablesPath) {
    HostProcess process;
    const std::string folder = process.executableFolder();
    const std::string name = process.executableName();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    EXPECT_EQ(name.find('\\'), std::string::npos);
#ifdef _WIN32
    EXPECT_EQ(name, "platform_tests.exe");
    wchar_t self[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    EXPECT_EQ(folder + "\\" + name, win32::narrow(std::wstring_view(self, length)));
#else
    EXPECT_EQ(name, "platform_tests");
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof(self));
    ASSERT_GT(length, 0);
    std::string expected(self, static_cast<std::size_t>(length));
    for (char& c : expected) {
        if (c == '/') c = '\\';
    }
    EXPECT_EQ(folder + "\\" + name, "Z:" + expected);
#endif
}

// Waits up to ten seconds for a file that a started program writes.
bool appears(const test::TempFolder& temp, const std::string& name) {
    for (int i = 0; i < 200; ++i) {
        if (temp.exists(name)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

#ifdef _WIN32
// The spreadsheet program's stand-in, copied into a folder with a blank,
// records the command line it got and the show state it was asked for.
TEST(ProcessStart, StartsTheProgramMaximizedWithEveryPartQuoted) {
    test::TempFolder temp;
    const std::string server = test::builtFile(MORVANE_FAKE_EXCEL);
    const std::string stub = server.substr(0, server.rfind('\\')) + "\\EXCEL.EXE";
    ASSERT_NE(CreateDirectoryW(temp.native("Office 16").c_str(), nullptr), FALSE);
    ASSERT_NE(
        CopyFileW(win32::wide(stub).c_str(), temp.native("Office 16/EXCEL.EXE").c_str(), TRUE),
        FALSE);
    const std::string program = temp.file("Office 16\\EXCEL.EXE");
    const std::string workbook = temp.file("Neue Mappe.xls");

    HostProcess().start(program, {workbook});

    ASSERT_TRUE(appears(temp, "Office 16/excel-record.txt"));
    std::string record;
    for (int i = 0; i < 200 && record.find("\n\n") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        record = temp.read("Office 16/excel-record.txt");
    }
    EXPECT_EQ(
        record.rfind("CommandLine=\"" + program + "\" \"" + workbook + "\"\nShowWindow=3\n", 0), 0u)
        << record;
    // The stand-in has ended once its file can go.
    for (int i = 0; i < 200 && DeleteFileW(temp.native("Office 16/EXCEL.EXE").c_str()) == FALSE;
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}
#else
TEST(ProcessStart, StartsTheProgramWithItsArgument) {
    test::TempFolder temp;
    // A stand-in program in a folder with a blank.
    temp.write("bin dir/touch", "#!/bin/sh\nexec touch \"$1\"\n");
    chmod(temp.native("bin dir/touch").c_str(), 0755);
    HostProcess().start(temp.file("bin dir\\touch"), {temp.file("Neue Mappe.xls")});
    EXPECT_TRUE(appears(temp, "Neue Mappe.xls"));
}
#endif

TEST(ProcessStart, MissingProgramIsAFailure) {
    test::TempFolder temp;
    // A program that is not there, and the start line of an empty program
    // folder, which must never reach the root of the current drive.
    for (const std::string& program : {temp.file("EXCEL.EXE"), std::string("\\EXCEL.EXE")}) {
        SCOPED_TRACE(program);
        try {
            HostProcess().start(program, {temp.file("a.xls")});
            ADD_FAILURE() << "no failure";
        } catch (const Failure& failure) {
            EXPECT_FALSE(failure.description().empty());
#ifdef _WIN32
            EXPECT_EQ(failure.number(), static_cast<int>(ERROR_FILE_NOT_FOUND));
#else
            EXPECT_EQ(failure.number(), err::FileNotFound);
#endif
        }
    }
}

// Run to their end by the test below; disabled in normal runs.
TEST(RunProbe, DISABLED_EndsWithThree) {
    std::exit(3);
}
TEST(RunProbe, DISABLED_NeverEnds) {
    std::this_thread::sleep_for(std::chrono::minutes(5));
}

TEST(ProcessRunToEnd, TellsTheExitCodeOrEndsAProgramPastItsPatience) {
    HostProcess host;
    const std::string self = host.executableFolder() + "\\" + host.executableName();
    const struct {
        const char* probe;
        std::chrono::milliseconds patience;
        std::optional<int> exitCode;
    } cases[] = {
        {"EndsWithThree", std::chrono::seconds(60), 3},
        {"NeverEnds", std::chrono::seconds(1), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.probe);
        int waits = 0;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(host.runToEnd(self,
                                {std::string("--gtest_filter=RunProbe.DISABLED_") + c.probe,
                                 "--gtest_also_run_disabled_tests"},
                                c.patience, [&waits] { ++waits; }),
                  c.exitCode);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(50));
        EXPECT_GT(waits, 0);
    }
}

#ifndef _WIN32
TEST(ProcessStart, ProgramThatCannotBeExecutedIsAFailure) {
    test::TempFolder temp;
    temp.write("EXCEL.EXE", "not a program");  // no execute permission
    try {
        HostProcess().start(temp.file("EXCEL.EXE"), {});
        ADD_FAILURE() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), err::AccessDenied);
    }
}
#endif

}  // namespace
}  // namespace morvane
