#include "effects/effects.h"

#include "platform/numeric.h"
#include "shell/document.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace velmar
{
namespace
{

// The constants are the decimals the effect has always used, not a more
// precise pi: the sampled positions (and so the pixels) depend on them.
constexpr double kTwoPi = 6.28318530717958;
constexpr double kPi = 3.14159265358979;
constexpr double kHalfPi = 1.570796326794895;

// Fills out with src turned by angle about the point (W/2, H/2) in pixel-index
// coordinates; each output pixel takes the nearest source pixel at its own
// polar angle plus the turn, or the background where that lies outside.
void turnPicture(const std::vector<uint8_t> &src, std::vector<uint8_t> &out, int w, int h, double angle,
                 uint8_t background)
{
    const double cx = w * 0.5;
    const double cy = h * 0.5;
    for (int j = 0; j < w; ++j) {
        for (int i = 0; i < h; ++i) {
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
            const double sx = roundHalfEven(cx + r * std::cos(theta));
            const double sy = roundHalfEven(cy - r * std::sin(theta));
            const size_t at = size_t(i) * size_t(w) + size_t(j);
            if (sx >= 0 && sx < w && sy >= 0 && sy < h)
                out[at] = src[size_t(sy) * size_t(w) + size_t(sx)];
            else
                out[at] = background;
        }
    }
}

} // namespace

bool autoRotate(Document &doc, int base, int n, int background)
{
    if (!doc.isFrame(base))
        return false;
    // The base frame is the unturned first frame of the sequence and rests a
    // second; the turned copies keep the half second CopyWindow gives them.
    doc.setCell(base + 1, PropertyGrid::ColDelay, QStringLiteral("100"));
    const int w = doc.pic(base).lWidth;
    const int h = doc.pic(base).lHeight;
    const std::vector<uint8_t> src = doc.pic(base).bits;
    if (n < 2)
        return true;
    const double step = kTwoPi / n;
    std::vector<uint8_t> out(src.size());
    double angle = step;
    for (int k = 1; k <= n - 1; ++k) {
        const int f = doc.CopyWindow(base);
        if (f < 0)
            return false;
        turnPicture(src, out, w, h, angle, uint8_t(background));
        std::copy(out.begin(), out.end(), doc.pixelsForWriting(f).begin());
        doc.ShowPic(f);
        angle += step;
    }
    return true;
}

} // namespace velmar
