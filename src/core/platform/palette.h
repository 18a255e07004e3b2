#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace velmar
{

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

// nearestPaletteIndex for many colours against one table: the same answer for
// every colour, remembered. The RGB cube is cut into 32 x 32 x 32 cells; the
// first time a colour of a cell is asked, the cell gets the list (in index
// order) of the entries that can be nearest to some colour in it, and each
// question scans that short list instead of the table. Recent exact answers
// sit in front of it. One object per thread.
class NearestPalette
{
  public:
    NearestPalette() = default;
    NearestPalette(const ColorTable &table, int nColors) { reset(table, nColors); }
    // Answers for this table from now on; what is known stays when the table
    // and the count are those of the last call.
    void reset(const ColorTable &table, int nColors);
    int operator()(int r, int g, int b)
    {
        if ((unsigned(r) | unsigned(g) | unsigned(b)) > 255u)
            return nearestPaletteIndex(table_, count_, r, g, b);
        const uint32_t key = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
        const Recent &e = recent_[(key * 2654435761u) >> (32 - kRecentBits)];
        return e.key == key ? e.index : lookUp(r, g, b, key);
    }

  private:
    static constexpr int kRecentBits = 12;
    static constexpr uint32_t kNoKey = 0xFFFFFFFFu; // no colour has this key
    struct Recent {
        uint32_t key = kNoKey;
        uint8_t index = 0;
    };
    struct Cell {
        uint32_t start = 0;
        uint16_t count = 0; // 0: list not made yet
    };
    int lookUp(int r, int g, int b, uint32_t key);
    const Cell &cell(int r, int g, int b);

    ColorTable table_{};
    int count_ = 0;
    bool ready_ = false;
    std::vector<Recent> recent_;
    std::vector<Cell> cells_;
    std::vector<uint8_t> candidates_;
};

// The palette that a frame without any colour table of its own gets: a grey
// ramp, blue, green and red ramps and the 6x6x6 colour cube without black.
const ColorTable &defaultColorTable();

} // namespace velmar
