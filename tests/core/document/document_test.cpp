#include "document/document.h"
#include "support/frames.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace velmar;
using velmar::test::addFrame;
using velmar::test::rampPalette;

namespace
{

std::vector<uint8_t> filled(size_t n, uint8_t v)
{
    return std::vector<uint8_t>(n, v);
}

// Three frames A, B, C of different sizes, each grid row marked with its letter
// in the comment column so moves are visible.
void addABC(Document &doc)
{
    const char *names[] = {"A", "B", "C"};
    for (int i = 0; i < 3; ++i) {
        const int n = addFrame(doc, 2 + i, 1, filled(size_t(2 + i), uint8_t(i)), 4, rampPalette(i));
        doc.setCell(n + 1, 10, QString::fromLatin1(names[i]));
    }
}

QString commentOf(const Document &doc, int frame)
{
    return doc.grid().TextMatrix(frame + 1, 10);
}

} // namespace

TEST(DocumentStart, EmptyTableGridWithTwoRowsAndDefaultGlobals)
{
    Document doc;
    EXPECT_EQ(doc.picCount(), 0);
    EXPECT_EQ(doc.grid().Rows(), 2);
    EXPECT_EQ(doc.grid().Cols(), 11);
    EXPECT_EQ(doc.grid().TextMatrix(0, 1), QStringLiteral("Ｘ"));
    EXPECT_EQ(doc.grid().TextMatrix(0, 9), QStringLiteral("後処理"));
    EXPECT_EQ(doc.globals().width, QStringLiteral("０"));
    EXPECT_EQ(doc.globals().height, QStringLiteral("０"));
    EXPECT_EQ(doc.globals().loop, QStringLiteral("０"));
    EXPECT_FALSE(doc.globals().loopBlock);
    EXPECT_TRUE(doc.globals().comment.isEmpty());
}

TEST(DocumentAdd, StagingSlotIsAnnouncedBeforeTheCountGrows)
{
    Document doc;
    int countWhenAnnounced = -1;
    QObject::connect(&doc, &Document::frameAdded, [&](int n, int) {
        EXPECT_EQ(n, 0);
        countWhenAnnounced = doc.picCount();
    });
    const int n = test::addedFrame(doc.beginFrame(3, 2, 4, rampPalette(1)));
    ASSERT_EQ(n, 0);
    EXPECT_EQ(countWhenAnnounced, 0);
    EXPECT_EQ(doc.pic(0).bits.size(), 6u) << "rows are exactly the width, no padding";
    doc.endFrame();
    EXPECT_EQ(doc.picCount(), 1);
}

TEST(DocumentAdd, EntriesBeyondTheColourCountAreBlack)
{
    Document doc;
    const int n = test::addedFrame(doc.beginFrame(1, 1, 4, rampPalette(9)));
    ASSERT_EQ(n, 0);
    EXPECT_EQ(doc.pic(n).colors[3], rampPalette(9)[3]);
    for (int k = 4; k < 256; ++k)
        ASSERT_EQ(doc.pic(n).colors[size_t(k)], Rgb{}) << "entry " << k;
}

TEST(DocumentAdd, RefusesFramesBeyondTheFrameNumberLimit)
{
    Document doc;
    EXPECT_EQ(doc.frameLimit(), Document::kMaxFrames);
    // A lower limit reaches the same refusal without 32768 real frames.
    doc.setFrameLimit(2);
    ASSERT_EQ(addFrame(doc, 1, 1, {0}, 2, rampPalette(0)), 0);
    ASSERT_EQ(addFrame(doc, 1, 1, {0}, 2, rampPalette(0)), 1);
    EXPECT_EQ(doc.beginFrame(1, 1, 2, rampPalette(0)).error(),
              QStringLiteral("フレーム数が上限（2）に達したため、これ以上フレームを追加できません。"));
    EXPECT_EQ(doc.picCount(), 2);
    EXPECT_FALSE(doc.hasSlot(2));
}

TEST(DocumentAdd, AbandonedFrameLeavesNothingBehind)
{
    Document doc;
    QSignalSpy removed(&doc, &Document::frameRemoved);
    ASSERT_EQ(test::addedFrame(doc.beginFrame(4, 4, 2, rampPalette(0))), 0);
    doc.abandonFrame();
    EXPECT_EQ(doc.picCount(), 0);
    EXPECT_FALSE(doc.hasSlot(0));
    ASSERT_EQ(removed.count(), 1);
}

TEST(CopyWindow, CopiesPictureAndRowWithDefaultDelayAndDisposal)
{
    Document doc;
    addFrame(doc, 3, 2, {0, 1, 2, 3, 4, 5}, 8, rampPalette(2));
    doc.setCell(1, 1, "7");
    doc.setCell(1, 5, "1");
    doc.setCell(1, 6, "1");
    doc.setCell(1, 7, "3");
    QSignalSpy status(&doc, &Document::statusTextChanged);
    const int n = test::addedFrame(doc.CopyWindow(0));
    ASSERT_EQ(n, 1);
    EXPECT_EQ(doc.picCount(), 2);
    EXPECT_EQ(doc.pic(1).bits, doc.pic(0).bits);
    EXPECT_EQ(doc.pic(1).colors, doc.pic(0).colors);
    EXPECT_NE(doc.pic(1).pBits(), doc.pic(0).pBits());
    const QStringList expected = {"1", "7", "0", "3", "2", "0", "1", "3", "50", "2", ""};
    for (int col = 0; col < 11; ++col)
        EXPECT_EQ(doc.grid().TextMatrix(2, col), expected[col]) << "column " << col;
    ASSERT_GE(status.count(), 2);
    EXPECT_EQ(status.first().first().toString(), QStringLiteral("処理中"));
    EXPECT_TRUE(doc.statusText().isEmpty());
}

