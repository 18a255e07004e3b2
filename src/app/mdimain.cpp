#include "mdimain.h"

#include "document/document.h"
#include "document/gifio.h"
#include "filmstrip_model.h"
#include "filmstrip_view.h"
#include "frmauto.h"
#include "frmpic.h"
#include "frmplay.h"
#include "frmprpty.h"
#include "frmversion.h"
#include "helpwindow.h"
#include "importoptions_dialog.h"
#include "mdiarrange.h"
#include "platform/twips.h"
#include "progress.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHash>
#include <QInputDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMoveEvent>
#include <QProxyStyle>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWheelEvent>

#include <utility>

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
    {"mDeleteSelected", u"選択ﾌﾚｰﾑを削除", kNoShortcut, "", 0, true, &mdiMain::mDeleteSelected_Click},
    {"mSetDelays", u"ﾃﾞｨﾚｲ一括設定...", kNoShortcut, "", 0, true, &mdiMain::mSetDelays_Click},
    {"mReverse", u"逆順", kNoShortcut, "", 0, true, &mdiMain::mReverse_Click},
    {"mDuplicate", u"複製", kNoShortcut, "", 0, true, &mdiMain::mDuplicate_Click},
    {"mYoyo", u"往復", kNoShortcut, "", 0, true, &mdiMain::mYoyo_Click},
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
    const char *items[13];
};

const MenuLayout kMenus[] = {
    {"mFile", u"ﾌｧｲﾙ", {"mGifIn", "mSave", "mGifOut", "mGifOutOptimized", "-mSpace11", "mAllDel", "mEnd"}},
    {"mEdit",
     u"編集",
     {"mUndo", "mRedo", "-mSpace20", "mMae", "mUshiro", "-mSpace21", "mDelete", "-mSpace22", "mDeleteSelected",
      "mSetDelays", "mReverse", "mDuplicate", "mYoyo"}},
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
// Styles cut a caption a few pixels before the end of its label space.
constexpr int kCaptionSlack = 16;
// Pixels the frame area moves per line of a wheel turn.
constexpr int kWheelLinePixels = 20;
// Frames are drawn at once as they are read or made, so that long work shows
// its progress, while there are no more windows than this; past it they are
// drawn when the event loop next runs: a synchronous paint costs time in
// proportion to the windows already there.
constexpr int kLiveWindows = 16;

// While windows come and go by the hundred (close all, undoing it), the
// frame area is drawn once afterwards instead of once per window.
class FrozenArea
{
  public:
    FrozenArea(QWidget *area, FilmstripModel *strip) : area_(area), strip_(strip), wasEnabled_(area->updatesEnabled())
    {
        area_->setUpdatesEnabled(false);
        strip_->beginBulkChange();
    }
    ~FrozenArea()
    {
        strip_->endBulkChange();
        area_->setUpdatesEnabled(wasEnabled_);
    }
    FrozenArea(const FrozenArea &) = delete;
    FrozenArea &operator=(const FrozenArea &) = delete;

  private:
    QWidget *area_;
    FilmstripModel *strip_;
    bool wasEnabled_;
};
// The frame area. The area works out its scroll range only when one of its
// windows moves or changes size; hidden windows (and extent_, which stands
// for them) do neither, so the range is refreshed by hand.
class FrameArea : public QMdiArea
{
  public:
    using QMdiArea::QMdiArea;
    void refreshScrollRange(QMdiSubWindow *any)
    {
        QMoveEvent move(any->pos(), any->pos());
        eventFilter(any, &move);
    }
};

// Every frame window's title bar builds its system menu with the style's
// standard icons, which the style reads from image files each time: with
// hundreds of windows that reading took a fifth of opening a file. The icons
// are the same for every window, so they are made once.
class IconCachingStyle : public QProxyStyle
{
  public:
    using QProxyStyle::QProxyStyle;
    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option, const QWidget *widget) const override
    {
        if (option)
            return QProxyStyle::standardIcon(icon, option, widget);
        const bool rightToLeft =
            (widget ? widget->layoutDirection() : QGuiApplication::layoutDirection()) == Qt::RightToLeft;
        const int key = int(icon) * 2 + int(rightToLeft);
        auto found = icons_.constFind(key);
        if (found == icons_.constEnd())
            found = icons_.insert(key, QProxyStyle::standardIcon(icon, option, widget));
        return *found;
    }

  private:
    mutable QHash<int, QIcon> icons_;
};

