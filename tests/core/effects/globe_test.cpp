#include "document/document.h"
#include "effects/geometric.h"
#include "support/frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace velmar;
using velmar::test::addFrame;
using velmar::test::rampPalette;

namespace
{

constexpr uint8_t kBack = 0;   // background colour passed to the effect
constexpr uint8_t kDisc = 5;   // the picture's top-left pixel
constexpr uint8_t kCol0 = 6;   // the rest of source column 0
constexpr uint8_t kFirst = 10; // source column j >= 1 has colour kFirst + j

// A picture whose columns can be told apart by colour: column j is
// kFirst + j, except column 0 (kCol0, with the top-left pixel kDisc).
int addColumns(Document &doc, int w, int h)
{
    std::vector<uint8_t> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[size_t(y * w + x)] = uint8_t(x == 0 ? kCol0 : kFirst + x);
    px[0] = kDisc;
    return addFrame(doc, w, h, px, 256, rampPalette(0));
}

uint8_t px(const PicInfo &p, int x, int y)
{
    return p.bits[size_t(y) * size_t(p.lWidth) + size_t(x)];
}

bool isPicture(uint8_t v)
{
    return v == kCol0 || v > kFirst;
}

// Whether pixel (x, y) lies clearly outside the ellipse inscribed in the
// frame: more than half a pixel (the rounding of a plotted point) beyond it
// horizontally.
bool outsideEllipse(int x, int y, int w, int h)
{
    const double rx = (w - 1) / 2.0;
    const double ry = (h - 1) / 2.0;
    const double v = (y - ry) / ry;
    const double reach = rx * std::sqrt(std::max(0.0, 1 - v * v)) + 0.5 + 1e-9;
    return std::abs(x - rx) > reach;
}

} // namespace

TEST(GlobeFrames, NCopiesOfTheBaseWithTheCopyDelay)
{
    Document doc;
    const int base = addColumns(doc, 9, 7);
    ASSERT_TRUE(autoGlobe(doc, base, 3, kBack));
    ASSERT_EQ(doc.picCount(), base + 4);
    for (int k = 1; k <= 3; ++k) {
        EXPECT_EQ(doc.pic(base + k).lWidth, 9);
        EXPECT_EQ(doc.pic(base + k).lHeight, 7);
        EXPECT_EQ(doc.pic(base + k).colors, doc.pic(base).colors);
        EXPECT_EQ(doc.grid().TextMatrix(base + k + 1, 8), QStringLiteral("50"));
    }
    EXPECT_EQ(doc.pic(base).bits[0], kDisc) << "the base frame is not changed";
}

TEST(GlobeFirstFrame, ShowsTheDiscAndAtMostOnePictureColumnAtItsRightEdge)
{
    Document doc;
    const int w = 9;
    const int h = 7;
    const int base = addColumns(doc, w, h);
    ASSERT_TRUE(autoGlobe(doc, base, 4, kBack));
    const PicInfo &f = doc.pic(base + 1);
    for (int y = 0; y < h; ++y) {
        int left = w;
        int right = -1;
        int picture = 0;
        for (int x = 0; x < w; ++x) {
            const uint8_t v = px(f, x, y);
            if (v == kBack)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            if (isPicture(v))
                ++picture;
            else
                EXPECT_EQ(v, kDisc) << "pixel (" << x << ", " << y << ")";
        }
        ASSERT_LE(left, right) << "row " << y << " has no disc";
        for (int x = left; x <= right; ++x)
            EXPECT_NE(px(f, x, y), kBack) << "the disc has a hole at (" << x << ", " << y << ")";
        EXPECT_LE(picture, 1) << "row " << y;
        if (picture == 1) {
            EXPECT_TRUE(isPicture(px(f, right, y))) << "the picture pixel of row " << y << " is not at the right edge";
        }
    }
    // The equator spans the whole width; the poles are single points in the
    // middle column of an odd width.
    for (int x = 0; x < w; ++x)
        EXPECT_NE(px(f, x, 3), kBack);
    for (int y : {0, h - 1})
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(px(f, x, y) != kBack, x == 4) << "pixel (" << x << ", " << y << ")";
}

