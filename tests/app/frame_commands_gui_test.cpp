// Frame commands and window arrangement through the real main window.
#include "document/document.h"
#include "frmpic.h"
#include "mdimain.h"
#include "platform/twips.h"
#include "support/frames.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStatusBar>
#include <QToolBar>
#include <gtest/gtest.h>

using namespace velmar;
using velmar::test::addFrame;
using velmar::test::rampPalette;

namespace
{

class FrameWindowsTest : public ::testing::Test
{
  protected:
    Document doc;
    mdiMain window{doc};

    void SetUp() override { window.show(); }

    // Adds frames whose first pixel and grid comment name them.
    void addLettered(int count, int width = 2, int height = 2)
    {
        for (int i = 0; i < count; ++i) {
            const int n = addFrame(doc, width, height, std::vector<uint8_t>(size_t(width * height), uint8_t(i)), 16,
                                   rampPalette(0));
            doc.setCell(n + 1, 10, QString(QChar('A' + i)));
        }
    }
    QString letterOf(int frame) const { return doc.grid().TextMatrix(frame + 1, 10); }
    void activate(int frame) { window.mdiArea()->setActiveSubWindow(window.frameSubWindow(frame)); }

    // Makes the area the frame windows live in exactly this many pixels.
    void setClientSize(int width, int height)
    {
        // The toolbar would keep the window wider than the client sizes used here.
        window.findChild<QToolBar *>(QStringLiteral("Toolbar1"))->hide();
        // Windows beyond the area would bring in a scroll bar and take its
        // room from the size asked for.
        window.mdiArea()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        window.mdiArea()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        QCoreApplication::processEvents();
        const QSize viewport = window.mdiArea()->viewport()->size();
        window.resize(window.size() + QSize(width, height) - viewport);
        QCoreApplication::processEvents();
    }
    // Every frame window's top-left corner in pixels, in frame order.
    std::vector<QPoint> places() const
    {
        std::vector<QPoint> out;
        for (int i = 0; i < doc.picCount(); ++i)
            out.push_back(window.frameSubWindow(i)->pos());
        return out;
    }
    void expectCaptionsMatchSlots()
    {
        for (int i = 0; i < doc.picCount(); ++i) {
            ASSERT_NE(window.frameWindow(i), nullptr) << "frame " << i;
            EXPECT_EQ(window.frameWindow(i)->windowTitle(), QString::number(i));
            EXPECT_EQ(window.frameWindow(i)->number(), i);
        }
    }
};

} // namespace

// --- Deleting -----------------------------------------------------------------

TEST_F(FrameWindowsTest, CloseBoxDeletesExactlyThatFrameAndRenumbersTheRest)
{
    addLettered(4);
    QPointer<QMdiSubWindow> closed = window.frameSubWindow(1);
    frmPic *c = window.frameWindow(2);
    frmPic *d = window.frameWindow(3);
    // Not the active window: the close box acts on its own frame.
    activate(3);
    closed->close();

    EXPECT_EQ(doc.picCount(), 3);
    EXPECT_EQ(letterOf(0), "A");
    EXPECT_EQ(letterOf(1), "C");
    EXPECT_EQ(letterOf(2), "D");
    EXPECT_EQ(doc.pic(1).bits[0], 2) << "frame 1 must now hold C's pixels";
    EXPECT_EQ(window.frameWindow(1), c);
    EXPECT_EQ(window.frameWindow(2), d);
    expectCaptionsMatchSlots();
    EXPECT_EQ(window.mdiArea()->subWindowList().size(), 3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull()) << "the window of the deleted frame goes away";
    EXPECT_EQ(doc.grid().Rows(), 4);
}

TEST_F(FrameWindowsTest, ClosingTheMainWindowDeletesNoFrame)
{
    addLettered(3);
    doc.setClean(); // saved: closing asks nothing
    window.close();
    // Only the user's own close of a frame window deletes its frame.
    window.mdiArea()->closeAllSubWindows();
    EXPECT_EQ(doc.picCount(), 3);
    EXPECT_EQ(letterOf(2), "C");
}

