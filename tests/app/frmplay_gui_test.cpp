#include "document/document.h"
#include "document/gifio.h"
#include "frmpic.h"
#include "frmplay.h"
#include "mdimain.h"
#include "picturebox_view.h"
#include "platform/twips.h"
#include "support/frames.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace velmar;
using velmar::test::addFrame;
using velmar::test::rampPalette;

namespace
{

// Lets the deletions that closing a window schedules happen now.
void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QRgb rgb(const Rgb &c)
{
    return qRgb(c.r, c.g, c.b);
}

class PlayerWindowTest : public ::testing::Test
{
  protected:
    Document doc;
    QPointer<frmPlay> player;

    void TearDown() override
    {
        delete player.data();
        flushDeletes();
    }
    void canvas(int w, int h)
    {
        doc.setGblWidth(QString::number(w));
        doc.setGblHeight(QString::number(h));
    }
    frmPlay *open()
    {
        player = new frmPlay(doc);
        player->show();
        return player;
    }
    // The colour painted on screen at canvas pixel (x, y).
    QRgb painted(int x, int y)
    {
        const QImage shot = player->picPlay()->grab().toImage();
        return shot.pixel(PictureBox::kBorder + x, PictureBox::kBorder + y);
    }
};

TEST_F(PlayerWindowTest, LoadsWithCaptionTimerAndOpenFlag)
{
    canvas(10, 10);
    EXPECT_FALSE(doc.playOpen());
    open();
    EXPECT_EQ(player->windowTitle(), QStringLiteral("ｱﾆﾒｰｼｮﾝ表示"));
    EXPECT_TRUE(doc.playOpen());
    auto *timer = player->findChild<QTimer *>(QStringLiteral("tmrPlay"));
    ASSERT_EQ(timer, player->tmrPlay());
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 10);
    EXPECT_EQ(player->findChild<PictureBox *>(QStringLiteral("picPlay")), player->picPlay());
    player->close();
    EXPECT_FALSE(doc.playOpen());
    EXPECT_FALSE(timer->isActive());
    flushDeletes();
    EXPECT_TRUE(player.isNull()) << "closing unloads the window";
}

TEST_F(PlayerWindowTest, NarrowCanvasGivesTheMinimumWidthWithTheBoxAtTheLeft)
{
    canvas(20, 30);
    open();
    EXPECT_EQ(pixelsToTwips(player->frameGeometry().width()), 1425);
    EXPECT_EQ(player->picPlay()->geometry(), QRect(0, 0, 24, 34));
    EXPECT_EQ(player->height(), 34) << "no minimum height: the inner area is the box";
}

TEST_F(PlayerWindowTest, WideCanvasSizesTheWindowAroundTheBox)
{
    canvas(200, 7);
    open();
    EXPECT_EQ(player->size(), QSize(204, 11));
    EXPECT_EQ(player->picPlay()->geometry(), QRect(0, 0, 204, 11));
}

TEST_F(PlayerWindowTest, TickShowsTheScreenOneToOneInEachFramesColoursAndTimesTheNext)
{
    canvas(3, 2);
    addFrame(doc, 3, 2, {0, 1, 2, 3, 4, 5}, 256, rampPalette(0));
    addFrame(doc, 1, 1, {9}, 256, rampPalette(70));
    doc.setCell(1, PropertyGrid::ColDelay, QStringLiteral("25"));
    doc.setCell(2, PropertyGrid::ColX, QStringLiteral("2"));
    doc.setCell(2, PropertyGrid::ColY, QStringLiteral("1"));
    doc.setCell(2, PropertyGrid::ColDelay, QStringLiteral("0"));
    open();

    player->tmrPlay_Timer();
    EXPECT_EQ(player->tmrPlay()->interval(), 250);
    EXPECT_TRUE(player->tmrPlay()->isActive());
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(painted(x, y), rgb(rampPalette(0)[size_t(y * 3 + x)])) << x << "," << y;

    player->tmrPlay_Timer();
    EXPECT_EQ(player->tmrPlay()->interval(), 10);
    // Frame 0's pixels keep frame 0's colours; frame 1 sits at (2, 1).
    EXPECT_EQ(painted(0, 0), rgb(rampPalette(0)[0]));
    EXPECT_EQ(painted(1, 1), rgb(rampPalette(0)[4]));
    EXPECT_EQ(painted(2, 1), rgb(rampPalette(70)[9]));
    EXPECT_EQ(player->picPlay()->size(), QSize(7, 6));
}

