#include "effects/geometric.h"
#include "platform/angles.h"

#include "document/document.h"
#include "platform/numeric.h"
#include "platform/parallel.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace velmar
{
namespace
{

constexpr double kHalfTurn = kPi;
constexpr double kFullTurn = kTwoPi;

// The latitude of a row from its height u (1 at the top, -1 at the bottom).
// The bottom pole is given as three quarters of a turn, not minus a quarter:
// its tangent is then huge and positive, as at the top pole, so both poles
// map to the centre column.
double arcSin(double x)
{
    if (x == 1)
        return 1.570796326794895;
    if (x == -1)
        return 4.712388980384685;
    return std::atan(x / std::sqrt(-x * x + 1));
}

// One row of the globe: its height u and the tangent of its latitude.
struct GlobeRow {
    double u;
    double q;
};

// The column of a longitude (0 at the right edge of the disc, pi at the left),
// given by its cosine, on the given row of a w pixels wide globe.
double globeColumn(double cosA, const GlobeRow &row, int w)
{
    const double c = row.q == 0 ? cosA : cosA * row.u / row.q;
    return (c + 1) * (w - 1) / 2;
}

// Index of a pixel of row i at a (fractional) column, or -1 when it falls
// outside the picture.
long long pixelAt(int w, int i, double column, size_t size)
{
    const double r = roundHalfEven(double(w) * i + column);
    if (!(r >= 0 && r < double(size)))
        return -1;
    return static_cast<long long>(r);
}

} // namespace

Result<> autoGlobe(Document &doc, int base, int n, int background)
{
    if (!doc.isFrame(base) || doc.pic(base).lWidth < 3 || doc.pic(base).lHeight < 2)
        return badArguments();
    // Copies: adding frames moves the frame records.
    const int w = doc.pic(base).lWidth;
    const int h = doc.pic(base).lHeight;
    const std::vector<uint8_t> source = doc.pic(base).bits;
    const uint8_t disc = source[0];
    const size_t size = source.size();

    std::vector<GlobeRow> rows(size_t(h), GlobeRow{});
    for (int i = 0; i < h; ++i) {
        const double u = 1 - 2.0 * i / (h - 1);
        rows[size_t(i)] = {u, std::tan(arcSin(u))};
    }
    // The longitudes of half a turn, two per source column (so neighbouring
    // longitudes at the equator are less than a pixel apart), by repeated
    // addition as the turn itself proceeds.
    const double astep = kHalfTurn / (w - 2) / 2;
    std::vector<double> longitudes;
    for (double t = 0; t <= kHalfTurn; t += astep)
        longitudes.push_back(t);

    // The disc is the same in every frame: drawn once, copied into each.
    std::vector<uint8_t> blank(size, uint8_t(background));
    for (double t : longitudes) {
        const double cosT = std::cos(t);
        for (int i = 0; i < h; ++i) {
            const long long at = pixelAt(w, i, globeColumn(cosT, rows[size_t(i)], w), size);
            if (at >= 0)
                blank[size_t(at)] = disc;
        }
    }
    // The phases by repeated addition, as the turn proceeds.
    std::vector<double> phases;
    const double dstep = kFullTurn / n;
    for (double phase = -kHalfTurn; int(phases.size()) < n; phase += dstep)
        phases.push_back(phase);

    // Source columns from the last one leftwards, half a column per
    // longitude; only the front half of the globe is drawn, and a later
    // column landing on a pixel replaces the earlier one.
    auto paint = [&](double phase, std::vector<uint8_t> &out) {
        std::copy(blank.begin(), blank.end(), out.begin());
        double col = w - 1;
        for (double t : longitudes) {
            const double a = t + phase;
            if (a >= 0 && a < kHalfTurn) {
                const double cosA = std::cos(a);
                for (int i = 0; i < h; ++i) {
                    const long long at = pixelAt(w, i, globeColumn(cosA, rows[size_t(i)], w), size);
                    const long long from = pixelAt(w, i, col, size);
                    if (at >= 0 && from >= 0)
                        out[size_t(at)] = source[size_t(from)];
                }
            }
            col -= 0.5;
        }
    };
    // Frames are painted a batch at a time on all threads and added in order.
    const int batch = parallelThreads();
    std::vector<std::vector<uint8_t>> out(static_cast<size_t>(batch), std::vector<uint8_t>(size));
    Result<> stopped;
    produceInOrder(
        n, batch, [&](int k, int slot) { paint(phases[size_t(k)], out[size_t(slot)]); },
        [&](int, int slot) {
            const Result<int> added = addCopyWithPixels(doc, base, out[size_t(slot)]);
            if (!added)
                stopped = fail(added.error());
            return added.ok();
        });
    return stopped;
}

} // namespace velmar
