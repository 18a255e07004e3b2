// The frame commands on the Document alone: order, deletion and adding, with
// the records, the grid rows and the window signals kept in step.
#include "document/document.h"
#include "support/frames.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace velmar;
using velmar::test::addFrame;
using velmar::test::rampPalette;

namespace
{

// Frames named by a letter: every pixel is the frame's index, and every grid
// cell of columns 1 to 10 carries the letter, so a cell that stays behind or
// moves alone shows.
void addLettered(Document &doc, int count)
{
    for (int i = 0; i < count; ++i) {
        const int n = addFrame(doc, 2 + i, 1, std::vector<uint8_t>(size_t(2 + i), uint8_t(i)), 8, rampPalette(i));
        for (int col = 1; col <= 10; ++col)
            doc.setCell(n + 1, col, QStringLiteral("%1%2").arg(QChar('A' + i)).arg(col));
    }
}

// Columns 1 to 10 of a frame's row must all belong to one letter.
char letterOfRow(const Document &doc, int frame)
{
    const QString first = doc.grid().TextMatrix(frame + 1, 1);
    for (int col = 1; col <= 10; ++col) {
        const QString cell = doc.grid().TextMatrix(frame + 1, col);
        if (cell != QStringLiteral("%1%2").arg(first.left(1)).arg(col))
            return '?';
    }
    return first.isEmpty() ? '-' : first[0].toLatin1();
}

std::string order(const Document &doc)
{
    std::string s;
    for (int i = 0; i < doc.picCount(); ++i) {
        const char row = letterOfRow(doc, i);
        const char pixels = char('A' + doc.pic(i).bits[0]);
        s += row == pixels ? row : '!';
    }
    return s;
}

void expectFrameNumbersInColumnZero(const Document &doc)
{
    for (int i = 0; i < doc.picCount(); ++i)
        EXPECT_EQ(doc.grid().TextMatrix(i + 1, 0), QString::number(i)) << "row " << i + 1;
}

} // namespace

// --- Swapping ---------------------------------------------------------------------

TEST(FrameSwap, BMovedToTheFrontCarriesItsWholeRowAndRecord)
{
    Document doc;
    addLettered(doc, 3);
    const uint8_t *pixelsOfB = doc.pic(1).pBits();
    QSignalSpy swapped(&doc, &Document::framesSwapped);
    doc.swapWithPrevious(1);
    EXPECT_EQ(order(doc), "BAC");
    EXPECT_EQ(doc.pic(0).lWidth, 3);
    EXPECT_EQ(doc.pic(0).colors[0], rampPalette(1)[0]);
    EXPECT_EQ(doc.pic(0).pBits(), pixelsOfB);
    expectFrameNumbersInColumnZero(doc);
    // The windows in slots 0 and 1 are renumbered; nothing else.
    ASSERT_EQ(swapped.count(), 1);
    EXPECT_EQ(swapped.first().at(0).toInt(), 0);
    EXPECT_EQ(swapped.first().at(1).toInt(), 1);

    doc.swapWithNext(1);
    EXPECT_EQ(order(doc), "BCA");
    expectFrameNumbersInColumnZero(doc);
}

TEST(FrameSwap, SwapsPastEitherEndChangeNothing)
{
    Document doc;
    addLettered(doc, 3);
    QSignalSpy swapped(&doc, &Document::framesSwapped);
    doc.swapWithPrevious(0);
    doc.swapWithNext(2);
    // Numbers that name no frame are not commands either.
    doc.swapWithPrevious(3);
    doc.swapWithNext(-1);
    doc.swapWithPrevious(-5);
    EXPECT_EQ(order(doc), "ABC");
    EXPECT_EQ(swapped.count(), 0);
    EXPECT_EQ(doc.grid().Rows(), 4);
}

// --- Deleting ---------------------------------------------------------------------

