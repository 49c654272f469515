// BoxDriver.exe: plays the user in end-to-end runs. It watches the top-level
// windows of the programs it is told about, answers their message boxes as
// scripted, and records what it saw (see box_record.h):
//
//   BoxDriver.exe --record F --watch EXE [--watch EXE ...]
//                 [--answer OK|Yes|No|Retry|Cancel [--after F]] ...
//                 [--pictures DIR --name PREFIX] [--bitmaps DIR]
//                 [--ready-file F] [--stop-file F] [--seconds N]
//
// Message boxes (window class "#32770") are answered in the order of the
// --answer options; an --after file makes the answer before it wait until
// that file exists. A box beyond the script is answered with OK, or No when it
// has no OK button. Before a box is answered, its caption, text, buttons and
// icon are recorded and its picture is saved as PREFIX-box-N.png. Every other
// visible window of a watched program is recorded with its geometry, and each
// new look of it is saved as PREFIX-window-N.png (and as BMP in the bitmap
// folder, for tests that read pixels).
//
// The driver ends when the stop file appears or after N seconds (default 120).
// Exit codes: 0 ended as asked, 1 time-out, 2 wrong arguments.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/win32/unique_handle.h"
#include "box_record.h"
#include "image_file.h"
#include "platform/win32/gdi_object.h"

namespace {

using morvane::win32::GdiObject;

using morvane::box_driver::Image;

constexpr DWORD kPollMilliseconds = 40;
// A box is read this long after it was first seen, so that it has painted.
constexpr ULONGLONG kSettleMilliseconds = 400;
// Other windows are pictured from this long after they appeared.
constexpr ULONGLONG kWindowSettleMilliseconds = 150;
constexpr int kMaxFramesPerWindow = 40;

// ---- owners of the system's resources -----------------------------------------

class ScreenDc {
public:
    ScreenDc() noexcept : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HDC dc_;
};

class MemoryDc {
public:
    explicit MemoryDc(HDC like) noexcept : dc_(CreateCompatibleDC(like)) {}
    ~MemoryDc() {
        if (dc_ != nullptr) DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HDC dc_;
};

class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(SelectObject(dc, object)) {}
    ~Selection() { SelectObject(dc_, old_); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// ---- texts and files --------------------------------------------------------------

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

bool exists(const std::wstring& path) {
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool writeFile(const std::wstring& path, const std::string& bytes, bool append) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        morvane::win32::UniqueHandle file(CreateFileW(
            path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
            append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            Sleep(20);  // a reader may hold it for a moment
            continue;
        }
        DWORD written = 0;
        return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr) != FALSE &&
               written == bytes.size();
    }
    return false;
}

std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, static_cast<std::size_t>(length > 0 ? length : 0));
}

// A path in its long form, upper-cased, to compare paths as Windows does.
std::wstring comparablePath(const std::wstring& path) {
    std::wstring full(32768, L'\0');
    DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    full.resize(length != 0 && length < 32768 ? length : 0);
    if (full.empty()) full = path;
    std::wstring longer(32768, L'\0');
    length = GetLongPathNameW(full.c_str(), longer.data(), static_cast<DWORD>(longer.size()));
    longer.resize(length != 0 && length < 32768 ? length : 0);
    std::wstring result = longer.empty() ? full : longer;
    CharUpperBuffW(result.data(), static_cast<DWORD>(result.size()));
    return result;
}

std::wstring processImage(DWORD processId) {
    morvane::win32::UniqueHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process.valid()) return {};
    std::wstring image(32768, L'\0');
    DWORD length = static_cast<DWORD>(image.size());
    if (!QueryFullProcessImageNameW(process.get(), 0, image.data(), &length)) return {};
    image.resize(length);
    return image;
}

// ---- pictures -----------------------------------------------------------------------

// What the screen shows in `area` (screen coordinates).
Image captureScreen(const RECT& area) {
    Image image;
    image.width = area.right - area.left;
    image.height = area.bottom - area.top;
    if (image.empty()) return Image{};
    ScreenDc screen;
    MemoryDc memory(screen.get());
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    GdiObject bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (bitmap.get() == nullptr || bits == nullptr || memory.get() == nullptr) return Image{};
    {
        Selection selected(memory.get(), bitmap.get());
        if (!BitBlt(memory.get(), 0, 0, image.width, image.height, screen.get(), area.left,
                    area.top, SRCCOPY | CAPTUREBLT)) {
            return Image{};
        }
        GdiFlush();
    }
    const auto count =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    image.rgb.resize(count * 3);
    const auto* source = static_cast<const std::uint8_t*>(bits);
    for (std::size_t i = 0; i < count; ++i) {
        image.rgb[i * 3] = source[i * 4 + 2];
        image.rgb[i * 3 + 1] = source[i * 4 + 1];
        image.rgb[i * 3 + 2] = source[i * 4];
    }
    return image;
}