TEST_F(PlayerWindowTest, WithNoFramesItClosesAtTheFirstTick)
{
    canvas(5, 5);
    open();
    ASSERT_TRUE(doc.playOpen());
    player->tmrPlay_Timer();
    EXPECT_FALSE(doc.playOpen());
    flushDeletes();
    EXPECT_TRUE(player.isNull());
}

TEST_F(PlayerWindowTest, DeletingAFrameWhileItPlaysClosesIt)
{
    canvas(2, 2);
    for (int i = 0; i < 3; ++i)
        addFrame(doc, 2, 2, {1, 2, 3, 4}, 8, rampPalette(i));
    open();
    player->tmrPlay_Timer();
    doc.delPic(2);
    EXPECT_FALSE(doc.playOpen());
    EXPECT_FALSE(player->isVisible());
    flushDeletes();
    EXPECT_TRUE(player.isNull());
    EXPECT_EQ(doc.picCount(), 2);
}

TEST_F(PlayerWindowTest, ScreensMatchTheComposedFramesOfTheSerenitySuiteNeedsShared)
{
    // Frame n of each animation has a PNG of the whole canvas after it; the
    // canvas is transparent where nothing is drawn. Among them: disposal 3 on
    // the first frame, disposal 2, and frames reaching past the canvas.
    const QDir suite(QStringLiteral(VELMAR_SHARED_DIR "/gif-conformance/serenity-gif-test-suite/gifs"));
    if (!suite.exists())
        GTEST_SKIP() << "needs ../shared: no serenity suite at " << suite.path().toStdString();
    const QStringList gifs = suite.entryList({QStringLiteral("animated_*.gif")}, QDir::Files);
    ASSERT_FALSE(gifs.isEmpty());
    for (const QString &name : gifs) {
        SCOPED_TRACE(name.toStdString());
        const QString stem = name.chopped(4);
        const QImage first(suite.filePath(QStringLiteral("frames/%1-0.png").arg(stem)));
        ASSERT_FALSE(first.isNull());
        Document file;
        ASSERT_TRUE(OpenGif(file, suite.filePath(name)).ok());
        file.setGblWidth(QString::number(first.width()));
        file.setGblHeight(QString::number(first.height()));
        frmPlay window(file);
        for (int f = 0; f < file.picCount(); ++f) {
            const QImage want = QImage(suite.filePath(QStringLiteral("frames/%1-%2.png").arg(stem).arg(f)))
                                    .convertToFormat(QImage::Format_ARGB32);
            if (want.isNull())
                break;
            window.tmrPlay_Timer();
            const QImage shown = window.screenImage();
            int wrong = 0;
            for (int y = 0; y < want.height(); ++y)
                for (int x = 0; x < want.width(); ++x) {
                    const QRgb ref = want.pixel(x, y);
                    const bool covered = window.compositor().covered(x, y);
                    if (covered != (qAlpha(ref) != 0) || (covered && shown.pixel(x, y) != (ref | 0xff000000u)) ||
                        (!covered && shown.pixel(x, y) != frmPlay::backdropAt(x, y)))
                        ++wrong;
                }
            EXPECT_EQ(wrong, 0) << "frame " << f;
        }
    }
}

// --- Through the main window ----------------------------------------------------

