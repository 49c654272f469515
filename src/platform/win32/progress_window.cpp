#include "platform/win32/progress_window.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "base/failure.h"
#include "base/progress_geometry.h"
#include "base/win32/unique_handle.h"
#include "base/win32/wide.h"
#include "platform/win32/com.h"
#include "platform/win32/gdi_object.h"
#include "platform/win32/message_pump.h"

namespace morvane::win32 {

namespace {

constexpr wchar_t kClassName[] = L"MorvaneProgressWindow";
constexpr wchar_t kTitle[] = L"Form1";
constexpr int kHimetricPerInch = 2540;
// A picture file larger than this is not a picture for this window.
constexpr LONGLONG kMaxPictureBytes = 64LL * 1024 * 1024;
// GDI keeps coordinates within 27 bits; beyond that a bar only runs further
// off the window, so it is held at the limit.
constexpr double kPixelLimit = 134217727.0;

// ---- owners of the window system's resources ------------------------------

// A window that this object destroys; release() hands it back when the
// window system destroyed it already.
class WindowOwner {
public:
    WindowOwner() = default;
    explicit WindowOwner(HWND window) noexcept : window_(window) {}
    WindowOwner(WindowOwner&& other) noexcept : window_(std::exchange(other.window_, nullptr)) {}
    WindowOwner& operator=(WindowOwner&& other) noexcept {
        if (this != &other) {
            reset();
            window_ = std::exchange(other.window_, nullptr);
        }
        return *this;
    }
    ~WindowOwner() { reset(); }

    HWND get() const noexcept { return window_; }
    void release() noexcept { window_ = nullptr; }
    void reset() noexcept {
        // DestroyWindow sends WM_NCDESTROY, which may call release(): take the
        // handle out first.
        if (HWND window = std::exchange(window_, nullptr)) {
            DestroyWindow(window);
        }
    }

private:
    HWND window_ = nullptr;
};

// The device context of a window's client area (or of the screen for nullptr),
// from GetDC until ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_ != nullptr) {
            ReleaseDC(window_, dc_);
        }
    }
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// The device context of one WM_PAINT, from BeginPaint until EndPaint.
class PaintDc {
public:
    explicit PaintDc(HWND window) noexcept : window_(window) { dc_ = BeginPaint(window_, &paint_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    ~PaintDc() { EndPaint(window_, &paint_); }
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

// Global memory that this object frees until release() hands it to a stream.
class GlobalMemory {
public:
    explicit GlobalMemory(HGLOBAL memory) noexcept : memory_(memory) {}
    GlobalMemory(const GlobalMemory&) = delete;
    GlobalMemory& operator=(const GlobalMemory&) = delete;
    ~GlobalMemory() {
        if (memory_ != nullptr) {
            GlobalFree(memory_);
        }
    }
    HGLOBAL get() const noexcept { return memory_; }
    void release() noexcept { memory_ = nullptr; }

private:
    HGLOBAL memory_;
};

// The lock of global memory, from GlobalLock until GlobalUnlock.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL memory) noexcept
        : memory_(memory), data_(GlobalLock(memory)) {}
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    ~GlobalLockGuard() {
        if (data_ != nullptr) {
            GlobalUnlock(memory_);
        }
    }
    void* data() const noexcept { return data_; }

private:
    HGLOBAL memory_;
    void* data_;
};

// ---- loading ---------------------------------------------------------------

// The picture in a file, or none when the file cannot be read or holds no
// picture that OLE understands (GIF, JPEG, BMP, icon, metafile).
ComPtr<IPicture> loadPicture(const std::wstring& path) {
    ComPtr<IPicture> picture;
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return picture;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
        size.QuadPart > kMaxPictureBytes) {
        return picture;
    }
    const auto byteCount = static_cast<DWORD>(size.QuadPart);
    GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, byteCount));
    if (memory.get() == nullptr) {
        return picture;
    }
    {
        const GlobalLockGuard lock(memory.get());
        DWORD read = 0;
        if (lock.data() == nullptr ||
            !ReadFile(file.get(), lock.data(), byteCount, &read, nullptr) || read != byteCount) {
            return picture;
        }
    }
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(memory.get(), TRUE, stream.put()))) {
        return picture;
    }
    memory.release();  // the stream frees it now
    if (FAILED(OleLoadPicture(stream.get(), static_cast<LONG>(byteCount), FALSE, IID_IPicture,
                              reinterpret_cast<void**>(picture.put())))) {
        picture.reset();
    }
    return picture;
}

// The application's icon: the first icon group in the executable's resources,
// as Explorer shows it. Null handles when the executable has none. The icons
// are shared resources and are never destroyed.
struct AppIcons {
    HICON largeIcon = nullptr;
    HICON smallIcon = nullptr;
};

