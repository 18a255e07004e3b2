#include "effects/effects.h"

#include "document/document.h"
#include "platform/numeric.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace velmar
{

Result<> autoSlideDown(Document &doc, int window1, int window2, int n)
{
    if (!doc.isFrame(window1) || !doc.isFrame(window2))
        return badArguments();
    if (n < 3)
        return {};
    const int w = doc.pic(window1).lWidth;
    const int h = doc.pic(window1).lHeight;
    // Window 2 is read with window 1's size; anything else would read past
    // its picture. The Create command refuses such a pair before calling.
    if (doc.pic(window2).lWidth != w || doc.pic(window2).lHeight != h)
        return badArguments();
    const std::vector<uint8_t> p1 = doc.pic(window1).bits;
    const std::vector<uint8_t> p2 = doc.pic(window2).bits;

    const double step = double(h) / (n - 1);
    // The offset is rounded once and the step is then added to the rounded
    // value, halves to even each time (H = 10, n = 5: 2, 4, 6).
    double off = roundHalfEven(step);
    for (int i = 3; i <= n; ++i) {
        const Result<int> added = doc.CopyWindow(window1);
        if (!added)
            return fail(added.error());
        const int f = *added;
        // The accumulated offset can drift past H (H = 9, n = 7 reaches 10);
        // beyond H window 2 simply shows whole instead of reading above it.
        const int o = int(std::min(off, double(h)));
        uint8_t *bits = doc.pixelsForWriting(f).data();
        for (int r = 0; r < h; ++r) {
            const uint8_t *row = r < o ? &p2[size_t(h - o + r) * size_t(w)] : &p1[size_t(r - o) * size_t(w)];
            std::memcpy(bits + size_t(r) * size_t(w), row, size_t(w));
        }
        doc.ShowPic(f);
        off = roundHalfEven(off + step);
    }
    const Result<int> lastAdded = doc.CopyWindow(window2);
    if (!lastAdded)
        return fail(lastAdded.error());
    const int last = *lastAdded;
    doc.ShowPic(last);
    doc.setCell(window1 + 1, PropertyGrid::ColDelay, QStringLiteral("50"));
    doc.setCell(last + 1, PropertyGrid::ColDelay, QStringLiteral("50"));
    return {};
}

Result<> autoTicker(Document &doc, int base, int n, int width)
{
    if (!doc.isFrame(base) || n < 1 || width < 1)
        return badArguments();
    const int w = doc.pic(base).lWidth;
    const int h = doc.pic(base).lHeight;
    const std::vector<uint8_t> src = doc.pic(base).bits;
    const uint8_t fill = src[0];
    const int v = width;

    double pos = v;
    const double step = double(v + w) / n;
    for (int k = 1; k <= n; ++k) {
        // The new frame comes filled with the picture's first pixel; only
        // the columns of the picture that land inside it are copied.
        const Result<int> added = doc.NewWindow(base, v, h, fill);
        if (!added)
            return fail(added.error());
        const int f = *added;
        // Truncation toward zero: positions between -1 and 1 all draw in place.
        const int64_t u = int64_t(std::trunc(pos));
        const int64_t first = std::max<int64_t>(0, -u);
        const int64_t last = std::min<int64_t>(w, int64_t(v) - u);
        if (first < last) {
            uint8_t *bits = doc.pixelsForWriting(f).data();
            for (int y = 0; y < h; ++y)
                std::memcpy(bits + size_t(y) * size_t(v) + size_t(first + u),
                            &src[size_t(y) * size_t(w) + size_t(first)], size_t(last - first));
        }
        doc.ShowPic(f);
        pos -= step;
    }
    return {};
}

} // namespace velmar
