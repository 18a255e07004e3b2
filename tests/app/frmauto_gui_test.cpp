// The auto-create dialog through its real widgets: controls and initial texts,
// the base window following the active frame, the details toggle, fields kept
// and restored, the error box and the Create command on every tab.
#include "autocreate/createcommand.h"
#include "document/document.h"
#include "frmauto.h"
#include "mdimain.h"
#include "platform/twips.h"
#include "support/frames.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <ostream>

// Readable failure messages for the Japanese texts.
static void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

using namespace velmar;
using velmar::test::addFrame;
using velmar::test::rampPalette;

namespace
{

// Records every message box that opens and answers it with OK, so a test
// can press "作成" and look at what the user would have seen.
class MessageBoxCatcher : public QObject
{
  public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        int buttonCount = 0;
    };
    std::vector<Seen> seen;

    MessageBoxCatcher() { qApp->installEventFilter(this); }
    ~MessageBoxCatcher() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (box && event->type() == QEvent::Show) {
            seen.push_back(
                {box->windowTitle(), box->text(), box->icon(), box->standardButtons(), int(box->buttons().size())});
            QMetaObject::invokeMethod(
                box, [box] { box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject(); },
                Qt::QueuedConnection);
        }
        return false;
    }
};

void addFrames(Document &doc, int count, int width = 16, int height = 16)
{
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> pixels(size_t(width * height));
        for (size_t p = 0; p < pixels.size(); ++p)
            pixels[p] = uint8_t((p + size_t(i) * 3) % 16);
        addFrame(doc, width, height, pixels, 16, rampPalette(0));
    }
}

class FrmAutoTest : public ::testing::Test
{
  protected:
    Document doc;
    QPointer<frmAuto> dialog = new frmAuto(doc);

    void TearDown() override { delete dialog.data(); }

    template <typename T> T *child(const QString &name) const
    {
        T *w = dialog->findChild<T *>(name);
        EXPECT_NE(w, nullptr) << "no control " << name.toStdString();
        return w;
    }
    QLineEdit *edit(const QString &name) const { return child<QLineEdit>(name); }
    void click(const QString &button) { child<QPushButton>(button)->click(); }
    void selectTab(int tab) { dialog->SSTab1()->setCurrentIndex(tab); }
};

// --- Controls -----------------------------------------------------------------

TEST_F(FrmAutoTest, CaptionAndElevenTabsInTwoRows)
{
    dialog->show(); // the tab widget lays out its rows and pages when shown
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("自動作成"));
    TwoRowTabWidget *tabs = dialog->SSTab1();
    ASSERT_EQ(dialog->findChild<QTabWidget *>(QStringLiteral("SSTab1")), tabs);
    const QStringList captions = {"角抜き消去", "フェード", "切り替え",   "暈かし",   "回転立方体", "回転三角柱",
                                  "左方移動",   "回転球",   "回るコイン", "平面回転", "押し出し"};
    ASSERT_EQ(tabs->count(), 11);
    for (int t = 0; t < 11; ++t)
        EXPECT_EQ(tabs->tabText(t), captions[t]) << "tab " << t;
    // Tabs 0 to 5 share one row, 6 to 10 the other; the current row lies
    // next to the page.
    EXPECT_EQ(tabs->tabRect(0).y(), tabs->tabRect(5).y());
    EXPECT_EQ(tabs->tabRect(6).y(), tabs->tabRect(10).y());
    EXPECT_GT(tabs->tabRect(0).y(), tabs->tabRect(6).y());
    selectTab(8);
    EXPECT_GT(tabs->tabRect(6).y(), tabs->tabRect(0).y());
    EXPECT_EQ(dialog->curTab(), 8);
    // The rows fill the whole width and do not overlap.
    EXPECT_EQ(tabs->tabRect(0).left(), 0);
    EXPECT_EQ(tabs->tabRect(5).right(), tabs->width() - 1);
    EXPECT_EQ(tabs->tabRect(10).right(), tabs->width() - 1);
    EXPECT_EQ(tabs->tabRect(1).left(), tabs->tabRect(0).right() + 1);
    EXPECT_GE(tabs->widget(8)->mapTo(tabs, QPoint(0, 0)).y(), tabs->headerHeight());
}

