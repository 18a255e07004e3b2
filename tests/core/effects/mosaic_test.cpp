// Mosaic: block means worked out by hand on greys chosen so that every mean
// is itself a palette entry.
#include "effects/effects.h"
#include "support/frames.h"

#include <gtest/gtest.h>

namespace velmar
{
namespace
{

using Pixels = std::vector<uint8_t>;

// 0 black, 1 grey 40, 2 grey 80, 3 (200, 100, 40), 4 (100, 50, 20), 5 (50, 25, 10).
ColorTable mosaicPalette()
{
    ColorTable t{};
    t[0] = {0, 0, 0};
    t[1] = {40, 40, 40};
    t[2] = {80, 80, 80};
    t[3] = {200, 100, 40};
    t[4] = {100, 50, 20};
    t[5] = {50, 25, 10};
    return t;
}

int addPicture(Document &doc, int w, int h, const Pixels &pixels)
{
    return test::addFrame(doc, w, h, pixels, 6, mosaicPalette());
}

TEST(AutoMosaic, TwoFramesGiveOneMosaicOfTwoByTwoBlocksAndNoCopies)
{
    Document doc;
    addPicture(doc, 4, 4,
               {0, 2, 2, 2, //
                0, 2, 2, 2, //
                2, 2, 0, 0, //
                2, 2, 0, 0});
    ASSERT_TRUE(autoMosaic(doc, 0, 2));
    ASSERT_EQ(doc.picCount(), 2);
    // Block means: (0+80+0+80)/4 = 40 -> entry 1; 80 -> 2; 80 -> 2; 0 -> 0.
    const Pixels expected = {1, 1, 2, 2, //
                             1, 1, 2, 2, //
                             2, 2, 0, 0, //
                             2, 2, 0, 0};
    EXPECT_EQ(doc.pic(1).bits, expected);
    EXPECT_EQ(doc.grid().TextMatrix(1, PropertyGrid::ColDelay), "50");
    EXPECT_EQ(doc.grid().TextMatrix(2, PropertyGrid::ColDelay), "50");
}

TEST(AutoMosaic, NarrowEdgeBlockIsDividedByTheFullAreaAndComesOutDarker)
{
    Document doc;
    addPicture(doc, 3, 2, Pixels(6, 3));
    ASSERT_TRUE(autoMosaic(doc, 0, 2));
    // The last block column is one pixel wide: (2 * (200, 100, 40)) / 4 = (100, 50, 20).
    const Pixels expected = {3, 3, 4, //
                             3, 3, 4};
    EXPECT_EQ(doc.pic(1).bits, expected);
}

TEST(AutoMosaic, BlockLargerThanThePictureKeepsAQuarterOfTheMeanPerDoubling)
{
    Document doc;
    addPicture(doc, 16, 16, Pixels(256, 3));
    ASSERT_TRUE(autoMosaic(doc, 0, 6)); // block sizes 2, 4, 8, 16, 32
    ASSERT_EQ(doc.picCount(), 1 + 9) << "2n - 3 frames";
    for (int f = 1; f <= 4; ++f)
        EXPECT_EQ(doc.pic(f).bits, Pixels(256, 3)) << "block size " << (2 << (f - 1));
    // c = 32: 256 * (200, 100, 40) / 1024 = (50, 25, 10).
    EXPECT_EQ(doc.pic(5).bits, Pixels(256, 5));
}

TEST(AutoMosaic, CopiesReplayTheMosaicsFromSecondCoarsestToFinest)
{
    Document doc;
    Pixels pixels(8 * 8);
    for (size_t k = 0; k < pixels.size(); ++k)
        pixels[k] = uint8_t((k * 7 + k / 8) % 6);
    addPicture(doc, 8, 8, pixels);
    ASSERT_TRUE(autoMosaic(doc, 0, 5));
    ASSERT_EQ(doc.picCount(), 1 + 7);
    // Mosaics are frames 1..4 (c = 2, 4, 8, 16); copies 5, 6, 7 repeat 3, 2, 1.
    EXPECT_EQ(doc.pic(5).bits, doc.pic(3).bits);
    EXPECT_EQ(doc.pic(6).bits, doc.pic(2).bits);
    EXPECT_EQ(doc.pic(7).bits, doc.pic(1).bits);
    EXPECT_NE(doc.pic(1).bits, doc.pic(2).bits);
    for (int f = 1; f < 8; ++f)
        EXPECT_EQ(doc.grid().TextMatrix(f + 1, PropertyGrid::ColDelay), "50") << "frame " << f;
}

TEST(AutoMosaic, HugeBlocksDivideToBlackInsteadOfOverflowing)
{
    Document doc;
    addPicture(doc, 2, 2, Pixels(4, 3));
    // n = 18 reaches c = 2^17; c * c passes 32 bits from c = 2^16 on.
    ASSERT_TRUE(autoMosaic(doc, 0, 18));
    ASSERT_EQ(doc.picCount(), 1 + 33);
    EXPECT_EQ(doc.pic(16).bits, Pixels(4, 0)) << "c = 2^16";
    EXPECT_EQ(doc.pic(17).bits, Pixels(4, 0)) << "c = 2^17";
}

} // namespace
} // namespace velmar
