#pragma once

#include "document/pixelbuffer.h"
#include "platform/palette.h"

#include <cstddef>
#include <cstdint>

namespace velmar
{

// One frame: an 8-bit palette picture. The pixel buffer holds lWidth x lHeight
// indices, top row first, rows exactly lWidth bytes with no padding. Moving a
// record moves its buffer; pixels are never copied when frames are reordered.
struct PicInfo {
    int16_t nColors = 0; // entries of colors in use (2..256)
    int32_t lWidth = 0;
    int32_t lHeight = 0;
    PixelBuffer bits;
    // Entries at and beyond nColors are black, so nothing stale from an
    // earlier frame can show through.
    ColorTable colors{};

    uint8_t *pBits() { return bits.data(); }
    const uint8_t *pBits() const { return bits.data(); }
    size_t pixelCount() const { return size_t(lWidth) * size_t(lHeight); }

    // Sets the colour count and blacks out the entries beyond it.
    void setColorCount(int count);
};

} // namespace velmar
