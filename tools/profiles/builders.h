// Triangle-mesh builders for handle geometry. Every builder works in a handle's local frame
// and winds its triangles counter-clockwise seen from outside.
#ifndef TILLER_TOOLS_PROFILES_BUILDERS_H
#define TILLER_TOOLS_PROFILES_BUILDERS_H

#include "korvex/math.h"

#include <array>
#include <cstdint>
#include <vector>

namespace profiles {

// A rigid frame: the images of the local axes and of the local origin.
struct Frame {
    KvPoint x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
    KvPoint origin{};

    KvPoint apply(KvPoint local) const;
    // The same frame turned half a turn about its Z axis: X and Y point the other way.
    Frame flipped() const;
};

struct Mesh {
    std::vector<KvPoint> vertices;
    std::vector<std::array<int, 3>> faces;

    void append(const Mesh& other);
    Mesh transformed(const Frame& frame) const;
};

// A closed cylinder along the X axis from x0 to x1.
Mesh cylinder(double x0, double x1, double radius, int segments);
// A closed cone along the X axis: its base at x0, its apex at x1.
Mesh cone(double x0, double x1, double radius, int segments);
// A torus about the Z axis, lying in the XY plane.
Mesh torus(double majorRadius, double minorRadius, int segments, int tubeSegments);
// A quad whose front (counter-clockwise) side faces where (b - a) x (c - a) points.
Mesh quad(KvPoint a, KvPoint b, KvPoint c, KvPoint d);
// A square of half size `half` about `centre` in the plane spanned by the unit vectors u and
// v, facing u x v.
Mesh square(KvPoint centre, KvPoint u, KvPoint v, double half);
// An axis-aligned box given by two opposite corners.
Mesh box(KvPoint min, KvPoint max);
Mesh cube(KvPoint centre, double half);
Mesh sphere(KvPoint centre, double radius, int slices, int stacks);

// The twelve edges of an axis-aligned box, as pairs of end points.
std::vector<std::array<KvPoint, 2>> boxEdges(KvPoint min, KvPoint max);

// New graphics (kvGraphicNew) holding the geometry.
GraphicStruct* meshGraphic(const Mesh& mesh, uint32_t pen);
GraphicStruct* lineGraphic(KvPoint a, KvPoint b, uint32_t pen);

} // namespace profiles

#endif
