#include "document/document.h"
#include "frmpic.h"
#include "frmprpty.h"
#include "helpwindow.h"
#include "mdimain.h"
#include "support/frames.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <gtest/gtest.h>

using namespace velmar;
using velmar::test::addFrame;
using velmar::test::rampPalette;

namespace
{

struct MenuItem {
    const char *name;
    const char16_t *caption;
    QKeySequence shortcut;
    const char *handler;
    bool needsFrame; // disabled while there is no frame
};

const MenuItem kMenuItems[] = {
    {"mGifIn", u"開く", QKeySequence(Qt::CTRL | Qt::Key_O), "mGifIn_Click", false},
    {"mSave", u"上書き保存", QKeySequence(Qt::CTRL | Qt::Key_S), "mSave_Click", true},
    {"mGifOut", u"名前を付けて保存", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), "mGifOut_Click", true},
    {"mGifOutOptimized", u"最適化して保存...", QKeySequence(), "mGifOutOptimized_Click", true},
    {"mAllDel", u"全てのﾌﾚｰﾑｳを閉じる", QKeySequence(), "mAllDel_Click", true},
    {"mEnd", u"Velmarの終了", QKeySequence(), "mEnd_Click", false},
    {"mMae", u"前のﾌﾚｰﾑと入替", QKeySequence(Qt::CTRL | Qt::Key_B), "mMae_Click", true},
    {"mUshiro", u"後ろのﾌﾚｰﾑと入替", QKeySequence(Qt::CTRL | Qt::Key_A), "mUshiro_Click", true},
    {"mDelete", u"１ﾌﾚｰﾑ削除", QKeySequence(Qt::SHIFT | Qt::Key_Delete), "mDelete_Click", true},
    {"mAutoCreate", u"自動作成", QKeySequence(), "mAutoCreate_Click", false},
    {"mPropaty", u"ﾌﾟﾛﾊﾟﾃｨ", QKeySequence(), "mPropaty_Click", false},
    {"mAnime", u"ｱﾆﾒｰｼｮﾝ表示", QKeySequence(Qt::Key_F5), "mAnime_Click", false},
    {"mKasane", u"重ねて表示", QKeySequence(), "mKasane_Click", true},
    {"mSeiretu", u"左右に並べて表示", QKeySequence(), "mSeiretu_Click", true},
    {"mSeiretu2", u"上下に並べて表示", QKeySequence(), "mSeiretu2_Click", true},
    {"mVersion", u"ﾊﾞｰｼﾞｮﾝ情報", QKeySequence(), "mVersion_Click", false},
};

struct ToolButton {
    const char *key;
    const char16_t *tooltip;
    const char *action; // the menu item's action, or the F1 action of help
    const char *handler;
};

const ToolButton kToolButtons[] = {
    {"open", u"開く", "mGifIn", "mGifIn_Click"},
    {"save", u"名前を付けて保存", "mGifOut", "mGifOut_Click"},
    {"undo", u"元に戻す", "mUndo", "mUndo_Click"},
    {"redo", u"やり直し", "mRedo", "mRedo_Click"},
    {"before", u"前のﾌﾚｰﾑと入替", "mMae", "mMae_Click"},
    {"after", u"後ろのﾌﾚｰﾑと入替", "mUshiro", "mUshiro_Click"},
    {"delete", u"１ﾌﾚｰﾑ削除", "mDelete", "mDelete_Click"},
    {"auto", u"自動作成", "mAutoCreate", "mAutoCreate_Click"},
    {"property", u"ﾌﾟﾛﾊﾟﾃｨ", "mPropaty", "mPropaty_Click"},
    {"play", u"ｱﾆﾒｰｼｮﾝ表示", "mAnime", "mAnime_Click"},
    {"kasane", u"重ねて表示", "mKasane", "mKasane_Click"},
    {"seiretu1", u"左右に並べて表示", "mSeiretu", "mSeiretu_Click"},
    {"seiretu2", u"上下に並べて表示", "mSeiretu2", "mSeiretu2_Click"},
    {"help", u"ﾍﾙﾌﾟ", "mHelpF1", "help_Click"},
};

