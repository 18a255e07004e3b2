#include "effects/geometric.h"

#include "platform/numeric.h"
#include "shell/document.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace velmar
{
namespace
{

constexpr double kQuarterTurn = 1.570796326794895;
constexpr double kHalfTurn = 3.14159265358979;
constexpr double kThreeQuarterTurn = 4.712388980384685;
constexpr double kFullTurn = 6.28318530717958;

// The thickest edge, in pixels, when the coin stands side-on.
constexpr double kMaxThickness = 5;

} // namespace

bool autoCardTurn(Document &doc, int base, int n, int thickness)
{
    if (!doc.isFrame(base) || doc.pic(base).lWidth < 2)
        return false;
    // Copies: adding frames moves the frame records.
    const int w = doc.pic(base).lWidth;
    const int h = doc.pic(base).lHeight;
    const std::vector<uint8_t> source = doc.pic(base).bits;
    const ColorTable colors = doc.pic(base).colors;
    const int nColors = doc.pic(base).nColors;
    const uint8_t background = source[0];

    // The frame is rounded to 1.2 H rows, the picture covers the rows below
    // 1.2 H; when they differ the last row keeps the background.
    const int frameHeight = int(roundHalfEven(h * 1.2));
    const int pictureRows = int(std::floor(h * 1.2));
    const size_t outSize = size_t(pictureRows) * size_t(w);
    const double centre = double(w - 1) / 2;

    std::vector<uint8_t> out(outSize);
    std::vector<int64_t> sumRed(outSize);
    std::vector<int64_t> sumGreen(outSize);
    std::vector<int64_t> sumBlue(outSize);
    std::vector<int64_t> hits(outSize);

    // The edge counter runs on across rows and frames: a run of picture
    // pixels at the end of one row gives its edge to the start of the next.
    int edgeLeft = 0;
    const double step = kFullTurn / n;
    double theta = 0;
    for (int k = 1; k <= n; ++k) {
        const int f = doc.NewWindow(base, w, frameHeight, background);
        if (f < 0)
            return false;
        std::fill(out.begin(), out.end(), background);
        std::fill(sumRed.begin(), sumRed.end(), 0);
        std::fill(sumGreen.begin(), sumGreen.end(), 0);
        std::fill(sumBlue.begin(), sumBlue.end(), 0);
        std::fill(hits.begin(), hits.end(), 0);

        // The back of the coin faces the viewer: half brightness.
        const double weight = (theta >= kQuarterTurn && theta <= kThreeQuarterTurn) ? 0.5 : 1.0;
        const double cosTheta = std::cos(theta);
        const double sinTheta = std::sin(theta);
        for (int j = 0; j < w; ++j) {
            const int cx = int(roundHalfEven(centre + cosTheta * (j - centre)));
            // The near half of the turning coin grows to 1.2, the far half shrinks to 0.8.
            const double s = 1 + sinTheta * (j - centre) / ((w - 1) * 2.5);
            // Half-row steps: a column stretched to 1.2 leaves no gaps between rows.
            for (double y = 0; y <= h - 1; y += 0.5) {
                const uint8_t p = source[size_t(std::floor(y)) * size_t(w) + size_t(j)];
                if (p == background)
                    continue;
                const double r = std::floor((1.2 - s) * h / 2 + s * y);
                if (!(r >= 0 && r < pictureRows) || cx < 0 || cx >= w)
                    continue;
                const size_t d = size_t(r) * size_t(w) + size_t(cx);
                const Rgb &c = colors[p];
                sumRed[d] = int64_t(roundHalfEven(double(sumRed[d]) + c.r * weight));
                sumGreen[d] = int64_t(roundHalfEven(double(sumGreen[d]) + c.g * weight));
                sumBlue[d] = int64_t(roundHalfEven(double(sumBlue[d]) + c.b * weight));
                ++hits[d];
            }
        }
        for (size_t d = 0; d < outSize; ++d)
            if (hits[d] > 0)
                out[d] = uint8_t(nearestPaletteIndex(colors, nColors, int(sumRed[d] / hits[d]),
                                                     int(sumGreen[d] / hits[d]), int(sumBlue[d] / hits[d])));

        // The edge shows on the side of the picture that the turn decides: the
        // scan runs backwards from the first side-on position to the half
        // turn and again from the second side-on position on.
        const int edge = int(roundHalfEven(std::abs(kMaxThickness * sinTheta)));
        const bool backwards = theta >= kQuarterTurn && (theta <= kHalfTurn || theta >= kThreeQuarterTurn);
        auto visit = [&](size_t d) {
            if (out[d] == background) {
                if (edgeLeft > 0) {
                    out[d] = uint8_t(thickness);
                    --edgeLeft;
                }
            } else {
                edgeLeft = edge;
            }
        };
        if (backwards)
            for (size_t d = outSize; d-- > 0;)
                visit(d);
        else
            for (size_t d = 0; d < outSize; ++d)
                visit(d);

        std::copy(out.begin(), out.end(), doc.pixelsForWriting(f).begin());
        doc.ShowPic(f);
        theta += step;
    }
    return true;
}

} // namespace velmar
