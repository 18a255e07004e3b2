#pragma once

#include <array>
#include <cstdint>

namespace velmar {

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    friend bool operator==(const Rgb &, const Rgb &) = default;
};

using ColorTable = std::array<Rgb, 256>;

// The entry among the first nColors of the table closest to (r, g, b) by
// squared RGB distance; the lowest index wins a tie. nColors is clamped to
// 1..256, so the result is always a valid index.
int nearestPaletteIndex(const ColorTable &table, int nColors, int r, int g, int b);

// The palette that a frame without any colour table of its own gets: a grey
// ramp, blue, green and red ramps and the 6x6x6 colour cube without black.
const ColorTable &defaultColorTable();

} // namespace velmar