// Past this many frame windows only those in view are shown. Every window
// shown costs each later activation, addition and removal time in
// proportion to the shown windows, which made a long animation's open grow
// with the square of its frames.
constexpr int kAllShownWindows = 64;
// Where a frame window's system menu keeps its key while another window is
// active.
const char *const kShortcutProperty = "velmarShortcut";

// Gives the window's system menu its keys, or takes them away.
void setSystemMenuKeys(QMdiSubWindow *sub, bool on)
{
    if (QMenu *menu = sub->systemMenu())
        for (QAction *action : menu->actions())
            action->setShortcut(on ? action->property(kShortcutProperty).value<QKeySequence>() : QKeySequence());
}

// How long an activation waits again while long work still runs.
constexpr int kActivationRetryMs = 50;

const QString kOpeningText = QStringLiteral("開いています...");
const QString kSavingText = QStringLiteral("保存中...");
// The open's bar runs over the bytes of each file in this many steps.
constexpr int kOpenSteps = 1000;

} // namespace

// The pictures met since the last GIF file, and the options of the call,
// asked when its first run is imported.
struct mdiMain::PictureRun {
    QStringList paths;
    bool asked = false;
    std::optional<ImportOptions> options;
};

mdiMain::mdiMain(Document &doc, QWidget *parent) : QMainWindow(parent), doc_(doc)
{
    initVelmarResources();
    if (!dynamic_cast<IconCachingStyle *>(QApplication::style()))
        QApplication::setStyle(new IconCachingStyle(QApplication::style()->name()));
    setObjectName(QStringLiteral("mdiMain"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/velmar.png")));
    setAcceptDrops(true);

    mdiArea_ = new FrameArea(this);
    mdiArea_->setObjectName(QStringLiteral("mdiArea"));
    mdiArea_->setBackground(QApplication::palette().brush(QPalette::Dark));
    // Hundreds of frames do not fit in the window: the area scrolls to them.
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->viewport()->installEventFilter(this);
    setCentralWidget(mdiArea_);
    // Spans the hidden windows, below every window, drawing nothing and
    // letting the mouse through to the area.
    extent_ = new QWidget(mdiArea_->viewport());
    extent_->setObjectName(QStringLiteral("hiddenWindowsExtent"));
    extent_->setAttribute(Qt::WA_TransparentForMouseEvents);
    extent_->hide();
    removedWindows_ = new QWidget(this);
    removedWindows_->hide();
    rangeLater_ = new QTimer(this);
    rangeLater_->setSingleShot(true);
    connect(rangeLater_, &QTimer::timeout, this, &mdiMain::refreshScrollRange);
    syncLater_ = new QTimer(this);
    syncLater_->setSingleShot(true);
    connect(syncLater_, &QTimer::timeout, this, &mdiMain::syncWindowVisibility);
    activateLater_ = new QTimer(this);
    activateLater_->setSingleShot(true);
    connect(activateLater_, &QTimer::timeout, this, &mdiMain::activatePending);
    for (QScrollBar *bar : {mdiArea_->horizontalScrollBar(), mdiArea_->verticalScrollBar()})
        connect(bar, &QScrollBar::valueChanged, this, &mdiMain::syncWindowVisibility);

    createActions();
    createMenus();
    createToolbar();
    createStatusBar();
    createZoomMenu();
    createFilmstrip();

    connect(&doc_, &Document::frameAdded, this, &mdiMain::onFrameAdded);
    connect(&doc_, &Document::frameChanged, this, &mdiMain::onFrameChanged);
    connect(&doc_, &Document::framesSwapped, this, &mdiMain::onFramesSwapped);
    connect(&doc_, &Document::frameRemoved, this, &mdiMain::onFrameRemoved);
    connect(&doc_, &Document::frameInserted, this, &mdiMain::onFrameInserted);
    connect(&doc_, &Document::framesReordered, this, &mdiMain::onFramesReordered);
    connect(&doc_, &Document::currentFrameChanged, this, [this](int n) {
        if (QMdiSubWindow *sub = frameSubWindow(n))
            activateFrameSubWindow(sub);
    });
    // After the window bookkeeping above: the slots run in this order.
    connect(&doc_, &Document::frameAdded, this, &mdiMain::updateActions);
    connect(&doc_, &Document::frameInserted, this, &mdiMain::updateActions);
    connect(&doc_, &Document::frameRemoved, this, &mdiMain::updateActions);
    connect(&doc_, &Document::statusTextChanged, this, &mdiMain::onStatusText);
    connect(&doc_, &Document::historyChanged, this, &mdiMain::updateHistoryActions);
    connect(&doc_, &Document::cleanChanged, this, [this](bool clean) { setWindowModified(!clean); });
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, &mdiMain::onSubWindowActivated);
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow *window) {
        if (window == keyWindow_)
            return;
        if (keyWindow_)
            setSystemMenuKeys(keyWindow_, false);
        if (window)
            setSystemMenuKeys(window, true);
        keyWindow_ = window;
    });
    updateActions();
    updateHistoryActions();
    createImportActions();
    setCurrentFile(QString());

    // The client area starts at a fixed size; menu, toolbar and status bar
    // come on top of it.
    const QSize client(twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips));
    resize(client.width(), client.height() + menuBar()->sizeHint().height() + toolbar_->sizeHint().height() +
                               filmstripDock_->sizeHint().height() + statusBar_->sizeHint().height());
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
    // Staying on top is what every frame window does, so none is above
    // another for it; but the area raises a window that does not stay on
    // top by a walk that looks up every window among all the others.
    QMdiSubWindow *sub = mdiArea_->addSubWindow(frame, Qt::SubWindow | Qt::WindowStaysOnTopHint);
    if (QMenu *menu = sub->systemMenu()) {
        for (QAction *action : menu->actions()) {
            if (action->isCheckable()) // "stay on top": not the user's choice here
                action->setVisible(false);
            // The menu's keys act in the active window only; held by every
            // window they would make each change of any window's state
            // search thousands of keys.
            action->setProperty(kShortcutProperty, QVariant::fromValue(action->shortcut()));
            action->setShortcut(QKeySequence());
        }
    }
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(windowIcon());
    windows_.insert(n, sub);
    frame->pic1()->setZoom(zoom_);
    frame->showPicture(false);

    // The window is sized around the picture box, but never narrower than
    // a caption bar needs; a copy takes the size of its source's window.
    const QSize frameAllowance = sub->size() - sub->contentsRect().size();
    QSize outer = frame->pic1()->size() + frameAllowance;
    QMdiSubWindow *like = frameSubWindow(windowLike);
    if (like && like != sub)
        outer = like->size();
    const int captionWidth = minimumFrameWindowWidth(sub);
    sub->setMinimumWidth(captionWidth);
    outer.setWidth(std::max(outer.width(), captionWidth));
    sub->resize(outer);
    // Placed here rather than by the area, whose search for a free place
    // looks at every window already open.
    sub->move(placeForNewWindow(n, outer));
    if (windows_.size() <= kAllShownWindows || sub->geometry().intersects(mdiArea_->viewport()->rect())) {
        sub->show();
    } else {
        // Out of view: it shows when scrolled to. It would have been the
        // active window; it becomes so once the work adding it is done.
        extent_->setGeometry(extent_->isVisible() ? extent_->geometry().united(sub->geometry()) : sub->geometry());
        extent_->show();
        extent_->lower();
        rangeLater_->start(0);
        pendingActive_ = sub;
        activateLater_->start(0);
    }
    if (windows_.size() == kAllShownWindows + 1)
        syncWindowVisibility();
    frame->showPicture(windows_.size() <= kLiveWindows);
}

