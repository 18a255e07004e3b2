#include "document/document.h"
#include "effects/geometric.h"
#include "support/frames.h"

#include <gtest/gtest.h>

#include <vector>

using namespace velmar;
using velmar::test::addFrame;
using velmar::test::greys;

namespace
{

constexpr uint8_t kB = 0;      // the top-left pixel: background of the effect
constexpr uint8_t kEdge = 250; // thickness colour

// A base picture whose column 0 is all background and whose columns 1.. are
// given by value(column, row).
template <typename F> int addPicture(Document &doc, int w, int h, F value)
{
    std::vector<uint8_t> px(size_t(w) * size_t(h), kB);
    for (int y = 0; y < h; ++y)
        for (int x = 1; x < w; ++x)
            px[size_t(y * w + x)] = uint8_t(value(x, y));
    return addFrame(doc, w, h, px, 256, greys());
}

uint8_t px(const PicInfo &p, int x, int y)
{
    return p.bits[size_t(y) * size_t(p.lWidth) + size_t(x)];
}

std::vector<uint8_t> column(const PicInfo &p, int x)
{
    std::vector<uint8_t> c;
    for (int y = 0; y < p.lHeight; ++y)
        c.push_back(px(p, x, y));
    return c;
}

std::vector<uint8_t> row(const PicInfo &p, int y)
{
    return std::vector<uint8_t>(p.bits.begin() + y * p.lWidth, p.bits.begin() + (y + 1) * p.lWidth);
}

} // namespace

// At the start the picture keeps its width and lies about a tenth of H below
// the top. The output row of sample y is floor((1.2 - 1) * H / 2 + y), and
// 1.2 - 1 is 0.19999999999999996 in doubles, so the offset is just under 0.1 H:
//   H = 10: offset 0.9999999999999998. Samples y = 0 -> row 0, 0.5 and 1 ->
//   row 1 (source rows 0 and 1 averaged), 1.5 -> row 2; from y = 2 on the sum
//   rounds up to a whole number, so source row k >= 2 lands on row k + 1.
//   H = 15: offset 1.4999999999999996. Source rows 0, 1, 2 land (twice) on
//   rows 1, 2, 3; source row 3 once on row 4; from row 5 on every row gets the
//   second sample of one source row and the first of the next.
// Source row r has brightness 20 + 10 r in columns 1 and 2.
TEST(CardTurnFirstFrame, TenRowsStartAtTheTopWithRowOneAveraged)
{
    Document doc;
    const int base = addPicture(doc, 3, 10, [](int, int y) { return 20 + 10 * y; });
    ASSERT_TRUE(autoCardTurn(doc, base, 2, kEdge));
    const PicInfo &f = doc.pic(base + 1);
    ASSERT_EQ(f.lWidth, 3);
    ASSERT_EQ(f.lHeight, 12);
    const std::vector<uint8_t> want = {20, 25, 30, 40, 50, 60, 70, 80, 90, 100, 110, kB};
    EXPECT_EQ(column(f, 1), want);
    EXPECT_EQ(column(f, 2), want);
    EXPECT_EQ(column(f, 0), std::vector<uint8_t>(12, kB));
}

TEST(CardTurnFirstFrame, FifteenRowsAverageNeighboursFromRowFiveOn)
{
    Document doc;
    const int base = addPicture(doc, 3, 15, [](int, int y) { return 20 + 10 * y; });
    ASSERT_TRUE(autoCardTurn(doc, base, 2, kEdge));
    const PicInfo &f = doc.pic(base + 1);
    ASSERT_EQ(f.lHeight, 18);
    const std::vector<uint8_t> want = {kB, 20, 30, 40, 50, 55, 65, 75, 85, 95, 105, 115, 125, 135, 145, 155, kB, kB};
    EXPECT_EQ(column(f, 1), want);
    EXPECT_EQ(column(f, 2), want);
}

TEST(CardTurnFirstFrame, PixelsLikeTheTopLeftOneAreNeverDrawn)
{
    // Source pixel (2, 5) has the background index; row 5 alone lands on
    // output row 6, so that pixel stays background while column 1 is drawn.
    Document doc;
    const int base = addPicture(doc, 3, 10, [](int x, int y) { return (x == 2 && y == 5) ? kB : 20 + 10 * y; });
    ASSERT_TRUE(autoCardTurn(doc, base, 2, kEdge));
    const PicInfo &f = doc.pic(base + 1);
    EXPECT_EQ(px(f, 1, 6), 70);
    EXPECT_EQ(px(f, 2, 6), kB);
    EXPECT_EQ(px(f, 2, 5), 60);
    EXPECT_EQ(px(f, 2, 7), 80);
}

