// velmar-cli operations of the animation player.
#include "cli/commands.h"

#include "document/document.h"
#include "platform/numeric.h"
#include "player/compositor.h"

#include <QDir>
#include <QSaveFile>

#include <cmath>

namespace velmar::cli
{
namespace
{

// More ticks than this would only fill a disk; four-digit file names cover
// them with room to spare.
constexpr int kMaxTicks = 100000;

bool play(Context &ctx, const QStringList &args)
{
    const std::optional<double> count = parseNumber(args[0]);
    if (!count || *count != std::floor(*count) || *count < 0 || *count > kMaxTicks) {
        ctx.err << "velmar-cli: play: the tick count must be a whole number from 0 to " << kMaxTicks << ", not \""
                << args[0] << "\"\n";
        return false;
    }
    const int ticks = int(*count);
    if (ticks > 0 && ctx.doc.picCount() == 0) {
        // The player closes at a tick that finds no frames; a script asking
        // for screens would otherwise get none and believe it got them.
        ctx.err << "velmar-cli: play: there are no frames to play\n";
        return false;
    }
    const QDir dir(args[1]);
    if (!QDir().mkpath(dir.path())) {
        ctx.err << "velmar-cli: play: cannot create the folder " << dir.path() << "\n";
        return false;
    }

    Compositor player(ctx.doc);
    for (int t = 0; t < ticks; ++t) {
        const Compositor::Tick tick = player.tick();
        const QString path = dir.filePath(QStringLiteral("%1.ppm").arg(t, 4, 10, QLatin1Char('0')));
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(player.screenPpm()) < 0 || !file.commit()) {
            ctx.err << "velmar-cli: play: cannot write " << path << ": " << file.errorString() << "\n";
            return false;
        }
        ctx.out << tick.frame << ' ' << tick.intervalMs << '\n';
    }
    return true;
}

const Registrar registrar{
    {QStringLiteral("play"), 2,
     QStringLiteral("play K DIR    play K ticks from frame 0; write each screen as DIR/NNNN.ppm (grey 192 where no "
                    "frame has drawn) and print \"frame interval-ms\" per tick"),
     play},
};

} // namespace
} // namespace velmar::cli
