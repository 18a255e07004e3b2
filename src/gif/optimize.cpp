// The optimiser works on what a viewer shows, not on the plain file's
// indices: every screen is a picture of colours with coverage, and the
// optimised file only has to make a viewer draw the same pictures.
//
// Frame by frame it keeps the canvas the viewer will have before the next
// image (after the previous image's disposal). The next image covers the
// rectangle where that canvas and the wanted screen differ; inside it a
// pixel that already shows the right colour is free: it may be drawn in its
// colour or left transparent. Which of the two is decided while the code
// stream is built (see resolve), so that free pixels extend the strings the
// LZW table already holds.
#include "gif/optimize.h"

#include "gif/gifformat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <unordered_map>

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
        for (int y = r.y; y < r.y + r.h; ++y) {
            const uint8_t *src = img.indices.data() + size_t(y - img.top) * size_t(img.width) - img.left;
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
        if (img.indices.size() < size_t(img.width) * size_t(std::max(0, img.height)))
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

    Pixel at(int x, int y) const
    {
        if (x >= cleared.x && x < cleared.x + cleared.w && y >= cleared.y && y < cleared.y + cleared.h)
            return kTransparent;
        return base[size_t(y) * size_t(width) + size_t(x)];
    }
};

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
    std::vector<uint8_t> resolved;
    size_t cost = 0; // bytes of the image's code stream
    bool deferClear = false;
};

int bitsFor(int count)
{
    return std::max(2, int(std::bit_width(unsigned(std::max(count, 1) - 1))));
}

// The LZW table as the encoder builds it, for choosing free pixels: a hash
// of (string code, pixel) -> code, like the encoder's.
class LzwModel
{
  public:
    static constexpr unsigned kMaxCodes = 4096;
    static constexpr unsigned kClearCodeAt = 4093;

    LzwModel(int minCodeSize, bool deferClear)
        : m_(unsigned(minCodeSize)), clearAt_(deferClear ? 0 : kClearCodeAt), table_(kHashSize)
    {
        restart();
        bits_ += width_;
    }
    int find(unsigned w, unsigned k) const
    {
        const uint32_t key = (w << 8) | k;
        for (uint32_t slot = slotOf(key);; slot = (slot + 1) & (kHashSize - 1)) {
            const uint32_t e = table_[slot];
            if (e == 0)
                return -1;
            if ((e >> 12) == key)
                return int(e & 0xFFF);
        }
    }
    // Emits string w, to be followed by pixel k.
    void endString(unsigned w, unsigned k)
    {
        bits_ += width_;
        if (nextFree_ == kMaxCodes)
            return;
        const uint32_t key = (w << 8) | k;
        uint32_t slot = slotOf(key);
        while (table_[slot] != 0)
            slot = (slot + 1) & (kHashSize - 1);
        table_[slot] = (key << 12) | nextFree_;
        ++nextFree_;
        if (nextFree_ > limit_) {
            ++width_;
            limit_ <<= 1;
        }
        if (nextFree_ == clearAt_) {
            bits_ += width_;
            restart();
        }
    }
    // Bytes of the data sub-blocks once w and the end code are out.
    size_t finish()
    {
        bits_ += width_;
        const unsigned afterEnd = nextFree_ + 1;
        if (afterEnd > limit_ && width_ < 12)
            ++width_;
        if (afterEnd == clearAt_) {
            bits_ += width_;
            width_ = m_ + 1;
        }
        bits_ += width_;
        const size_t bytes = size_t((bits_ + 7) / 8);
        return bytes + (bytes + 254) / 255;
    }

  private:
    static constexpr unsigned kHashBits = 14;
    static constexpr uint32_t kHashSize = 1u << kHashBits;
    static uint32_t slotOf(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - kHashBits); }
    void restart()
    {
        std::fill(table_.begin(), table_.end(), 0u);
        width_ = m_ + 1;
        limit_ = 1u << width_;
        nextFree_ = (1u << m_) + 2;
    }

    unsigned m_;
    unsigned clearAt_;
    std::vector<uint32_t> table_;
    unsigned width_ = 0, limit_ = 0, nextFree_ = 0;
    uint64_t bits_ = 0;
};

