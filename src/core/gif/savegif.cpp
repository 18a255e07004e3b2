// The GIF writer: the whole document as one GIF89a file, each image at its
// grid position on the document's canvas, with a looping block when the
// document asks for one; built in memory and put in place only when complete.
#include "document/document.h"
#include "gif/gifformat.h"
#include "gif/gifio.h"
#include "gif/lzw.h"
#include "platform/numeric.h"

#include <QSaveFile>

#include <algorithm>
#include <optional>
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
std::optional<QString> checkFrame(const Document &doc, int i, FrameProps *props)
{
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
            return badCell(i, f.col, text);
        f.store(*props, *v);
    }
    const PicInfo &pic = doc.pic(i);
    if (pic.lWidth < 1 || pic.lHeight < 1 || pic.lWidth > kMaxSide || pic.lHeight > kMaxSide ||
        pic.bits.size() < pic.pixelCount())
        return cannotSave(QStringLiteral("フレーム ") + numberText(i) + QStringLiteral(": 大きさ ") +
                          numberText(pic.lWidth) + QStringLiteral("×") + numberText(pic.lHeight) +
                          QStringLiteral(" は GIF に書けません"));
    return std::nullopt;
}

} // namespace

std::optional<QString> gridCellProblem(int col, const QString &text)
{
    if (convertCell(col, text))
        return std::nullopt;
    return PropertyGrid::heading(col) + QStringLiteral(": 「") + text +
           (isNumeric(text) ? QStringLiteral("」は範囲外です") : QStringLiteral("」は数値ではありません"));
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

void put8(std::vector<uint8_t> &out, int v)
{
    out.push_back(uint8_t(v));
}
void put16(std::vector<uint8_t> &out, int v)
{
    out.push_back(uint8_t(v & 0xFF));
    out.push_back(uint8_t((v >> 8) & 0xFF));
}
void putTable(std::vector<uint8_t> &out, const PicInfo &pic, int count)
{
    for (int k = 0; k < count; ++k) {
        const Rgb c = entry(pic, k);
        out.insert(out.end(), {c.r, c.g, c.b});
    }
}

// Application extension with the repeat count, 19 bytes:
//   21 FF 0B "NETSCAPE2.0" 03 01 count(16-bit LE, signed) 00
void PutLoopBlock(std::vector<uint8_t> &out, int16_t loop)
{
    out.insert(out.end(), {0x21, 0xFF, 0x0B});
    for (char c : QByteArrayLiteral("NETSCAPE2.0"))
        put8(out, c);
    out.insert(out.end(), {0x03, 0x01});
    put16(out, loop);
    put8(out, 0);
}

// Graphic control extension, 8 bytes:
//   21 F9 04 packed(disposal <<2 | transparent) delay(16-bit LE) index 00
void PutControlBlock(std::vector<uint8_t> &out, const FrameProps &p)
{
    out.insert(out.end(), {0x21, 0xF9, 0x04});
    put8(out, (p.disposal & 7) * 4 + (p.transparent & 1));
    put16(out, p.delay);
    put8(out, p.transIndex);
    put8(out, 0);
}

// Image descriptor at the frame's grid position with its own size, then a local table
// exactly when the frame's colours are not those of the global table: when
// one of its first Ci entries differs from frame 0's, or when it has more
// entries than the global table holds.
void PutImageBlock(std::vector<uint8_t> &out, const Document &doc, int i, int count, int globalCount,
                   const FrameProps &p)
{
    const PicInfo &pic = doc.pic(i);
    put8(out, kImageIntroducer);
    put16(out, p.left);
    put16(out, p.top);
    put16(out, pic.lWidth);
    put16(out, pic.lHeight);
    const int packed = 64 * (p.interlace & 1);
    bool local = count > globalCount;
    for (int k = 0; k < count && !local; ++k)
        local = entry(pic, k) != entry(doc.pic(0), k);
    if (!local) {
        put8(out, packed);
        return;
    }
    put8(out, packed + 128 + colorSizeField(count));
    putTable(out, pic, count);
}

void PutCommentBlock(std::vector<uint8_t> &out, const QString &comment)
{
    const QByteArray bytes = encodeComment(comment);
    out.insert(out.end(), {0x21, 0xFE});
    // A comment longer than one sub-block goes out as several.
    for (qsizetype at = 0; at < bytes.size(); at += kMaxSubBlock) {
        const qsizetype n = std::min<qsizetype>(kMaxSubBlock, bytes.size() - at);
        put8(out, int(n));
        out.insert(out.end(), bytes.begin() + at, bytes.begin() + at + n);
    }
    put8(out, 0);
}

} // namespace

