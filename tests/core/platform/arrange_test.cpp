#include "platform/arrange.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace velmar;

namespace velmar
{
void PrintTo(const WindowPosTwips &p, std::ostream *os)
{
    *os << "(" << p.x << ", " << p.y << ")";
}
} // namespace velmar

namespace
{
using Positions = std::vector<WindowPosTwips>;
using Sizes = std::vector<WindowSizeTwips>;
} // namespace

TEST(Cascade, StepsThreeHundredTwipsPerFrameWithoutWrapping)
{
    EXPECT_EQ(cascadePositions(3), (Positions{{0, 0}, {300, 300}, {600, 600}}));
    EXPECT_TRUE(cascadePositions(0).empty());
    // Far beyond any client area: still no wrap.
    EXPECT_EQ(cascadePositions(40).back(), (WindowPosTwips{11700, 11700}));
}

TEST(SideBySide, WrapsBelowTheTallestWindowOfTheRow)
{
    // Client 6000 twips wide, windows 2500 wide and 2000, 3000, 2000 high:
    // 5000 + 2500 exceeds 6000, so frame 2 opens a row under the 3000-high one.
    const Sizes sizes = {{2500, 2000}, {2500, 3000}, {2500, 2000}};
    EXPECT_EQ(sideBySidePositions(sizes, 6000), (Positions{{0, 0}, {2500, 0}, {0, 3000}}));
}

TEST(SideBySide, WindowEndingExactlyAtTheEdgeStaysInItsRow)
{
    const Sizes sizes = {{2000, 1000}, {4000, 1500}, {10, 10}};
    EXPECT_EQ(sideBySidePositions(sizes, 6000), (Positions{{0, 0}, {2000, 0}, {0, 1500}}));
}

TEST(SideBySide, TooWideWindowGetsARowOfItsOwn)
{
    // The first window never opens a new row, however wide; a wide one later
    // starts a row, and the window after it starts the next.
    EXPECT_EQ(sideBySidePositions({{7000, 800}, {1000, 500}}, 6000), (Positions{{0, 0}, {0, 800}}));
    const Sizes sizes = {{1000, 500}, {7000, 800}, {1000, 600}};
    EXPECT_EQ(sideBySidePositions(sizes, 6000), (Positions{{0, 0}, {0, 500}, {0, 1300}}));
}

TEST(SideBySide, RowMaximumGrowsOnlyOnATallerWindowAndResetsPerRow)
{
    // Row 1: 900, 1200, 700 -> 1200. Row 2: 400 only; the next row must start
    // 400 lower, not 1200.
    const Sizes sizes = {{2000, 900}, {2000, 1200}, {2000, 700}, {5000, 400}, {5000, 100}};
    EXPECT_EQ(sideBySidePositions(sizes, 6000), (Positions{{0, 0}, {2000, 0}, {4000, 0}, {0, 1200}, {0, 1600}}));
}

TEST(SideBySide, RunningPositionsRoundHalvesToEven)
{
    // 1000.5 -> 1000, then 1000 + 1001.5 = 2001.5 -> 2002; 2002 + 2900 = 4902,
    // and 4902 + 100 passes 5000. The row's height 2000.5 -> 2000.
    const Sizes sizes = {{1000.5f, 2000.5f}, {1001.5f, 10}, {2900, 10}, {100, 10}};
    EXPECT_EQ(sideBySidePositions(sizes, 5000), (Positions{{0, 0}, {1000, 0}, {2002, 0}, {0, 2000}}));
    EXPECT_EQ(sideBySidePositions({{10, 2001.5f}, {6000, 1}}, 6000), (Positions{{0, 0}, {0, 2002}}));
}

TEST(SideBySide, EdgeTestIsMadeInSinglePrecision)
{
    // 2^24 + 1 is not a float; in single precision it equals the client width
    // 2^24, so the window stays in the row. A double comparison would wrap.
    const float limit = 16777216.0f;
    EXPECT_EQ(sideBySidePositions({{limit, 5}, {1, 5}}, limit), (Positions{{0, 0}, {16777216, 0}}));
}

TEST(TopToBottom, MirrorsSideBySide)
{
    const Sizes sizes = {{2000, 2500}, {3000, 2500}, {2000, 2500}};
    EXPECT_EQ(topToBottomPositions(sizes, 6000), (Positions{{0, 0}, {0, 2500}, {3000, 0}}));
    // Exact fit stays in the column; a too-tall window gets a column of its own.
    EXPECT_EQ(topToBottomPositions({{100, 2000}, {300, 4000}, {50, 10}}, 6000),
              (Positions{{0, 0}, {0, 2000}, {300, 0}}));
    EXPECT_EQ(topToBottomPositions({{500, 1000}, {800, 7000}, {600, 1000}}, 6000),
              (Positions{{0, 0}, {500, 0}, {1300, 0}}));
    EXPECT_TRUE(topToBottomPositions({}, 6000).empty());
}
