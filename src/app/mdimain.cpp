#include "mdimain.h"

#include "document/document.h"
#include "document/gifio.h"
#include "frmauto.h"
#include "frmpic.h"
#include "frmplay.h"
#include "frmprpty.h"
#include "frmversion.h"
#include "helpwindow.h"
#include "mdiarrange.h"
#include "platform/twips.h"
#include "progress.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QToolBar>
#include <QUrl>

// The resources live in a static library; a linker drops their initialiser
// unless something refers to it.
static void initVelmarResources()
{
    Q_INIT_RESOURCE(velmar);
}

namespace velmar
{
namespace
{

const QString kGifFilter = QStringLiteral("GIFﾌｧｲﾙ (*.gif)");

// The client area the window first shows, and the narrowest a frame window
// may be (a caption bar with its buttons needs the room).
constexpr int kClientWidthTwips = 8670;
constexpr int kClientHeightTwips = 6690;
constexpr int kMinFrameWindowTwips = 1425;
constexpr int kStatusMarginTwips = 400;

// One action per command, shared by its menu item and its toolbar button.
struct Command {
    const char *name;     // the action's object name
    const char16_t *text; // menu caption and toolbar tooltip
    QKeyCombination shortcut;
    const char *toolbarKey; // empty: no toolbar button
    int image;              // number of the toolbar image
    bool needsFrame;        // the command does nothing while there is no frame
    void (mdiMain::*handler)();
};

constexpr QKeyCombination kNoShortcut = QKeyCombination::fromCombined(0);

const Command kCommands[] = {
    {"mGifIn", u"開く", Qt::CTRL | Qt::Key_O, "open", 1, false, &mdiMain::mGifIn_Click},
    {"mSave", u"上書き保存", Qt::CTRL | Qt::Key_S, "", 0, true, &mdiMain::mSave_Click},
    {"mGifOut", u"名前を付けて保存", Qt::CTRL | Qt::SHIFT | Qt::Key_S, "save", 2, true, &mdiMain::mGifOut_Click},
    {"mGifOutOptimized", u"最適化して保存...", kNoShortcut, "", 0, true, &mdiMain::mGifOutOptimized_Click},
    {"mAllDel", u"全てのﾌﾚｰﾑｳを閉じる", kNoShortcut, "", 0, true, &mdiMain::mAllDel_Click},
    {"mEnd", u"Velmarの終了", kNoShortcut, "", 0, false, &mdiMain::mEnd_Click},
    {"mUndo", u"元に戻す", Qt::CTRL | Qt::Key_Z, "undo", 15, false, &mdiMain::mUndo_Click},
    {"mRedo", u"やり直し", Qt::CTRL | Qt::Key_Y, "redo", 16, false, &mdiMain::mRedo_Click},
    {"mMae", u"前のﾌﾚｰﾑと入替", Qt::CTRL | Qt::Key_B, "before", 6, true, &mdiMain::mMae_Click},
    {"mUshiro", u"後ろのﾌﾚｰﾑと入替", Qt::CTRL | Qt::Key_A, "after", 7, true, &mdiMain::mUshiro_Click},
    {"mDelete", u"１ﾌﾚｰﾑ削除", Qt::SHIFT | Qt::Key_Delete, "delete", 8, true, &mdiMain::mDelete_Click},
    {"mAutoCreate", u"自動作成", kNoShortcut, "auto", 14, false, &mdiMain::mAutoCreate_Click},
    {"mPropaty", u"ﾌﾟﾛﾊﾟﾃｨ", kNoShortcut, "property", 3, false, &mdiMain::mPropaty_Click},
    {"mAnime", u"ｱﾆﾒｰｼｮﾝ表示", Qt::Key_F5, "play", 4, false, &mdiMain::mAnime_Click},
    {"mKasane", u"重ねて表示", kNoShortcut, "kasane", 11, true, &mdiMain::mKasane_Click},
    {"mSeiretu", u"左右に並べて表示", kNoShortcut, "seiretu1", 12, true, &mdiMain::mSeiretu_Click},
    {"mSeiretu2", u"上下に並べて表示", kNoShortcut, "seiretu2", 13, true, &mdiMain::mSeiretu2_Click},
    {"mVersion", u"ﾊﾞｰｼﾞｮﾝ情報", kNoShortcut, "", 0, false, &mdiMain::mVersion_Click},
    {"mHelpF1", u"ﾍﾙﾌﾟ", Qt::Key_F1, "help", 10, false, &mdiMain::help_Click},
};

// Menu items by action name; a name starting with '-' is a separator of
// that name.
struct MenuLayout {
    const char *name;
    const char16_t *title;
    const char *items[7];
};

const MenuLayout kMenus[] = {
    {"mFile", u"ﾌｧｲﾙ", {"mGifIn", "mSave", "mGifOut", "mGifOutOptimized", "-mSpace11", "mAllDel", "mEnd"}},
    {"mEdit", u"編集", {"mUndo", "mRedo", "-mSpace20", "mMae", "mUshiro", "-mSpace21", "mDelete"}},
    {"mKakou", u"ﾂｰﾙ", {"mAutoCreate", "-mSpase31", "mPropaty", "-mSpace32", "mAnime"}},
    {"mIndicate", u"ｳｨﾝﾄﾞｳ", {"mKasane", "mSeiretu", "mSeiretu2"}},
    {"mHelp0", u"ﾍﾙﾌﾟ", {"mVersion"}},
};

// Toolbar buttons by key; an empty key is a separator.
const char *const kToolbar[] = {"",       "open",   "save",     "",         "undo", "redo",     "",
                                "before", "after",  "delete",   "",         "auto", "property", "play",
                                "",       "kasane", "seiretu1", "seiretu2", "",     "help"};

const QString kUndoText = QStringLiteral("元に戻す");
const QString kRedoText = QStringLiteral("やり直し");
const QString kUntitled = QStringLiteral("無題");
const QString kRecentKey = QStringLiteral("recentFiles");
constexpr int kMaxRecentFiles = 8;
constexpr int kSavedMessageMs = 5000;
const QString kOpeningText = QStringLiteral("開いています...");
const QString kSavingText = QStringLiteral("保存中...");
// The open's bar runs over the bytes of each file in this many steps.
constexpr int kOpenSteps = 1000;

} // namespace

mdiMain::mdiMain(Document &doc, QWidget *parent) : QMainWindow(parent), doc_(doc)
{
    initVelmarResources();
    setObjectName(QStringLiteral("mdiMain"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/velmar.png")));
    setAcceptDrops(true);

    mdiArea_ = new QMdiArea(this);
    mdiArea_->setObjectName(QStringLiteral("mdiArea"));
    mdiArea_->setBackground(QApplication::palette().brush(QPalette::Dark));
    setCentralWidget(mdiArea_);

    createActions();
    createMenus();
    createToolbar();
    createStatusBar();
    createZoomMenu();

    connect(&doc_, &Document::frameAdded, this, &mdiMain::onFrameAdded);
    connect(&doc_, &Document::frameChanged, this, &mdiMain::onFrameChanged);
    connect(&doc_, &Document::framesSwapped, this, &mdiMain::onFramesSwapped);
    connect(&doc_, &Document::frameRemoved, this, &mdiMain::onFrameRemoved);
    connect(&doc_, &Document::frameInserted, this, &mdiMain::onFrameInserted);
    connect(&doc_, &Document::currentFrameChanged, this, [this](int n) {
        if (QMdiSubWindow *sub = frameSubWindow(n))
            mdiArea_->setActiveSubWindow(sub);
    });
    // After the window bookkeeping above: the slots run in this order.
    connect(&doc_, &Document::frameAdded, this, &mdiMain::updateActions);
    connect(&doc_, &Document::frameInserted, this, &mdiMain::updateActions);
    connect(&doc_, &Document::frameRemoved, this, &mdiMain::updateActions);
    connect(&doc_, &Document::statusTextChanged, this, &mdiMain::onStatusText);
    connect(&doc_, &Document::historyChanged, this, &mdiMain::updateHistoryActions);
    connect(&doc_, &Document::cleanChanged, this, [this](bool clean) { setWindowModified(!clean); });
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, &mdiMain::onSubWindowActivated);
    updateActions();
    updateHistoryActions();
    setCurrentFile(QString());

    // The client area starts at a fixed size; menu, toolbar and status bar
    // come on top of it.
    const QSize client(twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips));
    resize(client.width(), client.height() + menuBar()->sizeHint().height() + toolbar_->sizeHint().height() +
                               statusBar_->sizeHint().height());
}

mdiMain::~mdiMain()
{
    // ~QWidget closes the area after this destructor has run, and the area
    // then announces an activation; the slot must not be called on a window
    // that is no longer an mdiMain.
    disconnect(mdiArea_, nullptr, this, nullptr);
    // Frame windows belong to the area; they must not ask to delete frames
    // while the window goes away.
    for (QMdiSubWindow *w : windows_)
        if (auto *f = qobject_cast<frmPic *>(w->widget()))
            f->unload();
}

void mdiMain::createActions()
{
    for (const Command &c : kCommands) {
        auto *action = new QAction(QString::fromUtf16(c.text), this);
        action->setObjectName(QString::fromLatin1(c.name));
        action->setToolTip(action->text());
        if (c.shortcut.toCombined() != 0)
            action->setShortcut(QKeySequence(c.shortcut));
        if (c.toolbarKey[0] != '\0') {
            action->setData(QString::fromLatin1(c.toolbarKey));
            action->setIcon(QIcon(QStringLiteral(":/toolbar/tb%1.png").arg(c.image, 2, 10, QLatin1Char('0'))));
        }
        // The menus show captions only; the image belongs to the button.
        action->setIconVisibleInMenu(false);
        connect(action, &QAction::triggered, this, [this, handler = c.handler] { (this->*handler)(); });
    }
    // Redo answers both of the usual keys.
    command("mRedo")->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    // F1 opens the help page from anywhere in the program, also while the
    // toolbar is hidden.
    QAction *help = command("mHelpF1");
    help->setShortcutContext(Qt::ApplicationShortcut);
    addAction(help);
}

QAction *mdiMain::command(const char *name) const
{
    return findChild<QAction *>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

void mdiMain::createMenus()
{
    for (const MenuLayout &m : kMenus) {
        QMenu *menu = menuBar()->addMenu(QString::fromUtf16(m.title));
        menu->setObjectName(QString::fromLatin1(m.name));
        for (const char *item : m.items) {
            if (!item)
                break;
            if (item[0] != '-') {
                menu->addAction(command(item));
                continue;
            }
            QAction *sep = menu->addSeparator();
            sep->setObjectName(QString::fromLatin1(item + 1));
            sep->setParent(this);
        }
    }
    // The recent files sit between the save commands and closing.
    recentMenu_ = new QMenu(QStringLiteral("最近使ったファイル"), this);
    recentMenu_->setObjectName(QStringLiteral("mRecent"));
    findChild<QMenu *>(QStringLiteral("mFile"))->insertMenu(command("mSpace11"), recentMenu_);
    updateRecentMenu();
}

QStringList mdiMain::recentFiles()
{
    return QSettings().value(kRecentKey).toStringList();
}

void mdiMain::addRecentFile(const QString &path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(full);
    files.prepend(full);
    QSettings().setValue(kRecentKey, files.mid(0, kMaxRecentFiles));
    updateRecentMenu();
}

void mdiMain::updateRecentMenu()
{
    // Later, not now: this may run from the slot of one of these actions.
    for (QAction *a : recentMenu_->actions()) {
        recentMenu_->removeAction(a);
        a->deleteLater();
    }
    const QStringList files = recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        QString label = files[i];
        label.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *a = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(label));
        a->setData(files[i]);
        connect(a, &QAction::triggered, this, [this, path = files[i]] { openRecent(path); });
    }
    recentMenu_->setEnabled(!files.isEmpty());
}