GifResult SaveGif(Document &doc, const QString &path)
{
    if (doc.picCount() == 0)
        return {false, QStringLiteral("保存するフレームがありません。")};

    const GlobalFields &globals = doc.globals();
    // The repeat count matters only when the looping block is written; a
    // document that plays once is not refused for a field it does not use.
    std::optional<int16_t> loop;
    if (globals.loopBlock) {
        loop = textToInt16(globals.loop);
        if (!loop)
            return {false, cannotSave(QStringLiteral("繰り返し数: 「") + globals.loop +
                                      QStringLiteral("」は数値でないか範囲外です"))};
    }
    std::vector<FrameProps> props(size_t(doc.picCount()));
    for (int i = 0; i < doc.picCount(); ++i)
        if (auto message = checkFrame(doc, i, &props[size_t(i)]))
            return {false, *message};

    // The logical screen is the canvas the user sees in the global fields.
    // Without a usable one it is the smallest canvas that shows every frame
    // whole, so that no frame is cut off by the file's own screen; a frame
    // that reaches past the largest screen the format has (a file read with
    // an image at 65535) only makes the screen that large, since refusing
    // would keep a document just read from being saved at all.
    int screenW = 0;
    int screenH = 0;
    const std::optional<int> gblW = textToSide(globals.width, 1);
    const std::optional<int> gblH = textToSide(globals.height, 1);
    if (gblW && gblH) {
        screenW = *gblW;
        screenH = *gblH;
    } else {
        for (int i = 0; i < doc.picCount(); ++i) {
            screenW = std::max(screenW, props[size_t(i)].left + doc.pic(i).lWidth);
            screenH = std::max(screenH, props[size_t(i)].top + doc.pic(i).lHeight);
        }
        screenW = std::min(screenW, kMaxSide);
        screenH = std::min(screenH, kMaxSide);
    }

    const QString base = QStringLiteral("保存中 (") + path;
    doc.setStatusText(base + QLatin1Char(')'));

    std::vector<uint8_t> out;
    const PicInfo &first = doc.pic(0);
    const int globalCount = writtenColorCount(first, true);
    // Header and logical screen descriptor: "GIF89a", the canvas size,
    // packed 0xF0 | (log2 C - 1), background 0, aspect 0.
    for (char c : QByteArrayLiteral("GIF89a"))
        put8(out, c);
    put16(out, screenW);
    put16(out, screenH);
    put8(out, 0xF0 + colorSizeField(globalCount));
    put8(out, 0);
    put8(out, 0);
    putTable(out, first, globalCount);
    if (loop)
        PutLoopBlock(out, *loop);

    std::vector<uint8_t> stored;
    for (int i = 0; i < doc.picCount(); ++i) {
        const PicInfo &pic = doc.pic(i);
        const FrameProps &p = props[size_t(i)];
        const int count = i == 0 ? globalCount : writtenColorCount(pic, false);
        PutControlBlock(out, p);
        PutImageBlock(out, doc, i, count, globalCount, p);
        const int m = minCodeSizeFor(count);
        put8(out, m);
        const bool gInterlaced = (p.interlace & 1) != 0;
        std::span<const uint8_t> pixels(pic.pBits(), pic.pixelCount());
        if (gInterlaced) {
            const size_t w = size_t(pic.lWidth);
            stored.resize(pic.pixelCount());
            for (int k = 0; k < pic.lHeight; ++k) {
                const uint8_t *src = pic.pBits() + size_t(interlacedRow(k, pic.lHeight)) * w;
                std::copy(src, src + w, stored.begin() + qsizetype(size_t(k) * w));
            }
            pixels = stored;
        }
        LZWEncode(pixels, m, out);
        put8(out, 0);
        doc.setStatusText(base + QLatin1Char(' ') + numberText(i + 1) + QLatin1Char('/') + numberText(doc.picCount()) +
                          QStringLiteral(" - ") + numberText(qint64(out.size()) + 1) + QStringLiteral("byte )"));
    }
    const QString &comment = doc.globals().comment;
    if (!comment.isEmpty() && comment != QStringLiteral(" "))
        PutCommentBlock(out, comment);
    put8(out, kTrailer);

    // The bytes go to a temporary file that replaces the target only when
    // complete. The flush is checked here: QSaveFile's commit alone reports
    // success after a buffered write failed (a full disk, a size limit) and
    // would put the cut-off file in place of the old one.
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    QString error = file.errorString();
    if (written) {
        written = file.write(reinterpret_cast<const char *>(out.data()), qint64(out.size())) == qint64(out.size()) &&
                  file.flush();
        error = file.errorString();
        if (!written)
            file.cancelWriting();
        if (!file.commit() && written) {
            written = false;
            error = file.errorString();
        }
    }
    doc.setStatusText(QString());
    if (!written)
        return {false, cannotSave(path + QStringLiteral(": ") + error)};
    return {};
}

} // namespace velmar
