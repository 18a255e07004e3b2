#include "shell/mdimain.h"

#include "autocreate/frmauto.h"
#include "gif/gifio.h"
#include "platform/twips.h"
#include "player/frmplay.h"
#include "properties/frmprpty.h"
#include "shell/document.h"
#include "shell/frmpic.h"
#include "shell/frmversion.h"
#include "shell/mdiarrange.h"

#include <QAction>
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
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUrl>

// The resources live in a static library; a linker drops their initialiser
// unless something refers to it.
static void initVelmarResources() { Q_INIT_RESOURCE(velmar); }

namespace velmar {
namespace {

const QString kGifFilter = QStringLiteral("GIFﾌｧｲﾙ (*.gif)");

// The client area the window first shows, and the narrowest a frame window
// may be (a caption bar with its buttons needs the room).
constexpr int kClientWidthTwips = 8670;
constexpr int kClientHeightTwips = 6690;
constexpr int kMinFrameWindowTwips = 1425;
constexpr int kStatusMarginTwips = 400;

struct ToolbarEntry {
    const char *key; // empty: a separator
    const char16_t *tooltip;
    int image;
    void (mdiMain::*handler)();
};

const ToolbarEntry kToolbar[] = {
    {"", u"", 0, nullptr},
    {"open", u"開く", 1, &mdiMain::mGifIn_Click},
    {"save", u"名前を付けて保存", 2, &mdiMain::mGifOut_Click},
    {"", u"", 0, nullptr},
    {"before", u"前のﾌﾚｰﾑと入替", 6, &mdiMain::mMae_Click},
    {"after", u"後ろのﾌﾚｰﾑと入替", 7, &mdiMain::mUshiro_Click},
    {"delete", u"１ﾌﾚｰﾑ削除", 8, &mdiMain::mDelete_Click},
    {"", u"", 0, nullptr},
    {"auto", u"自動作成", 14, &mdiMain::mAutoCreate_Click},
    {"property", u"ﾌﾟﾛﾊﾟﾃｨ", 3, &mdiMain::mPropaty_Click},
    {"play", u"ｱﾆﾒｰｼｮﾝ表示", 4, &mdiMain::mAnime_Click},
    {"", u"", 0, nullptr},
    {"kasane", u"重ねて表示", 11, &mdiMain::mKasane_Click},
    {"seiretu1", u"左右に並べて表示", 12, &mdiMain::mSeiretu_Click},
    {"seiretu2", u"上下に並べて表示", 13, &mdiMain::mSeiretu2_Click},
    {"", u"", 0, nullptr},
    {"help", u"ﾍﾙﾌﾟ", 10, &mdiMain::help_Click},
};

} // namespace

mdiMain::mdiMain(Document &doc, QWidget *parent) : QMainWindow(parent), doc_(doc)
{
    initVelmarResources();
    setObjectName(QStringLiteral("mdiMain"));
    setWindowTitle(QStringLiteral("Velmar"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/velmar.png")));
    setAcceptDrops(true);

    mdiArea_ = new QMdiArea(this);
    mdiArea_->setObjectName(QStringLiteral("mdiArea"));
    mdiArea_->setBackground(QApplication::palette().brush(QPalette::Dark));
    setCentralWidget(mdiArea_);

    createMenus();
    createToolbar();
    createStatusBar();

    connect(&doc_, &Document::frameAdded, this, &mdiMain::onFrameAdded);
    connect(&doc_, &Document::frameChanged, this, &mdiMain::onFrameChanged);
    connect(&doc_, &Document::framesSwapped, this, &mdiMain::onFramesSwapped);
    connect(&doc_, &Document::frameRemoved, this, &mdiMain::onFrameRemoved);
    connect(&doc_, &Document::statusTextChanged, this, &mdiMain::onStatusText);
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, &mdiMain::onSubWindowActivated);

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

QAction *mdiMain::addMenuAction(QMenu *menu, const char *name, const QString &caption, const QKeySequence &shortcut,
                                void (mdiMain::*handler)())
{
    auto *action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    menu->addAction(action);
    return action;
}

void mdiMain::createMenus()
{
    auto addSeparator = [this](QMenu *menu, const char *name) {
        QAction *sep = menu->addSeparator();
        sep->setObjectName(QString::fromLatin1(name));
        sep->setParent(this);
    };
    QMenu *mFile = menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ"));
    mFile->setObjectName(QStringLiteral("mFile"));
    addMenuAction(mFile, "mGifIn", QStringLiteral("開く"), QKeySequence(Qt::CTRL | Qt::Key_O), &mdiMain::mGifIn_Click);
    addMenuAction(mFile, "mGifOut", QStringLiteral("名前を付けて保存"), QKeySequence(Qt::CTRL | Qt::Key_S),
                  &mdiMain::mGifOut_Click);
    addMenuAction(mFile, "mGifOutOptimized", QStringLiteral("最適化して保存..."), {}, &mdiMain::mGifOutOptimized_Click);
    addSeparator(mFile, "mSpace11");
    addMenuAction(mFile, "mAllDel", QStringLiteral("全てのﾌﾚｰﾑｳを閉じる"), {}, &mdiMain::mAllDel_Click);
    addMenuAction(mFile, "mEnd", QStringLiteral("Velmarの終了"), {}, &mdiMain::mEnd_Click);

    QMenu *mEdit = menuBar()->addMenu(QStringLiteral("編集"));
    mEdit->setObjectName(QStringLiteral("mEdit"));
    addMenuAction(mEdit, "mMae", QStringLiteral("前のﾌﾚｰﾑと入替"), QKeySequence(Qt::CTRL | Qt::Key_B),
                  &mdiMain::mMae_Click);
    addMenuAction(mEdit, "mUshiro", QStringLiteral("後ろのﾌﾚｰﾑと入替"), QKeySequence(Qt::CTRL | Qt::Key_A),
                  &mdiMain::mUshiro_Click);
    addSeparator(mEdit, "mSpace21");
    addMenuAction(mEdit, "mDelete", QStringLiteral("１ﾌﾚｰﾑ削除"), QKeySequence(Qt::SHIFT | Qt::Key_Delete),
                  &mdiMain::mDelete_Click);

    QMenu *mKakou = menuBar()->addMenu(QStringLiteral("ﾂｰﾙ"));
    mKakou->setObjectName(QStringLiteral("mKakou"));
    addMenuAction(mKakou, "mAutoCreate", QStringLiteral("自動作成"), {}, &mdiMain::mAutoCreate_Click);
    addSeparator(mKakou, "mSpase31");
    addMenuAction(mKakou, "mPropaty", QStringLiteral("ﾌﾟﾛﾊﾟﾃｨ"), {}, &mdiMain::mPropaty_Click);
    addSeparator(mKakou, "mSpace32");
    addMenuAction(mKakou, "mAnime", QStringLiteral("ｱﾆﾒｰｼｮﾝ表示"), QKeySequence(Qt::Key_F5), &mdiMain::mAnime_Click);

    QMenu *mIndicate = menuBar()->addMenu(QStringLiteral("ｳｨﾝﾄﾞｳ"));
    mIndicate->setObjectName(QStringLiteral("mIndicate"));
    addMenuAction(mIndicate, "mKasane", QStringLiteral("重ねて表示"), {}, &mdiMain::mKasane_Click);
    addMenuAction(mIndicate, "mSeiretu", QStringLiteral("左右に並べて表示"), {}, &mdiMain::mSeiretu_Click);
    addMenuAction(mIndicate, "mSeiretu2", QStringLiteral("上下に並べて表示"), {}, &mdiMain::mSeiretu2_Click);

    QMenu *mHelp0 = menuBar()->addMenu(QStringLiteral("ﾍﾙﾌﾟ"));
    mHelp0->setObjectName(QStringLiteral("mHelp0"));
    addMenuAction(mHelp0, "mVersion", QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"), {}, &mdiMain::mVersion_Click);

    // F1 opens the help page from anywhere in the program.
    auto *help = new QAction(this);
    help->setObjectName(QStringLiteral("mHelpF1"));
    help->setShortcut(QKeySequence(Qt::Key_F1));
    help->setShortcutContext(Qt::ApplicationShortcut);
    connect(help, &QAction::triggered, this, &mdiMain::help_Click);
    addAction(help);
}

void mdiMain::createToolbar()
{
    toolbar_ = addToolBar(QStringLiteral("Toolbar1"));
    toolbar_->setObjectName(QStringLiteral("Toolbar1"));
    toolbar_->setMovable(false);
    toolbar_->setIconSize(QSize(19, 18));
    for (const ToolbarEntry &e : kToolbar) {
        if (e.key[0] == '\0') {
            toolbar_->addSeparator();
            continue;
        }
        const QString key = QString::fromLatin1(e.key);
        const QIcon icon(QStringLiteral(":/toolbar/tb%1.png").arg(e.image, 2, 10, QLatin1Char('0')));
        QAction *action = toolbar_->addAction(icon, QString::fromUtf16(e.tooltip));
        action->setObjectName(QStringLiteral("Toolbar1_") + key);
        action->setData(key);
        action->setToolTip(QString::fromUtf16(e.tooltip));
        connect(action, &QAction::triggered, this, [this, key] { Toolbar1_ButtonClick(key); });
    }
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

void mdiMain::Toolbar1_ButtonClick(const QString &key)
{
    for (const ToolbarEntry &e : kToolbar) {
        if (e.handler && key == QLatin1String(e.key)) {
            (this->*e.handler)();
            return;
        }
    }
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

void mdiMain::onSubWindowActivated(QMdiSubWindow *window)
{
    if (!window)
        return;
    if (auto *f = qobject_cast<frmPic *>(window->widget()))
        doc_.gCurPic = int(int16_t(f->number()));
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
    QStringList notes;
    const bool goOn = openOne(path, notes);
    showNotes(notes);
    return goOn;
}

void mdiMain::openFiles(const QStringList &paths)
{
    QStringList notes;
    for (const QString &path : paths)
        if (!openOne(path, notes))
            break;
    showNotes(notes);
}

bool mdiMain::openOne(const QString &path, QStringList &notes)
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
    const GifResult r = OpenGif(doc_, path);
    notes << r.warnings;
    if (!r.ok) {
        notes << (r.message.contains(path) ? r.message : r.message + QStringLiteral(": ") + path);
        showError(r.message);
    }
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

bool mdiMain::saveTo(const QString &path)
{
    if (doc_.gPicCount == 0)
        return false;
    const GifResult r = SaveGif(doc_, path);
    if (!r.ok) {
        QMessageBox::critical(this, QStringLiteral("保存できません"), r.message);
        return false;
    }
    return true;
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

namespace {

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

void mdiMain::mGifOut_Click()
{
    startCommand(QStringLiteral("mGifOut_Click"));
    if (doc_.gPicCount == 0)
        return;
    const QString path = askSavePath(this);
    if (!path.isEmpty())
        saveTo(path);
}

void mdiMain::mGifOutOptimized_Click()
{
    startCommand(QStringLiteral("mGifOutOptimized_Click"));
    if (doc_.gPicCount == 0)
        return;
    const QString path = askSavePath(this);
    if (!path.isEmpty())
        saveOptimizedTo(path);
}

bool mdiMain::saveOptimizedTo(const QString &path)
{
    if (doc_.gPicCount == 0)
        return false;
    SavedSizes sizes;
    const GifResult r = SaveGifOptimized(doc_, path, &sizes);
    if (!r.ok) {
        QMessageBox::critical(this, QStringLiteral("保存できません"), r.message);
        return false;
    }
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
    QCoreApplication::exit(0);
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

frmAuto *mdiMain::autoCreateWindow() const { return auto_; }

void mdiMain::mPropaty_Click()
{
    startCommand(QStringLiteral("mPropaty_Click"));
    frmPrpty *p = propertyWindow();
    p->show();
    p->raise();
}

void mdiMain::mAnime_Click()
{
    startCommand(QStringLiteral("mAnime_Click"));
    // The player deletes itself when it closes, so an opening after a close
    // loads it afresh: frame 0, cleared buffers, the canvas size of now.
    if (!play_ || !play_->isLoaded())
        play_ = new frmPlay(doc_, this);
    play_->show();
    play_->raise();
}

frmPlay *mdiMain::playerWindow() const { return play_; }

void mdiMain::mKasane_Click()
{
    startCommand(QStringLiteral("mKasane_Click"));
    const QVector<QMdiSubWindow *> frames = windows_.mid(0, doc_.gPicCount);
    restoreToNormalTwips(frames);
    moveWindowsTwips(frames, cascadePositions(int(frames.size())));
}

void mdiMain::mSeiretu_Click()
{
    startCommand(QStringLiteral("mSeiretu_Click"));
    const QVector<QMdiSubWindow *> frames = windows_.mid(0, doc_.gPicCount);
    const std::vector<WindowSizeTwips> sizes = restoreToNormalTwips(frames);
    moveWindowsTwips(frames, sideBySidePositions(sizes, clientWidthTwips(mdiArea_)));
}

void mdiMain::mSeiretu2_Click()
{
    startCommand(QStringLiteral("mSeiretu2_Click"));
    const QVector<QMdiSubWindow *> frames = windows_.mid(0, doc_.gPicCount);
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
    const QString path = helpFilePath();
    if (!QFileInfo::exists(path)) {
        doc_.setStatusText(QStringLiteral("ヘルプファイルが見つかりません (%1)").arg(path));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        doc_.setStatusText(QStringLiteral("ヘルプを開けませんでした (%1)").arg(path));
}

void mdiMain::closeEvent(QCloseEvent *event)
{
    // The frame windows stay quiet; the document frees every buffer when it
    // goes. Nothing is asked and nothing is saved.
    for (QMdiSubWindow *w : windows_)
        if (auto *f = qobject_cast<frmPic *>(w->widget()))
            f->unload();
    if (prpty_)
        prpty_->close();
    event->accept();
    QCoreApplication::exit(0);
}

} // namespace velmar
