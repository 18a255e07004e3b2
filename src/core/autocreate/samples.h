#pragma once

// The animated samples of the auto-create dialog: which pictures each tab
// carries, and how its timer steps through them. The pictures themselves are
// made at build time by the sample generator (tools/samplegen) with
// the program's own effects and embedded as resources; both the generator
// and the dialog read this one table.

#include "autocreate/createcommand.h"

#include <QString>

#include <array>
#include <cstdint>

namespace velmar::autocreate
{

// One tab's sample pictures: resource firstResource + k is picture k.
struct SampleSet {
    int firstResource = 0;
    int loaded = 0; // pictures the tab loads
    int cycled = 0; // pictures its timer cycles through (previewCount)
    int width = 0;
    int height = 0;
    int timer = 0;         // 1 for Timer1 .. 8 for Timer8
    int startInterval = 0; // the timer's interval when the tab is started, ms
};

// Picture numbers 0 .. kMaxSamplePictures - 1 exist per tab.
inline constexpr int kMaxSamplePictures = 21;

const std::array<SampleSet, kTabCount> &sampleSets();

// Resource path of picture k of tab t (":/samples/<(t + 1) * 100 + k>.png").
QString samplePath(int tab, int picture);
// The file name inside the resource folder, for the generator.
QString sampleFileName(int tab, int picture);

// --- Stepping through the samples ---------------------------------------

// Timer1 (tabs 0 to 3) plays its pictures forward and backward; each end
// picture stays for two ticks, because the direction passes through 0 on the
// way round. pos and dir are shared by the four tabs, so changing among them
// continues the cycle where it stood. Returns the picture to show.
int stepBackAndForth(int16_t &pos, int16_t &dir, int count);
// Timer1's next interval for the tab in front.
int backAndForthInterval(int tab);

// Timers 2 to 8: show picture pos, advance pos and wrap it. Returns the
// picture to show and sets nextInterval to the time until the next tick.
int stepForward(int timer, int16_t &pos, int count, int currentInterval, int &nextInterval);

} // namespace velmar::autocreate