// `icon` drawn at `width` × `height` on a background of `background`.
Image drawIcon(HICON icon, int width, int height, COLORREF background) {
    Image image;
    image.width = width;
    image.height = height;
    ScreenDc screen;
    MemoryDc memory(screen.get());
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    GdiObject bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (bitmap.get() == nullptr || bits == nullptr || memory.get() == nullptr) return Image{};
    {
        Selection selected(memory.get(), bitmap.get());
        GdiObject brush(CreateSolidBrush(background));
        const RECT all{0, 0, width, height};
        FillRect(memory.get(), &all, static_cast<HBRUSH>(brush.get()));
        DrawIconEx(memory.get(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
        GdiFlush();
    }
    const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    image.rgb.resize(count * 3);
    const auto* source = static_cast<const std::uint8_t*>(bits);
    for (std::size_t i = 0; i < count; ++i) {
        image.rgb[i * 3] = source[i * 4 + 2];
        image.rgb[i * 3 + 1] = source[i * 4 + 1];
        image.rgb[i * 3 + 2] = source[i * 4];
    }
    return image;
}

std::size_t differingPixels(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height) return static_cast<std::size_t>(-1);
    std::size_t count = 0;
    for (std::size_t i = 0; i + 2 < a.rgb.size(); i += 3) {
        if (a.rgb[i] != b.rgb[i] || a.rgb[i + 1] != b.rgb[i + 1] || a.rgb[i + 2] != b.rgb[i + 2]) {
            ++count;
        }
    }
    return count;
}

// Which of the system's message-box icons the static control shows, found
// by drawing each of them as the control would and comparing pixels: icon
// handles of another process cannot be compared.
std::string iconOf(HWND box) {
    HWND iconControl = nullptr;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM found) -> BOOL {
            if (className(child) == L"Static" && IsWindowVisible(child) &&
                (static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE)) & SS_TYPEMASK) ==
                    SS_ICON) {
                *reinterpret_cast<HWND*>(found) = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&iconControl));
    if (iconControl == nullptr) return "none";
    // A box without icon may keep an empty icon control.
    DWORD_PTR shownIcon = 0;
    if (SendMessageTimeoutW(iconControl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &shownIcon) !=
            0 &&
        shownIcon == 0) {
        return "none";
    }

    RECT area{};
    GetWindowRect(iconControl, &area);
    const Image shown = captureScreen(area);
    if (shown.empty()) return "unknown";
    const COLORREF background = RGB(shown.rgb[0], shown.rgb[1], shown.rgb[2]);
    const std::pair<const wchar_t*, const char*> candidates[] = {
        {IDI_HAND, "critical"},
        {IDI_EXCLAMATION, "exclamation"},
        {IDI_ASTERISK, "information"},
        {IDI_QUESTION, "question"},
    };
    std::string best = "unknown";
    std::size_t fewest = shown.rgb.size() / 3 / 10 + 1;  // at most a tenth may differ
    for (const auto& [resource, name] : candidates) {
        const Image drawn =
            drawIcon(LoadIconW(nullptr, resource), shown.width, shown.height, background);
        const std::size_t differing = differingPixels(shown, drawn);
        if (differing < fewest) {
            fewest = differing;
            best = name;
        }
    }
    return best;
}

// ---- message boxes ----------------------------------------------------------------

struct Button {
    int command;
    HWND window;
};

const char* commandName(int command) {
    switch (command) {
        case IDOK:
            return "OK";
        case IDCANCEL:
            return "Cancel";
        case IDABORT:
            return "Abort";
        case IDRETRY:
            return "Retry";
        case IDIGNORE:
            return "Ignore";
        case IDYES:
            return "Yes";
        case IDNO:
            return "No";
        case IDTRYAGAIN:
            return "TryAgain";
        case IDCONTINUE:
            return "Continue";
        default:
            return "?";
    }
}

int commandOf(const std::wstring& name) {
    if (lstrcmpiW(name.c_str(), L"OK") == 0) return IDOK;
    if (lstrcmpiW(name.c_str(), L"Yes") == 0) return IDYES;
    if (lstrcmpiW(name.c_str(), L"No") == 0) return IDNO;
    if (lstrcmpiW(name.c_str(), L"Cancel") == 0) return IDCANCEL;
    if (lstrcmpiW(name.c_str(), L"Retry") == 0) return IDRETRY;
    return 0;
}