class PlayerFromMainWindowTest : public ::testing::Test
{
  protected:
    Document doc;
    mdiMain window{doc};
    void SetUp() override
    {
        window.show();
        doc.setGblWidth(QStringLiteral("4"));
        doc.setGblHeight(QStringLiteral("1"));
        for (int i = 0; i < 3; ++i)
            addFrame(doc, 1, 1, {uint8_t(i + 1)}, 8, rampPalette(i));
        for (int i = 0; i < 3; ++i)
            doc.setCell(i + 1, PropertyGrid::ColX, QString::number(i));
    }
    QAction *action(const char *name) { return window.findChild<QAction *>(QString::fromLatin1(name)); }
};

TEST_F(PlayerFromMainWindowTest, F5AndThePlayKeyOpenOnePlayerModeless)
{
    EXPECT_EQ(window.playerWindow(), nullptr) << "not created before first use";
    QAction *anime = action("mAnime");
    ASSERT_NE(anime, nullptr);
    EXPECT_EQ(anime->shortcut(), QKeySequence(Qt::Key_F5));
    anime->trigger();
    frmPlay *p = window.playerWindow();
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->isVisible());
    EXPECT_FALSE(p->isModal());
    EXPECT_TRUE(doc.playOpen());
    window.Toolbar1_ButtonClick(QStringLiteral("play"));
    EXPECT_EQ(window.playerWindow(), p) << "a second opening shows the same player";
    EXPECT_EQ(window.findChildren<frmPlay *>().size(), 1);
}

TEST_F(PlayerFromMainWindowTest, DeleteCommandClosesThePlayer)
{
    window.mAnime_Click();
    QPointer<frmPlay> p = window.playerWindow();
    p->tmrPlay_Timer();
    window.mdiArea()->setActiveSubWindow(window.frameSubWindow(1));
    window.mDelete_Click();
    EXPECT_EQ(doc.picCount(), 2);
    EXPECT_FALSE(doc.playOpen());
    flushDeletes();
    EXPECT_TRUE(p.isNull());
    EXPECT_EQ(window.playerWindow(), nullptr);
}

TEST_F(PlayerFromMainWindowTest, ReopeningStartsAtFrameZeroWithFreshBuffers)
{
    window.mAnime_Click();
    QPointer<frmPlay> first = window.playerWindow();
    first->tmrPlay_Timer();
    first->tmrPlay_Timer();
    // Frames 0 and 1 at x = 0 and 1; where nothing is drawn the backdrop shows.
    const QImage shot = first->picPlay()->grab().toImage();
    const auto painted = [&](int x) { return shot.pixel(PictureBox::kBorder + x, PictureBox::kBorder); };
    EXPECT_EQ(painted(0), rgb(rampPalette(0)[1]));
    EXPECT_EQ(painted(1), rgb(rampPalette(1)[2]));
    EXPECT_EQ(painted(2), frmPlay::backdropAt(2, 0));
    EXPECT_EQ(painted(3), frmPlay::backdropAt(3, 0));
    first->close();
    flushDeletes();
    ASSERT_TRUE(first.isNull());
    EXPECT_FALSE(doc.playOpen());

    doc.setGblWidth(QStringLiteral("3")); // the canvas of the moment counts
    window.mAnime_Click();
    frmPlay *second = window.playerWindow();
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(doc.playOpen());
    EXPECT_EQ(second->compositor().playPos(), 0);
    EXPECT_EQ(second->compositor().screen(), std::vector<Rgba>(3));
    second->tmrPlay_Timer();
    EXPECT_EQ(second->compositor().shownFrame(), 0);
    const Rgb one = rampPalette(0)[1];
    EXPECT_EQ(second->compositor().screen(), std::vector<Rgba>({{one.r, one.g, one.b, 255}, {}, {}}));
}

TEST_F(PlayerFromMainWindowTest, OpeningRightAfterACloseLoadsANewPlayer)
{
    window.mAnime_Click();
    QPointer<frmPlay> first = window.playerWindow();
    first->close(); // its deletion is still pending
    window.mAnime_Click();
    frmPlay *second = window.playerWindow();
    EXPECT_NE(second, first.data());
    EXPECT_TRUE(second->isLoaded());
    EXPECT_TRUE(second->isVisible());
    EXPECT_TRUE(doc.playOpen());
    flushDeletes();
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(window.playerWindow(), second);
    EXPECT_TRUE(doc.playOpen()) << "the old player's deletion must not clear the new one's flag";
}

