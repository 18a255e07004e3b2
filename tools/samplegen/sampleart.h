#pragma once

// The sample pictures that the effect samples start from: small scenes drawn
// in code in the default colour table, so the build needs no picture files.

#include "platform/palette.h"

#include <cstdint>
#include <vector>

namespace velmar::samplegen
{

// An 8-bit picture in the default colour table, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// A day landscape: sky, sun, hills.
Picture landscape(int width, int height);
// A night scene: dark sky, moon, stars, mountains.
Picture night(int width, int height);
// A red and white chequer with a blue diamond.
Picture chequer(int width, int height);
// A gold medal with a letter on white; the white top-left pixel is the
// background the coin effect leaves out.
Picture medal(int width, int height);
// Oceans and continents for the globe; the blue top-left pixel colours the
// globe's disc.
Picture world(int width, int height);
// The program's name in a pixel font on black, for the scrolling sample.
Picture banner(int width, int height);

} // namespace velmar::samplegen
