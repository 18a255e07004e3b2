#include "effects/geometric.h"
#include "platform/angles.h"

#include "document/document.h"
#include "platform/numeric.h"
#include "platform/palette.h"
#include "platform/parallel.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace velmar
{
namespace
{

constexpr double kQuarterTurn = 1.570796326794895;
constexpr double kHalfTurn = kPi;
constexpr double kThreeQuarterTurn = 4.712388980384685;
constexpr double kFullTurn = kTwoPi;

// The thickest edge, in pixels, when the coin stands side-on.
constexpr double kMaxThickness = 5;

struct Cell {
    int64_t red;
    int64_t green;
    int64_t blue;
    int64_t hits;
};

// A palette entry's channels, and for the back of the coin their halves and
// odd bits: the back adds value / 2 rounded half to even, the sum of the
// back's colours kept in whole numbers after every pixel, as the averages
// expect, without going through floating point. t = sum + (value >> 1), and
// an odd value leaves t and a half, which goes to the even one of the two
// neighbours: t + (t & 1).
struct Channels {
    int64_t value[3];
    int64_t half[3];
    int64_t odd[3];
};

// Adds one picture column of h pixels to the sums of its target column, in
// half-row steps (y = 0, 0.5, 1, ... h - 1): a column stretched to 1.2 leaves
// no gaps between rows. The column's sums stay in the first-level cache, so
// each step adds to its cell in memory; a step that lands on the row of the
// step before waits for that store, which costs less than the branch that
// would keep the sums of a run of steps in registers (it goes wrong nearly
// every other row).
template <bool HalfBright>
void addColumn(Cell *column, const uint8_t *sourceColumn, int h, double top, double s, int pictureRows,
               uint8_t background, const Channels *channels)
{
    // The row a step lands on grows with the step (s > 0), so the steps
    // that land inside, 0 <= v < pictureRows, are one run: found first, with
    // the same arithmetic, and the steps in it need no test. floor(v) is then
    // truncation.
    const double rows = pictureRows;
    auto landing = [&](int step) { return top + s * (step * 0.5); };
    int first = 0;
    int last = 2 * (h - 1);
    while (first <= last && !(landing(first) >= 0))
        ++first;
    while (last >= first && !(landing(last) < rows))
        --last;
    auto add = [&](int step, const Channels &c) {
        Cell &cell = column[int(landing(step))];
        if constexpr (HalfBright) {
            // addHalf, with the value's half and odd bit looked up.
            const int64_t red = cell.red + c.half[0];
            const int64_t green = cell.green + c.half[1];
            const int64_t blue = cell.blue + c.half[2];
            cell.red = red + (red & c.odd[0]);
            cell.green = green + (green & c.odd[1]);
            cell.blue = blue + (blue & c.odd[2]);
        } else {
            cell.red += c.value[0];
            cell.green += c.value[1];
            cell.blue += c.value[2];
        }
        ++cell.hits;
    };
    // Steps 2k and 2k + 1 (y = k and k + 0.5) read picture row k, so they go
    // in pairs where both are in the run.
    int step = first;
    if (step <= last && step % 2 == 1) {
        if (const uint8_t p = sourceColumn[step >> 1]; p != background)
            add(step, channels[p]);
        ++step;
    }
    for (; step + 1 <= last; step += 2) {
        const uint8_t p = sourceColumn[step >> 1];
        if (p == background)
            continue;
        add(step, channels[p]);
        add(step + 1, channels[p]);
    }
    if (step <= last)
        if (const uint8_t p = sourceColumn[step >> 1]; p != background)
            add(step, channels[p]);
}

// The edge, drawn in one direction over the frame: every background pixel
// among the first `edge` background pixels after a picture pixel (counting
// on from the previous frame in edgeLeft) takes the colour thickness. Runs of
// picture and of background pixels are skipped eight bytes at a time.
class EdgeScan
{
  public:
    EdgeScan(uint8_t *pixels, size_t size, uint8_t background) : pixels_(pixels), size_(size), background_(background)
    {
    }

    template <bool Backwards> void draw(int edge, uint8_t thickness, int &edgeLeft) const
    {
        // Positions count in the direction of the scan.
        size_t d = 0;
        while (d < size_) {
            const size_t picture = skip<Backwards, true>(d);
            if (picture > d)
                edgeLeft = edge;
            d = picture;
            for (; edgeLeft > 0 && d < size_ && at<Backwards>(d) == background_; ++d, --edgeLeft)
                at<Backwards>(d) = thickness;
            d = skip<Backwards, false>(d);
        }
    }

  private:
    template <bool Backwards> uint8_t &at(size_t d) const { return pixels_[Backwards ? size_ - 1 - d : d]; }

    // A mask with the top bit of every byte of word that is not zero.
    static uint64_t nonZeroBytes(uint64_t word)
    {
        constexpr uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
        return (((word & low7) + low7) | word) & ~low7;
    }

    // The first position from d on whose pixel is background (Picture) or
    // is not (!Picture), or size_.
    template <bool Backwards, bool Picture> size_t skip(size_t d) const
    {
        const uint64_t pattern = 0x0101010101010101ull * background_;
        while (d + 8 <= size_) {
            uint64_t word = 0;
            std::memcpy(&word, pixels_ + (Backwards ? size_ - d - 8 : d), 8);
            const uint64_t other = nonZeroBytes(word ^ pattern);
            const uint64_t stop = Picture ? ~other & 0x8080808080808080ull : other;
            if (stop != 0) {
                // Bytes in memory order: the lowest byte is the first forwards, the highest the first backwards.
                const int byte = Backwards ? (63 - std::countl_zero(stop)) / 8 : std::countr_zero(stop) / 8;
                return d + size_t(Backwards ? 7 - byte : byte);
            }
            d += 8;
        }
        while (d < size_ && (at<Backwards>(d) == background_) != Picture)
            ++d;
        return d;
    }

    uint8_t *pixels_;
    size_t size_;
    uint8_t background_;
};

} // namespace

Result<> autoCardTurn(Document &doc, int base, int n, int thickness)
{
    if (!doc.isFrame(base) || doc.pic(base).lWidth < 2)
        return badArguments();
    // Copies: adding frames moves the frame records.
    const int w = doc.pic(base).lWidth;
    const int h = doc.pic(base).lHeight;
    const std::vector<uint8_t> source = doc.pic(base).bits;
    const ColorTable colors = doc.pic(base).colors;
    const int nColors = doc.pic(base).nColors;
    const uint8_t background = source[0];
    // The picture column by column, the order the paint reads it in.
    std::vector<uint8_t> columns(source.size());
    for (size_t y = 0; y < size_t(h); ++y)
        for (size_t x = 0; x < size_t(w); ++x)
            columns[x * size_t(h) + y] = source[y * size_t(w) + x];

    // The frame is rounded to 1.2 H rows, the picture covers the rows below
    // 1.2 H; when they differ the last row keeps the background.
    const int frameHeight = int(roundHalfEven(h * 1.2));
    const int pictureRows = int(std::floor(h * 1.2));
    const size_t outSize = size_t(pictureRows) * size_t(w);
    const double centre = double(w - 1) / 2;

    // The sums of one target column. The columns of the picture land on
    // target columns in order (the turn maps them monotonically), so all the
    // picture columns that share a target column come one after another: their
    // sums are made in this small buffer, which stays in the first-level
    // cache, matched and written out, and cleared for the next target column.
    struct Slot {
        std::vector<uint8_t> out;
        std::vector<Cell> column;
        std::vector<int> targetColumn;
        NearestPalette nearest;
    };
    // The averages go through double division when every sum is below 2^53:
    // a quotient that is not whole is at least 1/hits from the next integer,
    // more than the rounding error of the division, so truncating gives the
    // integer quotient exactly, at a fraction of the cost of 64-bit division.
    const bool divideInDouble = double(w) * double(2 * h) * 255 < 0x1p53;
    auto average = [divideInDouble](int64_t sum, int64_t hits) {
        return divideInDouble ? int(double(sum) / double(hits)) : int(sum / hits);
    };

    std::array<Channels, 256> channels{};
    for (size_t i = 0; i < 256; ++i) {
        const uint8_t c[3] = {colors[i].r, colors[i].g, colors[i].b};
        for (size_t k = 0; k < 3; ++k) {
            channels[i].value[k] = c[k];
            channels[i].half[k] = c[k] >> 1;
            channels[i].odd[k] = c[k] & 1;
        }
    }

    // Paints the coin at angle theta into slot.out, all but the edge.
    auto paint = [&](double theta, Slot &slot) {
        std::vector<uint8_t> &out = slot.out;
        std::fill(out.begin(), out.end(), background);
        // The back of the coin faces the viewer: half brightness.
        const bool halfBright = theta >= kQuarterTurn && theta <= kThreeQuarterTurn;
        const double cosTheta = std::cos(theta);
        const double sinTheta = std::sin(theta);
        for (int j = 0; j < w; ++j)
            slot.targetColumn[size_t(j)] = int(roundHalfEven(centre + cosTheta * (j - centre)));
        Cell *const column = slot.column.data();
        for (int first = 0; first < w;) {
            const int cx = slot.targetColumn[size_t(first)];
            int end = first + 1;
            while (end < w && slot.targetColumn[size_t(end)] == cx)
                ++end;
            if (cx < 0 || cx >= w) {
                first = end;
                continue;
            }
            for (int j = first; j < end; ++j) {
                // The near half of the turning coin grows to 1.2, the far half shrinks to 0.8.
                const double s = 1 + sinTheta * (j - centre) / ((w - 1) * 2.5);
                const double top = (1.2 - s) * h / 2;
                const uint8_t *const sourceColumn = columns.data() + size_t(j) * size_t(h);
                if (halfBright)
                    addColumn<true>(column, sourceColumn, h, top, s, pictureRows, background, channels.data());
                else
                    addColumn<false>(column, sourceColumn, h, top, s, pictureRows, background, channels.data());
            }
            uint8_t *const target = out.data() + size_t(cx);
            for (size_t r = 0; r < size_t(pictureRows); ++r) {
                Cell &cell = column[r];
                if (cell.hits == 0)
                    continue;
                target[r * size_t(w)] = uint8_t(slot.nearest(
                    average(cell.red, cell.hits), average(cell.green, cell.hits), average(cell.blue, cell.hits)));
                cell = {0, 0, 0, 0};
            }
            first = end;
        }
    };

    // The angles by repeated addition, as the turn proceeds.
    const double step = kFullTurn / n;
    std::vector<double> angles;
    for (double theta = 0; int(angles.size()) < n; theta += step)
        angles.push_back(theta);

    // The edge counter runs on across rows and frames: a run of picture
    // pixels at the end of one row gives its edge to the start of the next.
    // So frames are painted a batch at a time on all threads, and their edges
    // drawn and the frames added in order.
    int edgeLeft = 0;
    const int slotCount = parallelThreads();
    std::vector<Slot> buffers(static_cast<size_t>(slotCount));
    for (Slot &slot : buffers) {
        slot.out.resize(outSize);
        slot.column.assign(size_t(pictureRows), Cell{0, 0, 0, 0});
        slot.targetColumn.resize(size_t(w));
        slot.nearest.reset(colors, nColors);
    }
    Result<> stopped;
    produceInOrder(
        n, slotCount, [&](int k, int slot) { paint(angles[size_t(k)], buffers[size_t(slot)]); },
        [&](int k, int slot) {
            const Result<int> added = doc.NewWindow(base, w, frameHeight, background);
            if (!added) {
                stopped = fail(added.error());
                return false;
            }
            const int f = *added;
            std::vector<uint8_t> &out = buffers[size_t(slot)].out;
            const double theta = angles[size_t(k)];
            // The edge shows on the side of the picture that the turn decides: the
            // scan runs backwards from the first side-on position to the half
            // turn and again from the second side-on position on.
            const int edge = int(roundHalfEven(std::abs(kMaxThickness * std::sin(theta))));
            const bool backwards = theta >= kQuarterTurn && (theta <= kHalfTurn || theta >= kThreeQuarterTurn);
            const EdgeScan scan(out.data(), outSize, background);
            if (backwards)
                scan.draw<true>(edge, uint8_t(thickness), edgeLeft);
            else
                scan.draw<false>(edge, uint8_t(thickness), edgeLeft);
            std::copy(out.begin(), out.end(), doc.pixelsForWriting(f).begin());
            doc.ShowPic(f);
            return true;
        });
    return stopped;
}

} // namespace velmar
