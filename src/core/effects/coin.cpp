#include "effects/geometric.h"
#include "platform/angles.h"

#include "document/document.h"
#include "platform/numeric.h"
#include "platform/palette.h"
#include "platform/parallel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
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

// sum + value / 2, rounded half to even: the sum of the back's colours kept
// in whole numbers after every pixel, as the averages expect, without going
// through floating point. An odd value leaves sum + (value - 1) / 2 and a
// half, which goes to the even one of the two neighbours.
inline int64_t addHalf(int64_t sum, int value)
{
    const int64_t t = sum + (value >> 1);
    return t + (t & value & 1);
}

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

    // The sums of one frame, column by column: the paint walks down the
    // columns, and row by row every step would land on another page. Cells
    // are zero between frames: the output pass clears the ones it reads.
    struct Cell {
        int64_t red;
        int64_t green;
        int64_t blue;
        int64_t hits;
    };
    struct Slot {
        std::vector<uint8_t> out;
        std::vector<Cell> cells;
        NearestPalette nearest;
    };

    // Paints the coin at angle theta into slot.out, all but the edge.
    auto paint = [&](double theta, Slot &slot) {
        std::vector<uint8_t> &out = slot.out;
        std::fill(out.begin(), out.end(), background);
        // The back of the coin faces the viewer: half brightness.
        const bool halfBright = theta >= kQuarterTurn && theta <= kThreeQuarterTurn;
        const double cosTheta = std::cos(theta);
        const double sinTheta = std::sin(theta);
        for (int j = 0; j < w; ++j) {
            const int cx = int(roundHalfEven(centre + cosTheta * (j - centre)));
            if (cx < 0 || cx >= w)
                continue;
            Cell *const column = slot.cells.data() + size_t(cx) * size_t(pictureRows);
            // The near half of the turning coin grows to 1.2, the far half shrinks to 0.8.
            const double s = 1 + sinTheta * (j - centre) / ((w - 1) * 2.5);
            const double top = (1.2 - s) * h / 2;
            // Half-row steps: a column stretched to 1.2 leaves no gaps between
            // rows. Steps that land on the row of the step before add up in
            // a register copy of the cell, in the same order, rather than
            // waiting on the cell in memory each time.
            const uint8_t *const sourceColumn = columns.data() + size_t(j) * size_t(h);
            Cell *run = nullptr;
            Cell sum{};
            for (double y = 0; y <= h - 1; y += 0.5) {
                const uint8_t p = sourceColumn[size_t(std::floor(y))];
                if (p == background)
                    continue;
                const double r = std::floor(top + s * y);
                if (!(r >= 0 && r < pictureRows))
                    continue;
                Cell *const cell = column + size_t(r);
                if (cell != run) {
                    if (run)
                        *run = sum;
                    run = cell;
                    sum = *cell;
                }
                const Rgb &c = colors[p];
                if (halfBright) {
                    sum.red = addHalf(sum.red, c.r);
                    sum.green = addHalf(sum.green, c.g);
                    sum.blue = addHalf(sum.blue, c.b);
                } else {
                    sum.red += c.r;
                    sum.green += c.g;
                    sum.blue += c.b;
                }
                ++sum.hits;
            }
            if (run)
                *run = sum;
        }
        for (size_t x = 0; x < size_t(w); ++x) {
            Cell *const column = slot.cells.data() + x * size_t(pictureRows);
            for (size_t r = 0; r < size_t(pictureRows); ++r) {
                Cell &cell = column[r];
                if (cell.hits == 0)
                    continue;
                out[r * size_t(w) + x] = uint8_t(
                    slot.nearest(int(cell.red / cell.hits), int(cell.green / cell.hits), int(cell.blue / cell.hits)));
                cell = {0, 0, 0, 0};
            }
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
        slot.cells.assign(outSize, Cell{0, 0, 0, 0});
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
            return true;
        });
    return stopped;
}

} // namespace velmar
