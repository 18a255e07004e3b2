#pragma once

// Painting one face of a turning solid into a plain picture buffer: a whole
// frame mapped into a quadrilateral, the outline of a quadrilateral, and the
// polar step that builds the solids' vertices. The buffer holds one palette
// index per pixel, targetWidth bytes per row, row 0 at the top; the routines
// change it in place and never touch the Document.

#include "platform/palette.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace velmar
{

struct PicInfo;

// Four corner points, always in this order: point 1 bottom-right, point 2
// bottom-left, point 3 top-left, point 4 top-right (where the picture's
// corners go in mapToQuad).
struct Quad {
    int16_t x1 = 0, y1 = 0;
    int16_t x2 = 0, y2 = 0;
    int16_t x3 = 0, y3 = 0;
    int16_t x4 = 0, y4 = 0;
};

// Maps every pixel of source forwards into the quadrilateral: source row sy
// runs along the line from the point sy/Hs of the way down the left edge
// (3 -> 2) to the same point of the right edge (4 -> 1), and column sx lands
// sx/Ws of the way along it. Colours that land on one target pixel are
// averaged channel by channel (truncating) and matched to the nearest of the
// first paletteCount entries of palette; target pixels that nothing lands on
// keep their value. Points outside the buffer are dropped, pixel by pixel.
void mapToQuad(const PicInfo &source, std::span<uint8_t> buffer, int targetWidth, int targetHeight,
               const ColorTable &palette, int paletteCount, const Quad &q);

// The working memory of mapToQuad, for a caller that maps many faces on one
// thread: the sums grow to the largest box and are all zero between calls
// (each call clears the cells it used as it writes them), and the palette
// matches stay while the palette does. The sums of a picture of up to
// 2^32 / 255 pixels are packed 16 bits per channel into packedSums, and
// those of a cell that more than 257 pixels land on move to 32-bit sums,
// which cannot overflow even when all of the picture lands on one pixel (a
// degenerate quadrilateral); a larger picture takes the 64-bit sums.
struct QuadScratch {
    template <typename T> struct SumOf {
        T red;
        T green;
        T blue;
        T hits;
    };
    std::vector<uint64_t> packedSums;
    std::vector<SumOf<uint32_t>> sums;
    std::vector<SumOf<uint64_t>> wideSums;
    std::vector<int32_t> rowCells; // where each pixel of a source row lands, or -1
    // Each palette entry of the source as the packed sums of one pixel.
    std::array<uint64_t, 256> colours;
    NearestPalette nearest;
};
void mapToQuad(const PicInfo &source, std::span<uint8_t> buffer, int targetWidth, int targetHeight,
               const ColorTable &palette, int paletteCount, const Quad &q, QuadScratch &scratch);

// Outlines the quadrilateral in colour: the left (3 -> 2) and right (4 -> 1)
// edges with verticalSteps + 1 points each, the top (3 -> 4) and bottom
// (2 -> 1) edges with horizontalSteps + 1 points each, whatever their length.
// A pair of edges with fewer than 1 step is not drawn. Points outside the
// buffer are dropped.
void drawQuadEdges(std::span<uint8_t> buffer, int horizontalSteps, int verticalSteps, int targetWidth, int targetHeight,
                   int colour, const Quad &q);

// Moves (x, y) by length in the direction angle (radians).
void addPolar(double &x, double &y, double angle, double length);

} // namespace velmar
