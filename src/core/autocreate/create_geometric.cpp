// Dispatch of the geometric tabs (cube, prism, globe, coin). The Create
// command has already checked the windows and resolved the colours when one
// of these runs; the cube and the prism loops add the frames themselves and
// let drawCube / drawPrism paint each one.
#include "autocreate/createcommand.h"

#include "document/document.h"
#include "effects/cube.h"
#include "effects/geometric.h"
#include "platform/numeric.h"

#include <vector>

namespace velmar::autocreate
{
namespace
{

int nearest(double v)
{
    return int(roundHalfEven(v));
}

} // namespace

Result<> runCubeLoop(Document &doc, const CreateArgs &args)
{
    const int a = args.windows[0];
    const int background = args.colours[0];
    const int border = args.colours[1];
    const int s = doc.pic(a).lWidth < doc.pic(a).lHeight ? doc.pic(a).lWidth : doc.pic(a).lHeight;
    const int side = nearest(s * 1.6);
    // The frames are added first and then painted together (on all threads).
    std::vector<int> frames;
    std::vector<double> angles;
    Result<> stopped;
    for (double theta : cubeAngles(args.n)) {
        const Result<int> added = doc.NewWindow(a, side, side, background);
        if (!added) {
            stopped = fail(added.error());
            break;
        }
        const int f = *added;
        frames.push_back(f);
        angles.push_back(theta);
    }
    drawCubes(doc, frames, angles, s, border, a, args.windows[1], args.windows[2]);
    return stopped;
}

Result<> runPrismLoop(Document &doc, const CreateArgs &args)
{
    const int d = args.windows[0];
    const int background = args.colours[0];
    const int border = args.colours[1];
    const int w = nearest(doc.pic(d).lWidth * 1.2);
    const int h = nearest(doc.pic(d).lHeight * 1.2);
    const int perFace = nearest(args.n);
    int k = 0;
    // The frames are added first and then painted together (on all threads).
    std::vector<int> frames;
    std::vector<double> angles;
    Result<> stopped;
    for (double theta : prismAngles(args.n)) {
        const Result<int> added = doc.NewWindow(d, w, h, background);
        if (!added) {
            stopped = fail(added.error());
            break;
        }
        const int f = *added;
        frames.push_back(f);
        angles.push_back(theta);
        // A face squarely in front rests 2 seconds; the frames just after and
        // just before it 0.2 seconds.
        const int r = k % perFace;
        if (r == 0)
            doc.setCell(f + 1, PropertyGrid::ColDelay, QStringLiteral("200"));
        else if (r == 1 || r == args.n - 1)
            doc.setCell(f + 1, PropertyGrid::ColDelay, QStringLiteral("20"));
        ++k;
    }
    drawPrisms(doc, frames, angles, border, d, args.windows[1], args.windows[2]);
    return stopped;
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
