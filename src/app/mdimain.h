#pragma once

#include "imageimport.h"

#include <QMainWindow>
#include <QPointer>
#include <QVector>

#include <functional>
#include <optional>

class QAction;
class QActionGroup;
class QDockWidget;
class QUrl;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;
class QStatusBar;
class QTimer;

namespace velmar
{

class Document;
class frmAuto;
class frmPic;
class frmPlay;
class frmPrpty;
class frmVersion;
class FilmstripModel;
class FilmstripView;
class HelpWindow;
class LongTask;

// The main window: menus, toolbar, status bar and the frame windows. Every
// user command starts here and is carried out on the Document.
class mdiMain : public QMainWindow
{
    Q_OBJECT
  public:
    explicit mdiMain(Document &doc, QWidget *parent = nullptr);
    ~mdiMain() override;

    Document &document() { return doc_; }
    QMdiArea *mdiArea() const { return mdiArea_; }

    // The frame window of slot i, or nullptr.
    frmPic *frameWindow(int i) const;
    QMdiSubWindow *frameSubWindow(int i) const;
    // The number of the active frame window, or -1 when there is none.
    int activeFrame() const;

    // The property window, created on first use.
    frmPrpty *propertyWindow();
    // The animation preview while it is open, or nullptr.
    frmPlay *playerWindow() const;
    // The auto-create dialog while it is open, or nullptr.
    frmAuto *autoCreateWindow() const;

    // Opens the files in order as a drop does, as one undo step: a file that
    // is not a GIF is skipped, the first file that cannot be opened ends the
    // list (false then). What went wrong (files skipped or not found, frames
    // read only in part) is left in the status bar, each naming its file.
    bool openFiles(const QStringList &paths);

    // --- Pictures of other formats ---------------------------------------
    // Pictures that openFiles meets are added as frames, in runs between
    // the GIF files, each run with one set of import options asked once per
    // call (the dialog, or what the asker set below answers).
    void mImageIn_Click();
    void mPaste_Click();
    void mFrameToImage_Click();
    // The clipboard's picture as a frame, with the last import options;
    // false when the clipboard holds none or it cannot be added.
    bool pasteImage();
    // Frame n as a PNG file with its transparency; false with a message.
    bool saveFrameImageTo(int n, const QString &path);
    // Answers in place of the import options dialog (tests); nullopt is a
    // cancel. Pasting asks nothing: it takes the last accepted options.
    void setImportOptionsAsker(std::function<std::optional<ImportOptions>()> asker) { importAsker_ = std::move(asker); }

    // The file last opened or saved, which the title names and a save
    // before closing writes; empty before the first.
    QString currentFile() const { return currentFile_; }

    // The name of the last command handler that ran (for tests and logs).
    QString lastCommand() const { return lastCommand_; }

    // Handlers, named after the menu items they serve.
    void mGifIn_Click();
    void mSave_Click();
    void mGifOut_Click();
    void mGifOutOptimized_Click();
    void mAllDel_Click();
    void mUndo_Click();
    void mRedo_Click();
    void mEnd_Click();
    void mMae_Click();
    void mUshiro_Click();
    void mDelete_Click();
    // The commands on the frames selected in the filmstrip (the active
    // frame when none is selected), each one undo step.
    void mDeleteSelected_Click();
    void mSetDelays_Click();
    void mReverse_Click();
    void mDuplicate_Click();
    void mYoyo_Click();
    void mAutoCreate_Click();
    void mPropaty_Click();
    void mAnime_Click();
    void mKasane_Click();
    void mSeiretu_Click();
    void mSeiretu2_Click();
    void mVersion_Click();
    void help_Click();
    // The toolbar button of a key (compared case-sensitively), or nullptr.
    // A button is the action of its menu item, so both stay in step.
    QAction *toolbarAction(const QString &key) const;
    // Clicks the button of a key; a disabled button does nothing.
    void Toolbar1_ButtonClick(const QString &key);

    // Saving without the dialog (the dialog's result goes here); a save
    // that succeeds is the document's clean state and its current file.
    bool saveTo(const QString &path);
    // The Save As dialog, then saveTo; false when cancelled or failed.
    bool saveAs();
    // The same for the optimised save; the status bar then shows the size
    // of the file against that of the plain save.
    bool saveOptimizedTo(const QString &path);
    // To the current file, or Save As when there is none.
    bool save();
    // Files last opened or saved, most recent first (kept in QSettings).
    static QStringList recentFiles();
    // Opening one file without the dialog; false when it cannot be opened.
    bool openPath(const QString &path);

    // Path of the help page beside the program.
    static QString helpFilePath();
    // Another help page than the one beside the program (empty: that one).
    void setHelpFilePath(const QString &path) { helpPath_ = path; }
    // Hands a page to the desktop's viewer; false when there is none. F1
    // then shows the page in the program's own help window.
    void setUrlOpener(std::function<bool(const QUrl &)> opener) { openUrl_ = std::move(opener); }
    HelpWindow *helpWindow() const;

    // The row of thumbnails docked under the frame windows.
    QDockWidget *filmstripDock() const { return filmstripDock_; }
    FilmstripView *filmstrip() const { return filmstrip_; }
    // The frames the selection commands act on, in frame order: the
    // filmstrip's selection, or the active frame alone when nothing is
    // selected there; empty when there is no frame.
    QList<int> selectedFrames() const;
    // Activates frame n's window and scrolls the frame area until the
    // window is in view.
    void showFrame(int n);
    // Asks for the delay of the bulk delay command: the value in hundredths,
    // or -1 when cancelled; current is the value offered. The input dialog
    // unless set (tests answer without it).
    void setDelayAsker(std::function<int(int current)> ask) { askDelay_ = std::move(ask); }
    // The narrowest a frame window may be: its caption in the title font,
    // the title bar's buttons and icon, and never less than the old floor.
    int minimumFrameWindowWidth(const QMdiSubWindow *sub) const;

