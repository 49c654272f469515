#include "platform/win32/progress_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "base/failure.h"
#include "support/gif_picture.h"

namespace morvane::win32 {
namespace {

constexpr COLORREF kPictureGreen = RGB(16, 160, 48);
constexpr COLORREF kPictureRed = RGB(200, 30, 30);
constexpr int kPictureWidth = 100;
constexpr int kPictureHeight = 80;
constexpr int kRedCorner = 10;  // the picture's top-left 10 × 10 pixels are red

test::Rgb rgb(COLORREF colour) {
    return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

// The test's picture: green, with a red square in the top-left corner.
std::string makePicture() {
    return test::makeGif(
        kPictureWidth, kPictureHeight, {rgb(kPictureGreen), rgb(kPictureRed)},
        [](int row, int column) { return row < kRedCorner && column < kRedCorner ? 1 : 0; });
}

std::string utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool runsUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A picture file for one test, removed afterwards.
class PictureFile {
public:
    PictureFile() {
        path_ = std::filesystem::temp_directory_path() /
                ("morvane_progress_" + std::to_string(GetCurrentProcessId()) + ".gif");
        const std::string bytes = makePicture();
        std::ofstream out(path_, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;
    ~PictureFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    std::string path() const { return utf8(path_); }

private:
    std::filesystem::path path_;
};

class ProgressWindowTest : public testing::Test {
protected:
    void SetUp() override {
        char display[256];
        if (runsUnderWine() && GetEnvironmentVariableA("DISPLAY", display, sizeof display) == 0) {
            GTEST_SKIP() << "the progress window needs an X display under Wine: set DISPLAY "
                            "(for example to an Xvfb server)";
        }
    }

    // The colour at a client-area point, read back from the screen.
    static COLORREF pixel(HWND window, int x, int y) {
        const HDC dc = GetDC(window);
        const COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(window, dc);
        return colour;
    }

    struct Expected {
        int x;
        int y;
        COLORREF colour;
        const char* what;
    };

    static void expectPixels(HWND window, const std::vector<Expected>& points) {
        for (const Expected& p : points) {
            SCOPED_TRACE(testing::Message() << p.what << " at (" << p.x << ", " << p.y << ")");
            EXPECT_EQ(pixel(window, p.x, p.y), p.colour)
                << std::hex << "got 0x" << pixel(window, p.x, p.y) << ", expected 0x" << p.colour;
        }
    }

    static void expectCentred(HWND window, int width, int height) {
        RECT client{};
        ASSERT_TRUE(GetClientRect(window, &client));
        EXPECT_EQ(client.right, width);
        EXPECT_EQ(client.bottom, height);
        RECT bounds{};
        ASSERT_TRUE(GetWindowRect(window, &bounds));
        EXPECT_EQ(bounds.right - bounds.left, width) << "the window has no frame";
        EXPECT_EQ(bounds.bottom - bounds.top, height) << "the window has no frame";
        EXPECT_EQ(bounds.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
        EXPECT_EQ(bounds.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
    }
};

TEST_F(ProgressWindowTest, PictureSetsTheSizeAndCarriesFrameAndBar) {
    const PictureFile picture;
    Win32ProgressWindow progress;
    progress.show(picture.path());
    const HWND window = progress.handle();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    expectCentred(window, kPictureWidth, kPictureHeight);

    wchar_t title[32] = {};
    GetWindowTextW(window, title, 32);
    EXPECT_EQ(std::wstring(title), L"Form1");
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME));

    // 100 × 80: x = 20, y = 64; frame (20, 64)-(79, 74); bar from (22, 66) to
    // (22 + 55 × share, 72), at 0.5 to 49.5, drawn up to column 50.
    progress.setPercent(0.5f);
    const COLORREF line = GetSysColor(COLOR_ACTIVECAPTION);
    const std::vector<Expected> atHalf = {
        {0, 0, kPictureRed, "picture, top left"},
        {9, 9, kPictureRed, "picture, red square"},
        {10, 10, kPictureGreen, "picture"},
        {99, 79, kPictureGreen, "picture, bottom right"},
        {20, 64, line, "frame, top left corner"},
        {79, 64, line, "frame, top right corner"},
        {20, 74, line, "frame, bottom left corner"},
        {79, 74, line, "frame, bottom right corner"},
        {60, 64, line, "frame, top"},
        {60, 74, line, "frame, bottom"},
        {20, 69, line, "frame, left"},
        {79, 69, line, "frame, right"},
        {19, 69, kPictureGreen, "left of the frame"},
        {80, 69, kPictureGreen, "right of the frame"},
        {60, 63, kPictureGreen, "above the frame"},
        {60, 75, kPictureGreen, "below the frame"},
        {21, 69, kPictureGreen, "gap left of the bar"},
        {30, 65, kPictureGreen, "gap above the bar"},
        {30, 73, kPictureGreen, "gap below the bar"},
        {22, 66, line, "bar, top left"},
        {50, 72, line, "bar, bottom right"},
        {35, 69, line, "bar"},
        {51, 69, kPictureGreen, "right of the bar"},
        {78, 69, kPictureGreen, "gap right of a half bar"},
    };
    expectPixels(window, atHalf);

    // Covered and uncovered: the window system asks for the same image.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    expectPixels(window, atHalf);

    // A smaller share redraws the picture over the longer bar: 22 + 13.75 → 36.
    progress.setPercent(0.25f);
    expectPixels(window, {{36, 69, line, "end of a quarter bar"},
                          {37, 69, kPictureGreen, "right of a quarter bar"},
                          {50, 69, kPictureGreen, "where the half bar was"}});

    // The full bar ends one pixel inside the frame: 22 + 55 = 77.
    progress.setPercent(1.0f);
    expectPixels(window, {{77, 69, line, "end of the full bar"},
                          {78, 69, kPictureGreen, "gap right of the full bar"},
                          {79, 69, line, "frame, right"}});

    // Beyond 1 the bar runs over the frame and on to the window's edge.
    progress.setPercent(2.0f);
    expectPixels(window, {{80, 69, line, "bar past the frame"},
                          {99, 69, line, "bar at the window's edge"},
                          {99, 65, kPictureGreen, "above the bar"}});

    progress.close();
    EXPECT_EQ(progress.handle(), nullptr);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(ProgressWindowTest, WithoutPictureKeepsDesignedSizeAndDrawsNothing) {
    const std::filesystem::path missing =
        std::filesystem::temp_directory_path() / "morvane_progress_missing" / "Updater.gif";
    Win32ProgressWindow progress;
    progress.show(utf8(missing));
    const HWND window = progress.handle();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    expectCentred(window, 347, 275);

    const COLORREF background = GetSysColor(COLOR_INACTIVECAPTION);
    ASSERT_NE(background, GetSysColor(COLOR_ACTIVECAPTION));
    for (const float share : {0.0f, 0.5f, 1.0f}) {
        SCOPED_TRACE(share);
        progress.setPercent(share);
        // Where frame and bar would lie on a picture of this size.
        expectPixels(window, {{69, 220, background, "frame's top left corner"},
                              {277, 230, background, "frame's bottom right corner"},
                              {71, 222, background, "bar's start"},
                              {173, 225, background, "bar at a half"},
                              {275, 228, background, "bar's end"},
                              {0, 0, background, "top left"}});
    }
    progress.close();
    EXPECT_EQ(progress.handle(), nullptr);
}

TEST_F(ProgressWindowTest, ShareSetBeforeShowingIsKeptAndDrawnLater) {
    Win32ProgressWindow progress;
    progress.setPercent(1.0f);
    EXPECT_EQ(progress.handle(), nullptr);
    EXPECT_EQ(FindWindowW(nullptr, L"Form1"), nullptr) << "no window appears";

    const PictureFile picture;
    progress.show(picture.path());
    ASSERT_NE(progress.handle(), nullptr);
    const COLORREF line = GetSysColor(COLOR_ACTIVECAPTION);
    expectPixels(progress.handle(), {{77, 69, line, "end of the full bar"},
                                     {78, 69, kPictureGreen, "gap right of the full bar"}});
}

TEST_F(ProgressWindowTest, CloseWithoutShowAndTwiceIsHarmless) {
    Win32ProgressWindow progress;
    progress.close();
    progress.setPercent(0.5f);
    progress.close();
    EXPECT_EQ(progress.handle(), nullptr);
}

TEST(ToPixel, RoundsHalvesToEvenAndHoldsFarValuesAtTheLimit) {
    struct Case {
        double value;
        int expected;
    };
    const Case cases[] = {
        {173.0, 173},        {49.5, 50},
        {50.5, 50},          {-0.5, 0},
        {122.4, 122},        {1e12, 134217727},
        {-1e12, -134217727}, {std::numeric_limits<double>::infinity(), 134217727},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(toPixel(c.value), c.expected);
    }
    EXPECT_THROW(toPixel(std::nan("")), Failure);
}

}  // namespace
}  // namespace morvane::win32
