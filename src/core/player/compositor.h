#pragma once

#include "platform/palette.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace velmar
{

class Document;

// One pixel of the player's screen. a is 255 where a frame has put a colour
// and 0 where nothing has been drawn (or a disposal cleared it); r, g, b are
// then 0. Laid out as four bytes, so a row of them is an RGBA image row.
struct Rgba {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t a = 0;
    friend bool operator==(const Rgba &, const Rgba &) = default;
};
static_assert(sizeof(Rgba) == 4);

// The animation player without its window. It shows what a GIF viewer shows:
// the logical screen in colours, each frame placed at its position with its
// transparent pixels skipped, and each frame's disposal applied to that
// frame's rectangle after it has been on screen (0, 1 and 4..7 leave it, 2
// clears it, 3 puts back what was there before the frame). Every round of
// the loop starts from an empty screen.
//
// Everything about a frame (pixels, size, colours, grid cells) is read from
// the Document at the moment the frame is drawn, so edits made while playing
// show at the next frame; only the canvas size is fixed when the compositor
// is loaded.
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
    // What a flat rendering (the PPM screens) shows where no frame has drawn:
    // a neutral grey that no one takes for part of the picture.
    static constexpr Rgb kBackdrop{192, 192, 192};

    // What one tick of the player did.
    struct Tick {
        bool shown = false; // false: there were no frames, the player stops
        int frame = -1;     // the frame drawn
        int intervalMs = 0; // how long it stays before the next tick
    };

    // Loads at once (see load()).
    explicit Compositor(Document &doc);

    // A fresh start: the canvas size from the global width and height fields
    // (nearest integer; not a number, negative: 0), an empty screen, the next
    // frame 0, nothing shown yet.
    void load();

    // Shows the next frame and moves on: draws frame playPos(), works out its
    // interval, and advances the position, wrapping to 0 after the last
    // frame. With no frames nothing changes and shown is false.
    Tick tick();

    // Composes frame i onto the screen. The frame shown before it has had its
    // time, so its disposal is applied first; frame 0 begins a round and is
    // drawn on an empty screen instead. The frame goes at its position,
    // clipped to the canvas on all sides, transparent pixels skipped. Does
    // nothing for a number that is not a frame.
    void drawPlayFrame(int i);

    // The milliseconds frame i stays on screen: nearest(delay x 10), 10 when
    // that is not positive or the delay is not a number.
    int interval(int i) const;

    int scrW() const { return scrW_; }
    int scrH() const { return scrH_; }
    int playPos() const { return playPos_; }
    // The frame drawn last (-1 before the first).
    int shownFrame() const { return shownFrame_; }

    // scrW x scrH pixels, top row first.
    const std::vector<Rgba> &screen() const { return screen_; }
    Rgba pixelAt(int x, int y) const { return screen_[size_t(y) * size_t(scrW_) + size_t(x)]; }
    bool covered(int x, int y) const { return pixelAt(x, y).a != 0; }
    // The colour a flat rendering shows: the pixel's, or the backdrop where
    // nothing is drawn.
    Rgb colorAt(int x, int y) const;

    // The screen as a binary PPM ("P6", width, height, 255, then RGB bytes
    // row by row), the backdrop where nothing is drawn.
    QByteArray screenPpm() const;

  private:
    // A rectangle of the canvas, already clipped: columns x0..x1 - 1, rows
    // y0..y1 - 1 (empty when x0 >= x1 or y0 >= y1).
    struct Rect {
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    };
    // What is to happen to the shown frame's rectangle once its time is up.
    struct Pending {
        int disposal = 0;
        Rect rect;
        std::vector<Rgba> under; // disposal 3: the rectangle before the frame
    };

    void clearScreen();
    void applyDisposal();
    void copyRect(const Rect &r, std::vector<Rgba> &out) const;
    void pasteRect(const Rect &r, const std::vector<Rgba> &in);

    Document &doc_;
    int scrW_ = 0;
    int scrH_ = 0;
    std::vector<Rgba> screen_;
    Pending pending_;
    int playPos_ = 0;
    int shownFrame_ = -1;
};

} // namespace velmar
