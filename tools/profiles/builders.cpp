// Triangle-mesh builders for handle geometry.
#include "builders.h"

#include "korvex/drawing.h"

#include <cmath>

namespace profiles {

namespace {

constexpr double Pi = 3.141592653589793;

// Coordinates are kept to 1e-9 drawing units, far below any handle's size, so that the
// profile files stay short and readable.
double tidy(double value) {
    return std::nearbyint(value * 1e9) / 1e9;
}

// A point of the circle of `radius` about the X axis at `x`, at angle 2 pi i / segments.
KvPoint circlePoint(double x, double radius, int i, int segments) {
    const double a = 2 * Pi * i / segments;
    return {x, radius * std::cos(a), radius * std::sin(a)};
}

int addVertex(Mesh& mesh, KvPoint p) {
    mesh.vertices.push_back(p);
    return static_cast<int>(mesh.vertices.size()) - 1;
}

// A disc closing a ring of `segments` vertices starting at `first`, about `centre`; `front`
// says whether the ring runs counter-clockwise seen from the side the disc faces.
void addCap(Mesh& mesh, int first, int segments, KvPoint centre, bool front) {
    const int c = addVertex(mesh, centre);
    for (int i = 0; i < segments; ++i) {
        const int a = first + i, b = first + (i + 1) % segments;
        mesh.faces.push_back(front ? std::array<int, 3>{c, a, b} : std::array<int, 3>{c, b, a});
    }
}

} // namespace

KvPoint Frame::apply(KvPoint local) const {
    return origin + local.x * x + local.y * y + local.z * z;
}

Frame Frame::flipped() const {
    return {-x, -y, z, origin};
}

void Mesh::append(const Mesh& other) {
    const int offset = static_cast<int>(vertices.size());
    vertices.insert(vertices.end(), other.vertices.begin(), other.vertices.end());
    for (const auto& f : other.faces)
        faces.push_back({f[0] + offset, f[1] + offset, f[2] + offset});
}

Mesh Mesh::transformed(const Frame& frame) const {
    Mesh out = *this;
    for (KvPoint& v : out.vertices)
        v = frame.apply(v);
    return out;
}

Mesh cylinder(double x0, double x1, double radius, int segments) {
    Mesh mesh;
    for (int i = 0; i < segments; ++i) {
        addVertex(mesh, circlePoint(x0, radius, i, segments));
        addVertex(mesh, circlePoint(x1, radius, i, segments));
    }
    for (int i = 0; i < segments; ++i) {
        const int b0 = 2 * i, t0 = b0 + 1;
        const int b1 = 2 * ((i + 1) % segments), t1 = b1 + 1;
        mesh.faces.push_back({b0, b1, t1});
        mesh.faces.push_back({b0, t1, t0});
    }
    Mesh bottom, top;
    for (int i = 0; i < segments; ++i) {
        addVertex(bottom, circlePoint(x0, radius, i, segments));
        addVertex(top, circlePoint(x1, radius, i, segments));
    }
    addCap(bottom, 0, segments, {x0, 0, 0}, false);
    addCap(top, 0, segments, {x1, 0, 0}, true);
    mesh.append(bottom);
    mesh.append(top);
    return mesh;
}

Mesh cone(double x0, double x1, double radius, int segments) {
    Mesh mesh;
    for (int i = 0; i < segments; ++i)
        addVertex(mesh, circlePoint(x0, radius, i, segments));
    const int apex = addVertex(mesh, {x1, 0, 0});
    for (int i = 0; i < segments; ++i)
        mesh.faces.push_back({i, (i + 1) % segments, apex});
    addCap(mesh, 0, segments, {x0, 0, 0}, false);
    return mesh;
}

Mesh torus(double majorRadius, double minorRadius, int segments, int tubeSegments) {
    Mesh mesh;
    for (int i = 0; i < segments; ++i) {
        const double u = 2 * Pi * i / segments;
        for (int j = 0; j < tubeSegments; ++j) {
            const double v = 2 * Pi * j / tubeSegments;
            const double r = majorRadius + minorRadius * std::cos(v);
            addVertex(mesh, {r * std::cos(u), r * std::sin(u), minorRadius * std::sin(v)});
        }
    }
    const auto at = [&](int i, int j) { return (i % segments) * tubeSegments + j % tubeSegments; };
    for (int i = 0; i < segments; ++i)
        for (int j = 0; j < tubeSegments; ++j) {
            mesh.faces.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            mesh.faces.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    return mesh;
}

Mesh quad(KvPoint a, KvPoint b, KvPoint c, KvPoint d) {
    return {{a, b, c, d}, {{0, 1, 2}, {0, 2, 3}}};
}

Mesh square(KvPoint centre, KvPoint u, KvPoint v, double half) {
    const KvPoint du = half * u, dv = half * v;
    return quad(centre - du - dv, centre + du - dv, centre + du + dv, centre - du + dv);
}

Mesh box(KvPoint min, KvPoint max) {
    const KvPoint centre = 0.5 * (min + max), size = max - min;
    const KvPoint axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const double extent[3] = {size.x, size.y, size.z};
    Mesh mesh;
    for (int k = 0; k < 3; ++k) {
        // The face's own axes run cyclically after its normal, so u x v is the normal.
        const int ku = (k + 1) % 3, kv = (k + 2) % 3;
        const KvPoint u = 0.5 * extent[ku] * axes[ku], v = 0.5 * extent[kv] * axes[kv];
        for (const double side : {1.0, -1.0}) {
            const KvPoint c = centre + (0.5 * side * extent[k]) * axes[k];
            const KvPoint su = side * u;
            mesh.append(quad(c - su - v, c + su - v, c + su + v, c - su + v));
        }
    }
    return mesh;
}

Mesh cube(KvPoint centre, double half) {
    const KvPoint h{half, half, half};
    return box(centre - h, centre + h);
}

Mesh sphere(KvPoint centre, double radius, int slices, int stacks) {
    Mesh mesh;
    const int north = addVertex(mesh, centre + KvPoint{0, 0, radius});
    for (int k = 1; k < stacks; ++k) {
        const double theta = Pi * k / stacks;
        for (int i = 0; i < slices; ++i) {
            const double phi = 2 * Pi * i / slices;
            addVertex(mesh,
                      centre + radius * KvPoint{std::sin(theta) * std::cos(phi),
                                                std::sin(theta) * std::sin(phi), std::cos(theta)});
        }
    }
    const int south = addVertex(mesh, centre - KvPoint{0, 0, radius});
    const auto ring = [&](int k, int i) { return 1 + (k - 1) * slices + i % slices; };
    for (int i = 0; i < slices; ++i) {
        mesh.faces.push_back({north, ring(1, i), ring(1, i + 1)});
        for (int k = 1; k + 1 < stacks; ++k) {
            mesh.faces.push_back({ring(k, i), ring(k + 1, i), ring(k + 1, i + 1)});
            mesh.faces.push_back({ring(k, i), ring(k + 1, i + 1), ring(k, i + 1)});
        }
        mesh.faces.push_back({south, ring(stacks - 1, i + 1), ring(stacks - 1, i)});
    }
    return mesh;
}

std::vector<std::array<KvPoint, 2>> boxEdges(KvPoint min, KvPoint max) {
    const auto corner = [&](int i) {
        return KvPoint{i & 1 ? max.x : min.x, i & 2 ? max.y : min.y, i & 4 ? max.z : min.z};
    };
    std::vector<std::array<KvPoint, 2>> edges;
    for (int i = 0; i < 8; ++i)
        for (const int bit : {1, 2, 4})
            if (!(i & bit)) edges.push_back({corner(i), corner(i | bit)});
    return edges;
}

GraphicStruct* meshGraphic(const Mesh& mesh, uint32_t pen) {
    GraphicStruct* g = kvGraphicNew(GraphicKindMesh);
    kvGraphicSetPen(g, pen);
    for (const KvPoint& v : mesh.vertices)
        kvGraphicAddVertex(g, tidy(v.x), tidy(v.y), tidy(v.z));
    for (const auto& f : mesh.faces)
        kvGraphicAddFace(g, f[0], f[1], f[2]);
    return g;
}

GraphicStruct* lineGraphic(KvPoint a, KvPoint b, uint32_t pen) {
    GraphicStruct* g = kvGraphicNew(GraphicKindLine);
    kvGraphicSetPen(g, pen);
    kvGraphicAddVertex(g, tidy(a.x), tidy(a.y), tidy(a.z));
    kvGraphicAddVertex(g, tidy(b.x), tidy(b.y), tidy(b.z));
    return g;
}

} // namespace profiles
