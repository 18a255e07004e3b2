// SPDX-License-Identifier: GPL-3.0-or-later
// The filmstrip, the commands on a selection, and many frames in the
// scrolling frame area.
#include "document/document.h"
#include "filmstrip_model.h"
#include "filmstrip_view.h"
#include "frmpic.h"
#include "mdimain.h"
#include "support/frames.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QItemSelectionModel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace velmar;
using velmar::test::addFrame;
using velmar::test::rampPalette;

namespace
{

class FilmstripTest : public ::testing::Test
{
  protected:
    Document doc;
    mdiMain window{doc};

    void SetUp() override { window.show(); }

    FilmstripModel *model() const { return window.filmstrip()->filmstripModel(); }

    // Frames of one colour each (index i of the ramp palette) whose grid
    // comment is a letter and whose delay is 10 + i.
    void addLettered(int count, int width = 8, int height = 6)
    {
        for (int i = 0; i < count; ++i) {
            const int n = addFrame(doc, width, height, std::vector<uint8_t>(size_t(width * height), uint8_t(i)), 64,
                                   rampPalette(0));
            doc.setCell(n + 1, PropertyGrid::ColComment, QString(QChar('A' + i)));
            doc.setCell(n + 1, PropertyGrid::ColDelay, QString::number(10 + i));
        }
    }
    QString letters() const
    {
        QString out;
        for (int i = 0; i < doc.picCount(); ++i)
            out += doc.grid().TextMatrix(i + 1, PropertyGrid::ColComment);
        return out;
    }
    QString delay(int frame) const { return doc.grid().TextMatrix(frame + 1, PropertyGrid::ColDelay); }

    // One item per frame, in frame order, with its number, delay and
    // thumbnail, and the window of the same number.
    void expectItemsFollowFrames(const std::string &when)
    {
        ASSERT_EQ(model()->rowCount(), doc.picCount()) << when;
        for (int i = 0; i < doc.picCount(); ++i) {
            const QModelIndex item = model()->index(i);
            EXPECT_EQ(item.data(FilmstripModel::NumberRole).toInt(), i) << when;
            EXPECT_EQ(item.data(FilmstripModel::DelayRole).toString(), delay(i).trimmed()) << when << " frame " << i;
            // A kept thumbnail must be that of the frame now at its place.
            const QImage thumb = item.data(Qt::DecorationRole).value<QImage>();
            ASSERT_FALSE(thumb.isNull()) << when;
            EXPECT_EQ(thumb, FilmstripModel::thumbnail(doc, i)) << when << " frame " << i;
            EXPECT_EQ(window.frameWindow(i)->windowTitle(), QString::number(i)) << when;
        }
    }

    void select(const QList<int> &rows)
    {
        QItemSelectionModel *s = window.filmstrip()->selectionModel();
        s->clearSelection();
        for (int r : rows)
            s->select(model()->index(r), QItemSelectionModel::Select);
    }
};

} // namespace

TEST_F(FilmstripTest, ItemsFollowEveryChangeOfTheDocumentAndItsHistory)
{
    const QString example = QStringLiteral(VELMAR_SOURCE_DIR "/examples/example.gif");
    const std::vector<std::pair<std::string, std::function<void()>>> steps = {
        {"open", [&] { ASSERT_TRUE(window.openPath(example)); }},
        {"add", [&] { addLettered(4); }},
        {"swap",
         [&] {
             window.showFrame(2);
             window.mMae_Click();
         }},
        {"delete",
         [&] {
             window.showFrame(0);
             window.mDelete_Click();
         }},
        {"create", [&] { ASSERT_TRUE(doc.NewWindow(1, 5, 3, 7)); }},
        {"change",
         [&] {
             doc.beginStep(QStringLiteral("paint"));
             const Result<int> n = doc.CopyWindow(2);
             ASSERT_TRUE(n);
             std::span<uint8_t> px = doc.pixelsForWriting(*n);
             std::fill(px.begin(), px.end(), uint8_t(3));
             doc.ShowPic(*n);
             doc.endStep();
         }},
        {"delay", [&] { doc.setCell(3, PropertyGrid::ColDelay, QStringLiteral("77")); }},
        {"move",
         [&] {
             doc.moveFrames({0, doc.picCount() - 1}, 2);
         }},
        {"reverse",
         [&] {
             doc.reverseFrames({1, 2, 3});
         }},
    };
    for (const auto &[name, run] : steps) {
        run();
        expectItemsFollowFrames(name);
    }
    for (int undone = 1; doc.undo(); ++undone)
        expectItemsFollowFrames("undo " + std::to_string(undone));
    for (int redone = 1; doc.redo(); ++redone)
        expectItemsFollowFrames("redo " + std::to_string(redone));
    doc.closeAll();
    EXPECT_EQ(model()->rowCount(), 0);
}

// Items 5 to 7 dropped in front of item 1: one step, and the frames, the
// grid rows and the windows all in the new order.
TEST_F(FilmstripTest, DroppingASelectionMovesItsFramesInOneStep)
{
    addLettered(10);
    const int stepsBefore = doc.undoCount();
    std::unique_ptr<QMimeData> dragged(model()->mimeData({model()->index(6), model()->index(5), model()->index(7)}));
    ASSERT_TRUE(model()->dropMimeData(dragged.get(), Qt::MoveAction, 1, 0, QModelIndex()));
    EXPECT_EQ(letters(), QStringLiteral("AFGHBCDEIJ"));
    EXPECT_EQ(doc.undoCount(), stepsBefore + 1);
    EXPECT_EQ(delay(1), QStringLiteral("15"));
    expectItemsFollowFrames("drop in front");

    // Behind the block: the rows in front of the drop row that move do not
    // count.
    dragged.reset(model()->mimeData({model()->index(1), model()->index(2)}));
    ASSERT_TRUE(model()->dropMimeData(dragged.get(), Qt::MoveAction, 6, 0, QModelIndex()));
    EXPECT_EQ(letters(), QStringLiteral("AHBCFGDEIJ"));
    ASSERT_TRUE(doc.undo());
    ASSERT_TRUE(doc.undo());
    EXPECT_EQ(letters(), QStringLiteral("ABCDEFGHIJ"));
    expectItemsFollowFrames("undo drops");
}

