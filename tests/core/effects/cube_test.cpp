#include "document/document.h"
#include "effects/cube.h"
#include "support/frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using namespace velmar;
using velmar::test::addFrame;
using velmar::test::greys;

namespace
{

int solid(Document &doc, int w, int h, uint8_t index, const ColorTable &colors = greys())
{
    return addFrame(doc, w, h, std::vector<uint8_t>(size_t(w) * size_t(h), index), 256, colors);
}

std::set<int> shownFaces(const std::array<bool, 4> &f)
{
    std::set<int> s;
    for (int i = 0; i < 4; ++i)
        if (f[size_t(i)])
            s.insert(i + 1);
    return s;
}

std::set<int> shownFaces(const std::array<bool, 3> &f)
{
    std::set<int> s;
    for (int i = 0; i < 3; ++i)
        if (f[size_t(i)])
            s.insert(i + 1);
    return s;
}

std::set<uint8_t> coloursIn(const PicInfo &p)
{
    return std::set<uint8_t>(p.bits.begin(), p.bits.end());
}

uint8_t px(const PicInfo &p, int x, int y)
{
    return p.bits[size_t(y) * size_t(p.lWidth) + size_t(x)];
}

constexpr double kPi = 3.14159265358979323846;

} // namespace

// --- Cube geometry -----------------------------------------------------------

TEST(CubeVertices, AtRestFrontFaceIsASquareOfTheFaceSizeAndTheBackFaceSixTenths)
{
    // s = 100 in a 160 x 160 frame: the front face spans 100 pixels about the
    // centre (80), the back face 60; every coordinate carries the 0.01 nudge.
    const SolidVertices v = cubeVertices(0, 100, 160, 160);
    const double want[9][2] = {{0, 0},           {130.01, 130.01}, {30.01, 130.01}, {30.01, 30.01}, {130.01, 30.01},
                               {110.01, 110.01}, {50.01, 110.01},  {50.01, 50.01},  {110.01, 50.01}};
    for (size_t k = 1; k <= 8; ++k) {
        EXPECT_NEAR(v.X[k], want[k][0], 1e-6) << "vertex " << k;
        EXPECT_NEAR(v.Y[k], want[k][1], 1e-6) << "vertex " << k;
    }
    EXPECT_NEAR(v.Z[1], 1, 1e-12);
    EXPECT_NEAR(v.Z[5], -1, 1e-12);
}

TEST(CubeVertices, HalfATurnBringsTheOppositeFaceSquarelyToTheFront)
{
    const SolidVertices v = cubeVertices(3.14159265358979, 100, 160, 160);
    // Face 4's corners 5, 8, 7, 6 take the places of face 1's corners 1, 2, 3, 4.
    EXPECT_NEAR(v.X[5], 130.01, 1e-6);
    EXPECT_NEAR(v.Y[5], 130.01, 1e-6);
    EXPECT_NEAR(v.X[8], 30.01, 1e-6);
    EXPECT_NEAR(v.Y[8], 130.01, 1e-6);
    EXPECT_NEAR(v.X[7], 30.01, 1e-6);
    EXPECT_NEAR(v.Y[7], 30.01, 1e-6);
    EXPECT_NEAR(v.X[6], 130.01, 1e-6);
    EXPECT_NEAR(v.Y[6], 30.01, 1e-6);
    EXPECT_EQ(shownFaces(cubeFacesShown(v)), std::set<int>({4}));
}

TEST(CubeFaces, FacesShownAtRestAQuarterAndAThirdOfATurn)
{
    EXPECT_EQ(shownFaces(cubeFacesShown(cubeVertices(0, 100, 160, 160))), std::set<int>({1}));
    EXPECT_EQ(shownFaces(cubeFacesShown(cubeVertices(kPi / 2, 100, 160, 160))), std::set<int>({2, 3}));
    EXPECT_EQ(shownFaces(cubeFacesShown(cubeVertices(2 * kPi / 3, 100, 160, 160))), std::set<int>({2, 3, 4}));
}