TEST(FrameDelete, MiddleFrameShiftsTheRestAndFreesTheLastSlot)
{
    Document doc;
    addLettered(doc, 3);
    QSignalSpy removed(&doc, &Document::frameRemoved);
    doc.delPic(1);
    EXPECT_EQ(doc.picCount(), 2);
    EXPECT_EQ(order(doc), "AC");
    EXPECT_EQ(doc.slotCount(), 2u) << "the freed slot holds nothing";
    EXPECT_EQ(doc.grid().Rows(), 3) << "row 3 is gone";
    expectFrameNumbersInColumnZero(doc);
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.first().first().toInt(), 1);

    // The grid grows again with empty cells, not with C's stale ones.
    doc.ensureGridRows(4);
    for (int col = 0; col <= 10; ++col)
        EXPECT_TRUE(doc.grid().TextMatrix(3, col).isEmpty()) << "column " << col;
}

TEST(FrameDelete, OnlyFrameLeavesTheHeadingRowAlone)
{
    Document doc;
    addLettered(doc, 1);
    doc.delPic(0);
    EXPECT_EQ(doc.picCount(), 0);
    EXPECT_EQ(doc.slotCount(), 0u);
    EXPECT_EQ(doc.grid().Rows(), 1);
    EXPECT_EQ(doc.grid().TextMatrix(0, 1), QStringLiteral("Ｘ"));
}

TEST(FrameDelete, NumberOutsideTheFramesDeletesNothing)
{
    Document doc;
    addLettered(doc, 2);
    QSignalSpy removed(&doc, &Document::frameRemoved);
    doc.delPic(2);
    doc.delPic(-1);
    EXPECT_EQ(order(doc), "AB");
    EXPECT_EQ(removed.count(), 0);
}

TEST(FrameDelete, CloseAllRemovesTenFramesFromTheBackAndClosesThePlayerOnce)
{
    Document doc;
    addLettered(doc, 10);
    doc.setPlayOpen(true);
    QSignalSpy removed(&doc, &Document::frameRemoved);
    int playerCloses = 0;
    QObject::connect(&doc, &Document::playerCloseRequested, [&] {
        ++playerCloses;
        doc.setPlayOpen(false); // as the player does when it unloads
    });
    doc.closeAll();
    EXPECT_EQ(doc.picCount(), 0);
    EXPECT_EQ(doc.slotCount(), 0u) << "every pixel block is freed";
    EXPECT_EQ(doc.grid().Rows(), 1);
    EXPECT_EQ(playerCloses, 1);
    ASSERT_EQ(removed.count(), 10);
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(removed.at(k).first().toInt(), 9 - k) << "from the back, so nothing shifts";
}

// --- Adding -----------------------------------------------------------------------

namespace
{

// Frame 0 with a position, transparency and comment of its own.
void addSource(Document &doc)
{
    addFrame(doc, 3, 2, {0, 1, 2, 3, 4, 5}, 8, rampPalette(2));
    const QStringList row = {"0", "12", "34", "3", "2", "1", "1", "9", "77", "3", "note"};
    for (int col = 1; col <= 10; ++col)
        doc.setCell(1, col, row[col]);
}

QStringList gridRow(const Document &doc, int row)
{
    QStringList cells;
    for (int col = 0; col <= 10; ++col)
        cells << doc.grid().TextMatrix(row, col);
    return cells;
}

} // namespace

TEST(FrameAdd, CopyWindowOfFrameZeroCopiesPictureAndPositionWithDefaultTiming)
{
    Document doc;
    addSource(doc);
    QStringList statusWhileAdding;
    int windowLike = -2;
    QObject::connect(&doc, &Document::frameAdded, [&](int, int like) {
        statusWhileAdding << doc.statusText();
        windowLike = like;
    });
    EXPECT_EQ(test::addedFrame(doc.CopyWindow(0)), 1);
    EXPECT_EQ(doc.picCount(), 2);
    EXPECT_EQ(doc.pic(1).lWidth, 3);
    EXPECT_EQ(doc.pic(1).lHeight, 2);
    EXPECT_EQ(doc.pic(1).nColors, 8);
    EXPECT_EQ(doc.pic(1).bits, doc.pic(0).bits);
    EXPECT_EQ(doc.pic(1).colors, doc.pic(0).colors);
    EXPECT_EQ(gridRow(doc, 2), (QStringList{"1", "12", "34", "3", "2", "0", "1", "9", "50", "2", ""}));
    EXPECT_EQ(windowLike, 0) << "the copy's window is as large as its source's";
    EXPECT_EQ(statusWhileAdding, QStringList{QStringLiteral("処理中")});
    EXPECT_TRUE(doc.statusText().isEmpty());
    // The source is untouched.
    EXPECT_EQ(gridRow(doc, 1).last(), "note");
}

