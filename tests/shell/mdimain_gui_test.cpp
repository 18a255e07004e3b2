#include "properties/frmprpty.h"
#include "shell/document.h"
#include "shell/frmpic.h"
#include "shell/mdimain.h"
#include "support/frames.h"

#include <QAction>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QToolBar>
#include <gtest/gtest.h>

using namespace velmar;
using velmar::test::addFrame;
using velmar::test::rampPalette;

namespace {

struct MenuItem {
    const char *name;
    const char16_t *caption;
    QKeySequence shortcut;
    const char *handler;
};

const MenuItem kMenuItems[] = {
    {"mGifIn", u"開く", QKeySequence(Qt::CTRL | Qt::Key_O), "mGifIn_Click"},
    {"mGifOut", u"名前を付けて保存", QKeySequence(Qt::CTRL | Qt::Key_S), "mGifOut_Click"},
    {"mGifOutOptimized", u"最適化して保存...", QKeySequence(), "mGifOutOptimized_Click"},
    {"mAllDel", u"全てのﾌﾚｰﾑｳを閉じる", QKeySequence(), "mAllDel_Click"},
    {"mEnd", u"Velmarの終了", QKeySequence(), "mEnd_Click"},
    {"mMae", u"前のﾌﾚｰﾑと入替", QKeySequence(Qt::CTRL | Qt::Key_B), "mMae_Click"},
    {"mUshiro", u"後ろのﾌﾚｰﾑと入替", QKeySequence(Qt::CTRL | Qt::Key_A), "mUshiro_Click"},
    {"mDelete", u"１ﾌﾚｰﾑ削除", QKeySequence(Qt::SHIFT | Qt::Key_Delete), "mDelete_Click"},
    {"mAutoCreate", u"自動作成", QKeySequence(), "mAutoCreate_Click"},
    {"mPropaty", u"ﾌﾟﾛﾊﾟﾃｨ", QKeySequence(), "mPropaty_Click"},
    {"mAnime", u"ｱﾆﾒｰｼｮﾝ表示", QKeySequence(Qt::Key_F5), "mAnime_Click"},
    {"mKasane", u"重ねて表示", QKeySequence(), "mKasane_Click"},
    {"mSeiretu", u"左右に並べて表示", QKeySequence(), "mSeiretu_Click"},
    {"mSeiretu2", u"上下に並べて表示", QKeySequence(), "mSeiretu2_Click"},
    {"mVersion", u"ﾊﾞｰｼﾞｮﾝ情報", QKeySequence(), "mVersion_Click"},
};

struct ToolButton {
    const char *key;
    const char16_t *tooltip;
    const char *menuItem; // nullptr: the help button
};

const ToolButton kToolButtons[] = {
    {"open", u"開く", "mGifIn"},
    {"save", u"名前を付けて保存", "mGifOut"},
    {"before", u"前のﾌﾚｰﾑと入替", "mMae"},
    {"after", u"後ろのﾌﾚｰﾑと入替", "mUshiro"},
    {"delete", u"１ﾌﾚｰﾑ削除", "mDelete"},
    {"auto", u"自動作成", "mAutoCreate"},
    {"property", u"ﾌﾟﾛﾊﾟﾃｨ", "mPropaty"},
    {"play", u"ｱﾆﾒｰｼｮﾝ表示", "mAnime"},
    {"kasane", u"重ねて表示", "mKasane"},
    {"seiretu1", u"左右に並べて表示", "mSeiretu"},
    {"seiretu2", u"上下に並べて表示", "mSeiretu2"},
    {"help", u"ﾍﾙﾌﾟ", nullptr},
};

class MainWindowTest : public ::testing::Test {
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
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Velmar"));
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
    EXPECT_EQ(layout.join(' '), QStringLiteral("| open save | before after delete | auto property play | kasane "
                                               "seiretu1 seiretu2 | help"));
    for (const ToolButton &b : kToolButtons) {
        QAction *a = action(("Toolbar1_" + std::string(b.key)).c_str());
        ASSERT_NE(a, nullptr) << b.key;
        EXPECT_EQ(a->toolTip(), QString::fromUtf16(b.tooltip)) << b.key;
        EXPECT_FALSE(a->icon().isNull()) << b.key;
    }
}

TEST_F(MainWindowTest, EachToolbarKeyRunsTheHandlerOfItsMenuItem)
{
    for (const ToolButton &b : kToolButtons) {
        if (!b.menuItem || std::string(b.key) == "open" || std::string(b.key) == "save")
            continue; // the file dialogs would block; checked through the handler name below
        action(("Toolbar1_" + std::string(b.key)).c_str())->trigger();
        const QString fromToolbar = window.lastCommand();
        action(b.menuItem)->trigger();
        EXPECT_EQ(window.lastCommand(), fromToolbar) << b.key;
        EXPECT_EQ(fromToolbar, QString::fromLatin1(b.menuItem) + "_Click") << b.key;
    }
    // Save As with no frames returns before any dialog.
    action("Toolbar1_save")->trigger();
    EXPECT_EQ(window.lastCommand(), QStringLiteral("mGifOut_Click"));
    window.Toolbar1_ButtonClick(QStringLiteral("Open")); // keys are case-sensitive
    EXPECT_EQ(window.lastCommand(), QStringLiteral("mGifOut_Click"));
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
    addFrame(doc, 2, 1, {1, 0}, 2, rampPalette(0));
    frmPic *a = window.frameWindow(0);
    frmPic *b = window.frameWindow(1);
    doc.pic(0).bits = {1, 1};
    doc.ShowPic(0);
    const Rgb one = doc.pic(0).colors[1];
    EXPECT_EQ(a->pic1()->picture().pixel(0, 0), qRgb(one.r, one.g, one.b));

    window.mdiArea()->setActiveSubWindow(window.frameSubWindow(1));
    EXPECT_EQ(doc.gCurPic, 1);
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
    EXPECT_EQ(doc.gPicCount, 2);
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