TEST(CubeFaces, NeverMoreThanThreeFacesAndEveryVertexInsideTheFrame)
{
    // A turning vertex reaches 0.726 s from the centre, the frame about 0.8 s;
    // for large faces that leaves at least a pixel, a small face may round
    // onto the pixel just past the edge (which the mapping routines clip).
    for (int s : {100, 60, 14, 7}) {
        const int side = int(std::lround(s * 1.6));
        const int last = s >= 60 ? side - 1 : side;
        for (int i = 0; i <= 2000; ++i) {
            const double b = kPi * i / 2000;
            const SolidVertices v = cubeVertices(b, s, side, side);
            EXPECT_LE(shownFaces(cubeFacesShown(v)).size(), 3u) << "b = " << b;
            EXPECT_GE(shownFaces(cubeFacesShown(v)).size(), 1u) << "b = " << b;
            for (size_t k = 1; k <= 8; ++k) {
                EXPECT_GE(v.X[k], 0) << "s = " << s << ", b = " << b << ", vertex " << k;
                EXPECT_LE(v.X[k], last) << "s = " << s << ", b = " << b << ", vertex " << k;
                EXPECT_GE(v.Y[k], 0) << "s = " << s << ", b = " << b << ", vertex " << k;
                EXPECT_LE(v.Y[k], last) << "s = " << s << ", b = " << b << ", vertex " << k;
            }
        }
    }
}

// --- Cube drawing --------------------------------------------------------------

TEST(DrawCube, AtRestPaintsWindowAAsASquareWithItsOutline)
{
    Document doc;
    const int a = solid(doc, 100, 100, 1);
    const int b = solid(doc, 100, 100, 2);
    const int c = solid(doc, 100, 100, 3);
    const int f = test::addedFrame(doc.NewWindow(a, 160, 160, 0));
    drawCube(doc, f, 0, 100, 9, a, b, c);
    const PicInfo &p = doc.pic(f);
    for (int y = 0; y < 160; ++y)
        for (int x = 0; x < 160; ++x) {
            const bool inside = x >= 30 && x <= 130 && y >= 30 && y <= 130;
            const bool edge = inside && (x == 30 || x == 130 || y == 30 || y == 130);
            const uint8_t want = edge ? 9 : (inside ? 1 : 0);
            ASSERT_EQ(px(p, x, y), want) << "pixel (" << x << ", " << y << ")";
        }
}

TEST(DrawCube, AQuarterTurnShowsWindowsBAndCInTheTargetPalette)
{
    Document doc;
    const int a = solid(doc, 100, 100, 1);
    ColorTable other{};
    other[0] = {77, 77, 77};
    const int b = addFrame(doc, 50, 80, std::vector<uint8_t>(50 * 80, 0), 2, other);
    const int c = solid(doc, 100, 100, 3);
    const int f = test::addedFrame(doc.NewWindow(a, 160, 160, 0));
    drawCube(doc, f, kPi / 2, 100, 9, a, b, c);
    EXPECT_EQ(coloursIn(doc.pic(f)), std::set<uint8_t>({0, 3, 9, 77}))
        << "window B's colour 0 is grey 77 in its own palette; window A is hidden";
}

TEST(DrawCube, InvalidWindowsLeaveTheFrameAlone)
{
    Document doc;
    const int a = solid(doc, 10, 10, 1);
    const int f = test::addedFrame(doc.NewWindow(a, 16, 16, 0));
    drawCube(doc, f, 0, 10, 9, a, 7, a);
    EXPECT_EQ(coloursIn(doc.pic(f)), std::set<uint8_t>({0}));
}

// --- Prism geometry ---------------------------------------------------------

TEST(PrismVertices, AtRestFaceDIsInFrontAndTheOppositeEdgeBehindItsMiddle)
{
    // W_D = 100, H_D = 60 in a 120 x 72 frame. The front edges lie at depth
    // 0.5 (perspective 0.95), one unit above and below the axis; the back
    // edge at depth -1 (perspective 0.8) on the axis.
    const SolidVertices v = prismVertices(0, 100, 60, 120, 72);
    const double want[7][2] = {{0, 0}, {107.5, 64.5}, {12.5, 64.5}, {107.5, 7.5}, {12.5, 7.5}, {100, 36}, {20, 36}};
    for (size_t k = 1; k <= 6; ++k) {
        EXPECT_NEAR(v.X[k], want[k][0], 1e-6) << "vertex " << k;
        EXPECT_NEAR(v.Y[k], want[k][1], 1e-6) << "vertex " << k;
    }
    EXPECT_EQ(shownFaces(prismFacesShown(v)), std::set<int>({1}));
}

