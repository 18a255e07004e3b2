#include "document/picinfo.h"
#include "effects/quad.h"

#include "support/frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace velmar;
using velmar::test::greys;

namespace
{

PicInfo picture(int w, int h, std::vector<uint8_t> bits, const ColorTable &colors, int nColors = 256)
{
    PicInfo p;
    p.lWidth = w;
    p.lHeight = h;
    p.bits = std::move(bits);
    p.colors = colors;
    p.nColors = int16_t(nColors);
    return p;
}

// Corners given as the picture's top-left, top-right, bottom-left,
// bottom-right, turned into the routines' order (BR, BL, TL, TR).
Quad corners(int tlx, int tly, int trx, int try_, int blx, int bly, int brx, int bry)
{
    return Quad{int16_t(brx), int16_t(bry), int16_t(blx), int16_t(bly),
                int16_t(tlx), int16_t(tly), int16_t(trx), int16_t(try_)};
}

uint8_t at(const std::vector<uint8_t> &buf, int w, int x, int y)
{
    return buf[size_t(y * w + x)];
}

} // namespace

TEST(AddPolar, MovesByLengthAlongTheAngle)
{
    double x = 1;
    double y = 2;
    addPolar(x, y, 0, 3);
    EXPECT_DOUBLE_EQ(x, 4);
    EXPECT_DOUBLE_EQ(y, 2);
    addPolar(x, y, M_PI / 2, 2);
    EXPECT_NEAR(x, 4, 1e-12);
    EXPECT_DOUBLE_EQ(y, 4);
    addPolar(x, y, M_PI, 4);
    EXPECT_NEAR(x, 0, 1e-12);
    EXPECT_NEAR(y, 4, 1e-12);
}

TEST(MapToQuad, SameSizeRectangleCopiesPixelsAndLeavesBottomAndRightEdgesAlone)
{
    // A 4 x 3 picture into the rectangle (0,0)-(4,3) of a 6 x 5 target: every
    // source pixel lands on its own coordinates; column 4 and row 3 are the
    // far edges, which the picture reaches but does not cover.
    const ColorTable g = greys();
    std::vector<uint8_t> src(12);
    for (int i = 0; i < 12; ++i)
        src[size_t(i)] = uint8_t(10 + 10 * i);
    const PicInfo source = picture(4, 3, src, g);
    std::vector<uint8_t> buf(30, 7);
    mapToQuad(source, buf, 6, 5, g, 256, corners(0, 0, 4, 0, 0, 3, 4, 3));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const uint8_t want = (x < 4 && y < 3) ? uint8_t(10 + 10 * (y * 4 + x)) : 7;
            EXPECT_EQ(at(buf, 6, x, y), want) << "pixel (" << x << ", " << y << ")";
        }
}

TEST(MapToQuad, ShrinkingAveragesEachChannelTruncatedThenTakesNearestEntry)
{
    // A 4 x 2 picture into the 2 x 1 rectangle (0,0)-(2,1). Columns land at
    // 2*sx/4 = 0, 0.5, 1, 1.5, rounded halves to even: 0, 0, 1, 2; rows at
    // sy/2 = 0, 0.5: both on row 0. So target (0,0) gets source pixels 0, 1,
    // 4, 5; (1,0) gets 2 and 6; (2,0) gets 3 and 7.
    ColorTable pal{};
    for (auto &c : pal)
        c = {250, 250, 250};
    pal[1] = {10, 20, 30};
    pal[2] = {11, 21, 31};
    pal[5] = {12, 22, 32};
    pal[6] = {14, 23, 30};
    // (10+11+12+14)/4 = 11.75 -> 11, (20+21+22+23)/4 = 21.5 -> 21,
    // (30+31+32+30)/4 = 30.75 -> 30. Rounding instead of truncating would give
    // (12, 22, 31), nearest to entry 5.
    pal[20] = {11, 21, 30};
    pal[3] = {100, 0, 0};
    pal[7] = {0, 100, 0};
    pal[4] = {0, 0, 100};
    pal[8] = {0, 0, 50};
    pal[30] = {50, 50, 0}; // (100 + 0) / 2, (0 + 100) / 2, 0
    pal[31] = {0, 0, 75};  // (100 + 50) / 2
    const PicInfo source = picture(4, 2, {1, 2, 3, 4, 5, 6, 7, 8}, pal);
    std::vector<uint8_t> buf(4 * 2, 0);
    mapToQuad(source, buf, 4, 2, pal, 256, corners(0, 0, 2, 0, 0, 1, 2, 1));
    EXPECT_EQ(at(buf, 4, 0, 0), 20);
    EXPECT_EQ(at(buf, 4, 1, 0), 30);
    EXPECT_EQ(at(buf, 4, 2, 0), 31);
    EXPECT_EQ(at(buf, 4, 3, 0), 0) << "nothing lands on column 3";
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(at(buf, 4, x, 1), 0) << "nothing lands on row 1";
}

