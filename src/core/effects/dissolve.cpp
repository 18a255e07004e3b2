#include "effects/effects.h"

#include "document/document.h"
#include "platform/numeric.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace velmar
{
namespace
{

// order[t] is the step (1 .. n - 1) in which tile t changes, 0 for tiles no
// step has taken. Each step takes T div n tiles; a tile is chosen by jumping
// a random distance from the previous choice and then on to the next free
// tile by further random jumps. The search always ends, because at most
// (n - 1) * (T div n) < T tiles are taken before it runs. One draw of the
// program's generator per jump, so a run repeats exactly and a second effect
// continues the sequence.
std::vector<uint16_t> randomOrder(Rnd &rnd, int64_t tiles, int n)
{
    std::vector<uint16_t> order(size_t(tiles), 0);
    const int64_t per = tiles / n;
    int64_t prev = 0;
    auto jump = [&](int64_t from) {
        const double target = roundHalfEven(double(rnd.next()) * double(tiles) + double(from));
        return int64_t(target) % tiles;
    };
    for (int i = 1; i <= n - 1; ++i) {
        for (int64_t k = 0; k < per; ++k) {
            int64_t p = jump(prev);
            while (order[size_t(p)] != 0)
                p = jump(p);
            order[size_t(p)] = uint16_t(i);
            prev = p;
        }
    }
    return order;
}

} // namespace

Result<> autoTileErase(Document &doc, int tilesX, int tilesY, int n, int base, int colour)
{
    if (!doc.isFrame(base) || n < 1)
        return badArguments();
    const int64_t w = doc.pic(base).lWidth;
    const int64_t h = doc.pic(base).lHeight;
    const int64_t tx = tilesX == 0 ? w : tilesX;
    const int64_t ty = tilesY == 0 ? h : tilesY;
    // More tiles than pixels, or a negative count, has no tiling of the
    // picture; the Create command refuses both before calling.
    if (tx < 0 || ty < 0 || tx * ty > w * h)
        return badArguments();

    doc.setCell(base + 1, PropertyGrid::ColDelay, QStringLiteral("100"));
    const int64_t tiles = tx * ty;
    std::vector<uint16_t> order = tiles > 0 ? randomOrder(doc.rnd(), tiles, n) : std::vector<uint16_t>{};
    // Whatever no earlier step took goes in the last one, so frame n is blank.
    std::replace(order.begin(), order.end(), uint16_t(0), uint16_t(n));

    int src = base;
    for (int i = 1; i <= n; ++i) {
        const Result<int> added = doc.CopyWindow(src);
        if (!added)
            return fail(added.error());
        const int f = *added;
        uint8_t *bits = doc.pixelsForWriting(f).data();
        for (int64_t t = 0; t < tiles; ++t) {
            if (order[size_t(t)] != i)
                continue;
            const int64_t c = t % tx;
            const int64_t r = t / tx;
            // Tiles differ by at most one pixel and cover the picture exactly.
            const int64_t x0 = w * c / tx, x1 = w * (c + 1) / tx;
            const int64_t y0 = h * r / ty, y1 = h * (r + 1) / ty;
            for (int64_t y = y0; y < y1; ++y)
                std::fill(bits + y * w + x0, bits + y * w + x1, uint8_t(colour));
        }
        doc.ShowPic(f);
        src = f;
    }
    // The blank frame rests as long as the full picture; the copies below
    // play the erase backwards so the loop returns to the picture.
    doc.setCell(src + 1, PropertyGrid::ColDelay, QStringLiteral("100"));
    const int last = src;
    for (int j = 1; j <= n - 1; ++j) {
        const Result<int> added = doc.CopyWindow(last - j);
        if (!added)
            return fail(added.error());
        const int f = *added;
        doc.ShowPic(f);
    }
    return {};
}

Result<> autoFromTo(Document &doc, int from, int to, int n)
{
    if (!doc.isFrame(from) || !doc.isFrame(to) || n < 1)
        return badArguments();
    const PicInfo &fromPic = doc.pic(from);
    const PicInfo &toPic = doc.pic(to);
    // The dissolve reads To with From's size; anything else would read past
    // To's picture. The Create command refuses such a pair before calling.
    if (fromPic.lWidth != toPic.lWidth || fromPic.lHeight != toPic.lHeight)
        return badArguments();
    const int64_t pixels = int64_t(fromPic.pixelCount());
    const std::vector<uint16_t> order = randomOrder(doc.rnd(), pixels, n);
    const std::vector<uint8_t> target = toPic.bits;

    int src = from;
    for (int i = 1; i <= n - 1; ++i) {
        const Result<int> added = doc.CopyWindow(src);
        if (!added)
            return fail(added.error());
        const int f = *added;
        uint8_t *bits = doc.pixelsForWriting(f).data();
        for (int64_t p = 0; p < pixels; ++p)
            if (order[size_t(p)] == i)
                bits[p] = target[size_t(p)];
        doc.ShowPic(f);
        src = f;
    }
    // Pixels no step took change here: the sequence ends on a copy of To.
    const Result<int> toAdded = doc.CopyWindow(to);
    if (!toAdded)
        return fail(toAdded.error());
    const int last = *toAdded;
    doc.ShowPic(last);
    for (int j = 1; j <= n - 1; ++j) {
        const Result<int> added = doc.CopyWindow(last - j);
        if (!added)
            return fail(added.error());
        const int f = *added;
        doc.ShowPic(f);
    }
    doc.setCell(from + 1, PropertyGrid::ColDelay, QStringLiteral("50"));
    return {};
}

} // namespace velmar
