#pragma once

#include "document/picinfo.h"
#include "document/propertygrid.h"
#include "platform/result.h"
#include "platform/rnd.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <vector>

namespace velmar
{

// The animation-wide values of the property window, kept as the text the
// user sees. Only the writer and the player convert them.
struct GlobalFields {
    QString width = QStringLiteral("０");
    QString height = QStringLiteral("０");
    QString loop = QStringLiteral("０");
    bool loopBlock = false;
    QString comment;
};

enum class GlobalField { Width, Height, Loop, LoopBlock, Comment };

// One primitive change of the document, kept in the history as the change
// that reverses another. Applying it yields the change that reverses it in
// turn, so undo and redo are the same operation. A removed frame's record
// (and its pixel buffer) is moved into the entry, never copied.
struct DocumentEdit {
    enum Kind { InsertFrame, RemoveFrame, SwapFrames, Cell, Rows, Global };
    Kind kind = Cell;
    int a = 0;                      // frame position, grid row, row count or field
    int b = 0;                      // grid column
    std::unique_ptr<PicInfo> frame; // InsertFrame: the record to put back
    QString text;
    std::vector<QStringList> rows; // grid rows to put back when growing

    size_t bytes() const;
};

// One undoable step: a named list of reversing edits, applied last first.
struct DocumentStep {
    QString name;
    std::vector<DocumentEdit> edits;
    int curBefore = 0;
    int curAfter = 0;
    size_t bytes = 0;
};

// The whole editable state: the frame table, the property grid and the
// global fields. Views (frame windows, the property window, the player)
// listen to its signals and repaint synchronously, because long work such as
// reading a file or running an effect never returns to the event loop.
//
// A frame's number is at once its slot in the table, its window caption and,
// plus one, its grid row; every command here keeps the three in step. Every
// command is one step of the undo history; commands called from within
// another (CopyWindow inside Create) join the outer step.
class Document : public QObject
{
    Q_OBJECT
  public:
    // Frame numbers are 16-bit; a frame beyond 32767 is refused.
    static constexpr int kMaxFrames = 32768;

    explicit Document(QObject *parent = nullptr);
    ~Document() override;

    // Frames 0 .. picCount() - 1; while a frame is being added, slot
    // picCount() exists too (the staging slot).
    int picCount() const { return picCount_; }
    const PicInfo &pic(int i) const { return frames_[size_t(i)]; }
    bool isFrame(int i) const { return i >= 0 && i < picCount_; }
    // Whether slot i holds a frame or the staged frame.
    bool hasSlot(int i) const { return i >= 0 && size_t(i) < frames_.size(); }
    size_t slotCount() const { return frames_.size(); }

    // The active frame, as the frame windows report it.
    int curPic() const { return curPic_; }
    void setCurPic(int n);

    // Whether the animation preview is open (it closes when frames go).
    bool playOpen() const { return playOpen_; }
    void setPlayOpen(bool open) { playOpen_ = open; }

    // The most frames a document may hold; lower only to test the limit.
    int frameLimit() const { return frameLimit_; }
    void setFrameLimit(int limit) { frameLimit_ = limit; }

    // The pixels of a frame that is being made: the staged frame, or a frame
    // added by the step now recording (or, outside any step, by the last
    // one) as long as no frame has moved since. Empty for any other frame:
    // an existing frame's pixels change only through a command.
    std::span<uint8_t> pixelsForWriting(int n);
    // Moves a whole buffer of the frame's size into such a frame.
    bool setPixels(int n, std::vector<uint8_t> &&bits);

    const PropertyGrid &grid() const { return grid_; }
    // The grid as a model for a view; cells change only through setCell.
    PropertyGrid *gridModel() { return &grid_; }
    // Grows the grid to at least rows rows (never shrinks it).
    void ensureGridRows(int rows);
    // Sets one grid cell, as the property window's editor commits it.
    void setCell(int row, int col, const QString &text);

    const GlobalFields &globals() const { return globals_; }
    void setGblWidth(const QString &text) { setGlobal(GlobalField::Width, text); }
    void setGblHeight(const QString &text) { setGlobal(GlobalField::Height, text); }
    void setGblLoop(const QString &text) { setGlobal(GlobalField::Loop, text); }
    void setGblLoopBlock(bool on) { setGlobal(GlobalField::LoopBlock, on ? QStringLiteral("1") : QStringLiteral("0")); }
    void setGblComment(const QString &text) { setGlobal(GlobalField::Comment, text); }
    void setGlobal(GlobalField field, const QString &text);
    // As setGlobal, but typing on in the same field extends the last step
    // instead of making one step per key.
    void typeGlobal(GlobalField field, const QString &text);

