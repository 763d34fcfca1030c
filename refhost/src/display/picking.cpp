// Picking: the geometry a graphic tree shows, and the two queries the library asks of it,
// the nearest facet along a sight line and the nearest edge within a radius. Each graphic
// keeps its geometry, bounds and bounding-volume hierarchies in its cache, rebuilt when the
// graphic's revision moves on (a change anywhere in its tree but its own matrix); baked
// transforms and copies keep it (see DerivedState::cacheToOwn).
//
// Index
//   [SECTION] Geometry of graphics
//   [SECTION] Cache
#include "display_records.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>

namespace korvex {

// [SECTION] Geometry of graphics --------------------------------------------------------------

namespace {

std::vector<Vec3> verticesOf(const GraphicRecord& g) {
    std::vector<Vec3> points;
    if (!g.vertices) return points;
    points.reserve(g.vertices->size());
    for (const VertexStruct& v : *g.vertices)
        points.push_back(toVec3(v));
    return points;
}

} // namespace

bool layerShown(const DrawingRecord* d, int layer) {
    if (!d) return true;
    const auto it = d->layerVisible.find(layer);
    return it == d->layerVisible.end() || it->second;
}

namespace {

uint32_t darkened(uint32_t color) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8)
        out |= static_cast<uint32_t>(((color >> shift) & 0xFF) * 0.35) << shift;
    return out;
}

Vec3 faceNormal(const std::vector<Vec3>& p, const std::array<int, 3>& f) {
    return normalized(cross(p[f[1]] - p[f[0]], p[f[2]] - p[f[0]]));
}

bool validFace(const std::array<int, 3>& f, size_t count) {
    return std::all_of(f.begin(), f.end(),
                       [count](int i) { return i >= 0 && static_cast<size_t>(i) < count; });
}

// An edge is part of the contour when it bounds the mesh, or when its faces meet at a crease
// sharper than 30 degrees.
bool isContourEdge(const std::vector<int>& faces, const std::vector<Vec3>& p,
                   const GraphicRecord& g) {
    if (faces.size() != 2) return true;
    const FaceList& all = facesOf(g);
    const Vec3 a = faceNormal(p, all[faces[0]]), b = faceNormal(p, all[faces[1]]);
    return dot(a, b) < std::cos(30.0 * 3.141592653589793 / 180.0);
}

void appendMeshEdges(const GraphicRecord& g, const std::vector<Vec3>& local,
                     const std::vector<Vec3>& placed, MeshEdges mode, Geometry* out) {
    if (mode == MeshEdges::None || (mode == MeshEdges::Contours && !g.vectorizeContour)) return;
    std::map<std::pair<int, int>, std::vector<int>> facesOfEdge;
    const FaceList& all = facesOf(g);
    for (size_t f = 0; f < all.size(); ++f) {
        const auto& face = all[f];
        if (!validFace(face, local.size())) continue;
        for (int e = 0; e < 3; ++e) {
            const int a = face[e], b = face[(e + 1) % 3];
            facesOfEdge[{std::min(a, b), std::max(a, b)}].push_back(static_cast<int>(f));
        }
    }
    const uint32_t color = mode == MeshEdges::Contours ? darkened(g.penColor) : g.penColor;
    for (const auto& [edge, faces] : facesOfEdge)
        if (mode == MeshEdges::All || isContourEdge(faces, local, g))
            out->segments.push_back({placed[edge.first], placed[edge.second], color});
}

