// The GIF reader: walks the blocks of a file, decodes every image into the
// array its sink supplies and reports what it finds and what it loses.
#include "gif/gifformat.h"
#include "gif/gifread.h"
#include "gif/lzw.h"
#include "platform/memory.h"

#include <QFile>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace velmar
{

namespace
{

// Frame buffers are committed memory (every pixel of one is written), and the
// system kills a program that commits too much long before an allocation
// fails; so a small file of many large images with almost no data needs a
// limit of its own. Half the physical memory leaves room for everything else.
size_t memoryBudget(const GifReadOptions &options)
{
    if (options.memoryBudget)
        return options.memoryBudget;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return SIZE_MAX;
    return size_t(pages) / 2 * size_t(pageSize);
}

// Every image is charged for an array of its pixels beside the caller's
// (an interlaced image is decoded in file order and then moved into place)
// and the decoder's run past the last pixel, so that the limit does not
// depend on the interlace flag.
constexpr size_t kDecodeSlack = 257;

class Reader
{
  public:
    Reader(std::span<const uint8_t> file, const QString &path, GifReadSink &sink, const GifReadOptions &options)
        : data_(file.data()), len_(file.size()), path_(path), sink_(sink), options_(options),
          budget_(memoryBudget(options)), held_(options.memoryInUse)
    {
    }

    Result<void> run();
    // The bytes are a mapped file whose pages may be given back once read.
    void dropPagesAsRead() { dropPages_ = true; }

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

    void readHeader(GifFile &screen);
    QByteArray readSubBlocks(bool keep);
    void readControl();
    void readApplication();
    Result<void> readImage();
    void skipImageData();
    void copyStored(std::span<uint8_t> image, int width, int height, size_t from, size_t to);
    void warn(GifWarningKind kind, int width = 0, int height = 0, int codeSize = 0)
    {
        ++warnings_;
        sink_.warning(GifWarning{kind, kept_, width, height, codeSize, path_});
    }
    Result<void> done();
    void dropRead();

    const uint8_t *data_;
    const size_t len_;
    const QString path_;
    GifReadSink &sink_;
    const GifReadOptions options_;
    const size_t budget_;
    size_t held_;
    size_t pos_ = 0;
    int kept_ = 0; // images handed to the sink
    bool dropPages_ = false;
    size_t dropped_ = 0; // bytes from the start whose pages were given back
    int warnings_ = 0;

    bool hasGlobal_ = false;
    std::vector<Rgb> global_;
    // The control blocks since the last image, for the next one.
    bool hasControl_ = false;
    GifControl control_;

    // An interlaced image is decoded here in file order and then moved into
    // place. It is not zero-filled: only the part the data never reaches is
    // given index 0 before it is moved.
    std::unique_ptr<uint8_t[]> stored_;
    size_t storedSize_ = 0;
};

// Header and logical screen descriptor, 13 bytes:
//   +0 "GIF87a"/"GIF89a"  +6 screen width  +8 screen height (the canvas)
//   +10 packed: global table flag <<7 | resolution <<4 | sort <<3 | size N
//   +11 background index  +12 aspect ratio
// A global table of 2^(N+1) entries follows only when the flag says so; a
// reader that took it regardless would eat the first blocks of a file
// without one as colours.
void Reader::readHeader(GifFile &screen)
{
    if (len_ < 13) {
        pos_ = len_;
        return;
    }
    screen.screenWidth = data_[6] | (data_[7] << 8);
    screen.screenHeight = data_[8] | (data_[9] << 8);
    const uint8_t packed = data_[10];
    screen.backgroundIndex = data_[11];
    screen.aspect = data_[12];
    pos_ = 13;
    if (!(packed & 0x80))
        return;
    hasGlobal_ = true;
    global_.assign(size_t(colorCountFromField(packed & 7)), Rgb{});
    size_t k = 0;
    for (; k < global_.size() && remaining() >= 3; ++k) {
        global_[k] = {data_[pos_], data_[pos_ + 1], data_[pos_ + 2]};
        pos_ += 3;
    }
    // A table cut short by the end of the file: the block scan ends at once.
    if (k < global_.size())
        pos_ = len_;
    screen.globalTable = global_;
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
//   | transparent  +2 delay (16-bit LE, hundredths)
//   +4 transparent index  +5 terminator (not checked)
// A block cut short by the end of the file gives the fields it holds; a
// later block replaces those of an earlier one.
void Reader::readControl()
{
    int held = 0;
    if (remaining() >= 2) {
        byte(); // block size
        const uint8_t packed = byte();
        control_.disposal = (packed >> 2) & 7;
        control_.userInput = (packed & 2) != 0;
        control_.transparent = (packed & 1) != 0;
        held = 1;
        if (remaining() >= 2) {
            control_.delay = word();
            held = 2;
            if (!atEnd()) {
                control_.transparentIndex = byte();
                held = 3;
                if (!atEnd())
                    byte(); // terminator
            }
        }
    }
    if (held < 2)
        pos_ = len_;
    hasControl_ = hasControl_ || held > 0;
    sink_.control(control_, held);
}

// Application extension, after 0x21 0xFF: a sub-block with the identifier and
// authentication code (not examined), then data sub-blocks. A first data
// sub-block of 3 bytes is the looping block:
//   +0 sub-block id (1, not examined)  +1 repeat count (16-bit LE)
void Reader::readApplication()
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
        sink_.loop(word());
    } else {
        pos_ += std::min(b, remaining());
    }
    readSubBlocks(false);
}

// Moves stored pixels [from, to) of an interlaced image into place: stored
// row k is image row interlacedRow(k); a range may begin and end inside a
// row.
void Reader::copyStored(std::span<uint8_t> image, int width, int height, size_t from, size_t to)
{
    const size_t w = size_t(width);
    to = std::min(to, image.size());
    while (from < to) {
        const size_t k = from / w;
        const size_t rowStart = k * w;
        const size_t end = std::min(to, rowStart + w);
        const size_t dest = size_t(interlacedRow(int(k), height)) * w + (from - rowStart);
        // A sink's array shorter than the image keeps the rows it has.
        if (dest + (end - from) <= image.size())
            std::memcpy(image.data() + dest, stored_.get() + from, end - from);
        from = end;
    }
}

// Image descriptor, after 0x2C:
//   +0 left  +2 top  +4 width  +6 height (16-bit LE, unsigned)
//   +8 packed: local table <<7 | interlace <<6 | sort <<5 | size L
// then the local table (2^(L+1) entries) when its flag is set, then the
// image data for the decoder.
Result<void> Reader::readImage()
{
    if (remaining() < 9) {
        pos_ = len_;
        warn(GifWarningKind::DescriptorCut);
        return {};
    }
    GifImage image;
    image.left = word();
    image.top = word();
    image.width = word();
    image.height = word();
    const uint8_t packed = byte();
    image.interlaced = (packed & 0x40) != 0;

    bool tableComplete = true;
    if (packed & 0x80) {
        image.localTable.assign(size_t(colorCountFromField(packed & 7)), Rgb{});
        for (Rgb &c : image.localTable) {
            if (remaining() < 3) {
                pos_ = len_;
                tableComplete = false;
                break;
            }
            c = {data_[pos_], data_[pos_ + 1], data_[pos_ + 2]};
            pos_ += 3;
        }
    }
    // The control blocks before an image are its own, also when it is
    // skipped: the next image does not inherit them.
    image.hasControl = hasControl_;
    image.control = control_;
    hasControl_ = false;
    control_ = GifControl{};

    // An image without pixels cannot be a frame; the images after it can.
    if (image.width == 0 || image.height == 0) {
        skipImageData();
        warn(GifWarningKind::EmptyImage, image.width, image.height);
        return {};
    }

    // Bigger images are refused as if their buffer could not be had: the
    // caller's array and the decode array together take twice the pixels,
    // and zero-filling the gigabytes a damaged header asks for would stall
    // or kill the program instead of reporting the file.
    const size_t pixels = size_t(image.width) * size_t(image.height);
    if (pixels > options_.maxImagePixels)
        return fail(QStringLiteral("画像が大きすぎるため読み込めません（%1×%2）。").arg(image.width).arg(image.height));
    const QString noMemory =
        QStringLiteral("メモリが足りないため、%1×%2 のフレームを作れません。").arg(image.width).arg(image.height);
    if (held_ > budget_ || 2 * pixels + kDecodeSlack > budget_ - held_)
        return fail(noMemory);
    if (image.interlaced && pixels > storedSize_) {
        stored_.reset(new (std::nothrow) uint8_t[pixels]);
        storedSize_ = stored_ ? pixels : 0;
        if (!stored_)
            return fail(noMemory);
    }

    Result<std::span<uint8_t>> target = sink_.beginImage(image, tableComplete);
    if (!target)
        return fail(target.error());
    const std::span<uint8_t> out = target->first(std::min(target->size(), pixels));
    ++kept_;
    held_ += pixels;

    // A plain image is decoded straight into the caller's array. Its pixels
    // are not zero-filled first: the decoder writes them, and only the part
    // the data has not reached gets index 0, each time the sink shows the
    // picture while it builds up and at the end. Each time, not once: past
    // its last string the decoder leaves the array's unset bytes as they
    // were, which is not index 0.
    size_t shown = 0;    // interlaced: stored pixels already moved into place
    bool rested = false; // the rest has been set at least once
    const auto zeroRest = [&](size_t produced) {
        if (image.interlaced)
            std::memset(stored_.get() + produced, 0, pixels - produced);
        else if (produced < out.size())
            std::memset(out.data() + produced, 0, out.size() - produced);
        rested = true;
    };
    const auto onClear = [&](size_t produced) {
        if (!sink_.wantsPartial())
            return;
        produced = std::min(produced, pixels);
        const bool first = !rested;
        zeroRest(produced);
        if (image.interlaced) {
            copyStored(out, image.width, image.height, shown, first ? pixels : produced);
            shown = produced;
        }
        sink_.partial(produced);
    };
    const std::span<const uint8_t> input(data_ + pos_, remaining());
    const Result<LzwDecoded> r =
        LZWDecode(input, image.interlaced ? std::span<uint8_t>(stored_.get(), pixels) : out, onClear);
    // All that was decoded goes into the image, also when decoding failed,
    // so a truncated file shows everything it holds; the rest is index 0.
    const size_t produced = r ? std::min(r->produced, pixels) : 0;
    zeroRest(produced);
    if (image.interlaced)
        copyStored(out, image.width, image.height, shown, pixels);
    sink_.endImage();
    // The image keeps what was decoded, 0 for the rest, and the block scan
    // goes on after the image's data: a stream without an end code, or cut
    // off at a damaged code, costs that image's remaining pixels, not the
    // rest of the file.
    const int index = kept_ - 1;
    const auto warnImage = [&](GifWarningKind kind, int codeSize = 0) {
        ++warnings_;
        sink_.warning(GifWarning{kind, index, 0, 0, codeSize, path_});
    };
    if (!r) {
        warnImage(GifWarningKind::BadCodeSize, data_[pos_]);
        skipImageData();
        return {};
    }
    switch (r->end) {
    case LzwEnd::EndCode:
    case LzwEnd::MissingEnd:
        if (r->produced < pixels)
            warnImage(GifWarningKind::ShortData);
        break;
    case LzwEnd::BadCode:
        warnImage(GifWarningKind::DamagedCode);
        break;
    case LzwEnd::Truncated:
        warnImage(GifWarningKind::DataCut);
        break;
    }
    pos_ += std::min(r->consumed, remaining());
    return {};
}

// The minimum code size byte and the data sub-blocks up to the terminator.
void Reader::skipImageData()
{
    if (atEnd())
        return;
    byte();
    readSubBlocks(false);
}

// The reader never goes back, so the pages of a mapped file behind it are
// given back to the system as it goes: they would otherwise stay resident
// beside the frames built from them and raise the peak by the file's size.
// The file stays mapped, so a page read again would simply be read again.
void Reader::dropRead()
{
    constexpr size_t kStep = size_t(4) << 20;
    if (!dropPages_ || std::min(pos_, len_) < dropped_ + kStep)
        return;
    static const size_t page = size_t(sysconf(_SC_PAGESIZE));
    if (reinterpret_cast<uintptr_t>(data_) % page != 0)
        return;
    const size_t end = std::min(pos_, len_) / page * page;
    madvise(const_cast<uint8_t *>(data_) + dropped_, end - dropped_, MADV_DONTNEED);
    dropped_ = end;
}

// A file whose every image was lost has failed, even though the read went on
// to the end.
Result<void> Reader::done()
{
    if (kept_ == 0 && warnings_ > 0)
        return fail(QStringLiteral("GIF ファイルから読めた画像がありません: ") + path_);
    return {};
}

Result<void> Reader::run()
{
    GifFile screen;
    readHeader(screen);
    sink_.start(screen);
    for (;;) {
        if (atEnd()) {
            // A file cut off before its first image is a damaged file, not
            // an empty animation: say so rather than doing nothing. A file
            // that lacks only its trailer keeps its images quietly.
            if (kept_ == 0 && warnings_ == 0)
                return fail(QStringLiteral("GIF ファイルが画像の前で終わっています: ") + path_);
            return done();
        }
        const uint8_t introducer = byte();
        if (introducer == kTrailer)
            return done();
        if (introducer == kExtensionIntroducer && !atEnd()) {
            switch (byte()) {
            case kControlLabel:
                readControl();
                break;
            case kCommentLabel:
                sink_.comment(readSubBlocks(true));
                break;
            case kApplicationLabel:
                readApplication();
                break;
            default: // plain text and unknown labels: nothing is kept
                readSubBlocks(false);
                break;
            }
        } else if (introducer == kImageIntroducer) {
            if (Result<void> r = readImage(); !r)
                return r;
        }
        // Any other byte between blocks is skipped: some writers leave
        // padding there, and a stricter reader would lose the rest of the
        // file.
        sink_.progress(pos_, len_);
        dropRead();
    }
}

// Collects the whole file for readGifFile.
class Collector : public GifReadSink
{
  public:
    explicit Collector(std::vector<GifWarning> *warnings) : warnings_(warnings) {}
    GifFile file;

    void start(const GifFile &screen) override { file = screen; }
    void comment(const QByteArray &bytes) override { file.comment = bytes; }
    void loop(int count) override
    {
        file.hasLoop = true;
        file.loopCount = count;
    }
    Result<std::span<uint8_t>> beginImage(const GifImage &image, bool) override
    {
        try {
            file.images.push_back(image);
            file.images.back().indices.assign(size_t(image.width) * size_t(image.height), 0);
        } catch (const std::bad_alloc &) {
            if (!file.images.empty() && file.images.back().indices.empty())
                file.images.pop_back();
            return fail(QStringLiteral("メモリが足りないため、%1×%2 のフレームを作れません。")
                            .arg(image.width)
                            .arg(image.height));
        }
        return std::span<uint8_t>(file.images.back().indices);
    }
    void warning(const GifWarning &w) override
    {
        if (warnings_)
            warnings_->push_back(w);
    }

  private:
    std::vector<GifWarning> *warnings_;
};

} // namespace

