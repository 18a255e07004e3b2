#pragma once

namespace velmar
{

// Layout arithmetic is stated in twips (1/1440 inch); a standard display has
// 15 twips to the pixel. Convert only at the widget boundary.
inline constexpr int kTwipsPerPixel = 15;

constexpr int twipsToPixels(int twips)
{
    return twips / kTwipsPerPixel;
}
constexpr int pixelsToTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}

} // namespace velmar