void appendOwnGeometry(const GraphicRecord& g, const MatrixStruct& m, MeshEdges edges,
                       Geometry* out) {
    const std::vector<Vec3> local = verticesOf(g);
    std::vector<Vec3> p;
    p.reserve(local.size());
    for (const Vec3& v : local)
        p.push_back(transformPoint(m, v));
    const uint32_t color = g.penColor;
    switch (g.kind) {
    case GraphicKindLine:
        if (p.size() == 1) out->segments.push_back({p[0], p[0], color});
        for (size_t i = 1; i < p.size(); ++i)
            out->segments.push_back({p[i - 1], p[i], color});
        break;
    case GraphicKindPolygon:
        for (size_t i = 0; i < p.size() && p.size() > 1; ++i)
            out->segments.push_back({p[i], p[(i + 1) % p.size()], color});
        // A fan: the polygon is taken to be convex.
        for (size_t i = 2; i < p.size(); ++i)
            out->triangles.push_back({p[0], p[i - 1], p[i], color});
        break;
    case GraphicKindMesh:
        for (const auto& f : facesOf(g))
            if (validFace(f, p.size()))
                out->triangles.push_back({p[f[0]], p[f[1]], p[f[2]], color});
        appendMeshEdges(g, local, p, edges, out);
        break;
    default:
        break;
    }
}

} // namespace

void collectGeometry(const GraphicRecord& g, const MatrixStruct& toTarget, bool applyOwn,
                     const CollectOptions& options, Geometry* out) {
    if (!layerShown(options.layers, g.layer)) return;
    const MatrixStruct m = applyOwn ? compose(toTarget, ownMatrix(g)) : toTarget;
    appendOwnGeometry(g, m, options.meshEdges, out);
    for (const GraphicRecord* child : g.children)
        if (child) collectGeometry(*child, m, true, options, out);
}

void boundGeometry(const GraphicRecord& g, const MatrixStruct& toTarget, Vec3* lo, Vec3* hi) {
    const MatrixStruct m = compose(toTarget, ownMatrix(g));
    const auto grow = [&](const VertexStruct& v) {
        const Vec3 p = transformPoint(m, toVec3(v));
        *lo = {std::min(lo->x, p.x), std::min(lo->y, p.y), std::min(lo->z, p.z)};
        *hi = {std::max(hi->x, p.x), std::max(hi->y, p.y), std::max(hi->z, p.z)};
    };
    const size_t count = g.vertices ? g.vertices->size() : 0;
    // Only what collectGeometry turns into segments and triangles counts: every vertex of a
    // line, of a polygon of two or more, and the vertices a valid face of a mesh uses.
    if (g.kind == GraphicKindLine || (g.kind == GraphicKindPolygon && count > 1)) {
        for (size_t i = 0; i < count; ++i)
            grow((*g.vertices)[i]);
    } else if (g.kind == GraphicKindMesh) {
        for (const auto& f : facesOf(g))
            if (validFace(f, count))
                for (int i : f)
                    grow((*g.vertices)[static_cast<size_t>(i)]);
    }
    for (const GraphicRecord* child : g.children)
        if (child) boundGeometry(*child, m, lo, hi);
}

void collectOwnGeometry(const GraphicRecord& g, MeshEdges edges, Geometry* out) {
    appendOwnGeometry(g, identityMatrix(), edges, out);
}

double intersectTriangle(Vec3 origin, Vec3 direction, const Triangle& t) {
    const Vec3 e1 = t.b - t.a, e2 = t.c - t.a;
    const Vec3 p = cross(direction, e2);
    const double det = dot(e1, p);
    if (std::fabs(det) <= 1e-300) return -1;
    const double inv = 1.0 / det;
    const Vec3 s = origin - t.a;
    const double u = dot(s, p) * inv;
    constexpr double edge = 1e-9; // shared edges hit on both sides
    if (u < -edge || u > 1 + edge) return -1;
    const Vec3 q = cross(s, e1);
    const double v = dot(direction, q) * inv;
    if (v < -edge || u + v > 1 + edge) return -1;
    return dot(e2, q) * inv;
}

// [SECTION] Cache -------------------------------------------------------------------------