void mdiMain::syncWindowVisibility()
{
    const bool all = windows_.size() <= kAllShownWindows;
    const QRect view = mdiArea_->viewport()->rect();
    QMdiSubWindow *const active = mdiArea_->activeSubWindow();
    QVector<QMdiSubWindow *> toShow;
    QRect hidden;
    for (QMdiSubWindow *sub : std::as_const(windows_)) {
        const bool wanted = all || sub == active || sub->geometry().intersects(view);
        if (wanted) {
            if (sub->isHidden())
                toShow << sub;
            continue;
        }
        if (!sub->isHidden())
            sub->hide();
        hidden |= sub->geometry();
    }
    extent_->setGeometry(hidden);
    extent_->setVisible(!hidden.isNull());
    extent_->lower();
    if (!toShow.isEmpty()) {
        // A window that shows takes the activation; scrolling must not
        // move it.
        showingQuietly_ = true;
        for (QMdiSubWindow *sub : std::as_const(toShow))
            sub->show();
        showingQuietly_ = false;
        if (active && mdiArea_->activeSubWindow() != active)
            mdiArea_->setActiveSubWindow(active);
        else if (!active)
            onSubWindowActivated(mdiArea_->activeSubWindow());
    }
    refreshScrollRange();
}

void mdiMain::refreshScrollRange()
{
    if (!windows_.isEmpty())
        static_cast<FrameArea *>(mdiArea_)->refreshScrollRange(windows_.front());
}

