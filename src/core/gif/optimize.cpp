// The optimiser works on what a viewer shows, not on the plain file's
// indices: every screen is a picture of colours with coverage, and the
// optimised file only has to make a viewer draw the same pictures.
//
// Frame by frame it keeps the canvas the viewer will have before the next
// image (after the previous image's disposal). The next image covers the
// rectangle where that canvas and the wanted screen differ; inside it a
// pixel that already shows the right colour is free: it may be drawn in its
// colour or left transparent. The image is made in a few ways (free pixels
// all in colour, all transparent, as the plain file's image had them, or
// each chosen while the code stream is built so that it extends the strings
// the LZW table already holds, see choose) and the shortest is kept.
#include "gif/optimize.h"

#include "gif/gifformat.h"
#include "gif/lzw.h"
#include "platform/memory.h"
#include "platform/parallel.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <unordered_map>

#include <sys/mman.h>

namespace velmar
{

namespace
{

// A screen pixel: 0 is fully transparent, anything else 0xFF000000 | RGB.
using Pixel = uint32_t;
constexpr Pixel kTransparent = 0;

Pixel opaque(Rgb c)
{
    return 0xFF000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | uint32_t(c.b);
}

Rgb rgbOf(Pixel p)
{
    return {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
}

// Memory for the images' pixels, handed out one piece after another from
// large blocks that the kernel may back with huge pages, and given back
// all at once with the slab. The images of an animation take a byte per
// pixel of fresh memory together; faulted in 4 KB pages (each allocation of
// its own), that cost more processor time than choosing the images.
class PixelSlab
{
  public:
    PixelSlab() = default;
    PixelSlab(const PixelSlab &) = delete;
    PixelSlab &operator=(const PixelSlab &) = delete;
    ~PixelSlab()
    {
        for (const Block &b : blocks_)
            munmap(b.base, b.size);
    }

    // n bytes (n > 0), uninitialised; throws std::bad_alloc when there are
    // none.
    std::span<uint8_t> allocate(size_t n)
    {
        if (blocks_.empty() || blocks_.back().size - blocks_.back().used < n) {
            const size_t size = (std::max(n, kBlock) + kHugePage - 1) / kHugePage * kHugePage;
            auto *base = static_cast<uint8_t *>(mapAligned(size, kHugePage));
            blocks_.push_back({base, size, 0});
        }
        Block &b = blocks_.back();
        const std::span<uint8_t> piece(b.base + b.used, n);
        b.used += n;
        return piece;
    }

  private:
    static constexpr size_t kHugePage = size_t(2) << 20;
    static constexpr size_t kBlock = size_t(32) << 20;
    struct Block {
        uint8_t *base = nullptr;
        size_t size = 0;
        size_t used = 0;
    };
    std::vector<Block> blocks_;
};

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool empty() const { return w <= 0 || h <= 0; }
    friend bool operator==(const Rect &, const Rect &) = default;
};

Rect unite(const Rect &a, const Rect &b)
{
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    const int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    const int x1 = std::max(a.x + a.w, b.x + b.w), y1 = std::max(a.y + a.h, b.y + b.h);
    return {x0, y0, x1 - x0, y1 - y0};
}

// Disposal methods as stored in a control block.
enum Disposal { kKeep = 1, kBackground = 2, kPrevious = 3 };

// What a viewer shows of the plain file, one image at a time.
class PlainViewer
{
  public:
    explicit PlainViewer(const GifFile &gif)
        : gif_(gif), canvas_(size_t(gif.screenWidth) * size_t(gif.screenHeight), kTransparent)
    {
    }

    // Draws the next image into the canvas, copies the screen shown into
    // shown and then disposes of the image as its control block says.
    void next(std::vector<Pixel> &shown)
    {
        const GifImage &img = gif_.images[next_++];
        const int disposal = img.hasControl ? img.control.disposal : 0;
        if (disposal == kPrevious)
            saved_ = canvas_;
        // Indices beyond the table are black, as the writer pads its tables.
        std::array<Pixel, 256> colors;
        colors.fill(opaque({}));
        const std::vector<Rgb> &table = img.localTable.empty() ? gif_.globalTable : img.localTable;
        for (size_t k = 0; k < std::min<size_t>(256, table.size()); ++k)
            colors[k] = opaque(table[k]);
        const int transparent = img.hasControl && img.control.transparent ? img.control.transparentIndex : -1;
        const Rect r = clipped(img);
        const int sw = gif_.screenWidth;
        const uint8_t *indices = img.pixels().data();
        for (int y = r.y; y < r.y + r.h; ++y) {
            const uint8_t *src = indices + size_t(y - img.top) * size_t(img.width) - img.left;
            Pixel *dst = canvas_.data() + size_t(y) * size_t(sw);
            for (int x = r.x; x < r.x + r.w; ++x)
                if (src[x] != transparent)
                    dst[x] = colors[src[x]];
        }
        shown = canvas_;
        if (disposal == 2) {
            for (int y = r.y; y < r.y + r.h; ++y)
                std::fill_n(canvas_.data() + size_t(y) * size_t(sw) + size_t(r.x), r.w, kTransparent);
        } else if (disposal == kPrevious) {
            canvas_.swap(saved_);
        }
    }

  private:
    Rect clipped(const GifImage &img) const
    {
        const int x0 = std::max(0, img.left), x1 = std::min(gif_.screenWidth, img.left + img.width);
        const int y0 = std::max(0, img.top), y1 = std::min(gif_.screenHeight, img.top + img.height);
        // An image without all its pixels is drawn only as far as it goes.
        if (img.pixels().size() < size_t(img.width) * size_t(std::max(0, img.height)))
            return {};
        return {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
    }

    const GifFile &gif_;
    size_t next_ = 0;
    std::vector<Pixel> canvas_;
    std::vector<Pixel> saved_;
};

// A canvas as a viewer would have it before an image: a screen, with one
// rectangle cleared when the disposal was "background".
struct CanvasView {
    const Pixel *base = nullptr;
    Rect cleared;
    int width = 0;

