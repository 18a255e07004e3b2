#include "effects/quad.h"

#include "platform/numeric.h"
#include "shell/picinfo.h"

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
    const int ws = source.lWidth;
    const int hs = source.lHeight;
    if (ws <= 0 || hs <= 0 || targetWidth <= 0 || targetHeight <= 0 || source.bits.size() < source.pixelCount())
        return;
    const size_t targetSize = size_t(targetWidth) * size_t(targetHeight);
    if (buffer.size() < targetSize)
        return;

    // 64-bit sums: a degenerate quadrilateral drops a whole (possibly huge)
    // picture into one pixel, and 32 bits would overflow after ~8 million hits.
    std::vector<int64_t> sumRed(targetSize, 0);
    std::vector<int64_t> sumGreen(targetSize, 0);
    std::vector<int64_t> sumBlue(targetSize, 0);
    std::vector<int64_t> hits(targetSize, 0);

    const double dxLeft = q.x2 - q.x3;
    const double dyLeft = q.y2 - q.y3;
    const double dxRight = q.x1 - q.x4;
    const double dyRight = q.y1 - q.y4;
    for (int sy = 0; sy < hs; ++sy) {
        const double lx = dxLeft * sy / hs + q.x3;
        const double ly = dyLeft * sy / hs + q.y3;
        const double rx = dxRight * sy / hs + q.x4;
        const double ry = dyRight * sy / hs + q.y4;
        const uint8_t *row = source.bits.data() + size_t(sy) * size_t(ws);
        for (int sx = 0; sx < ws; ++sx) {
            int tx = 0;
            int ty = 0;
            if (!roundedInside(lx + (rx - lx) * sx / ws, targetWidth, tx) ||
                !roundedInside(ly + (ry - ly) * sx / ws, targetHeight, ty))
                continue;
            const size_t t = size_t(ty) * size_t(targetWidth) + size_t(tx);
            const Rgb &c = source.colors[row[sx]];
            sumRed[t] += c.r;
            sumGreen[t] += c.g;
            sumBlue[t] += c.b;
            ++hits[t];
        }
    }

    for (size_t t = 0; t < targetSize; ++t) {
        if (hits[t] == 0)
            continue;
        buffer[t] = uint8_t(nearestPaletteIndex(palette, paletteCount, int(sumRed[t] / hits[t]),
                                                int(sumGreen[t] / hits[t]), int(sumBlue[t] / hits[t])));
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