void mdiMain::openRecent(const QString &path)
{
    startCommand(QStringLiteral("mRecent_Click"));
    if (QFileInfo::exists(path)) {
        openPath(path);
        return;
    }
    QStringList files = recentFiles();
    files.removeAll(path);
    QSettings().setValue(kRecentKey, files);
    updateRecentMenu();
    doc_.setStatusText(QStringLiteral("ファイルが見つからないため一覧から外しました: ") + path);
}

void mdiMain::createToolbar()
{
    toolbar_ = addToolBar(QStringLiteral("Toolbar1"));
    toolbar_->setObjectName(QStringLiteral("Toolbar1"));
    toolbar_->setMovable(false);
    toolbar_->setIconSize(QSize(19, 18));
    for (const char *key : kToolbar) {
        if (key[0] == '\0') {
            toolbar_->addSeparator();
            continue;
        }
        for (const Command &c : kCommands) {
            if (qstrcmp(c.toolbarKey, key) != 0)
                continue;
            QAction *action = command(c.name);
            toolbar_->addAction(action);
            toolbar_->widgetForAction(action)->setObjectName(QStringLiteral("Toolbar1_") + QLatin1String(key));
        }
    }
}

QAction *mdiMain::toolbarAction(const QString &key) const
{
    for (QAction *a : toolbar_->actions())
        if (!a->isSeparator() && a->data().toString() == key)
            return a;
    return nullptr;
}