BOOL CALLBACK takeFirstIconGroup(HMODULE module, LPCWSTR, LPWSTR name, LONG_PTR param) {
    auto* icons = reinterpret_cast<AppIcons*>(param);
    icons->largeIcon =
        static_cast<HICON>(LoadImageW(module, name, IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                      GetSystemMetrics(SM_CYICON), LR_SHARED));
    icons->smallIcon =
        static_cast<HICON>(LoadImageW(module, name, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                      GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    return FALSE;  // the first group is the application's icon
}

AppIcons appIcons(HINSTANCE instance) {
    AppIcons icons;
    EnumResourceNamesW(instance, RT_GROUP_ICON, takeFirstIconGroup,
                       reinterpret_cast<LONG_PTR>(&icons));
    return icons;
}

LRESULT CALLBACK progressWindowProc(HWND window, UINT message, WPARAM wParam,
                                    LPARAM lParam) noexcept;

// The window class, registered once per process; 0 when registration failed.
ATOM windowClass(HINSTANCE instance) {
    static const ATOM atom = [instance] {
        const AppIcons icons = appIcons(instance);
        WNDCLASSEXW cls{};
        cls.cbSize = sizeof cls;
        cls.lpfnWndProc = progressWindowProc;
        cls.hInstance = instance;
        cls.hIcon = icons.largeIcon;
        cls.hIconSm = icons.smallIcon;
        cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        // System colour brushes are given as index + 1.
        cls.hbrBackground =
            reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_INACTIVECAPTION + 1));
        cls.lpszClassName = kClassName;
        return RegisterClassExW(&cls);
    }();
    return atom;
}

}  // namespace

int toPixel(double value) {
    if (std::isnan(value)) {
        throw Failure::of(err::Overflow);
    }
    return static_cast<int>(roundHalfEven(std::clamp(value, -kPixelLimit, kPixelLimit)));
}

// ---- the window ------------------------------------------------------------

struct Win32ProgressWindow::State {
    ComApartment apartment;
    WindowOwner window;
    ComPtr<IPicture> picture;
    OLE_XSIZE_HIMETRIC pictureWidthHimetric = 0;
    OLE_YSIZE_HIMETRIC pictureHeightHimetric = 0;
    int pictureWidth = 0;  // natural size in pixels at the screen's resolution
    int pictureHeight = 0;
    float share = 0.0f;

    void load(const std::string& picturePath);
    void paint(HDC dc) const noexcept;
    void drawFrameAndBar(HDC dc) const;
    void unload() noexcept;
};

void Win32ProgressWindow::State::load(const std::string& picturePath) {
    apartment.enter();
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (windowClass(instance) == 0) {
        return;
    }

    // Sizes follow the screen's resolution, as the window system measures pixels.
    int dpiX = 0;
    int dpiY = 0;
    {
        const WindowDc screen(nullptr);
        if (screen.get() != nullptr) {
            dpiX = GetDeviceCaps(screen.get(), LOGPIXELSX);
            dpiY = GetDeviceCaps(screen.get(), LOGPIXELSY);
        }
    }
    const PixelSize designed = progressDesignSize(dpiX, dpiY);
    int width = designed.width;
    int height = designed.height;
    picture = loadPicture(wide(picturePath));
    if (picture && SUCCEEDED(picture->get_Width(&pictureWidthHimetric)) &&
        SUCCEEDED(picture->get_Height(&pictureHeightHimetric))) {
        // The picture's natural size: its HIMETRIC extent at that resolution.
        pictureWidth = MulDiv(pictureWidthHimetric, dpiX, kHimetricPerInch);
        pictureHeight = MulDiv(pictureHeightHimetric, dpiY, kHimetricPerInch);
        if (pictureWidth > 0 && pictureHeight > 0) {
            width = pictureWidth;
            height = pictureHeight;
        }
    }

    // Without a frame the window is its client area; AdjustWindowRectEx keeps
    // that true should the style ever gain one.
    constexpr DWORD style = WS_POPUP;
    RECT bounds{0, 0, width, height};
    AdjustWindowRectEx(&bounds, style, FALSE, 0);
    const int outerWidth = bounds.right - bounds.left;
    const int outerHeight = bounds.bottom - bounds.top;
    // Centred on the monitor the user works on, where the cursor is, not
    // on the primary one.
    POINT cursor{0, 0};
    GetCursorPos(&cursor);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
        area = monitor.rcMonitor;
    }
    const int left = area.left + (area.right - area.left - outerWidth) / 2;
    const int top = area.top + (area.bottom - area.top - outerHeight) / 2;
    window = WindowOwner(CreateWindowExW(0, kClassName, kTitle, style, left, top, outerWidth,
                                         outerHeight, nullptr, nullptr, instance, this));
    dispatchPendingMessages();
}

