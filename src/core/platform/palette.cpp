#include "platform/palette.h"

#include <algorithm>

namespace velmar {

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

namespace {
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
