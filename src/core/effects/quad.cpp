#include "effects/quad.h"

#include "document/picinfo.h"
#include "platform/numeric.h"

#include <algorithm>
#include <cmath>
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
// outside the box. A separate pass without stores into the sums, so that the
// compiler can run it on several pixels at once; the rounding is
// roundHalfEven's, written out so that it has no branch (for |v| >= 2^52,
// NaN and infinities it gives values that are outside the box all the same).
void landRow(int32_t *cells, int ws, double lx, double ly, double spanX, double spanY, const Box &box)
{
    const double minX = box.minX, maxX = box.maxX, minY = box.minY, maxY = box.maxY;
    const int32_t boxWidth = int32_t(box.width());
    for (int sx = 0; sx < ws; ++sx) {
        const double x = lx + spanX * sx / ws;
        const double y = ly + spanY * sx / ws;
        const double sxShift = std::copysign(0x1p52, x);
        const double syShift = std::copysign(0x1p52, y);
        const double rx = (x + sxShift) - sxShift;
        const double ry = (y + syShift) - syShift;
        const bool inside = rx >= minX && rx <= maxX && ry >= minY && ry <= maxY;
        cells[sx] = inside ? int32_t(ry - minY) * boxWidth + int32_t(rx - minX) : -1;
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

    const double dxLeft = q.x2 - q.x3;
    const double dyLeft = q.y2 - q.y3;
    const double dxRight = q.x1 - q.x4;
    const double dyRight = q.y1 - q.y4;
    for (int sy = 0; sy < hs; ++sy) {
        const double lx = dxLeft * sy / hs + q.x3;
        const double ly = dyLeft * sy / hs + q.y3;
        const double rx = dxRight * sy / hs + q.x4;
        const double ry = dyRight * sy / hs + q.y4;
        landRow(cells, ws, lx, ly, rx - lx, ry - ly, box);
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
        mapInto(source, buffer, targetWidth, palette, paletteCount, q, box, scratch.sums, scratch);
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
