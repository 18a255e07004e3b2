#include "platform/palette.h"

#include <algorithm>
#include <cstdlib>

namespace velmar
{

int nearestPaletteIndex(const ColorTable &table, int nColors, int r, int g, int b)
{
    const int count = std::clamp(nColors, 1, 256);
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < count; ++i) {
        const long dr = table[size_t(i)].r - r;
        const long dg = table[size_t(i)].g - g;
        const long db = table[size_t(i)].b - b;
        const long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = i;
            if (d == 0)
                break;
        }
    }
    return best;
}

void NearestPalette::reset(const ColorTable &table, int nColors)
{
    const int count = std::clamp(nColors, 1, 256);
    if (ready_ && count == count_ && table == table_)
        return;
    table_ = table;
    count_ = count;
    ready_ = true;
    recent_.assign(size_t(1) << kRecentBits, Recent{});
    cells_.assign(size_t(1) << 15, Cell{});
    candidates_.clear();
}

const NearestPalette::Cell &NearestPalette::cell(int r, int g, int b)
{
    Cell &c = cells_[size_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))];
    if (c.count > 0)
        return c;
    // An entry can be nearest to a colour of the cell only when its least
    // distance to the cell is within the smallest greatest distance of any
    // entry: that entry is at least as near to every colour of the cell.
    const int lo[3] = {r & ~7, g & ~7, b & ~7};
    auto range = [&](int v, int channel, int &least, int &most) {
        const int a = lo[channel], z = lo[channel] + 7;
        const int below = v < a ? a - v : v > z ? v - z : 0;
        const int far = std::max(std::abs(v - a), std::abs(v - z));
        least += below * below;
        most += far * far;
    };
    int least[256];
    int bound = 1 << 30;
    for (int i = 0; i < count_; ++i) {
        const Rgb &e = table_[size_t(i)];
        int l = 0, m = 0;
        range(e.r, 0, l, m);
        range(e.g, 1, l, m);
        range(e.b, 2, l, m);
        least[i] = l;
        bound = std::min(bound, m);
    }
    c.start = uint32_t(candidates_.size());
    for (int i = 0; i < count_; ++i)
        if (least[i] <= bound)
            candidates_.push_back(uint8_t(i));
    c.count = uint16_t(candidates_.size() - c.start);
    return c;
}

int NearestPalette::lookUp(int r, int g, int b, uint32_t key)
{
    const Cell &c = cell(r, g, b);
    // The lists are in index order and only a nearer entry replaces the best,
    // so a tie goes to the lowest index, as in nearestPaletteIndex.
    const uint8_t *list = candidates_.data() + c.start;
    int best = list[0];
    int bestDistance = 1 << 30;
    for (int k = 0; k < c.count; ++k) {
        const Rgb &e = table_[list[k]];
        const int d = (e.r - r) * (e.r - r) + (e.g - g) * (e.g - g) + (e.b - b) * (e.b - b);
        if (d < bestDistance) {
            bestDistance = d;
            best = list[k];
        }
    }
    Recent &slot = recent_[(key * 2654435761u) >> (32 - kRecentBits)];
    slot.key = key;
    slot.index = uint8_t(best);
    return best;
}

namespace
{
ColorTable makeDefaultTable()
{
    ColorTable t{};
    static const uint8_t greys[11] = {0, 24, 48, 71, 95, 119, 143, 167, 190, 214, 238};
    static const uint8_t levels[10] = {17, 42, 66, 91, 115, 140, 164, 189, 213, 238};
    for (int i = 0; i < 11; ++i)
        t[size_t(i)] = {greys[i], greys[i], greys[i]};
    for (int i = 0; i < 10; ++i) {
        t[size_t(11 + i)] = {0, 0, levels[i]};
        t[size_t(21 + i)] = {0, levels[i], 0};
        t[size_t(31 + i)] = {levels[i], 0, 0};
    }
    static const uint8_t cube[6] = {0, 51, 102, 153, 204, 255};
    int k = 41;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) {
                if (r == 0 && g == 0 && b == 0)
                    continue;
                t[size_t(k++)] = {cube[r], cube[g], cube[b]};
            }
    return t;
}
} // namespace

const ColorTable &defaultColorTable()
{
    static const ColorTable table = makeDefaultTable();
    return table;
}

} // namespace velmar
