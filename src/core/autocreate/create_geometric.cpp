// Dispatch of the geometric tabs (cube, prism, globe, coin). The Create
// command has already checked the windows and resolved the colours when one
// of these runs; the cube and the prism loops add the frames themselves and
// let drawCube / drawPrism paint each one.
#include "autocreate/createcommand.h"

#include "document/document.h"
#include "effects/cube.h"
#include "effects/geometric.h"
#include "platform/numeric.h"
#include "platform/parallel.h"

#include <algorithm>
#include <vector>

namespace velmar::autocreate
{
namespace
{

int nearest(double v)
{
    return int(roundHalfEven(v));
}

// The frames of a loop are added and painted a batch at a time, a batch
// being one frame per thread: the frames are finished and shown in order
// while a long run goes on, and a run that is stopped (the frame limit, a
// cancel) stops after the batch in hand. add(k) adds frame k and returns its
// number; paint(frames, angles) paints a batch on all threads.
template <typename Add, typename Paint> Result<> addAndPaint(const std::vector<double> &angles, Add add, Paint paint)
{
    const size_t batch = size_t(std::max(1, parallelThreads()));
    for (size_t first = 0; first < angles.size(); first += batch) {
        std::vector<int> frames;
        std::vector<double> batchAngles;
        Result<> stopped;
        for (size_t k = first; k < std::min(first + batch, angles.size()); ++k) {
            const Result<int> added = add(k);
            if (!added) {
                stopped = fail(added.error());
                break;
            }
            frames.push_back(*added);
            batchAngles.push_back(angles[k]);
        }
        paint(frames, batchAngles);
        if (!stopped)
            return stopped;
    }
    return {};
}

} // namespace

Result<> runCubeLoop(Document &doc, const CreateArgs &args)
{
    const int a = args.windows[0];
    const int background = args.colours[0];
    const int border = args.colours[1];
    const int s = doc.pic(a).lWidth < doc.pic(a).lHeight ? doc.pic(a).lWidth : doc.pic(a).lHeight;
    const int side = nearest(s * 1.6);
    return addAndPaint(
        cubeAngles(args.n), [&](size_t) { return doc.NewWindow(a, side, side, background); },
        [&](const std::vector<int> &frames, const std::vector<double> &angles) {
            drawCubes(doc, frames, angles, s, border, a, args.windows[1], args.windows[2]);
        });
}

Result<> runPrismLoop(Document &doc, const CreateArgs &args)
{
    const int d = args.windows[0];
    const int background = args.colours[0];
    const int border = args.colours[1];
    const int w = nearest(doc.pic(d).lWidth * 1.2);
    const int h = nearest(doc.pic(d).lHeight * 1.2);
    const int perFace = nearest(args.n);
    return addAndPaint(
        prismAngles(args.n),
        [&](size_t k) -> Result<int> {
            const Result<int> added = doc.NewWindow(d, w, h, background);
            if (!added)
                return added;
            // A face squarely in front rests 2 seconds; the frames just after
            // and just before it 0.2 seconds.
            const int r = int(k) % perFace;
            if (r == 0)
                doc.setCell(*added + 1, PropertyGrid::ColDelay, QStringLiteral("200"));
            else if (r == 1 || r == args.n - 1)
                doc.setCell(*added + 1, PropertyGrid::ColDelay, QStringLiteral("20"));
            return added;
        },
        [&](const std::vector<int> &frames, const std::vector<double> &angles) {
            drawPrisms(doc, frames, angles, border, d, args.windows[1], args.windows[2]);
        });
}

Result<> runGlobe(Document &doc, const CreateArgs &args)
{
    return autoGlobe(doc, args.windows[0], args.count, args.colours[0]);
}

Result<> runCardTurn(Document &doc, const CreateArgs &args)
{
    return autoCardTurn(doc, args.windows[0], args.count, args.colours[0]);
}

Result<> checkGlobeSize(const Document &doc, const FieldValues &, CreateArgs &args)
{
    const PicInfo &base = doc.pic(args.windows[0]);
    if (base.lWidth < 3 || base.lHeight < 2)
        return fail(msgParameter());
    return {};
}

Result<> checkCardTurnSize(const Document &doc, const FieldValues &, CreateArgs &args)
{
    if (doc.pic(args.windows[0]).lWidth < 2)
        return fail(msgParameter());
    return {};
}

} // namespace velmar::autocreate