TEST_F(FilmstripTest, SelectionCommandsActOnTheSelectedFramesOrTheActiveOne)
{
    addLettered(6);
    select({4, 2});
    window.setDelayAsker([](int) { return 25; });
    window.findChild<QAction *>(QStringLiteral("mSetDelays"))->trigger();
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(delay(i), i == 2 || i == 4 ? QStringLiteral("25") : QString::number(10 + i)) << "frame " << i;
    ASSERT_TRUE(doc.undo());
    EXPECT_EQ(delay(2), QStringLiteral("12"));
    EXPECT_EQ(delay(4), QStringLiteral("14"));

    // Cancelled: nothing changes.
    window.setDelayAsker([](int) { return -1; });
    const int steps = doc.undoCount();
    window.mSetDelays_Click();
    EXPECT_EQ(doc.undoCount(), steps);

    select({1, 3});
    window.mDeleteSelected_Click();
    EXPECT_EQ(letters(), QStringLiteral("ACEF"));
    expectItemsFollowFrames("delete selected");

    // Nothing selected: the active frame alone.
    window.filmstrip()->selectionModel()->clearSelection();
    window.showFrame(2);
    window.filmstrip()->selectionModel()->clearSelection();
    EXPECT_EQ(window.selectedFrames(), QList<int>{2});
    window.mDeleteSelected_Click();
    EXPECT_EQ(letters(), QStringLiteral("ACF"));

    window.mAllDel_Click();
    for (const char *name : {"mDeleteSelected", "mSetDelays", "mReverse", "mDuplicate", "mYoyo"})
        EXPECT_FALSE(window.findChild<QAction *>(QString::fromLatin1(name))->isEnabled()) << name;
}

// Hundreds of windows tiled beyond the visible area: a click on the last
// item activates its window and scrolls it into view.
TEST_F(FilmstripTest, ClickOnAnItemScrollsItsWindowIntoView)
{
    addLettered(1, 40, 30);
    for (int i = 1; i < 200; ++i)
        ASSERT_TRUE(doc.CopyWindow(0));
    window.mSeiretu_Click();
    QApplication::processEvents();
    const QRect view = window.mdiArea()->viewport()->rect();
    QMdiSubWindow *last = window.frameSubWindow(199);
    ASSERT_FALSE(last->geometry().intersects(view));
    // Out of view or not, the newest window is the active one.
    EXPECT_EQ(window.mdiArea()->activeSubWindow(), last);
    EXPECT_EQ(doc.curPic(), 199);
    window.mdiArea()->setActiveSubWindow(window.frameSubWindow(0));

    const QModelIndex item = model()->index(199);
    window.filmstrip()->scrollTo(item);
    QTest::mouseClick(window.filmstrip()->viewport(), Qt::LeftButton, {},
                      window.filmstrip()->visualRect(item).center());
    QApplication::processEvents();
    EXPECT_EQ(window.mdiArea()->activeSubWindow(), last);
    EXPECT_TRUE(view.contains(last->geometry())) << "window at " << last->geometry().x() << "," << last->geometry().y();
    // Windows out of view are hidden, yet the area still scrolls back to
    // them, and scrolling shows them without moving the activation.
    QMdiSubWindow *early = window.frameSubWindow(3);
    EXPECT_TRUE(early->isHidden());
    window.mdiArea()->verticalScrollBar()->setValue(window.mdiArea()->verticalScrollBar()->minimum());
    window.mdiArea()->horizontalScrollBar()->setValue(window.mdiArea()->horizontalScrollBar()->minimum());
    QApplication::processEvents();
    ASSERT_TRUE(view.intersects(early->geometry()));
    EXPECT_TRUE(early->isVisible());
    EXPECT_TRUE(last->isVisible()) << "the active window stays shown";
    EXPECT_EQ(window.mdiArea()->activeSubWindow(), last);
    // And back: activating a window selects its item.
    window.mdiArea()->setActiveSubWindow(early);
    QApplication::processEvents();
    EXPECT_EQ(window.filmstrip()->currentIndex().row(), 3);
    EXPECT_EQ(window.filmstrip()->selectedRows(), QList<int>{3});
}

// The widest caption of a long animation fits its title bar unshortened.
TEST_F(FilmstripTest, CaptionsFitTheirTitleBars)
{
    addLettered(1, 1, 1);
    for (int i = 1; i <= 1234; ++i)
        ASSERT_TRUE(doc.CopyWindow(0));
    for (const int frame : {0, 1234}) {
        QMdiSubWindow *sub = window.frameSubWindow(frame);
        QStyleOptionTitleBar option;
        option.initFrom(sub);
        option.text = QString::number(frame);
        option.titleBarFlags = sub->windowFlags();
        option.subControls = QStyle::SC_All;
        option.rect = QRect(0, 0, sub->width(), sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, sub));
        const QRect label = sub->style()->subControlRect(QStyle::CC_TitleBar, &option, QStyle::SC_TitleBarLabel, sub);
        QFont font = QApplication::font("QMdiSubWindowTitleBar");
        font.setBold(true);
        EXPECT_GE(label.width(), QFontMetrics(font).horizontalAdvance(QString::number(frame))) << frame;
    }
}
