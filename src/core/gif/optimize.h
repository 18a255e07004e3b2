#pragma once

#include "gif/giffile.h"

namespace velmar
{

// A smaller file that a viewer shows exactly as it shows plain: the same
// screen size, frame count, delays, repeat count and comment, and for every
// frame the same picture (pixels fully transparent in both may differ in
// colour). Each frame is cut down to the part of the screen that changes,
// unchanged pixels inside it become transparent where that shortens the code
// stream, each frame's disposal is the one that lets the next frame be
// written shortest, colours go into one global table when they fit, and
// every image gets the smallest code size and the better clear timing.
// Interlacing is dropped; it does not change what is shown.
GifFile optimizeGif(const GifFile &plain);

} // namespace velmar
