#include "effects/quad.h"

#include "document/picinfo.h"
#include "platform/numeric.h"

#include <algorithm>
#include <cmath>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif
#include <vector>

namespace velmar
{
namespace
{

// Rounds a computed coordinate (halves to even) and tells whether it lies in
// 0 .. limit - 1; a NaN or a huge value lies nowhere.
bool roundedInside(double value, int limit, int &out)
{
    const double r = roundHalfEven(value);
    if (!(r >= 0 && r < limit))
        return false;
    out = int(r);
    return true;
}

void plot(std::span<uint8_t> buffer, int width, int height, double x, double y, uint8_t colour)
{
    int px = 0;
    int py = 0;
    if (!roundedInside(x, width, px) || !roundedInside(y, height, py))
        return;
    const size_t at = size_t(py) * size_t(width) + size_t(px);
    if (at < buffer.size())
        buffer[at] = colour;
}

// The point i/n of the way from (ax, ay) to (bx, by). The integer product
// comes first so that each point sits exactly where a step count predicts.
double along(int a, int b, int i, int n)
{
    return a + double(int64_t(i) * (b - a)) / n;
}

} // namespace

void mapToQuad(const PicInfo &source, std::span<uint8_t> buffer, int targetWidth, int targetHeight,
               const ColorTable &palette, int paletteCount, const Quad &q)
{
    QuadScratch scratch;
    mapToQuad(source, buffer, targetWidth, targetHeight, palette, paletteCount, q, scratch);
}

namespace
{

// The bounding box of the mapped points, clipped to the buffer.
struct Box {
    int minX, maxX, minY, maxY;
    size_t width() const { return size_t(maxX - minX + 1); }
    size_t cells() const { return width() * size_t(maxY - minY + 1); }
};

// Where the pixels of source row sy land: the box cell of each, or -1 for one
// outside the box. A pixel lands at lx + spanX * sx / ws (and likewise in y),
// rounded halves to even. The division costs more than everything else here,
// so where the processor has AVX the positions are first found four at a time
// with the reciprocal of ws: that differs from the divided value by a few
// units in the last place, far less than the distance from any rounding tie
// unless the position is all but on one (which the exact position often is).
// Those pixels are marked kUnsure and found again with the division, so every
// cell is the one the division gives.
constexpr int32_t kUnsure = -2;

// roundHalfEven without the branch; for |v| >= 2^52, NaN and infinities it
// gives values that lie outside any box all the same.
inline double roundedTies(double v)
{
    const double shift = std::copysign(0x1p52, v);
    return (v + shift) - shift;
}

inline int32_t exactCell(int sx, int ws, double lx, double ly, double spanX, double spanY, const Box &box)
{
    const double rx = roundedTies(lx + spanX * sx / ws);
    const double ry = roundedTies(ly + spanY * sx / ws);
    const bool inside = rx >= box.minX && rx <= box.maxX && ry >= box.minY && ry <= box.maxY;
    return inside ? int32_t(ry - box.minY) * int32_t(box.width()) + int32_t(rx - box.minX) : -1;
}

// Coordinates are 16-bit and spans at most twice that, so the position found
// with the reciprocal is off by less than 2^-30: a pixel is sure when its
// coordinates lie more than 2^-20 inside the half-pixel round the rounded
// ones, and rechecked otherwise.
constexpr double kSureWithin = 0.5 - 0x1p-20;

#if defined(__x86_64__) && defined(__GNUC__)
// The pixels 0 .. 4k - 1 of the row, four at a time, for processors with
// AVX; returns 4k and whether any was marked kUnsure. The operations are
// IEEE operations on the values the division uses (no fused multiply-add is
// enabled), so the sure cells are the division's.
#define VELMAR_HAVE_AVX_LANDING 1
__attribute__((target("avx"))) int landQuads(int32_t *cells, int ws, double lx, double ly, double spanX, double spanY,
                                             const Box &box, bool &unsure)
{
    const __m256d sureWithin = _mm256_set1_pd(kSureWithin);
    const __m256d signBit = _mm256_set1_pd(-0.0);
    const __m256d shiftSize = _mm256_set1_pd(0x1p52);
    const __m256d reciprocal = _mm256_set1_pd(1.0 / ws);
    const __m256d left = _mm256_set1_pd(lx), top = _mm256_set1_pd(ly);
    const __m256d alongX = _mm256_set1_pd(spanX), alongY = _mm256_set1_pd(spanY);
    const __m256d minX = _mm256_set1_pd(box.minX), maxX = _mm256_set1_pd(box.maxX);
    const __m256d minY = _mm256_set1_pd(box.minY), maxY = _mm256_set1_pd(box.maxY);
    const __m256d boxWidth = _mm256_set1_pd(double(box.width()));
    const __m256d outside = _mm256_set1_pd(-1.0), marked = _mm256_set1_pd(double(kUnsure));
    const __m256d four = _mm256_set1_pd(4.0);
    __m256d column = _mm256_set_pd(3.0, 2.0, 1.0, 0.0);
    __m256d allSure = _mm256_castsi256_pd(_mm256_set1_epi32(-1));
    const int quads = ws / 4;
    for (int k = 0; k < quads; ++k) {
        const __m256d x = _mm256_add_pd(left, _mm256_mul_pd(_mm256_mul_pd(alongX, column), reciprocal));
        const __m256d y = _mm256_add_pd(top, _mm256_mul_pd(_mm256_mul_pd(alongY, column), reciprocal));
        // Rounded halves to even as roundedTies; sure when within kSureWithin.
        const __m256d shiftX = _mm256_or_pd(_mm256_and_pd(x, signBit), shiftSize);
        const __m256d shiftY = _mm256_or_pd(_mm256_and_pd(y, signBit), shiftSize);
        const __m256d rx = _mm256_sub_pd(_mm256_add_pd(x, shiftX), shiftX);
        const __m256d ry = _mm256_sub_pd(_mm256_add_pd(y, shiftY), shiftY);
        const __m256d sure =
            _mm256_and_pd(_mm256_cmp_pd(_mm256_andnot_pd(signBit, _mm256_sub_pd(x, rx)), sureWithin, _CMP_LT_OQ),
                          _mm256_cmp_pd(_mm256_andnot_pd(signBit, _mm256_sub_pd(y, ry)), sureWithin, _CMP_LT_OQ));
        allSure = _mm256_and_pd(allSure, sure);
        const __m256d cx = _mm256_min_pd(_mm256_max_pd(rx, minX), maxX);
        const __m256d cy = _mm256_min_pd(_mm256_max_pd(ry, minY), maxY);
        const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(cx, rx, _CMP_EQ_OQ), _mm256_cmp_pd(cy, ry, _CMP_EQ_OQ));
        const __m256d cell = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(cy, minY), boxWidth), _mm256_sub_pd(cx, minX));
        const __m256d landed = _mm256_or_pd(_mm256_and_pd(inside, cell), _mm256_andnot_pd(inside, outside));
        const __m256d value = _mm256_or_pd(_mm256_and_pd(sure, landed), _mm256_andnot_pd(sure, marked));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(cells + 4 * k), _mm256_cvttpd_epi32(value));
        column = _mm256_add_pd(column, four);
    }
    unsure = _mm256_movemask_pd(allSure) != 15;
    return 4 * quads;
}
#endif

