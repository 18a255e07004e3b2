// The GIF writer: the whole document as one GIF89a file, each image at its
// grid position on the document's canvas, with a looping block when the
// document asks for one; built in memory and put in place only when complete.
// The document becomes a GifFile in one place (gifFileOf), which the plain
// save writes as it is and the optimised save hands to the optimiser first.
#include "document/document.h"
#include "document/gifio.h"
#include "gif/gifformat.h"
#include "gif/gifwrite.h"
#include "gif/optimize.h"
#include "platform/numeric.h"

#include <QSaveFile>

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

namespace velmar
{

namespace
{

// A frame's GIF properties as the writer converts them from its grid row.
struct FrameProps {
    int left = 0;
    int top = 0;
    int32_t interlace = 0;
    uint8_t transparent = 0;
    uint8_t transIndex = 0;
    int16_t delay = 0;
    int32_t disposal = 0;
};

// The largest value the 16-bit size fields of the format can hold.
constexpr int kMaxSide = 65535;

QString cannotSave(const QString &what)
{
    return QStringLiteral("保存できません（") + what + QStringLiteral("）");
}

QString badCell(int frame, int col, const QString &text)
{
    return cannotSave(QStringLiteral("フレーム ") + numberText(frame) + QStringLiteral("、") +
                      PropertyGrid::heading(col) + QStringLiteral(": 「") + text +
                      QStringLiteral("」は数値でないか範囲外です"));
}

// A position or canvas side as the 16-bit fields hold it: the text's number
// to the nearest integer (halves to even, as every cell), from lo to 65535.
std::optional<int> textToSide(const QString &text, int lo)
{
    const std::optional<int32_t> v = textToInt32(text);
    if (!v || *v < lo || *v > kMaxSide)
        return std::nullopt;
    return int(*v);
}

// The writer's conversion of each converted frame column, the one rule for
// both the save and the grid's marking of a cell: nullopt when the text is
// not a number or its field cannot hold it.
std::optional<int32_t> convertCell(int col, const QString &text)
{
    const auto widen = [](auto v) { return v ? std::optional<int32_t>(*v) : std::nullopt; };
    switch (col) {
    case PropertyGrid::ColX:
    case PropertyGrid::ColY:
        return widen(textToSide(text, 0));
    case PropertyGrid::ColInterlace:
    case PropertyGrid::ColDisposal:
        return textToInt32(text);
    case PropertyGrid::ColTransparent:
    case PropertyGrid::ColTransIndex:
        return widen(textToByte(text));
    case PropertyGrid::ColDelay:
        return widen(textToInt16(text));
    default:
        return 0;
    }
}

// Every value the writer converts is checked before anything is written:
// a text that is not a number or does not fit its conversion would
// otherwise go out as some other number, or stop the save half way.
Result<FrameProps> checkFrame(const Document &doc, int i)
{
    FrameProps props;
    const PropertyGrid &grid = doc.grid();
    const int row = i + 1;
    const struct {
        int col;
        void (*store)(FrameProps &, int32_t);
    } fields[] = {
        {PropertyGrid::ColX, [](FrameProps &p, int32_t v) { p.left = v; }},
        {PropertyGrid::ColY, [](FrameProps &p, int32_t v) { p.top = v; }},
        {PropertyGrid::ColInterlace, [](FrameProps &p, int32_t v) { p.interlace = v; }},
        {PropertyGrid::ColTransparent, [](FrameProps &p, int32_t v) { p.transparent = uint8_t(v); }},
        {PropertyGrid::ColTransIndex, [](FrameProps &p, int32_t v) { p.transIndex = uint8_t(v); }},
        {PropertyGrid::ColDelay, [](FrameProps &p, int32_t v) { p.delay = int16_t(v); }},
        {PropertyGrid::ColDisposal, [](FrameProps &p, int32_t v) { p.disposal = v; }},
    };
    for (const auto &f : fields) {
        const QString text = grid.TextMatrix(row, f.col);
        const std::optional<int32_t> v = convertCell(f.col, text);
        if (!v)
            return fail(badCell(i, f.col, text));
        f.store(props, *v);
    }
    const PicInfo &pic = doc.pic(i);
    if (pic.lWidth < 1 || pic.lHeight < 1 || pic.lWidth > kMaxSide || pic.lHeight > kMaxSide ||
        pic.bits.size() < pic.pixelCount())
        return fail(cannotSave(QStringLiteral("フレーム ") + numberText(i) + QStringLiteral(": 大きさ ") +
                               numberText(pic.lWidth) + QStringLiteral("×") + numberText(pic.lHeight) +
                               QStringLiteral(" は GIF に書けません")));
    return props;
}

} // namespace

Result<void> checkGridCell(int col, const QString &text)
{
    if (convertCell(col, text))
        return {};
    return fail(PropertyGrid::heading(col) + QStringLiteral(": 「") + text +
                (isNumeric(text) ? QStringLiteral("」は範囲外です") : QStringLiteral("」は数値ではありません")));
}

namespace
{

// The number of colours a frame is written with. A count of 0 for frame 0 is
// the full 256 of a true-colour screen. A frame whose pixels use an index at
// or beyond its count (a file whose data does so, a fill colour chosen by
// number) gets the smallest power of two above its largest index, since a
// stream with indices outside its table is corrupt; a count that is not a
// power of two is raised to the next one, the only counts the size field can
// say. The added entries are black.
int writtenColorCount(const PicInfo &pic, bool isFirst)
{
    int count = pic.nColors;
    if (count == 0 && isFirst)
        count = 256;
    const size_t n = pic.pixelCount();
    const int largest = n ? *std::max_element(pic.bits.begin(), pic.bits.begin() + qsizetype(n)) : 0;
    if (largest >= count)
        count = largest + 1;
    return powerOfTwoCount(count);
}

Rgb entry(const PicInfo &pic, int k)
{
    return k < pic.nColors ? pic.colors[size_t(k)] : Rgb{};
}

// Entries 0 .. count - 1 of the frame's colours.
std::vector<Rgb> tableOf(const PicInfo &pic, int count)
{
    std::vector<Rgb> table(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k)
        table[size_t(k)] = entry(pic, k);
    return table;
}

// Whether the file's images read the frames' pixels in place or hold
// copies. In place spares copying and first touching as much memory again
// as the animation has pixels, but leaves the file valid only while no
// frame changes: a save that may run the event loop on the way (its
// progress callback) takes copies.
enum class Pixels { Borrowed, Copied };

// The file the document describes, or why it cannot be written. Every
// frame becomes one image at its grid position with a control block; a
// frame carries a local table exactly when its colours are not those of
// the global table (frame 0's): when one of its first entries differs
// from frame 0's, or when it has more entries than the global table holds.
Result<GifFile> gifFileOf(const Document &doc, Pixels pixels)
{
    if (doc.picCount() == 0)
        return fail(QStringLiteral("保存するフレームがありません。"));
    GifFile gif;

    const GlobalFields &globals = doc.globals();
    // The repeat count matters only when the looping block is written; a
    // document that plays once is not refused for a field it does not use.
    std::optional<int16_t> loop;
    if (globals.loopBlock) {
        loop = textToInt16(globals.loop);
        if (!loop)
            return fail(cannotSave(QStringLiteral("繰り返し数: 「") + globals.loop +
                                   QStringLiteral("」は数値でないか範囲外です")));
    }
    std::vector<FrameProps> props(size_t(doc.picCount()));
    for (int i = 0; i < doc.picCount(); ++i) {
        Result<FrameProps> checked = checkFrame(doc, i);
        if (!checked)
            return fail(checked.error());
        props[size_t(i)] = *checked;
    }

    // The logical screen is the canvas the user sees in the global fields.
    // Without a usable one it is the smallest canvas that shows every frame
    // whole, so that no frame is cut off by the file's own screen; a frame
    // that reaches past the largest screen the format has (a file read with
    // an image at 65535) only makes the screen that large, since refusing
    // would keep a document just read from being saved at all.
    const std::optional<int> gblW = textToSide(globals.width, 1);
    const std::optional<int> gblH = textToSide(globals.height, 1);
    if (gblW && gblH) {
        gif.screenWidth = *gblW;
        gif.screenHeight = *gblH;
    } else {
        for (int i = 0; i < doc.picCount(); ++i) {
            gif.screenWidth = std::max(gif.screenWidth, props[size_t(i)].left + doc.pic(i).lWidth);
            gif.screenHeight = std::max(gif.screenHeight, props[size_t(i)].top + doc.pic(i).lHeight);
        }
        gif.screenWidth = std::min(gif.screenWidth, kMaxSide);
        gif.screenHeight = std::min(gif.screenHeight, kMaxSide);
    }
    const int globalCount = writtenColorCount(doc.pic(0), true);
    gif.globalTable = tableOf(doc.pic(0), globalCount);
    gif.hasLoop = loop.has_value();
    gif.loopCount = loop.value_or(0);
    const QString &comment = globals.comment;
    if (!comment.isEmpty() && comment != QStringLiteral(" "))
        gif.comment = encodeComment(comment);

    gif.images.resize(size_t(doc.picCount()));
    for (int i = 0; i < doc.picCount(); ++i) {
        const PicInfo &pic = doc.pic(i);
        const FrameProps &p = props[size_t(i)];
        GifImage &img = gif.images[size_t(i)];
        const int count = i == 0 ? globalCount : writtenColorCount(pic, false);
        img.left = p.left;
        img.top = p.top;
        img.width = pic.lWidth;
        img.height = pic.lHeight;
        img.interlaced = (p.interlace & 1) != 0;
        bool local = count > globalCount;
        for (int k = 0; k < count && !local; ++k)
            local = entry(pic, k) != entry(doc.pic(0), k);
        if (local)
            img.localTable = tableOf(pic, count);
        img.hasControl = true;
        img.control.disposal = p.disposal & 7;
        img.control.transparent = (p.transparent & 1) != 0;
        img.control.transparentIndex = p.transIndex;
        img.control.delay = p.delay;
        if (pixels == Pixels::Borrowed)
            img.borrowed = std::span<const uint8_t>(pic.bits.data(), pic.pixelCount());
        else
            img.indices.assign(pic.bits.begin(), pic.bits.begin() + qsizetype(pic.pixelCount()));
        img.minCodeSize = minCodeSizeFor(count);
    }
    return gif;
}

// The bytes go to a temporary file that replaces the target only when
// complete. The flush is checked here: QSaveFile's commit alone reports
// success after a buffered write failed (a full disk, a size limit) and
// would put the cut-off file in place of the old one.
Result<void> writeWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    QString error = file.errorString();
    if (written) {
        written = file.write(bytes) == bytes.size() && file.flush();
        error = file.errorString();
        if (!written)
            file.cancelWriting();
        if (!file.commit() && written) {
            written = false;
            error = file.errorString();
        }
    }
    if (!written)
        return fail(cannotSave(path + QStringLiteral(": ") + error));
    return {};
}

} // namespace

