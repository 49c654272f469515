#include "e2e_support.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <tlhelp32.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include "box_record.h"
#include "support/gif_picture.h"

namespace morvane::e2e {

// ---- texts and paths ----------------------------------------------------------------

std::string ansi(const std::string& utf8) {
    const std::wstring text = wide(utf8);
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

// ---- processes ------------------------------------------------------------------------

ChildProcess ChildProcess::start(const std::wstring& commandLine, const std::wstring& folder,
                                 std::optional<WORD> showCommand) {
    std::wstring line = commandLine;
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (showCommand) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = *showCommand;
    }
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        const DWORD error = GetLastError();
        ADD_FAILURE() << "cannot start " << narrow(commandLine) << ": error " << error;
        return ChildProcess();
    }
    const win32::UniqueHandle thread(info.hThread);
    ChildProcess child;
    child.process_.reset(info.hProcess);
    child.id_ = info.dwProcessId;
    return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : process_(std::move(other.process_)), id_(std::exchange(other.id_, 0)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        kill();
        process_ = std::move(other.process_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

ChildProcess::~ChildProcess() {
    kill();
}

bool ChildProcess::wait(std::chrono::milliseconds timeout) const {
    return !process_ || WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) ==
                            WAIT_OBJECT_0;
}

DWORD ChildProcess::exitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_) GetExitCodeProcess(process_.get(), &code);
    return code;
}

void ChildProcess::kill() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.get(), 99);
        WaitForSingleObject(process_.get(), 5000);
    }
}

namespace {

std::wstring upper(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::wstring imageOf(DWORD processId) {
    const win32::UniqueHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return {};
    std::wstring image(32768, L'\0');
    DWORD length = static_cast<DWORD>(image.size());
    const BOOL ok = QueryFullProcessImageNameW(process.get(), 0, image.data(), &length);
    image.resize(ok ? length : 0);
    return image;
}

template <class Visit>
void forEachProcess(Visit visit) {
    const win32::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID != GetCurrentProcessId()) {
            visit(entry.th32ProcessID, upper(imageOf(entry.th32ProcessID)));
        }
    }
}

}  // namespace

int killProcesses(const std::vector<std::wstring>& images, const std::wstring& folder) {
    std::vector<std::wstring> wanted;
    for (const std::wstring& image : images) wanted.push_back(upper(image));
    const std::wstring inFolder = upper(folder) + L"\\";
    int ended = 0;
    forEachProcess([&](DWORD id, const std::wstring& image) {
        const bool match =
            !image.empty() && (std::find(wanted.begin(), wanted.end(), image) != wanted.end() ||
                               (!folder.empty() && image.rfind(inFolder, 0) == 0));
        if (!match) return;
        const win32::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (!process) return;
        if (TerminateProcess(process.get(), 99)) {
            WaitForSingleObject(process.get(), 5000);
            ++ended;
        }
    });
    return ended;
}

bool isRunning(const std::wstring& image) {
    const std::wstring wanted = upper(image);
    bool running = false;
    forEachProcess([&](DWORD, const std::wstring& found) { running = running || found == wanted; });
    return running;
}

namespace {

std::string readWhole(const std::wstring& file) {
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

int number(const std::string& text) {
    try {
        return std::stoi(text);
    } catch (const std::exception&) {
        return -1;
    }
}

}  // namespace

std::vector<ExcelStart> readExcelStarts(const std::wstring& recordFile) {
    std::vector<ExcelStart> starts;
    for (const std::string& line : lines(readWhole(recordFile))) {
        if (line.rfind("CommandLine=", 0) == 0) {
            starts.push_back(ExcelStart{line.substr(12), -1, -1});
        } else if (line.rfind("ShowWindow=", 0) == 0 && !starts.empty()) {
            starts.back().showWindow = number(line.substr(11));
        } else if (line.rfind("Flags=", 0) == 0 && !starts.empty()) {
            starts.back().flags = number(line.substr(6));
        }
    }
    return starts;
}

// ---- the box driver's record --------------------------------------------------------

DriverRecord readDriverRecord(const std::wstring& recordFile) {
    DriverRecord record;
    for (const std::string& line : lines(readWhole(recordFile))) {
        const std::vector<std::string> f = box_driver::splitRecordLine(line);
        if (f[0] == "seen" && f.size() >= 3) {
            record.seenCaptions.push_back(f[2]);
        } else if (f[0] == "box" && f.size() >= 8) {
            record.boxes.push_back(
                BoxSeen{static_cast<DWORD>(number(f[1])), f[2], f[3], f[4], f[5], f[6], f[7]});
        } else if (f[0] == "window" && f.size() >= 14) {
            WindowSeen window;
            window.processId = static_cast<DWORD>(number(f[1]));
            window.className = f[2];
            window.title = f[3];
            window.left = number(f[4]);
            window.top = number(f[5]);
            window.width = number(f[6]);
            window.height = number(f[7]);
            window.clientWidth = number(f[8]);
            window.clientHeight = number(f[9]);
            window.style = static_cast<DWORD>(std::stoul(f[10], nullptr, 16));
            window.frame = number(f[11]);
            window.picture = f[12];
            window.bitmap = f[13];
            record.windows.push_back(window);
        }
    }
    return record;
}

// ---- pictures ---------------------------------------------------------------------------

namespace {

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 3])) << 24;
}

