// The GIF reader: appends every image of a file to the Document as a frame,
// fills its grid row and the global fields, and shows the picture as it is
// decoded.
#include "gif/gifformat.h"
#include "gif/gifio.h"
#include "gif/lzw.h"
#include "platform/numeric.h"
#include "shell/document.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <unistd.h>

namespace velmar
{

namespace
{

// The decoder may run up to 256 bytes past the last pixel with the last
// string of an image; the array has room for that.
constexpr size_t kDecodeSlack = 257;

// Zero-filled buffers are committed memory, and the system kills a program
// that commits too much long before an allocation fails; so a small file of
// many large images with almost no data needs a limit of its own. Half the
// physical memory leaves room for everything else.
size_t memoryBudget(const OpenGifOptions &options)
{
    if (options.memoryBudget)
        return options.memoryBudget;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return SIZE_MAX;
    return size_t(pages) / 2 * size_t(pageSize);
}

class Reader
{
  public:
    Reader(Document &doc, const QString &path, const QByteArray &file, const OpenGifOptions &options)
        : doc_(doc), path_(path), data_(reinterpret_cast<const uint8_t *>(file.constData())), len_(size_t(file.size())),
          options_(options), budget_(memoryBudget(options))
    {
        for (int i = 0; i < doc.gPicCount; ++i)
            held_ += doc.pic(i).bits.size();
    }

    GifResult run();