void landRow(int32_t *cells, int ws, double lx, double ly, double spanX, double spanY, const Box &box)
{
    int sx = 0;
    bool unsure = false;
#if defined(VELMAR_HAVE_AVX_LANDING)
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx)
        sx = landQuads(cells, ws, lx, ly, spanX, spanY, box, unsure);
#endif
    // The last few pixels (or all of them) with the division.
    for (; sx < ws; ++sx)
        cells[sx] = exactCell(sx, ws, lx, ly, spanX, spanY, box);
    for (sx = 0; unsure && sx < ws; ++sx)
        if (cells[sx] == kUnsure)
            cells[sx] = exactCell(sx, ws, lx, ly, spanX, spanY, box);
}

// Source row sy of hs runs from the left edge (corner 3 towards 2) to the
// right edge (corner 4 towards 1) of the quadrilateral.
void landSourceRow(int32_t *cells, int ws, int sy, int hs, const Quad &q, const Box &box)
{
    const double lx = double(q.x2 - q.x3) * sy / hs + q.x3;
    const double ly = double(q.y2 - q.y3) * sy / hs + q.y3;
    const double rx = double(q.x1 - q.x4) * sy / hs + q.x4;
    const double ry = double(q.y1 - q.y4) * sy / hs + q.y4;
    landRow(cells, ws, lx, ly, rx - lx, ry - ly, box);
}

