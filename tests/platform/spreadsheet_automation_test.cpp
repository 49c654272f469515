#include <gtest/gtest.h>

#include <string>

#include "base/failure.h"

#ifdef _WIN32
#include <windows.h>

#include <objbase.h>

#include <chrono>
#include <optional>
#include <thread>

#include "base/win32/wide.h"
#include "fake_excel_ids.h"
#include "fake_excel_registration.h"
#include "platform/win32/spreadsheet_automation.h"
#include "support/built_file.h"
#else
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/posix/path_mapping.h"
#include "platform/posix/spreadsheet_automation.h"
#include "support/temp_folder.h"

extern char** environ;
#endif

namespace morvane {
namespace {

constexpr const char* kNotAvailable = "Objekterstellung durch ActiveX-Komponente nicht möglich";

#ifdef _WIN32

// The stand-in automation server built beside the tests, as a Windows path.
std::wstring fakeServerFile() {
    return win32::wide(test::builtFile(MORVANE_FAKE_EXCEL));
}

std::wstring folderOf(const std::wstring& file) {
    return file.substr(0, file.find_last_of(L'\\'));
}

// Sets an environment variable, which the server started for an instance
// inherits, for one scope.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
        SetEnvironmentVariableW(name_, value);
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_, nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const wchar_t* name_;
};

bool sameText(const std::wstring& a, const std::wstring& b) {
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// Runs `body` on a new thread, which starts without COM, and waits for it.
template <class Body>
void onFreshThread(Body body) {
    std::thread thread(body);
    thread.join();
}

// Every test starts without the stand-in registered and leaves none behind.
// A Windows installation with the real program registered is not touched.
class ComSpreadsheetAutomationTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake_excel::removeRegistration();  // what an interrupted run left behind
        if (const auto other = fake_excel::registeredClass()) {
            GTEST_SKIP() << "\"Excel.Application\" is registered in this installation: "
                         << win32::narrow(*other);
        }
    }
    void TearDown() override { fake_excel::removeRegistration(); }

    // Registers the stand-in for "Excel.Application"; `server` is the command
    // line that starts it.
    static void registerServer(const std::wstring& server = L"\"" + fakeServerFile() + L"\"") {
        ASSERT_TRUE(fake_excel::registerServer(server))
            << "the stand-in server could not be registered";
    }
};

TEST_F(ComSpreadsheetAutomationTest, ReadsVersionAndPathOfTheRegisteredServer) {
    registerServer();
    win32::ComSpreadsheetAutomation automation;
    const auto instance = automation.create();
    EXPECT_EQ(instance->version(), "16.0");
    const std::wstring path = win32::wide(instance->path());
    EXPECT_TRUE(sameText(path, folderOf(fakeServerFile())))
        << instance->path() << " is not the folder of " << win32::narrow(fakeServerFile());
    // The start relies on the program file in that folder.
    EXPECT_NE(GetFileAttributesW((path + L"\\EXCEL.EXE").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ComSpreadsheetAutomationTest, PropertiesAreTheServersTextsUnchanged) {
    registerServer();
    ScopedVariable version(fake_excel::kVersionVariable, L"15.0");
    ScopedVariable path(fake_excel::kPathVariable, L"C:\\Program Files\\Office Ü");
    const auto instance = win32::ComSpreadsheetAutomation().create();
    EXPECT_EQ(instance->version(), "15.0");
    EXPECT_EQ(instance->path(), "C:\\Program Files\\Office Ü");
}

TEST_F(ComSpreadsheetAutomationTest, ANewInstanceAfterTheFormerWasReleased) {
    registerServer();
    win32::ComSpreadsheetAutomation automation;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const auto instance = automation.create();
        EXPECT_EQ(instance->version(), "16.0");
    }
}

TEST_F(ComSpreadsheetAutomationTest, WithoutRegistrationCreateFailsWith429) {
    try {
        win32::ComSpreadsheetAutomation().create();
        FAIL() << "create() succeeded without a registered program";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), 429);
        EXPECT_EQ(failure.description(), kNotAvailable);
    }
}

TEST_F(ComSpreadsheetAutomationTest, RegistrationWithoutServerProgramFailsWith429) {
    registerServer(folderOf(fakeServerFile()) + L"\\NoSuchServer.exe");
    try {
        win32::ComSpreadsheetAutomation().create();
        FAIL() << "create() succeeded without a server program";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), 429);
        EXPECT_EQ(failure.description(), kNotAvailable);
    }
}

TEST_F(ComSpreadsheetAutomationTest, AnExceptionOfTheServerCarriesItsNumberAndText) {
    registerServer();
    ScopedVariable fail(fake_excel::kFailVariable, L"Path");
    const auto instance = win32::ComSpreadsheetAutomation().create();
    EXPECT_EQ(instance->version(), "16.0");
    try {
        instance->path();
        FAIL() << "path() succeeded although the server refused it";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), 1004);
        EXPECT_EQ(failure.description(), win32::narrow(fake_excel::kFailureText));
    }
}

