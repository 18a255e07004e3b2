#include "platform/arrange.h"

#include "platform/numeric.h"

namespace velmar
{
namespace
{

// Lays windows out along one axis ("along") and wraps to a new line on the
// other ("across"). The edge test is done in single precision, as the sizes
// are; the running values are whole twips, rounded halves to even. A line's
// extent only grows on a strictly larger window, so the first of two equal
// tallest windows decides it.
template <typename Along, typename Across, typename Make>
std::vector<WindowPosTwips> lineUp(const std::vector<WindowSizeTwips> &sizes, float limit, Along along, Across across,
                                   Make make)
{
    std::vector<WindowPosTwips> out;
    out.reserve(sizes.size());
    int32_t pos = 0;
    int32_t line = 0;
    int32_t lineMax = 0;
    for (const WindowSizeTwips &s : sizes) {
        const float extent = along(s);
        if (float(double(pos) + double(extent)) > limit) {
            line += lineMax;
            pos = 0;
            lineMax = 0;
        }
        out.push_back(make(pos, line));
        pos = int32_t(roundHalfEven(double(extent) + double(pos)));
        const float thickness = across(s);
        if (double(thickness) > double(lineMax))
            lineMax = int32_t(roundHalfEven(double(thickness)));
    }
    return out;
}

} // namespace

std::vector<WindowPosTwips> cascadePositions(int count)
{
    std::vector<WindowPosTwips> out;
    for (int i = 0; i < count; ++i)
        out.push_back({kCascadeStepTwips * i, kCascadeStepTwips * i});
    return out;
}

std::vector<WindowPosTwips> sideBySidePositions(const std::vector<WindowSizeTwips> &sizes, float clientWidth)
{
    return lineUp(
        sizes, clientWidth, [](const WindowSizeTwips &s) { return s.width; },
        [](const WindowSizeTwips &s) { return s.height; },
        [](int32_t pos, int32_t line) {
            return WindowPosTwips{pos, line};
        });
}

std::vector<WindowPosTwips> topToBottomPositions(const std::vector<WindowSizeTwips> &sizes, float clientHeight)
{
    return lineUp(
        sizes, clientHeight, [](const WindowSizeTwips &s) { return s.height; },
        [](const WindowSizeTwips &s) { return s.width; },
        [](int32_t pos, int32_t line) {
            return WindowPosTwips{line, pos};
        });
}

} // namespace velmar