void Win32ProgressWindow::State::paint(HDC dc) const noexcept {
    if (!picture || dc == nullptr) {
        return;  // the window shows its background colour
    }
    // The picture's rows run bottom-up in HIMETRIC, hence the negative height.
    // A failed step is skipped: the frame and bar are drawn regardless.
    picture->Render(dc, 0, 0, pictureWidth, pictureHeight, 0, pictureHeightHimetric,
                    pictureWidthHimetric, -pictureHeightHimetric, nullptr);
    try {
        drawFrameAndBar(dc);
    } catch (...) {
        // x or y beyond 16 bits, or a share that is not a number: nothing to draw.
    }
}

// Frame and bar include both of their corner points, so a frame from (69, 220)
// to (277, 230) covers columns 69 to 277. The bar's real right end is rounded
// to the nearest column (halves to even); at a share of 0 the bar is the one
// column x + 2, and a negative share draws it to the left of that column.
void Win32ProgressWindow::State::drawFrameAndBar(HDC dc) const {
    RECT client{};
    if (!GetClientRect(window.get(), &client)) {
        return;
    }
    const ProgressGeometry g = progressGeometry(client.right, client.bottom, share);
    const GdiObject brush(CreateSolidBrush(GetSysColor(COLOR_ACTIVECAPTION)));
    if (brush.get() == nullptr) {
        return;
    }
    const auto lineBrush = static_cast<HBRUSH>(brush.get());

    // FrameRect draws a one-pixel outline just inside a rectangle that
    // excludes its right and bottom edges.
    const RECT frame{std::min(g.frame.left, g.frame.right), std::min(g.frame.top, g.frame.bottom),
                     std::max(g.frame.left, g.frame.right) + 1,
                     std::max(g.frame.top, g.frame.bottom) + 1};
    FrameRect(dc, &frame, lineBrush);

    const int barRight = toPixel(g.bar.right);
    const RECT bar{std::min(g.bar.left, barRight), g.bar.top, std::max(g.bar.left, barRight) + 1,
                   g.bar.bottom + 1};
    FillRect(dc, &bar, lineBrush);
}

void Win32ProgressWindow::State::unload() noexcept {
    window.reset();
    picture.reset();
    pictureWidth = pictureHeight = 0;
    pictureWidthHimetric = pictureHeightHimetric = 0;
    apartment.leave();
}

namespace {

LRESULT CALLBACK progressWindowProc(HWND window, UINT message, WPARAM wParam,
                                    LPARAM lParam) noexcept {
    try {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* state =
            reinterpret_cast<Win32ProgressWindow::State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (state != nullptr) {
            switch (message) {
                case WM_PAINT: {
                    const PaintDc dc(window);
                    state->paint(dc.get());
                    return 0;
                }
                case WM_PRINTCLIENT:
                    state->paint(reinterpret_cast<HDC>(wParam));
                    return 0;
                case WM_CLOSE:
                    return 0;  // the window takes no input; only the update run closes it
                case WM_NCDESTROY:
                    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                    if (state->window.get() == window) {
                        state->window.release();
                    }
                    break;
                default:
                    break;
            }
        }
    } catch (...) {
        // Nothing unwinds into the window system.
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

Win32ProgressWindow::Win32ProgressWindow() : state_(std::make_unique<State>()) {}

Win32ProgressWindow::~Win32ProgressWindow() {
    close();
}

void Win32ProgressWindow::show(const std::string& picturePath) {
    try {
        if (state_->window.get() == nullptr) {
            state_->load(picturePath);
        }
        if (const HWND window = state_->window.get()) {
            // Not ShowWindow: a process's first ShowWindow takes the show state
            // its starter asked for (a shortcut's "Maximized"), and the window
            // keeps its place and size without taking the focus.
            SetWindowPos(window, nullptr, 0, 0, 0, 0,
                         SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER |
                             SWP_NOOWNERZORDER);
            UpdateWindow(window);
            dispatchPendingMessages();
        }
    } catch (...) {
        // Showing the window is never a reason to stop the update.
    }
}

void Win32ProgressWindow::setPercent(float share) {
    state_->share = share;
    const HWND window = state_->window.get();
    if (window == nullptr) {
        return;  // never shown (or closed): the share waits for the next paint
    }
    {
        const WindowDc dc(window);
        state_->paint(dc.get());
    }
    dispatchPendingMessages();
}

void Win32ProgressWindow::close() {
    state_->unload();
}

HWND Win32ProgressWindow::handle() const noexcept {
    return state_->window.get();
}

}  // namespace morvane::win32