void mdiMain::activatePending()
{
    // Long work processes events while it runs; the activation waits for
    // its end, or every window would repaint its title bar at each tick.
    if (LongTask::running()) {
        activateLater_->start(kActivationRetryMs);
        return;
    }
    QMdiSubWindow *sub = pendingActive_;
    pendingActive_ = nullptr;
    if (sub && windows_.contains(sub))
        activateFrameSubWindow(sub);
}

void mdiMain::activateFrameSubWindow(QMdiSubWindow *sub)
{
    if (sub->isHidden())
        sub->show();
    mdiArea_->setActiveSubWindow(sub);
}

QPoint mdiMain::placeForNewWindow(int n, const QSize &size)
{
    // Rows from left to right within the visible width, in frame order,
    // continuing after the window of the frame before; scrolled-out parts
    // of the area count, so the rows go on below what is visible.
    const QPoint scroll(mdiArea_->horizontalScrollBar()->value(), mdiArea_->verticalScrollBar()->value());
    const QMdiSubWindow *before = frameSubWindow(n - 1);
    if (!before) {
        rowBottom_ = size.height();
        return -scroll;
    }
    const QRect prev = before->geometry().translated(scroll);
    QPoint place(prev.right() + 1, prev.top());
    if (place.x() + size.width() > mdiArea_->viewport()->width()) {
        place = QPoint(0, std::max(rowBottom_, prev.bottom() + 1));
        rowBottom_ = place.y() + size.height();
    } else {
        rowBottom_ = std::max(rowBottom_, place.y() + size.height());
    }
    return place - scroll;
}

void mdiMain::onFrameChanged(int n)
{
    if (frmPic *f = frameWindow(n))
        f->showPicture(windows_.size() <= kLiveWindows);
}

void mdiMain::onFramesSwapped(int a, int b)
{
    if (a < 0 || b < 0 || a >= windows_.size() || b >= windows_.size())
        return;
    std::swap(windows_[a], windows_[b]);
    renumberWindows(a, a);
    renumberWindows(b, b);
}

void mdiMain::onFrameRemoved(int n)
{
    if (n < 0 || n >= windows_.size())
        return;
    QMdiSubWindow *sub = windows_.takeAt(n);
    if (auto *f = qobject_cast<frmPic *>(sub->widget()))
        f->unload();
    // Leaving the area for a hidden widget of the same window tells the
    // area just as removeSubWindow does, without the walk over every
    // widget's focus order that leaving for no parent costs.
    sub->setParent(removedWindows_);
    sub->deleteLater();
    renumberWindows(n, int(windows_.size()) - 1);
    // The hidden windows' extent, or every window shown again below the
    // limit; once for a run of removals.
    if (windows_.size() >= kAllShownWindows)
        syncLater_->start(0);
}

// A frame put back by undo or redo gets a new window at its place; the
// frames behind it are renumbered.
void mdiMain::onFrameInserted(int n)
{
    onFrameAdded(n, -1);
    renumberWindows(n + 1, int(windows_.size()) - 1);
}

void mdiMain::onFramesReordered(const QList<int> &order)
{
    if (order.size() > windows_.size())
        return;
    const QVector<QMdiSubWindow *> before = windows_;
    int first = int(order.size());
    int last = -1;
    for (int i = 0; i < order.size(); ++i) {
        if (order[i] < 0 || order[i] >= before.size())
            continue;
        windows_[i] = before[order[i]];
        if (order[i] != i) {
            first = std::min(first, i);
            last = i;
        }
    }
    renumberWindows(first, last);
}

void mdiMain::renumberWindows(int first, int last)
{
    for (int i = std::max(first, 0); i <= last && i < windows_.size(); ++i) {
        frameWindow(i)->setNumber(i);
        // "99" becoming "100" needs room for one more digit.
        QMdiSubWindow *sub = windows_[i];
        const int captionWidth = minimumFrameWindowWidth(sub);
        sub->setMinimumWidth(captionWidth);
        if (sub->width() < captionWidth)
            sub->resize(captionWidth, sub->height());
    }
}