namespace {

struct Box {
    Vec3 lo{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
            std::numeric_limits<double>::max()};
    Vec3 hi{-std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
            -std::numeric_limits<double>::max()};
    void add(Vec3 p) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    void add(const Box& b) {
        add(b.lo);
        add(b.hi);
    }
    bool empty() const { return lo.x > hi.x; }
};

struct BvhNode {
    Box box;
    int first = 0, count = 0; // a leaf's items in Bvh::items
    int left = -1, right = -1;
};

// A bounding-volume hierarchy over items given by their boxes; node 0 is the root.
struct Bvh {
    std::vector<BvhNode> nodes;
    std::vector<int> items;
};

constexpr int LeafSize = 4;

double axisOf(Vec3 v, int axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

int buildNode(Bvh& bvh, const std::vector<Box>& boxes, int first, int count) {
    const int index = static_cast<int>(bvh.nodes.size());
    bvh.nodes.emplace_back();
    Box box, centres;
    for (int i = first; i < first + count; ++i) {
        box.add(boxes[bvh.items[i]]);
        centres.add((boxes[bvh.items[i]].lo + boxes[bvh.items[i]].hi) * 0.5);
    }
    bvh.nodes[index].box = box;
    if (count <= LeafSize) {
        bvh.nodes[index].first = first;
        bvh.nodes[index].count = count;
        return index;
    }
    const Vec3 extent = centres.hi - centres.lo;
    const int axis = extent.x >= extent.y && extent.x >= extent.z ? 0
                     : extent.y >= extent.z                       ? 1
                                                                  : 2;
    const auto begin = bvh.items.begin() + first;
    std::nth_element(begin, begin + count / 2, begin + count, [&](int a, int b) {
        return axisOf(boxes[a].lo + boxes[a].hi, axis) < axisOf(boxes[b].lo + boxes[b].hi, axis);
    });
    const int left = buildNode(bvh, boxes, first, count / 2);
    const int right = buildNode(bvh, boxes, first + count / 2, count - count / 2);
    bvh.nodes[index].left = left;
    bvh.nodes[index].right = right;
    return index;
}

Bvh buildBvh(const std::vector<Box>& boxes) {
    Bvh bvh;
    for (size_t i = 0; i < boxes.size(); ++i)
        bvh.items.push_back(static_cast<int>(i));
    if (!boxes.empty()) buildNode(bvh, boxes, 0, static_cast<int>(boxes.size()));
    return bvh;
}

// Visits the items of every leaf whose box, and whose ancestors' boxes, `accept` takes.
template <class Accept, class Visit> void traverse(const Bvh& bvh, Accept accept, Visit visit) {
    if (bvh.nodes.empty()) return;
    // Median splits keep the tree balanced: its depth stays far below the stack's size.
    std::array<int, 64> stack;
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const BvhNode& node = bvh.nodes[stack[--top]];
        if (!accept(node.box)) continue;
        if (node.count > 0) {
            for (int i = node.first; i < node.first + node.count; ++i)
                visit(bvh.items[i]);
        } else {
            stack[top++] = node.right;
            stack[top++] = node.left;
        }
    }
}

} // namespace

// What picking keeps per graphic: its tree's geometry in the graphic's own coordinates (its
// own matrix not applied, so placing the graphic costs no rebuild), with hierarchies.
struct GraphicCache {
    Geometry geometry;
    Bvh triangles, segments;
    Box bounds;
};