// The sums of most cells are packed into 64 bits: red, green, blue and the
// number of pixels, 16 bits each. That holds up to kPackedHits pixels (255 x
// 257 = 65535); a cell that would get more spills: its packed word becomes
// kSpilled and its sums move to 32-bit sums in a second array, which is
// touched only for such cells (a face seen nearly edge-on). One 64-bit
// addition then adds a pixel's three channels and its count, and the sums
// take half the memory of 32-bit ones.
constexpr uint64_t kPackedHits = 257;
constexpr uint64_t kSpilled = uint64_t(0xFFFF) << 48;

inline uint64_t packed(uint32_t red, uint32_t green, uint32_t blue, uint32_t hits)
{
    return uint64_t(red) | uint64_t(green) << 16 | uint64_t(blue) << 32 | uint64_t(hits) << 48;
}

void spill(uint64_t &cell, QuadScratch::SumOf<uint32_t> &wide, uint32_t red, uint32_t green, uint32_t blue,
           uint32_t hits)
{
    if (cell != kSpilled) {
        wide = {uint32_t(cell & 0xFFFF), uint32_t(cell >> 16 & 0xFFFF), uint32_t(cell >> 32 & 0xFFFF),
                uint32_t(cell >> 48)};
        cell = kSpilled;
    }
    wide.red += red;
    wide.green += green;
    wide.blue += blue;
    wide.hits += hits;
}

// Adds the pixels of one source row to the cells they land on (outside for
// those outside the box). A pixel that lands on the cell of the pixel before
// waits for that one's store, but the packed sums take one addition a pixel,
// and the other cells' additions go on meanwhile.
void addRow(const uint8_t *row, const int32_t *cells, int ws, uint64_t *packedSums,
            QuadScratch::SumOf<uint32_t> *wideSums, size_t outside, const uint64_t *colours)
{
    for (int sx = 0; sx < ws; ++sx) {
        const int32_t cell = cells[sx];
        const size_t at = cell >= 0 ? size_t(cell) : outside;
        uint64_t &sum = packedSums[at];
        const uint64_t colour = colours[row[sx]];
        if ((sum >> 48) < kPackedHits)
            sum += colour;
        else
            spill(sum, wideSums[at], uint32_t(colour & 0xFFFF), uint32_t(colour >> 16 & 0xFFFF),
                  uint32_t(colour >> 32 & 0xFFFF), 1);
    }
}

