#pragma once

#include "platform/palette.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace velmar
{

class Document;

// The animation player without its window: the logical screen as palette
// indices, the copy of it taken before each frame (for disposal 2), the
// position in the loop and the timing. Everything about a frame (pixels,
// size, colours, grid cells) is read from the Document at the moment the
// frame is drawn, so edits made while playing show at the next frame; only
// the canvas size is fixed when the compositor is loaded.
class Compositor
{
  public:
    // The longest interval the player waits: the longest delay a GIF file
    // can carry (65535 hundredths of a second).
    static constexpr int kMaxIntervalMs = 655350;
    // An interval that comes out as 0 or less is this many milliseconds.
    static constexpr int kMinIntervalMs = 10;
    // Each side of the canvas is clamped to this, so that a mistyped global
    // field cannot ask for gigabytes; frames beyond it are clipped as at any
    // other canvas edge.
    static constexpr int kMaxCanvasSide = 8192;

    // What one tick of the player did.
    struct Tick {
        bool shown = false; // false: there were no frames, the player stops
        int frame = -1;     // the frame drawn
        int intervalMs = 0; // how long it stays before the next tick
    };

    // Loads at once (see load()).
    explicit Compositor(Document &doc);

    // A fresh start: the canvas size from the global width and height fields
    // (nearest integer; not a number, negative: 0), both buffers all 0, the
    // next frame 0, nothing shown yet.
    void load();

    // Shows the next frame and moves on: draws frame playPos(), works out its
    // interval, and advances the position, wrapping to 0 after the last
    // frame. With no frames nothing changes and shown is false.
    Tick tick();

    // Composes frame i onto the screen: the frame's disposal applied first,
    // then the frame at its position, clipped to the canvas on all sides,
    // transparent pixels skipped. Does nothing for a number that is not a
    // frame.
    void drawPlayFrame(int i);

    // The milliseconds frame i stays on screen: nearest(delay x 10), 10 when
    // that is not positive or the delay is not a number.
    int interval(int i) const;

    int scrW() const { return scrW_; }
    int scrH() const { return scrH_; }
    int playPos() const { return playPos_; }
    // scrW x scrH indices, top row first.
    const std::vector<uint8_t> &screen() const { return scrShown_; }
    // The screen as it was before the last frame was drawn.
    const std::vector<uint8_t> &savedScreen() const { return scrSaved_; }
    uint8_t indexAt(int x, int y) const { return scrShown_[size_t(y) * size_t(scrW_) + size_t(x)]; }

    // The frame drawn last (-1 before the first), and the colour table it had
    // then: the whole screen is seen through it.
    int shownFrame() const { return shownFrame_; }
    const ColorTable &shownColors() const { return shownColors_; }
    Rgb colorAt(int x, int y) const { return shownColors_[indexAt(x, y)]; }

    // The screen as a binary PPM ("P6", width, height, 255, then RGB bytes
    // row by row) through the colours of the frame shown.
    QByteArray screenPpm() const;

  private:
    Document &doc_;
    int scrW_ = 0;
    int scrH_ = 0;
    std::vector<uint8_t> scrShown_;
    std::vector<uint8_t> scrSaved_;
    int playPos_ = 0;
    int shownFrame_ = -1;
    ColorTable shownColors_{};
};

} // namespace velmar