void mdiMain::Toolbar1_ButtonClick(const QString &key)
{
    if (QAction *a = toolbarAction(key))
        a->trigger();
}

void mdiMain::updateActions()
{
    // A frame still being read has its window already; the commands keep
    // their own checks for it, and no command can run before it is done.
    const bool hasFrames = !windows_.isEmpty();
    for (const Command &c : kCommands)
        if (c.needsFrame)
            command(c.name)->setEnabled(hasFrames);
}

// Undo and redo name the step they would take back or repeat.
void mdiMain::updateHistoryActions()
{
    const auto show = [](QAction *action, bool can, const QString &verb, const QString &step) {
        action->setEnabled(can);
        action->setText(can ? verb + QLatin1Char('(') + step + QLatin1Char(')') : verb);
        action->setToolTip(action->text());
    };
    show(command("mUndo"), doc_.canUndo(), kUndoText, doc_.undoText());
    show(command("mRedo"), doc_.canRedo(), kRedoText, doc_.redoText());
}

void mdiMain::setCurrentFile(const QString &path)
{
    currentFile_ = path;
    const QString name = path.isEmpty() ? kUntitled : QFileInfo(path).fileName();
    setWindowTitle(name + QStringLiteral("[*] - Velmar"));
    setWindowModified(!doc_.isClean());
}