// Chooses every free pixel and returns the length of the code stream the
// encoder makes of the result. Where the string so far can go on with either
// choice, the one whose string the next pixel can also extend is taken;
// where neither goes on, the new string starts with the previous pixel's
// value if allowed (a run), else transparent (runs of it are what the
// unchanged parts become). The encoder, parsing the chosen pixels greedily,
// makes exactly the strings modelled here.
size_t resolve(Frame &f, int minCodeSize, bool deferClear)
{
    const size_t n = f.want.size();
    f.resolved.resize(n);
    LzwModel lzw(minCodeSize, deferClear);
    const unsigned t = unsigned(std::max(f.transparent, 0));
    const uint8_t *want = f.want.data();
    const uint8_t *free = f.free.data();
    uint8_t *out = f.resolved.data();
    unsigned w = free[0] ? t : want[0];
    out[0] = uint8_t(w);
    for (size_t p = 1; p < n; ++p) {
        const unsigned a = want[p];
        if (!free[p]) {
            const int c = lzw.find(w, a);
            if (c >= 0) {
                w = unsigned(c);
            } else {
                lzw.endString(w, a);
                w = a;
            }
            out[p] = uint8_t(a);
            continue;
        }
        const int ca = lzw.find(w, a);
        const int ct = lzw.find(w, t);
        if (ca >= 0 && ct >= 0) {
            bool takeA = false;
            if (p + 1 < n) {
                const unsigned na = want[p + 1];
                const auto extends = [&](int code) {
                    return lzw.find(unsigned(code), na) >= 0 || (free[p + 1] && lzw.find(unsigned(code), t) >= 0);
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
        }
    }
    return lzw.finish();
}

enum class Build { Ok, Infeasible, TooManyColours };

// How free pixels may be written, from the most choice to the least: in
// their colour or transparent; in their colour only where the image draws
// that colour anyway (so that they add no colour to its table); never
// transparent.
enum class Freedom { Any, KnownColours, None };

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
    if (freedom == Freedom::KnownColours) {
        // The colours that must be drawn come first.
        for (int y = rect.y; y < rect.y + rect.h; ++y) {
            const Pixel *s = screen.data() + size_t(y) * size_t(b.width);
            for (int x = rect.x; x < rect.x + rect.w; ++x)
                if (b.at(x, y) != s[x] && ids.id(s[x]) < 0)
                    return Build::TooManyColours;
        }
    }
    size_t i = 0;
    for (int y = rect.y; y < rect.y + rect.h; ++y) {
        const Pixel *s = screen.data() + size_t(y) * size_t(b.width);
        for (int x = rect.x; x < rect.x + rect.w; ++x, ++i) {
            const bool same = b.at(x, y) == s[x];
            // A viewer's drawing never makes a pixel transparent again.
            if (!same && s[x] == kTransparent)
                return Build::Infeasible;
            Pixel value = s[x];
            bool isFree = same && value != kTransparent && freedom != Freedom::None;
            if (isFree && freedom == Freedom::KnownColours && ids.find(value) < 0) {
                value = kTransparent;
                isFree = false;
            }
            const int id = ids.id(value);
            if (id < 0)
                return Build::TooManyColours;
            f.want[i] = uint8_t(id);
            f.free[i] = isFree;
            if (isFree) {
                const int t = ids.id(kTransparent);
                if (t < 0)
                    return Build::TooManyColours;
                f.transparent = t;
            } else if (value == kTransparent) {
                f.transparent = id;
            }
        }
    }
    f.values = ids.values();
    return Build::Ok;
}

// The free pixels all taken one way: transparent where possible, or in
// their colour where it has an index.
Frame fixedChoice(const Frame &f, bool transparent)
{
    Frame g;
    g.rect = f.rect;
    g.want = f.want;
    g.free.assign(f.free.size(), 0);
    g.transparent = f.transparent;
    if (transparent)
        for (size_t p = 0; p < f.want.size(); ++p)
            if (f.free[p])
                g.want[p] = uint8_t(f.transparent);
    return g;
}

// Picks the shortest of the ways to choose the free pixels (see resolve,
// and all one way), each with and, for images that can fill the code table,
// without a deferred clear.
void chooseEncoding(Frame &f, int m, bool tryDefer)
{
    const bool anyFree = std::find(f.free.begin(), f.free.end(), 1) != f.free.end();
    // On a tie the way without transparency wins: it may spare the image
    // its control block.
    std::vector<Frame> ways;
    if (anyFree)
        ways.push_back(fixedChoice(f, false));
    ways.push_back(f);
    if (anyFree)
        ways.push_back(fixedChoice(f, true));
    size_t best = SIZE_MAX;
    for (bool defer : {false, true}) {
        // Only an image of more pixels than codes can fill the table.
        if (defer && (!tryDefer || f.want.size() <= LzwModel::kMaxCodes))
            break;
        for (Frame &way : ways) {
            const size_t cost = resolve(way, m, defer);
            if (cost < best) {
                best = cost;
                f.resolved = way.resolved;
                f.deferClear = defer;
                f.cost = cost;
            }
        }
    }
}

// The image for rect, or false when no image can turn b into screen there.
bool makeFrame(const CanvasView &b, const std::vector<Pixel> &screen, Rect rect, ValueIds &ids, Frame &f)
{
    if (rect.empty())
        rect = {0, 0, 1, 1}; // an unchanged screen still needs its image
    Build built = Build::TooManyColours;
    for (Freedom freedom : {Freedom::Any, Freedom::KnownColours, Freedom::None})
        if (built == Build::TooManyColours)
            built = buildFrame(b, screen, rect, freedom, ids, f);
    if (built != Build::Ok)
        return false;
    f.deferClear = false;
    chooseEncoding(f, bitsFor(int(f.values.size())), false);
    return true;
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

struct OutFrame {
    Frame frame;
    int disposal = kKeep;
};

// Chooses the images and disposals; false when some screen cannot be made
// (an image would need more than 256 colours).
bool planFrames(const GifFile &plain, std::vector<OutFrame> &outs)
{
    const int width = plain.screenWidth, height = plain.screenHeight;
    const size_t screenSize = size_t(width) * size_t(height);
    PlainViewer viewer(plain);
    ValueIds ids;
    // The canvas before the image being chosen, the screen before it and
    // the screen wanted now.
    std::vector<Pixel> before(screenSize, kTransparent), previous, shown;
    viewer.next(shown);
    const CanvasView start{before.data(), {}, width};
    if (!makeFrame(start, shown, changedRect(start, shown, height), ids, outs[0].frame))
        return false;

    struct Candidate {
        int disposal = kKeep;
        CanvasView canvas;
        Frame frame;
        // For "background", the previous image grown so that clearing it
        // leaves transparent what must become transparent.
        bool grown = false;
        Frame grownPrevious;
        size_t total = 0;
    };
    std::array<Candidate, 3> candidates;
    for (size_t i = 1; i < outs.size(); ++i) {
        previous.swap(shown);
        viewer.next(shown);
        Frame &last = outs[i - 1].frame;
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
        Candidate *best = nullptr;
        for (Candidate &c : candidates) {
            if (!makeFrame(c.canvas, shown, changedRect(c.canvas, shown, height), ids, c.frame))
                continue;
            c.total = c.frame.cost;
            c.grown = c.disposal == kBackground && mustClear != last.rect;
            if (c.grown) {
                if (!makeFrame(lastCanvas, previous, mustClear, ids, c.grownPrevious))
                    continue;
                c.total += c.grownPrevious.cost - std::min(c.grownPrevious.cost, last.cost);
            }
            if (!best || c.total < best->total)
                best = &c;
        }
        if (!best)
            return false;
        outs[i - 1].disposal = best->disposal;
        if (best->grown)
            std::swap(last, best->grownPrevious);
        std::swap(outs[i].frame, best->frame);
        if (best->disposal != kPrevious) {
            before = previous;
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
                               const std::vector<bool> &seesGlobal, const std::unordered_map<Pixel, ColourUse> &use,
                               const std::vector<Pixel> &colours)
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
            int largest = int(drawn[i].size()) - 1 + (outs[i].frame.transparent >= 0 ? 1 : 0);
            for (Pixel c : drawn[i])
                largest = std::max(largest, at[c]);
            total += uint64_t(bitsFor(largest + 1)) * outs[i].frame.resolved.size();
        }
        return total;
    };
    return bits(smallFirst) < bits(common) ? smallFirst : common;
}

std::vector<Rgb> tableOf(const std::vector<Pixel> &entries)
{
    std::vector<Rgb> table(size_t(powerOfTwoCount(int(entries.size()))));
    for (size_t k = 0; k < entries.size(); ++k)
        table[k] = rgbOf(entries[k]);
    return table;
}

} // namespace