TEST_F(FrameWindowsTest, DeleteCommandActsOnTheActiveFrameAndCloseAllOnEvery)
{
    addLettered(3);
    activate(0);
    window.mDelete_Click();
    EXPECT_EQ(letterOf(0), "B");
    EXPECT_EQ(letterOf(1), "C");
    expectCaptionsMatchSlots();

    window.mAllDel_Click();
    EXPECT_EQ(doc.picCount(), 0);
    EXPECT_TRUE(window.mdiArea()->subWindowList().isEmpty());
    EXPECT_EQ(doc.grid().Rows(), 1);
    // Nothing left to act on.
    window.mDelete_Click();
    window.mMae_Click();
    EXPECT_EQ(doc.picCount(), 0);
}

TEST_F(FrameWindowsTest, MainWindowCanBeMadeNarrowerAgain)
{
    // The status panel follows the window's width; it must not pin it.
    window.resize(900, 600);
    QCoreApplication::processEvents();
    window.resize(700, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.width(), 700);
    auto *panel = window.findChild<QLabel *>(QStringLiteral("StatusBar1_Panel1"));
    ASSERT_NE(panel, nullptr);
    EXPECT_LE(panel->width(), 700 - twipsToPixels(400));
    EXPECT_GT(panel->width(), 600) << "the panel still takes the bar's width";
}

// --- Swapping -------------------------------------------------------------------

TEST_F(FrameWindowsTest, SwapsRenumberWindowsThatKeepTheirScreenPlaces)
{
    addLettered(3);
    for (int i = 0; i < 3; ++i)
        window.frameSubWindow(i)->move(10 + 100 * i, 5 + 30 * i);
    QMdiSubWindow *subB = window.frameSubWindow(1);
    const QPoint placeOfB = subB->pos();
    activate(1);

    window.mMae_Click();
    EXPECT_EQ(letterOf(0), "B");
    EXPECT_EQ(window.frameSubWindow(0), subB);
    EXPECT_EQ(subB->pos(), placeOfB) << "a swap changes numbers, not places";
    EXPECT_EQ(window.frameSubWindow(1)->pos(), QPoint(10, 5));
    EXPECT_EQ(window.mdiArea()->activeSubWindow(), subB);
    expectCaptionsMatchSlots();

    // At the front nothing moves; walking back works from the same window.
    window.mMae_Click();
    EXPECT_EQ(letterOf(0), "B");
    window.mUshiro_Click();
    window.mUshiro_Click();
    EXPECT_EQ(letterOf(2), "B");
    EXPECT_EQ(window.frameSubWindow(2), subB);
    EXPECT_EQ(subB->pos(), placeOfB);
    window.mUshiro_Click(); // the last frame has no next one
    EXPECT_EQ(letterOf(2), "B");
    EXPECT_EQ(letterOf(0), "A");
    EXPECT_EQ(letterOf(1), "C");
    expectCaptionsMatchSlots();
}

// --- Adding -----------------------------------------------------------------------

TEST_F(FrameWindowsTest, StatusPanelShowsProcessingWhileAFrameIsAdded)
{
    addLettered(1);
    auto *panel = window.findChild<QLabel *>(QStringLiteral("StatusBar1_Panel1"));
    ASSERT_NE(panel, nullptr);
    QStringList seenWhileAdding;
    QObject::connect(&doc, &Document::frameAdded, &window, [&] { seenWhileAdding << panel->text(); });
    test::addedFrame(doc.CopyWindow(0));
    test::addedFrame(doc.NewWindow(0, 8, 8, 1));
    EXPECT_EQ(seenWhileAdding, (QStringList{QStringLiteral("処理中"), QStringLiteral("処理中")}));
    EXPECT_TRUE(panel->text().isEmpty());
}

TEST_F(FrameWindowsTest, CopyTakesTheSizeOfItsSourceWindow)
{
    addLettered(1, 30, 20);
    window.frameSubWindow(0)->resize(260, 170); // the user made it larger
    const int n = test::addedFrame(doc.CopyWindow(0));
    ASSERT_EQ(n, 1);
    EXPECT_EQ(window.frameSubWindow(1)->size(), QSize(260, 170));
    EXPECT_EQ(window.frameWindow(1)->windowTitle(), "1");
    EXPECT_EQ(window.frameWindow(1)->pic1()->picture(), window.frameWindow(0)->pic1()->picture());
}