namespace {

std::unique_ptr<GraphicCache> buildCache(const GraphicRecord& g) {
    auto cache = std::make_unique<GraphicCache>();
    collectGeometry(g, identityMatrix(), false, {MeshEdges::All, nullptr}, &cache->geometry);
    std::vector<Box> boxes;
    for (const Triangle& t : cache->geometry.triangles) {
        Box b;
        b.add(t.a), b.add(t.b), b.add(t.c);
        boxes.push_back(b);
        cache->bounds.add(b);
    }
    cache->triangles = buildBvh(boxes);
    boxes.clear();
    for (const Segment& s : cache->geometry.segments) {
        Box b;
        b.add(s.a), b.add(s.b);
        boxes.push_back(b);
        cache->bounds.add(b);
    }
    cache->segments = buildBvh(boxes);
    return cache;
}

const GraphicCache& cacheOf(const GraphicRecord& g) {
    if (const GraphicCache* current = currentCache(g)) return *current;
    std::shared_ptr<const GraphicCache> shared = DerivedByRevision<GraphicCache>::find(g.revision);
    if (!shared) shared = DerivedByRevision<GraphicCache>::keep(g.revision, buildCache(g));
    // Replaced, never changed in place: copies may share the old cache.
    DerivedState& derived = g.derived.made();
    derived.cache = shared;
    derived.cacheRevision = g.revision;
    derived.cacheToOwn.reset();
    return *shared;
}

// Slab test of the ray origin + t * direction, t >= tMin, against a box.
bool rayHitsBox(Vec3 origin, Vec3 direction, double tMin, double tMax, const Box& box) {
    if (box.empty()) return false;
    for (int axis = 0; axis < 3; ++axis) {
        const double o = axisOf(origin, axis), d = axisOf(direction, axis);
        const double lo = axisOf(box.lo, axis), hi = axisOf(box.hi, axis);
        if (std::fabs(d) < 1e-300) {
            if (o < lo || o > hi) return false;
            continue;
        }
        double t0 = (lo - o) / d, t1 = (hi - o) / d;
        if (t0 > t1) std::swap(t0, t1);
        tMin = std::max(tMin, t0);
        tMax = std::min(tMax, t1);
        if (tMin > tMax) return false;
    }
    return true;
}

struct FacetHit {
    double t = -1;
    int triangle = -1;
};

// The nearest triangle along the ray (in the cache's coordinates) at t >= tMin.
FacetHit nearestFacet(const GraphicCache& cache, Vec3 origin, Vec3 direction, double tMin) {
    FacetHit best;
    double tMax = std::numeric_limits<double>::max();
    // Tiny boxes of flat geometry still need a hit: widen the slabs slightly.
    traverse(
        cache.triangles,
        [&](const Box& b) {
            Box wide = b;
            const Vec3 pad = (b.hi - b.lo) * 1e-9 + Vec3{1e-12, 1e-12, 1e-12};
            wide.lo = wide.lo - pad, wide.hi = wide.hi + pad;
            return rayHitsBox(origin, direction, tMin, tMax, wide);
        },
        [&](int i) {
            const double t = intersectTriangle(origin, direction, cache.geometry.triangles[i]);
            if (t >= tMin && t < tMax) {
                tMax = t;
                best = {t, i};
            }
        });
    return best;
}

// The sight line of a facet query in world coordinates, and the smallest ray parameter that
// counts. In perspective views the viewport's pick epsilon is the nearest depth in front of
// the eye at which anything is picked, by both queries.
struct FacetRay {
    SightLine line;
    double tMin = 0;
    double offset = 0; // added to the ray parameter to give the answered distance
};

// Parallel views measure from this far in front of the eye, so anything drawn is hittable.
constexpr double ParallelFront = 1e6;

FacetRay facetRay(const ViewportRecord& vp, Vec3 worldPoint) {
    FacetRay ray;
    if (vp.perspective) {
        ray.line = sightLineThroughPixel(vp, vp.cursorX, vp.cursorY);
        ray.tMin = vp.perspectivePickEpsilon / dot(ray.line.direction, forwardOf(vp));
        return ray;
    }
    MatrixStruct toWorld;
    invertAffine(vp.view, &toWorld);
    const Vec3 view = transformPoint(vp.view, worldPoint);
    ray.line = {transformPoint(toWorld, {view.x, view.y, ParallelFront}), forwardOf(vp)};
    return ray;
}

} // namespace

} // namespace korvex

using namespace korvex;