constexpr int kGradientColours = 120;
constexpr int kBandRows = 12;

COLORREF gradient(int index) {
    // From a deep blue at the top to a light blue-grey at the bottom.
    const int r = 20 + index * 150 / (kGradientColours - 1);
    const int g = 40 + index * 160 / (kGradientColours - 1);
    const int b = 110 + index * 120 / (kGradientColours - 1);
    return RGB(r, g, b);
}

int colourIndex(int row, int height) {
    if (row < kBandRows) return kGradientColours;  // the band
    return (row - kBandRows) * (kGradientColours - 1) / std::max(1, height - kBandRows - 1);
}

}  // namespace

Bitmap readBitmap(const std::string& file) {
    const std::string bytes = readWhole(wide(file));
    Bitmap bitmap;
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return bitmap;
    const std::uint32_t offset = le32(bytes, 10);
    const auto width = static_cast<std::int32_t>(le32(bytes, 18));
    const auto height = static_cast<std::int32_t>(le32(bytes, 22));
    if (width <= 0 || height <= 0 || (le32(bytes, 28) & 0xFFFF) != 24) return bitmap;
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    if (bytes.size() < offset + stride * static_cast<std::size_t>(height)) return bitmap;
    bitmap.width = width;
    bitmap.height = height;
    for (std::int32_t y = 0; y < height; ++y) {
        const std::size_t row = offset + stride * static_cast<std::size_t>(height - 1 - y);
        for (std::int32_t x = 0; x < width; ++x) {
            const std::size_t at = row + static_cast<std::size_t>(x) * 3;
            bitmap.pixels.push_back(RGB(static_cast<std::uint8_t>(bytes[at + 2]),
                                        static_cast<std::uint8_t>(bytes[at + 1]),
                                        static_cast<std::uint8_t>(bytes[at])));
        }
    }
    return bitmap;
}

COLORREF pictureColour(int row, int height) {
    const int index = colourIndex(row, height);
    return index == kGradientColours ? RGB(236, 232, 214) : gradient(index);
}

std::string makeGradientGif(int width, int height) {
    std::vector<test::Rgb> palette;
    for (int i = 0; i <= kGradientColours; ++i) {
        const COLORREF colour = i < kGradientColours ? gradient(i) : RGB(236, 232, 214);
        palette.push_back({GetRValue(colour), GetGValue(colour), GetBValue(colour)});
    }
    return test::makeGif(width, height, palette,
                         [height](int row, int) { return colourIndex(row, height); });
}

// ---- the update server -------------------------------------------------------------

UpdateServer::UpdateServer() {
    auto script = [this](const test::RecordedRequest& request) { return answer(request); };
    server_ = test::ScriptedHttpServer::tryListen(script, 80);
    if (!server_) server_ = std::make_unique<test::ScriptedHttpServer>(script, 0);
}

UpdateServer::~UpdateServer() = default;

void UpdateServer::put(const std::string& path, File file) {
    const std::lock_guard<std::mutex> lock(mutex_);
    files_[path] = std::move(file);
}

test::ScriptedReply UpdateServer::answer(const test::RecordedRequest& request) {
    File file{404, "<html><body>Not Found</body></html>", {}};
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = files_.find(request.target);
        if (found != files_.end()) file = found->second;
    }
    test::ScriptedReply reply = test::replyWithLength(file.status, file.body);
    if (request.method == "HEAD") {
        reply.bytes.resize(reply.bytes.find("\r\n\r\n") + 4);
    } else {
        reply.delay = file.delay;
    }
    return reply;
}

}  // namespace morvane::e2e
