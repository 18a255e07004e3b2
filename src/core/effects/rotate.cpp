#include "effects/effects.h"
#include "platform/angles.h"

#include "document/document.h"
#include "platform/numeric.h"
#include "platform/parallel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace velmar
{
namespace
{

// The constants are the decimals the effect has always used, not a more
// precise pi: the sampled positions (and so the pixels) depend on them.
constexpr double kHalfPi = 1.570796326794895;

// The source position of output pixel (j, i) for a turn by angle, as the
// effect defines it: from the pixel's polar angle in pixel-index coordinates
// about (W/2, H/2), with the decimals above, rounded halves to even.
void exactSource(int j, int i, double cx, double cy, double angle, double &sx, double &sy)
{
    const double dx = j - cx;
    const double dy = -(i - cy); // y grows upward
    const double r = std::sqrt(dx * dx + dy * dy);
    double theta;
    if (dx != 0)
        theta = std::atan(dy / std::fabs(dx));
    else
        theta = dy > 0 ? kHalfPi : -kHalfPi; // also the centre, where r = 0
    if (dx < 0)
        theta = kPi - theta;
    theta += angle;
    sx = roundHalfEven(cx + r * std::cos(theta));
    sy = roundHalfEven(cy - r * std::sin(theta));
}

// v rounded, when v lies more than margin away from the nearest half, so that
// any value within margin of v rounds the same way.
bool roundsClearly(double v, double margin, double &out)
{
    out = roundHalfEven(v);
    return std::fabs(v - out) < 0.5 - margin;
}

// Fills rows [firstRow, endRow) of out with src turned by angle; each output
// pixel takes the nearest source pixel at its own polar angle plus the turn,
// or the background where that lies outside. The position is first found by
// turning (dx, dy) with the angle's sine and cosine, which differs from the
// polar computation by far less than margin (a few units in the last place of
// the angles, times the radius); only where that leaves the rounding in doubt
// is the polar computation done.
void turnRows(const std::vector<uint8_t> &src, uint8_t *out, int w, int h, double angle, uint8_t background,
              int firstRow, int endRow)
{
    const double cx = w * 0.5;
    const double cy = h * 0.5;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double margin = 1e-9 + 1e-12 * std::sqrt(cx * cx + cy * cy);
    for (int i = firstRow; i < endRow; ++i) {
        const double dy = -(i - cy);
        uint8_t *line = out + size_t(i) * size_t(w);
        for (int j = 0; j < w; ++j) {
            const double dx = j - cx;
            double sx = 0;
            double sy = 0;
            if (!roundsClearly(cx + (dx * c - dy * s), margin, sx) ||
                !roundsClearly(cy - (dx * s + dy * c), margin, sy))
                exactSource(j, i, cx, cy, angle, sx, sy);
            if (sx >= 0 && sx < w && sy >= 0 && sy < h)
                line[j] = src[size_t(sy) * size_t(w) + size_t(sx)];
            else
                line[j] = background;
        }
    }
}

} // namespace

Result<> autoRotate(Document &doc, int base, int n, int background)
{
    if (!doc.isFrame(base))
        return badArguments();
    // The base frame is the unturned first frame of the sequence and rests a
    // second; the turned copies keep the half second CopyWindow gives them.
    doc.setCell(base + 1, PropertyGrid::ColDelay, QStringLiteral("100"));
    const int w = doc.pic(base).lWidth;
    const int h = doc.pic(base).lHeight;
    const std::vector<uint8_t> src = doc.pic(base).bits;
    if (n < 2)
        return {};
    const double step = kTwoPi / n;
    // The angles by repeated addition, as the turn proceeds.
    std::vector<double> angles;
    for (double angle = step; int(angles.size()) < n - 1; angle += step)
        angles.push_back(angle);
    // Frames are turned a batch at a time on all threads and added in order.
    const int batch = parallelThreads();
    std::vector<std::vector<uint8_t>> out(static_cast<size_t>(batch), std::vector<uint8_t>(src.size()));
    Result<> stopped;
    produceInOrder(
        n - 1, batch,
        [&](int k, int slot) {
            turnRows(src, out[size_t(slot)].data(), w, h, angles[size_t(k)], uint8_t(background), 0, h);
        },
        [&](int, int slot) {
            const Result<int> added = addCopyWithPixels(doc, base, out[size_t(slot)]);
            if (!added)
                stopped = fail(added.error());
            return added.ok();
        });
    return stopped;
}

} // namespace velmar