TEST(FrameAdd, NewWindowFillsInTheSourceColoursAndSetsTheCanvas)
{
    Document doc;
    addSource(doc);
    QStringList statusWhileAdding;
    int windowLike = -2;
    QObject::connect(&doc, &Document::frameAdded, [&](int, int like) {
        statusWhileAdding << doc.statusText();
        windowLike = like;
    });
    const int n = test::addedFrame(doc.NewWindow(0, 64, 32, 5));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(doc.picCount(), 2);
    EXPECT_EQ(doc.pic(n).lWidth, 64);
    EXPECT_EQ(doc.pic(n).lHeight, 32);
    EXPECT_EQ(doc.pic(n).nColors, 8);
    EXPECT_EQ(doc.pic(n).colors, doc.pic(0).colors);
    EXPECT_EQ(doc.pic(n).bits, std::vector<uint8_t>(64 * 32, 5));
    EXPECT_EQ(gridRow(doc, 2), (QStringList{"1", "0", "0", "64", "32", "0", "1", "9", "10", "2", ""}));
    EXPECT_EQ(doc.globals().width, "64");
    EXPECT_EQ(doc.globals().height, "32");
    EXPECT_EQ(windowLike, -1) << "a new frame's window is sized around its picture";
    EXPECT_EQ(statusWhileAdding, QStringList{QStringLiteral("処理中")});
    EXPECT_TRUE(doc.statusText().isEmpty());
}

TEST(FrameAdd, AddedFramesAppendAfterTheLastEvenFromAnEarlierSource)
{
    Document doc;
    addLettered(doc, 3);
    EXPECT_EQ(test::addedFrame(doc.CopyWindow(1)), 3);
    EXPECT_EQ(test::addedFrame(doc.NewWindow(0, 1, 1, 7)), 4);
    EXPECT_EQ(doc.picCount(), 5);
    EXPECT_EQ(doc.grid().Rows(), 6);
    expectFrameNumbersInColumnZero(doc);
    EXPECT_EQ(doc.pic(3).bits, doc.pic(1).bits);
    EXPECT_EQ(doc.pic(4).bits, std::vector<uint8_t>{7});
}

TEST(FrameAdd, RefusedAddsChangeNothingAndClearTheStatus)
{
    Document doc;
    addSource(doc);
    QSignalSpy added(&doc, &Document::frameAdded);
    // Each refusal says why.
    EXPECT_EQ(doc.CopyWindow(1).error(), QStringLiteral("フレーム（1）がありません。"));
    EXPECT_EQ(doc.CopyWindow(-1).error(), QStringLiteral("フレーム（-1）がありません。"));
    EXPECT_EQ(doc.NewWindow(3, 4, 4, 0).error(), QStringLiteral("フレーム（3）がありません。"));
    EXPECT_EQ(doc.NewWindow(0, 0, 4, 0).error(), QStringLiteral("フレームの大きさが正しくありません（0×4）。"));
    EXPECT_EQ(doc.NewWindow(0, 4, -1, 0).error(), QStringLiteral("フレームの大きさが正しくありません（4×-1）。"));
    EXPECT_EQ(doc.picCount(), 1);
    EXPECT_EQ(doc.slotCount(), 1u);
    EXPECT_EQ(doc.grid().Rows(), 2);
    EXPECT_EQ(added.count(), 0);
    EXPECT_TRUE(doc.statusText().isEmpty());
    EXPECT_EQ(doc.globals().width, QStringLiteral("０")) << "a refused NewWindow leaves the canvas alone";
}