TEST_F(FrameWindowsTest, NewFrameWindowFitsAroundThePictureButIsAtLeast1425TwipsWide)
{
    addLettered(1);
    const int wide = test::addedFrame(doc.NewWindow(0, 200, 100, 3));
    frmPic *f = window.frameWindow(wide);
    QMdiSubWindow *sub = window.frameSubWindow(wide);
    EXPECT_EQ(f->pic1()->size(), QSize(204, 104));
    EXPECT_EQ(sub->contentsRect().size(), QSize(204, 104)) << "the inner area is exactly the picture box";
    const QSize allowance = sub->size() - sub->contentsRect().size();

    const int narrow = test::addedFrame(doc.NewWindow(0, 10, 1, 3));
    QMdiSubWindow *thin = window.frameSubWindow(narrow);
    // As wide as its caption needs, and never below 1425 twips.
    EXPECT_EQ(thin->width(), std::max(twipsToPixels(1425), window.minimumFrameWindowWidth(thin)));
    EXPECT_GE(pixelsToTwips(thin->width()), 1425);
    EXPECT_EQ(thin->height(), 5 + allowance.height()) << "no minimum height";
}

// --- Arrangement --------------------------------------------------------------------

TEST_F(FrameWindowsTest, CascadeRestoresAMaximisedWindowAndKeepsSizes)
{
    addLettered(3);
    const QSize sizes[] = {{120, 90}, {150, 100}, {110, 130}};
    for (int i = 0; i < 3; ++i)
        window.frameSubWindow(i)->resize(sizes[i]);
    window.frameSubWindow(1)->showMaximized();
    ASSERT_TRUE(window.frameSubWindow(1)->isMaximized());

    window.mKasane_Click();
    // 0, 300 and 600 twips.
    EXPECT_EQ(places(), (std::vector<QPoint>{{0, 0}, {20, 20}, {40, 40}}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(window.frameSubWindow(i)->isMaximized()) << i;
        EXPECT_EQ(window.frameSubWindow(i)->size(), sizes[i]) << i;
    }
}

TEST_F(FrameWindowsTest, CascadeVisitsWindowsInFrameOrderAndRestoresMinimised)
{
    addLettered(3);
    QMdiSubWindow *first = window.frameSubWindow(0);
    QMdiSubWindow *second = window.frameSubWindow(1);
    activate(1);
    window.mMae_Click(); // the second window is now frame 0
    window.frameSubWindow(2)->showMinimized();
    window.mKasane_Click();
    EXPECT_EQ(second->pos(), QPoint(0, 0));
    EXPECT_EQ(first->pos(), QPoint(20, 20));
    EXPECT_FALSE(window.frameSubWindow(2)->isMinimized());
    EXPECT_EQ(window.frameSubWindow(2)->pos(), QPoint(40, 40));
}

TEST_F(FrameWindowsTest, SideBySideWrapsBelowTheTallestWindow)
{
    addLettered(4);
    setClientSize(400, 300); // 6000 twips wide
    ASSERT_EQ(window.mdiArea()->viewport()->width(), 400);
    // 166 px = 2490 twips wide; the second is 200 px = 3000 twips high.
    // The fourth fits exactly into what the third leaves of the row.
    const QSize sizes[] = {{166, 134}, {166, 200}, {166, 134}, {234, 50}};
    for (int i = 0; i < 4; ++i)
        window.frameSubWindow(i)->resize(sizes[i]);
    window.mSeiretu_Click();
    EXPECT_EQ(places(), (std::vector<QPoint>{{0, 0}, {166, 0}, {0, 200}, {166, 200}}));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(window.frameSubWindow(i)->size(), sizes[i]) << i;
}

TEST_F(FrameWindowsTest, TopToBottomIsTheMirrorImage)
{
    addLettered(4);
    setClientSize(300, 400); // 6000 twips high
    ASSERT_EQ(window.mdiArea()->viewport()->height(), 400);
    const QSize sizes[] = {{134, 166}, {200, 166}, {134, 166}, {120, 234}};
    for (int i = 0; i < 4; ++i)
        window.frameSubWindow(i)->resize(sizes[i]);
    window.frameSubWindow(3)->showMaximized();
    window.mSeiretu2_Click();
    EXPECT_EQ(places(), (std::vector<QPoint>{{0, 0}, {0, 166}, {200, 0}, {200, 166}}));
    EXPECT_EQ(window.frameSubWindow(3)->size(), sizes[3]);
}