TEST_F(ComSpreadsheetAutomationTest, ABusyServerIsCalledAgainUntilItAnswers) {
    registerServer();
    ScopedVariable busy(fake_excel::kBusyVariable, L"3");
    const auto instance = win32::ComSpreadsheetAutomation().create();
    EXPECT_EQ(instance->version(), "16.0");
    EXPECT_EQ(instance->path().empty(), false);
}

TEST_F(ComSpreadsheetAutomationTest, AServerBusyBeyondThePatienceFailsWithTheRejection) {
    registerServer();
    ScopedVariable busy(fake_excel::kBusyVariable, L"all");
    const auto instance = win32::ComSpreadsheetAutomation(std::chrono::milliseconds(300)).create();
    try {
        instance->version();
        FAIL() << "version() succeeded although the server rejected every call";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), static_cast<int>(RPC_E_CALL_REJECTED));
    }
}

// COM stays initialized exactly as long as the caller had it: an instance
// neither leaves it behind nor takes away the caller's own.
TEST_F(ComSpreadsheetAutomationTest, LeavesTheThreadsComStateAsItFoundIt) {
    registerServer();
    struct Case {
        const char* name;
        bool callerInitializes;
        DWORD model;
    };
    const Case cases[] = {
        {"thread without COM", false, 0},
        {"thread in a single-threaded apartment", true, COINIT_APARTMENTTHREADED},
        {"thread in the multithreaded apartment", true, COINIT_MULTITHREADED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        onFreshThread([&] {
            if (c.callerInitializes) {
                ASSERT_EQ(CoInitializeEx(nullptr, c.model), S_OK);
            }
            {
                const auto instance = win32::ComSpreadsheetAutomation().create();
                EXPECT_EQ(instance->version(), "16.0");
            }
            // S_OK: COM was no longer initialized on the thread; S_FALSE: it
            // still was, in the same model.
            const HRESULT probe = CoInitializeEx(
                nullptr, c.callerInitializes ? c.model : DWORD{COINIT_MULTITHREADED});
            EXPECT_EQ(probe, c.callerInitializes ? S_FALSE : S_OK);
            if (SUCCEEDED(probe)) CoUninitialize();
            if (c.callerInitializes) CoUninitialize();
        });
    }
}

#else

// Replaces PATH for one scope.
class ScopedSearchPath {
public:
    explicit ScopedSearchPath(const std::string& value) {
        const char* old = std::getenv("PATH");
        if (old != nullptr) saved_ = old;
        ::setenv("PATH", value.c_str(), 1);
    }
    ~ScopedSearchPath() {
        if (saved_) {
            ::setenv("PATH", saved_->c_str(), 1);
        } else {
            ::unsetenv("PATH");
        }
    }
    ScopedSearchPath(const ScopedSearchPath&) = delete;
    ScopedSearchPath& operator=(const ScopedSearchPath&) = delete;

private:
    std::optional<std::string> saved_;
};

// Whether this host has a Calc program of its own in the usual places, which
// the searches below would find besides the test's stand-ins.
bool calcInstalledOnHost() {
    return posix::findCalcProgram("/usr/local/bin:/usr/bin:/bin").has_value();
}

// Writes an executable shell script `name` into `folder`.
std::filesystem::path writeProgram(const test::TempFolder& folder, const std::string& name,
                                   const std::string& body) {
    std::filesystem::create_directories(folder.native(name).parent_path());
    folder.write(name, "#!/bin/sh\n" + body);
    std::filesystem::path file = folder.native(name);
    std::filesystem::permissions(file, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add);
    return file;
}

TEST(CalcSpreadsheetAutomation, WithoutCalcOnTheSearchPathCreateFailsWith429) {
    if (calcInstalledOnHost()) {
        GTEST_SKIP() << "LibreOffice is installed on this host";
    }
    test::TempFolder empty;
    ScopedSearchPath path(empty.native().string());
    try {
        posix::CalcSpreadsheetAutomation().create();
        FAIL() << "create() succeeded without Calc";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), 429);
        EXPECT_EQ(failure.description(), kNotAvailable);
    }
}

TEST(CalcSpreadsheetAutomation, WithCalcOnTheSearchPathPathIsAFolderHoldingExcelExe) {
    test::TempFolder bin;
    writeProgram(bin, "localc", "exit 0\n");
    ScopedSearchPath path(bin.native().string());
    const auto instance = posix::CalcSpreadsheetAutomation().create();
    EXPECT_EQ(instance->version(), "16.0");
    const std::string folder = instance->path();
    ASSERT_EQ(folder.rfind("Z:\\", 0), 0u) << folder;
    EXPECT_NE(folder.back(), '\\');
    const auto hostFolder = posix::toPosixPath(folder);
    ASSERT_TRUE(hostFolder);
    const std::string program = *hostFolder + "/EXCEL.EXE";
    struct stat status {};
    ASSERT_EQ(::stat(program.c_str(), &status), 0) << program;
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_NE(status.st_mode & S_IXUSR, 0u);
}