GifFile optimizeGif(const GifFile &plain)
{
    if (plain.images.empty() || plain.screenWidth <= 0 || plain.screenHeight <= 0)
        return plain;
    std::vector<OutFrame> outs(plain.images.size());
    if (!planFrames(plain, outs))
        return plain;

    // The colours each image draws, after its free pixels were chosen, and
    // whether it leaves pixels transparent.
    std::vector<std::vector<Pixel>> drawn(outs.size());
    std::vector<bool> usesTransparent(outs.size(), false);
    std::unordered_map<Pixel, ColourUse> use;
    for (size_t i = 0; i < outs.size(); ++i) {
        const Frame &f = outs[i].frame;
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
    const std::vector<Pixel> globalEntries = globalOrder(outs, drawn, seesGlobal, use, globalColours);
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
    if (std::find(seesGlobal.begin(), seesGlobal.end(), true) != seesGlobal.end()) {
        out.globalTable = tableOf(globalEntries);
        out.globalTable.resize(std::max(out.globalTable.size(), size_t(powerOfTwoCount(int(globalSize)))));
    }
    out.images.resize(outs.size());
    for (size_t i = 0; i < outs.size(); ++i) {
        Frame &f = outs[i].frame;
        GifImage &img = out.images[i];
        const GifImage &source = plain.images[i];
        // value id -> index of the table the image is seen through; -1 for
        // values no pixel took.
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
        // The chosen pixels again, in table indices; a free pixel whose
        // colour no pixel took stays transparent (and the other way round),
        // so that the table needs nothing new.
        Frame final;
        final.rect = f.rect;
        final.want.resize(f.want.size());
        final.free.resize(f.want.size());
        const int t = f.transparent >= 0 ? index[size_t(f.transparent)] : -1;
        final.transparent = t;
        int largest = 0;
        for (size_t p = 0; p < f.want.size(); ++p) {
            const int a = index[f.want[p]];
            final.free[p] = f.free[p] && a >= 0 && t >= 0;
            final.want[p] = uint8_t(a >= 0 ? a : t);
            largest = std::max(largest, int(final.want[p]));
        }
        if (t >= 0)
            largest = std::max(largest, t);
        const int m = bitsFor(largest + 1);
        chooseEncoding(final, m, true);
        const bool usesTransparent =
            t >= 0 && std::find(final.resolved.begin(), final.resolved.end(), uint8_t(t)) != final.resolved.end();

        img.left = final.rect.x;
        img.top = final.rect.y;
        img.width = final.rect.w;
        img.height = final.rect.h;
        img.indices = std::move(final.resolved);
        img.minCodeSize = m;
        img.deferClear = final.deferClear;
        const int disposal = i + 1 < outs.size() ? outs[i].disposal : kKeep;
        // A control block that changes nothing is left out.
        img.hasControl = usesTransparent || disposal != kKeep ||
                         (source.hasControl && (source.control.delay != 0 || source.control.userInput));
        img.control.disposal = disposal;
        img.control.transparent = usesTransparent;
        img.control.transparentIndex = usesTransparent ? t : 0;
        img.control.delay = source.hasControl ? source.control.delay : 0;
        img.control.userInput = source.hasControl && source.control.userInput;
    }
    return out;
}

} // namespace velmar