TEST(GlobeMiddleFrame, SpreadsThePictureUnmirroredAndNeverShowsColumnZero)
{
    // n = 4: the third frame has phase -pi + 2 (2 pi / 4) = 0, so longitudes
    // 0 .. pi of the front half carry source columns W - 1 down to 1.
    Document doc;
    const int w = 9;
    const int h = 7;
    const int base = addColumns(doc, w, h);
    ASSERT_TRUE(autoGlobe(doc, base, 4, kBack));
    const PicInfo &f = doc.pic(base + 3);
    for (int y = 0; y < h; ++y) {
        int previous = -1;
        int disc = 0;
        for (int x = 0; x < w; ++x) {
            const uint8_t v = px(f, x, y);
            EXPECT_NE(v, kCol0) << "source column 0 shows at (" << x << ", " << y << ")";
            if (v == kDisc)
                ++disc;
            if (!isPicture(v))
                continue;
            EXPECT_GE(v, previous) << "columns out of order (mirrored?) at (" << x << ", " << y << ")";
            previous = v;
        }
        EXPECT_LE(disc, 1) << "more than the left edge of row " << y << " is still bare disc";
    }
    // Source column W - 1 lies at the disc's right edge, but the next
    // longitude (column W - 1.5) lands on the same edge pixel and overwrites
    // it where W i + W - 1.5 rounds down to column W - 2: on the odd rows of
    // a width of 9.
    EXPECT_EQ(px(f, w - 1, 2), kFirst + w - 1);
    EXPECT_EQ(px(f, w - 1, 3), kFirst + w - 2);
}

TEST(GlobeOutline, EverythingOutsideTheInscribedEllipseStaysBackground)
{
    for (const auto &size : {std::pair{9, 7}, std::pair{20, 11}, std::pair{6, 16}}) {
        Document doc;
        const int w = size.first;
        const int h = size.second;
        const int base = addColumns(doc, w, h);
        ASSERT_TRUE(autoGlobe(doc, base, 5, kBack));
        for (int k = 1; k <= 5; ++k)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (outsideEllipse(x, y, w, h)) {
                        EXPECT_EQ(px(doc.pic(base + k), x, y), kBack)
                            << w << "x" << h << " frame " << k << " pixel (" << x << ", " << y << ")";
                    }
    }
}

TEST(GlobeOutline, PolesOfAnEvenWidthAreTwoPixels)
{
    // The poles fall on the half pixel between the two middle columns; the
    // longitudes on either side of the meridian round to either neighbour.
    Document doc;
    const int base = addColumns(doc, 8, 6);
    ASSERT_TRUE(autoGlobe(doc, base, 4, kBack));
    const PicInfo &f = doc.pic(base + 1);
    for (int y : {0, 5})
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(px(f, x, y) != kBack, x == 3 || x == 4) << "pixel (" << x << ", " << y << ")";
}

TEST(GlobeRefusal, TooNarrowOrTooLowBasesAddNothing)
{
    for (const auto &size : {std::pair{2, 5}, std::pair{1, 5}, std::pair{5, 1}}) {
        Document doc;
        const int base = addColumns(doc, size.first, size.second);
        EXPECT_EQ(autoGlobe(doc, base, 4, kBack).error(), QStringLiteral("パラメーターに誤りがあります。"))
            << size.first << "x" << size.second;
        EXPECT_EQ(doc.picCount(), 1);
    }
    Document doc;
    const int base = addColumns(doc, 3, 2);
    EXPECT_TRUE(autoGlobe(doc, base, 2, kBack)) << "3 x 2 is the smallest globe";
    EXPECT_EQ(doc.picCount(), 3);
}
