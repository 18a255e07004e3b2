#include "player/compositor.h"

#include "document/document.h"
#include "platform/numeric.h"

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

Rgb flat(const Rgba &p)
{
    return p.a != 0 ? Rgb{p.r, p.g, p.b} : Compositor::kBackdrop;
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
    clearScreen();
    playPos_ = 0;
    shownFrame_ = -1;
}

void Compositor::clearScreen()
{
    screen_.assign(size_t(scrW_) * size_t(scrH_), Rgba{});
    pending_ = Pending{};
}

Compositor::Tick Compositor::tick()
{
    if (doc_.picCount() <= 0)
        return {};
    // Frames can only go while the player is closed, but a position left
    // beyond the end must still name a frame.
    if (playPos_ < 0 || playPos_ >= doc_.picCount())
        playPos_ = 0;
    const int frame = playPos_;
    drawPlayFrame(frame);
    const int ms = interval(frame);
    playPos_ = frame + 1;
    if (playPos_ >= doc_.picCount())
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

void Compositor::copyRect(const Rect &r, std::vector<Rgba> &out) const
{
    out.clear();
    for (int y = r.y0; y < r.y1; ++y) {
        const auto row = screen_.begin() + ptrdiff_t(y) * scrW_;
        out.insert(out.end(), row + r.x0, row + r.x1);
    }
}

void Compositor::pasteRect(const Rect &r, const std::vector<Rgba> &in)
{
    auto src = in.begin();
    for (int y = r.y0; y < r.y1; ++y) {
        const int n = r.x1 - r.x0;
        std::copy(src, src + n, screen_.begin() + ptrdiff_t(y) * scrW_ + r.x0);
        src += n;
    }
}

void Compositor::applyDisposal()
{
    const Rect &r = pending_.rect;
    switch (pending_.disposal) {
    case 2:
        // Back to the background, which for a player means nothing drawn:
        // viewers let whatever is behind the animation show, not the
        // file's background colour.
        for (int y = r.y0; y < r.y1; ++y)
            std::fill_n(screen_.begin() + ptrdiff_t(y) * scrW_ + r.x0, r.x1 - r.x0, Rgba{});
        break;
    case 3:
        pasteRect(r, pending_.under);
        break;
    default:
        // 0 and 1 leave the picture; 4..7 are undefined and viewers treat
        // them the same way.
        break;
    }
    pending_ = Pending{};
}

void Compositor::drawPlayFrame(int i)
{
    if (!doc_.isFrame(i))
        return;
    if (i == 0)
        clearScreen();
    else
        applyDisposal();

    const PicInfo &pic = doc_.pic(i);
    const PropertyGrid &grid = doc_.grid();
    const int row = i + 1;
    const int64_t x = nearestInteger(grid.TextMatrix(row, PropertyGrid::ColX));
    const int64_t y = nearestInteger(grid.TextMatrix(row, PropertyGrid::ColY));
    const int64_t w = std::max<int64_t>(0, pic.lWidth);
    const int64_t h = std::max<int64_t>(0, pic.lHeight);

    // The frame's rectangle on the canvas, clipped on all four sides. The
    // disposal later works on this rectangle whether or not every pixel of
    // it was drawn.
    Rect rect;
    rect.x0 = int(std::clamp<int64_t>(x, 0, scrW_));
    rect.x1 = int(std::clamp<int64_t>(x + w, 0, scrW_));
    rect.y0 = int(std::clamp<int64_t>(y, 0, scrH_));
    rect.y1 = int(std::clamp<int64_t>(y + h, 0, scrH_));

    pending_.disposal =
        int(std::clamp<int64_t>(nearestInteger(grid.TextMatrix(row, PropertyGrid::ColDisposal)), -1, 8));
    pending_.rect = rect;
    if (pending_.disposal == 3)
        copyRect(rect, pending_.under);

    const bool transparent = nearestInteger(grid.TextMatrix(row, PropertyGrid::ColTransparent)) != 0;
    const int64_t ti = nearestInteger(grid.TextMatrix(row, PropertyGrid::ColTransIndex));
    // An index outside the palette can match no pixel.
    const bool skipsIndex = transparent && ti >= 0 && ti <= 255;

    if (pic.bits.size() >= pic.pixelCount()) {
        for (int sy = rect.y0; sy < rect.y1; ++sy) {
            const uint8_t *src = pic.pBits() + (sy - y) * w;
            Rgba *dst = screen_.data() + ptrdiff_t(sy) * scrW_;
            for (int sx = rect.x0; sx < rect.x1; ++sx) {
                const uint8_t p = src[sx - x];
                if (skipsIndex && p == ti)
                    continue;
                const Rgb c = pic.colors[p];
                dst[sx] = Rgba{c.r, c.g, c.b, 255};
            }
        }
    }
    shownFrame_ = i;
}

Rgb Compositor::colorAt(int x, int y) const
{
    return flat(pixelAt(x, y));
}

QByteArray Compositor::screenPpm() const
{
    QByteArray out = QByteArrayLiteral("P6\n") + QByteArray::number(scrW_) + ' ' + QByteArray::number(scrH_) +
                     QByteArrayLiteral("\n255\n");
    const qsizetype header = out.size();
    out.resize(header + qsizetype(screen_.size()) * 3);
    char *rgb = out.data() + header;
    for (const Rgba &p : screen_) {
        const Rgb c = flat(p);
        *rgb++ = char(c.r);
        *rgb++ = char(c.g);
        *rgb++ = char(c.b);
    }
    return out;
}

} // namespace velmar
