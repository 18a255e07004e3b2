// Undo and redo through the main window: the edit menu names the step, one
// Create is one step, the title marks unsaved changes and closing asks about
// them.
#include "document/document.h"
#include "document/gifio.h"
#include "frmauto.h"
#include "frmpic.h"
#include "frmplay.h"
#include "frmprpty.h"
#include "mdimain.h"
#include "support/frames.h"
#include "support/gifbytes.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

using namespace velmar;
using velmar::test::addFrame;
using velmar::test::rampPalette;
using velmar::test::tempPath;

namespace
{

// Answers every message box with `answer` (or its escape button) and every
// file dialog with `savePath` (or cancels it), recording what was asked.
class Answerer : public QObject
{
  public:
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    QString savePath;
    QStringList asked; // message texts, and "file dialog" for a dialog
    QStringList buttons;

    Answerer() { qApp->installEventFilter(this); }
    ~Answerer() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        if (auto *box = qobject_cast<QMessageBox *>(watched)) {
            asked << box->text();
            buttons.clear();
            for (QAbstractButton *b : box->buttons())
                buttons << b->text();
            buttons.sort();
            QAbstractButton *b = box->button(answer) ? box->button(answer) : box->escapeButton();
            QMetaObject::invokeMethod(
                box, [b] { b->click(); }, Qt::QueuedConnection);
        } else if (auto *dialog = qobject_cast<QFileDialog *>(watched)) {
            asked << QStringLiteral("file dialog");
            QMetaObject::invokeMethod(
                dialog,
                [this, dialog] {
                    if (savePath.isEmpty())
                        return dialog->reject();
                    dialog->selectFile(savePath);
                    static_cast<QDialog *>(dialog)->accept();
                },
                Qt::QueuedConnection);
        }
        return false;
    }
};

class HistoryWindowTest : public ::testing::Test
{
  protected:
    Document doc;
    mdiMain window{doc};

    void SetUp() override
    {
        window.show();
        QApplication::setActiveWindow(&window);
    }
    QAction *action(const char *name) { return window.findChild<QAction *>(QString::fromLatin1(name)); }
    void addFrames(int count, int side = 16)
    {
        for (int i = 0; i < count; ++i)
            addFrame(doc, side, side, std::vector<uint8_t>(size_t(side * side), uint8_t(i)), 16, rampPalette(i));
    }
    void activate(int frame) { window.mdiArea()->setActiveSubWindow(window.frameSubWindow(frame)); }
    // Frame count, each frame's first pixel and window caption, and the canvas.
    QString state() const
    {
        QString s = doc.globals().width + 'x' + doc.globals().height;
        for (int i = 0; i < doc.picCount(); ++i)
            s += QStringLiteral(" %1:%2").arg(doc.pic(i).bits[0]).arg(window.frameWindow(i)->windowTitle());
        return s;
    }
    void expectEditMenu(const QString &undo, const QString &redo)
    {
        EXPECT_EQ(action("mUndo")->text(), undo);
        EXPECT_EQ(action("mUndo")->toolTip(), undo);
        EXPECT_EQ(action("mUndo")->isEnabled(), undo != QStringLiteral("元に戻す"));
        EXPECT_EQ(action("mRedo")->text(), redo);
        EXPECT_EQ(action("mRedo")->isEnabled(), redo != QStringLiteral("やり直し"));
    }
};

} // namespace

TEST_F(HistoryWindowTest, EditMenuLeadsWithUndoAndRedoAndTheirKeys)
{
    QStringList items;
    for (QAction *a : window.findChild<QMenu *>(QStringLiteral("mEdit"))->actions())
        items << a->objectName();
    EXPECT_EQ(items.join(' '), QStringLiteral("mUndo mRedo mSpace20 mPaste mSpace23 mMae mUshiro mSpace21 mDelete "
                                              "mSpace22 mDeleteSelected mSetDelays mReverse mDuplicate mYoyo"));
    EXPECT_EQ(action("mUndo")->shortcuts(), QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Z)});
    EXPECT_EQ(action("mRedo")->shortcuts(), (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Y),
                                                                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}));
    expectEditMenu(QStringLiteral("元に戻す"), QStringLiteral("やり直し"));
}

