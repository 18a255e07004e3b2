// Opening files in the running program: the path that the open dialog, a
// drop and the command line share, and a real drop event.
#include "document/document.h"
#include "frmpic.h"
#include "frmprpty.h"
#include "mdimain.h"
#include "support/gifbytes.h"

#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

using namespace velmar;
using namespace velmar::test;

namespace
{

// A file of `frames` images of width x 1, each with a control block, a
// looping block with the given count and a comment.
QString gifFile(const QString &name, int width, int frames, int loop, const char *comment)
{
    GifBytes gif;
    gif.header(width, 1, true, 1);
    gif.u8({0x21, 0xFF, 0x0B}).text("NETSCAPE2.0").u8({0x03, 0x01}).u16(loop).u8({0x00});
    for (int f = 0; f < frames; ++f) {
        std::vector<uint8_t> px(size_t(width), uint8_t(f % 4));
        gif.control(1, false, 10 * (f + 1), 0).image(0, 0, width, 1, false).data(2, literalStream(px, 2));
    }
    gif.u8({0x21, 0xFE}).subBlocks(comment).trailer();
    return writeTempFile(name, gif.toByteArray());
}

class OpenFilesTest : public ::testing::Test
{
  protected:
    Document doc;
    mdiMain window{doc};
    void SetUp() override
    {
        window.show();
        QApplication::setActiveWindow(&window);
    }
    QString field(const char *name)
    {
        auto *edit = window.propertyWindow()->findChild<QLineEdit *>(QString::fromLatin1(name));
        return edit ? edit->text() : QStringLiteral("<missing>");
    }
    QString statusPanelText()
    {
        auto *panel = window.findChild<QLabel *>(QStringLiteral("StatusBar1_Panel1"));
        return panel ? panel->text() : QStringLiteral("<missing>");
    }
    void expectFrameWindows(int count)
    {
        ASSERT_EQ(doc.picCount(), count);
        for (int i = 0; i < count; ++i) {
            frmPic *w = window.frameWindow(i);
            ASSERT_NE(w, nullptr) << "frame " << i;
            EXPECT_EQ(w->windowTitle(), QString::number(i));
            EXPECT_EQ(w->pic1()->picture().width(), doc.pic(i).lWidth);
        }
        EXPECT_EQ(window.frameWindow(count), nullptr);
    }
};

TEST_F(OpenFilesTest, ThreeFilesWithATextFileInTheMiddleOpenTheFirstAndTheThird)
{
    const QString first = gifFile(QStringLiteral("gui-first.gif"), 5, 2, 3, "first");
    const QString text = writeTempFile(QStringLiteral("gui-notes.txt"), QByteArray("just some notes\n"));
    const QString third = gifFile(QStringLiteral("gui-third.gif"), 7, 1, 9, "third");
    QStringList statusSeen;
    QObject::connect(&doc, &Document::statusTextChanged, [&](const QString &t) { statusSeen << t; });

    window.openFiles({first, text, third});

    expectFrameWindows(3);
    EXPECT_EQ(doc.pic(2).lWidth, 7);
    ASSERT_GE(doc.grid().Rows(), 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(doc.grid().TextMatrix(i + 1, 0), QString::number(i));
    EXPECT_EQ(doc.grid().TextMatrix(2, 8), QStringLiteral("20"));
    EXPECT_EQ(doc.grid().TextMatrix(3, 8), QStringLiteral("10"));
    EXPECT_EQ(doc.grid().TextMatrix(3, 3), QStringLiteral("7"));
    EXPECT_EQ(field("txtGblWidth"), QStringLiteral("5")) << "the canvas comes from the first frame";
    EXPECT_EQ(field("txtGblLoop"), QStringLiteral("9")) << "the last file's repeat count";
    EXPECT_EQ(field("txtGblComment"), QStringLiteral("third"));
    auto *chk = window.propertyWindow()->findChild<QCheckBox *>(QStringLiteral("chkGblLoop"));
    ASSERT_NE(chk, nullptr);
    EXPECT_TRUE(chk->isChecked());
    EXPECT_TRUE(statusSeen.contains(QStringLiteral("読み込み中 (") + first + QStringLiteral(")")));
    EXPECT_TRUE(statusPanelText().contains(text)) << "the skipped file is named: " << statusPanelText().toStdString();
    EXPECT_FALSE(statusPanelText().contains(first));
}

TEST_F(OpenFilesTest, FileThatCannotBeOpenedEndsTheList)
{
    const QString first = gifFile(QStringLiteral("gui-a.gif"), 2, 1, 0, "a");
    const QString third = gifFile(QStringLiteral("gui-c.gif"), 2, 1, 0, "c");
    const QString missing = tempPath(QStringLiteral("gui-missing.gif"));
    window.openFiles({first, missing, third});
    expectFrameWindows(1);
    EXPECT_TRUE(statusPanelText().contains(missing)) << statusPanelText().toStdString();
}

TEST_F(OpenFilesTest, LowerCaseSignatureIsNotOpened)
{
    QByteArray bytes = readFileBytes(gifFile(QStringLiteral("gui-lower-src.gif"), 2, 1, 0, "x"));
    bytes.replace(0, 3, "gif");
    window.openFiles({writeTempFile(QStringLiteral("gui-lower.gif"), bytes)});
    EXPECT_EQ(doc.picCount(), 0);
}

TEST_F(OpenFilesTest, DroppedUrlsOpenInOrder)
{
    const QString first = gifFile(QStringLiteral("gui-drop1.gif"), 3, 1, 0, "one");
    const QString text = writeTempFile(QStringLiteral("gui-drop.txt"), QByteArray("text"));
    const QString third = gifFile(QStringLiteral("gui-drop3.gif"), 4, 2, 0, "two");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(text), QUrl::fromLocalFile(third)});
    const QPointF at(window.width() / 2.0, window.height() / 2.0);
    // A file manager offers copy and move and proposes move; taking the
    // move would delete the dropped files.
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at.toPoint(), offered, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
    drop.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(&window, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);

    EXPECT_EQ(window.lastCommand(), QStringLiteral("MDIForm_OLEDragDrop"));
    expectFrameWindows(3);
    EXPECT_EQ(doc.pic(0).lWidth, 3);
    EXPECT_EQ(doc.pic(2).lWidth, 4);
    EXPECT_EQ(doc.pic(2).bits, (std::vector<uint8_t>{1, 1, 1, 1}));
    EXPECT_EQ(field("txtGblComment"), QStringLiteral("two"));
    EXPECT_TRUE(statusPanelText().contains(text)) << statusPanelText().toStdString();
}

TEST_F(OpenFilesTest, FrameReadInPartLeavesAWarningUntilTheNextCommand)
{
    GifBytes gif;
    gif.header(4, 1, true, 0).image(0, 0, 4, 1, false).data(2, literalStream({1}, 2, 0, false));
    gif.image(0, 0, 2, 1, false).data(2, literalStream({1, 0}, 2)).trailer();
    const QString path = writeTempFile(QStringLiteral("gui-short.gif"), gif.toByteArray());
    window.openFiles({path});
    expectFrameWindows(2);
    EXPECT_TRUE(statusPanelText().contains(path) && statusPanelText().contains(QStringLiteral("フレーム 0")))
        << statusPanelText().toStdString();
    window.mKasane_Click();
    EXPECT_EQ(statusPanelText(), QString());
}

} // namespace
