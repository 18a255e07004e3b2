#pragma once

#include <cstdint>
#include <vector>

namespace velmar
{

// Window arrangement in twips: the outer sizes of the frame windows in frame
// order go in, the top-left corners inside the main window's client area come
// out. Sizes are never changed, only places.
//
// Window sizes are single-precision values (a window's size is a float in
// twips); the running positions and maxima are 32-bit integers.
struct WindowSizeTwips {
    float width = 0;
    float height = 0;
};

struct WindowPosTwips {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const WindowPosTwips &) const = default;
};

// Each window 300 twips right of and below the one before; nothing wraps.
inline constexpr int32_t kCascadeStepTwips = 300;
std::vector<WindowPosTwips> cascadePositions(int count);

// Rows from left to right, rows from top to bottom. A window starts a new row
// when it would reach beyond the client width; one that ends exactly at the
// edge stays in its row. The next row starts below the tallest window of the
// row before.
std::vector<WindowPosTwips> sideBySidePositions(const std::vector<WindowSizeTwips> &sizes, float clientWidth);

// The mirror image: columns from top to bottom, columns from left to right.
std::vector<WindowPosTwips> topToBottomPositions(const std::vector<WindowSizeTwips> &sizes, float clientHeight);

} // namespace velmar
