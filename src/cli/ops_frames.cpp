// velmar-cli operations of the frame commands: order, deletion, adding frames
// and editing the property grid and the global fields.
#include "cli/commands.h"

#include "document/document.h"
#include "document/propertygrid.h"
#include "platform/numeric.h"

#include <cmath>
#include <optional>

namespace velmar::cli
{
namespace
{

// A frame's width or height as the GIF format can store it.
constexpr int kMaxSide = 65535;

// A whole number from lo to hi, or nullopt after a message naming the
// operation and the argument. Numbers are read by the program's one parser,
// so "３" and " 3 " are 3 as in the dialogs; "2.5" is not a whole number.
std::optional<int> wholeNumber(Context &ctx, const QString &op, const QString &what, const QString &text, int lo,
                               int hi)
{
    const std::optional<double> value = parseNumber(text);
    if (!value || *value != std::floor(*value) || *value < lo || *value > hi) {
        ctx.err << "velmar-cli: " << op << ": " << what << " must be a whole number from " << lo << " to " << hi
                << ", not \"" << text << "\"\n";
        return std::nullopt;
    }
    return int(*value);
}

// The number of an existing frame.
std::optional<int> frameNumber(Context &ctx, const QString &op, const QString &text)
{
    if (ctx.doc.picCount() == 0) {
        ctx.err << "velmar-cli: " << op << ": there are no frames\n";
        return std::nullopt;
    }
    return wholeNumber(ctx, op, QStringLiteral("the frame number"), text, 0, ctx.doc.picCount() - 1);
}

bool swapPrev(Context &ctx, const QStringList &args)
{
    const std::optional<int> v = frameNumber(ctx, QStringLiteral("swap-prev"), args[0]);
    if (!v)
        return false;
    // Frame 0 has no previous frame: nothing happens, as in the program.
    ctx.doc.swapWithPrevious(*v);
    return true;
}

bool swapNext(Context &ctx, const QStringList &args)
{
    const std::optional<int> v = frameNumber(ctx, QStringLiteral("swap-next"), args[0]);
    if (!v)
        return false;
    ctx.doc.swapWithNext(*v);
    return true;
}

bool deleteFrame(Context &ctx, const QStringList &args)
{
    const std::optional<int> n = frameNumber(ctx, QStringLiteral("delete"), args[0]);
    if (!n)
        return false;
    ctx.doc.delPic(*n);
    return true;
}

// The frames FROM .. FROM + COUNT - 1 of the range operations; COUNT must
// leave the range inside the frames.
std::optional<QList<int>> frameRange(Context &ctx, const QString &op, const QStringList &args)
{
    const std::optional<int> from = frameNumber(ctx, op, args[0]);
    if (!from)
        return std::nullopt;
    const std::optional<int> count =
        wholeNumber(ctx, op, QStringLiteral("the count"), args[1], 1, ctx.doc.picCount() - *from);
    if (!count)
        return std::nullopt;
    QList<int> frames;
    for (int i = 0; i < *count; ++i)
        frames.push_back(*from + i);
    return frames;
}

bool moveRange(Context &ctx, const QStringList &args)
{
    const QString op = QStringLiteral("move");
    const std::optional<QList<int>> frames = frameRange(ctx, op, args);
    if (!frames)
        return false;
    const std::optional<int> to =
        wholeNumber(ctx, op, QStringLiteral("the target"), args[2], 0, ctx.doc.picCount() - int(frames->size()));
    if (!to)
        return false;
    ctx.doc.moveFrames(*frames, *to);
    return true;
}

bool deleteRange(Context &ctx, const QStringList &args)
{
    const std::optional<QList<int>> frames = frameRange(ctx, QStringLiteral("delete-range"), args);
    if (!frames)
        return false;
    ctx.doc.deleteFrames(*frames);
    return true;
}

bool setDelay(Context &ctx, const QStringList &args)
{
    const QString op = QStringLiteral("set-delay");
    const std::optional<QList<int>> frames = frameRange(ctx, op, args);
    if (!frames)
        return false;
    // The most the saved file's 16-bit delay field takes as a positive value.
    const std::optional<int> delay = wholeNumber(ctx, op, QStringLiteral("the delay"), args[2], 0, 32767);
    if (!delay)
        return false;
    ctx.doc.setDelays(*frames, *delay);
    return true;
}

bool reverseRange(Context &ctx, const QStringList &args)
{
    const std::optional<QList<int>> frames = frameRange(ctx, QStringLiteral("reverse"), args);
    if (!frames)
        return false;
    ctx.doc.reverseFrames(*frames);
    return true;
}

bool duplicateRange(Context &ctx, const QStringList &args)
{
    const std::optional<QList<int>> frames = frameRange(ctx, QStringLiteral("duplicate"), args);
    if (!frames)
        return false;
    if (const Result<int> added = ctx.doc.duplicateFrames(*frames); !added) {
        ctx.err << "velmar-cli: duplicate: " << added.error() << "\n";
        return false;
    }
    return true;
}

bool yoyoAll(Context &ctx, const QStringList &)
{
    QList<int> frames;
    for (int i = 0; i < ctx.doc.picCount(); ++i)
        frames.push_back(i);
    if (const Result<int> added = ctx.doc.yoyo(frames); !added) {
        ctx.err << "velmar-cli: yoyo: " << added.error() << "\n";
        return false;
    }
    return true;
}

bool closeAll(Context &ctx, const QStringList &)
{
    ctx.doc.closeAll();
    return true;
}

bool copyFrame(Context &ctx, const QStringList &args)
{
    const std::optional<int> src = frameNumber(ctx, QStringLiteral("copy"), args[0]);
    if (!src)
        return false;
    if (const Result<int> added = ctx.doc.CopyWindow(*src); !added) {
        ctx.err << "velmar-cli: copy: " << added.error() << "\n";
        return false;
    }
    return true;
}

bool newFrame(Context &ctx, const QStringList &args)
{
    const QString op = QStringLiteral("new");
    const std::optional<int> src = frameNumber(ctx, op, args[0]);
    if (!src)
        return false;
    const std::optional<int> w = wholeNumber(ctx, op, QStringLiteral("the width"), args[1], 1, kMaxSide);
    if (!w)
        return false;
    const std::optional<int> h = wholeNumber(ctx, op, QStringLiteral("the height"), args[2], 1, kMaxSide);
    if (!h)
        return false;
    const std::optional<int> fill = wholeNumber(ctx, op, QStringLiteral("the fill colour"), args[3], 0, 255);
    if (!fill)
        return false;
    if (const Result<int> added = ctx.doc.NewWindow(*src, *w, *h, *fill); !added) {
        ctx.err << "velmar-cli: new: " << added.error() << "\n";
        return false;
    }
    return true;
}

bool setCell(Context &ctx, const QStringList &args)
{
    const QString op = QStringLiteral("set");
    // Row 0 (headings) and column 0 (frame numbers) are fixed. Every other
    // row of the grid can be set, also the empty row a new document has
    // before any frame: a file opened afterwards keeps what its blocks do
    // not set. Only after the last frame was deleted is there no row.
    const int lastRow = ctx.doc.grid().Rows() - 1;
    if (lastRow < 1) {
        ctx.err << "velmar-cli: set: there are no frames and no empty grid row to set\n";
        return false;
    }
    const std::optional<int> row = wholeNumber(ctx, op, QStringLiteral("the row"), args[0], 1, lastRow);
    if (!row)
        return false;
    const std::optional<int> col =
        wholeNumber(ctx, op, QStringLiteral("the column"), args[1], 1, PropertyGrid::kCols - 1);
    if (!col)
        return false;
    // Stored as typed, like the property window's editor; the writer and the
    // player check what they convert.
    ctx.doc.setCell(*row, *col, args[2]);
    return true;
}

bool setGlobal(Context &ctx, const QStringList &args)
{
    const QString &name = args[0];
    const QString &text = args[1];
    if (name == QLatin1String("width"))
        ctx.doc.setGblWidth(text);
    else if (name == QLatin1String("height"))
        ctx.doc.setGblHeight(text);
    else if (name == QLatin1String("loop"))
        ctx.doc.setGblLoop(text);
    else if (name == QLatin1String("comment"))
        ctx.doc.setGblComment(text);
    else if (name == QLatin1String("loop-block")) {
        // The check box: whether the saved file has a looping block.
        if (text != QLatin1String("0") && text != QLatin1String("1")) {
            ctx.err << "velmar-cli: set-global: loop-block must be 0 or 1, not \"" << text << "\"\n";
            return false;
        }
        ctx.doc.setGblLoopBlock(text == QLatin1String("1"));
    } else {
        ctx.err << "velmar-cli: set-global: NAME must be width, height, loop, loop-block or comment, not \"" << name
                << "\"\n";
        return false;
    }
    return true;
}

bool undo(Context &ctx, const QStringList &)
{
    if (!ctx.doc.undo()) {
        ctx.err << "velmar-cli: undo: there is nothing to undo\n";
        return false;
    }
    return true;
}

bool redo(Context &ctx, const QStringList &)
{
    if (!ctx.doc.redo()) {
        ctx.err << "velmar-cli: redo: there is nothing to redo\n";
        return false;
    }
    return true;
}

const Registrar registrar{
    {QStringLiteral("swap-prev"), 1, QStringLiteral("swap-prev N   swap frame N with the frame before it"), swapPrev},
    {QStringLiteral("swap-next"), 1, QStringLiteral("swap-next N   swap frame N with the frame after it"), swapNext},
    {QStringLiteral("delete"), 1, QStringLiteral("delete N      delete frame N; later frames move up"), deleteFrame},
    {QStringLiteral("move"), 3,
     QStringLiteral("move FROM COUNT TO   move frames FROM .. FROM+COUNT-1 so that the first becomes frame TO"),
     moveRange},
    {QStringLiteral("delete-range"), 2,
     QStringLiteral("delete-range FROM COUNT   delete COUNT frames from frame FROM on"), deleteRange},
    {QStringLiteral("set-delay"), 3,
     QStringLiteral("set-delay FROM COUNT VALUE   set the delay of COUNT frames from FROM on (hundredths of a second)"),
     setDelay},
    {QStringLiteral("reverse"), 2,
     QStringLiteral("reverse FROM COUNT   reverse the order of COUNT frames from frame FROM on"), reverseRange},
    {QStringLiteral("duplicate"), 2,
     QStringLiteral("duplicate FROM COUNT   insert copies of COUNT frames from FROM on right after them"),
     duplicateRange},
    {QStringLiteral("yoyo"), 0,
     QStringLiteral("yoyo          add the frames between the last and the first backwards, to play forth and back"),
     yoyoAll},
    {QStringLiteral("close-all"), 0, QStringLiteral("close-all     delete every frame"), closeAll},
    {QStringLiteral("copy"), 1, QStringLiteral("copy SRC      append a copy of frame SRC"), copyFrame},
    {QStringLiteral("new"), 4,
     QStringLiteral("new SRC W H FILL   append a W x H frame in the colours of frame SRC, every pixel FILL"), newFrame},
    {QStringLiteral("set"), 3,
     QStringLiteral("set ROW COL TEXT   set a property grid cell (ROW = frame + 1, COL 1 to 10)"), setCell},
    {QStringLiteral("set-global"), 2,
     QStringLiteral("set-global NAME TEXT   set the global field width, height, loop or comment, or loop-block "
                    "(0 or 1: whether save writes the looping block)"),
     setGlobal},
    {QStringLiteral("undo"), 0,
     QStringLiteral("undo          take back the last step (an operation above, open or create)"), undo},
    {QStringLiteral("redo"), 0, QStringLiteral("redo          make the last undone step again"), redo},
};

} // namespace
} // namespace velmar::cli
