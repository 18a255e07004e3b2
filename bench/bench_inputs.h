#pragma once
// The benchmark's pictures, generated the same way on every run.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velmar::bench
{

struct BenchInput {
    std::string name;
    int width = 0;
    int height = 0;
    std::vector<std::vector<uint8_t>> frames; // width x height indices each
    std::array<uint8_t, 768> palette{};       // 256 entries, red green blue
    size_t pixelCount() const { return size_t(width) * size_t(height) * frames.size(); }
};

// A 1024 x 1024 photograph reduced to 256 colours with error diffusion:
// smooth shading under a grain of neighbouring indices.
BenchInput photoInput();
// A 1024 x 1024 desktop screenshot: flat background, windows with title
// bars, borders, lines of small glyphs, buttons and icons.
BenchInput screenshotInput();
// 100 frames of 256 x 256: a banded sky, a ground pattern and sprites that
// move from frame to frame.
BenchInput animationInput();
// frames of width x height: the same kind of scene, larger, with a strip of
// text that scrolls and a counter that changes in every frame.
BenchInput sceneInput(int frames, int width, int height);

} // namespace velmar::bench