    // --- Adding a frame through the staging slot -------------------------
    // Opens slot picCount() with a zero-filled width x height buffer and the
    // given colours (entries beyond nColors black) and announces its window
    // (sized like frame windowLike's window, or around the picture when -1).
    // Returns the slot, or the reason when the frame-number limit is reached,
    // the size is not positive or the buffer cannot be had; nothing changes
    // then.
    Result<int> beginFrame(int width, int height, int nColors, const ColorTable &colors, int windowLike = -1);
    // Makes the staged frame part of the document: picCount() grows by one.
    void endFrame();
    // Drops the staged frame and its window.
    void abandonFrame();
    bool hasStagedFrame() const { return frames_.size() > size_t(picCount_); }

    // Redraws frame i (staged or not) in its window.
    void ShowPic(int i);

    // Appends a copy of frame src / a w x h frame filled with fill in src's
    // colours, with its grid row; returns the new frame's number, or the
    // reason the frame cannot be added (src names no frame, or see
    // beginFrame). NewWindow widens and heightens the canvas (global width
    // and height) to hold the new frame, never narrowing it.
    Result<int> CopyWindow(int src);
    Result<int> NewWindow(int src, int w, int h, int fill);

    // --- Reordering and deleting ------------------------------------------
    void swapWithPrevious(int v);
    void swapWithNext(int v);
    void delPic(int n);
    void closeAll();

    // --- Undo history -------------------------------------------------------
    // Steps nest: only the outermost beginStep/endStep pair makes a step,
    // named by its beginStep. A step that changed nothing is not kept.
    void beginStep(const QString &name);
    void endStep();
    class Step
    {
      public:
        Step(Document &doc, const QString &name) : doc_(doc) { doc_.beginStep(name); }
        ~Step() { doc_.endStep(); }
        Step(const Step &) = delete;
        Step &operator=(const Step &) = delete;

      private:
        Document &doc_;
    };

    // Stops the command being recorded and takes it back: from now until its
    // outermost step ends no frame can be added (beginFrame fails, so an
    // effect stops at its next frame), and when that step ends every edit it
    // made is reversed and dropped. The document, the undo and the redo
    // history are then as before the command. Outside a step it does nothing.
    void cancelStep();
    bool stepCancelled() const { return cancelled_; }

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    QString undoText() const { return undo_.empty() ? QString() : undo_.back().name; }
    QString redoText() const { return redo_.empty() ? QString() : redo_.back().name; }
    // False when there is nothing to undo/redo or a step is being recorded.
    bool undo();
    bool redo();
    int undoCount() const { return int(undo_.size()); }
    int redoCount() const { return int(redo_.size()); }

    // The saved state: undoing or redoing back to it is clean again.
    void setClean();
    bool isClean() const { return cleanPos_ == position(); }

    // Bytes the history holds, and the most it may hold: a quarter of the
    // physical memory unless set. Past it, the oldest steps go first.
    size_t historyBytes() const { return held_; }
    size_t historyBudget() const { return budget_; }
    void setHistoryBudget(size_t bytes);
    void clearHistory();

    // --- Status line --------------------------------------------------------
    QString statusText() const { return statusText_; }
    void setStatusText(const QString &text);

    // The program's one random sequence (effects draw from it).
    Rnd &rnd() { return rnd_; }

  signals:
    // A staged frame's window appears.
    void frameAdded(int n, int windowLike);
    // A frame comes back at position n (undo, redo); later frames move up.
    void frameInserted(int n);
    void frameChanged(int n);
    void framesSwapped(int a, int b);
    void frameRemoved(int n);
    void globalsChanged();
    void statusTextChanged(const QString &text);
    // Deleting a frame closes the animation preview.
    void playerCloseRequested();
    void currentFrameChanged(int n);
    void historyChanged();
    void cleanChanged(bool clean);

  private:
    DocumentEdit apply(DocumentEdit &&edit);
    void record(DocumentEdit &&edit);
    void edit(DocumentEdit &&e) { record(apply(std::move(e))); }
    void cell(int row, int col, const QString &text);
    void rows(int count);
    void exchangeRows(int rowA, int rowB);
    void replay(DocumentStep &step, bool backwards);
    long long position() const { return dropped_ + (long long)undo_.size(); }
    void pushStep(DocumentStep &&step);
    void trim();
    void notifyHistory(bool wasClean);

    std::vector<PicInfo> frames_;
    int picCount_ = 0;
    int curPic_ = 0;
    bool playOpen_ = false;
    int frameLimit_ = kMaxFrames;
    std::vector<int> writable_;

    PropertyGrid grid_;
    GlobalFields globals_;
    QString statusText_;
    Rnd rnd_;

    int depth_ = 0;
    bool cancelled_ = false;
    DocumentStep recording_;
    std::deque<DocumentStep> undo_; // back: the newest
    std::deque<DocumentStep> redo_; // back: the next to redo
    long long dropped_ = 0;         // steps dropped from the oldest end
    long long cleanPos_ = 0;        // -1 once the saved state cannot come back
    int mergeField_ = -1;           // the field typeGlobal may extend
    size_t held_ = 0;
    size_t budget_ = 0;
};

} // namespace velmar
