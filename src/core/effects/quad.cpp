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

QuadScratch::Sum *QuadScratch::prepare(size_t cells)
{
    if (++stamp == 0 || sums.size() < cells) {
        // A wrapped stamp could match an old cell; a larger box starts afresh anyway.
        sums.assign(std::max(cells, sums.size()), Sum{0, 0, 0, 0, 0});
        stamp = 1;
    }
    touched.clear();
    return sums.data();
}

void mapToQuad(const PicInfo &source, std::span<uint8_t> buffer, int targetWidth, int targetHeight,
               const ColorTable &palette, int paletteCount, const Quad &q)
{
    QuadScratch scratch;
    mapToQuad(source, buffer, targetWidth, targetHeight, palette, paletteCount, q, scratch);
}

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
    const int minX = std::max({0, std::min({q.x1, q.x2, q.x3, q.x4}) - 1});
    const int maxX = std::min({targetWidth - 1, std::max({q.x1, q.x2, q.x3, q.x4}) + 1});
    const int minY = std::max({0, std::min({q.y1, q.y2, q.y3, q.y4}) - 1});
    const int maxY = std::min({targetHeight - 1, std::max({q.y1, q.y2, q.y3, q.y4}) + 1});
    if (minX > maxX || minY > maxY)
        return;
    const size_t boxWidth = size_t(maxX - minX + 1);
    QuadScratch::Sum *const sums = scratch.prepare(boxWidth * size_t(maxY - minY + 1));
    const uint32_t stamp = scratch.stamp;

    const double dxLeft = q.x2 - q.x3;
    const double dyLeft = q.y2 - q.y3;
    const double dxRight = q.x1 - q.x4;
    const double dyRight = q.y1 - q.y4;
    for (int sy = 0; sy < hs; ++sy) {
        const double lx = dxLeft * sy / hs + q.x3;
        const double ly = dyLeft * sy / hs + q.y3;
        const double rx = dxRight * sy / hs + q.x4;
        const double ry = dyRight * sy / hs + q.y4;
        const double spanX = rx - lx;
        const double spanY = ry - ly;
        const uint8_t *row = source.bits.data() + size_t(sy) * size_t(ws);
        for (int sx = 0; sx < ws; ++sx) {
            int tx = 0;
            int ty = 0;
            if (!roundedInside(lx + spanX * sx / ws, targetWidth, tx) ||
                !roundedInside(ly + spanY * sx / ws, targetHeight, ty) || tx < minX || tx > maxX || ty < minY ||
                ty > maxY)
                continue;
            const size_t cell = size_t(ty - minY) * boxWidth + size_t(tx - minX);
            QuadScratch::Sum &sum = sums[cell];
            if (sum.stamp != stamp) {
                sum = {stamp, 0, 0, 0, 0};
                scratch.touched.push_back(uint32_t(cell));
            }
            const Rgb &c = source.colors[row[sx]];
            sum.red += c.r;
            sum.green += c.g;
            sum.blue += c.b;
            ++sum.hits;
        }
    }

    // Only the cells that colours landed on, in the order they were first hit;
    // each is matched once and written once, so the order does not matter.
    NearestPalette &nearest = scratch.nearest;
    nearest.reset(palette, paletteCount);
    for (const uint32_t cell : scratch.touched) {
        const QuadScratch::Sum &sum = sums[cell];
        const size_t x = size_t(minX) + cell % boxWidth;
        const size_t y = size_t(minY) + cell / boxWidth;
        buffer[y * size_t(targetWidth) + x] =
            uint8_t(nearest(int(sum.red / sum.hits), int(sum.green / sum.hits), int(sum.blue / sum.hits)));
    }
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