TEST_F(PlayerFromMainWindowTest, OpeningWithNoFramesClosesAtTheFirstTick)
{
    doc.closeAll();
    window.mAnime_Click();
    QPointer<frmPlay> p = window.playerWindow();
    ASSERT_FALSE(p.isNull());
    p->tmrPlay_Timer();
    flushDeletes();
    EXPECT_TRUE(p.isNull());
    EXPECT_FALSE(doc.playOpen());
}

} // namespace

TEST_F(PlayerFromMainWindowTest, ZoomScalesFrameWindowsAndThePlayerPixelForPixel)
{
    addFrame(doc, 120, 40, std::vector<uint8_t>(120 * 40, 1), 8, rampPalette(5));
    window.mAnime_Click();
    frmPlay *p = window.playerWindow();
    p->tmrPlay_Timer();
    const QSize border(2 * PictureBox::kBorder, 2 * PictureBox::kBorder);
    const QSize picture = window.frameWindow(3)->pic1()->size() - border;
    const QSize outer = window.frameSubWindow(3)->size();
    const QSize canvas = p->picPlay()->size() - border;
    ASSERT_EQ(picture, QSize(120, 40));

    action("mZoom200")->trigger();
    EXPECT_EQ(window.zoom(), 2);
    EXPECT_EQ(window.frameWindow(3)->pic1()->size() - border, picture * 2);
    EXPECT_EQ(window.frameSubWindow(3)->size(), outer + picture) << "the window follows its picture";
    EXPECT_EQ(p->picPlay()->size() - border, canvas * 2);
    EXPECT_GE(p->size().height(), p->picPlay()->height());
    // Nearest neighbour: each picture pixel is a 2 x 2 block of its colour.
    const QImage shot = window.frameWindow(0)->pic1()->grab().toImage();
    const QRgb colour = rgb(rampPalette(0)[1]);
    for (int y : {0, 1})
        for (int x : {0, 1})
            EXPECT_EQ(shot.pixel(PictureBox::kBorder + x, PictureBox::kBorder + y), colour) << x << "," << y;

    addFrame(doc, 120, 40, std::vector<uint8_t>(120 * 40, 1), 8, rampPalette(6));
    EXPECT_EQ(window.frameWindow(4)->pic1()->size() - border, picture * 2) << "a new frame opens zoomed";

    EXPECT_TRUE(action("mZoomIn")->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Equal)));
    action("mZoomIn")->trigger();
    EXPECT_TRUE(action("mZoom300")->isChecked());
    for (int i = 0; i < 4; ++i)
        action("mZoomOut")->trigger();
    EXPECT_EQ(window.zoom(), 1) << "stops at 100%";
    EXPECT_TRUE(action("mZoom100")->isChecked());
    EXPECT_FALSE(action("mZoom200")->isChecked());
    EXPECT_EQ(window.frameSubWindow(3)->size(), outer);
    EXPECT_EQ(p->picPlay()->size() - border, canvas);
}

TEST_F(PlayerFromMainWindowTest, OpensOnScreenBesideTheMainWindowAndEscClosesIt)
{
    window.mAnime_Click();
    QPointer<frmPlay> p = window.playerWindow();
    const QRect main = window.frameGeometry();
    const QRect player = p->frameGeometry();
    EXPECT_TRUE(window.screen()->availableGeometry().contains(player));
    EXPECT_TRUE(player.left() > main.right() || main.contains(player.topRight())) << "beside, or inside when it cannot";

    QTest::keyClick(p.data(), Qt::Key_Escape);
    EXPECT_FALSE(doc.playOpen());
    flushDeletes();
    EXPECT_TRUE(p.isNull());
}