TEST(NewWindow, FillsAndSetsTheCanvasSize)
{
    Document doc;
    addFrame(doc, 3, 2, {0, 1, 2, 3, 4, 5}, 8, rampPalette(2));
    const int n = test::addedFrame(doc.NewWindow(0, 64, 32, 5));
    ASSERT_EQ(n, 1);
    EXPECT_EQ(doc.pic(n).lWidth, 64);
    EXPECT_EQ(doc.pic(n).lHeight, 32);
    EXPECT_EQ(doc.pic(n).bits, filled(64 * 32, 5));
    EXPECT_EQ(doc.pic(n).colors, doc.pic(0).colors);
    const QStringList expected = {"1", "0", "0", "64", "32", "0", "0", "0", "10", "2"};
    for (int col = 0; col < 10; ++col)
        EXPECT_EQ(doc.grid().TextMatrix(2, col), expected[col]) << "column " << col;
    EXPECT_EQ(doc.globals().width, QStringLiteral("64"));
    EXPECT_EQ(doc.globals().height, QStringLiteral("32"));
}

TEST(NewWindow, CanvasGrowsToHoldTheNewFrameButNeverShrinks)
{
    struct Case {
        const char *width, *height;
        int w, h;
        const char *wantWidth, *wantHeight;
    };
    const Case cases[] = {
        {"77", "77", 48, 48, "77", "77"},   // a smaller frame after a cube keeps the cube's canvas
        {"40", "100", 64, 32, "64", "100"}, // each side on its own
        {"abc", "", 10, 60, "10", "60"},    // a field that is not a number counts as 0
        {"１２", "-5", 8, 3, "１２", "3"},  // a number as typed stays as typed while large enough
    };
    for (const Case &c : cases) {
        Document doc;
        addFrame(doc, 3, 2, {0, 1, 2, 3, 4, 5}, 8, rampPalette(2));
        doc.setGblWidth(QString::fromUtf8(c.width));
        doc.setGblHeight(QString::fromUtf8(c.height));
        ASSERT_EQ(test::addedFrame(doc.NewWindow(0, c.w, c.h, 1)), 1);
        EXPECT_EQ(doc.globals().width, QString::fromUtf8(c.wantWidth)) << c.width << " " << c.w;
        EXPECT_EQ(doc.globals().height, QString::fromUtf8(c.wantHeight)) << c.height << " " << c.h;
    }
}

TEST(FrameOrder, SwapMovesRecordsAndRowsButNotFrameNumbers)
{
    Document doc;
    addABC(doc);
    const uint8_t *bufferOfB = doc.pic(1).pBits();
    doc.swapWithPrevious(1);
    EXPECT_EQ(commentOf(doc, 0), "B");
    EXPECT_EQ(commentOf(doc, 1), "A");
    EXPECT_EQ(doc.pic(0).lWidth, 3);
    EXPECT_EQ(doc.pic(0).pBits(), bufferOfB) << "pixels move with the record, never copied";
    EXPECT_EQ(doc.grid().TextMatrix(1, 0), "0");
    EXPECT_EQ(doc.grid().TextMatrix(2, 0), "1");

    doc.swapWithPrevious(0);
    doc.swapWithNext(2);
    EXPECT_EQ(commentOf(doc, 0), "B");
    EXPECT_EQ(commentOf(doc, 2), "C");
    doc.swapWithNext(0);
    EXPECT_EQ(commentOf(doc, 0), "A");
    EXPECT_EQ(commentOf(doc, 1), "B");
}

TEST(FrameOrder, DeleteShiftsLaterFramesAndShrinksTheGrid)
{
    Document doc;
    addABC(doc);
    const uint8_t *bufferOfC = doc.pic(2).pBits();
    QSignalSpy removed(&doc, &Document::frameRemoved);
    doc.delPic(1);
    EXPECT_EQ(doc.picCount(), 2);
    EXPECT_EQ(doc.slotCount(), 2u);
    EXPECT_EQ(commentOf(doc, 0), "A");
    EXPECT_EQ(commentOf(doc, 1), "C");
    EXPECT_EQ(doc.pic(1).pBits(), bufferOfC);
    EXPECT_EQ(doc.grid().Rows(), 3);
    EXPECT_EQ(doc.grid().TextMatrix(2, 0), "1");
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.first().first().toInt(), 1);
}

TEST(FrameOrder, DeletingTheLastFrameLeavesOnlyTheHeadingRow)
{
    Document doc;
    addFrame(doc, 1, 1, {0}, 2, rampPalette(0));
    doc.delPic(0);
    EXPECT_EQ(doc.picCount(), 0);
    EXPECT_EQ(doc.grid().Rows(), 1);
    doc.delPic(0); // nothing left: no effect
    EXPECT_EQ(doc.grid().Rows(), 1);
}

TEST(FrameOrder, DeleteAsksThePlayerToCloseEvenWithBadNumbers)
{
    Document doc;
    addABC(doc);
    doc.setPlayOpen(true);
    QSignalSpy close(&doc, &Document::playerCloseRequested);
    doc.delPic(7);
    EXPECT_EQ(close.count(), 1);
    EXPECT_EQ(doc.picCount(), 3);
    doc.closeAll();
    EXPECT_EQ(doc.picCount(), 0);
    EXPECT_FALSE(doc.hasSlot(0));
}