QString saveCancelledText()
{
    return QStringLiteral("保存を中止しました");
}

Result<void> SaveGif(Document &doc, const QString &path, const SaveGifProgress &progress)
{
    const Result<GifFile> file = gifFileOf(doc, progress ? Pixels::Copied : Pixels::Borrowed);
    if (!file)
        return fail(file.error());
    const GifFile &gif = *file;
    const QString base = QStringLiteral("保存中 (") + path;
    doc.setStatusText(base + QLatin1Char(')'));
    const int frames = int(gif.images.size());
    bool stopped = false;
    const Result<QByteArray> bytes = encodeGifFile(gif, [&](int image, qsizetype written) {
        // The count includes the trailer still to come.
        doc.setStatusText(base + QLatin1Char(' ') + numberText(image + 1) + QLatin1Char('/') + numberText(frames) +
                          QStringLiteral(" - ") + numberText(qint64(written) + 1) + QStringLiteral("byte )"));
        stopped = progress && !progress(image + 1, frames);
        return !stopped;
    });
    // A stopped encoding writes nothing: the old file is not touched.
    Result<void> result = stopped ? fail(saveCancelledText())
                          : bytes ? writeWhole(path, *bytes)
                                  : fail(cannotSave(bytes.error()));
    doc.setStatusText(QString());
    return result;
}

Result<void> SaveGifOptimized(Document &doc, const QString &path, SavedSizes *sizes)
{
    // Nothing here returns to the event loop before the file is written.
    const Result<GifFile> plain = gifFileOf(doc, Pixels::Borrowed);
    if (!plain)
        return fail(plain.error());
    doc.setStatusText(QStringLiteral("最適化中 (") + path + QLatin1Char(')'));
    const Result<QByteArray> bytes = encodeGifFile(optimizeGif(*plain));
    if (bytes && sizes) {
        const Result<QByteArray> plainBytes = encodeGifFile(*plain);
        sizes->plain = plainBytes ? plainBytes->size() : 0;
        sizes->saved = bytes->size();
    }
    Result<void> result = bytes ? writeWhole(path, *bytes) : fail(cannotSave(bytes.error()));
    doc.setStatusText(QString());
    return result;
}

} // namespace velmar