int mdiMain::minimumFrameWindowWidth(const QMdiSubWindow *sub) const
{
    const QString caption = sub->widget() ? sub->widget()->windowTitle() : sub->windowTitle();
    QStyleOptionTitleBar option;
    option.initFrom(sub);
    option.text = caption;
    option.icon = sub->windowIcon();
    option.titleBarFlags = sub->windowFlags();
    option.titleBarState = sub->windowState().toInt();
    option.subControls = QStyle::SC_All;
    // What the buttons and the icon take is the bar's width less the room
    // left for the label, whatever the width tried.
    constexpr int kProbeWidth = 1000;
    option.rect = QRect(0, 0, kProbeWidth, sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, sub));
    const QRect label = sub->style()->subControlRect(QStyle::CC_TitleBar, &option, QStyle::SC_TitleBarLabel, sub);
    // The caption is drawn in the title bar font, bold on the active window.
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    const int text = QFontMetrics(font).horizontalAdvance(caption);
    return std::max(kProbeWidth - label.width() + text + kCaptionSlack, twipsToPixels(kMinFrameWindowTwips));
}

void mdiMain::onSubWindowActivated(QMdiSubWindow *window)
{
    if (!window || showingQuietly_)
        return;
    // A window chosen after the last one added keeps the activation.
    pendingActive_ = nullptr;
    if (auto *f = qobject_cast<frmPic *>(window->widget())) {
        doc_.setCurPic(int(int16_t(f->number())));
        // Once the event loop runs again: an open activates every window it
        // makes, and only the last one needs its item shown.
        filmstripRow_ = f->number();
        filmstripSync_->start();
    }
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
    // The filmstrip takes in the new frames at the end.
    filmstripModel_->beginBulkChange();
    LongTask task(this, kOpeningText, kOpenSteps);
    {
        // Files opened together (a drop, the command line) are one undo step.
        PictureRun pictures;
        bool anyGif = false;
        for (const QString &path : paths)
            anyGif = anyGif || looksLikeGif(path);
        Document::Step step(doc_, anyGif ? QStringLiteral("開く") : QStringLiteral("画像を追加"));
        for (qsizetype i = 0; i < paths.size() && goOn; ++i) {
            QString error;
            if (!looksLikeGif(paths[i], &error) && error.isEmpty() && imagePluginReads(paths[i])) {
                pictures.paths << paths[i];
                continue;
            }
            if (!importRun(pictures, notes, task))
                break;
            goOn = openOne(paths[i], notes, opened, task, OpenPlace{int(i), int(paths.size())});
            // A cancel stops the whole list: say which files were left.
            if (task.cancelled() && i + 1 < paths.size()) {
                notes << QStringLiteral("開かなかったファイル: ") + paths.mid(i + 1).join(QStringLiteral(", "));
                goOn = false;
            }
        }
        if (goOn && !importRun(pictures, notes, task))
            goOn = false;
    }
    filmstripModel_->endBulkChange();
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
    FrozenArea frozen(mdiArea_, filmstripModel_);
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
    FrozenArea frozen(mdiArea_, filmstripModel_);
    doc_.undo();
}

void mdiMain::mRedo_Click()
{
    startCommand(QStringLiteral("mRedo_Click"));
    FrozenArea frozen(mdiArea_, filmstripModel_);
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
    scrollToOrigin();
    const QVector<QMdiSubWindow *> frames = windows_.mid(0, doc_.picCount());
    restoreToNormalTwips(frames);
    moveWindowsTwips(frames, cascadePositions(int(frames.size())));
    syncWindowVisibility();
}

void mdiMain::mSeiretu_Click()
{
    startCommand(QStringLiteral("mSeiretu_Click"));
    scrollToOrigin();
    const QVector<QMdiSubWindow *> frames = windows_.mid(0, doc_.picCount());
    const std::vector<WindowSizeTwips> sizes = restoreToNormalTwips(frames);
    moveWindowsTwips(frames, sideBySidePositions(sizes, clientWidthTwips(mdiArea_)));
    syncWindowVisibility();
}