// mapToQuad for a source of at most 2^32 / 255 pixels, with packed sums;
// mapInto below serves larger ones.
void mapPacked(const PicInfo &source, std::span<uint8_t> buffer, int targetWidth, const ColorTable &palette,
               int paletteCount, const Quad &q, const Box &box, QuadScratch &scratch)
{
    const int ws = source.lWidth;
    const int hs = source.lHeight;
    // One more cell than the box takes the pixels outside it.
    const size_t outside = box.cells();
    // New cells are zero, the old ones are already.
    if (scratch.packedSums.size() < box.cells() + 1)
        scratch.packedSums.resize(box.cells() + 1);
    if (scratch.sums.size() < box.cells() + 1)
        scratch.sums.resize(box.cells() + 1);
    uint64_t *const packedSums = scratch.packedSums.data();
    QuadScratch::SumOf<uint32_t> *const wideSums = scratch.sums.data();
    for (size_t i = 0; i < 256; ++i)
        scratch.colours[i] = packed(source.colors[i].r, source.colors[i].g, source.colors[i].b, 1);
    scratch.rowCells.resize(size_t(ws));
    int32_t *const cells = scratch.rowCells.data();

    for (int sy = 0; sy < hs; ++sy) {
        landSourceRow(cells, ws, sy, hs, q, box);
        addRow(source.bits.data() + size_t(sy) * size_t(ws), cells, ws, packedSums, wideSums, outside,
               scratch.colours.data());
    }
    packedSums[outside] = 0;
    wideSums[outside] = {0, 0, 0, 0};

    // The cells that colours landed on, each matched once and written once,
    // and left zero for the next call. A scan of the box costs less than
    // remembering which cells were hit: that test would be a branch per
    // source pixel that the processor cannot predict. The sums are below
    // 2^32 and are divided in double: a quotient that is not whole is at
    // least 1 / hits from the next integer, far more than the rounding error
    // of the division, so truncation gives the integer quotient, at less
    // cost than in integers.
    NearestPalette &nearest = scratch.nearest;
    nearest.reset(palette, paletteCount);
    auto average = [](uint32_t sum, uint32_t hits) { return int(double(sum) / double(hits)); };
    const size_t boxWidth = box.width();
    for (int y = box.minY; y <= box.maxY; ++y) {
        uint64_t *const line = packedSums + size_t(y - box.minY) * boxWidth;
        uint8_t *const out = buffer.data() + size_t(y) * size_t(targetWidth) + size_t(box.minX);
        for (size_t x = 0; x < boxWidth; ++x) {
            const uint64_t sum = line[x];
            if (sum == 0)
                continue;
            uint32_t red = uint32_t(sum & 0xFFFF), green = uint32_t(sum >> 16 & 0xFFFF),
                     blue = uint32_t(sum >> 32 & 0xFFFF), hits = uint32_t(sum >> 48);
            if (sum == kSpilled) {
                QuadScratch::SumOf<uint32_t> &wide = wideSums[size_t(y - box.minY) * boxWidth + x];
                red = wide.red;
                green = wide.green;
                blue = wide.blue;
                hits = wide.hits;
                wide = {0, 0, 0, 0};
            }
            out[x] = uint8_t(nearest(average(red, hits), average(green, hits), average(blue, hits)));
            line[x] = 0;
        }
    }
}