    // The zoom of the frame windows and the player: 1 to 4.
    int zoom() const { return zoom_; }
    void setZoom(int zoom);

    // Brings back the window places and the zoom of the last run, and from
    // then on remembers them (the program does; tests leave the user's
    // settings alone by not calling it).
    void restoreWindowSettings();
    void saveWindowSettings();

  protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

  private:
    struct PictureRun;
    void createImportActions();
    void updateImportActions();
    bool importRun(PictureRun &run, QStringList &notes, LongTask &task);

    void createActions();
    void createMenus();
    void createToolbar();
    void createStatusBar();
    void createZoomMenu();
    void createFilmstrip();
    // Wheel over the frame area scrolls it; with Shift, sideways.
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Scrolls the frame area the least that brings sub into view.
    void ensureVisible(QMdiSubWindow *sub);
    // Puts the frame area back at its top-left corner, where arranging
    // starts.
    void scrollToOrigin();
    // Renumbers the windows of frames first .. last and keeps each wide
    // enough for its new caption.
    void renumberWindows(int first, int last);
    // Puts a top-level window to the right of this one when it fits on the
    // screen there, otherwise inside this one's right edge; below `above`
    // when that window is already there, so that the two do not cover each
    // other.
    void placeBeside(QWidget *window, const QWidget *above) const;
    void placePlayer();
    void placePropertyWindow();
    QAction *command(const char *name) const;
    // Enables the commands for what the document holds now.
    void updateActions();
    void updateHistoryActions();
    void setCurrentFile(const QString &path);
    // Asks whether to save the unsaved changes; false when the window is to
    // stay open (cancelled, or the save did not happen).
    bool askToSave();
    void addRecentFile(const QString &path);
    void updateRecentMenu();
    // A recent file that is gone leaves the list, with a note naming it.
    void openRecent(const QString &path);

    void onFrameAdded(int n, int windowLike);
    // Shows the windows that lie in view and hides the others, once there
    // are more windows than kAllShownWindows; the active one stays shown.
    void syncWindowVisibility();
    void refreshScrollRange();
    void activatePending();
    // Shows a hidden window before activating it: the area does not
    // activate hidden windows.
    void activateFrameSubWindow(QMdiSubWindow *sub);
    void onFrameChanged(int n);
    void onFramesSwapped(int a, int b);
    void onFrameRemoved(int n);
    void onFrameInserted(int n);
    void onFramesReordered(const QList<int> &order);
    // Where the window of new frame n goes (area coordinates): after the
    // window of the frame before, or at the start of the next row.
    QPoint placeForNewWindow(int n, const QSize &size);
    void onStatusText(const QString &text);
    void onSubWindowActivated(QMdiSubWindow *window);
    void showError(const QString &message);
    // Which of the files opened together a file is.
    struct OpenPlace {
        int index = 0;
        int count = 1;
    };
    bool openOne(const QString &path, QStringList &notes, int &opened, LongTask &task, OpenPlace place);
    static QString openingText(const QString &path, OpenPlace place, int frames);
    void showNotes(const QStringList &notes);
    // Records the handler's name and clears a message left by the last one.
    void startCommand(const QString &name);

    Document &doc_;
    QMdiArea *mdiArea_ = nullptr;
    QToolBar *toolbar_ = nullptr;
    QStatusBar *statusBar_ = nullptr;
    QLabel *statusPanel_ = nullptr;
    QVector<QMdiSubWindow *> windows_; // slot order, kept in step by the signals
    QPointer<frmPrpty> prpty_;
    QPointer<frmVersion> version_; // the about box while it is loaded
    QPointer<frmPlay> play_;
    QPointer<frmAuto> auto_;
    QString lastCommand_;
    std::function<bool(const QUrl &)> openUrl_;
    QPointer<HelpWindow> help_;
    QString helpPath_;
    QActionGroup *zoomGroup_ = nullptr;
    int zoom_ = 1;
    bool rememberWindows_ = false;
    bool propertyPlaced_ = false;
    QString currentFile_;
    QMenu *recentMenu_ = nullptr;
    QDockWidget *filmstripDock_ = nullptr;
    FilmstripModel *filmstripModel_ = nullptr;
    FilmstripView *filmstrip_ = nullptr;
    std::function<int(int)> askDelay_;
    QTimer *filmstripSync_ = nullptr; // shows the active frame's item
    int filmstripRow_ = -1;
    int rowBottom_ = 0; // the lowest edge of the row new windows go in
    // With many frames, only the windows in view (and the active one) are
    // shown: see syncWindowVisibility. extent_ stands for the hidden ones in
    // the area's scroll range.
    QWidget *extent_ = nullptr;
    QWidget *removedWindows_ = nullptr; // windows of removed frames until deleted
    QPointer<QMdiSubWindow> keyWindow_; // the window whose system menu has its keys
    bool showingQuietly_ = false;
    QPointer<QMdiSubWindow> pendingActive_;
    QTimer *activateLater_ = nullptr;
    QTimer *syncLater_ = nullptr;
    QTimer *rangeLater_ = nullptr;
    std::function<std::optional<ImportOptions>()> importAsker_;
};

} // namespace velmar