void mdiMain::createStatusBar()
{
    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("StatusBar1"));
    statusBar_->setSizeGripEnabled(true);
    statusPanel_ = new QLabel(statusBar_);
    statusPanel_->setObjectName(QStringLiteral("StatusBar1_Panel1"));
    statusPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The panel follows the window's width (see resizeEvent) but must never
    // hold the window at its width: a fixed width would stop the user from
    // making the window narrower.
    statusPanel_->setMinimumWidth(1);
    statusBar_->addWidget(statusPanel_, 1);
    setStatusBar(statusBar_);
}

frmPic *mdiMain::frameWindow(int i) const
{
    QMdiSubWindow *w = frameSubWindow(i);
    return w ? qobject_cast<frmPic *>(w->widget()) : nullptr;
}

QMdiSubWindow *mdiMain::frameSubWindow(int i) const
{
    return i >= 0 && i < windows_.size() ? windows_[i] : nullptr;
}

int mdiMain::activeFrame() const
{
    QMdiSubWindow *w = mdiArea_->currentSubWindow();
    if (!w)
        return -1;
    auto *f = qobject_cast<frmPic *>(w->widget());
    if (!f || !doc_.isFrame(f->number()))
        return -1;
    return f->number();
}

frmPrpty *mdiMain::propertyWindow()
{
    if (!prpty_)
        prpty_ = new frmPrpty(doc_, this);
    return prpty_;
}

// --- Frame windows ----------------------------------------------------------

void mdiMain::onFrameAdded(int n, int windowLike)
{
    auto *frame = new frmPic(doc_, n);
    connect(frame, &frmPic::closeRequested, this, [this](int number) {
        startCommand(QStringLiteral("frmPic_QueryUnload"));
        doc_.delPic(number);
    });
    QMdiSubWindow *sub = mdiArea_->addSubWindow(frame);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(windowIcon());
    windows_.insert(n, sub);
    frame->pic1()->setZoom(zoom_);
    frame->showPicture();

    // The window is sized around the picture box, but never narrower than
    // a caption bar needs; a copy takes the size of its source's window.
    const QSize frameAllowance = sub->size() - sub->contentsRect().size();
    QSize outer = frame->pic1()->size() + frameAllowance;
    QMdiSubWindow *like = frameSubWindow(windowLike);
    if (like && like != sub)
        outer = like->size();
    else
        outer.setWidth(std::max(outer.width(), twipsToPixels(kMinFrameWindowTwips)));
    sub->resize(outer);
    sub->show();
    frame->showPicture();
}

void mdiMain::onFrameChanged(int n)
{
    if (frmPic *f = frameWindow(n))
        f->showPicture();
}

void mdiMain::onFramesSwapped(int a, int b)
{
    if (a < 0 || b < 0 || a >= windows_.size() || b >= windows_.size())
        return;
    std::swap(windows_[a], windows_[b]);
    frameWindow(a)->setNumber(a);
    frameWindow(b)->setNumber(b);
}

void mdiMain::onFrameRemoved(int n)
{
    if (n < 0 || n >= windows_.size())
        return;
    QMdiSubWindow *sub = windows_.takeAt(n);
    if (auto *f = qobject_cast<frmPic *>(sub->widget()))
        f->unload();
    mdiArea_->removeSubWindow(sub);
    sub->deleteLater();
    for (int i = n; i < windows_.size(); ++i)
        frameWindow(i)->setNumber(i);
}

// A frame put back by undo or redo gets a new window at its place; the
// frames behind it are renumbered.
void mdiMain::onFrameInserted(int n)
{
    onFrameAdded(n, -1);
    for (int i = n + 1; i < windows_.size(); ++i)
        frameWindow(i)->setNumber(i);
}

void mdiMain::onSubWindowActivated(QMdiSubWindow *window)
{
    if (!window)
        return;
    if (auto *f = qobject_cast<frmPic *>(window->widget()))
        doc_.setCurPic(int(int16_t(f->number())));
}

void mdiMain::onStatusText(const QString &text)
{
    statusPanel_->setText(text);
    // Long work does not return to the event loop; show the text now.
    statusPanel_->repaint();
}

void mdiMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (statusPanel_)
        statusPanel_->setMaximumWidth(std::max(1, frameGeometry().width() - twipsToPixels(kStatusMarginTwips)));
}

// --- Files ------------------------------------------------------------------