TEST(MapToQuad, StretchingLeavesGapsWithTheBufferContents)
{
    // 2 x 2 into (0,0)-(4,4): pixels land on 0 and 2 in both directions only.
    const ColorTable g = greys();
    const PicInfo source = picture(2, 2, {10, 20, 30, 40}, g);
    std::vector<uint8_t> buf(36, 99);
    mapToQuad(source, buf, 6, 6, g, 256, corners(0, 0, 4, 0, 0, 4, 4, 4));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            uint8_t want = 99;
            if (x % 2 == 0 && y % 2 == 0 && x < 4 && y < 4)
                want = uint8_t(10 + 10 * (x / 2) + 20 * (y / 2));
            EXPECT_EQ(at(buf, 6, x, y), want) << "pixel (" << x << ", " << y << ")";
        }
}

TEST(MapToQuad, DegenerateQuadTakesTheAverageOfTheWholePicture)
{
    const ColorTable g = greys();
    // Mean of 10, 20, ..., 90 and 95 is 545 / 10 = 54.5, truncated to 54.
    const PicInfo source = picture(5, 2, {10, 20, 30, 40, 50, 60, 70, 80, 90, 95}, g);
    std::vector<uint8_t> buf(16, 1);
    mapToQuad(source, buf, 4, 4, g, 256, corners(3, 2, 3, 2, 3, 2, 3, 2));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(at(buf, 4, x, y), (x == 3 && y == 2) ? 54 : 1) << "pixel (" << x << ", " << y << ")";
}

TEST(MapToQuad, SumsOfAHugePictureInOnePixelDoNotOverflow)
{
    // 4096 x 2100 white pixels: each channel sums to 2 193 408 000, past the
    // 32-bit range; the average must still be white.
    ColorTable pal{};
    pal[0] = {0, 0, 0};
    pal[1] = {255, 255, 255};
    const PicInfo source = picture(4096, 2100, std::vector<uint8_t>(size_t(4096) * 2100, 1), pal, 2);
    std::vector<uint8_t> buf(4, 0);
    mapToQuad(source, buf, 2, 2, pal, 2, corners(1, 1, 1, 1, 1, 1, 1, 1));
    EXPECT_EQ(buf, std::vector<uint8_t>({0, 0, 0, 1}));
}

// Around 257 pixels on one cell, where sums of bright pixels stop fitting in
// 16 bits a channel, in one row, one column or over several rows, twice with
// one scratch: the second picture's average shows whether the first one's
// sums were all cleared.
class MapToQuadManyPixels : public ::testing::TestWithParam<std::pair<int, int>>
{
};

TEST_P(MapToQuadManyPixels, AverageOfAllOfThemWhateverTheirNumber)
{
    const auto [w, h] = GetParam();
    const ColorTable g = greys();
    std::vector<uint8_t> bright(size_t(w) * size_t(h), 255);
    long sum = 0;
    for (size_t k = 0; k < bright.size(); ++k) {
        if (k % 7 == 3)
            bright[k] = 200;
        sum += bright[k];
    }
    QuadScratch scratch;
    std::vector<uint8_t> buf(9, 1);
    mapToQuad(picture(w, h, bright, g), buf, 3, 3, g, 256, corners(1, 1, 1, 1, 1, 1, 1, 1), scratch);
    mapToQuad(picture(w, h, std::vector<uint8_t>(bright.size(), 16), g), buf, 3, 3, g, 256,
              corners(2, 0, 2, 0, 2, 0, 2, 0), scratch);
    EXPECT_EQ(buf, std::vector<uint8_t>({1, 1, 16, 1, uint8_t(sum / long(bright.size())), 1, 1, 1, 1}));
}

INSTANTIATE_TEST_SUITE_P(Counts, MapToQuadManyPixels,
                         ::testing::Values(std::pair{257, 1}, std::pair{258, 1}, std::pair{1, 258}, std::pair{16, 17},
                                           std::pair{300, 2}, std::pair{2, 300}));

TEST(MapToQuad, ColoursOfAnotherPaletteAreMatchedToTheTargetPalette)
{
    ColorTable srcPal{};
    srcPal[0] = {200, 0, 0};
    srcPal[1] = {0, 0, 190};
    ColorTable targetPal{};
    targetPal[0] = {0, 0, 0};
    targetPal[1] = {0, 0, 255};
    targetPal[2] = {255, 0, 0};
    const PicInfo source = picture(2, 1, {0, 1}, srcPal, 2);
    std::vector<uint8_t> buf(2, 0);
    mapToQuad(source, buf, 2, 1, targetPal, 3, corners(0, 0, 2, 0, 0, 1, 2, 1));
    EXPECT_EQ(buf[0], 2);
    EXPECT_EQ(buf[1], 1);
}