    // Pixels x .. x + n - 1 of row y: in place, or copied to scratch where
    // the row crosses the cleared rectangle.
    const Pixel *row(int y, int x, int n, Pixel *scratch) const
    {
        const Pixel *p = base + size_t(y) * size_t(width) + size_t(x);
        if (cleared.empty() || y < cleared.y || y >= cleared.y + cleared.h)
            return p;
        const int x0 = std::max(x, cleared.x), x1 = std::min(x + n, cleared.x + cleared.w);
        if (x0 >= x1)
            return p;
        std::copy_n(p, n, scratch);
        std::fill(scratch + (x0 - x), scratch + (x1 - x), kTransparent);
        return scratch;
    }
    Pixel at(int x, int y) const
    {
        if (x >= cleared.x && x < cleared.x + cleared.w && y >= cleared.y && y < cleared.y + cleared.h)
            return kTransparent;
        return base[size_t(y) * size_t(width) + size_t(x)];
    }
};

std::vector<uint8_t> &rowScratchBytes()
{
    static thread_local std::vector<uint8_t> bytes;
    return bytes;
}

std::vector<Pixel> &rowScratch()
{
    static thread_local std::vector<Pixel> row;
    return row;
}

bool allTransparent(const Pixel *p, int n)
{
    for (int i = 0; i < n; ++i)
        if (p[i] != kTransparent)
            return false;
    return true;
}

bool sameRow(const CanvasView &b, const Pixel *s, int y)
{
    const Pixel *row = b.base + size_t(y) * size_t(b.width);
    const Rect &c = b.cleared;
    if (c.empty() || y < c.y || y >= c.y + c.h)
        return std::memcmp(row, s, size_t(b.width) * sizeof(Pixel)) == 0;
    return std::memcmp(row, s, size_t(c.x) * sizeof(Pixel)) == 0 && allTransparent(s + c.x, c.w) &&
           std::memcmp(row + c.x + c.w, s + c.x + c.w, size_t(b.width - c.x - c.w) * sizeof(Pixel)) == 0;
}

// The smallest rectangle outside of which the canvas already shows screen.
Rect changedRect(const CanvasView &b, const std::vector<Pixel> &screen, int height)
{
    const int w = b.width;
    int x0 = w, x1 = -1, y0 = -1, y1 = -1;
    for (int y = 0; y < height; ++y) {
        const Pixel *s = screen.data() + size_t(y) * size_t(w);
        if (sameRow(b, s, y))
            continue;
        if (y0 < 0)
            y0 = y;
        y1 = y;
        int l = 0;
        while (l < x0 && b.at(l, y) == s[l])
            ++l;
        x0 = std::min(x0, l);
        int r = w - 1;
        while (r > x1 && b.at(r, y) == s[r])
            --r;
        x1 = std::max(x1, r);
    }
    if (y0 < 0)
        return {};
    return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

// Dense numbers for the values of one image: the colours it draws and
// kTransparent for "leave the canvas as it is".
class ValueIds
{
  public:
    void reset()
    {
        if (++generation_ == 0) {
            stamps_.fill(0);
            generation_ = 1;
        }
        values_.clear();
        lastId_ = -1;
    }
    // -1 when the image would need more than 256 values.
    int id(Pixel p)
    {
        if (lastId_ >= 0 && lastValue_ == p)
            return lastId_;
        uint32_t slot = (p * 0x9E3779B1u) >> (32 - kBits);
        while (stamps_[slot] == generation_ && keys_[slot] != p)
            slot = (slot + 1) & (kSize - 1);
        if (stamps_[slot] != generation_) {
            if (values_.size() == 256)
                return -1;
            stamps_[slot] = generation_;
            keys_[slot] = p;
            ids_[slot] = uint16_t(values_.size());
            values_.push_back(p);
        }
        lastValue_ = p;
        lastId_ = ids_[slot];
        return lastId_;
    }
    // The id of p, -1 when it has none yet.
    int find(Pixel p) const
    {
        uint32_t slot = (p * 0x9E3779B1u) >> (32 - kBits);
        for (; stamps_[slot] == generation_; slot = (slot + 1) & (kSize - 1))
            if (keys_[slot] == p)
                return ids_[slot];
        return -1;
    }
    const std::vector<Pixel> &values() const { return values_; }

  private:
    static constexpr int kBits = 10; // four times the most values an image holds
    static constexpr uint32_t kSize = 1u << kBits;
    std::array<Pixel, kSize> keys_{};
    std::array<uint16_t, kSize> ids_{};
    std::array<uint32_t, kSize> stamps_{};
    uint32_t generation_ = 0;
    std::vector<Pixel> values_;
    Pixel lastValue_ = 0;
    int lastId_ = -1;
};

// One image to write: the rectangle and, per pixel, the value it must have
// or, where free is set, the choice between that value and transparent.
struct Frame {
    Rect rect;
    std::vector<uint8_t> want;
    std::vector<uint8_t> free;
    std::vector<Pixel> values; // value id -> colour (kTransparent: transparent)
    int transparent = -1;      // the id of kTransparent, -1 when unused
    size_t drawnCount = 0;     // pixels that must be drawn in a colour
    // Per pixel, whether the plain file's image leaves it to the canvas;
    // empty when that image has no transparency.
    std::vector<uint8_t> sourceLeaves;
    std::vector<uint8_t> resolved;
    std::vector<uint8_t> shortest; // the shortest pixels so far while ways are weighed
    size_t cost = 0;               // bytes of the image's code stream
};

// Images of more pixels are measured in fewer ways.
constexpr size_t kThoroughPixels = 65536;
// Streams of at most this many bytes are also tried without their leading
// clear code.
constexpr size_t kShortStream = 1024;
// Files of fewer pixels in all are finished on one thread.
constexpr size_t kParallelPixels = size_t(1) << 20;

int bitsFor(int count)
{
    return std::max(2, int(std::bit_width(unsigned(std::max(count, 1) - 1))));
}

// The LZW table as the encoder builds it, for choosing free pixels. An
// image has few values, so the table is a dense array child[code][value]
// (0: none; no string has code 0 as its extension): one load per lookup. A
// code's row is cleared when the code is defined, so a clear costs only the
// rows of the roots. Like the encoder it also keeps, per value v, the codes
// of the strings v, vv, vvv, ... (always defined in order of length), so a
// run can be skipped in one step.
class LzwModel
{
  public:
    static constexpr unsigned kMaxCodes = 4096;
    static constexpr unsigned kClearCodeAt = 4093;

    // Values are below valueCount.
    LzwModel(int minCodeSize, int valueCount)
        : m_(unsigned(minCodeSize)), stride_(size_t(std::max(valueCount, 1))), child_(scratch(0)), runCode_(scratch(1)),
          runLength_(stride_)
    {
        if (child_.size() < kMaxCodes * stride_)
            child_.resize(kMaxCodes * stride_);
        if (runCode_.size() < (kMaxCodes + 1) * stride_)
            runCode_.resize((kMaxCodes + 1) * stride_);
        restart();
        bits_ += width_;
    }
    int find(unsigned w, unsigned k) const
    {
        const uint16_t c = child_[w * stride_ + k];
        return c ? int(c) : -1;
    }
    // Emits string w, to be followed by pixel k.
    void endString(unsigned w, unsigned k)
    {
        bits_ += width_;
        child_[w * stride_ + k] = uint16_t(nextFree_);
        std::fill_n(child_.begin() + ptrdiff_t(nextFree_ * stride_), stride_, uint16_t(0));
        if (runCode_[runLength_[k] * stride_ + k] == w) {
            ++runLength_[k];
            runCode_[runLength_[k] * stride_ + k] = uint16_t(nextFree_);
        }
        ++nextFree_;
        if (nextFree_ > limit_) {
            ++width_;
            limit_ <<= 1;
        }
        if (nextFree_ == kClearCodeAt) {
            bits_ += width_;
            restart();
        }
    }
    // The longest run of v with a code, and the code of n times v.
    size_t longestRun(unsigned v) const { return runLength_[v]; }
    unsigned runCode(size_t n, unsigned v) const { return runCode_[n * stride_ + v]; }
    // Bytes of the data sub-blocks once w and the end code are out.
    size_t finish()
    {
        bits_ += width_;
        const unsigned afterEnd = nextFree_ + 1;
        if (afterEnd > limit_ && width_ < 12)
            ++width_;
        if (afterEnd == kClearCodeAt) {
            bits_ += width_;
            width_ = m_ + 1;
        }
        bits_ += width_;
        const size_t bytes = size_t((bits_ + 7) / 8);
        return bytes + (bytes + 254) / 255;
    }

  private:
    static std::vector<uint16_t> &scratch(int which)
    {
        static thread_local std::vector<uint16_t> tables[2];
        return tables[which];
    }
    void restart()
    {
        std::fill_n(child_.begin(), stride_ * stride_, uint16_t(0));
        for (unsigned v = 0; v < stride_; ++v) {
            runLength_[v] = 1;
            runCode_[stride_ + v] = uint16_t(v);
        }
        width_ = m_ + 1;
        limit_ = 1u << width_;
        nextFree_ = (1u << m_) + 2;
    }

    unsigned m_;
    size_t stride_;
    std::vector<uint16_t> &child_;
    std::vector<uint16_t> &runCode_;
    std::vector<uint16_t> runLength_;
    unsigned width_ = 0, limit_ = 0, nextFree_ = 0;
    uint64_t bits_ = 0;
};

// How free pixels are taken: all in their colour, each chosen while the
// stream is built (see choose), all transparent, or as the plain file's
// image has them (transparent where it leaves the canvas as it is): an
// image some other program made small may have chosen well already.
enum class Way { Colour, Choose, Transparent, AsTheSource };

// Chooses every free pixel and returns the length of the code stream the
// encoder makes of the result. Where the string so far can go on with
// either value, the one whose string the next pixel can also extend is
// taken; where neither goes on, the new string starts with the previous
// pixel's value if allowed (a run), else transparent (runs of it are what
// the unchanged parts become). The encoder, parsing the chosen pixels
// greedily, makes exactly the strings modelled here.
size_t choose(Frame &f, int minCodeSize)
{
    const size_t n = f.want.size();
    f.resolved.resize(n);
    const unsigned t = unsigned(std::max(f.transparent, 0));
    const int valueCount = std::max(int(*std::max_element(f.want.begin(), f.want.end())), int(t)) + 1;
    LzwModel lzw(minCodeSize, valueCount);
    const uint8_t *want = f.want.data();
    const uint8_t *free = f.free.data();
    uint8_t *out = f.resolved.data();
    // A string that starts with value v takes at once the longest run of v
    // the table holds and the pixels allow.
    const auto skipRun = [&](size_t &p, unsigned &w) {
        const unsigned v = w;
        const size_t limit = std::min(lzw.longestRun(v) - 1, n - 1 - p);
        size_t r = 0;
        while (r < limit && (want[p + 1 + r] == v || (v == t && free[p + 1 + r])))
            ++r;
        if (r == 0)
            return;
        std::fill_n(out + p + 1, r, uint8_t(v));
        p += r;
        w = lzw.runCode(1 + r, v);
    };
    size_t p = 0;
    unsigned w = free[0] ? t : want[0];
    out[0] = uint8_t(w);
    skipRun(p, w);
    for (++p; p < n; ++p) {
        if (!free[p]) {
            const unsigned a = want[p];
            const int c = lzw.find(w, a);
            out[p] = uint8_t(a);
            if (c >= 0) {
                w = unsigned(c);
            } else {
                lzw.endString(w, a);
                w = a;
                skipRun(p, w);
            }
            continue;
        }
        const unsigned a = want[p];
        const int ca = lzw.find(w, a);
        const int ct = lzw.find(w, t);
        if (ca >= 0 && ct >= 0) {
            bool takeA = false;
            if (p + 1 < n) {
                const auto extends = [&](int code) {
                    return lzw.find(unsigned(code), want[p + 1]) >= 0 ||
                           (free[p + 1] && lzw.find(unsigned(code), t) >= 0);
                };
                takeA = extends(ca) && !extends(ct);
            }
            w = unsigned(takeA ? ca : ct);
            out[p] = uint8_t(takeA ? a : t);
        } else if (ca >= 0 || ct >= 0) {
            w = unsigned(ca >= 0 ? ca : ct);
            out[p] = uint8_t(ca >= 0 ? a : t);
        } else {
            const unsigned v = out[p - 1] == a ? a : t;
            lzw.endString(w, v);
            w = v;
            out[p] = uint8_t(v);
            skipRun(p, w);
        }
    }
    return lzw.finish();
}

enum class Build { Ok, Infeasible, TooManyColours };

// How free pixels may be written, from the most choice to the least: in
// their colour or transparent; in their colour only where the image draws
// that colour anyway (so that they add no colour to its table); never
// transparent. Or, with no choice left: always transparent, for the large
// images that are written that way anyway (see chooseEncoding), which
// spares looking up their colours.
enum class Freedom { Any, KnownColours, None, Transparent };

// The length of the run of pixels from the start of a and b that are the
// same, at most n. Compared eight at a time, which the compiler can do in
// one step: most of a large image is usually unchanged.
int sameRun(const Pixel *a, const Pixel *b, int n)
{
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        Pixel differ = 0;
        for (int k = 0; k < 8; ++k)
            differ |= a[x + k] ^ b[x + k];
        if (differ)
            break;
    }
    while (x < n && a[x] == b[x])
        ++x;
    return x;
}

// buildFrame with Freedom::Transparent: every unchanged pixel becomes
// transparent and every changed one is drawn, so the pixels go in runs of
// either kind. The values get their ids in the same order as pixel by
// pixel.
Build buildTransparent(const CanvasView &b, const std::vector<Pixel> &screen, const Rect &rect, ValueIds &ids, Frame &f)
{
    std::fill(f.free.begin(), f.free.end(), uint8_t(0));
    Pixel *scratch = rowScratch().data();
    uint8_t *want = f.want.data();
    int t = -1;
    for (int y = rect.y; y < rect.y + rect.h; ++y) {
        const Pixel *c = b.row(y, rect.x, rect.w, scratch);
        const Pixel *s = screen.data() + size_t(y) * size_t(b.width) + rect.x;
        for (int x = 0; x < rect.w;) {
            const int same = sameRun(c + x, s + x, rect.w - x);
            if (same > 0) {
                if (t < 0 && (t = ids.id(kTransparent)) < 0)
                    return Build::TooManyColours;
                std::fill_n(want, same, uint8_t(t));
                want += same;
                x += same;
            }
            for (; x < rect.w && c[x] != s[x]; ++x) {
                // A viewer's drawing never makes a pixel transparent again.
                if (s[x] == kTransparent)
                    return Build::Infeasible;
                const int id = ids.id(s[x]);
                if (id < 0)
                    return Build::TooManyColours;
                *want++ = uint8_t(id);
                ++f.drawnCount;
            }
        }
    }
    f.transparent = t;
    f.values = ids.values();
    return Build::Ok;
}

// Sets up the image that turns canvas b into screen inside rect.
Build buildFrame(const CanvasView &b, const std::vector<Pixel> &screen, const Rect &rect, Freedom freedom,
                 ValueIds &ids, Frame &f)
{
    ids.reset();
    f.rect = rect;
    const size_t n = size_t(rect.w) * size_t(rect.h);
    f.want.resize(n);
    f.free.resize(n);
    f.transparent = -1;
    f.drawnCount = 0;
    if (freedom == Freedom::KnownColours) {
        // The colours that must be drawn come first.
        for (int y = rect.y; y < rect.y + rect.h; ++y) {
            const Pixel *s = screen.data() + size_t(y) * size_t(b.width);
            for (int x = rect.x; x < rect.x + rect.w; ++x)
                if (b.at(x, y) != s[x] && ids.id(s[x]) < 0)
                    return Build::TooManyColours;
        }
    }
    std::vector<Pixel> &canvas = rowScratch();
    canvas.resize(size_t(rect.w));
    if (freedom == Freedom::Transparent)
        return buildTransparent(b, screen, rect, ids, f);
    int t = -1;
    size_t i = 0;
    for (int y = rect.y; y < rect.y + rect.h; ++y) {
        const Pixel *c = b.row(y, rect.x, rect.w, canvas.data());
        const Pixel *s = screen.data() + size_t(y) * size_t(b.width) + rect.x;
        for (int x = 0; x < rect.w; ++x, ++i) {
            Pixel value = s[x];
            const bool same = c[x] == value;
            // A viewer's drawing never makes a pixel transparent again.
            if (!same && value == kTransparent)
                return Build::Infeasible;
            bool isFree = same && value != kTransparent && freedom != Freedom::None;
            if (isFree &&
                (freedom == Freedom::Transparent || (freedom == Freedom::KnownColours && ids.find(value) < 0))) {
                value = kTransparent;
                isFree = false;
            }
            if (t < 0 && (isFree || value == kTransparent)) {
                t = ids.id(kTransparent);
                if (t < 0)
                    return Build::TooManyColours;
            }
            const int id = ids.id(value);
            if (id < 0)
                return Build::TooManyColours;
            f.want[i] = uint8_t(id);
            f.free[i] = isFree;
            f.drawnCount += !isFree && value != kTransparent;
        }
    }
    f.transparent = t;
    f.values = ids.values();
    return Build::Ok;
}

// The free pixels all taken one way.
void takeAll(Frame &f, Way way)
{
    const size_t n = f.want.size();
    if (way == Way::Colour) {
        f.resolved.assign(f.want.begin(), f.want.end());
        return;
    }
    f.resolved.resize(n);
    const uint8_t t = uint8_t(std::max(f.transparent, 0));
    for (size_t p = 0; p < n; ++p)
        f.resolved[p] =
            f.free[p] && (way == Way::Transparent || (way == Way::AsTheSource && f.sourceLeaves[p])) ? t : f.want[p];
}

// The length of the code stream of pixels.
size_t measure(std::span<const uint8_t> pixels, int m)
{
    std::vector<uint8_t> &stream = rowScratchBytes();
    stream.clear();
    // Indices that do not fit m cannot be written at all: never the shortest.
    if (!LZWEncode(pixels, m, stream))
        return SIZE_MAX;
    return stream.size();
}

// Takes the shortest of the ways of taking the free pixels. A large image
// takes only the way that wins most often there: trying all would cost more
// time than it saves bytes. Its length is measured only when asked for.
void chooseEncoding(Frame &f, int m, bool measured)
{
    f.cost = 0;
    const bool anyFree = std::find(f.free.begin(), f.free.end(), 1) != f.free.end();
    const bool hinted = anyFree && !f.sourceLeaves.empty();
    if (!anyFree || (f.want.size() > kThoroughPixels && !hinted)) {
        takeAll(f, anyFree ? Way::Transparent : Way::Colour);
        if (measured)
            f.cost = measure(f.resolved, m);
        return;
    }
    // In the order that wins ties: the way without transparency first, as
    // it may spare the image its control block. The buffers go on from
    // frame to frame: new memory costs more than filling it.
    std::vector<uint8_t> &best = f.shortest;
    best.clear();
    f.cost = SIZE_MAX;
    const auto keepShorter = [&](size_t cost) {
        if (cost < f.cost) {
            f.cost = cost;
            best.swap(f.resolved);
        }
    };
    if (f.want.size() <= kThoroughPixels) {
        takeAll(f, Way::Colour);
        keepShorter(measure(f.resolved, m));
        keepShorter(choose(f, m));
    }
    takeAll(f, Way::Transparent);
    keepShorter(measure(f.resolved, m));
    if (hinted) {
        takeAll(f, Way::AsTheSource);
        keepShorter(measure(f.resolved, m));
    }
    f.resolved.swap(best);
}

// Sets up the image for rect, or returns false when no image can turn b
// into screen there.
bool prepareFrame(const CanvasView &b, const std::vector<Pixel> &screen, Rect rect, ValueIds &ids, Frame &f,
                  const GifImage &source)
{
    if (rect.empty())
        rect = {0, 0, 1, 1}; // an unchanged screen still needs its image
    const bool hinted = source.hasControl && source.control.transparent;
    const bool quick = size_t(rect.w) * size_t(rect.h) > kThoroughPixels && !hinted;
    Build built = Build::TooManyColours;
    for (Freedom freedom : {quick ? Freedom::Transparent : Freedom::Any, Freedom::KnownColours, Freedom::None})
        if (built == Build::TooManyColours)
            built = buildFrame(b, screen, rect, freedom, ids, f);
    f.sourceLeaves.clear();
    if (built != Build::Ok || !hinted)
        return built == Build::Ok;
    f.sourceLeaves.resize(f.want.size());
    const std::span<const uint8_t> indices = source.pixels();
    const bool complete = indices.size() >= size_t(source.width) * size_t(std::max(0, source.height));
    size_t i = 0;
    for (int y = rect.y; y < rect.y + rect.h; ++y)
        for (int x = rect.x; x < rect.x + rect.w; ++x, ++i) {
            const int sx = x - source.left, sy = y - source.top;
            f.sourceLeaves[i] =
                !complete || sx < 0 || sy < 0 || sx >= source.width || sy >= source.height ||
                indices[size_t(sy) * size_t(source.width) + size_t(sx)] == source.control.transparentIndex;
        }
    return true;
}

void costFrame(Frame &f, bool measured = true)
{
    chooseEncoding(f, bitsFor(int(f.values.size())), measured);
}

Rect transparentWhereOpaque(const std::vector<Pixel> &now, const std::vector<Pixel> &before, int width, int height)
{
    int x0 = width, x1 = -1, y0 = -1, y1 = -1;
    for (int y = 0; y < height; ++y) {
        const Pixel *a = now.data() + size_t(y) * size_t(width);
        const Pixel *b = before.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            if (a[x] == kTransparent && b[x] != kTransparent) {
                if (y0 < 0)
                    y0 = y;
                y1 = y;
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
            }
        }
    }
    if (y0 < 0)
        return {};
    return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

// An image as chosen: only what the file needs of it is kept, so that a
// long animation costs a byte per pixel of its images.
struct OutFrame {
    Rect rect;
    std::vector<Pixel> values; // value id -> colour (kTransparent: transparent)
    std::span<uint8_t> resolved;
    size_t drawnCount = 0;
    size_t cost = 0; // 0: not measured
    int disposal = kKeep;