Result<void> readGif(std::span<const uint8_t> bytes, GifReadSink &sink, const GifReadOptions &options)
{
    return Reader(bytes, QString(), sink, options).run();
}

namespace
{

// Files up to this size are read into a buffer that is kept for the next
// file. Unmapping a file flushes the address translations of every
// processor the program ran on, and for a small file that took longer than
// decoding it; a copy of a few megabytes costs less.
constexpr qint64 kCopyLimit = qint64(4) << 20;

struct ReadBuffer {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    bool inUse = false;
};

// At least n bytes of the buffer, or nullptr when they cannot be had.
uint8_t *bytesOf(ReadBuffer &b, size_t n)
{
    if (b.size < n) {
        b.bytes.reset(new (std::nothrow) uint8_t[n]);
        b.size = b.bytes ? n : 0;
    }
    return b.bytes.get();
}

} // namespace

// A large file is mapped rather than copied: the reader walks it once, and a
// copy would double the memory a large file takes while it is read. A file
// that cannot be mapped (a pipe, a special file system) is read instead.
Result<void> readGif(const QString &path, GifReadSink &sink, const GifReadOptions &options)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("ファイルを開けません: ") + path + QStringLiteral(" (") + f.errorString() + ')');
    const qint64 size = f.size();
    if (size > 0 && size <= kCopyLimit) {
        ThreadBufferLease<ReadBuffer> lease;
        if (uint8_t *buffer = bytesOf(lease.get(), size_t(size))) {
            if (f.read(reinterpret_cast<char *>(buffer), size) == size)
                return Reader(std::span<const uint8_t>(buffer, size_t(size)), path, sink, options).run();
            f.seek(0);
        }
    } else if (size > 0) {
        if (const uchar *mapped = f.map(0, size)) {
            Reader reader(std::span<const uint8_t>(mapped, size_t(size)), path, sink, options);
            reader.dropPagesAsRead();
            return reader.run();
        }
    }
    QByteArray bytes;
    try {
        bytes = f.readAll();
    } catch (const std::bad_alloc &) {
        return fail(QStringLiteral("メモリが足りないため、ファイルを読めません: ") + path);
    }
    if (f.error() != QFileDevice::NoError)
        return fail(QStringLiteral("ファイルを読めません: ") + path + QStringLiteral(" (") + f.errorString() + ')');
    return Reader(std::span(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())), path, sink,
                  options)
        .run();
}

Result<GifFile> readGifFile(std::span<const uint8_t> bytes, const GifReadOptions &options,
                            std::vector<GifWarning> *warnings)
{
    Collector c(warnings);
    if (Result<void> r = readGif(bytes, c, options); !r)
        return Error{r.error()};
    return std::move(c.file);
}

Result<GifFile> readGifFile(const QString &path, const GifReadOptions &options, std::vector<GifWarning> *warnings)
{
    Collector c(warnings);
    if (Result<void> r = readGif(path, c, options); !r)
        return Error{r.error()};
    return std::move(c.file);
}

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

} // namespace velmar
