#pragma once

// The pixel effects of the auto-create dialog. Each takes the values it would
// read from the dialog as arguments (window numbers and the frame count
// already checked and rounded by the Create command), appends its frames to
// the Document through CopyWindow / NewWindow, draws each frame with ShowPic
// as soon as it is filled, and writes the delays of its sequence into the
// property grid.
//
// Each succeeds when it added all its frames. When the Document refuses a
// frame the effect stops at once and returns the Document's reason; the
// frames added so far stay. Values no picture can take (no such window,
// windows of different sizes, a base too small, a tiling with more tiles
// than pixels) add nothing and fail with badArguments().

#include "platform/result.h"

#include <cstdint>
#include <span>

namespace velmar
{
class Document;
}

namespace velmar
{

// The failure of an effect called with values the Create command refuses
// before it runs one, in the words that command uses for them.
inline Error badArguments()
{
    return fail(QStringLiteral("パラメーターに誤りがあります。"));
}

// Appends a copy of frame base whose picture is pixels (as many as the
// frame has) and shows it: how the effects that paint a whole frame away
// from the Document add it.
Result<int> addCopyWithPixels(Document &doc, int base, std::span<const uint8_t> pixels);

// Turns the base frame once about its centre over n frames (n - 1 added);
// corners that map outside the picture take the background index.
Result<> autoRotate(Document &doc, int base, int n, int background);

// Mosaics of block size 2, 4, ..., 2^(n-1), then the same again from the
// second-coarsest back to the finest: 2n - 3 frames.
Result<> autoMosaic(Document &doc, int base, int n);

// Erases the base frame tile by tile in random order (tilesX x tilesY tiles;
// 0 means one tile per pixel column / row), then plays it back: 2n - 1 frames.
Result<> autoTileErase(Document &doc, int tilesX, int tilesY, int n, int base, int colour);

// Dissolves window from into window to pixel by pixel in random order, adds a
// copy of to, then plays it back: 2n - 1 frames. Both windows must have the
// same size (the Create command checks this).
Result<> autoFromTo(Document &doc, int from, int to, int n);

// Runs the base picture from right to left through a window width pixels
// wide: n frames.
Result<> autoTicker(Document &doc, int base, int n, int width);

// Window 2 slides in from the top and pushes window 1 down and out: n - 2
// intermediate frames and a copy of window 2 (nothing when n < 3). Both
// windows must have the same size (the Create command checks this).
Result<> autoSlideDown(Document &doc, int window1, int window2, int n);

} // namespace velmar
