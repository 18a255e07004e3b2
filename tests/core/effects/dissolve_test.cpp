// Tile erase, fade and dissolve. The random orders in the small cases are
// traced by hand from the generator's first values (x <- x * 1140671485 +
// 12820163 mod 2^24 from 327680): 0.7055475, 0.5334240, 0.5795186,
// 0.2895625, 0.3019480, 0.7747401, 0.0140176, 0.7607236.
#include "effects/effects.h"
#include "support/frames.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velmar
{
namespace
{

using Pixels = std::vector<uint8_t>;
constexpr uint8_t E = 7; // erase colour

int addPicture(Document &doc, int w, int h, const Pixels &pixels)
{
    return test::addFrame(doc, w, h, pixels, 256, test::rampPalette(0));
}

QString delay(const Document &doc, int frame)
{
    return doc.grid().TextMatrix(frame + 1, PropertyGrid::ColDelay);
}

long erased(const Document &doc, int frame)
{
    return long(std::count(doc.pic(frame).bits.begin(), doc.pic(frame).bits.end(), E));
}

TEST(AutoTileErase, FadeOfFourPixelsFollowsTheGeneratorIncludingACollision)
{
    Document doc;
    addPicture(doc, 4, 1, {1, 1, 1, 1});
    ASSERT_TRUE(autoTileErase(doc, 0, 0, 4, 0, E));
    // T = 4, per = 1. Step 1: round(0.7055 * 4) = 3. Step 2: round(0.5334 * 4
    // + 3) = 5 -> 1. Step 3: round(0.5795 * 4 + 1) = 3 is taken, round(0.2896
    // * 4 + 3) = 4 -> 0. Pixel 2 is left for the last step.
    EXPECT_EQ(doc.pic(1).bits, (Pixels{1, 1, 1, E}));
    EXPECT_EQ(doc.pic(2).bits, (Pixels{1, E, 1, E}));
    EXPECT_EQ(doc.pic(3).bits, (Pixels{E, E, 1, E}));
    EXPECT_EQ(doc.pic(4).bits, (Pixels{E, E, E, E}));
}

TEST(AutoTileErase, SecondEffectContinuesTheSequence)
{
    Document doc;
    addPicture(doc, 4, 1, {1, 1, 1, 1});
    ASSERT_TRUE(autoTileErase(doc, 0, 0, 4, 0, E)); // draws values 1 to 4
    ASSERT_EQ(doc.picCount(), 8);
    ASSERT_TRUE(autoTileErase(doc, 0, 0, 4, 0, E));
    // Step 1: round(0.3019 * 4) = 1. Step 2: round(0.7747 * 4 + 1) = 4 -> 0.
    // Step 3: round(0.0140 * 4) = 0 is taken, round(0.7607 * 4) = 3.
    EXPECT_EQ(doc.pic(8).bits, (Pixels{1, E, 1, 1}));
    EXPECT_EQ(doc.pic(9).bits, (Pixels{E, E, 1, 1}));
    EXPECT_EQ(doc.pic(10).bits, (Pixels{E, E, 1, E}));
    EXPECT_EQ(doc.pic(11).bits, (Pixels{E, E, E, E}));
}

TEST(AutoTileErase, TwoDocumentsWithTheSameInputsGiveTheSameFrames)
{
    Pixels pixels(10 * 10, 1);
    Document a, b;
    addPicture(a, 10, 10, pixels);
    addPicture(b, 10, 10, pixels);
    ASSERT_TRUE(autoTileErase(a, 0, 0, 5, 0, E));
    ASSERT_TRUE(autoTileErase(b, 0, 0, 5, 0, E));
    ASSERT_EQ(a.picCount(), b.picCount());
    for (int f = 0; f < a.picCount(); ++f)
        EXPECT_EQ(a.pic(f).bits, b.pic(f).bits) << "frame " << f;
}

TEST(AutoTileErase, FadeOfTenByTenInFourStepsErasesQuartersThenPlaysBack)
{
    Document doc;
    addPicture(doc, 10, 10, Pixels(100, 1));
    ASSERT_TRUE(autoTileErase(doc, 0, 0, 4, 0, E));
    ASSERT_EQ(doc.picCount(), 1 + 7) << "2n - 1 frames";
    EXPECT_EQ(erased(doc, 1), 25);
    EXPECT_EQ(erased(doc, 2), 50);
    EXPECT_EQ(erased(doc, 3), 75);
    EXPECT_EQ(erased(doc, 4), 100);
    // Each step keeps what the previous one erased.
    for (int f = 2; f <= 4; ++f)
        for (size_t p = 0; p < 100; ++p) {
            if (doc.pic(f - 1).bits[p] == E) {
                EXPECT_EQ(doc.pic(f).bits[p], E) << "frame " << f << " pixel " << p;
            }
        }
    EXPECT_EQ(doc.pic(5).bits, doc.pic(3).bits);
    EXPECT_EQ(doc.pic(6).bits, doc.pic(2).bits);
    EXPECT_EQ(doc.pic(7).bits, doc.pic(1).bits);
    EXPECT_EQ(delay(doc, 0), "100");
    EXPECT_EQ(delay(doc, 4), "100") << "the blank frame";
    for (int f : {1, 2, 3, 5, 6, 7})
        EXPECT_EQ(delay(doc, f), "50") << "frame " << f;
}

TEST(AutoTileErase, ThreeTilesAcrossTenColumnsCoverZeroToTwoThreeToFiveSixToNine)
{
    Document doc;
    Pixels pixels(10 * 2, 1);
    addPicture(doc, 10, 2, pixels);
    ASSERT_TRUE(autoTileErase(doc, 3, 1, 3, 0, E));
    // Each step erases whole tiles; the tiles of the first two steps are told
    // apart by the first erased column of each.
    const std::vector<std::vector<int>> tiles = {{0, 1, 2}, {3, 4, 5}, {6, 7, 8, 9}};
    auto erasedTiles = [&](int frame) {
        std::vector<int> found;
        for (size_t t = 0; t < tiles.size(); ++t) {
            int hits = 0;
            for (int x : tiles[t])
                hits += (doc.pic(frame).bits[size_t(x)] == E) + (doc.pic(frame).bits[size_t(10 + x)] == E);
            EXPECT_TRUE(hits == 0 || hits == int(2 * tiles[t].size())) << "tile " << t << " partly erased";
            if (hits)
                found.push_back(int(t));
        }
        return found;
    };
    // T = 3, per = 1: step 1 takes round(0.7055 * 3) = 2, step 2 round(0.5334 * 3 + 2) = 4 -> 1.
    EXPECT_EQ(erasedTiles(1), (std::vector<int>{2}));
    EXPECT_EQ(erasedTiles(2), (std::vector<int>{1, 2}));
    EXPECT_EQ(erasedTiles(3), (std::vector<int>{0, 1, 2}));
}

TEST(AutoTileErase, FewerTilesThanStepsGivesPlainCopiesThenEverythingAtTheLastStep)
{
    Document doc;
    addPicture(doc, 2, 1, {1, 2});
    ASSERT_TRUE(autoTileErase(doc, 0, 0, 4, 0, E));
    ASSERT_EQ(doc.picCount(), 1 + 7);
    for (int f = 1; f <= 3; ++f)
        EXPECT_EQ(doc.pic(f).bits, (Pixels{1, 2})) << "frame " << f;
    EXPECT_EQ(doc.pic(4).bits, (Pixels{E, E}));
}

TEST(AutoTileErase, RefusesTilingsThatDoNotFitThePictureWithoutChangingAnything)
{
    Document doc;
    addPicture(doc, 4, 4, Pixels(16, 1));
    EXPECT_EQ(autoTileErase(doc, -1, 2, 3, 0, E).error(), QStringLiteral("パラメーターに誤りがあります。"));
    EXPECT_EQ(autoTileErase(doc, 5, 4, 3, 0, E).error(), QStringLiteral("パラメーターに誤りがあります。"));
    EXPECT_EQ(doc.picCount(), 1);
    EXPECT_EQ(delay(doc, 0), "10");
}

TEST(AutoFromTo, DissolvesPixelByPixelThenEndsOnToAndPlaysBack)
{
    Document doc;
    addPicture(doc, 2, 2, {1, 1, 1, 1});
    addPicture(doc, 2, 2, {5, 6, 7, 8});
    ASSERT_TRUE(autoFromTo(doc, 0, 1, 3));
    ASSERT_EQ(doc.picCount(), 2 + 5) << "2n - 1 frames";
    // T = 4, per = 1: step 1 takes pixel 3, step 2 pixel 1 (see the erase trace).
    EXPECT_EQ(doc.pic(2).bits, (Pixels{1, 1, 1, 8}));
    EXPECT_EQ(doc.pic(3).bits, (Pixels{1, 6, 1, 8}));
    EXPECT_EQ(doc.pic(4).bits, (Pixels{5, 6, 7, 8})) << "copy of To";
    EXPECT_EQ(doc.pic(5).bits, doc.pic(3).bits);
    EXPECT_EQ(doc.pic(6).bits, doc.pic(2).bits);
    EXPECT_EQ(delay(doc, 0), "50");
    EXPECT_EQ(delay(doc, 1), "10") << "To keeps its delay";
    for (int f = 2; f < 7; ++f)
        EXPECT_EQ(delay(doc, f), "50") << "frame " << f;
}

TEST(AutoFromTo, RefusesWindowsOfDifferentSizes)
{
    Document doc;
    addPicture(doc, 2, 2, {1, 1, 1, 1});
    addPicture(doc, 1, 2, {5, 6});
    EXPECT_EQ(autoFromTo(doc, 0, 1, 3).error(), QStringLiteral("パラメーターに誤りがあります。"));
    EXPECT_EQ(doc.picCount(), 2);
    EXPECT_EQ(delay(doc, 0), "10");
}

} // namespace
} // namespace velmar