template <typename T>
void mapInto(const PicInfo &source, std::span<uint8_t> buffer, int targetWidth, const ColorTable &palette,
             int paletteCount, const Quad &q, const Box &box, std::vector<QuadScratch::SumOf<T>> &store,
             QuadScratch &scratch)
{
    const int ws = source.lWidth;
    const int hs = source.lHeight;
    if (store.size() < box.cells())
        store.resize(box.cells()); // new cells are zero, the old ones are already
    QuadScratch::SumOf<T> *const sums = store.data();
    scratch.rowCells.resize(size_t(ws));
    int32_t *const cells = scratch.rowCells.data();

    for (int sy = 0; sy < hs; ++sy) {
        landSourceRow(cells, ws, sy, hs, q, box);
        const uint8_t *row = source.bits.data() + size_t(sy) * size_t(ws);
        // Neighbouring pixels often land on one cell; their colours are added
        // up in registers first, since adding each to the cell in memory
        // would wait for the previous store every time.
        for (int sx = 0; sx < ws;) {
            const int32_t cell = cells[sx];
            int end = sx + 1;
            while (end < ws && cells[end] == cell)
                ++end;
            if (cell >= 0) {
                T red = 0, green = 0, blue = 0;
                for (int k = sx; k < end; ++k) {
                    const Rgb &c = source.colors[row[k]];
                    red += c.r;
                    green += c.g;
                    blue += c.b;
                }
                QuadScratch::SumOf<T> &sum = sums[cell];
                sum.red += red;
                sum.green += green;
                sum.blue += blue;
                sum.hits += T(end - sx);
            }
            sx = end;
        }
    }
    // The cells that colours landed on, each matched once and written once,
    // and left zero for the next call. A scan of the box costs less than
    // remembering which cells were hit: that test would be a branch per
    // source pixel that the processor cannot predict.
    NearestPalette &nearest = scratch.nearest;
    nearest.reset(palette, paletteCount);
    const size_t boxWidth = box.width();
    for (int y = box.minY; y <= box.maxY; ++y) {
        QuadScratch::SumOf<T> *line = sums + size_t(y - box.minY) * boxWidth;
        uint8_t *out = buffer.data() + size_t(y) * size_t(targetWidth) + size_t(box.minX);
        for (size_t x = 0; x < boxWidth; ++x) {
            QuadScratch::SumOf<T> &sum = line[x];
            if (sum.hits == 0)
                continue;
            out[x] = uint8_t(nearest(int(sum.red / sum.hits), int(sum.green / sum.hits), int(sum.blue / sum.hits)));
            sum = {0, 0, 0, 0};
        }
    }
}

} // namespace
void mapToQuad(const PicInfo &source, std::span<uint8_t> buffer, int targetWidth, int targetHeight,
               const ColorTable &palette, int paletteCount, const Quad &q, QuadScratch &scratch)
{
    const int ws = source.lWidth;
    const int hs = source.lHeight;
    if (ws <= 0 || hs <= 0 || targetWidth <= 0 || targetHeight <= 0 || source.bits.size() < source.pixelCount())
        return;
    const size_t targetSize = size_t(targetWidth) * size_t(targetHeight);
    if (buffer.size() < targetSize)
        return;

    // Every mapped point lies within the corners' bounding box, so the sums
    // are kept for that box only (clipped to the buffer), not the whole frame.
    const Box box{std::max({0, std::min({q.x1, q.x2, q.x3, q.x4}) - 1}),
                  std::min({targetWidth - 1, std::max({q.x1, q.x2, q.x3, q.x4}) + 1}),
                  std::max({0, std::min({q.y1, q.y2, q.y3, q.y4}) - 1}),
                  std::min({targetHeight - 1, std::max({q.y1, q.y2, q.y3, q.y4}) + 1})};
    // Cells are numbered in 32 bits; the sums of a larger box would not fit in
    // memory anyway.
    if (box.minX > box.maxX || box.minY > box.maxY || box.cells() > size_t(INT32_MAX))
        return;
    if (source.pixelCount() <= size_t(UINT32_MAX) / 255)
        mapPacked(source, buffer, targetWidth, palette, paletteCount, q, box, scratch);
    else
        mapInto(source, buffer, targetWidth, palette, paletteCount, q, box, scratch.wideSums, scratch);
}

void drawQuadEdges(std::span<uint8_t> buffer, int horizontalSteps, int verticalSteps, int targetWidth, int targetHeight,
                   int colour, const Quad &q)
{
    if (targetWidth <= 0 || targetHeight <= 0)
        return;
    const uint8_t c = uint8_t(colour);
    const int n = verticalSteps;
    for (int i = 0; n >= 1 && i <= n; ++i) {
        plot(buffer, targetWidth, targetHeight, along(q.x3, q.x2, i, n), along(q.y3, q.y2, i, n), c);
        plot(buffer, targetWidth, targetHeight, along(q.x4, q.x1, i, n), along(q.y4, q.y1, i, n), c);
    }
    const int m = horizontalSteps;
    for (int j = 0; m >= 1 && j <= m; ++j) {
        plot(buffer, targetWidth, targetHeight, along(q.x3, q.x4, j, m), along(q.y3, q.y4, j, m), c);
        plot(buffer, targetWidth, targetHeight, along(q.x2, q.x1, j, m), along(q.y2, q.y1, j, m), c);
    }
}

void addPolar(double &x, double &y, double angle, double length)
{
    x += length * std::cos(angle);
    y += length * std::sin(angle);
}

} // namespace velmar