void mdiMain::mSeiretu2_Click()
{
    startCommand(QStringLiteral("mSeiretu2_Click"));
    scrollToOrigin();
    const QVector<QMdiSubWindow *> frames = windows_.mid(0, doc_.picCount());
    const std::vector<WindowSizeTwips> sizes = restoreToNormalTwips(frames);
    moveWindowsTwips(frames, topToBottomPositions(sizes, clientHeightTwips(mdiArea_)));
    syncWindowVisibility();
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
        outer.setWidth(std::max(outer.width(), minimumFrameWindowWidth(sub)));
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

// --- Filmstrip and the commands on a selection ----------------------------------

namespace velmar
{

void mdiMain::createFilmstrip()
{
    filmstripModel_ = new FilmstripModel(doc_, this);
    filmstrip_ = new FilmstripView(filmstripModel_);
    filmstripDock_ = new QDockWidget(QStringLiteral("ﾌｨﾙﾑｽﾄﾘｯﾌﾟ"), this);
    filmstripDock_->setObjectName(QStringLiteral("dockFilmstrip"));
    filmstripDock_->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    filmstripDock_->setWidget(filmstrip_);
    addDockWidget(Qt::BottomDockWidgetArea, filmstripDock_);
    QAction *toggle = filmstripDock_->toggleViewAction();
    toggle->setObjectName(QStringLiteral("mFilmstrip"));
    auto *windowMenu = menuBar()->findChild<QMenu *>(QStringLiteral("mIndicate"));
    windowMenu->addSeparator();
    windowMenu->addAction(toggle);
    // The same commands as in the edit menu, on the items under the mouse.
    for (const char *name : {"mDeleteSelected", "mSetDelays", "mReverse", "mDuplicate", "mYoyo"})
        filmstrip_->addAction(command(name));
    // Delete acts on the thumbnails only while they have the focus; elsewhere
    // the key belongs to the property window's editors.
    QAction *del = command("mDeleteSelected");
    del->setShortcut(QKeySequence(Qt::Key_Delete));
    del->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(filmstrip_, &FilmstripView::rowActivated, this, &mdiMain::showFrame);
    // A click on the current item brings its window back into view too.
    connect(filmstrip_, &QAbstractItemView::clicked, this, [this](const QModelIndex &i) { showFrame(i.row()); });
    filmstripSync_ = new QTimer(this);
    filmstripSync_->setSingleShot(true);
    filmstripSync_->setInterval(0);
    connect(filmstripSync_, &QTimer::timeout, this, [this] {
        if (QMdiSubWindow *sub = frameSubWindow(filmstripRow_); sub && sub == mdiArea_->activeSubWindow())
            filmstrip_->showRow(filmstripRow_);
    });
}

QList<int> mdiMain::selectedFrames() const
{
    QList<int> frames;
    for (const int row : filmstrip_->selectedRows())
        if (doc_.isFrame(row))
            frames << row;
    if (frames.isEmpty() && activeFrame() >= 0)
        frames << activeFrame();
    return frames;
}

void mdiMain::showFrame(int n)
{
    QMdiSubWindow *sub = frameSubWindow(n);
    if (!sub)
        return;
    if (sub->isMinimized())
        sub->showNormal();
    activateFrameSubWindow(sub);
    ensureVisible(sub);
}

void mdiMain::ensureVisible(QMdiSubWindow *sub)
{
    // Window places are in viewport coordinates: the part scrolled out lies
    // at negative coordinates or beyond the viewport's size. A window larger
    // than the viewport shows its top-left corner.
    const auto shift = [](int low, int high, int size) {
        if (low < 0)
            return low;
        return high > size ? std::min(high - size, low) : 0;
    };
    const QRect place = sub->geometry();
    const QSize view = mdiArea_->viewport()->size();
    const int dx = shift(place.left(), place.right() + 1, view.width());
    const int dy = shift(place.top(), place.bottom() + 1, view.height());
    QScrollBar *h = mdiArea_->horizontalScrollBar();
    QScrollBar *v = mdiArea_->verticalScrollBar();
    // The scroll range follows the windows' places when the area next lays
    // out; it must cover the target now.
    if (h->value() + dx > h->maximum() || h->value() + dx < h->minimum())
        h->setRange(std::min(h->minimum(), h->value() + dx), std::max(h->maximum(), h->value() + dx));
    if (v->value() + dy > v->maximum() || v->value() + dy < v->minimum())
        v->setRange(std::min(v->minimum(), v->value() + dy), std::max(v->maximum(), v->value() + dy));
    h->setValue(h->value() + dx);
    v->setValue(v->value() + dy);
}

void mdiMain::scrollToOrigin()
{
    mdiArea_->horizontalScrollBar()->setValue(mdiArea_->horizontalScrollBar()->minimum());
    mdiArea_->verticalScrollBar()->setValue(mdiArea_->verticalScrollBar()->minimum());
}

bool mdiMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == mdiArea_->viewport() && event->type() == QEvent::Resize)
        syncWindowVisibility();
    if (watched != mdiArea_->viewport() || event->type() != QEvent::Wheel)
        return QMainWindow::eventFilter(watched, event);
    // The area's own scroll bars step a pixel at a time; a wheel turn moves
    // it by lines, and Shift turns the wheel sideways.
    auto *wheel = static_cast<QWheelEvent *>(event);
    const bool sideways = wheel->modifiers() & Qt::ShiftModifier;
    QPoint pixels = wheel->pixelDelta();
    if (pixels.isNull())
        pixels = wheel->angleDelta() * QApplication::wheelScrollLines() * kWheelLinePixels / 120;
    // A tilting wheel or a touchpad moving sideways scrolls sideways too.
    const bool horizontal = sideways || pixels.y() == 0;
    const int delta = sideways && pixels.y() != 0 ? pixels.y() : horizontal ? pixels.x() : pixels.y();
    QScrollBar *bar = horizontal ? mdiArea_->horizontalScrollBar() : mdiArea_->verticalScrollBar();
    bar->setValue(bar->value() - delta);
    return true;
}

