// The measurements of the kit, figures for the report rather than verdicts:
// how fast a run of Updater.exe downloads a large file from a loopback server
// next to how fast this PC copies the same file, and how long a run takes to
// install many small files (each flushed on its own).

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/win32/wide.h"
#include "fake_excel_ids.h"
#include "fake_excel_registration.h"
#include "kit_probe.h"
#include "support/scripted_http_server.h"

namespace morvane::kit {
namespace {

using win32::narrow;
namespace fs = std::filesystem;

constexpr DWORD kRunTimeoutMilliseconds = 600000;
constexpr std::uint64_t kMebibyte = std::uint64_t{1024} * 1024;
constexpr std::size_t kSmallFileBytes = 2048;

// A count from the environment (for a shorter run under Wine), else `fallback`.
unsigned long fromEnvironment(const wchar_t* name, unsigned long fallback) {
    wchar_t value[32] = {};
    if (GetEnvironmentVariableW(name, value, 32) == 0) {
        return fallback;
    }
    const unsigned long parsed = std::wcstoul(value, nullptr, 10);
    return parsed == 0 ? fallback : parsed;
}

void writeFile(const fs::path& file, const std::string& content) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
}

// Bytes that do not repeat within a file's blocks.
std::string varied(std::size_t count, std::uint32_t seed) {
    std::string bytes(count, '\0');
    for (char& byte : bytes) {
        seed = seed * 1664525U + 1013904223U;
        byte = static_cast<char>(seed >> 24);
    }
    return bytes;
}

// Serves the files below `folder` on 127.0.0.1, on port 80 when free (the
// updater asks port 80 for a file's size).
class FolderServer {
public:
    explicit FolderServer(fs::path folder) : folder_(std::move(folder)) {
        auto script = [this](const test::RecordedRequest& request) { return answer(request); };
        server_ = test::ScriptedHttpServer::tryListen(script, 80);
        if (!server_) server_ = std::make_unique<test::ScriptedHttpServer>(script, 0);
    }
    std::string url(const std::string& path) const { return server_->url(path); }

private:
    test::ScriptedReply answer(const test::RecordedRequest& request) const {
        const fs::path file = folder_ / fs::path(request.target.substr(1)).make_preferred();
        std::error_code error;
        const auto size = fs::file_size(file, error);
        if (error) return test::replyWithLength(404, "Not Found");
        test::ScriptedReply reply;
        reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) +
                      "\r\nConnection: close\r\n\r\n";
        if (request.method != "HEAD") reply.file = file;
        return reply;
    }

    fs::path folder_;
    std::unique_ptr<test::ScriptedHttpServer> server_;
};

// The stand-in spreadsheet program registered for the measuring runs, so
// that they end as on a PC with it; never over a real one.
class StandInExcel {
public:
    StandInExcel() {
        fake_excel::removeRegistration();  // what an interrupted run left behind
        if (const auto other = fake_excel::registeredClass()) {
            std::printf(
                "\"Excel.Application\" is registered on this PC (%s): the runs would "
                "start it\n",
                narrow(*other).c_str());
            return;
        }
        registered_ = fake_excel::registerServer(L"\"" + kitFolder() + L"\\FakeExcel.exe\"");
        if (!registered_) std::puts("the stand-in spreadsheet program cannot be registered");
    }
    ~StandInExcel() {
        if (registered_) fake_excel::removeRegistration();
    }
    StandInExcel(const StandInExcel&) = delete;
    StandInExcel& operator=(const StandInExcel&) = delete;
    bool registered() const { return registered_; }

private:
    bool registered_ = false;
};

// A work folder with the served files below www\updates and an application
// folder holding Updater.exe and its settings; removed at the end.
class Sandbox {
public:
    Sandbox() : root_(freshTempFolder(L"measure")) {
        fs::create_directories(app());
        fs::copy_file(fs::path(kitFolder()) / "Updater.exe", app() / "Updater.exe");
        writeFile(app() / "Start.xlsm", "Startmappe");
        SetEnvironmentVariableW(fake_excel::kRecordVariable,
                                (root_ / "excel-record.txt").wstring().c_str());
    }
    ~Sandbox() {
        SetEnvironmentVariableW(fake_excel::kRecordVariable, nullptr);
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    fs::path root() const { return root_; }
    fs::path app() const { return root_ / "Anwendung"; }
    fs::path served(const std::string& name) const { return root_ / "www" / "updates" / name; }

    // Publishes release 2.0 with `targets` (served under the same names)
    // and points the settings at it.
    void publish(const FolderServer& server, const std::vector<std::string>& targets) {
        std::string text =
            "[Version]\r\n2.0\r\n[Titel]\r\nMessung\r\n[Msg-Typ]\r\n0\r\n[Beschreibung]\r\n"
            "Messung des Testpakets\r\n";
        int number = 0;
        for (const std::string& target : targets) {
            std::string source = target;
            std::replace(source.begin(), source.end(), '\\', '/');
            text += "[Datei " + std::to_string(++number) + "]\r\nQuelle = ";
            text += source + "\r\nZiel = ";
            text += target + "\r\n";
        }
        text += "[Startdatei]\r\nStart.xlsm\r\n";
        writeFile(served("revision.ini"), text);
        writeFile(app() / "Updater.ini", "[Adresse]\r\n" + server.url("/updates/revision.ini") +
                                             "\r\n[Startdatei]\r\nStart.xlsm\r\n");
    }

    // Runs Updater.exe to its end; its seconds, or a negative number when it
    // failed (why printed). A box means something went wrong: it is
    // printed and answered.
    double runUpdater() const {
        const double start = secondsNow();
        const auto run =
            startProgram(L"\"" + (app() / "Updater.exe").wstring() + L"\"", app().wstring());
        if (!run) return -1;
        bool boxShown = false;
        DWORD waited = WAIT_TIMEOUT;
        for (DWORD elapsed = 0; elapsed < kRunTimeoutMilliseconds && waited == WAIT_TIMEOUT;
             elapsed += 20) {
            waited = WaitForSingleObject(run->process.get(), 20);
            if (const HWND box = shownBoxOf(run->id)) {
                wchar_t text[512] = {};
                GetDlgItemTextW(box, 0xFFFF, text, 512);
                std::printf("the run showed a box: %s\n", narrow(text).c_str());
                boxShown = true;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
        }
        const double seconds = secondsNow() - start;
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(run->process.get(), &code);
        if (waited != WAIT_OBJECT_0) {
            TerminateProcess(run->process.get(), 1);
            std::puts("Updater.exe did not end in time");
            return -1;
        }
        if (code != 0 || boxShown) {
            std::printf("Updater.exe ended with %lu\n", code);
            return -1;
        }
        return seconds;
    }

private:
    fs::path root_;
};

// The time `file` was last written, in seconds; to the 100 ns of the file
// system, where std::filesystem would round to whole seconds here.
double writtenAt(const fs::path& file) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(file.wstring().c_str(), GetFileExInfoStandard, &data);
    const ULARGE_INTEGER ticks{
        {data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime}};
    return static_cast<double>(ticks.QuadPart) / 1e7;
}

double mebibytesPerSecond(std::uint64_t bytes, double seconds) {
    return static_cast<double>(bytes) / static_cast<double>(kMebibyte) / seconds;
}

}  // namespace

