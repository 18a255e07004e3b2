#pragma once

#include "platform/rnd.h"
#include "shell/picinfo.h"
#include "shell/propertygrid.h"

#include <QObject>
#include <QString>

#include <vector>

namespace velmar {

// The animation-wide values of the property window, kept as the text the
// user sees. Only the writer and the player convert them.
struct GlobalFields {
    QString width = QStringLiteral("０");
    QString height = QStringLiteral("０");
    QString loop = QStringLiteral("０");
    bool loopBlock = false;
    QString comment;
};

// The whole editable state: the frame table, the property grid and the
// global fields. Views (frame windows, the property window, the player)
// listen to its signals and repaint synchronously, because long work such as
// reading a file or running an effect never returns to the event loop.
//
// A frame's number is at once its slot in gPicInfo, its window caption and,
// plus one, its grid row; every command here keeps the three in step.
class Document : public QObject {
    Q_OBJECT
public:
    // Frame numbers are 16-bit; a frame beyond 32767 is refused.
    static constexpr int kMaxFrames = 32768;

    explicit Document(QObject *parent = nullptr);
    ~Document() override;

    // Frames 0 .. gPicCount - 1; while a frame is being added, slot gPicCount
    // exists too (the staging slot).
    std::vector<PicInfo> gPicInfo;
    int gPicCount = 0;
    int gCurPic = 0;
    bool gPlayOpen = false;

    PicInfo &pic(int i) { return gPicInfo[size_t(i)]; }
    const PicInfo &pic(int i) const { return gPicInfo[size_t(i)]; }
    bool isFrame(int i) const { return i >= 0 && i < gPicCount; }

    PropertyGrid &grid() { return grid_; }
    const PropertyGrid &grid() const { return grid_; }
    // Grows the grid to at least rows rows (never shrinks it).
    void ensureGridRows(int rows);

    const GlobalFields &globals() const { return globals_; }
    void setGblWidth(const QString &text);
    void setGblHeight(const QString &text);
    void setGblLoop(const QString &text);
    void setGblLoopBlock(bool on);
    void setGblComment(const QString &text);

    // --- Adding a frame through the staging slot -------------------------
    // Opens slot gPicCount with a zero-filled width x height buffer and the
    // given colours (entries beyond nColors black) and announces its window
    // (sized like frame windowLike's window, or around the picture when -1).
    // Returns the slot, or -1 with lastError() set when the frame-number
    // limit is reached or the buffer cannot be had; nothing changes then.
    int beginFrame(int width, int height, int nColors, const ColorTable &colors, int windowLike = -1);
    // Makes the staged frame part of the document: gPicCount grows by one.
    void endFrame();
    // Drops the staged frame and its window.
    void abandonFrame();
    bool hasStagedFrame() const { return gPicInfo.size() > size_t(gPicCount); }

    // Redraws frame i (staged or not) in its window.
    void ShowPic(int i);

    // Appends a copy of frame src / a w x h frame filled with fill in src's
    // colours, with its grid row; returns the new frame's number, or -1 when
    // the frame cannot be added (see beginFrame). NewWindow widens and heightens
    // the canvas (global width and height) to hold the new frame, never
    // narrowing it.
    int CopyWindow(int src);
    int NewWindow(int src, int w, int h, int fill);

    // --- Reordering and deleting ------------------------------------------
    void swapWithPrevious(int v);
    void swapWithNext(int v);
    void delPic(int n);
    void closeAll();

    // --- Status line --------------------------------------------------------
    QString statusText() const { return statusText_; }
    void setStatusText(const QString &text);

    QString lastError() const { return lastError_; }

    // The program's one random sequence (effects draw from it).
    Rnd &rnd() { return rnd_; }

signals:
    void frameAdded(int n, int windowLike);
    void frameChanged(int n);
    void framesSwapped(int a, int b);
    void frameRemoved(int n);
    void globalsChanged();
    void statusTextChanged(const QString &text);
    // Deleting a frame closes the animation preview.
    void playerCloseRequested();

private:
    void exchangeRows(int rowA, int rowB);

    PropertyGrid grid_;
    GlobalFields globals_;
    QString statusText_;
    QString lastError_;
    Rnd rnd_;
};

} // namespace velmar
