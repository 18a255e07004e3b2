#pragma once

// The turning coin and the turning globe. Like the other effects they take
// the values the dialog holds (base window and frame count already checked
// and rounded by the Create command), append their frames through the
// Document, and draw each frame as soon as it is filled.
//
// Each succeeds when it added all its frames. When the Document refuses a
// frame the effect stops at once and returns the Document's reason; the
// frames added so far stay.

#include "effects/effects.h"

namespace velmar
{

class Document;

// Turns the base picture once about its vertical centre line over n new
// frames, 1.2 times as tall as the base, with perspective, the back at half
// brightness and an edge up to 5 pixels thick in the colour `thickness`.
// Pixels equal to the picture's top-left pixel count as background. A base
// narrower than 2 pixels has no centre line to turn about: nothing is added
// and the result is badArguments() (the Create command refuses it first).
Result<> autoCardTurn(Document &doc, int base, int n, int thickness);

// Wraps the base picture round the front half of a globe inscribed in the
// frame and turns it once over n new frames (copies of the base); the disc
// shows the picture's top-left colour and the rest of the frame `background`.
// A base narrower than 3 or lower than 2 pixels has no globe: nothing is
// added and the result is badArguments() (the Create command refuses it
// first).
Result<> autoGlobe(Document &doc, int base, int n, int background);

} // namespace velmar