    // Copies the pixels into the slab, so that the frame's buffers serve
    // the next image; an image replaced by a grown one keeps its place
    // when the new pixels fit.
    void take(const Frame &f, PixelSlab &slab)
    {
        rect = f.rect;
        values = f.values;
        const size_t n = f.resolved.size();
        resolved = resolved.size() >= n ? resolved.first(n) : slab.allocate(n);
        std::copy(f.resolved.begin(), f.resolved.end(), resolved.begin());
        drawnCount = f.drawnCount;
        cost = f.cost;
    }
};

// Pixels inside rect where canvas b does not show screen yet.
// (Every step-th row of it.)
size_t countChanged(const CanvasView &b, const std::vector<Pixel> &screen, const Rect &rect, int step)
{
    std::vector<Pixel> &canvas = rowScratch();
    canvas.resize(size_t(std::max(rect.w, 0)));
    size_t n = 0;
    for (int y = rect.y; y < rect.y + rect.h; y += step) {
        const Pixel *c = b.row(y, rect.x, rect.w, canvas.data());
        const Pixel *s = screen.data() + size_t(y) * size_t(b.width) + rect.x;
        for (int x = 0; x < rect.w; ++x)
            n += c[x] != s[x];
    }
    return n;
}

// Chooses the images and disposals; false when some screen cannot be made
// (an image would need more than 256 colours).
bool planFrames(const GifFile &plain, std::vector<OutFrame> &outs, PixelSlab &slab)
{
    const int width = plain.screenWidth, height = plain.screenHeight;
    const size_t screenSize = size_t(width) * size_t(height);
    PlainViewer viewer(plain);
    ValueIds ids;
    // The canvas before the image being chosen, the screen before it and
    // the screen wanted now.
    std::vector<Pixel> before(screenSize, kTransparent), previous, shown;
    viewer.next(shown);
    Frame first;
    const CanvasView start{before.data(), {}, width};
    if (!prepareFrame(start, shown, changedRect(start, shown, height), ids, first, plain.images[0]))
        return false;
    costFrame(first);
    outs[0].take(first, slab);

    struct Candidate {
        int disposal = kKeep;
        CanvasView canvas;
        Rect rect;
        Frame frame;
        // For "background", the previous image grown so that clearing it
        // leaves transparent what must become transparent.
        bool grown = false;
        Frame grownPrevious;
        bool usable = false;
        size_t drawn = 0; // pixels drawn in a colour, the grown image's extra ones included
        size_t total = 0;
    };
    std::array<Candidate, 3> candidates;
    for (size_t i = 1; i < outs.size(); ++i) {
        previous.swap(shown);
        viewer.next(shown);
        OutFrame &last = outs[i - 1];
        const CanvasView lastCanvas{before.data(), {}, width};
        // The previous image's disposal decides the canvas this image is
        // drawn on: its screen as shown, with its rectangle cleared, or the
        // canvas it was drawn on.
        const Rect mustClear = unite(last.rect, transparentWhereOpaque(shown, previous, width, height));
        candidates[0].disposal = kKeep;
        candidates[0].canvas = {previous.data(), {}, width};
        candidates[1].disposal = kBackground;
        candidates[1].canvas = {previous.data(), mustClear, width};
        candidates[2].disposal = kPrevious;
        candidates[2].canvas = lastCanvas;
        // Small images are measured for every disposal; of large ones only
        // those that draw not many more pixels than the fewest, counted on
        // every fourth row.
        size_t largest = 0;
        for (Candidate &c : candidates) {
            c.rect = changedRect(c.canvas, shown, height);
            largest = std::max(largest, size_t(c.rect.w) * size_t(c.rect.h));
        }
        const bool large = largest > kThoroughPixels;
        const int step = large ? 4 : 1;
        size_t fewest = SIZE_MAX;
        for (Candidate &c : candidates) {
            c.grown = c.disposal == kBackground && mustClear != last.rect;
            c.drawn = countChanged(c.canvas, shown, c.rect, step);
            if (c.grown)
                c.drawn += countChanged(lastCanvas, previous, mustClear, step) -
                           countChanged(lastCanvas, previous, last.rect, step);
            fewest = std::min(fewest, c.drawn);
        }
        int contenders = 0;
        for (Candidate &c : candidates) {
            c.usable = !large || c.drawn <= fewest + fewest / 8;
            contenders += c.usable;
        }
        Candidate *best = nullptr;
        for (Candidate &c : candidates) {
            if (!c.usable || !prepareFrame(c.canvas, shown, c.rect, ids, c.frame, plain.images[i]))
                continue;
            costFrame(c.frame, contenders > 1);
            c.total = c.frame.cost;
            if (c.grown) {
                if (!prepareFrame(lastCanvas, previous, mustClear, ids, c.grownPrevious, plain.images[i - 1]))
                    continue;
                costFrame(c.grownPrevious);
                if (last.cost == 0)
                    last.cost = measure(last.resolved, bitsFor(int(last.values.size())));
                c.total += c.grownPrevious.cost - std::min(c.grownPrevious.cost, last.cost);
            }
            if (!best || c.total < best->total)
                best = &c;
        }
        if (!best)
            return false;
        last.disposal = best->disposal;
        if (best->grown)
            last.take(best->grownPrevious, slab);
        outs[i].take(best->frame, slab);
        if (best->disposal != kPrevious) {
            // previous is not needed again: the next round overwrites it.
            before.swap(previous);
            const Rect &r = best->canvas.cleared;
            for (int y = r.y; y < r.y + r.h; ++y)
                std::fill_n(before.data() + size_t(y) * size_t(width) + size_t(r.x), r.w, kTransparent);
        }
    }
    return true;
}

struct ColourUse {
    int frames = 0;
    size_t pixels = 0;
};

// Colours by how many images use them, then by how many pixels, so that the
// colours most images draw get the small indices.
std::vector<Pixel> byUse(const std::unordered_map<Pixel, ColourUse> &use, const std::vector<Pixel> &colours)
{
    std::vector<Pixel> sorted = colours;
    std::sort(sorted.begin(), sorted.end(), [&](Pixel a, Pixel b) {
        const ColourUse &ua = use.at(a), &ub = use.at(b);
        if (ua.frames != ub.frames)
            return ua.frames > ub.frames;
        if (ua.pixels != ub.pixels)
            return ua.pixels > ub.pixels;
        return a < b;
    });
    return sorted;
}

// The global table's entries. An image's code size follows its largest
// index, so two orders are weighed by the bits they give every image's
// pixels: by use, and the colours of the images with the fewest colours
// first.
std::vector<Pixel> globalOrder(const std::vector<OutFrame> &outs, const std::vector<std::vector<Pixel>> &drawn,
                               const std::vector<bool> &seesGlobal, const std::vector<bool> &usesTransparent,
                               const std::unordered_map<Pixel, ColourUse> &use, const std::vector<Pixel> &colours)
{
    std::vector<Pixel> common;
    for (Pixel c : byUse(use, colours))
        common.push_back(c);

    std::vector<size_t> frames;
    for (size_t i = 0; i < outs.size(); ++i)
        if (seesGlobal[i])
            frames.push_back(i);
    std::stable_sort(frames.begin(), frames.end(),
                     [&](size_t a, size_t b) { return drawn[a].size() < drawn[b].size(); });
    std::vector<Pixel> smallFirst;
    std::unordered_map<Pixel, bool> placed;
    for (size_t i : frames)
        for (Pixel c : byUse(use, drawn[i]))
            if (placed.emplace(c, true).second)
                smallFirst.push_back(c);

    const auto bits = [&](const std::vector<Pixel> &order) {
        std::unordered_map<Pixel, int> at;
        for (size_t k = 0; k < order.size(); ++k)
            at[order[k]] = int(k);
        uint64_t total = 0;
        for (size_t i : frames) {
            // A transparent index is one past the colours at worst.
            int largest = int(drawn[i].size()) - 1 + (usesTransparent[i] ? 1 : 0);
            for (Pixel c : drawn[i])
                largest = std::max(largest, at[c]);
            total += uint64_t(bitsFor(largest + 1)) * outs[i].resolved.size();
        }
        return total;
    };
    return bits(smallFirst) < bits(common) ? smallFirst : common;
}

std::vector<uint8_t> &streamScratch(int which)
{
    static thread_local std::vector<uint8_t> streams[2];
    return streams[which];
}

std::vector<Rgb> tableOf(const std::vector<Pixel> &entries)
{
    std::vector<Rgb> table(size_t(powerOfTwoCount(int(entries.size()))));
    for (size_t k = 0; k < entries.size(); ++k)
        table[k] = rgbOf(entries[k]);
    return table;
}

// Encodes the image's stream the shortest of the ways tried and keeps it
// with the image. The clear timing matters only to an image of more pixels
// than codes: only such an image can fill the table. A stream without the
// leading clear code is tried where that may end it a byte sooner, which
// matters only to the short streams of small images; in a long stream the
// byte is not worth a second encoding.
void encodeShortest(GifImage &img, int m)
{
    // The streams are made in scratch buffers and the shortest copied out:
    // growing each image's own would allocate it several times over.
    std::vector<uint8_t> &a = streamScratch(0), &b = streamScratch(1);
    const std::span<const uint8_t> pixels = img.pixels();
    a.clear();
    img.encoded.clear();
    if (!LZWEncode(pixels, m, a)) {
        // Left to the writer, which reports why the image cannot be coded.
        return;
    }
    // A stream of fewer codes than the table holds never cleared it.
    if (pixels.size() > LzwModel::kMaxCodes && a.size() * 8 / size_t(m + 1) >= LzwModel::kClearCodeAt - (1u << m) - 2) {
        b.clear();
        if (LZWEncode(pixels, m, b, {.deferClear = true}) && b.size() < a.size()) {
            img.deferClear = true;
            a.swap(b);
        }
    }
    if (a.size() <= kShortStream) {
        b.clear();
        if (LZWEncode(pixels, m, b, {.deferClear = img.deferClear, .leadingClear = false}) && b.size() < a.size()) {
            img.noLeadingClear = true;
            a.swap(b);
        }
    }
    img.encoded.assign(a.begin(), a.end());
}

} // namespace

GifFile optimizeGif(const GifFile &plain)
{
    if (plain.images.empty() || plain.screenWidth <= 0 || plain.screenHeight <= 0)
        return plain;
    // The chosen images' pixels, which become those of the file's images.
    auto slab = std::make_shared<PixelSlab>();
    std::vector<OutFrame> outs(plain.images.size());
    if (!planFrames(plain, outs, *slab))
        return plain;

    // The colours each image draws, after its free pixels were chosen, and
    // whether it leaves pixels transparent.
    std::vector<std::vector<Pixel>> drawn(outs.size());
    std::vector<bool> usesTransparent(outs.size(), false);
    std::unordered_map<Pixel, ColourUse> use;
    for (size_t i = 0; i < outs.size(); ++i) {
        const OutFrame &f = outs[i];
        std::array<size_t, 256> count{};
        for (uint8_t v : f.resolved)
            ++count[v];
        for (size_t id = 0; id < f.values.size(); ++id) {
            if (count[id] == 0)
                continue;
            if (f.values[id] == kTransparent) {
                usesTransparent[i] = true;
                continue;
            }
            drawn[i].push_back(f.values[id]);
            ColourUse &u = use[f.values[id]];
            ++u.frames;
            u.pixels += count[id];
        }
    }

    // Which images see the global table: all when every colour fits in it;
    // otherwise the images, in order, whose colours still fit. An image
    // that leaves pixels transparent takes for that an entry it does not
    // draw, so it needs one to spare.
    std::vector<bool> seesGlobal(outs.size(), true);
    std::vector<Pixel> globalColours;
    if (use.size() <= 256) {
        for (const auto &entry : use)
            globalColours.push_back(entry.first);
    } else {
        std::unordered_map<Pixel, bool> in;
        for (size_t i = 0; i < outs.size(); ++i) {
            size_t added = 0;
            for (Pixel c : drawn[i])
                added += in.count(c) ? 0 : 1;
            seesGlobal[i] = in.size() + added <= 256;
            if (seesGlobal[i])
                for (Pixel c : drawn[i])
                    if (in.emplace(c, true).second)
                        globalColours.push_back(c);
        }
    }
    const std::vector<Pixel> globalEntries = globalOrder(outs, drawn, seesGlobal, usesTransparent, use, globalColours);
    std::unordered_map<Pixel, int> globalIndex;
    for (size_t k = 0; k < globalEntries.size(); ++k)
        globalIndex[globalEntries[k]] = int(k);
    // The transparent index of each image that sees the global table: the
    // smallest index it does not draw (one past the colours when it draws
    // them all, which grows the table).
    std::vector<int> globalTransparent(outs.size(), -1);
    size_t globalSize = globalEntries.size();
    for (size_t i = 0; i < outs.size(); ++i) {
        if (!seesGlobal[i] || !usesTransparent[i])
            continue;
        std::array<bool, 256> drawsIndex{};
        for (Pixel c : drawn[i])
            drawsIndex[size_t(globalIndex.at(c))] = true;
        const int t = int(std::find(drawsIndex.begin(), drawsIndex.end(), false) - drawsIndex.begin());
        if (t == 256) {
            seesGlobal[i] = false;
            continue;
        }
        globalTransparent[i] = t;
        globalSize = std::max(globalSize, size_t(t) + 1);
    }

    GifFile out;
    out.screenWidth = plain.screenWidth;
    out.screenHeight = plain.screenHeight;
    out.aspect = plain.aspect;
    out.hasLoop = plain.hasLoop;
    out.loopCount = plain.loopCount;
    out.comment = plain.comment;
    out.storage = slab;
    if (std::find(seesGlobal.begin(), seesGlobal.end(), true) != seesGlobal.end()) {
        out.globalTable = tableOf(globalEntries);
        out.globalTable.resize(std::max(out.globalTable.size(), size_t(powerOfTwoCount(int(globalSize)))));
    }
    const auto finishImage = [&](size_t i) {
        OutFrame &f = outs[i];
        GifImage &img = out.images[i];
        const GifImage &source = plain.images[i];
        // value id -> index of the table the image is seen through.
        std::array<int, 256> index;
        index.fill(-1);
        std::array<bool, 256> taken{};
        for (uint8_t v : f.resolved)
            taken[v] = true;
        if (seesGlobal[i]) {
            for (size_t id = 0; id < f.values.size(); ++id)
                if (taken[id])
                    index[id] = f.values[id] == kTransparent ? globalTransparent[i] : globalIndex.at(f.values[id]);
        } else {
            std::vector<Pixel> entries;
            if (usesTransparent[i])
                entries.push_back(kTransparent);
            for (Pixel c : byUse(use, drawn[i]))
                entries.push_back(c);
            for (size_t id = 0; id < f.values.size(); ++id)
                if (taken[id])
                    index[id] = int(std::find(entries.begin(), entries.end(), f.values[id]) - entries.begin());
            img.localTable = tableOf(entries);
        }
        int t = -1, largest = 0;
        for (size_t id = 0; id < f.values.size(); ++id) {
            largest = std::max(largest, index[id]);
            if (taken[id] && f.values[id] == kTransparent)
                t = index[id];
        }
        for (uint8_t &v : f.resolved)
            v = uint8_t(index[v]);
        img.borrowed = f.resolved;
        const int m = bitsFor(largest + 1);
        encodeShortest(img, m);
        const bool transparentUsed = t >= 0;
        img.left = f.rect.x;
        img.top = f.rect.y;
        img.width = f.rect.w;
        img.height = f.rect.h;
        img.minCodeSize = m;
        const int disposal = i + 1 < outs.size() ? outs[i].disposal : kKeep;
        // A control block that changes nothing is left out.
        img.hasControl = transparentUsed || disposal != kKeep ||
                         (source.hasControl && (source.control.delay != 0 || source.control.userInput));
        img.control.disposal = disposal;
        img.control.transparent = transparentUsed;
        img.control.transparentIndex = transparentUsed ? t : 0;
        img.control.delay = source.hasControl ? source.control.delay : 0;
        img.control.userInput = source.hasControl && source.control.userInput;
    };
    out.images.resize(outs.size());
    // The images are made and encoded each on its own: on all cores when
    // there is enough to encode to pay for starting the threads.
    size_t pixels = 0;
    for (const OutFrame &f : outs)
        pixels += f.resolved.size();
    const int64_t perPart = pixels > kParallelPixels ? 1 : int64_t(outs.size());
    parallelFor(int64_t(outs.size()), perPart, [&](int64_t begin, int64_t end) {
        for (size_t i = size_t(begin); i < size_t(end); ++i)
            finishImage(i);
    });
    return out;
}

} // namespace velmar