TEST(CardTurnSideOn, QuarterTurnCollapsesToTheMiddleAtHalfBrightnessWithAFivePixelEdge)
{
    // n = 4: the second frame is at exactly 1.570796326794895. All fourteen
    // picture columns of a 15-pixel-wide picture fall on the middle column 7;
    // brightness 200 is halved to 100. The column stretched most (s = 1.2)
    // reaches rows 0 to 10, so those rows carry the picture and row 11 none.
    // Scanning backwards, each row's run ends at column 7 and the next five
    // pixels in scan order, columns 6 to 2, become the edge.
    Document doc;
    const int base = addPicture(doc, 15, 10, [](int, int) { return 200; });
    ASSERT_TRUE(autoCardTurn(doc, base, 4, kEdge));
    ASSERT_EQ(doc.picCount(), base + 5);
    const PicInfo &f = doc.pic(base + 2);
    ASSERT_EQ(f.lHeight, 12);
    for (int y = 0; y <= 10; ++y) {
        std::vector<uint8_t> want(15, kB);
        want[7] = 100;
        for (int x = 2; x <= 6; ++x)
            want[size_t(x)] = kEdge;
        EXPECT_EQ(row(f, y), want) << "row " << y;
    }
    EXPECT_EQ(row(f, 11), std::vector<uint8_t>(15, kB));
}

TEST(CardTurnSideOn, HalfTurnShowsTheBackMirroredAtHalfBrightness)
{
    // n = 2: the second frame is at half a turn. Column j goes to 4 - j and its
    // brightness 40 j is halved; the edge is round(5 sin(pi)) = 0 pixels.
    Document doc;
    const int base = addPicture(doc, 5, 4, [](int x, int) { return 40 * x; });
    ASSERT_TRUE(autoCardTurn(doc, base, 2, kEdge));
    const PicInfo &f = doc.pic(base + 2);
    const uint8_t want[5] = {80, 60, 40, 20, kB};
    for (int x = 0; x < 5; ++x) {
        int drawn = 0;
        for (int y = 0; y < f.lHeight; ++y) {
            const uint8_t v = px(f, x, y);
            if (v != kB) {
                EXPECT_EQ(v, want[x]) << "pixel (" << x << ", " << y << ")";
                ++drawn;
            }
        }
        EXPECT_GE(drawn, x < 4 ? 4 : 0) << "column " << x;
    }
}

TEST(CardTurnEdge, TheEdgeCounterRunsOnAcrossRowsAndFrames)
{
    // n = 8, a 3-pixel-wide picture drawn only in its last column. At an
    // eighth of a turn (second frame) that column stays at column 2 and the
    // edge is round(5 sin(pi/4)) = 4, scanned forwards: the picture at the end
    // of each row gives its edge to the first two pixels of the next row, and
    // after the last picture row (10) the edge covers row 11 and is still owed
    // one pixel when the frame ends. The third frame (a quarter turn) scans
    // backwards from its last pixel and pays that pixel first.
    Document doc;
    const int base = addPicture(doc, 3, 10, [](int x, int) { return x == 2 ? 200 : kB; });
    ASSERT_TRUE(autoCardTurn(doc, base, 8, kEdge));
    const PicInfo &eighth = doc.pic(base + 2);
    ASSERT_EQ(eighth.lHeight, 12);
    EXPECT_EQ(row(eighth, 0), std::vector<uint8_t>({kB, kB, 200}));
    for (int y = 1; y <= 10; ++y)
        EXPECT_EQ(row(eighth, y), std::vector<uint8_t>({kEdge, kEdge, 200})) << "row " << y;
    EXPECT_EQ(row(eighth, 11), std::vector<uint8_t>({kEdge, kEdge, kEdge}));

    const PicInfo &quarter = doc.pic(base + 3);
    EXPECT_EQ(row(quarter, 11), std::vector<uint8_t>({kB, kB, kEdge}));
}

TEST(CardTurnFrames, NFramesOfTheBaseWidthAndRoundedHeightWithTheLastRowBackground)
{
    // H = 4: the frames are round(4.8) = 5 rows high, the picture covers
    // floor(4.8) = 4 of them.
    Document doc;
    const int base = addPicture(doc, 3, 4, [](int, int) { return 200; });
    ASSERT_TRUE(autoCardTurn(doc, base, 3, kEdge));
    ASSERT_EQ(doc.picCount(), base + 4);
    for (int k = 1; k <= 3; ++k) {
        const PicInfo &f = doc.pic(base + k);
        EXPECT_EQ(f.lWidth, 3);
        EXPECT_EQ(f.lHeight, 5);
        EXPECT_EQ(row(f, 4), std::vector<uint8_t>(3, kB)) << "frame " << k;
        EXPECT_EQ(doc.grid().TextMatrix(base + k + 1, 8), QStringLiteral("10"));
    }
    EXPECT_EQ(doc.globals().height, QStringLiteral("5"));
}

TEST(CardTurnFrames, OnePixelWideBaseIsRefusedWithoutAddingFrames)
{
    Document doc;
    const int base = addFrame(doc, 1, 5, std::vector<uint8_t>(5, 3), 256, greys());
    EXPECT_EQ(autoCardTurn(doc, base, 4, kEdge).error(), QStringLiteral("パラメーターに誤りがあります。"));
    EXPECT_EQ(doc.picCount(), 1);
}