TEST_F(FrmAutoTest, ClickingATabInEitherRowBringsItToFront)
{
    TwoRowTabWidget *tabs = dialog->SSTab1();
    dialog->show();
    for (int t : {9, 2, 10, 0}) {
        TwoRowTabBar *bar = tabs->rowBar();
        const QPoint at = bar->rowTabRect(t).center();
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, at);
        EXPECT_EQ(tabs->currentIndex(), t);
        EXPECT_EQ(dialog->curTab(), t);
        EXPECT_TRUE(tabs->widget(t)->isVisible());
    }
}

TEST_F(FrmAutoTest, ControlTabStepsThroughTheTabsBothWays)
{
    dialog->show();
    QApplication::setActiveWindow(dialog);
    QTest::keyClick(dialog, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(dialog->curTab(), 1);
    QTest::keyClick(dialog, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(dialog->curTab(), 2);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(dialog, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(dialog->curTab(), 10);
    QTest::keyClick(dialog, Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(dialog->curTab(), 9);
    EXPECT_EQ(dialog->SSTab1()->currentIndex(), 9);
}

TEST_F(FrmAutoTest, EveryFieldOfTheTableExistsOnceWithItsInitialValue)
{
    for (const autocreate::TabDescriptor &d : autocreate::tabDescriptors()) {
        for (const autocreate::FieldSpec &f : d.fields) {
            const QList<QWidget *> found = dialog->findChildren<QWidget *>(f.objectName);
            ASSERT_EQ(found.size(), 1) << f.objectName.toStdString();
            // The control lies on its own tab's page.
            EXPECT_TRUE(dialog->SSTab1()->widget(d.index)->isAncestorOf(found[0])) << f.objectName.toStdString();
        }
        EXPECT_EQ(dialog->fieldValues(d.index), autocreate::initialFields(d.index)) << "tab " << d.index;
    }
}

TEST_F(FrmAutoTest, InitialTextsAndCaptionsAsTheUserSeesThem)
{
    EXPECT_EQ(edit("txtSumFraNum_1")->text(), "5");
    EXPECT_EQ(edit("txtDivX")->text(), "10");
    EXPECT_EQ(edit("txtDivY")->text(), "10");
    EXPECT_EQ(edit("txtToWinNo")->text(), "1");
    EXPECT_EQ(edit("txtSumFraNum_9")->text(), "12");
    EXPECT_EQ(edit("txtSumFraNum_10")->text(), "8");
    EXPECT_EQ(edit("txtMasterWindow2_11")->text(), "1");
    EXPECT_EQ(edit("txtYokohaba_7")->text(), "0");

    auto *white = child<QRadioButton>("optBackWhite_5");
    EXPECT_EQ(white->text(), QStringLiteral("白色"));
    EXPECT_TRUE(white->isChecked());
    EXPECT_FALSE(child<QRadioButton>("optBackPal_5")->isChecked());
    EXPECT_EQ(child<QRadioButton>("optYokohabaKijun_7")->text(), QStringLiteral("基本ｳｨﾝﾄﾞｳに合わせる"));
    EXPECT_EQ(child<QRadioButton>("optClrPalette_1")->text(), QStringLiteral("パレット番号を指定"));
    EXPECT_EQ(child<QGroupBox>("Frame1_2")->title(), QStringLiteral("縁取りの色"));

    for (int ci : {5, 6, 7, 8, 9}) {
        auto *clear = child<QCheckBox>(QStringLiteral("chkClear_%1").arg(ci));
        EXPECT_EQ(clear->text(), QStringLiteral("基本ｳｨﾝﾄﾞｳを削除する"));
        EXPECT_TRUE(clear->isChecked());
    }
    for (int ci : {1, 2, 3, 4, 10, 11})
        EXPECT_EQ(dialog->findChild<QCheckBox *>(QStringLiteral("chkClear_%1").arg(ci)), nullptr) << ci;

    // The tabs without detail settings say so.
    for (int ci : {3, 4, 11}) {
        QWidget *panel = child<QWidget>(QStringLiteral("picNoDetails_%1").arg(ci));
        ASSERT_NE(panel->findChild<QLabel *>(), nullptr);
        EXPECT_EQ(panel->findChild<QLabel *>()->text(), QStringLiteral("詳細設定項目はありません"));
    }
    // Window fields carry the labels of the dialog, A to C on the prism too.
    auto labelOf = [&](const QString &field) {
        for (QLabel *l : dialog->findChildren<QLabel *>())
            if (l->buddy() == edit(field))
                return l->text();
        return QString();
    };
    EXPECT_EQ(labelOf("txtMasWinF"), QStringLiteral("基準ｳｨﾝﾄﾞｳC"));
    EXPECT_EQ(labelOf("txtFromWinNo"), QStringLiteral("基本ｳｨﾝﾄﾞｳ１"));
    EXPECT_EQ(labelOf("txtDivY"), QStringLiteral("縦の分割数"));
    // The labels form one array: tab 0 holds Label1_1 to Label1_4.
    EXPECT_EQ(child<QLabel>("Label1_1")->text(), QStringLiteral("コマ数"));
    EXPECT_EQ(child<QLabel>("Label1_4")->buddy(), edit("txtDivY"));
    EXPECT_EQ(child<QLabel>("Label1_5")->buddy(), edit("txtSumFraNum_2"));
}

TEST_F(FrmAutoTest, OptionGroupsAreIndependentOfEachOther)
{
    child<QRadioButton>("optClrPalette_1")->click();
    EXPECT_FALSE(child<QRadioButton>("optClrBlack_1")->isChecked());
    // The same option on the fade tab is a group of its own.
    EXPECT_TRUE(child<QRadioButton>("optClrBlack_2")->isChecked());
    EXPECT_FALSE(child<QRadioButton>("optClrPalette_2")->isChecked());

    // Background and border of the cube are two groups on one tab.
    child<QRadioButton>("optBackPal_5")->click();
    EXPECT_FALSE(child<QRadioButton>("optBackWhite_5")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("optHuchiBlack_5")->isChecked());
    child<QRadioButton>("optBackWhite_5")->click();
    EXPECT_FALSE(child<QRadioButton>("optBackPal_5")->isChecked());
}

// --- Details ------------------------------------------------------------------

TEST_F(FrmAutoTest, DetailsToggleBetweenCollapsedAndExpandedHeights)
{
    dialog->show();
    auto *toggle = child<QPushButton>("cmdSyosai");
    QWidget *panel = child<QWidget>("Picture1");
    const auto outerHeight = [&] { return dialog->frameGeometry().height(); };

    EXPECT_FALSE(dialog->detailsShown());
    EXPECT_EQ(toggle->text(), QStringLiteral("詳細 >>"));
    EXPECT_EQ(dialog->heightTwips(), 4150);
    EXPECT_EQ(outerHeight(), twipsToPixels(4150));
    EXPECT_EQ(dialog->SSTab1()->height(), twipsToPixels(3500));
    EXPECT_EQ(dialog->width(), twipsToPixels(6165));
    EXPECT_FALSE(panel->isVisible());

    toggle->click();
    EXPECT_TRUE(dialog->detailsShown());
    EXPECT_EQ(toggle->text(), QStringLiteral("<< 詳細"));
    EXPECT_EQ(dialog->heightTwips(), 5600);
    EXPECT_EQ(outerHeight(), twipsToPixels(5600));
    EXPECT_EQ(dialog->SSTab1()->height(), twipsToPixels(5000));
    EXPECT_TRUE(panel->isVisible());

    toggle->click();
    EXPECT_FALSE(dialog->detailsShown());
    EXPECT_EQ(toggle->text(), QStringLiteral("詳細 >>"));
    EXPECT_EQ(dialog->heightTwips(), 4150);
    EXPECT_EQ(outerHeight(), twipsToPixels(4150));
    EXPECT_EQ(dialog->SSTab1()->height(), twipsToPixels(3500));
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(FrmAutoTest, EveryControlLiesInsideItsAreaAndTheDetailsOnlyBelowTheCollapsedEdge)
{
    dialog->show();
    child<QPushButton>("cmdSyosai")->click();
    TwoRowTabWidget *tabs = dialog->SSTab1();
    const int collapsedBottom = twipsToPixels(3500);
    for (int t = 0; t < tabs->count(); ++t) {
        selectTab(t);
        QWidget *page = tabs->widget(t);
        for (QWidget *w : page->findChildren<QWidget *>()) {
            if (!w->isVisible() || w->parentWidget() != page)
                continue;
            const QRect inTab(w->mapTo(tabs, QPoint(0, 0)), w->size());
            EXPECT_TRUE(tabs->rect().contains(inTab)) << w->objectName().toStdString() << " on tab " << t;
            // Nothing of the collapsed area overlaps the buttons, which lie
            // over the tab control.
            for (const char *button : {"cmdSakusei", "cmdSyosai"}) {
                const QRect b = child<QWidget>(button)->geometry().translated(-tabs->pos());
                EXPECT_FALSE(inTab.intersects(b)) << w->objectName().toStdString() << " under " << button;
            }
            const QString name = w->objectName();
            const bool detail = name.startsWith("Picture") || name.startsWith("Frame1") ||
                                name.startsWith("picNoDetails") || name.startsWith("Line1");
            if (detail) {
                EXPECT_GE(inTab.top(), collapsedBottom) << w->objectName().toStdString();
            } else {
                EXPECT_LE(inTab.bottom(), collapsedBottom) << w->objectName().toStdString();
            }
        }
        // Every text and caption is wide enough for its words.
        for (QWidget *w : page->findChildren<QWidget *>()) {
            if (auto *b = qobject_cast<QAbstractButton *>(w)) {
                EXPECT_GE(b->width(), b->sizeHint().width()) << b->objectName().toStdString();
            }
            if (auto *l = qobject_cast<QLabel *>(w); l && !l->text().isEmpty()) {
                EXPECT_GE(l->width(), l->fontMetrics().horizontalAdvance(l->text())) << l->text().toStdString();
            }
            if (auto *g = qobject_cast<QGroupBox *>(w)) {
                for (QWidget *inner : g->findChildren<QWidget *>()) {
                    EXPECT_TRUE(g->rect().contains(inner->geometry())) << inner->objectName().toStdString();
                }
            }
        }
    }
}

TEST_F(FrmAutoTest, HiddenDetailsKeepTheirValuesAndCreateReadsThem)
{
    addFrames(doc, 2);
    child<QPushButton>("cmdSyosai")->click();
    child<QRadioButton>("optClrPalette_2")->click();
    edit("txtClrPal_2")->setText("256");
    child<QPushButton>("cmdSyosai")->click();
    EXPECT_FALSE(child<QWidget>("txtClrPal_2")->isVisible());
    EXPECT_EQ(edit("txtClrPal_2")->text(), "256");

    selectTab(1);
    MessageBoxCatcher boxes;
    click("cmdSakusei");
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, QStringLiteral("消去色に誤りがあります。(0-255)"));
    EXPECT_EQ(doc.picCount(), 2);
}

// --- Fields kept ----------------------------------------------------------------

TEST_F(FrmAutoTest, SwitchingTabsKeepsFieldsAndOptions)
{
    edit("txtSumFraNum_3")->setText("7");
    edit("txtToWinNo")->setText("4");
    child<QRadioButton>("optYokohabaShitei_7")->click();
    child<QCheckBox>("chkClear_9")->click();
    for (int t : {2, 5, 10, 6, 0, 2})
        selectTab(t);
    EXPECT_EQ(edit("txtSumFraNum_3")->text(), "7");
    EXPECT_EQ(edit("txtToWinNo")->text(), "4");
    EXPECT_TRUE(child<QRadioButton>("optYokohabaShitei_7")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("chkClear_9")->isChecked());
    EXPECT_EQ(dialog->fieldValues(2).value("txtSumFraNum_3"), "7");
}

TEST_F(FrmAutoTest, FieldsStayAsTypedAfterACreate)
{
    addFrames(doc, 1);
    edit("txtSumFraNum_1")->setText("3");
    edit("txtDivX")->setText("4");
    edit("txtDivY")->setText("2");
    selectTab(0);
    MessageBoxCatcher boxes;
    click("cmdSakusei");
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ(doc.picCount(), 1 + 5);
    EXPECT_EQ(edit("txtSumFraNum_1")->text(), "3");
    EXPECT_EQ(edit("txtDivX")->text(), "4");
    EXPECT_EQ(edit("txtDivY")->text(), "2");
    // And a second run with the same fields adds as many again.
    click("cmdSakusei");
    EXPECT_EQ(doc.picCount(), 1 + 5 + 5);
}

// --- Errors ---------------------------------------------------------------------

TEST_F(FrmAutoTest, FailingCreateShowsConfirmBoxAndChangesNothing)
{
    MessageBoxCatcher boxes;
    click("cmdSakusei");
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, QStringLiteral("確認"));
    EXPECT_EQ(boxes.seen[0].text, QStringLiteral("基本ｳｨﾝﾄﾞｳ(GIFﾌｧｲﾙ)を開いて下さい。"));
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(boxes.seen[0].buttonCount, 1);
    EXPECT_EQ(doc.picCount(), 0);

    addFrames(doc, 3);
    const std::vector<uint8_t> before = doc.pic(2).bits;
    const int rows = doc.grid().Rows();
    struct Case {
        int tab;
        const char *field;
        const char *value;
        const char *message;
    };
    const Case cases[] = {
        {0, "txtMasterWindow_1", "3", "パラメーターに誤りがあります。"},
        {0, "txtSumFraNum_1", "1", "コマ数を正しく入力して下さい。(2-30)"},
        {3, "txtSumFraNum_4", "abc", "コマ数を正しく入力して下さい。"},
        {6, "txtYokohaba_7", "0", "横幅に誤りがあります。(0-255)"},
    };
    child<QRadioButton>("optYokohabaShitei_7")->click();
    for (const Case &c : cases) {
        const QString old = edit(c.field)->text();
        edit(c.field)->setText(c.value);
        selectTab(c.tab);
        click("cmdSakusei");
        ASSERT_FALSE(boxes.seen.empty());
        EXPECT_EQ(boxes.seen.back().text, QString::fromUtf8(c.message)) << c.field << "=" << c.value;
        EXPECT_EQ(boxes.seen.back().title, QStringLiteral("確認"));
        EXPECT_EQ(doc.picCount(), 3);
        EXPECT_EQ(doc.grid().Rows(), rows);
        EXPECT_EQ(doc.pic(2).bits, before);
        // The typed value stays for the user to correct.
        EXPECT_EQ(edit(c.field)->text(), c.value);
        edit(c.field)->setText(old);
    }
    EXPECT_EQ(boxes.seen.size(), 1u + std::size(cases));
}

// --- Create on every tab --------------------------------------------------------

TEST(FrmAutoCreate, EachTabAddsItsFramesAndDeletesItsBaseWindows)
{
    // Frames added by the effect with the initial fields, minus the base
    // windows the tab deletes afterwards (two 16 x 16 frames open).
    const int expected[11] = {
        9,      // erase: 2n - 1
        9,      // fade: 2n - 1
        9 - 1,  // switch: 2n - 1, the copied second window deleted
        7,      // mosaic: 2n - 3
        5 - 1,  // cube: n, base 0 deleted (A = B = C)
        15 - 1, // prism: 3n, base 0 deleted
        5 - 1,  // scroll: n, base deleted
        5 - 1,  // globe: n, base deleted
        12 - 1, // coin: n = 12, base deleted
        8 - 1,  // rotation: n - 1 with n = 8
        4 - 1,  // push: n - 2 and a copy of window 2, which is deleted
    };
    for (int t = 0; t < 11; ++t) {
        Document doc;
        addFrames(doc, 2);
        frmAuto dialog(doc);
        dialog.SSTab1()->setCurrentIndex(t);
        MessageBoxCatcher boxes;
        dialog.findChild<QPushButton *>("cmdSakusei")->click();
        EXPECT_TRUE(boxes.seen.empty()) << "tab " << t << ": "
                                        << (boxes.seen.empty() ? "" : boxes.seen[0].text.toStdString());
        EXPECT_EQ(doc.picCount(), 2 + expected[t]) << "tab " << t;
    }
}

TEST(FrmAutoCreate, CubeDeletionShowsTheLoweredWindowNumbers)
{
    Document doc;
    addFrames(doc, 3);
    frmAuto dialog(doc);
    dialog.SSTab1()->setCurrentIndex(4);
    dialog.findChild<QLineEdit *>("txtMasWinB")->setText("1");
    dialog.findChild<QLineEdit *>("txtMasWinC")->setText("2");
    MessageBoxCatcher boxes;
    dialog.findChild<QPushButton *>("cmdSakusei")->click();
    ASSERT_TRUE(boxes.seen.empty()) << boxes.seen[0].text.toStdString();
    EXPECT_EQ(doc.picCount(), 5);
    for (const char *f : {"txtMasWinA", "txtMasWinB", "txtMasWinC"})
        EXPECT_EQ(dialog.findChild<QLineEdit *>(f)->text(), "0") << f;
}

// --- Through the main window ----------------------------------------------------

class FrmAutoMainTest : public ::testing::Test
{
  protected:
    Document doc;
    mdiMain window{doc};

    void SetUp() override
    {
        window.show();
        addFrames(doc, 6);
    }
    void activateFrame(int frame)
    {
        QApplication::setActiveWindow(&window);
        window.mdiArea()->setActiveSubWindow(window.frameSubWindow(frame));
    }
    QLineEdit *field(const char *name) { return window.autoCreateWindow()->findChild<QLineEdit *>(name); }
};

TEST_F(FrmAutoMainTest, BaseWindowOfTabZeroFollowsTheActiveFrame)
{
    activateFrame(3);
    ASSERT_EQ(doc.curPic(), 3);
    window.mAutoCreate_Click();
    frmAuto *dialog = window.autoCreateWindow();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(field("txtMasterWindow_1")->text(), "3");
    field("txtMasterWindow_2")->setText("1");

    // Activating frame 5 and then the dialog again.
    activateFrame(5);
    ASSERT_EQ(doc.curPic(), 5);
    QApplication::setActiveWindow(dialog);
    EXPECT_EQ(field("txtMasterWindow_1")->text(), "5");
    // Only tab 0's base window follows.
    EXPECT_EQ(field("txtMasterWindow_2")->text(), "1");
    EXPECT_EQ(field("txtMasterWindow_7")->text(), "0");
    EXPECT_EQ(field("txtMasWinA")->text(), "0");

    // The menu command on the open dialog brings the same one forward.
    activateFrame(2);
    window.mAutoCreate_Click();
    EXPECT_EQ(window.autoCreateWindow(), dialog);
    EXPECT_EQ(field("txtMasterWindow_1")->text(), "2");
}

TEST_F(FrmAutoMainTest, ClosingDestroysTheDialogAndReopeningStartsFromInitialTexts)
{
    window.mAutoCreate_Click();
    QPointer<frmAuto> first = window.autoCreateWindow();
    field("txtSumFraNum_1")->setText("9");
    field("txtDivX")->setText("3");
    first->findChild<QPushButton *>("cmdSyosai")->click();
    first->SSTab1()->setCurrentIndex(7);
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(window.autoCreateWindow(), nullptr);

    window.mAutoCreate_Click();
    frmAuto *second = window.autoCreateWindow();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(field("txtSumFraNum_1")->text(), "5");
    EXPECT_EQ(field("txtDivX")->text(), "10");
    EXPECT_FALSE(second->detailsShown());
    EXPECT_EQ(second->heightTwips(), 4150);
    for (int t = 1; t < 11; ++t)
        EXPECT_EQ(second->fieldValues(t), autocreate::initialFields(t)) << "tab " << t;
}

TEST_F(FrmAutoMainTest, CreateAddsFrameWindowsWhileTheDialogStaysOpen)
{
    window.mAutoCreate_Click();
    frmAuto *dialog = window.autoCreateWindow();
    dialog->SSTab1()->setCurrentIndex(9);
    dialog->findChild<QPushButton *>("cmdSakusei")->click();
    EXPECT_EQ(doc.picCount(), 6 + 7);
    EXPECT_NE(window.frameWindow(12), nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(window.autoCreateWindow(), dialog);
}

} // namespace
