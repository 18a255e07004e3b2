#include "effects/cube.h"
#include "platform/angles.h"

#include "document/document.h"
#include "effects/quad.h"
#include "platform/numeric.h"
#include "platform/parallel.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace velmar
{
namespace
{

// The cube turns about an axis parallel to the front face's diagonal from
// top-left to bottom-right; the turning vertices move across it, along the
// other diagonal, in this direction (towards the bottom-left).
constexpr double kCubeSlant = 3.9269908169872374;
constexpr double kUp = 1.570796326794895;

// A vertex: its position before turning and where it lies on its circle of
// turn (radius rho, phase phi).
struct CubeVertex {
    double x0;
    double y0;
    // Turns on a circle of radius sqrt(3) about the axis; the others (1, 3, 5, 7)
    // lie in the diagonal plane through the axis and turn on radius 1.
    bool diagonal;
    double phi;
};

// Vertices 1..4 form face 1 (window A) and 5..8 the opposite face 4; the
// phases of the diagonal vertices are atan(1/sqrt 2) and its mirror images.
constexpr CubeVertex kCube[8] = {
    {1, -1, false, 1.570796326794895}, {0, 0, true, 0.6154797},           {-1, 1, false, 1.570796326794895},
    {0, 0, true, 2.52611295358979},    {1, -1, false, 4.712388980384685}, {0, 0, true, 5.66770560717958},
    {-1, 1, false, 4.712388980384685}, {0, 0, true, 3.75707235358979},
};

// Pixel coordinates go out as 16-bit integers; anything beyond that range is
// far outside any frame and is clipped by the mapping routines anyway.
int16_t toCoordinate(double v)
{
    const double r = roundHalfEven(v);
    if (!(r >= -32768.0))
        return -32768;
    if (r > 32767.0)
        return 32767;
    return int16_t(r);
}

Quad corners(const SolidVertices &v, int p1, int p2, int p3, int p4)
{
    return Quad{toCoordinate(v.X[size_t(p1)]), toCoordinate(v.Y[size_t(p1)]), toCoordinate(v.X[size_t(p2)]),
                toCoordinate(v.Y[size_t(p2)]), toCoordinate(v.X[size_t(p3)]), toCoordinate(v.Y[size_t(p3)]),
                toCoordinate(v.X[size_t(p4)]), toCoordinate(v.Y[size_t(p4)])};
}

struct Face {
    int window;
    Quad quad;
};

// Paints the faces into target (the frame's pixels, obtained for writing on
// the calling thread), then outlines them, so that no face covers another
// face's outline.
// Only reads the Document, so frames can be painted on several threads at
// once while nothing else changes it.
void paintFaces(const Document &doc, int frame, std::span<uint8_t> target, const std::vector<Face> &faces,
                int horizontalSteps, int verticalSteps, int edgeColour, QuadScratch &scratch)
{
    const PicInfo &pic = doc.pic(frame);
    const int wt = pic.lWidth;
    const int ht = pic.lHeight;
    // The faces are painted straight into the frame, unless one of them
    // shows the frame itself: that face must read the frame as it was.
    const bool readsItself =
        std::any_of(faces.begin(), faces.end(), [frame](const Face &face) { return face.window == frame; });
    std::vector<uint8_t> copy;
    std::span<uint8_t> buffer = target;
    if (readsItself) {
        copy.assign(target.begin(), target.end());
        buffer = copy;
    }
    for (const Face &face : faces)
        mapToQuad(doc.pic(face.window), buffer, wt, ht, pic.colors, pic.nColors, face.quad, scratch);
    for (const Face &face : faces)
        drawQuadEdges(buffer, horizontalSteps, verticalSteps, wt, ht, edgeColour, face.quad);
    if (readsItself)
        std::copy(copy.begin(), copy.end(), target.begin());
}

// The working memory of the painting threads, kept from one batch of frames
// to the next: a fresh one would fault in its sums page by page and work out
// its palette matches again for every batch. At most one per thread is kept,
// and none whose sums are larger than kKeptSums bytes.
std::mutex scratchLock;
std::vector<std::unique_ptr<QuadScratch>> keptScratch;
constexpr size_t kKeptSums = size_t(64) << 20;

std::unique_ptr<QuadScratch> takeScratch()
{
    const std::lock_guard<std::mutex> lock(scratchLock);
    if (keptScratch.empty())
        return std::make_unique<QuadScratch>();
    std::unique_ptr<QuadScratch> scratch = std::move(keptScratch.back());
    keptScratch.pop_back();
    return scratch;
}

void giveBackScratch(std::unique_ptr<QuadScratch> scratch)
{
    if (scratch->packedSums.capacity() * sizeof(scratch->packedSums[0]) > kKeptSums ||
        scratch->sums.capacity() * sizeof(scratch->sums[0]) > kKeptSums ||
        scratch->wideSums.capacity() * sizeof(scratch->wideSums[0]) > kKeptSums)
        return;
    const std::lock_guard<std::mutex> lock(scratchLock);
    if (keptScratch.size() < size_t(std::max(1, parallelThreads())))
        keptScratch.push_back(std::move(scratch));
}

// Paints one frame each of frames with paint(frame, pixels, angle, scratch)
// on all threads, then draws them in order. The pixels are asked for here,
// before the threads start: the workers only read the Document.
template <typename Paint>
void paintFrames(Document &doc, const std::vector<int> &frames, const std::vector<double> &angles, Paint paint)
{
    const size_t count = std::min(frames.size(), angles.size());
    std::vector<std::span<uint8_t>> targets(count);
    for (size_t k = 0; k < count; ++k)
        targets[k] = doc.pixelsForWriting(frames[k]);
    const Document &reading = doc;
    parallelFor(int64_t(count), 1, [&](int64_t begin, int64_t end) {
        std::unique_ptr<QuadScratch> scratch = takeScratch();
        for (int64_t k = begin; k < end; ++k)
            paint(reading, frames[size_t(k)], targets[size_t(k)], angles[size_t(k)], *scratch);
        giveBackScratch(std::move(scratch));
    });
    for (size_t k = 0; k < count; ++k)
        doc.ShowPic(frames[k]);
}

} // namespace

SolidVertices cubeVertices(double b, int s, int targetWidth, int targetHeight)
{
    SolidVertices v;
    const double root3 = std::sqrt(3.0);
    for (size_t k = 1; k <= 8; ++k) {
        const CubeVertex &c = kCube[k - 1];
        const double rho = c.diagonal ? root3 : 1.0;
        const double t = rho * std::cos(b + c.phi);
        v.Z[k] = rho * std::sin(b + c.phi);
        v.X[k] = c.x0;
        v.Y[k] = c.y0;
        addPolar(v.X[k], v.Y[k], kCubeSlant, t);
    }
    for (size_t k = 1; k <= 8; ++k) {
        // Perspective: the far face (depth -1) shrinks to 0.6.
        const double f = v.Z[k] * 0.2 + 0.8;
        v.X[k] = f * v.X[k];
        v.Y[k] = -(f * v.Y[k]);
    }
    for (size_t k = 1; k <= 8; ++k) {
        // The 0.01 nudges coordinates that land on a half pixel off the tie.
        v.X[k] = s * v.X[k] / 2 + double(targetWidth) / 2 + 0.01;
        v.Y[k] = s * v.Y[k] / 2 + double(targetHeight) / 2 + 0.01;
    }
    return v;
}

std::array<bool, 4> cubeFacesShown(const SolidVertices &v)
{
    const auto &X = v.X;
    const auto &Y = v.Y;
    return {Y[4] < Y[2], Y[3] < Y[6] && X[2] > X[7], Y[2] < Y[5] && X[1] > X[6], Y[6] < Y[8]};
}

SolidVertices prismVertices(double b, int faceWidth, int faceHeight, int targetWidth, int targetHeight)
{
    SolidVertices v;
    const double radius = (std::sqrt(3.0) + std::sqrt(3.0)) / 3;
    // Vertex pairs (right end, left end) of the three long edges.
    const double phases[3] = {2 * kTwoPi / 3, kTwoPi / 3, 0};
    for (size_t pair = 0; pair < 3; ++pair) {
        for (size_t end = 0; end < 2; ++end) {
            const size_t k = 1 + 2 * pair + end;
            const double t = radius * std::sin(b + phases[pair]);
            v.Z[k] = -std::cos(b + phases[pair]);
            v.X[k] = end == 0 ? 1 : -1;
            v.Y[k] = 0;
            addPolar(v.X[k], v.Y[k], kUp, t);
        }
    }
    for (size_t k = 1; k <= 8; ++k) {
        const double f = v.Z[k] * 0.1 + 0.9;
        v.X[k] = f * v.X[k];
        v.Y[k] = -(f * v.Y[k]);
    }
    for (size_t k = 1; k <= 8; ++k) {
        v.X[k] = faceWidth * v.X[k] / 2 + double(targetWidth) / 2;
        v.Y[k] = faceHeight * v.Y[k] / 2 + double(targetHeight) / 2;
    }
    return v;
}

std::array<bool, 3> prismFacesShown(const SolidVertices &v)
{
    const auto &Y = v.Y;
    return {Y[3] < Y[1], Y[5] < Y[3], Y[1] < Y[5]};
}

namespace
{

// drawCube into the frame's pixels without drawing the frame; false when a
// window does not exist or the frame's pixels may not be written.
bool paintCube(const Document &doc, int frame, std::span<uint8_t> target, double b, int s, int edgeColour, int winA,
               int winB, int winC, QuadScratch &scratch)
{
    if (!doc.isFrame(frame) || !doc.isFrame(winA) || !doc.isFrame(winB) || !doc.isFrame(winC) ||
        target.size() != doc.pic(frame).pixelCount())
        return false;
    const SolidVertices v = cubeVertices(b, s, doc.pic(frame).lWidth, doc.pic(frame).lHeight);
    const std::array<bool, 4> shown = cubeFacesShown(v);
    const Face all[4] = {{winA, corners(v, 1, 2, 3, 4)},
                         {winB, corners(v, 2, 6, 7, 3)},
                         {winC, corners(v, 5, 6, 2, 1)},
                         {winA, corners(v, 5, 8, 7, 6)}};
    std::vector<Face> faces;
    for (size_t i = 0; i < 4; ++i)
        if (shown[i])
            faces.push_back(all[i]);
    paintFaces(doc, frame, target, faces, s, s, edgeColour, scratch);
    return true;
}

bool paintPrism(const Document &doc, int frame, std::span<uint8_t> target, double b, int edgeColour, int winD, int winE,
                int winF, QuadScratch &scratch)
{
    if (!doc.isFrame(frame) || !doc.isFrame(winD) || !doc.isFrame(winE) || !doc.isFrame(winF) ||
        target.size() != doc.pic(frame).pixelCount())
        return false;
    const int wd = doc.pic(winD).lWidth;
    const int hd = doc.pic(winD).lHeight;
    const SolidVertices v = prismVertices(b, wd, hd, doc.pic(frame).lWidth, doc.pic(frame).lHeight);
    const std::array<bool, 3> shown = prismFacesShown(v);
    const Face all[3] = {
        {winD, corners(v, 1, 2, 4, 3)}, {winE, corners(v, 3, 4, 6, 5)}, {winF, corners(v, 5, 6, 2, 1)}};
    std::vector<Face> faces;
    for (size_t i = 0; i < 3; ++i)
        if (shown[i])
            faces.push_back(all[i]);
    // Every face is outlined with window D's step counts, whatever its own window.
    paintFaces(doc, frame, target, faces, wd, hd, edgeColour, scratch);
    return true;
}

} // namespace

void drawCube(Document &doc, int frame, double b, int s, int edgeColour, int winA, int winB, int winC)
{
    QuadScratch scratch;
    if (paintCube(doc, frame, doc.pixelsForWriting(frame), b, s, edgeColour, winA, winB, winC, scratch))
        doc.ShowPic(frame);
}

void drawPrism(Document &doc, int frame, double b, int edgeColour, int winD, int winE, int winF)
{
    QuadScratch scratch;
    if (paintPrism(doc, frame, doc.pixelsForWriting(frame), b, edgeColour, winD, winE, winF, scratch))
        doc.ShowPic(frame);
}

void drawCubes(Document &doc, const std::vector<int> &frames, const std::vector<double> &angles, int s, int edgeColour,
               int winA, int winB, int winC)
{
    paintFrames(doc, frames, angles,
                [&](const Document &d, int frame, std::span<uint8_t> target, double b, QuadScratch &scratch) {
                    paintCube(d, frame, target, b, s, edgeColour, winA, winB, winC, scratch);
                });
}

void drawPrisms(Document &doc, const std::vector<int> &frames, const std::vector<double> &angles, int edgeColour,
                int winD, int winE, int winF)
{
    paintFrames(doc, frames, angles,
                [&](const Document &d, int frame, std::span<uint8_t> target, double b, QuadScratch &scratch) {
                    paintPrism(d, frame, target, b, edgeColour, winD, winE, winF, scratch);
                });
}

} // namespace velmar
