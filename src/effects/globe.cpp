#include "effects/geometric.h"

#include "platform/numeric.h"
#include "shell/document.h"

#include <cmath>
#include <vector>

namespace velmar
{
namespace
{

constexpr double kHalfTurn = 3.14159265358979;
constexpr double kFullTurn = 6.28318530717958;

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

// The column of longitude a (0 at the right edge of the disc, pi at the left)
// on the given row of a w pixels wide globe.
double globeColumn(double a, const GlobeRow &row, int w)
{
    const double c = row.q == 0 ? std::cos(a) : std::cos(a) * row.u / row.q;
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

bool autoGlobe(Document &doc, int base, int n, int background)
{
    if (!doc.isFrame(base) || doc.pic(base).lWidth < 3 || doc.pic(base).lHeight < 2)
        return false;
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

    std::vector<uint8_t> out(size);
    double phase = -kHalfTurn;
    const double dstep = kFullTurn / n;
    for (int k = 1; k <= n; ++k) {
        const int f = doc.CopyWindow(base);
        if (f < 0)
            return false;
        std::fill(out.begin(), out.end(), uint8_t(background));

        for (double t : longitudes)
            for (int i = 0; i < h; ++i) {
                const long long at = pixelAt(w, i, globeColumn(t, rows[size_t(i)], w), size);
                if (at >= 0)
                    out[size_t(at)] = disc;
            }

        // Source columns from the last one leftwards, half a column per
        // longitude; only the front half of the globe is drawn, and a later
        // column landing on a pixel replaces the earlier one.
        double col = w - 1;
        for (double t : longitudes) {
            const double a = t + phase;
            if (a >= 0 && a < kHalfTurn)
                for (int i = 0; i < h; ++i) {
                    const long long at = pixelAt(w, i, globeColumn(a, rows[size_t(i)], w), size);
                    const long long from = pixelAt(w, i, col, size);
                    if (at >= 0 && from >= 0)
                        out[size_t(at)] = source[size_t(from)];
                }
            col -= 0.5;
        }

        std::copy(out.begin(), out.end(), doc.pixelsForWriting(f).begin());
        doc.ShowPic(f);
        phase += dstep;
    }
    return true;
}

} // namespace velmar