void mdiMain::mDeleteSelected_Click()
{
    startCommand(QStringLiteral("mDeleteSelected_Click"));
    const QList<int> frames = selectedFrames();
    if (!frames.isEmpty())
        doc_.deleteFrames(frames);
}

void mdiMain::mSetDelays_Click()
{
    startCommand(QStringLiteral("mSetDelays_Click"));
    const QList<int> frames = selectedFrames();
    if (frames.isEmpty())
        return;
    bool isNumber = false;
    const int current = doc_.grid().TextMatrix(frames.first() + 1, PropertyGrid::ColDelay).trimmed().toInt(&isNumber);
    int hundredths = -1;
    if (askDelay_) {
        hundredths = askDelay_(isNumber ? current : 0);
    } else {
        bool ok = false;
        // The writer keeps a delay in a signed 16-bit field; a larger value
        // would only be refused when the file is saved.
        const int value =
            QInputDialog::getInt(this, QStringLiteral("ﾃﾞｨﾚｲ一括設定"), QStringLiteral("ﾃﾞｨﾚｲ (1/100秒):"),
                                 isNumber ? current : 0, 0, 32767, 1, &ok);
        hundredths = ok ? value : -1;
    }
    if (hundredths >= 0)
        doc_.setDelays(frames, hundredths);
}

void mdiMain::mReverse_Click()
{
    startCommand(QStringLiteral("mReverse_Click"));
    const QList<int> frames = selectedFrames();
    if (frames.size() > 1)
        doc_.reverseFrames(frames);
}

void mdiMain::mDuplicate_Click()
{
    startCommand(QStringLiteral("mDuplicate_Click"));
    const QList<int> frames = selectedFrames();
    if (frames.isEmpty())
        return;
    if (const Result<int> r = doc_.duplicateFrames(frames); !r)
        doc_.setStatusText(r.error());
}

void mdiMain::mYoyo_Click()
{
    startCommand(QStringLiteral("mYoyo_Click"));
    // Back and forth over one frame is nothing: without a selection of
    // several frames the whole animation goes back and forth.
    QList<int> frames = selectedFrames();
    if (frames.size() < 2) {
        frames.clear();
        for (int i = 0; i < doc_.picCount(); ++i)
            frames << i;
    }
    if (frames.isEmpty())
        return;
    if (const Result<int> r = doc_.yoyo(frames); !r)
        doc_.setStatusText(r.error());
}