  private:
    bool atEnd() const { return pos_ >= len_; }
    size_t remaining() const { return len_ - std::min(pos_, len_); }
    uint8_t byte() { return data_[pos_++]; }
    uint16_t word()
    {
        const uint16_t v = uint16_t(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }

    void progress();
    void finish() { doc_.setStatusText(QString()); }

    void readHeader();
    QByteArray readSubBlocks(bool keep);
    void GetControlBlock();
    void GetCommentBlock();
    void GetAppBlock();
    // Returns false when reading must stop; message then says why.
    bool readImage(QString *message);
    GifResult done(int countBefore);
    void skipImageData();
    void copyDecoded(size_t from, size_t to);
    void warn(const QString &text) { warnings_ << text + QStringLiteral(": ") + path_; }

    Document &doc_;
    const QString path_;
    const uint8_t *data_;
    const size_t len_;
    const OpenGifOptions options_;
    const size_t budget_;
    size_t held_ = 0; // pixel bytes of the document's frames
    size_t pos_ = 0;
    int lastPercent_ = -1;
    QStringList warnings_;
    int screenWidth_ = 0;
    int screenHeight_ = 0;

    bool hasGlobal_ = false;
    int globalCount_ = 0;
    ColorTable global_{};

    // The image being read.
    int slot_ = -1;
    int width_ = 0;
    int height_ = 0;
    bool gInterlaced = false;
    // The decode array. Only the bytes the decoder produced are ever copied
    // out of it, so it is not zero-filled: the frame's own buffer already
    // holds 0 for every pixel the stream never reaches, and untouched pages
    // of a large array cost nothing.
    std::unique_ptr<uint8_t[]> decoded_;
    size_t decodedSize_ = 0;
    size_t shown_ = 0; // stored pixels already copied into the frame
    QElapsedTimer sinceShow_;
};

void Reader::progress()
{
    // The percentage text changes at most a hundred times a file; building
    // it only then keeps byte-by-byte skipping cheap.
    const int percent = len_ ? int((uint64_t(pos_) + 1) * 100 / len_) : 100;
    if (percent == lastPercent_)
        return;
    lastPercent_ = percent;
    doc_.setStatusText(QStringLiteral("読み込み中 (") + path_ + QLatin1Char(' ') + QString::number(percent) +
                       QStringLiteral("%)"));
}

// Header and logical screen descriptor, 13 bytes:
//   +0 "GIF87a"/"GIF89a"  +6 screen width  +8 screen height (the canvas)
//   +10 packed: global table flag <<7 | resolution <<4 | sort <<3 | size N
//   +11 background index  +12 aspect ratio (not used)
// A global table of 2^(N+1) entries follows only when the flag says so; a
// reader that took it regardless would eat the first blocks of a file
// without one as colours.
void Reader::readHeader()
{
    if (len_ < 13) {
        pos_ = len_;
        return;
    }
    screenWidth_ = data_[6] | (data_[7] << 8);
    screenHeight_ = data_[8] | (data_[9] << 8);
    const uint8_t packed = data_[10];
    pos_ = 13;
    if (!(packed & 0x80))
        return;
    hasGlobal_ = true;
    globalCount_ = colorCountFromField(packed & 7);
    int k = 0;
    for (; k < globalCount_ && remaining() >= 3; ++k) {
        global_[size_t(k)] = {data_[pos_], data_[pos_ + 1], data_[pos_ + 2]};
        pos_ += 3;
    }
    // A table cut short by the end of the file: the block scan ends at once.
    if (k < globalCount_)
        pos_ = len_;
}

// Walks data sub-blocks (a length byte n, n bytes) up to and including the
// zero-length terminator. Every extension is consumed this way: leaving its
// bytes to the block scan would let a 0x21, 0x2C or 0x3B inside a comment or
// an XMP packet start a phantom image or end the file early.
QByteArray Reader::readSubBlocks(bool keep)
{
    QByteArray kept;
    while (!atEnd()) {
        const size_t n = byte();
        if (n == 0)
            break;
        const size_t take = std::min(n, remaining());
        if (keep)
            kept.append(reinterpret_cast<const char *>(data_ + pos_), qsizetype(take));
        pos_ += take;
    }
    return kept;
}

// Graphic control extension, after 0x21 0xF9:
//   +0 block size (4, not checked)  +1 packed: disposal <<2 | user input <<1
//   | transparent  +2 delay (16-bit LE, signed, hundredths)
//   +4 transparent index  +5 terminator (not checked)
// It fills the row of the frame that the next image becomes. A block cut
// short by the end of the file fills the cells it holds.
void Reader::GetControlBlock()
{
    const int row = doc_.gPicCount + 1;
    doc_.ensureGridRows(row + 1);
    PropertyGrid &grid = doc_.grid();
    if (remaining() < 2) {
        pos_ = len_;
        return;
    }
    byte(); // block size
    const uint8_t packed = byte();
    grid.setTextMatrix(row, PropertyGrid::ColDisposal, numberText((packed >> 2) & 7));
    grid.setTextMatrix(row, PropertyGrid::ColTransparent, numberText(packed & 1));
    if (remaining() < 2) {
        pos_ = len_;
        return;
    }
    grid.setTextMatrix(row, PropertyGrid::ColDelay, numberText(int16_t(word())));
    if (atEnd())
        return;
    grid.setTextMatrix(row, PropertyGrid::ColTransIndex, numberText(byte()));
    if (!atEnd())
        byte(); // terminator
}

// Comment extension: all sub-blocks, concatenated. A later comment replaces
// an earlier one.
void Reader::GetCommentBlock()
{
    doc_.setGblComment(decodeComment(readSubBlocks(true)));
}

// Application extension, after 0x21 0xFF: a sub-block with the identifier and
// authentication code (not examined), then data sub-blocks. A first data
// sub-block of 3 bytes is the looping block:
//   +0 sub-block id (1, not examined)  +1 repeat count (16-bit LE, signed)
void Reader::GetAppBlock()
{
    if (atEnd())
        return;
    const size_t n = byte();
    pos_ += std::min(n, remaining());
    if (n == 0 || atEnd())
        return;
    const size_t b = byte();
    if (b == 0)
        return;
    if (b == 3 && remaining() >= 3) {
        byte(); // sub-block id
        doc_.setGblLoop(numberText(int16_t(word())));
        doc_.setGblLoopBlock(true);
    } else {
        pos_ += std::min(b, remaining());
    }
    readSubBlocks(false);
}

void Reader::copyDecoded(size_t from, size_t to)
{
    PicInfo &pic = doc_.pic(slot_);
    const size_t w = size_t(width_);
    to = std::min(to, pic.pixelCount());
    if (from >= to)
        return;
    if (!gInterlaced) {
        std::memcpy(pic.pBits() + from, decoded_.get() + from, to - from);
        return;
    }
    // Stored row k goes to image row interlacedRow(k); a range may begin and
    // end inside a row.
    while (from < to) {
        const size_t k = from / w;
        const size_t rowStart = k * w;
        const size_t end = std::min(to, rowStart + w);
        const size_t dest = size_t(interlacedRow(int(k), height_)) * w + (from - rowStart);
        std::memcpy(pic.pBits() + dest, decoded_.get() + from, end - from);
        from = end;
    }
}

// Image descriptor, after 0x2C:
//   +0 left  +2 top  +4 width  +6 height (16-bit LE, unsigned)
//   +8 packed: local table <<7 | interlace <<6 | sort <<5 | size L
// then the local table (2^(L+1) entries) when its flag is set, then the
// image data for the decoder.
bool Reader::readImage(QString *message)
{
    if (remaining() < 9) {
        pos_ = len_;
        warn(QStringLiteral("GIF ファイルがフレーム %1 の画像記述子の途中で終わっています").arg(doc_.gPicCount));
        return true;
    }
    const uint16_t left = word();
    const uint16_t top = word();
    width_ = word();
    height_ = word();
    const uint8_t packed = byte();
    gInterlaced = (packed & 0x40) != 0;

    int nColors = 0;
    ColorTable colors{};
    bool tableCut = false;
    if (packed & 0x80) {
        nColors = colorCountFromField(packed & 7);
        for (int k = 0; k < nColors; ++k) {
            if (remaining() < 3) {
                pos_ = len_;
                tableCut = true;
                break;
            }
            colors[size_t(k)] = {data_[pos_], data_[pos_ + 1], data_[pos_ + 2]};
            pos_ += 3;
        }
    } else if (hasGlobal_) {
        nColors = globalCount_;
        colors = global_;
    } else {
        nColors = 256;
        colors = defaultColorTable();
    }

    // An image without pixels cannot be a frame; the images after it can.
    // The control block before it was its own, so the next image does not
    // inherit its cells.
    if (width_ == 0 || height_ == 0) {
        skipImageData();
        const int row = doc_.gPicCount + 1;
        if (row < doc_.grid().Rows())
            for (int col = PropertyGrid::ColTransparent; col <= PropertyGrid::ColDisposal; ++col)
                doc_.grid().setTextMatrix(row, col, QString());
        warn(QStringLiteral("幅か高さが 0 の画像（%1×%2）を読み飛ばしました（フレーム %3 の位置）")
                 .arg(width_)
                 .arg(height_)
                 .arg(doc_.gPicCount));
        return true;
    }

    // Bigger images are refused as if their buffer could not be had: the
    // frame buffer and the decode array together take twice the pixels, and
    // zero-filling the gigabytes a damaged header asks for would stall or
    // kill the program instead of reporting the file.
    const size_t pixels = size_t(width_) * size_t(height_);
    if (pixels > options_.maxImagePixels) {
        *message = QStringLiteral("画像が大きすぎるため読み込めません（%1×%2）。").arg(width_).arg(height_);
        return false;
    }
    if (held_ > budget_ || 2 * pixels + kDecodeSlack > budget_ - held_) {
        *message = QStringLiteral("メモリが足りないため、%1×%2 のフレームを作れません。").arg(width_).arg(height_);
        return false;
    }
    slot_ = doc_.beginFrame(width_, height_, nColors, colors);
    if (slot_ < 0) {
        *message = doc_.lastError();
        return false;
    }
    const size_t arraySize = size_t(width_) * size_t(height_) + kDecodeSlack;
    if (arraySize > decodedSize_) {
        decoded_.reset(new (std::nothrow) uint8_t[arraySize]);
        decodedSize_ = decoded_ ? arraySize : 0;
    }
    if (!decoded_) {
        doc_.abandonFrame();
        *message = QStringLiteral("メモリが足りないため、%1×%2 のフレームを作れません。").arg(width_).arg(height_);
        return false;
    }

    const int row = slot_ + 1;
    doc_.ensureGridRows(row + 1);
    PropertyGrid &grid = doc_.grid();
    grid.setTextMatrix(row, PropertyGrid::ColNumber, numberText(slot_));
    grid.setTextMatrix(row, PropertyGrid::ColX, numberText(left));
    grid.setTextMatrix(row, PropertyGrid::ColY, numberText(top));
    grid.setTextMatrix(row, PropertyGrid::ColWidth, numberText(width_));
    grid.setTextMatrix(row, PropertyGrid::ColHeight, numberText(height_));
    grid.setTextMatrix(row, PropertyGrid::ColInterlace, numberText(gInterlaced ? 1 : 0));
    // The canvas is the file's logical screen, enlarged where frame 0 would
    // stick out of it, so the frame keeps its place when the animation is
    // shown or saved.
    if (slot_ == 0) {
        doc_.setGblWidth(numberText(std::max(screenWidth_, int(left) + width_)));
        doc_.setGblHeight(numberText(std::max(screenHeight_, int(top) + height_)));
    }
    if (!tableCut) {
        for (int col = PropertyGrid::ColTransparent; col <= PropertyGrid::ColDisposal; ++col)
            if (grid.TextMatrix(row, col).isEmpty())
                grid.setTextMatrix(row, col, QStringLiteral("0"));
    }

    // Progressive display: at a clear code only the pixels decoded since the
    // last copy are moved into the frame, and the window is repainted at
    // most once per display interval, so a file with many clear codes does
    // not spend its load time redrawing.
    shown_ = 0;
    const auto onClear = [this](size_t produced) {
        copyDecoded(shown_, produced);
        shown_ = std::max(shown_, produced);
        if (!sinceShow_.isValid() || sinceShow_.elapsed() >= options_.displayIntervalMs) {
            doc_.ShowPic(slot_);
            sinceShow_.restart();
        }
    };
    const LzwDecodeResult r = LZWDecode(std::span<const uint8_t>(data_ + pos_, remaining()),
                                        std::span<uint8_t>(decoded_.get(), arraySize), onClear);
    // All that was decoded goes into the frame, also when decoding failed,
    // so a truncated file shows everything it holds.
    copyDecoded(shown_, r.produced);
    doc_.ShowPic(slot_);
    sinceShow_.restart();
    doc_.endFrame();
    held_ += pixels;
    // The frame keeps what was decoded, 0 for the rest, and the block scan
    // goes on after the image's data: a stream without an end code, or cut
    // off at a damaged code, costs that image's remaining pixels, not the
    // rest of the file.
    switch (r.status) {
    case LzwStatus::Ok:
    case LzwStatus::MissingEnd:
        if (r.produced < pixels)
            warn(QStringLiteral("フレーム %1 の画像データが画素の途中で終わっています（残りは色 0）").arg(slot_));
        break;
    case LzwStatus::BadCode:
        warn(QStringLiteral("フレーム %1 の画像データに壊れた符号があります（以降の画素は色 0）").arg(slot_));
        break;
    case LzwStatus::BadCodeSize:
        warn(QStringLiteral("フレーム %1 の LZW 最小符号長 %2 が 8 を超えているため、画像を読めません")
                 .arg(slot_)
                 .arg(data_[pos_]));
        skipImageData();
        return true;
    case LzwStatus::Truncated:
        warn(QStringLiteral("GIF ファイルがフレーム %1 の画像データの途中で終わっています").arg(slot_));
        break;
    }
    pos_ += std::min(r.consumed, remaining());
    return true;
}

// The minimum code size byte and the data sub-blocks up to the terminator.
void Reader::skipImageData()
{
    if (atEnd())
        return;
    byte();
    readSubBlocks(false);
}

// A file whose every image was lost has failed, even though the read went on
// to the end.
GifResult Reader::done(int countBefore)
{
    if (doc_.gPicCount == countBefore && !warnings_.isEmpty())
        return {false, QStringLiteral("GIF ファイルから読めた画像がありません: ") + path_, warnings_};
    return {true, QString(), warnings_};
}

GifResult Reader::run()
{
    doc_.setStatusText(QStringLiteral("読み込み中 (") + path_ + QLatin1Char(')'));
    doc_.setGblLoopBlock(false);
    readHeader();
    const int countBefore = doc_.gPicCount;
    for (;;) {
        if (atEnd()) {
            finish();
            // A file cut off before its first image is a damaged file, not
            // an empty animation: say so rather than doing nothing. A file
            // that lacks only its trailer keeps its images quietly.
            if (doc_.gPicCount == countBefore && warnings_.isEmpty())
                return {false, QStringLiteral("GIF ファイルが画像の前で終わっています: ") + path_, {}};
            return done(countBefore);
        }
        const uint8_t introducer = byte();
        if (introducer == kTrailer) {
            finish();
            return done(countBefore);
        }
        if (introducer == kExtensionIntroducer && !atEnd()) {
            switch (byte()) {
            case kControlLabel:
                GetControlBlock();
                break;
            case kCommentLabel:
                GetCommentBlock();
                break;
            case kApplicationLabel:
                GetAppBlock();
                break;
            default: // plain text and unknown labels: nothing is kept
                readSubBlocks(false);
                break;
            }
        } else if (introducer == kImageIntroducer) {
            QString message;
            if (!readImage(&message)) {
                finish();
                return {false, message, warnings_};
            }
        }
        // Any other byte between blocks is skipped: some writers leave
        // padding there, and a stricter reader would lose the rest of the
        // file.
        progress();
    }
}

} // namespace

bool looksLikeGif(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return f.read(3) == "GIF";
}

GifResult OpenGif(Document &doc, const QString &path, const OpenGifOptions &options)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {false, QStringLiteral("ファイルを開けません: ") + path + QStringLiteral(" (") + f.errorString() + ')'};
    QByteArray bytes;
    try {
        bytes = f.readAll();
    } catch (const std::bad_alloc &) {
        return {false, QStringLiteral("メモリが足りないため、ファイルを読めません: ") + path};
    }
    if (f.error() != QFileDevice::NoError)
        return {false, QStringLiteral("ファイルを読めません: ") + path + QStringLiteral(" (") + f.errorString() + ')'};
    f.close();
    Reader reader(doc, path, bytes, options);
    return reader.run();
}

} // namespace velmar