int measureDownload() {
    const StandInExcel excel;
    if (!excel.registered()) return kCannotJudge;
    Sandbox sandbox;
    const std::uint64_t mebibytes = fromEnvironment(L"MORVANE_KIT_DOWNLOAD_MIB", 256);
    const fs::path file = sandbox.served("Daten.bin");
    {
        fs::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary);
        const std::string block = varied(kMebibyte, 7);
        for (std::uint64_t i = 0; i < mebibytes; ++i) {
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
            out.put(static_cast<char>(i));  // no two mebibytes alike
        }
    }
    const std::uint64_t size = fs::file_size(file);
    const fs::path copy = sandbox.root() / "Kopie.bin";
    const double copyStart = secondsNow();
    if (!CopyFileW(file.wstring().c_str(), copy.wstring().c_str(), FALSE)) {
        std::printf("CopyFileW failed: error %lu\n", GetLastError());
        return 1;
    }
    const double copySeconds = secondsNow() - copyStart;
    fs::remove(copy);

    const FolderServer server(sandbox.root() / "www");
    sandbox.publish(server, {"Daten.bin"});
    const double runSeconds = sandbox.runUpdater();
    if (runSeconds < 0) return 1;
    if (fs::file_size(sandbox.app() / "Daten.bin") != size) {
        std::puts("the run did not install the whole file");
        return 1;
    }
    const double run = mebibytesPerSecond(size, runSeconds);
    const double copied = mebibytesPerSecond(size, copySeconds);
    std::printf("served from %s\n", server.url("/").c_str());
    std::printf(
        "%llu MiB: Updater.exe run %.2f s = %.1f MiB/s, CopyFileW %.2f s = %.1f MiB/s, "
        "ratio %.2f\n",
        static_cast<unsigned long long>(mebibytes), runSeconds, run, copySeconds, copied,
        run / copied);
    return 0;
}

int measureInstall() {
    const StandInExcel excel;
    if (!excel.registered()) return kCannotJudge;
    Sandbox sandbox;
    const unsigned long count = fromEnvironment(L"MORVANE_KIT_INSTALL_FILES", 1000);
    std::vector<std::string> targets;
    for (unsigned long i = 1; i <= count; ++i) {
        const std::string name = "daten\\f" + std::to_string(10000 + i).substr(1) + ".bin";
        targets.push_back(name);
        writeFile(sandbox.served(name), varied(kSmallFileBytes, i));
        writeFile(sandbox.app() / name, varied(kSmallFileBytes, i + count));  // replaced
    }
    const FolderServer server(sandbox.root() / "www");
    sandbox.publish(server, targets);
    const double runSeconds = sandbox.runUpdater();
    if (runSeconds < 0) return 1;
    for (unsigned long i = 1; i <= count; ++i) {
        const std::string& name = targets[i - 1];
        std::ifstream in(sandbox.app() / name, std::ios::binary);
        const std::string content{std::istreambuf_iterator<char>(in), {}};
        if (content != varied(kSmallFileBytes, i)) {
            std::printf("the run did not install %s\n", name.c_str());
            return 1;
        }
    }
    // A move keeps a file's time: the newest installed file tells when the
    // last download was written, the record when the installation ended.
    double lastDownload = 0;
    for (const std::string& name : targets) {
        lastDownload = std::max(lastDownload, writtenAt(sandbox.app() / name));
    }
    const double installSeconds = writtenAt(sandbox.app() / "Temp" / "revision.ini") - lastDownload;
    std::printf(
        "%lu files of %zu KiB: Updater.exe run %.2f s, installation (last download to "
        "record) %.2f s = %.2f ms per file\n",
        count, kSmallFileBytes / 1024, runSeconds, installSeconds,
        installSeconds * 1000 / static_cast<double>(count));
    return 0;
}

}  // namespace morvane::kit