TEST(PrismFaces, EachFaceComesToTheFrontAThirdOfATurnAfterThePrevious)
{
    EXPECT_EQ(shownFaces(prismFacesShown(prismVertices(2 * kPi / 3, 100, 60, 120, 72))), std::set<int>({2}));
    EXPECT_EQ(shownFaces(prismFacesShown(prismVertices(4 * kPi / 3, 100, 60, 120, 72))), std::set<int>({3}));
    EXPECT_EQ(shownFaces(prismFacesShown(prismVertices(kPi / 3, 100, 60, 120, 72))), std::set<int>({1, 2}));
    // Face E at two thirds of a turn sits where face D sat at rest.
    const SolidVertices rest = prismVertices(0, 100, 60, 120, 72);
    const SolidVertices third = prismVertices(2 * kPi / 3, 100, 60, 120, 72);
    EXPECT_NEAR(third.Y[3], rest.Y[1], 1e-6);
    EXPECT_NEAR(third.Y[5], rest.Y[3], 1e-6);
}

TEST(PrismFaces, AtMostTwoFacesAndEveryVertexInsideTheFrame)
{
    const int sizes[3][2] = {{100, 60}, {30, 90}, {5, 5}};
    for (const auto &size : sizes) {
        const int wd = size[0];
        const int hd = size[1];
        const int wt = int(std::lround(wd * 1.2));
        const int ht = int(std::lround(hd * 1.2));
        for (int i = 0; i <= 3000; ++i) {
            const double b = 2 * kPi * i / 3000;
            const SolidVertices v = prismVertices(b, wd, hd, wt, ht);
            const size_t shown = shownFaces(prismFacesShown(v)).size();
            EXPECT_GE(shown, 1u) << "b = " << b;
            EXPECT_LE(shown, 2u) << "b = " << b;
            for (size_t k = 1; k <= 6; ++k) {
                EXPECT_GE(v.X[k], 0) << wd << "x" << hd << ", b = " << b << ", vertex " << k;
                EXPECT_LE(v.X[k], wt) << wd << "x" << hd << ", b = " << b << ", vertex " << k;
                EXPECT_GE(v.Y[k], 0) << wd << "x" << hd << ", b = " << b << ", vertex " << k;
                EXPECT_LE(v.Y[k], ht) << wd << "x" << hd << ", b = " << b << ", vertex " << k;
            }
        }
    }
}

// --- Prism drawing ------------------------------------------------------------

TEST(DrawPrism, AtRestPaintsWindowDShrunkIntoItsFaceWithAFullOutline)
{
    // W_D = 80, H_D = 40 in a 96 x 48 frame: the front edges lie at
    // 48 +- 80 * 0.95 / 2 = 10 and 86, 24 +- 40 * 0.95 / 2 = 5 and 43 (sizes
    // chosen so that no corner sits on a half pixel). The outline uses 80 and
    // 40 steps over 76 and 38 pixels, so it has no gaps; the picture, shrunk,
    // fills the inside.
    Document doc;
    const int d = solid(doc, 80, 40, 1);
    const int e = solid(doc, 80, 40, 2);
    const int f3 = solid(doc, 80, 40, 3);
    const int f = test::addedFrame(doc.NewWindow(d, 96, 48, 0));
    drawPrism(doc, f, 0, 9, d, e, f3);
    const PicInfo &p = doc.pic(f);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 96; ++x) {
            const bool inside = x >= 10 && x <= 86 && y >= 5 && y <= 43;
            const bool edge = inside && (x == 10 || x == 86 || y == 5 || y == 43);
            const uint8_t want = edge ? 9 : (inside ? 1 : 0);
            ASSERT_EQ(px(p, x, y), want) << "pixel (" << x << ", " << y << ")";
        }
}

TEST(DrawPrism, BetweenTwoFacesShowsBothWindows)
{
    Document doc;
    const int d = solid(doc, 100, 60, 1);
    const int e = solid(doc, 40, 40, 2);
    const int f3 = solid(doc, 100, 60, 3);
    const int f = test::addedFrame(doc.NewWindow(d, 120, 72, 0));
    drawPrism(doc, f, kPi / 3, 9, d, e, f3);
    EXPECT_EQ(coloursIn(doc.pic(f)), std::set<uint8_t>({0, 1, 2, 9}));
}