void mdiMain::showError(const QString &message)
{
    if (!message.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Velmar"), message);
}

bool mdiMain::openPath(const QString &path)
{
    return openFiles({path});
}

bool mdiMain::openFiles(const QStringList &paths)
{
    QStringList notes;
    // A single file opened whole into an empty document is that file as
    // saved: closing asks nothing then.
    const bool wasEmpty = doc_.picCount() == 0;
    int opened = 0;
    bool goOn = true;
    LongTask task(this, kOpeningText, kOpenSteps);
    {
        // Files opened together (a drop, the command line) are one undo step.
        Document::Step step(doc_, QStringLiteral("開く"));
        for (qsizetype i = 0; i < paths.size() && goOn; ++i) {
            goOn = openOne(paths[i], notes, opened, task, OpenPlace{int(i), int(paths.size())});
            // A cancel stops the whole list: say which files were left.
            if (task.cancelled() && i + 1 < paths.size()) {
                notes << QStringLiteral("開かなかったファイル: ") + paths.mid(i + 1).join(QStringLiteral(", "));
                goOn = false;
            }
        }
    }
    if (wasEmpty && opened == 1 && paths.size() == 1 && doc_.picCount() > 0)
        doc_.setClean();
    showNotes(notes);
    return goOn;
}

// What the progress dialog says while a file is read: which of the files,
// and how many of its frames are in.
QString mdiMain::openingText(const QString &path, OpenPlace place, int frames)
{
    QString text = kOpeningText;
    if (place.count > 1)
        text += QStringLiteral(" (%1/%2)").arg(place.index + 1).arg(place.count);
    return text + QLatin1Char('\n') + QFileInfo(path).fileName() + QLatin1Char('\n') +
           QStringLiteral("%1 ﾌﾚｰﾑ読み込み済み").arg(frames);
}

bool mdiMain::openOne(const QString &path, QStringList &notes, int &opened, LongTask &task, OpenPlace place)
{
    QString error;
    if (!looksLikeGif(path, &error)) {
        if (error.isEmpty()) {
            notes << QStringLiteral("GIF ファイルではないため開きませんでした: ") + path;
            return true;
        }
        notes << QStringLiteral("ファイルを開けません: ") + path + QStringLiteral(" (") + error + QLatin1Char(')');
        return false;
    }
    // The frame count is known only at the end, so the bar follows the
    // bytes read; the label counts the frames.
    const int before = doc_.picCount();
    int shownFrames = -1;
    task.setLabel(openingText(path, place, 0));
    OpenGifOptions options;
    options.progress = [&](const OpenGifProgress &p) {
        if (p.frames != shownFrames) {
            shownFrames = p.frames;
            task.setLabel(openingText(path, place, p.frames));
        }
        return task.advance(p.fileSize ? int(uint64_t(p.bytesRead) * kOpenSteps / p.fileSize) : 0);
    };
    const OpenGifResult r = OpenGif(doc_, path, options);
    notes << r.warnings;
    if (!r.ok() && task.cancelled()) {
        // The frames read stay, but they are not the file: it is neither
        // the title's file nor the one a save would overwrite.
        notes << QStringLiteral("開くのを中止しました: %1 (%2 ﾌﾚｰﾑを読み込みました)")
                     .arg(path)
                     .arg(doc_.picCount() - before);
        return false;
    }
    if (!r.ok()) {
        const QString message = r.error();
        notes << (message.contains(path) ? message : message + QStringLiteral(": ") + path);
        showError(message);
        return true;
    }
    ++opened;
    setCurrentFile(path);
    addRecentFile(path);
    if (task.cancelled())
        notes << QStringLiteral("中止する前に最後まで読み込みました: ") + path;
    return true;
}

// The reader clears its progress text when it is done; what went wrong with
// the files replaces it and stays until the next command.
void mdiMain::showNotes(const QStringList &notes)
{
    if (!notes.isEmpty())
        doc_.setStatusText(notes.join(QStringLiteral(" ／ ")));
}

void mdiMain::startCommand(const QString &name)
{
    lastCommand_ = name;
    if (!doc_.statusText().isEmpty())
        doc_.setStatusText(QString());
}

namespace
{

// The Save As dialog; an empty path when it was cancelled.
QString askSavePath(QWidget *parent)
{
    QFileDialog dialog(parent, QStringLiteral("名前を付けて保存"), QString(), kGifFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("gif"));
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

QString kilobytes(qint64 bytes)
{
    return QString::number(double(bytes) / 1024.0, 'f', 1) + QStringLiteral(" KB");
}

} // namespace

bool mdiMain::saveTo(const QString &path)
{
    if (doc_.picCount() == 0)
        return false;
    LongTask task(this, kSavingText, doc_.picCount());
    const Result<void> r = SaveGif(doc_, path, [&task](int images, int total) {
        task.setTotal(total);
        task.setLabel(kSavingText + QStringLiteral(" (%1/%2 ﾌﾚｰﾑ)").arg(images).arg(total));
        return task.advance(images);
    });
    if (!r && task.cancelled()) {
        // Nothing was written: the file on disk is the one from before.
        statusBar_->clearMessage();
        doc_.setStatusText(QStringLiteral("保存を中止しました（ファイルは変更していません）: ") + path);
        return false;
    }
    if (!r) {
        QMessageBox::critical(this, QStringLiteral("保存できません"), r.error());
        return false;
    }
    doc_.setClean();
    setCurrentFile(path);
    addRecentFile(path);
    const QString size = QLocale(QLocale::English).toString(QFileInfo(path).size());
    statusBar_->showMessage(QStringLiteral("保存しました: %1 (%2 バイト)").arg(QDir::toNativeSeparators(path), size),
                            kSavedMessageMs);
    return true;
}

bool mdiMain::save()
{
    return currentFile_.isEmpty() ? saveAs() : saveTo(currentFile_);
}

bool mdiMain::saveAs()
{
    if (doc_.picCount() == 0)
        return false;
    const QString path = askSavePath(this);
    return !path.isEmpty() && saveTo(path);
}

void mdiMain::mGifIn_Click()
{
    startCommand(QStringLiteral("mGifIn_Click"));
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("開く"), QString(), kGifFilter, nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return;
    openPath(path);
}

void mdiMain::mSave_Click()
{
    startCommand(QStringLiteral("mSave_Click"));
    save();
}

void mdiMain::mGifOut_Click()
{
    startCommand(QStringLiteral("mGifOut_Click"));
    saveAs();
}

void mdiMain::mGifOutOptimized_Click()
{
    startCommand(QStringLiteral("mGifOutOptimized_Click"));
    if (doc_.picCount() == 0)
        return;
    const QString path = askSavePath(this);
    if (!path.isEmpty())
        saveOptimizedTo(path);
}

bool mdiMain::saveOptimizedTo(const QString &path)
{
    if (doc_.picCount() == 0)
        return false;
    SavedSizes sizes;
    const Result<void> r = SaveGifOptimized(doc_, path, &sizes);
    if (!r) {
        QMessageBox::critical(this, QStringLiteral("保存できません"), r.error());
        return false;
    }
    // The file holds the whole document as a save does.
    doc_.setClean();
    setCurrentFile(path);
    // Left in the status bar until the next command.
    doc_.setStatusText(QStringLiteral("最適化して保存しました: ") + path + QStringLiteral(" (") +
                       kilobytes(sizes.plain) + QStringLiteral(" → ") + kilobytes(sizes.saved) + QLatin1Char(')'));
    return true;
}

// A drop is always taken as a copy: were it accepted as a move, the file
// manager would delete the file it came from.
void mdiMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls() && (event->possibleActions() & Qt::CopyAction)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void mdiMain::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls() && (event->possibleActions() & Qt::CopyAction)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void mdiMain::dropEvent(QDropEvent *event)
{
    if (!(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return;
    }
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        paths << url.toLocalFile();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    startCommand(QStringLiteral("MDIForm_OLEDragDrop"));
    openFiles(paths);
}

// --- Commands ----------------------------------------------------------------

void mdiMain::mAllDel_Click()
{
    startCommand(QStringLiteral("mAllDel_Click"));
    doc_.closeAll();
}

void mdiMain::mEnd_Click()
{
    startCommand(QStringLiteral("mEnd_Click"));
    // Ending from the menu is closing the main window: unsaved changes are
    // asked about there, and nothing else is.
    close();
}

void mdiMain::mUndo_Click()
{
    startCommand(QStringLiteral("mUndo_Click"));
    doc_.undo();
}

void mdiMain::mRedo_Click()
{
    startCommand(QStringLiteral("mRedo_Click"));
    doc_.redo();
}

void mdiMain::mMae_Click()
{
    startCommand(QStringLiteral("mMae_Click"));
    const int v = activeFrame();
    if (v >= 0)
        doc_.swapWithPrevious(v);
}

void mdiMain::mUshiro_Click()
{
    startCommand(QStringLiteral("mUshiro_Click"));
    const int v = activeFrame();
    if (v >= 0)
        doc_.swapWithNext(v);
}

void mdiMain::mDelete_Click()
{
    startCommand(QStringLiteral("mDelete_Click"));
    const int v = activeFrame();
    if (v >= 0)
        doc_.delPic(v);
}

void mdiMain::mAutoCreate_Click()
{
    startCommand(QStringLiteral("mAutoCreate_Click"));
    if (!auto_)
        auto_ = new frmAuto(doc_, this);
    auto_->show();
    auto_->raise();
    auto_->activateWindow();
    // Already the active window (or on a platform without activation): the
    // base window must follow the active frame all the same.
    auto_->Form_Activate();
}

frmAuto *mdiMain::autoCreateWindow() const
{
    return auto_;
}

void mdiMain::mPropaty_Click()
{
    startCommand(QStringLiteral("mPropaty_Click"));
    frmPrpty *p = propertyWindow();
    placePropertyWindow();
    p->show();
    p->raise();
}

void mdiMain::mAnime_Click()
{
    startCommand(QStringLiteral("mAnime_Click"));
    // The player deletes itself when it closes, so an opening after a close
    // loads it afresh: frame 0, cleared buffers, the canvas size of now.
    if (!play_ || !play_->isLoaded()) {
        play_ = new frmPlay(doc_, this);
        placePlayer();
    }
    play_->show();
    play_->raise();
}

frmPlay *mdiMain::playerWindow() const
{
    return play_;
}

void mdiMain::mKasane_Click()
{
    startCommand(QStringLiteral("mKasane_Click"));
    const QVector<QMdiSubWindow *> frames = windows_.mid(0, doc_.picCount());
    restoreToNormalTwips(frames);
    moveWindowsTwips(frames, cascadePositions(int(frames.size())));
}

void mdiMain::mSeiretu_Click()
{
    startCommand(QStringLiteral("mSeiretu_Click"));
    const QVector<QMdiSubWindow *> frames = windows_.mid(0, doc_.picCount());
    const std::vector<WindowSizeTwips> sizes = restoreToNormalTwips(frames);
    moveWindowsTwips(frames, sideBySidePositions(sizes, clientWidthTwips(mdiArea_)));
}

void mdiMain::mSeiretu2_Click()
{
    startCommand(QStringLiteral("mSeiretu2_Click"));
    const QVector<QMdiSubWindow *> frames = windows_.mid(0, doc_.picCount());
    const std::vector<WindowSizeTwips> sizes = restoreToNormalTwips(frames);
    moveWindowsTwips(frames, topToBottomPositions(sizes, clientHeightTwips(mdiArea_)));
}

void mdiMain::mVersion_Click()
{
    startCommand(QStringLiteral("mVersion_Click"));
    if (!version_)
        version_ = new frmVersion(this);
    version_->show();
    version_->raise();
    version_->activateWindow();
}

QString mdiMain::helpFilePath()
{
    // Beside the program in the build tree; in share/velmar/ once installed.
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString beside = programDir.filePath(QStringLiteral("velmar.html"));
    const QString installed = QDir::cleanPath(programDir.filePath(QStringLiteral("../share/velmar/velmar.html")));
    if (!QFileInfo::exists(beside) && QFileInfo::exists(installed))
        return installed;
    return beside;
}

void mdiMain::help_Click()
{
    startCommand(QStringLiteral("help_Click"));
    const QString path = helpPath_.isEmpty() ? helpFilePath() : helpPath_;
    if (!QFileInfo::exists(path)) {
        doc_.setStatusText(QStringLiteral("ヘルプファイルが見つかりません (%1)").arg(path));
        return;
    }
    const QUrl page = QUrl::fromLocalFile(path);
    const bool opened = openUrl_ ? openUrl_(page) : QDesktopServices::openUrl(page);
    if (opened)
        return;
    // No viewer on this desktop: the program shows the page itself.
    if (!help_)
        help_ = new HelpWindow(this);
    help_->showPage(page);
    help_->show();
    help_->raise();
    help_->activateWindow();
}

HelpWindow *mdiMain::helpWindow() const
{
    return help_;
}

bool mdiMain::askToSave()
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Velmar"), QStringLiteral("変更を保存しますか?"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("saveQuestion"));
    box.button(QMessageBox::Save)->setText(QStringLiteral("保存"));
    box.button(QMessageBox::Discard)->setText(QStringLiteral("保存しない"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return save();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void mdiMain::closeEvent(QCloseEvent *event)
{
    // Unsaved changes are the one thing the program asks about. With no
    // frame left there is nothing a save could keep.
    if (!doc_.isClean() && doc_.picCount() > 0 && !askToSave()) {
        event->ignore();
        return;
    }
    // The frame windows stay quiet; the document frees every buffer when it
    // goes.
    for (QMdiSubWindow *w : windows_)
        if (auto *f = qobject_cast<frmPic *>(w->widget()))
            f->unload();
    saveWindowSettings();
    if (prpty_)
        prpty_->close();
    event->accept();
    // The program ends even while other windows are open. Without a running
    // event loop (a window driven directly) there is no program to end, and
    // exit() would only make every later dialog return at once.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

// --- Zoom and window places ---------------------------------------------------

namespace
{

constexpr int kZooms[] = {1, 2, 3, 4};

const QString kMainGeometryKey = QStringLiteral("mainWindow/geometry");
const QString kMainStateKey = QStringLiteral("mainWindow/state");
const QString kZoomKey = QStringLiteral("view/zoom");
const QString kPropertyGeometryKey = QStringLiteral("propertyWindow/geometry");
const QString kPlayerGeometryKey = QStringLiteral("player/geometry");

} // namespace

void mdiMain::createZoomMenu()
{
    auto *windowMenu = menuBar()->findChild<QMenu *>(QStringLiteral("mIndicate"));
    windowMenu->addSeparator();
    QMenu *menu = windowMenu->addMenu(QStringLiteral("表示倍率"));
    menu->setObjectName(QStringLiteral("mZoom"));
    zoomGroup_ = new QActionGroup(this);
    zoomGroup_->setExclusive(true);
    for (int z : kZooms) {
        QAction *a = menu->addAction(QStringLiteral("%1%").arg(z * 100));
        a->setObjectName(QStringLiteral("mZoom%1").arg(z * 100));
        a->setCheckable(true);
        a->setChecked(z == zoom_);
        a->setData(z);
        zoomGroup_->addAction(a);
        connect(a, &QAction::triggered, this, [this, z] { setZoom(z); });
    }
    // Ctrl++ (also Ctrl+=, the same key without Shift) and Ctrl+- step through
    // the zooms from any window of the program, the player included.
    menu->addSeparator();
    QAction *in = menu->addAction(QStringLiteral("拡大"));
    in->setObjectName(QStringLiteral("mZoomIn"));
    in->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    QAction *out = menu->addAction(QStringLiteral("縮小"));
    out->setObjectName(QStringLiteral("mZoomOut"));
    out->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    for (QAction *a : {in, out}) {
        a->setShortcutContext(Qt::ApplicationShortcut);
        addAction(a);
    }
    connect(in, &QAction::triggered, this, [this] { setZoom(zoom_ + 1); });
    connect(out, &QAction::triggered, this, [this] { setZoom(zoom_ - 1); });
}

void mdiMain::setZoom(int zoom)
{
    zoom = std::clamp(zoom, kZooms[0], kZooms[std::size(kZooms) - 1]);
    for (QAction *a : zoomGroup_->actions())
        a->setChecked(a->data().toInt() == zoom);
    if (zoom == zoom_)
        return;
    zoom_ = zoom;
    // Each frame window is sized around its zoomed picture as when it was
    // opened, so that arranging works on what is on screen.
    for (QMdiSubWindow *sub : windows_) {
        auto *frame = qobject_cast<frmPic *>(sub->widget());
        if (!frame)
            continue;
        if (sub->isMaximized() || sub->isMinimized())
            sub->showNormal();
        const QSize frameAllowance = sub->size() - sub->contentsRect().size();
        frame->setZoom(zoom_);
        QSize outer = frame->pic1()->size() + frameAllowance;
        outer.setWidth(std::max(outer.width(), twipsToPixels(kMinFrameWindowTwips)));
        sub->resize(outer);
    }
    if (play_ && play_->isLoaded())
        play_->setZoom(zoom_);
    if (rememberWindows_)
        QSettings().setValue(kZoomKey, zoom_);
}

void mdiMain::placeBeside(QWidget *window, const QWidget *above) const
{
    const QRect main = frameGeometry();
    const QScreen *screen = this->screen();
    const QRect room = screen ? screen->availableGeometry() : QRect();
    const QSize size = window->frameGeometry().size();
    QPoint place(main.right() + 1, main.top());
    if (!room.isEmpty() && place.x() + size.width() > room.right() + 1)
        place = QPoint(std::max(main.left(), main.right() + 1 - size.width()), geometry().top());
    if (above && above->isVisible()) {
        const QRect other = above->frameGeometry();
        if (other.contains(place) && other.bottom() + size.height() <= room.bottom())
            place.setY(other.bottom() + 1);
    }
    window->move(place);
}

void mdiMain::placePlayer()
{
    play_->setZoom(zoom_);
    connect(play_, &frmPlay::closing, this, [this] {
        if (rememberWindows_)
            QSettings().setValue(kPlayerGeometryKey, play_->saveGeometry());
    });
    const QByteArray saved = rememberWindows_ ? QSettings().value(kPlayerGeometryKey).toByteArray() : QByteArray();
    if (saved.isEmpty() || !play_->restoreGeometry(saved))
        placeBeside(play_, prpty_);
}

void mdiMain::placePropertyWindow()
{
    if (propertyPlaced_)
        return;
    propertyPlaced_ = true;
    const QByteArray saved = rememberWindows_ ? QSettings().value(kPropertyGeometryKey).toByteArray() : QByteArray();
    if (saved.isEmpty() || !prpty_->restoreGeometry(saved))
        placeBeside(prpty_, play_);
}

void mdiMain::restoreWindowSettings()
{
    rememberWindows_ = true;
    const QSettings settings;
    restoreGeometry(settings.value(kMainGeometryKey).toByteArray());
    restoreState(settings.value(kMainStateKey).toByteArray());
    setZoom(settings.value(kZoomKey, 1).toInt());
}

void mdiMain::saveWindowSettings()
{
    if (!rememberWindows_)
        return;
    QSettings settings;
    settings.setValue(kMainGeometryKey, saveGeometry());
    settings.setValue(kMainStateKey, saveState());
    settings.setValue(kZoomKey, zoom_);
    if (prpty_ && propertyPlaced_)
        settings.setValue(kPropertyGeometryKey, prpty_->saveGeometry());
    if (play_ && play_->isLoaded())
        settings.setValue(kPlayerGeometryKey, play_->saveGeometry());
}

} // namespace velmar