double GraphicGetClosestFacet(const VertexStruct* point, GraphicStruct* g, int*, int*, void**,
                              void*, VertexStruct* hit, VertexStruct* normal, ViewportStruct* vp,
                              uint16_t, int, int) {
    deliverViewMatrixChanges();
    if (!g || !vp || (!point && !asViewport(vp)->perspective)) return -1;
    auto& graphic = *static_cast<GraphicRecord*>(g);
    const ViewportRecord& view = *asViewport(vp);
    const GraphicCache& cache = cacheOf(graphic);
    const FacetRay ray = facetRay(view, point ? toVec3(*point) : Vec3{});
    const MatrixStruct own = compose(ownMatrix(graphic), cacheToOwnOf(graphic));
    MatrixStruct toLocal;
    if (!invertAffine(own, &toLocal)) return -1;
    // The local direction keeps the world ray's parameter: t means the same in both.
    const Vec3 origin = transformPoint(toLocal, ray.line.origin);
    const Vec3 direction = transformVector(toLocal, ray.line.direction);
    if (!rayHitsBox(origin, direction, ray.tMin, std::numeric_limits<double>::max(), cache.bounds))
        return -1;
    const FacetHit found = nearestFacet(cache, origin, direction, ray.tMin);
    if (found.triangle < 0) return -1;
    const Vec3 at = ray.line.origin + ray.line.direction * found.t;
    if (hit) hit->x = at.x, hit->y = at.y, hit->z = at.z;
    if (normal) {
        const Triangle& t = cache.geometry.triangles[found.triangle];
        Vec3 n =
            normalized(cross(transformVector(own, t.b - t.a), transformVector(own, t.c - t.a)));
        if (dot(n, ray.line.direction) > 0) n = -n;
        normal->x = n.x, normal->y = n.y, normal->z = n.z;
    }
    return found.t;
}

namespace korvex {

double nearestFacetAlong(GraphicRecord& g, const MatrixStruct& toWorld, const SightLine& line,
                         double tMin) {
    MatrixStruct toLocal;
    if (!invertAffine(toWorld, &toLocal)) return -1;
    const GraphicCache& cache = cacheOf(g);
    // The local direction keeps the world line's parameter: t means the same in both.
    const Vec3 origin = transformPoint(toLocal, line.origin);
    const Vec3 direction = transformVector(toLocal, line.direction);
    if (!rayHitsBox(origin, direction, tMin, std::numeric_limits<double>::max(), cache.bounds))
        return -1;
    return nearestFacet(cache, origin, direction, tMin).t;
}

} // namespace korvex

namespace {

// The edge query's plane: view x, y (parallel) or the normalized projection (perspective),
// whose units become drawing units through `scale`.
struct EdgeQuery {
    MatrixStruct toView; // graphic coordinates into view coordinates
    bool perspective = false;
    double nearDepth = 0;  // perspective: nearest depth that counts
    double cx = 0, cy = 0; // the cursor in the query plane
    double radius = 0;     // the tolerance in the query plane
    double scale = 1;
};

struct EdgeHit {
    double distance = -1; // drawing units
    Vec3 point;           // view coordinates
};

bool projectToQueryPlane(const EdgeQuery& q, Vec3 view, double* x, double* y) {
    if (!q.perspective) {
        *x = view.x, *y = view.y;
        return true;
    }
    if (-view.z < q.nearDepth) return false;
    *x = view.x / -view.z, *y = view.y / -view.z;
    return true;
}

// The box's bounds in view space: its centre mapped, its half-size through the matrix's
// absolute values. One point mapped instead of eight corners on every node of a query.
Box viewBoundsOf(const MatrixStruct& m, const Box& b) {
    const Vec3 centre = transformPoint(m, (b.lo + b.hi) * 0.5);
    const Vec3 half = (b.hi - b.lo) * 0.5;
    const auto reach = [&](int row) {
        return std::fabs(m.m[row]) * half.x + std::fabs(m.m[4 + row]) * half.y +
               std::fabs(m.m[8 + row]) * half.z;
    };
    const Vec3 r{reach(0), reach(1), reach(2)};
    Box v;
    v.lo = centre - r;
    v.hi = centre + r;
    return v;
}

bool boxNearCursor(const EdgeQuery& q, const Box& box) {
    if (box.empty()) return false;
    const Box v = viewBoundsOf(q.toView, box);
    double lx = v.lo.x, ly = v.lo.y, hx = v.hi.x, hy = v.hi.y;
    if (q.perspective) {
        const double nearest = -v.hi.z, farthest = -v.lo.z;
        // A box reaching nearer than the near depth cannot be bounded on the plane: keep it.
        if (nearest < q.nearDepth) return true;
        lx = std::min(lx / nearest, lx / farthest), hx = std::max(hx / nearest, hx / farthest);
        ly = std::min(ly / nearest, ly / farthest), hy = std::max(hy / nearest, hy / farthest);
    }
    return q.cx >= lx - q.radius && q.cx <= hx + q.radius && q.cy >= ly - q.radius &&
           q.cy <= hy + q.radius;
}

// Cuts the part of a view-space segment nearer the eye than the near depth; false when
// nothing is left.
bool clipToNearDepth(const EdgeQuery& q, Vec3* a, Vec3* b) {
    if (!q.perspective) return true;
    const double da = -a->z, db = -b->z;
    if (da < q.nearDepth && db < q.nearDepth) return false;
    if (da < q.nearDepth) *a = *a + (*b - *a) * ((q.nearDepth - da) / (db - da));
    if (db < q.nearDepth) *b = *b + (*a - *b) * ((q.nearDepth - db) / (da - db));
    return true;
}

void measureSegment(const EdgeQuery& q, const Segment& s, EdgeHit* best) {
    Vec3 a = transformPoint(q.toView, s.a), b = transformPoint(q.toView, s.b);
    if (!clipToNearDepth(q, &a, &b)) return;
    double ax = 0, ay = 0, bx = 0, by = 0;
    projectToQueryPlane(q, a, &ax, &ay);
    projectToQueryPlane(q, b, &bx, &by);
    const double ex = bx - ax, ey = by - ay, len2 = ex * ex + ey * ey;
    const double u =
        len2 > 0 ? std::clamp(((q.cx - ax) * ex + (q.cy - ay) * ey) / len2, 0.0, 1.0) : 0.0;
    const double dx = ax + ex * u - q.cx, dy = ay + ey * u - q.cy;
    const double planeDistance = std::sqrt(dx * dx + dy * dy);
    if (planeDistance > q.radius) return;
    // The projected parameter back on the segment (perspective-correct).
    double t = u;
    if (q.perspective) {
        const double da = -a.z, db = -b.z;
        t = u * da / ((1 - u) * db + u * da);
    }
    const Vec3 point = a + (b - a) * t;
    const double distance = planeDistance * q.scale;
    const bool tie = best->distance >= 0 &&
                     std::fabs(distance - best->distance) <= 1e-12 * std::max(1.0, distance);
    if (best->distance < 0 || (tie ? point.z > best->point.z : distance < best->distance))
        *best = {distance, point};
}

} // namespace

