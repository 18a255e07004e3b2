#include "bench_inputs.h"

#include <algorithm>
#include <cmath>

namespace velmar::bench
{

namespace
{

struct Lcg {
    uint32_t state;
    uint32_t next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int below(int n) { return int(next() % uint32_t(n)); }
};

void fillRect(BenchInput &in, std::vector<uint8_t> &f, int x0, int y0, int w, int h, uint8_t c)
{
    for (int y = std::max(0, y0); y < std::min(in.height, y0 + h); ++y)
        for (int x = std::max(0, x0); x < std::min(in.width, x0 + w); ++x)
            f[size_t(y) * size_t(in.width) + size_t(x)] = c;
}

} // namespace

BenchInput photoInput()
{
    BenchInput in;
    in.name = "photo 1024x1024";
    in.width = in.height = 1024;
    for (int i = 0; i < 256; ++i) {
        in.palette[size_t(i) * 3] = uint8_t(i);
        in.palette[size_t(i) * 3 + 1] = uint8_t((i * 3) / 4 + 32);
        in.palette[size_t(i) * 3 + 2] = uint8_t(255 - i);
    }
    std::vector<uint8_t> f(size_t(in.width) * size_t(in.height));
    Lcg rng{7};
    std::vector<double> err(size_t(in.width) + 2, 0.0), nextErr(size_t(in.width) + 2, 0.0);
    for (int y = 0; y < in.height; ++y) {
        std::fill(nextErr.begin(), nextErr.end(), 0.0);
        for (int x = 0; x < in.width; ++x) {
            double v = 128 + 55 * std::sin(x * 0.011 + 0.8 * std::sin(y * 0.007)) +
                       35 * std::cos(y * 0.013 - x * 0.004) + 18 * std::sin((x * x + y * y) * 0.00002);
            v += (rng.below(9) - 4) * 0.9; // grain
            v += err[size_t(x) + 1];
            // Error diffusion onto the 256 entries, as a palette reduction
            // leaves a photograph.
            const double level = std::clamp(std::round(v), 0.0, 255.0);
            const double e = v - level;
            err[size_t(x) + 2] += e * 7 / 16;
            nextErr[size_t(x)] += e * 3 / 16;
            nextErr[size_t(x) + 1] += e * 5 / 16;
            nextErr[size_t(x) + 2] += e * 1 / 16;
            f[size_t(y) * size_t(in.width) + size_t(x)] = uint8_t(level);
        }
        std::swap(err, nextErr);
    }
    in.frames.push_back(std::move(f));
    return in;
}

BenchInput screenshotInput()
{
    BenchInput in;
    in.name = "screenshot 1024x1024";
    in.width = in.height = 1024;
    for (int i = 0; i < 256; ++i) {
        in.palette[size_t(i) * 3] = uint8_t(i * 37);
        in.palette[size_t(i) * 3 + 1] = uint8_t(i * 59);
        in.palette[size_t(i) * 3 + 2] = uint8_t(i * 83);
    }
    std::vector<uint8_t> f(size_t(in.width) * size_t(in.height), 17); // desktop
    Lcg rng{2024};
    // Glyph shapes: 6 x 9 cells, a few strokes each.
    std::vector<std::array<uint8_t, 54>> glyphs(64);
    for (auto &g : glyphs)
        for (auto &cell : g)
            cell = rng.below(3) == 0;
    // Desktop icons down the left side.
    for (int k = 0; k < 8; ++k) {
        fillRect(in, f, 16, 16 + k * 80, 40, 40, uint8_t(40 + k));
        fillRect(in, f, 24, 24 + k * 80, 24, 24, uint8_t(48 + k));
    }
    for (int win = 0; win < 9; ++win) {
        const int x0 = 80 + rng.below(500), y0 = 10 + rng.below(600);
        const int w = 260 + rng.below(400), h = 180 + rng.below(360);
        fillRect(in, f, x0, y0, w, h, 1);                   // border
        fillRect(in, f, x0 + 1, y0 + 1, w - 2, 22, 2);      // title bar
        fillRect(in, f, x0 + 1, y0 + 23, w - 2, h - 24, 3); // client area
        fillRect(in, f, x0 + w - 21, y0 + 4, 16, 16, 5);    // close button
        // Lines of text in words.
        for (int line = y0 + 30; line + 12 < y0 + h - 30; line += 14) {
            int x = x0 + 8;
            while (x + 40 < x0 + w - 8) {
                const int word = 2 + rng.below(8);
                for (int c = 0; c < word && x + 7 < x0 + w - 8; ++c, x += 7) {
                    const auto &g = glyphs[size_t(rng.below(64))];
                    for (int gy = 0; gy < 9; ++gy)
                        for (int gx = 0; gx < 6; ++gx)
                            if (g[size_t(gy * 6 + gx)])
                                f[size_t(line + gy) * size_t(in.width) + size_t(x + gx)] = 4;
                }
                x += 7;
            }
        }
        // Two buttons at the bottom.
        fillRect(in, f, x0 + w - 180, y0 + h - 26, 80, 20, 6);
        fillRect(in, f, x0 + w - 90, y0 + h - 26, 80, 20, 6);
    }
    fillRect(in, f, 0, in.height - 32, in.width, 32, 7); // task bar
    in.frames.push_back(std::move(f));
    return in;
}

BenchInput animationInput()
{
    BenchInput in;
    in.name = "animation 100x256x256";
    in.width = in.height = 256;
    for (int i = 0; i < 256; ++i) {
        in.palette[size_t(i) * 3] = uint8_t(i);
        in.palette[size_t(i) * 3 + 1] = uint8_t(255 - i);
        in.palette[size_t(i) * 3 + 2] = uint8_t(i * 7);
    }
    Lcg rng{99};
    std::vector<uint8_t> ground(size_t(in.width) * 64);
    for (auto &g : ground)
        g = uint8_t(200 + rng.below(6));
    for (int t = 0; t < 100; ++t) {
        std::vector<uint8_t> f(size_t(in.width) * size_t(in.height));
        for (int y = 0; y < 192; ++y)
            std::fill_n(f.begin() + long(y) * in.width, in.width, uint8_t(16 + y / 6));
        std::copy(ground.begin(), ground.end(), f.begin() + 192L * in.width);
        for (int s = 0; s < 4; ++s) {
            const double a = t * 0.063 * (s + 1) + s;
            const int cx = 128 + int(90 * std::sin(a)), cy = 110 + int(70 * std::cos(a * 1.3));
            const int r = 14 + 5 * s;
            for (int y = cy - r; y <= cy + r; ++y)
                for (int x = cx - r; x <= cx + r; ++x) {
                    const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                    if (x < 0 || y < 0 || x >= in.width || y >= in.height || d2 > r * r)
                        continue;
                    f[size_t(y) * size_t(in.width) + size_t(x)] = uint8_t(100 + 30 * s + int(std::sqrt(d2)));
                }
        }
        in.frames.push_back(std::move(f));
    }
    return in;
}

BenchInput sceneInput(int frames, int width, int height)
{
    BenchInput in;
    in.name = "scene " + std::to_string(frames) + "x" + std::to_string(width) + "x" + std::to_string(height);
    in.width = width;
    in.height = height;
    for (int i = 0; i < 256; ++i) {
        in.palette[size_t(i) * 3] = uint8_t(i);
        in.palette[size_t(i) * 3 + 1] = uint8_t(255 - i);
        in.palette[size_t(i) * 3 + 2] = uint8_t(i * 7);
    }
    Lcg rng{1234};
    const int horizon = height * 3 / 4;
    std::vector<uint8_t> background(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            background[size_t(y) * size_t(width) + size_t(x)] =
                y < horizon ? uint8_t(16 + y * 48 / horizon) : uint8_t(200 + rng.below(6));
    // Glyphs of 5 x 7 for the scrolling strip and the counter.
    std::vector<std::array<uint8_t, 35>> glyphs(16);
    for (auto &g : glyphs)
        for (auto &b : g)
            b = uint8_t(rng.below(3) == 0);
    const int stripY = 8, stripH = 9;
    for (int t = 0; t < frames; ++t) {
        std::vector<uint8_t> f = background;
        for (int s = 0; s < 6; ++s) {
            const double a = t * 0.021 * (s + 1) + s;
            const int cx = width / 2 + int(width * 0.35 * std::sin(a));
            const int cy = horizon / 2 + int(horizon * 0.3 * std::cos(a * 1.3));
            const int r = 12 + 4 * s;
            for (int y = cy - r; y <= cy + r; ++y)
                for (int x = cx - r; x <= cx + r; ++x) {
                    const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                    if (x < 0 || y < 0 || x >= width || y >= height || d2 > r * r)
                        continue;
                    f[size_t(y) * size_t(width) + size_t(x)] = uint8_t(100 + 20 * s + int(std::sqrt(d2)) % 16);
                }
        }
        // The strip moves two pixels a frame; the counter shows t.
        fillRect(in, f, 0, stripY - 1, width, stripH, 250);
        for (int x = 0; x < width; ++x) {
            const int col = x + 2 * t;
            const auto &g = glyphs[size_t((col / 6) % 16)];
            for (int y = 0; y < 7; ++y)
                if (col % 6 < 5 && g[size_t(y * 5 + col % 6)])
                    f[size_t(stripY + y) * size_t(width) + size_t(x)] = 1;
        }
        for (int d = 0, v = t; d < 4; ++d, v /= 10)
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 5; ++x)
                    if (glyphs[size_t(v % 10)][size_t(y * 5 + x)])
                        f[size_t(height - 12 + y) * size_t(width) + size_t(width - 8 - 6 * d + x)] = 2;
        in.frames.push_back(std::move(f));
    }
    return in;
}

} // namespace velmar::bench
