#include "autocreate/samples.h"

namespace velmar::autocreate
{

const std::array<SampleSet, kTabCount> &sampleSets()
{
    // first resource, loaded, cycled, width, height, timer, interval at start
    static const std::array<SampleSet, kTabCount> sets = {{
        {100, 6, 6, 64, 64, 1, 500},
        {200, 6, 6, 64, 64, 1, 500},
        {300, 6, 6, 150, 50, 1, 500},
        {400, 6, 6, 64, 64, 1, 500},
        {500, 6, 6, 102, 102, 2, 300},
        // The prism turns once through 15 pictures, but its timer wraps
        // after picture 13: picture 14 is loaded and never shown.
        {600, 15, 14, 180, 60, 3, 500},
        {700, 8, 8, 100, 40, 4, 500},
        {800, 10, 10, 64, 64, 5, 500},
        {900, 12, 12, 72, 103, 6, 500},
        {1000, 20, 20, 60, 60, 7, 500},
        {1100, 12, 12, 150, 50, 8, 500},
    }};
    return sets;
}

QString sampleFileName(int tab, int picture)
{
    return QStringLiteral("%1.png").arg((tab + 1) * 100 + picture);
}

QString samplePath(int tab, int picture)
{
    return QStringLiteral(":/samples/") + sampleFileName(tab, picture);
}

int stepBackAndForth(int16_t &pos, int16_t &dir, int count)
{
    pos = int16_t(pos + dir);
    if (pos >= count - 1) {
        if (dir == 1)
            dir = 0;
        else if (dir == 0)
            dir = -1;
    } else if (pos < 1) {
        if (dir == -1)
            dir = 0;
        else if (dir == 0)
            dir = 1;
    }
    return pos;
}

int backAndForthInterval(int tab)
{
    return tab == 1 || tab == 2 ? 250 : 500;
}

int stepForward(int timer, int16_t &pos, int count, int currentInterval, int &nextInterval)
{
    const int shown = pos;
    pos = int16_t(pos + 1);
    // Timer3 wraps at a fixed bound rather than at the count (see sampleSets()).
    const bool wrap = timer == 3 ? pos > 13 : pos >= count;
    if (wrap)
        pos = 0;
    switch (timer) {
    case 3: {
        // A face in front (pictures 0, 5, 10) rests; the turn speeds up in
        // between and slows down again before the next face.
        static constexpr int kPrism[5] = {2000, 200, 100, 100, 200};
        nextInterval = kPrism[shown % 5];
        break;
    }
    case 5:
        nextInterval = 500;
        break;
    case 6:
        // The coin rests on its first picture.
        nextInterval = pos == 1 ? 800 : 200;
        break;
    case 7:
        nextInterval = 300;
        break;
    case 8:
        // The push rests on each whole picture (0 and 6).
        nextInterval = pos == 1 || pos == 7 ? 800 : 200;
        break;
    default: // Timers 2 and 4 keep their interval.
        nextInterval = currentInterval;
        break;
    }
    return shown;
}

} // namespace velmar::autocreate