// Each frame command, undone with the menu and redone with Ctrl+Shift+Z: the
// menu names it both ways and the frames and their windows come back.
TEST_F(HistoryWindowTest, MenuNamesEachCommandsStepAndUndoPutsItsFramesBack)
{
    const struct {
        const char *command;
        const char16_t *step;
    } cases[] = {
        {"mDelete", u"ﾌﾚｰﾑ削除"}, {"mMae", u"前へ移動"}, {"mUshiro", u"後ろへ移動"}, {"mAllDel", u"全て閉じる"}};
    addFrames(3);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        const QString step = QString::fromUtf16(c.step);
        activate(1);
        const QString before = state();
        action(c.command)->trigger();
        const QString after = state();
        ASSERT_NE(after, before);
        expectEditMenu(QStringLiteral("元に戻す(") + step + ')', QStringLiteral("やり直し"));
        action("mUndo")->trigger();
        EXPECT_EQ(state(), before);
        EXPECT_EQ(action("mRedo")->text(), QStringLiteral("やり直し(") + step + ')');
        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(state(), after);
        action("mUndo")->trigger();
    }
}

TEST_F(HistoryWindowTest, OneUndoTakesBackAWholeCubeCreateAndClosesThePlayer)
{
    addFrames(3);
    doc.setGblWidth(QStringLiteral("16"));
    doc.setGblHeight(QStringLiteral("16"));
    const QString before = state();
    const std::vector<uint8_t> first = doc.pic(0).bits;

    Answerer errors;
    window.mAutoCreate_Click();
    window.autoCreateWindow()->SSTab1()->setCurrentIndex(4);
    window.autoCreateWindow()->findChild<QPushButton *>(QStringLiteral("cmdSakusei"))->click();
    ASSERT_TRUE(errors.asked.isEmpty()) << errors.asked.join(' ').toStdString();
    ASSERT_GT(doc.picCount(), 3);
    ASSERT_NE(doc.globals().width, QStringLiteral("16")) << "the cube's frames widen the canvas";

    window.mAnime_Click();
    ASSERT_TRUE(doc.playOpen());
    QApplication::setActiveWindow(&window);
    EXPECT_EQ(action("mUndo")->text(), QStringLiteral("元に戻す(自動作成)"));
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(state(), before) << "frames, their windows and the canvas as before the Create";
    EXPECT_EQ(doc.pic(0).bits, first) << "the deleted base window is back";
    EXPECT_EQ(window.mdiArea()->subWindowList().size(), 3);
    EXPECT_FALSE(doc.playOpen()) << "an undo that removes frames closes the player";
    expectEditMenu(QStringLiteral("元に戻す(全体設定の編集)"), QStringLiteral("やり直し(自動作成)"));
}

TEST_F(HistoryWindowTest, UndoPutsBackTheTextOfAnEditedCell)
{
    addFrames(1);
    frmPrpty *prpty = window.propertyWindow();
    prpty->show();
    QApplication::setActiveWindow(prpty);
    prpty->setCurrentCell(1, 8);
    auto *value = prpty->findChild<QLineEdit *>(QStringLiteral("txtIn"));
    QTest::keyClick(prpty->grid(), Qt::Key_Return);
    value->selectAll();
    QTest::keyClicks(value, "25");
    QTest::keyClick(value, Qt::Key_Return);
    const QModelIndex cell = prpty->grid()->model()->index(0, 7);
    ASSERT_EQ(cell.data().toString(), QStringLiteral("25"));

    expectEditMenu(QStringLiteral("元に戻す(ｾﾙ編集)"), QStringLiteral("やり直し"));
    action("mUndo")->trigger();
    EXPECT_EQ(doc.grid().TextMatrix(1, 8), QStringLiteral("10"));
    EXPECT_EQ(cell.data().toString(), QStringLiteral("10")) << "the grid shows the old text";
    expectEditMenu(QStringLiteral("元に戻す(新規ﾌﾚｰﾑ)"), QStringLiteral("やり直し(ｾﾙ編集)"));
}