std::vector<Button> buttonsOf(HWND box) {
    std::vector<Button> buttons;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM list) -> BOOL {
            if (className(child) == L"Button" && IsWindowVisible(child)) {
                reinterpret_cast<std::vector<Button>*>(list)->push_back(
                    Button{GetDlgCtrlID(child), child});
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&buttons));
    return buttons;
}

struct Answer {
    int command = 0;
    std::wstring after;  // wait for this file before answering
};

struct Options {
    std::wstring record;
    std::vector<std::wstring> watched;  // comparable paths
    std::vector<Answer> answers;
    std::wstring pictures;
    std::wstring bitmaps;
    std::wstring name = L"run";
    std::wstring readyFile;
    std::wstring stopFile;
    unsigned long seconds = 120;
};

struct WindowState {
    ULONGLONG firstSeen = 0;
    int frames = 0;
    Image last;     // the look saved last
    Image pending;  // the look of the poll before
};

class Driver {
public:
    explicit Driver(Options options) : options_(std::move(options)) {}

    // Polls until asked to stop; true when the stop file ended it.
    bool run() {
        if (!options_.readyFile.empty()) writeFile(options_.readyFile, "", false);
        const ULONGLONG until = GetTickCount64() + options_.seconds * 1000ULL;
        while (GetTickCount64() < until) {
            if (exists(options_.stopFile)) return true;
            poll();
            Sleep(kPollMilliseconds);
        }
        return false;
    }

private:
    void poll() {
        std::vector<HWND> windows;
        EnumWindows(
            [](HWND window, LPARAM list) -> BOOL {
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&windows));
        for (const HWND window : windows) {
            if (!IsWindowVisible(window)) continue;
            DWORD processId = 0;
            GetWindowThreadProcessId(window, &processId);
            if (!isWatched(processId)) continue;
            if (className(window) == L"#32770") {
                handleBox(window, processId);
            } else {
                handleWindow(window, processId);
            }
        }
    }

    bool isWatched(DWORD processId) {
        const auto known = watchedProcesses_.find(processId);
        if (known != watchedProcesses_.end()) return known->second;
        const std::wstring image = processImage(processId);
        if (image.empty()) return false;  // asked again later
        const std::wstring path = comparablePath(image);
        bool watched = false;
        for (const std::wstring& candidate : options_.watched) {
            watched = watched || candidate == path;
        }
        watchedProcesses_[processId] = watched;
        return watched;
    }