class MainWindowTest : public ::testing::Test
{
  protected:
    Document doc;
    mdiMain window{doc};
    void SetUp() override { window.show(); }
    QAction *action(const char *name) { return window.findChild<QAction *>(QString::fromLatin1(name)); }
};

// The painted picture of a frame window at image pixel (x, y).
QRgb paintedPixel(frmPic *w, int x, int y)
{
    const QImage shot = w->pic1()->grab().toImage();
    return shot.pixel(PictureBox::kBorder + x, PictureBox::kBorder + y);
}

} // namespace

TEST_F(MainWindowTest, CaptionAndMenusAsTheUserSeesThem)
{
    EXPECT_EQ(window.windowTitle(), QStringLiteral("無題[*] - Velmar"));
    for (const MenuItem &m : kMenuItems) {
        QAction *a = action(m.name);
        ASSERT_NE(a, nullptr) << m.name;
        EXPECT_EQ(a->text(), QString::fromUtf16(m.caption)) << m.name;
        EXPECT_EQ(a->shortcut(), m.shortcut) << m.name;
    }
    for (const char *sep : {"mSpace11", "mSpace21", "mSpase31", "mSpace32"}) {
        QAction *a = action(sep);
        ASSERT_NE(a, nullptr) << sep;
        EXPECT_TRUE(a->isSeparator()) << sep;
    }
}

TEST_F(MainWindowTest, ToolbarKeysInOrderWithTooltips)
{
    auto *bar = window.findChild<QToolBar *>(QStringLiteral("Toolbar1"));
    ASSERT_NE(bar, nullptr);
    QStringList layout;
    for (QAction *a : bar->actions())
        layout << (a->isSeparator() ? QStringLiteral("|") : a->data().toString());
    EXPECT_EQ(layout.join(' '), QStringLiteral("| open save | undo redo | before after delete | auto property play | "
                                               "kasane seiretu1 seiretu2 | help"));
    for (const ToolButton &b : kToolButtons) {
        QAction *a = window.toolbarAction(QString::fromLatin1(b.key));
        ASSERT_NE(a, nullptr) << b.key;
        EXPECT_EQ(a, action(b.action)) << b.key << ": the button is the menu item's own action";
        EXPECT_EQ(a->toolTip(), QString::fromUtf16(b.tooltip)) << b.key;
        EXPECT_FALSE(a->icon().isNull()) << b.key;
        EXPECT_FALSE(a->isIconVisibleInMenu()) << b.key;
        auto *button = window.findChild<QToolButton *>(QStringLiteral("Toolbar1_") + QLatin1String(b.key));
        ASSERT_NE(button, nullptr) << b.key;
        EXPECT_EQ(button->defaultAction(), a) << b.key;
    }
}

TEST_F(MainWindowTest, EachToolbarKeyRunsTheHandlerOfItsCommand)
{
    for (int i = 0; i < 2; ++i) // the commands that need a frame are enabled; delete takes one
        addFrame(doc, 2, 2, {0, 0, 0, 0}, 2, rampPalette(i));
    for (const ToolButton &b : kToolButtons) {
        if (std::string(b.key) == "open" || std::string(b.key) == "save")
            continue; // the file dialogs would block
        window.Toolbar1_ButtonClick(QString::fromLatin1(b.key));
        EXPECT_EQ(window.lastCommand(), QString::fromLatin1(b.handler)) << b.key;
    }
    window.Toolbar1_ButtonClick(QStringLiteral("Kasane")); // keys are case-sensitive
    EXPECT_EQ(window.lastCommand(), QStringLiteral("help_Click"));
}

