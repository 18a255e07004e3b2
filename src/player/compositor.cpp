#include "player/compositor.h"

#include "platform/numeric.h"
#include "shell/document.h"

#include <algorithm>
#include <cmath>

namespace velmar
{
namespace
{

// Cells and fields are free text (the grid accepts anything). A text that is
// not a number counts as 0; a number is taken to the nearest integer, halves
// to even. The result is held far inside 64 bits so that positions and sizes
// can be added and subtracted below without overflow, however large the
// typed value.
int64_t nearestInteger(const QString &text)
{
    constexpr double kLimit = 1e15;
    const double value = std::clamp(parseNumber(text).value_or(0.0), -kLimit, kLimit);
    return int64_t(roundHalfEven(value));
}

int canvasSide(const QString &text)
{
    return int(std::clamp<int64_t>(nearestInteger(text), 0, Compositor::kMaxCanvasSide));
}

} // namespace

Compositor::Compositor(Document &doc) : doc_(doc)
{
    load();
}

void Compositor::load()
{
    scrW_ = canvasSide(doc_.globals().width);
    scrH_ = canvasSide(doc_.globals().height);
    const size_t size = size_t(scrW_) * size_t(scrH_);
    scrShown_.assign(size, 0);
    scrSaved_.assign(size, 0);
    playPos_ = 0;
    shownFrame_ = -1;
    shownColors_ = ColorTable{};
}

Compositor::Tick Compositor::tick()
{
    if (doc_.gPicCount <= 0)
        return {};
    // Frames can only go while the player is closed, but a position left
    // beyond the end must still name a frame.
    if (playPos_ < 0 || playPos_ >= doc_.gPicCount)
        playPos_ = 0;
    const int frame = playPos_;
    drawPlayFrame(frame);
    const int ms = interval(frame);
    playPos_ = frame + 1;
    if (playPos_ >= doc_.gPicCount)
        playPos_ = 0;
    return {true, frame, ms};
}

int Compositor::interval(int i) const
{
    const QString delay = doc_.grid().TextMatrix(i + 1, PropertyGrid::ColDelay);
    const double tenths = std::clamp(parseNumber(delay).value_or(0.0), -1e9, 1e9) * 10.0;
    const double ms = roundHalfEven(tenths);
    if (ms <= 0)
        return kMinIntervalMs;
    return int(std::min<double>(ms, kMaxIntervalMs));
}

void Compositor::drawPlayFrame(int i)
{
    if (!doc_.isFrame(i))
        return;
    const PicInfo &pic = doc_.pic(i);
    const PropertyGrid &grid = doc_.grid();
    const int row = i + 1;
    const int64_t x = nearestInteger(grid.TextMatrix(row, PropertyGrid::ColX));
    const int64_t y = nearestInteger(grid.TextMatrix(row, PropertyGrid::ColY));

    // The frame's disposal decides what it is drawn over. The values keep the
    // meanings the grid's help text gives the user: 2 goes back to the
    // screen before the previous frame, 3 clears to index 0.
    switch (nearestInteger(grid.TextMatrix(row, PropertyGrid::ColDisposal))) {
    case 2:
        scrShown_ = scrSaved_;
        break;
    case 3:
        std::fill(scrShown_.begin(), scrShown_.end(), uint8_t(0));
        break;
    default:
        break;
    }

    const bool transparent = nearestInteger(grid.TextMatrix(row, PropertyGrid::ColTransparent)) != 0;
    const int64_t ti = nearestInteger(grid.TextMatrix(row, PropertyGrid::ColTransIndex));
    // An index outside the palette can match no pixel.
    const bool skipsIndex = transparent && ti >= 0 && ti <= 255;

    scrSaved_ = scrShown_;

    const int64_t w = pic.lWidth;
    const int64_t h = pic.lHeight;
    if (w > 0 && h > 0 && pic.bits.size() >= pic.pixelCount()) {
        // Clip on all four sides: frame columns k with 0 <= k + x < scrW, rows
        // r with 0 <= r + y < scrH.
        const int64_t k0 = std::max<int64_t>(0, -x);
        const int64_t k1 = std::min<int64_t>(w, int64_t(scrW_) - x);
        const int64_t r0 = std::max<int64_t>(0, -y);
        const int64_t r1 = std::min<int64_t>(h, int64_t(scrH_) - y);
        for (int64_t r = r0; r < r1; ++r) {
            const uint8_t *src = pic.pBits() + r * w;
            const int64_t screenRow = (r + y) * int64_t(scrW_);
            for (int64_t k = k0; k < k1; ++k) {
                const uint8_t p = src[k];
                if (!skipsIndex || p != ti)
                    scrShown_[size_t(screenRow + k + x)] = p;
            }
        }
    }
    shownFrame_ = i;
    shownColors_ = pic.colors;
}

QByteArray Compositor::screenPpm() const
{
    QByteArray out = QByteArrayLiteral("P6\n") + QByteArray::number(scrW_) + ' ' + QByteArray::number(scrH_) +
                     QByteArrayLiteral("\n255\n");
    const qsizetype header = out.size();
    out.resize(header + qsizetype(scrShown_.size()) * 3);
    char *rgb = out.data() + header;
    for (uint8_t index : scrShown_) {
        const Rgb c = shownColors_[index];
        *rgb++ = char(c.r);
        *rgb++ = char(c.g);
        *rgb++ = char(c.b);
    }
    return out;
}

} // namespace velmar