    void handleBox(HWND box, DWORD processId) {
        if (answeredBoxes_.count(box) != 0) return;
        const ULONGLONG now = GetTickCount64();
        const auto seen = boxesSeen_.find(box);
        if (seen == boxesSeen_.end()) {
            boxesSeen_[box] = now;
            append({"seen", std::to_string(processId), utf8(windowText(box))});
            return;
        }
        if (now - seen->second < kSettleMilliseconds) return;

        Answer answer;
        if (nextAnswer_ < options_.answers.size()) {
            answer = options_.answers[nextAnswer_];
            if (!answer.after.empty() && !exists(answer.after)) return;  // not yet
        }

        const std::string caption = utf8(windowText(box));
        const HWND textControl = GetDlgItem(box, 0xFFFF);
        const std::string text = textControl != nullptr ? utf8(windowText(textControl)) : "";
        const std::vector<Button> buttons = buttonsOf(box);
        std::string buttonNames;
        for (const Button& button : buttons) {
            if (!buttonNames.empty()) buttonNames += ",";
            buttonNames += commandName(button.command);
        }
        const std::string icon = iconOf(box);
        std::string picture;
        RECT area{};
        if (!options_.pictures.empty() && GetWindowRect(box, &area)) {
            const Image image = captureScreen(area);
            const std::wstring file =
                options_.name + L"-box-" + std::to_wstring(++boxCount_) + L".png";
            if (!image.empty() &&
                writeFile(options_.pictures + L"\\" + file, encodePng(image), false)) {
                picture = utf8(file);
            }
        }

        int command = answer.command;
        if (nextAnswer_ < options_.answers.size()) ++nextAnswer_;
        const Button* target = nullptr;
        for (const Button& button : buttons) {
            if (button.command == command) target = &button;
        }
        if (target == nullptr) {
            // Beyond the script, or the scripted button is missing: the
            // answer that changes nothing.
            for (const Button& button : buttons) {
                if (button.command == IDOK || (target == nullptr && button.command == IDNO)) {
                    target = &button;
                }
            }
        }
        command = target != nullptr ? target->command : IDCANCEL;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED),
                     reinterpret_cast<LPARAM>(target != nullptr ? target->window : nullptr));
        answeredBoxes_.insert(box);
        append({"box", std::to_string(processId), caption, text, buttonNames, icon,
                commandName(command), picture});
    }

    void handleWindow(HWND window, DWORD processId) {
        WindowState& state = windows_[window];
        const ULONGLONG now = GetTickCount64();
        if (state.firstSeen == 0) state.firstSeen = now;
        if (now - state.firstSeen < kWindowSettleMilliseconds) return;
        if (state.frames >= kMaxFramesPerWindow) return;

        RECT area{};
        RECT client{};
        if (!GetWindowRect(window, &area) || !GetClientRect(window, &client)) return;
        const Image image = captureScreen(area);
        RECT after{};
        // A window that moved, changed or went while it was pictured gives
        // no trustworthy picture.
        if (image.empty() || !IsWindowVisible(window) || !GetWindowRect(window, &after) ||
            !EqualRect(&area, &after)) {
            return;
        }
        // Only a look that held still between two polls is kept: a window
        // caught between erasing and painting is not what the user sees.
        const bool steady = !state.pending.empty() && differingPixels(image, state.pending) == 0;
        state.pending = image;
        if (!steady) return;
        if (state.frames > 0 && differingPixels(image, state.last) == 0) return;
        state.last = image;
        ++state.frames;
        ++windowFrames_;

        std::string picture;
        std::string bitmap;
        const std::wstring stem = options_.name + L"-window-" + std::to_wstring(windowFrames_);
        if (!options_.pictures.empty() &&
            writeFile(options_.pictures + L"\\" + stem + L".png", encodePng(image), false)) {
            picture = utf8(stem + L".png");
        }
        if (!options_.bitmaps.empty()) {
            const std::wstring file = options_.bitmaps + L"\\" + stem + L".bmp";
            if (writeFile(file, encodeBmp(image), false)) bitmap = utf8(file);
        }
        wchar_t style[16] = {};
        std::swprintf(style, 16, L"%08lX",
                      static_cast<unsigned long>(GetWindowLongPtrW(window, GWL_STYLE)));
        append({"window", std::to_string(processId), utf8(className(window)),
                utf8(windowText(window)), std::to_string(area.left), std::to_string(area.top),
                std::to_string(area.right - area.left), std::to_string(area.bottom - area.top),
                std::to_string(client.right - client.left),
                std::to_string(client.bottom - client.top), utf8(style),
                std::to_string(state.frames), picture, bitmap});
    }

    void append(const std::vector<std::string>& fields) {
        writeFile(options_.record, morvane::box_driver::joinRecordLine(fields) + "\n", true);
    }

    Options options_;
    std::map<DWORD, bool> watchedProcesses_;
    std::map<HWND, ULONGLONG> boxesSeen_;
    std::set<HWND> answeredBoxes_;
    std::map<HWND, WindowState> windows_;
    std::size_t nextAnswer_ = 0;
    int boxCount_ = 0;
    int windowFrames_ = 0;
};

int usage() {
    std::fputs(
        "usage: BoxDriver --record F --watch EXE [--watch EXE ...] [--answer "
        "OK|Yes|No|Retry|Cancel "
        "[--after F]] ... [--pictures DIR --name PREFIX] [--bitmaps DIR] [--ready-file F] "
        "[--stop-file F] [--seconds N]\n",
        stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (i + 1 >= argc) return usage();
        const std::wstring value = argv[++i];
        if (argument == L"--record") {
            options.record = value;
        } else if (argument == L"--watch") {
            options.watched.push_back(comparablePath(value));
        } else if (argument == L"--answer") {
            const int command = commandOf(value);
            if (command == 0) return usage();
            options.answers.push_back(Answer{command, {}});
        } else if (argument == L"--after") {
            if (options.answers.empty()) return usage();
            options.answers.back().after = value;
        } else if (argument == L"--pictures") {
            options.pictures = value;
        } else if (argument == L"--bitmaps") {
            options.bitmaps = value;
        } else if (argument == L"--name") {
            options.name = value;
        } else if (argument == L"--ready-file") {
            options.readyFile = value;
        } else if (argument == L"--stop-file") {
            options.stopFile = value;
        } else if (argument == L"--seconds") {
            wchar_t* end = nullptr;
            options.seconds = std::wcstoul(value.c_str(), &end, 10);
            if (end == nullptr || *end != L'\0') return usage();
        } else {
            return usage();
        }
    }
    if (options.record.empty() || options.watched.empty()) return usage();
    if (!options.pictures.empty()) CreateDirectoryW(options.pictures.c_str(), nullptr);
    if (!options.bitmaps.empty()) CreateDirectoryW(options.bitmaps.c_str(), nullptr);
    // Pixels of the screen, not of a scaled copy.
    SetProcessDPIAware();
    return Driver(std::move(options)).run() ? 0 : 1;
}
