#include "document/document.h"
#include "frmprpty.h"
#include "gridcell_delegate.h"
#include "support/frames.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

using namespace velmar;

namespace
{
class PropertyWindowTest : public ::testing::Test
{
  protected:
    Document doc;
    frmPrpty window{doc};
    void SetUp() override
    {
        window.show();
        // Focus moves only inside the active window.
        QApplication::setActiveWindow(&window);
    }
    QLineEdit *edit(const char *name) { return window.findChild<QLineEdit *>(QString::fromLatin1(name)); }
};
} // namespace

TEST_F(PropertyWindowTest, HeadingsWidthsAndDefaults)
{
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Propaty"));
    const char16_t *headings[] = {u"Ｘ",   u"Ｙ",     u"幅",       u"高さ",   u"ｲﾝﾀｰﾚｽ",
                                  u"透明", u"透過色", u"待ち時間", u"後処理", u"コメント"};
    const int widths[] = {500, 500, 500, 500, 600, 500, 600, 700, 500, 2000};
    QTableView *grid = window.grid();
    ASSERT_EQ(grid->objectName(), QStringLiteral("fgPrpty"));
    for (int c = 0; c < 10; ++c) {
        EXPECT_EQ(grid->model()->headerData(c, Qt::Horizontal).toString(), QString::fromUtf16(headings[c]));
        EXPECT_EQ(grid->columnWidth(c), widths[c] / 15);
    }
    EXPECT_EQ(grid->verticalHeader()->width(), 400 / 15);
    EXPECT_EQ(edit("txtGblWidth")->text(), QStringLiteral("０"));
    EXPECT_EQ(edit("txtGblHeight")->text(), QStringLiteral("０"));
    EXPECT_EQ(edit("txtGblLoop")->text(), QStringLiteral("０"));
    EXPECT_EQ(edit("txtGblComment")->text(), QString());
    EXPECT_EQ(edit("txtIn")->text(), QStringLiteral("０"));
    EXPECT_FALSE(window.findChild<QCheckBox *>(QStringLiteral("chkGblLoop"))->isChecked());
}

TEST_F(PropertyWindowTest, EachColumnExplainsItselfInTheStatusBar)
{
    window.setCurrentCell(1, 9);
    EXPECT_EQ(window.statusText(), QStringLiteral("ﾌﾚｰﾑ切換え時(0:何もしない,1:絵を残す,2:背景色に戻す,3:前に戻す)"));
    for (int col = 1; col <= 10; ++col) {
        window.setCurrentCell(1, col);
        EXPECT_EQ(window.statusText(), PropertyGrid::helpText(col)) << col;
    }
    window.setCurrentCell(1, 8);
    EXPECT_EQ(window.statusText(), QStringLiteral("次のフレームを表示するまでの時間"));
    window.setCurrentCell(1, 0); // the number column is fixed
    EXPECT_EQ(window.currentCol(), 8);
}

TEST_F(PropertyWindowTest, EnterEditsTheCurrentCellThroughTheValueBox)
{
    test::addFrame(doc, 2, 2, {0, 1, 2, 3}, 4, test::rampPalette(0));
    window.setCurrentCell(1, 8);
    EXPECT_EQ(edit("txtIn")->text(), QStringLiteral("10"));
    QTest::keyClick(window.grid(), Qt::Key_Return);
    EXPECT_TRUE(edit("txtIn")->hasFocus());
    EXPECT_EQ(edit("txtIn")->selectedText(), QStringLiteral("10"));
    QTest::keyClicks(edit("txtIn"), "25");
    QTest::keyClick(edit("txtIn"), Qt::Key_Return);
    EXPECT_EQ(doc.grid().TextMatrix(1, 8), QStringLiteral("25"));
    EXPECT_TRUE(window.grid()->hasFocus());
}

TEST_F(PropertyWindowTest, TextBoxesClearTheStatusTextAndMirrorTheDocument)
{
    window.setCurrentCell(1, 5);
    ASSERT_FALSE(window.statusText().isEmpty());
    edit("txtGblLoop")->setFocus();
    EXPECT_TRUE(window.statusText().isEmpty());

    QTest::keyClicks(edit("txtGblComment"), "abc");
    EXPECT_EQ(doc.globals().comment, QStringLiteral("abc"));
    doc.setGblWidth(QStringLiteral("64"));
    EXPECT_EQ(edit("txtGblWidth")->text(), QStringLiteral("64"));
}