TEST(MapToQuad, PointsOutsideTheBufferAreClippedNotWrapped)
{
    // A 4 x 1 picture into (2,1)-(6,2) of a 4 x 4 target: columns land on
    // x = 2, 3, 4, 5; the last two lie beyond the right edge. Without clipping
    // they would land on (0,2) and (1,2) of the next row.
    const ColorTable g = greys();
    const PicInfo source = picture(4, 1, {10, 20, 30, 40}, g);
    std::vector<uint8_t> buf(16 + 8, 0);
    mapToQuad(source, std::span<uint8_t>(buf.data(), 16), 4, 4, g, 256, corners(2, 1, 6, 1, 2, 2, 6, 2));
    std::vector<uint8_t> want(24, 0);
    want[1 * 4 + 2] = 10;
    want[1 * 4 + 3] = 20;
    EXPECT_EQ(buf, want);

    // Above, left of and below the buffer: nothing is written anywhere.
    std::vector<uint8_t> buf2(16 + 8, 0);
    mapToQuad(source, std::span<uint8_t>(buf2.data(), 16), 4, 4, g, 256, corners(-8, -3, -4, -3, -8, -2, -4, -2));
    mapToQuad(source, std::span<uint8_t>(buf2.data(), 16), 4, 4, g, 256, corners(0, 4, 4, 4, 0, 5, 4, 5));
    EXPECT_EQ(buf2, std::vector<uint8_t>(24, 0));
}

TEST(DrawQuadEdges, OutlinesASquareAndLeavesTheInside)
{
    std::vector<uint8_t> buf(49, 0);
    drawQuadEdges(buf, 4, 4, 7, 7, 9, corners(1, 1, 5, 1, 1, 5, 5, 5));
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x) {
            const bool inSquare = x >= 1 && x <= 5 && y >= 1 && y <= 5;
            const bool onEdge = inSquare && (x == 1 || x == 5 || y == 1 || y == 5);
            EXPECT_EQ(at(buf, 7, x, y), onEdge ? 9 : 0) << "pixel (" << x << ", " << y << ")";
        }
}

TEST(DrawQuadEdges, EachEdgeGetsStepsPlusOnePointsWhateverItsLength)
{
    // An 8 x 8 square with 2 steps across and 4 down: top and bottom edges at
    // x = 0, 4, 8; left and right edges at y = 0, 2, 4, 6, 8.
    std::vector<uint8_t> buf(81, 0);
    drawQuadEdges(buf, 2, 4, 9, 9, 5, corners(0, 0, 8, 0, 0, 8, 8, 8));
    int painted = 0;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) {
            const bool topOrBottom = (y == 0 || y == 8) && x % 4 == 0;
            const bool leftOrRight = (x == 0 || x == 8) && y % 2 == 0;
            EXPECT_EQ(at(buf, 9, x, y), (topOrBottom || leftOrRight) ? 5 : 0) << "pixel (" << x << ", " << y << ")";
            painted += at(buf, 9, x, y) == 5;
        }
    EXPECT_EQ(painted, 3 + 3 + 3 + 3) << "corners shared: 4 corners, 2 more top/bottom, 6 more left/right";
}

TEST(DrawQuadEdges, HalfwayPointsRoundToTheEvenPixel)
{
    // A top edge from x = 0 to x = 3 in 2 steps: 0, 1.5 -> 2, 3. A bottom edge
    // from x = 0 to 5 in 2 steps: 0, 2.5 -> 2, 5.
    std::vector<uint8_t> buf(6 * 3, 0);
    drawQuadEdges(buf, 2, 1, 6, 3, 1, corners(0, 0, 3, 0, 0, 2, 5, 2));
    const std::vector<uint8_t> want = {1, 0, 1, 1, 0, 0, //
                                       0, 0, 0, 0, 0, 0, //
                                       1, 0, 1, 0, 0, 1};
    // Left edge (0,0)-(0,2) and right edge (3,0)-(5,2) with 1 step: their ends only.
    EXPECT_EQ(buf, want);
}

TEST(DrawQuadEdges, PointsOutsideTheBufferAreClipped)
{
    // A square reaching one pixel past every side of a 4 x 3 target.
    std::vector<uint8_t> buf(12 + 6, 0);
    drawQuadEdges(std::span<uint8_t>(buf.data(), 12), 5, 4, 4, 3, 8, corners(-1, -1, 4, -1, -1, 3, 4, 3));
    EXPECT_EQ(buf, std::vector<uint8_t>(18, 0)) << "every edge lies outside; nothing wraps or overruns";

    std::vector<uint8_t> buf2(12, 0);
    drawQuadEdges(buf2, 5, 4, 4, 3, 8, corners(-1, 0, 4, 0, -1, 2, 4, 2));
    const std::vector<uint8_t> want = {8, 8, 8, 8, //
                                       0, 0, 0, 0, //
                                       8, 8, 8, 8};
    EXPECT_EQ(buf2, want) << "the left and right edges at x = -1 and x = 4 are dropped";
}

TEST(DrawQuadEdges, ZeroStepsDrawNothingForThatPairOfEdges)
{
    std::vector<uint8_t> buf(25, 0);
    drawQuadEdges(buf, 0, 0, 5, 5, 3, corners(0, 0, 4, 0, 0, 4, 4, 4));
    EXPECT_EQ(buf, std::vector<uint8_t>(25, 0));
}