TEST(CalcSpreadsheetAutomation, ABridgeFolderWithoutExcelExeFailsAsAMissingFile) {
    test::TempFolder bin;
    writeProgram(bin, "localc", "exit 0\n");
    test::TempFolder bridge;
    ScopedSearchPath path(bin.native().string());
    try {
        posix::CalcSpreadsheetAutomation(bridge.native().string()).create();
        FAIL() << "create() succeeded without EXCEL.EXE";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), err::FileNotFound);
    }
}

TEST(FindCalcProgram, PrefersTheNamesInOrderOverTheOrderOfTheSearchPath) {
    test::TempFolder root;
    writeProgram(root, "a/soffice", "exit 0\n");
    writeProgram(root, "a/libreoffice", "exit 0\n");
    writeProgram(root, "b/libreoffice", "exit 0\n");
    writeProgram(root, "c/localc", "exit 0\n");
    const std::string a = root.native("a").string();
    const std::string b = root.native("b").string();
    const std::string c = root.native("c").string();
    struct Case {
        std::string searchPath;
        std::string expected;
    };
    const Case cases[] = {
        {a + ":" + b + ":" + c, c + "/localc"},
        {a + ":" + b, a + "/libreoffice"},
        {b + ":" + a, b + "/libreoffice"},
        {"/nonexistent:" + a, a + "/libreoffice"},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.searchPath);
        EXPECT_EQ(posix::findCalcProgram(t.searchPath), t.expected);
    }
}

TEST(FindCalcProgram, SkipsWhatIsNotAnExecutableFile) {
    if (calcInstalledOnHost()) {
        GTEST_SKIP() << "LibreOffice is installed on this host";
    }
    test::TempFolder root;
    root.write("plain/localc", "");  // not executable
    std::filesystem::create_directories(root.native("folder/localc"));
    writeProgram(root, "good/soffice", "exit 0\n");
    const std::string plain = root.native("plain").string();
    const std::string folder = root.native("folder").string();
    const std::string good = root.native("good").string();
    EXPECT_EQ(posix::findCalcProgram(plain + ":" + folder + ":" + good), good + "/soffice");
    EXPECT_EQ(posix::findCalcProgram(plain + ":" + folder), std::nullopt);
    EXPECT_EQ(posix::findCalcProgram(""), std::nullopt);
}

// Runs `program` with `arguments` and waits; the exit status, or -1.
int run(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    std::string zero = program;
    argv.push_back(zero.data());
    std::vector<std::string> copies = arguments;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The bridge's EXCEL.EXE hands the workbook to Calc as one argument, as a
// host path.
TEST(CalcSpreadsheetAutomation, ExcelExeOpensTheWorkbookInCalc) {
    if (calcInstalledOnHost()) {
        GTEST_SKIP() << "LibreOffice is installed on this host";
    }
    test::TempFolder bin;
    const std::string record = bin.native("record.txt").string();
    writeProgram(bin, "localc", "for a do printf '[%s]\\n' \"$a\"; done > '" + record + "'\n");
    ScopedSearchPath path(bin.native().string() + ":/usr/bin:/bin");
    const auto instance = posix::CalcSpreadsheetAutomation().create();
    const std::string program = *posix::toPosixPath(instance->path()) + "/EXCEL.EXE";

    ASSERT_EQ(run(program, {"Z:\\tmp\\Mein Ordner\\Mappe 1.xlsm"}), 0);
    EXPECT_EQ(bin.read("record.txt"), "[/tmp/Mein Ordner/Mappe 1.xlsm]\n");
}

TEST(CalcSpreadsheetAutomation, ExcelExeCallsOtherCalcProgramsWithTheCalcSwitch) {
    if (calcInstalledOnHost()) {
        GTEST_SKIP() << "LibreOffice is installed on this host";
    }
    test::TempFolder bin;
    const std::string record = bin.native("record.txt").string();
    writeProgram(bin, "soffice", "for a do printf '[%s]\\n' \"$a\"; done > '" + record + "'\n");
    ScopedSearchPath path(bin.native().string() + ":/usr/bin:/bin");
    const std::string program =
        *posix::toPosixPath(posix::CalcSpreadsheetAutomation().create()->path()) + "/EXCEL.EXE";

    ASSERT_EQ(run(program, {"z:\\Mappe.xlsm", "--norestore"}), 0);
    EXPECT_EQ(bin.read("record.txt"), "[--calc]\n[/Mappe.xlsm]\n[--norestore]\n");
}

#endif

}  // namespace
}  // namespace morvane
