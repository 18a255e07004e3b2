#include "sampleart.h"
#include "platform/angles.h"

#include <algorithm>
#include <cmath>

namespace velmar::samplegen
{
namespace
{

uint8_t colour(int r, int g, int b)
{
    return uint8_t(nearestPaletteIndex(defaultColorTable(), 256, r, g, b));
}

Picture blank(int width, int height, uint8_t fill)
{
    return Picture{width, height, std::vector<uint8_t>(size_t(width) * size_t(height), fill)};
}

void set(Picture &p, int x, int y, uint8_t c)
{
    if (x >= 0 && y >= 0 && x < p.width && y < p.height)
        p.pixels[size_t(y) * size_t(p.width) + size_t(x)] = c;
}

void disc(Picture &p, double cx, double cy, double r, uint8_t c)
{
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if ((x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy) <= r * r)
                set(p, x, y, c);
}

int mix(int a, int b, double t)
{
    return int(std::lround(a + (b - a) * std::clamp(t, 0.0, 1.0)));
}

// A cheap deterministic hash, so the stars land in the same places every build.
uint32_t hash(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// 5 x 7 glyphs, one row per string, for the letters of the banner.
struct Glyph {
    char letter;
    const char *rows[7];
};
const Glyph kGlyphs[] = {
    {'V', {"10001", "10001", "10001", "10001", "10001", "01010", "00100"}},
    {'E', {"11111", "10000", "10000", "11110", "10000", "10000", "11111"}},
    {'L', {"10000", "10000", "10000", "10000", "10000", "10000", "11111"}},
    {'M', {"10001", "11011", "10101", "10101", "10001", "10001", "10001"}},
    {'A', {"01110", "10001", "10001", "11111", "10001", "10001", "10001"}},
    {'R', {"11110", "10001", "10001", "11110", "10100", "10010", "10001"}},
};

void letter(Picture &p, char ch, int left, int top, int scale, uint8_t c)
{
    for (const Glyph &g : kGlyphs) {
        if (g.letter != ch)
            continue;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (g.rows[row][col] == '1')
                    for (int dy = 0; dy < scale; ++dy)
                        for (int dx = 0; dx < scale; ++dx)
                            set(p, left + col * scale + dx, top + row * scale + dy, c);
    }
}

} // namespace

Picture landscape(int width, int height)
{
    Picture p = blank(width, height, 0);
    const double horizon = height * 0.62;
    for (int y = 0; y < height; ++y) {
        const uint8_t sky = colour(mix(70, 190, y / horizon), mix(130, 225, y / horizon), 255);
        for (int x = 0; x < width; ++x)
            set(p, x, y, sky);
    }
    disc(p, width * 0.74, height * 0.28, std::min(width, height) * 0.14, colour(255, 220, 40));
    for (int x = 0; x < width; ++x) {
        const double top = horizon + height * 0.07 * std::sin(x * 2 * kPi / width * 1.5);
        for (int y = int(top); y < height; ++y)
            set(p, x, y,
                colour(mix(70, 20, (y - top) / (height - top)), mix(170, 100, (y - top) / (height - top)), 50));
    }
    // A red house on the hill, so turns and mirror images are easy to see.
    const int hx = width / 5, hw = std::max(4, width / 6), hh = std::max(3, height / 7);
    const int hy = int(horizon) - hh / 2;
    for (int y = hy; y < hy + hh; ++y)
        for (int x = hx; x < hx + hw; ++x)
            set(p, x, y, colour(200, 40, 30));
    for (int k = 0; k <= hw / 2; ++k)
        for (int x = hx + k; x < hx + hw - k; ++x)
            set(p, x, hy - k, colour(120, 60, 20));
    return p;
}

Picture night(int width, int height)
{
    Picture p = blank(width, height, 0);
    for (int y = 0; y < height; ++y) {
        const uint8_t sky =
            colour(mix(10, 50, double(y) / height), mix(15, 40, double(y) / height), mix(60, 130, double(y) / height));
        for (int x = 0; x < width; ++x)
            set(p, x, y, sky);
    }
    for (int y = 0; y < height * 2 / 3; ++y)
        for (int x = 0; x < width; ++x)
            if (hash(uint32_t(y * 977 + x)) % 53 == 0)
                set(p, x, y, colour(255, 255, 255));
    disc(p, width * 0.3, height * 0.3, std::min(width, height) * 0.16, colour(250, 240, 170));
    disc(p, width * 0.3 + std::min(width, height) * 0.07, height * 0.27, std::min(width, height) * 0.14,
         colour(20, 25, 80));
    for (int x = 0; x < width; ++x) {
        const double t = double(x) / width;
        const double top = height * (0.7 - 0.25 * std::fabs(std::sin(t * kPi * 2.5)));
        for (int y = int(top); y < height; ++y)
            set(p, x, y, colour(90, 50, 130));
    }
    return p;
}

Picture chequer(int width, int height)
{
    Picture p = blank(width, height, 0);
    const int tile = std::max(2, std::min(width, height) / 6);
    const uint8_t red = colour(220, 30, 40), white = colour(255, 255, 255), blue = colour(30, 60, 220);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            set(p, x, y, ((x / tile) + (y / tile)) % 2 == 0 ? red : white);
    const double cx = width / 2.0, cy = height / 2.0, r = std::min(width, height) * 0.3;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (std::fabs(x + 0.5 - cx) / r + std::fabs(y + 0.5 - cy) / r <= 1)
                set(p, x, y, blue);
    return p;
}

Picture medal(int width, int height)
{
    Picture p = blank(width, height, colour(255, 255, 255));
    const double cx = width / 2.0, cy = height / 2.0, r = std::min(width, height) * 0.46;
    disc(p, cx, cy, r, colour(170, 110, 20));
    disc(p, cx, cy, r * 0.86, colour(240, 190, 40));
    const int scale = std::max(1, int(r / 6));
    letter(p, 'V', int(cx - 2.5 * scale), int(cy - 3.5 * scale), scale, colour(190, 20, 30));
    return p;
}

Picture world(int width, int height)
{
    Picture p = blank(width, height, colour(30, 80, 200));
    const uint8_t land = colour(40, 160, 60), desert = colour(200, 170, 90), ice = colour(255, 255, 255);
    struct Blob {
        double x, y, rx, ry;
        bool dry;
    };
    const Blob blobs[] = {{0.2, 0.4, 0.14, 0.22, false},
                          {0.5, 0.55, 0.1, 0.25, true},
                          {0.78, 0.35, 0.16, 0.15, false},
                          {0.85, 0.7, 0.08, 0.1, true}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = (x + 0.5) / width, v = (y + 0.5) / height;
            for (const Blob &b : blobs)
                if ((u - b.x) * (u - b.x) / (b.rx * b.rx) + (v - b.y) * (v - b.y) / (b.ry * b.ry) <= 1)
                    set(p, x, y, b.dry ? desert : land);
            if (v < 0.1 || v > 0.9)
                set(p, x, y, ice);
        }
    // The top-left pixel is the globe's disc colour: keep it ocean.
    set(p, 0, 0, colour(30, 80, 200));
    return p;
}

Picture banner(int width, int height)
{
    Picture p = blank(width, height, colour(0, 0, 0));
    const char *text = "VELMAR";
    const int scale = 2, advance = 6 * scale;
    const int left = (width - 6 * advance + scale) / 2, top = (height - 7 * scale) / 2 - 3;
    const uint8_t colours[] = {colour(255, 80, 80),  colour(255, 200, 40),  colour(80, 220, 80),
                               colour(80, 200, 255), colour(160, 120, 255), colour(255, 120, 220)};
    for (int k = 0; k < 6; ++k)
        letter(p, text[k], left + k * advance, top, scale, colours[k]);
    for (int x = left; x < left + 6 * advance - scale; ++x)
        for (int y = top + 8 * scale; y < top + 8 * scale + 2; ++y)
            set(p, x, y, colour(255, 255, 255));
    return p;
}

} // namespace velmar::samplegen
