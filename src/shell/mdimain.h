#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QVector>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QToolBar;
class QStatusBar;

namespace velmar {

class Document;
class frmAuto;
class frmPic;
class frmPlay;
class frmPrpty;
class frmVersion;

// The main window: menus, toolbar, status bar and the frame windows. Every
// user command starts here and is carried out on the Document.
class mdiMain : public QMainWindow {
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

    // Opens the files in order as a drop does: a file that is not a GIF is
    // skipped, the first file that cannot be opened ends the list. What went
    // wrong (files skipped or not found, frames read only in part) is left
    // in the status bar, each naming its file.
    void openFiles(const QStringList &paths);

    // The name of the last command handler that ran (for tests and logs).
    QString lastCommand() const { return lastCommand_; }

    // Handlers, named after the menu items they serve.
    void mGifIn_Click();
    void mGifOut_Click();
    void mGifOutOptimized_Click();
    void mAllDel_Click();
    void mEnd_Click();
    void mMae_Click();
    void mUshiro_Click();
    void mDelete_Click();
    void mAutoCreate_Click();
    void mPropaty_Click();
    void mAnime_Click();
    void mKasane_Click();
    void mSeiretu_Click();
    void mSeiretu2_Click();
    void mVersion_Click();
    void help_Click();
    // Runs the command of a toolbar key, compared with the keys in table
    // order, case-sensitively.
    void Toolbar1_ButtonClick(const QString &key);

    // Saving without the dialog (the dialog's result goes here).
    bool saveTo(const QString &path);
    // The same for the optimised save; the status bar then shows the size
    // of the file against that of the plain save.
    bool saveOptimizedTo(const QString &path);
    // Opening one file without the dialog; false when it cannot be opened.
    bool openPath(const QString &path);

    // Path of the help page beside the program.
    static QString helpFilePath();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void createMenus();
    void createToolbar();
    void createStatusBar();
    QAction *addMenuAction(QMenu *menu, const char *name, const QString &caption, const QKeySequence &shortcut,
                           void (mdiMain::*handler)());

    void onFrameAdded(int n, int windowLike);
    void onFrameChanged(int n);
    void onFramesSwapped(int a, int b);
    void onFrameRemoved(int n);
    void onStatusText(const QString &text);
    void onSubWindowActivated(QMdiSubWindow *window);
    void showError(const QString &message);
    bool openOne(const QString &path, QStringList &notes);
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
};

} // namespace velmar
