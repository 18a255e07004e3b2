#pragma once

// The turning cube and the turning triangular prism: each call paints one
// already added frame (filled with the background) with the faces of the
// solid at one turn angle, outlines them, stores the pixels and draws the
// frame. The Create command runs the loop over the angles and adds the
// frames.

#include <array>
#include <vector>

namespace velmar
{

class Document;

// Vertex coordinates of a solid; elements 1..8 are the vertices (element 0
// is unused, the prism leaves 7 and 8 at zero). After the projection X and Y
// are pixel coordinates of the target frame, not yet rounded; Z is the depth
// before the projection.
struct SolidVertices {
    std::array<double, 9> X{};
    std::array<double, 9> Y{};
    std::array<double, 9> Z{};
};

// The cube of edge 2 at turn angle b, projected into a targetWidth x
// targetHeight frame with faces s pixels across. At b = 0 face 1 (vertices
// 1..4) faces the viewer squarely; at b = pi the opposite face 4 does.
SolidVertices cubeVertices(double b, int s, int targetWidth, int targetHeight);
// Which of the cube's faces 1..4 (elements 0..3) face the viewer.
std::array<bool, 4> cubeFacesShown(const SolidVertices &v);

// The prism at turn angle b, projected into a targetWidth x targetHeight frame
// with a face of faceWidth x faceHeight pixels (window D's size) squarely in
// front at b = 0.
SolidVertices prismVertices(double b, int faceWidth, int faceHeight, int targetWidth, int targetHeight);
// Which of the prism's faces 1..3 (elements 0..2) face the viewer.
std::array<bool, 3> prismFacesShown(const SolidVertices &v);

// Paints frame `frame` with the cube at angle b: face 1 and face 4 show
// window winA, face 2 winB, face 3 winC, each whole, in the colours of
// the frame's palette; visible faces are outlined in edgeColour after all
// faces are painted.
void drawCube(Document &doc, int frame, double b, int s, int edgeColour, int winA, int winB, int winC);

// Paints frame `frame` with the prism at angle b: faces 1, 2, 3 show windows
// winD, winE, winF; the face size is window winD's.
void drawPrism(Document &doc, int frame, double b, int edgeColour, int winD, int winE, int winF);

// drawCube / drawPrism on already added frames, frames[k] at angle
// angles[k]: painted on all threads, then drawn in order.
void drawCubes(Document &doc, const std::vector<int> &frames, const std::vector<double> &angles, int s, int edgeColour,
               int winA, int winB, int winC);
void drawPrisms(Document &doc, const std::vector<int> &frames, const std::vector<double> &angles, int edgeColour,
                int winD, int winE, int winF);

} // namespace velmar
