// Push (slide down) and ticker: offsets and positions worked out by hand.
#include "effects/effects.h"
#include "support/frames.h"

#include <gtest/gtest.h>

namespace velmar
{
namespace
{

using Pixels = std::vector<uint8_t>;

int addPicture(Document &doc, int w, int h, const Pixels &pixels)
{
    return test::addFrame(doc, w, h, pixels, 256, test::rampPalette(0));
}

QString delay(const Document &doc, int frame)
{
    return doc.grid().TextMatrix(frame + 1, PropertyGrid::ColDelay);
}

// One column H rows high: window 1 holds 0 .. H-1 top down, window 2 holds
// 100 .. 100+H-1, so every row of a pushed frame names its origin.
Pixels column(int h, int first)
{
    Pixels p(static_cast<size_t>(h));
    for (int r = 0; r < h; ++r)
        p[size_t(r)] = uint8_t(first + r);
    return p;
}

// The frame expected at offset o: window 2's last o rows on top, then window
// 1 from its first row.
Pixels pushed(int h, int o)
{
    Pixels p;
    for (int r = 0; r < o; ++r)
        p.push_back(uint8_t(100 + h - o + r));
    for (int r = o; r < h; ++r)
        p.push_back(uint8_t(r - o));
    return p;
}

TEST(AutoSlideDown, HundredRowsInFiveFramesPushByTwentyFiveRows)
{
    Document doc;
    addPicture(doc, 1, 100, column(100, 0));
    addPicture(doc, 1, 100, column(100, 100));
    ASSERT_TRUE(autoSlideDown(doc, 0, 1, 5));
    ASSERT_EQ(doc.picCount(), 2 + 4) << "n - 2 intermediate frames and a copy of window 2";
    EXPECT_EQ(doc.pic(2).bits, pushed(100, 25));
    EXPECT_EQ(doc.pic(3).bits, pushed(100, 50));
    EXPECT_EQ(doc.pic(4).bits, pushed(100, 75));
    EXPECT_EQ(doc.pic(2).bits[24], 199);
    EXPECT_EQ(doc.pic(2).bits[25], 0);
    EXPECT_EQ(doc.pic(5).bits, column(100, 100));
    EXPECT_EQ(delay(doc, 0), "50");
    EXPECT_EQ(delay(doc, 1), "10") << "window 2 itself keeps its delay";
    for (int f = 2; f <= 5; ++f)
        EXPECT_EQ(delay(doc, f), "50") << "frame " << f;
}

TEST(AutoSlideDown, OffsetsRoundHalfToEvenAtEveryStep)
{
    Document doc;
    addPicture(doc, 1, 10, column(10, 0));
    addPicture(doc, 1, 10, column(10, 100));
    ASSERT_TRUE(autoSlideDown(doc, 0, 1, 5));
    // step 2.5: round(2.5) = 2, round(4.5) = 4, round(6.5) = 6.
    EXPECT_EQ(doc.pic(2).bits, pushed(10, 2));
    EXPECT_EQ(doc.pic(3).bits, pushed(10, 4));
    EXPECT_EQ(doc.pic(4).bits, pushed(10, 6));
}

TEST(AutoSlideDown, OffsetThatDriftsPastTheHeightShowsWindowTwoWhole)
{
    Document doc;
    addPicture(doc, 2, 9, Pixels(18, 1));
    addPicture(doc, 2, 9, Pixels(18, 2));
    ASSERT_TRUE(autoSlideDown(doc, 0, 1, 7));
    // step 1.5: offsets 2, 4, 6, 8, then round(9.5) = 10, taken as 9.
    ASSERT_EQ(doc.picCount(), 2 + 6);
    const auto rowsOfTwo = [](const Document &d, int f) {
        int rows = 0;
        for (int r = 0; r < 9; ++r)
            rows += d.pic(f).bits[size_t(r) * 2] == 2;
        return rows;
    };
    EXPECT_EQ(rowsOfTwo(doc, 2), 2);
    EXPECT_EQ(rowsOfTwo(doc, 5), 8);
    EXPECT_EQ(doc.pic(6).bits, Pixels(18, 2));
}

TEST(AutoSlideDown, FewerThanThreeFramesAddsNothingAndKeepsDelays)
{
    Document doc;
    addPicture(doc, 1, 4, column(4, 0));
    addPicture(doc, 1, 4, column(4, 100));
    ASSERT_TRUE(autoSlideDown(doc, 0, 1, 2));
    EXPECT_EQ(doc.picCount(), 2);
    EXPECT_EQ(delay(doc, 0), "10");
}

TEST(AutoSlideDown, RefusesWindowsOfDifferentSizes)
{
    Document doc;
    addPicture(doc, 1, 4, column(4, 0));
    addPicture(doc, 1, 3, column(3, 100));
    EXPECT_EQ(autoSlideDown(doc, 0, 1, 5).error(), QStringLiteral("パラメーターに誤りがあります。"));
    EXPECT_EQ(doc.picCount(), 2);
}

TEST(AutoTicker, ViewAsWideAsThePictureInTwoFramesEndsExactlyInPlace)
{
    Document doc;
    addPicture(doc, 4, 1, {9, 1, 2, 3});
    ASSERT_TRUE(autoTicker(doc, 0, 2, 4));
    ASSERT_EQ(doc.picCount(), 3);
    EXPECT_EQ(doc.pic(1).bits, (Pixels{9, 9, 9, 9})) << "the picture starts beyond the right edge";
    EXPECT_EQ(doc.pic(2).bits, (Pixels{9, 1, 2, 3}));
}

TEST(AutoTicker, PositionsBetweenMinusOneAndOneTruncateToZero)
{
    Document doc;
    addPicture(doc, 4, 1, {9, 1, 2, 3});
    ASSERT_TRUE(autoTicker(doc, 0, 5, 4));
    // step = 8 / 5 = 1.6: positions 4, 2.4, 0.8, -0.8, -2.4 -> 4, 2, 0, 0, -2.
    ASSERT_EQ(doc.picCount(), 6);
    EXPECT_EQ(doc.pic(1).bits, (Pixels{9, 9, 9, 9}));
    EXPECT_EQ(doc.pic(2).bits, (Pixels{9, 9, 9, 1}));
    EXPECT_EQ(doc.pic(3).bits, (Pixels{9, 1, 2, 3}));
    EXPECT_EQ(doc.pic(4).bits, (Pixels{9, 1, 2, 3}));
    EXPECT_EQ(doc.pic(5).bits, (Pixels{2, 3, 9, 9}));
}

TEST(AutoTicker, NarrowViewMakesNarrowFramesWithTheNewWindowDelay)
{
    Document doc;
    addPicture(doc, 4, 2, {9, 1, 2, 3, 4, 5, 6, 7});
    ASSERT_TRUE(autoTicker(doc, 0, 3, 2));
    // step = 6 / 3 = 2: positions 2, 0, -2.
    ASSERT_EQ(doc.picCount(), 4);
    for (int f = 1; f <= 3; ++f) {
        EXPECT_EQ(doc.pic(f).lWidth, 2);
        EXPECT_EQ(doc.pic(f).lHeight, 2);
        EXPECT_EQ(delay(doc, f), "10") << "frame " << f;
    }
    EXPECT_EQ(doc.pic(1).bits, (Pixels{9, 9, 9, 9}));
    EXPECT_EQ(doc.pic(2).bits, (Pixels{9, 1, 4, 5}));
    EXPECT_EQ(doc.pic(3).bits, (Pixels{2, 3, 6, 7}));
    EXPECT_EQ(delay(doc, 0), "10") << "the base keeps its delay";
    EXPECT_EQ(doc.globals().width, "2");
}

} // namespace
} // namespace velmar
