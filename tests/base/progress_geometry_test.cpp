#include "base/progress_geometry.h"

#include <gtest/gtest.h>

#include <limits>

#include "base/failure.h"

namespace morvane {
namespace {

TEST(ProgressGeometry, DesignedWindowGivesTheWorkedFrame) {
    const ProgressGeometry g = progressGeometry(kProgressDesignWidth, kProgressDesignHeight, 0.5f);
    EXPECT_EQ(g.x, 69);  // 69.4
    EXPECT_EQ(g.y, 220);
    EXPECT_EQ(g.frame.left, 69);
    EXPECT_EQ(g.frame.top, 220);
    EXPECT_EQ(g.frame.right, 277);
    EXPECT_EQ(g.frame.bottom, 230);
    EXPECT_EQ(g.bar.left, 71);
    EXPECT_EQ(g.bar.top, 222);
    EXPECT_EQ(g.bar.bottom, 228);
}

TEST(ProgressGeometry, DesignedSizeScalesWithTheScreenResolution) {
    struct Case {
        int dpiX;
        int dpiY;
        int width;
        int height;
    };
    // 347 × 275 at 96 dpi; 433.75 × 343.75 at 125 %, 520.5 × 412.5 at 150 %.
    const Case cases[] = {
        {96, 96, 347, 275},   {120, 120, 434, 344}, {144, 144, 521, 413},
        {192, 192, 694, 550}, {144, 96, 521, 275},  {0, 0, 347, 275},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dpiX << " x " << c.dpiY << " dpi");
        const PixelSize size = progressDesignSize(c.dpiX, c.dpiY);
        EXPECT_EQ(size.width, c.width);
        EXPECT_EQ(size.height, c.height);
    }
}

TEST(ProgressGeometry, BarRightEndFollowsTheShareUnchanged) {
    struct Case {
        float share;
        double right;
    };
    // 71 + 204 × share on the designed window; no limiting to 0..1.
    const Case cases[] = {
        {0.0f, 71.0}, {0.5f, 173.0}, {1.0f, 275.0}, {0.25f, 122.0}, {1.5f, 377.0}, {-0.25f, 20.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.share);
        const ProgressGeometry g = progressGeometry(347, 275, c.share);
        EXPECT_DOUBLE_EQ(g.bar.right, c.right);
        EXPECT_EQ(g.bar.left, 71);
    }
}

TEST(ProgressGeometry, FullBarEndsOnePixelInsideTheFrame) {
    // The bar ends at W − x − 3 and the frame's right side is W − x − 1, for
    // any size, also for odd ones.
    const int sizes[][2] = {{347, 275}, {100, 80}, {640, 480}, {33, 21}, {1001, 999}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size[0] << " x " << size[1]);
        const ProgressGeometry g = progressGeometry(size[0], size[1], 1.0f);
        EXPECT_DOUBLE_EQ(g.bar.right, size[0] - g.x - 3);
        EXPECT_EQ(g.frame.right, size[0] - g.x - 1);
        EXPECT_EQ(g.bar.left - g.frame.left, 2);
        EXPECT_EQ(g.bar.top - g.frame.top, 2);
        EXPECT_EQ(g.frame.bottom - g.bar.bottom, 2);
    }
}

TEST(ProgressGeometry, MarginsAreRoundedToTheNearestPixel) {
    struct Case {
        int width;
        int height;
        int x;
        int y;
    };
    const Case cases[] = {
        {100, 80, 20, 64},    // exact
        {2, 1, 0, 1},         // 0.4 down, 0.8 up
        {3, 3, 1, 2},         // 0.6 up, 2.4 down
        {348, 276, 70, 221},  // 69.6 up, 220.8 up
        {0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        const ProgressGeometry g = progressGeometry(c.width, c.height, 0.0f);
        EXPECT_EQ(g.x, c.x);
        EXPECT_EQ(g.y, c.y);
    }
}

TEST(ProgressGeometry, MarginsBeyondSixteenBitsOverflow) {
    // y = H × 0.8 reaches 32767.2 at H = 40959 and 32768 at H = 40960.
    EXPECT_EQ(progressGeometry(100, 40959, 0.0f).y, 32767);
    EXPECT_EQ(progressGeometry(163837, 100, 0.0f).x, 32767);  // 32767.4
    try {
        progressGeometry(100, 40960, 0.0f);
        FAIL() << "no overflow";
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), err::Overflow);
    }
    EXPECT_THROW(progressGeometry(163838, 100, 0.0f), Failure);  // 32767.6
}

// Whole-pixel sizes never put W × 0.2 or H × 0.8 on a half (their fractions are
// fifths), so the rule for exact halves is checked on the rounding itself.
TEST(RoundToInt16, HalvesGoToTheEvenNeighbour) {
    struct Case {
        double value;
        int expected;
    };
    const Case cases[] = {
        {0.5, 0},         {1.5, 2},           {2.5, 2},           {69.5, 70},
        {68.5, 68},       {-0.5, 0},          {-1.5, -2},         {-2.5, -2},
        {69.4, 69},       {69.6, 70},         {-69.6, -70},       {32766.5, 32766},
        {32767.4, 32767}, {-32768.5, -32768}, {-32768.0, -32768}, {0.0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(roundToInt16(c.value), c.expected);
    }
}

TEST(RoundToInt16, OutOfRangeOrNotANumberOverflows) {
    const double cases[] = {32767.5,
                            32768.0,
                            -32768.6,
                            -32769.5,
                            1e300,
                            std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
    for (const double value : cases) {
        SCOPED_TRACE(value);
        try {
            roundToInt16(value);
            ADD_FAILURE() << "no overflow";
        } catch (const Failure& f) {
            EXPECT_EQ(f.number(), err::Overflow);
        }
    }
}

}  // namespace
}  // namespace morvane
