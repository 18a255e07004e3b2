#pragma once

// What a GIF looks like in a viewer, worked out with giflib alone so that it
// can judge our reader, writer and player: one RGBA picture of the logical
// screen per image, as shown once that image is drawn.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmar::test
{

struct ViewerFrame {
    std::vector<uint8_t> rgba; // width x height x 4, top row first
    int delay = 0;             // hundredths of a second
};

struct ViewerResult {
    // Empty when every frame is defined; otherwise why the file cannot be
    // shown the same way by every viewer (giflib refuses it, an image has no
    // colour table, a pixel names no entry of its table, it is too large).
    QString unusable;
    int width = 0;
    int height = 0;
    std::vector<ViewerFrame> frames;
};

// Screens of more pixels than this, summed over the frames, are refused.
constexpr size_t kViewerPixelLimit = size_t(1) << 23;

ViewerResult viewGif(const QString &path, size_t pixelLimit = kViewerPixelLimit);

// The top-left w x h of every frame (w, h no larger than the screen).
ViewerResult cropView(const ViewerResult &view, int w, int h);

// Where two frames differ, ignoring the colour of pixels fully transparent in
// both, and also every pixel where a is fully transparent when opaqueOnly.
// Returns -1 when they agree, 0 when their sizes differ.
long long firstDifference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, bool opaqueOnly = false);

} // namespace velmar::test
