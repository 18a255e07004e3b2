#pragma once

#include "document/document.h"

#include <vector>

namespace velmar::test
{

// A palette whose entry k is (k, 255 - k, k * 7 mod 256) shifted by seed, so
// two frames with different seeds have different colours everywhere.
ColorTable rampPalette(int seed);

// Entry k is the grey (k, k, k): an index is its own brightness, so
// averages and half brightness can be read off as numbers.
ColorTable greys();

// Adds a frame the way the reader does: staging slot, pixels, grid row,
// commit. Returns its number, or -1 when the Document refuses the frame.
int addFrame(Document &doc, int width, int height, const std::vector<uint8_t> &pixels, int nColors,
             const ColorTable &colors);

// The number of a frame that must have been added; a refusal fails the test
// with the Document's reason and gives -1.
int addedFrame(const Result<int> &added);

} // namespace velmar::test