TEST_F(HistoryWindowTest, TitleNamesTheFileAndMarksUnsavedChanges)
{
    EXPECT_EQ(window.windowTitle(), QStringLiteral("無題[*] - Velmar"));
    EXPECT_FALSE(window.isWindowModified());
    addFrames(1);
    EXPECT_TRUE(window.isWindowModified()) << "any step";
    const QString path = tempPath(QStringLiteral("history-title.gif"));
    ASSERT_TRUE(window.saveTo(path));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("history-title.gif[*] - Velmar"));
    EXPECT_FALSE(window.isWindowModified()) << "saved";
    doc.setGblComment(QStringLiteral("changed"));
    EXPECT_TRUE(window.isWindowModified());
    action("mUndo")->trigger();
    EXPECT_FALSE(window.isWindowModified()) << "undone back to the saved state";

    // A file opened into an empty window is its saved state; one opened on
    // top of frames is a change.
    Document other;
    mdiMain second(other);
    ASSERT_TRUE(second.openPath(path));
    EXPECT_EQ(second.windowTitle(), QStringLiteral("history-title.gif[*] - Velmar"));
    EXPECT_FALSE(second.isWindowModified());
    ASSERT_TRUE(second.openPath(path));
    EXPECT_TRUE(second.isWindowModified());
}

// Closing the window: the question comes only with unsaved changes; Cancel,
// or a Save As that is cancelled, keeps the window.
TEST_F(HistoryWindowTest, ClosingAsksToSaveOnlyUnsavedChanges)
{
    const struct {
        const char *what;
        bool saveFirst;                     // saved once, so there is a current file
        bool change;                        // a frame added after that
        QMessageBox::StandardButton answer; // NoButton: no question expected
        bool answerSaveAs;                  // the Save As dialog is given a name
        bool closes;
        int framesInFile; // -1: no file
    } cases[] = {
        {"unchanged", true, false, QMessageBox::NoButton, false, true, 1},
        {"cancel", true, true, QMessageBox::Cancel, false, false, 1},
        {"do not save", true, true, QMessageBox::Discard, false, true, 1},
        {"save to the current file", true, true, QMessageBox::Save, false, true, 2},
        {"save as, untitled", false, true, QMessageBox::Save, true, true, 2},
        {"save as cancelled", false, true, QMessageBox::Save, false, false, -1},
    };
    int round = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Document d;
        mdiMain w(d);
        w.show();
        const QString path = tempPath(QStringLiteral("history-close-%1.gif").arg(++round));
        QFile::remove(path);
        addFrame(d, 2, 2, {0, 1, 2, 3}, 4, rampPalette(0));
        if (c.saveFirst) {
            ASSERT_TRUE(w.saveTo(path));
        }
        if (c.change)
            addFrame(d, 2, 2, {3, 2, 1, 0}, 4, rampPalette(1));

        Answerer answerer;
        answerer.answer = c.answer;
        if (c.answerSaveAs)
            answerer.savePath = path;
        EXPECT_EQ(w.close(), c.closes);
        EXPECT_EQ(w.isVisible(), !c.closes);
        if (c.answer == QMessageBox::NoButton) {
            EXPECT_TRUE(answerer.asked.isEmpty());
        } else {
            ASSERT_FALSE(answerer.asked.isEmpty());
            EXPECT_EQ(answerer.asked[0], QStringLiteral("変更を保存しますか?"));
            EXPECT_EQ(answerer.buttons.join('/'), QStringLiteral("キャンセル/保存/保存しない"));
            EXPECT_EQ(answerer.asked.size(), !c.saveFirst && c.answer == QMessageBox::Save ? 2 : 1)
                << "untitled: Save As";
        }
        EXPECT_EQ(d.picCount(), c.change ? 2 : 1) << "closing deletes no frame";
        Document back;
        const int framesInFile = QFile::exists(path) && OpenGif(back, path).ok() ? back.picCount() : -1;
        EXPECT_EQ(framesInFile, c.framesInFile);
    }
}

static QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Ctrl+S: untitled it asks like Save As; with a current file it writes it
// without a dialog, the same bytes Save As writes. Every save names the
// file and its size in the status bar.
TEST_F(HistoryWindowTest, SaveWritesTheCurrentFileAndAsksOnlyWhenUntitled)
{
    std::vector<uint8_t> noise(64 * 64);
    uint32_t seed = 1;
    for (uint8_t &v : noise)
        v = uint8_t((seed = seed * 1103515245u + 12345u) >> 28);
    addFrame(doc, 64, 64, noise, 16, rampPalette(0));
    const QString first = tempPath(QStringLiteral("save-first.gif"));
    const QString other = tempPath(QStringLiteral("save-other.gif"));
    QFile::remove(first);
    QFile::remove(other);
    Answerer answerer;
    answerer.savePath = first;
    // Offscreen, no window is active again after a modal dialog closes.
    const auto press = [this](Qt::KeyboardModifiers modifiers) {
        QApplication::setActiveWindow(&window);
        QTest::keyClick(&window, Qt::Key_S, modifiers);
    };
    const auto expectSaved = [&](const QString &path, int dialogs) {
        EXPECT_EQ(answerer.asked.size(), dialogs);
        EXPECT_EQ(window.currentFile(), path);
        EXPECT_EQ(window.windowTitle(), QFileInfo(path).fileName() + QStringLiteral("[*] - Velmar"));
        EXPECT_FALSE(window.isWindowModified());
        const qint64 size = QFileInfo(path).size();
        ASSERT_GT(size, 999) << "big enough to show the thousands separator";
        EXPECT_EQ(window.statusBar()->currentMessage(), QStringLiteral("保存しました: %1 (%2,%3 バイト)")
                                                            .arg(path)
                                                            .arg(size / 1000)
                                                            .arg(size % 1000, 3, 10, QLatin1Char('0')));
    };

    press(Qt::ControlModifier);
    EXPECT_EQ(window.lastCommand(), QStringLiteral("mSave_Click"));
    EXPECT_EQ(answerer.asked, QStringList{QStringLiteral("file dialog")}) << "untitled: asks like Save As";
    expectSaved(first, 1);

    doc.setGblComment(QStringLiteral("changed"));
    ASSERT_TRUE(window.isWindowModified());
    window.statusBar()->clearMessage();
    press(Qt::ControlModifier);
    expectSaved(first, 1);

    answerer.savePath = other;
    press(Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(window.lastCommand(), QStringLiteral("mGifOut_Click"));
    expectSaved(other, 2);
    EXPECT_EQ(fileBytes(first), fileBytes(other)) << "the second Ctrl+S wrote the changed document";
}

// Opening and saving put a file at the top of the list, once, eight at
// most; choosing one that is gone drops it and says which.
TEST_F(HistoryWindowTest, RecentFilesMostRecentFirstWithoutDuplicatesAndMissingOnesDropped)
{
    QSettings().remove(QStringLiteral("recentFiles"));
    addFrames(1);
    QStringList paths;
    for (int i = 0; i < 10; ++i) {
        paths << tempPath(QStringLiteral("recent-%1.gif").arg(i));
        ASSERT_TRUE(window.saveTo(paths[i]));
    }
    ASSERT_TRUE(window.openPath(paths[5]));
    ASSERT_TRUE(window.saveTo(paths[8]));
    QMenu *recent = window.findChild<QMenu *>(QStringLiteral("mRecent"));
    const auto menuPaths = [recent] {
        QStringList shown;
        for (QAction *a : recent->actions())
            shown << a->data().toString();
        return shown;
    };
    const QStringList expected{paths[8], paths[5], paths[9], paths[7], paths[6], paths[4], paths[3], paths[2]};
    EXPECT_EQ(mdiMain::recentFiles(), expected);
    EXPECT_EQ(menuPaths(), expected);
    const QList<QAction *> fileItems = window.findChild<QMenu *>(QStringLiteral("mFile"))->actions();
    EXPECT_EQ(fileItems.indexOf(recent->menuAction()),
              fileItems.indexOf(window.findChild<QAction *>(QStringLiteral("mSpace11"))) - 1)
        << "last of the saving items";

    ASSERT_TRUE(QFile::remove(paths[9]));
    recent->actions()[2]->trigger();
    QApplication::processEvents();
    QStringList left = expected;
    left.removeAt(2);
    EXPECT_EQ(mdiMain::recentFiles(), left);
    EXPECT_EQ(menuPaths(), left);
    EXPECT_TRUE(doc.statusText().contains(paths[9])) << doc.statusText().toStdString();
    EXPECT_EQ(doc.picCount(), 2) << "nothing opened";

    recent->actions()[6]->trigger();
    EXPECT_EQ(doc.picCount(), 3) << "an entry that exists opens";
    EXPECT_EQ(mdiMain::recentFiles().first(), paths[2]);
}