TEST_F(MainWindowTest, CommandsThatNeedAFrameAreDisabledWhileThereIsNone)
{
    const auto expectEnabled = [this](bool haveFrames, const char *when) {
        for (const MenuItem &m : kMenuItems)
            EXPECT_EQ(action(m.name)->isEnabled(), haveFrames || !m.needsFrame) << m.name << " " << when;
    };
    expectEnabled(false, "at start");
    window.Toolbar1_ButtonClick(QStringLiteral("save"));
    EXPECT_EQ(window.lastCommand(), QString()) << "a disabled button runs nothing";
    window.mGifOut_Click(); // called all the same, it returns before any dialog
    EXPECT_EQ(window.lastCommand(), QStringLiteral("mGifOut_Click"));

    addFrame(doc, 2, 2, {0, 0, 0, 0}, 2, rampPalette(0));
    expectEnabled(true, "with a frame");
    action("mAllDel")->trigger();
    ASSERT_EQ(doc.picCount(), 0);
    expectEnabled(false, "after closing all");

    // A frame whose reading is given up leaves no frame behind.
    ASSERT_EQ(test::addedFrame(doc.beginFrame(2, 2, 2, rampPalette(0))), 0);
    doc.abandonFrame();
    expectEnabled(false, "after an abandoned frame");
}

TEST_F(MainWindowTest, FrameWindowsShowEachFrameThroughItsOwnPalette)
{
    const ColorTable first = rampPalette(3);
    const ColorTable second = rampPalette(40);
    addFrame(doc, 3, 2, {0, 1, 2, 3, 4, 5}, 8, first);
    addFrame(doc, 3, 2, {5, 4, 3, 2, 1, 0}, 8, second);
    std::vector<uint8_t> wide(5 * 3);
    for (size_t i = 0; i < wide.size(); ++i)
        wide[i] = uint8_t(i);
    addFrame(doc, 5, 3, wide, 16, first);

    for (int f = 0; f < 3; ++f) {
        frmPic *w = window.frameWindow(f);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->windowTitle(), QString::number(f));
        const PicInfo &pic = doc.pic(f);
        EXPECT_EQ(w->pic1()->size(), QSize(pic.lWidth + 4, pic.lHeight + 4));
        for (int y = 0; y < pic.lHeight; ++y)
            for (int x = 0; x < pic.lWidth; ++x) {
                const Rgb c = pic.colors[pic.bits[size_t(y * pic.lWidth + x)]];
                EXPECT_EQ(paintedPixel(w, x, y), qRgb(c.r, c.g, c.b)) << "frame " << f << " at " << x << "," << y;
            }
    }
    // Outer width at least 1425 twips.
    EXPECT_GE(window.frameSubWindow(0)->width(), 95);
}

TEST_F(MainWindowTest, RedrawIsImmediateAndSwapsRenumberWindows)
{
    addFrame(doc, 2, 1, {0, 1}, 2, rampPalette(0));
    frmPic *a = window.frameWindow(0);
    std::ranges::fill(doc.pixelsForWriting(0), uint8_t(1));
    doc.ShowPic(0);
    const Rgb one = doc.pic(0).colors[1];
    EXPECT_EQ(a->pic1()->picture().pixel(0, 0), qRgb(one.r, one.g, one.b));
    addFrame(doc, 2, 1, {1, 0}, 2, rampPalette(0));
    frmPic *b = window.frameWindow(1);

    window.mdiArea()->setActiveSubWindow(window.frameSubWindow(1));
    EXPECT_EQ(doc.curPic(), 1);
    window.mMae_Click();
    EXPECT_EQ(b->windowTitle(), "0");
    EXPECT_EQ(a->windowTitle(), "1");
    EXPECT_EQ(window.frameWindow(0), b);
}