TEST_F(PropertyWindowTest, ClosingOnlyHides)
{
    doc.setCell(1, 10, QStringLiteral("kept"));
    window.close();
    EXPECT_FALSE(window.isVisible());
    window.show();
    EXPECT_EQ(window.grid()->model()->data(window.grid()->model()->index(0, 9)).toString(), QStringLiteral("kept"));
}

TEST_F(PropertyWindowTest, HeadingsAndHelpTextsFitTheirRoom)
{
    QTableView *grid = window.grid();
    const QFontMetrics header(grid->horizontalHeader()->font());
    for (int c = 0; c < 10; ++c)
        EXPECT_LE(header.horizontalAdvance(PropertyGrid::heading(c + 1)), grid->columnWidth(c))
            << PropertyGrid::heading(c + 1).toStdString();
    auto *panel = window.findChild<QLabel *>(QStringLiteral("StatusBar1_Panel1"));
    ASSERT_NE(panel, nullptr);
    const QFontMetrics status(panel->font());
    for (int col = 1; col <= 10; ++col)
        EXPECT_LE(status.horizontalAdvance(PropertyGrid::helpText(col)), panel->width()) << col;
}

TEST_F(PropertyWindowTest, RefusedTextTurnsItsCellRedWithTheReasonAndIsStillStored)
{
    test::addFrame(doc, 2, 2, {0, 1, 2, 3}, 4, test::rampPalette(0));
    auto *delegate = qobject_cast<GridCellDelegate *>(window.grid()->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    const auto textColour = [&](int col) {
        QStyleOptionViewItem option;
        delegate->initStyleOption(&option, doc.grid().index(0, col - 1));
        return option.palette.color(QPalette::Text);
    };
    const QColor normal = textColour(PropertyGrid::ColDelay);
    ASSERT_NE(normal, QColor(Qt::red));

    window.setCurrentCell(1, PropertyGrid::ColDelay);
    QTest::keyClick(window.grid(), Qt::Key_Return);
    QTest::keyClicks(edit("txtIn"), "abc");
    EXPECT_TRUE(window.statusText().contains(QStringLiteral("数値ではありません"))) << "as soon as it is typed";
    QTest::keyClick(edit("txtIn"), Qt::Key_Return);
    EXPECT_EQ(doc.grid().TextMatrix(1, PropertyGrid::ColDelay), QStringLiteral("abc"));
    EXPECT_EQ(textColour(PropertyGrid::ColDelay), QColor(Qt::red));
    EXPECT_EQ(textColour(PropertyGrid::ColX), normal);
    EXPECT_EQ(window.statusText(), QStringLiteral("待ち時間: 「abc」は数値ではありません"));

    window.setCurrentCell(1, PropertyGrid::ColX);
    EXPECT_EQ(window.statusText(), PropertyGrid::helpText(PropertyGrid::ColX));
    window.setCurrentCell(1, PropertyGrid::ColDelay);
    EXPECT_TRUE(window.statusText().contains(QStringLiteral("abc"))) << "coming back shows the reason again";

    doc.setCell(1, PropertyGrid::ColDelay, QStringLiteral("40000"));
    EXPECT_EQ(textColour(PropertyGrid::ColDelay), QColor(Qt::red)) << "out of the 16-bit range";
    doc.setCell(1, PropertyGrid::ColDelay, QStringLiteral("25"));
    EXPECT_EQ(textColour(PropertyGrid::ColDelay), normal);
}

TEST_F(PropertyWindowTest, ValueBoxFollowsItsCellAndIsClearedWhenItsRowGoes)
{
    for (int i = 0; i < 3; ++i)
        test::addFrame(doc, 1, 1, {0}, 2, test::rampPalette(i));
    window.setCurrentCell(2, PropertyGrid::ColX);
    doc.setCell(2, PropertyGrid::ColX, QStringLiteral("7"));
    EXPECT_EQ(edit("txtIn")->text(), QStringLiteral("7")) << "a change of the cell shows";

    doc.delPic(2);
    EXPECT_EQ(edit("txtIn")->text(), QStringLiteral("7")) << "another row went";
    doc.delPic(1);
    EXPECT_TRUE(edit("txtIn")->text().isEmpty());
}

TEST_F(PropertyWindowTest, GridStretchesWithTheWindowAndTheFieldsStay)
{
    const QRect grid = window.grid()->geometry();
    const QRect value = edit("txtIn")->geometry();
    window.resize(window.size() + QSize(100, 80));
    EXPECT_EQ(window.grid()->geometry(), grid.adjusted(0, 0, 100, 80));
    EXPECT_EQ(edit("txtIn")->geometry(), value);
}
