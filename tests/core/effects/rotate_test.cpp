// Rotation: exact pixels of small pictures, worked out by hand from the
// geometry (centre at (W/2, H/2) in pixel-index coordinates, clockwise turn).
#include "effects/effects.h"
#include "support/frames.h"

#include <gtest/gtest.h>

namespace velmar
{
namespace
{

using Pixels = std::vector<uint8_t>;
constexpr uint8_t B = 99; // background index

// 1 .. 16 row by row, so every source pixel is recognisable.
const Pixels kRamp4x4 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

int addRamp(Document &doc)
{
    return test::addFrame(doc, 4, 4, kRamp4x4, 256, test::rampPalette(0));
}

TEST(AutoRotate, HalfTurnOfFourByFourLeavesTopRowAndLeftColumnBackground)
{
    Document doc;
    addRamp(doc);
    ASSERT_TRUE(autoRotate(doc, 0, 2, B));
    ASSERT_EQ(doc.picCount(), 2);
    // Output (i, j) shows source (4 - i, 4 - j); row 0 and column 0 map to
    // row or column 4, outside the picture.
    const Pixels expected = {B, B,  B,  B,  //
                             B, 16, 15, 14, //
                             B, 12, 11, 10, //
                             B, 8,  7,  6};
    EXPECT_EQ(doc.pic(1).bits, expected);
}

TEST(AutoRotate, QuarterTurnsOfFourByFour)
{
    Document doc;
    addRamp(doc);
    ASSERT_TRUE(autoRotate(doc, 0, 4, B));
    ASSERT_EQ(doc.picCount(), 4) << "n = 4 adds three turned frames";
    // Quarter turn: output (i, j) shows source (4 - j, i); column 0 is background.
    const Pixels quarter = {B, 13, 9,  5, //
                            B, 14, 10, 6, //
                            B, 15, 11, 7, //
                            B, 16, 12, 8};
    EXPECT_EQ(doc.pic(1).bits, quarter);
    const Pixels half = {B, B,  B,  B,  //
                         B, 16, 15, 14, //
                         B, 12, 11, 10, //
                         B, 8,  7,  6};
    EXPECT_EQ(doc.pic(2).bits, half);
    // Three quarters: output (i, j) shows source (j, 4 - i); row 0 is background.
    const Pixels threeQuarters = {B, B, B,  B,  //
                                  4, 8, 12, 16, //
                                  3, 7, 11, 15, //
                                  2, 6, 10, 14};
    EXPECT_EQ(doc.pic(3).bits, threeQuarters);
}

TEST(AutoRotate, CentrePixelOfEvenPictureKeepsItsValueInEveryFrame)
{
    Document doc;
    Pixels pixels(6 * 4, 3);
    pixels[2 * 6 + 3] = 42; // column W/2 = 3, row H/2 = 2
    test::addFrame(doc, 6, 4, pixels, 256, test::rampPalette(0));
    ASSERT_TRUE(autoRotate(doc, 0, 7, B));
    ASSERT_EQ(doc.picCount(), 7);
    for (int f = 1; f < 7; ++f)
        EXPECT_EQ(doc.pic(f).bits[2 * 6 + 3], 42) << "frame " << f;
}

TEST(AutoRotate, CornersOfASquareAtFortyFiveDegreesAreBackground)
{
    Document doc;
    test::addFrame(doc, 8, 8, Pixels(64, 5), 256, test::rampPalette(0));
    ASSERT_TRUE(autoRotate(doc, 0, 8, B)); // first added frame: 45 degrees
    const Pixels &out = doc.pic(1).bits;
    EXPECT_EQ(out[0], B);
    EXPECT_EQ(out[7], B);
    EXPECT_EQ(out[7 * 8], B);
    EXPECT_EQ(out[63], B);
    EXPECT_EQ(out[4 * 8 + 4], 5);
    EXPECT_EQ(doc.pic(1).lWidth, 8);
    EXPECT_EQ(doc.pic(1).colors, doc.pic(0).colors);
}

TEST(AutoRotate, BaseRestsOneSecondAndTurnedFramesHalfASecond)
{
    Document doc;
    addRamp(doc);
    ASSERT_TRUE(autoRotate(doc, 0, 8, B));
    ASSERT_EQ(doc.picCount(), 8);
    EXPECT_EQ(doc.grid().TextMatrix(1, PropertyGrid::ColDelay), "100");
    for (int f = 1; f < 8; ++f)
        EXPECT_EQ(doc.grid().TextMatrix(f + 1, PropertyGrid::ColDelay), "50") << "frame " << f;
}

TEST(AutoRotate, TurnsOnlyTheBaseFrameAmongOthers)
{
    Document doc;
    test::addFrame(doc, 2, 2, {1, 1, 1, 1}, 256, test::rampPalette(0));
    addRamp(doc);
    ASSERT_TRUE(autoRotate(doc, 1, 2, B));
    ASSERT_EQ(doc.picCount(), 3);
    EXPECT_EQ(doc.grid().TextMatrix(1, PropertyGrid::ColDelay), "10") << "frame 0 untouched";
    EXPECT_EQ(doc.grid().TextMatrix(2, PropertyGrid::ColDelay), "100");
    EXPECT_EQ(doc.pic(2).bits[5], 16);
}

} // namespace
} // namespace velmar