void mdiMain::createImportActions()
{
    const auto add = [this](const char *name, const QString &text, void (mdiMain::*handler)()) {
        auto *action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QAction *imageIn = add("mImageIn", QStringLiteral("画像を追加..."), &mdiMain::mImageIn_Click);
    QAction *toImage = add("mFrameToImage", QStringLiteral("ﾌﾚｰﾑを画像として保存..."), &mdiMain::mFrameToImage_Click);
    QAction *paste = add("mPaste", QStringLiteral("貼り付け"), &mdiMain::mPaste_Click);
    paste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));

    auto *file = findChild<QMenu *>(QStringLiteral("mFile"));
    const QList<QAction *> fileItems = file->actions();
    file->insertAction(fileItems.value(fileItems.indexOf(command("mGifIn")) + 1), imageIn);
    file->insertAction(recentMenu_->menuAction(), toImage);
    auto *edit = findChild<QMenu *>(QStringLiteral("mEdit"));
    edit->insertAction(command("mMae"), paste);
    edit->insertSeparator(command("mMae"))->setObjectName(QStringLiteral("mSpace23"));

    // After the window bookkeeping, which these slots follow.
    connect(&doc_, &Document::frameAdded, this, &mdiMain::updateImportActions);
    connect(&doc_, &Document::frameInserted, this, &mdiMain::updateImportActions);
    connect(&doc_, &Document::frameRemoved, this, &mdiMain::updateImportActions);
    updateImportActions();
}

void mdiMain::updateImportActions()
{
    command("mFrameToImage")->setEnabled(!windows_.isEmpty());
}

// Imports the pictures gathered so far with the progress of the open; false
// when the user cancelled it, which keeps the frames added and stops the
// rest of the files.
bool mdiMain::importRun(PictureRun &run, QStringList &notes, LongTask &task)
{
    if (run.paths.isEmpty())
        return true;
    if (!run.asked) {
        run.asked = true;
        run.options = importAsker_ ? importAsker_() : ImportOptionsDialog::ask(this);
    }
    const QStringList paths = std::exchange(run.paths, {});
    if (!run.options)
        return true;
    const int before = doc_.picCount();
    const Result<int> added =
        importImageFiles(doc_, paths, *run.options, &notes, [&](int done, int total, const QString &path) {
            task.setLabel(QStringLiteral("画像を読み込んでいます... (%1/%2)\n").arg(done + 1).arg(total) +
                          QFileInfo(path).fileName());
            return task.advance(total > 0 ? int(qint64(done) * kOpenSteps / total) : 0);
        });
    if (!added) {
        notes << added.error();
        showError(added.error());
    }
    if (task.cancelled()) {
        notes << QStringLiteral("画像の追加を中止しました (%1 ﾌﾚｰﾑを追加しました)").arg(doc_.picCount() - before);
        return false;
    }
    return true;
}

void mdiMain::mImageIn_Click()
{
    startCommand(QStringLiteral("mImageIn_Click"));
    const QStringList paths =
        QFileDialog::getOpenFileNames(this, QStringLiteral("画像を追加"), QString(),
                                      imageFileFilter() + QStringLiteral(";;") + QStringLiteral("全てのﾌｧｲﾙ (*)"));
    if (!paths.isEmpty())
        openFiles(paths);
}

void mdiMain::mPaste_Click()
{
    startCommand(QStringLiteral("mPaste_Click"));
    pasteImage();
}

bool mdiMain::pasteImage()
{
    const QImage image = QGuiApplication::clipboard()->image();
    if (image.isNull()) {
        doc_.setStatusText(QStringLiteral("クリップボードに画像がありません"));
        return false;
    }
    const Result<int> added = importImage(doc_, image, ImportOptionsDialog::lastOptions());
    if (!added) {
        showError(added.error());
        return false;
    }
    return true;
}

void mdiMain::mFrameToImage_Click()
{
    startCommand(QStringLiteral("mFrameToImage_Click"));
    const int n = activeFrame();
    if (n < 0)
        return;
    QFileDialog dialog(this, QStringLiteral("ﾌﾚｰﾑを画像として保存"), QString(), QStringLiteral("PNGﾌｧｲﾙ (*.png)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    saveFrameImageTo(n, dialog.selectedFiles().first());
}

bool mdiMain::saveFrameImageTo(int n, const QString &path)
{
    const Result<void> saved = saveFrameImage(doc_, n, path);
    if (!saved) {
        QMessageBox::critical(this, QStringLiteral("保存できません"), saved.error());
        return false;
    }
    statusBar_->showMessage(QStringLiteral("保存しました: ") + QDir::toNativeSeparators(path), kSavedMessageMs);
    return true;
}

} // namespace velmar