TEST_F(MainWindowTest, ClosingAFrameWindowDeletesThatFrame)
{
    for (int i = 0; i < 3; ++i)
        addFrame(doc, 2, 2, {0, 0, 0, 0}, 2, rampPalette(i));
    frmPic *last = window.frameWindow(2);
    window.frameSubWindow(1)->close();
    EXPECT_EQ(doc.picCount(), 2);
    EXPECT_EQ(window.frameWindow(1), last);
    EXPECT_EQ(last->windowTitle(), "1");

    // Ctrl+Z puts a window back at the frame's place, Ctrl+Y takes it away.
    QApplication::setActiveWindow(&window);
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(window.mdiArea()->subWindowList().size(), 3);
    EXPECT_EQ(window.frameWindow(2), last);
    EXPECT_EQ(last->windowTitle(), "2");
    EXPECT_EQ(window.frameWindow(1)->windowTitle(), "1");
    const Rgb back = rampPalette(1)[0];
    EXPECT_EQ(window.frameWindow(1)->pic1()->picture().pixel(0, 0), qRgb(back.r, back.g, back.b));
    QTest::keyClick(&window, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(window.frameWindow(1), last);
    EXPECT_EQ(last->windowTitle(), "1");
}

TEST_F(MainWindowTest, HelpSaysSoWhenThePageIsMissing)
{
    // The test binary has no help page beside it.
    window.help_Click();
    EXPECT_TRUE(doc.statusText().startsWith(QStringLiteral("ヘルプファイルが見つかりません")));
}

TEST_F(MainWindowTest, OptimisedSaveLeavesItsSizeAgainstThePlainOneUntilTheNextCommand)
{
    QTemporaryDir dir;
    EXPECT_FALSE(window.saveOptimizedTo(dir.filePath(QStringLiteral("none.gif"))));
    std::vector<uint8_t> pixels(64 * 48, 1);
    addFrame(doc, 64, 48, pixels, 4, rampPalette(1));
    pixels[100] = 2;
    addFrame(doc, 64, 48, pixels, 4, rampPalette(1));
    const QString plain = dir.filePath(QStringLiteral("plain.gif"));
    const QString optimised = dir.filePath(QStringLiteral("optimised.gif"));
    ASSERT_TRUE(window.saveTo(plain));
    ASSERT_TRUE(window.saveOptimizedTo(optimised));
    const auto kb = [](const QString &path) { return QString::number(QFileInfo(path).size() / 1024.0, 'f', 1); };
    EXPECT_EQ(doc.statusText(), QStringLiteral("最適化して保存しました: ") + optimised + QStringLiteral(" (") +
                                    kb(plain) + QStringLiteral(" KB → ") + kb(optimised) + QStringLiteral(" KB)"));
    EXPECT_LT(QFileInfo(optimised).size(), QFileInfo(plain).size());
    action("mKasane")->trigger();
    EXPECT_EQ(doc.statusText(), QString());
}

TEST_F(MainWindowTest, F1ShowsThePageInTheProgramsOwnWindowWhenTheDesktopHasNoViewer)
{
    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("help.html"));
    QFile file(page);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html><body><h1>Velmar help</h1></body></html>");
    file.close();
    window.setHelpFilePath(page);
    QApplication::setActiveWindow(&window);

    QList<QUrl> asked;
    window.setUrlOpener([&asked](const QUrl &url) {
        asked << url;
        return true;
    });
    QTest::keyClick(&window, Qt::Key_F1);
    EXPECT_EQ(asked, QList<QUrl>{QUrl::fromLocalFile(page)});
    EXPECT_EQ(window.helpWindow(), nullptr) << "the desktop's viewer took it";

    window.setUrlOpener([](const QUrl &) { return false; });
    QTest::keyClick(&window, Qt::Key_F1);
    HelpWindow *help = window.helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->source(), QUrl::fromLocalFile(page));
    EXPECT_TRUE(help->toPlainText().contains(QStringLiteral("Velmar help")));
    EXPECT_TRUE(doc.statusText().isEmpty());
    help->close();
}

TEST_F(MainWindowTest, WindowPlacesAndZoomAreRememberedForTheNextRun)
{
    ASSERT_TRUE(QStandardPaths::isTestModeEnabled()) << "must not touch the user's settings";
    QSettings().clear();
    QSize size;
    {
        Document other;
        mdiMain first(other);
        first.restoreWindowSettings();
        first.show();
        first.resize(first.size() + QSize(40, 30));
        size = first.size();
        first.setZoom(3);
        first.saveWindowSettings();
    }
    mdiMain second(doc);
    EXPECT_EQ(second.zoom(), 1) << "only the program brings settings back";
    second.restoreWindowSettings();
    EXPECT_EQ(second.size(), size);
    EXPECT_EQ(second.zoom(), 3);
    QSettings().clear();
}