double GraphicGetDistanceEx2(GraphicStruct* g, const VertexStruct* point,
                             const MatrixStruct* viewMatrix, VertexStruct* nearest, GraphicStruct*,
                             void**, double tolerance, uint32_t, int, int, ViewportStruct* vp) {
    deliverViewMatrixChanges();
    if (!g || !vp || !(tolerance >= 0)) return -1;
    auto& graphic = *static_cast<GraphicRecord*>(g);
    const ViewportRecord& view = *asViewport(vp);
    EdgeQuery q;
    q.perspective = view.perspective;
    const MatrixStruct& v = q.perspective || !viewMatrix ? view.view : *viewMatrix;
    q.toView = compose(v, compose(ownMatrix(graphic), cacheToOwnOf(graphic)));
    if (q.perspective) {
        const SightLine line = sightLineThroughPixel(view, view.cursorX, view.cursorY);
        const Vec3 d = transformVector(view.view, line.direction);
        q.cx = d.x / -d.z, q.cy = d.y / -d.z;
        q.nearDepth = view.perspectivePickEpsilon;
        q.scale = length(toVec3(view.camera.target) - eyeOf(view));
        if (!(q.scale > 0)) return -1;
    } else {
        if (!point) return -1;
        q.cx = point->x, q.cy = point->y;
    }
    q.radius = tolerance / q.scale;
    const GraphicCache& cache = cacheOf(graphic);
    EdgeHit best;
    traverse(
        cache.segments, [&](const Box& b) { return boxNearCursor(q, b); },
        [&](int i) { measureSegment(q, cache.geometry.segments[i], &best); });
    if (best.distance < 0) return -1;
    if (nearest) nearest->x = best.point.x, nearest->y = best.point.y, nearest->z = best.point.z;
    return best.distance;
}
