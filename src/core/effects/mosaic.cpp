#include "effects/effects.h"

#include "document/document.h"
#include "platform/palette.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace velmar
{
namespace
{

// One mosaic of block size c. Every block sum is divided by the full block
// area c * c, also for the narrower blocks along the right and bottom edges,
// which therefore come out darker; once c passes both sides the whole picture
// is one block that darkens further with each doubling. The area and the sums
// are 64-bit: c * c passes 32 bits from c = 2^16 on, and a large picture's
// sums can too.
void mosaic(const std::vector<uint8_t> &src, std::vector<uint8_t> &out, int w, int h, int64_t c,
            const ColorTable &colors, NearestPalette &nearest)
{
    const int64_t bw = (w + c - 1) / c;
    const int64_t bh = (h + c - 1) / c;
    std::vector<int64_t> sums(size_t(bw * bh * 3), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t v = size_t((y / c) * bw + x / c);
            const Rgb &rgb = colors[src[size_t(y) * size_t(w) + size_t(x)]];
            sums[3 * v] += rgb.r;
            sums[3 * v + 1] += rgb.g;
            sums[3 * v + 2] += rgb.b;
        }
    }
    const int64_t area = c * c;
    std::vector<uint8_t> blockIndex(size_t(bw * bh));
    for (size_t v = 0; v < blockIndex.size(); ++v)
        blockIndex[v] =
            uint8_t(nearest(int(sums[3 * v] / area), int(sums[3 * v + 1] / area), int(sums[3 * v + 2] / area)));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out[size_t(y) * size_t(w) + size_t(x)] = blockIndex[size_t((y / c) * bw + x / c)];
}

} // namespace

Result<> autoMosaic(Document &doc, int base, int n)
{
    if (!doc.isFrame(base))
        return badArguments();
    doc.setCell(base + 1, PropertyGrid::ColDelay, QStringLiteral("50"));
    const int w = doc.pic(base).lWidth;
    const int h = doc.pic(base).lHeight;
    const std::vector<uint8_t> src = doc.pic(base).bits;
    const ColorTable colors = doc.pic(base).colors;
    const int nColors = doc.pic(base).nColors;

    std::vector<uint8_t> out(src.size());
    NearestPalette nearest(colors, nColors);
    int64_t c = 2;
    int last = -1;
    for (int k = 1; k <= n - 1; ++k) {
        mosaic(src, out, w, h, c, colors, nearest);
        const Result<int> added = addCopyWithPixels(doc, base, out);
        if (!added)
            return fail(added.error());
        last = *added;
        c *= 2;
    }
    // The mosaics carry consecutive numbers, so last - i walks them back from
    // the second-coarsest to the finest and the loop returns to the sharp base.
    for (int i = 1; i <= n - 2; ++i) {
        const Result<int> added = doc.CopyWindow(last - i);
        if (!added)
            return fail(added.error());
        const int f = *added;
        doc.ShowPic(f);
    }
    return {};
}

Result<int> addCopyWithPixels(Document &doc, int base, std::span<const uint8_t> pixels)
{
    const Result<int> added = doc.CopyWindow(base);
    if (!added)
        return added;
    const std::span<uint8_t> target = doc.pixelsForWriting(*added);
    std::copy_n(pixels.begin(), std::min(pixels.size(), target.size()), target.begin());
    doc.ShowPic(*added);
    return added;
}

} // namespace velmar
