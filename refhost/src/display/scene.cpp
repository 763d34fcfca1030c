// The host application: a scene drawing with the user's selection, the extents callback, the
// pointer-to-drag-sample conversion and applying a drag to the selection.
//
// Index
//   [SECTION] Model
//   [SECTION] Pointer
//   [SECTION] Scenes
//   [SECTION] Model and selection
//   [SECTION] Pointer
#include "display_records.h"
#include "korvex/drawing.h"
#include "korvex/session.h"
#include "korvex/testing.h"

#include <algorithm>
#include <limits>
#include <new>

struct KvScene {
    DrawingStruct* drawing = nullptr; // owned
    std::vector<GraphicRecord*> selection;
    std::vector<MatrixStruct> previewFrom; // own matrices before a preview; empty without one
    bool dragging = false;
    korvex::Vec3 grabbed;
    korvex::Vec3 dragPlaneNormal;
};

namespace korvex {

namespace {

KvScene*& currentScene() {
    static KvScene* scene = nullptr;
    return scene;
}

// [SECTION] Model ---------------------------------------------------------------------------

MatrixStruct parentWorldMatrix(const GraphicRecord& g) {
    MatrixStruct m = identityMatrix();
    const GraphicStruct* p = (g.flags & GraphicFlagNoParent) ? nullptr : g.parent;
    while (p) {
        const auto& parent = *static_cast<const GraphicRecord*>(p);
        m = compose(ownMatrix(parent), m);
        p = (parent.flags & GraphicFlagNoParent) ? nullptr : parent.parent;
    }
    return m;
}

KvPoint toPoint(Vec3 v) {
    return {v.x, v.y, v.z};
}

// The axes of `axes` with their origin at p.
MatrixStruct placedAt(const MatrixStruct& axes, Vec3 p) {
    MatrixStruct m = axes;
    m.m[12] = p.x, m.m[13] = p.y, m.m[14] = p.z;
    return m;
}

// The directions of g's placement in the world, made orthonormal and right-handed (a scaled
// or sheared part keeps the direction of its X axis and the plane of its X and Y axes).
MatrixStruct selectionAxes(const GraphicRecord& g) {
    const MatrixStruct world = compose(parentWorldMatrix(g), ownMatrix(g));
    const Vec3 x = normalized(column(world, 0));
    const Vec3 z = normalized(cross(x, column(world, 1)));
    if (!(length(x) > 0.5) || !(length(z) > 0.5)) return identityMatrix();
    MatrixStruct m = identityMatrix();
    setColumn(m, 0, x), setColumn(m, 1, cross(z, x)), setColumn(m, 2, z);
    return m;
}

// Puts each previewed graphic back on the very matrix it had before the preview.
void endPreview(KvScene& scene) {
    for (std::size_t i = 0; i < scene.previewFrom.size(); ++i)
        GraphicSetMatrix(scene.selection[i], &scene.previewFrom[i], 0);
    scene.previewFrom.clear();
}

// Every change of the selection ends a preview first, while it still names the previewed
// graphics.
void selectOnly(KvScene* scene, GraphicStruct* g) {
    endPreview(*scene);
    scene->selection.clear();
    if (g) scene->selection.push_back(static_cast<GraphicRecord*>(g));
}

// Adds a new graphic to the model root; null (and nothing added) when it cannot be made.
GraphicStruct* addMeshToModel(KvScene* scene, const std::vector<Vec3>& vertices,
                              const std::vector<std::array<int, 3>>& faces, uint32_t color) {
    GraphicStruct* mesh = kvGraphicNew(GraphicKindMesh);
    if (!mesh) return nullptr;
    kvGraphicSetPen(mesh, color);
    for (const Vec3& v : vertices)
        if (!kvGraphicAddVertex(mesh, v.x, v.y, v.z)) return GraphicDispose(&mesh), nullptr;
    for (const auto& f : faces)
        if (!kvGraphicAddFace(mesh, f[0], f[1], f[2])) return GraphicDispose(&mesh), nullptr;
    if (!kvGraphicAddChild(DrawingGetModelRoot(scene->drawing), mesh))
        return GraphicDispose(&mesh), nullptr;
    return mesh;
}

// [SECTION] Pointer -------------------------------------------------------------------------

constexpr double EdgeOnSine = 0.17364817766693033; // sin(10 degrees)

struct Plane {
    Vec3 point;
    Vec3 normal; // unit length
};

// The parameter along the line where it meets the plane; false when they are parallel.
bool meetPlane(const SightLine& line, const Plane& plane, double* t) {
    const double along = dot(line.direction, plane.normal);
    if (std::fabs(along) < 1e-12) return false;
    *t = dot(plane.point - line.origin, plane.normal) / along;
    return true;
}

bool nearlyEdgeOn(const SightLine& line, Vec3 normal) {
    return std::fabs(dot(line.direction, normal)) < EdgeOnSine;
}

// Perspective sight lines run forward from the eye; parallel ones reach everything drawn.
bool inFront(const ViewportRecord& vp, double t) {
    return !vp.perspective || t > 0;
}

bool hitPlane(const ViewportRecord& vp, const SightLine& line, const Plane& plane, Vec3* out) {
    double t = 0;
    if (!meetPlane(line, plane, &t) || !inFront(vp, t)) return false;
    *out = line.origin + line.direction * t;
    return true;
}

Plane facingTheView(const ViewportRecord& vp, Vec3 through) {
    return {through, forwardOf(vp)};
}

bool ordinaryCursorPoint(const ViewportRecord& vp, const SightLine& line, Vec3* out) {
    const Plane ground{{0, 0, 0}, {0, 0, 1}};
    if (!nearlyEdgeOn(line, ground.normal) && hitPlane(vp, line, ground, out)) return true;
    return hitPlane(vp, line, facingTheView(vp, toVec3(vp.camera.target)), out);
}

bool dragCursorPoint(const KvScene& scene, const ViewportRecord& vp, const SightLine& line,
                     Vec3* out) {
    if (hitPlane(vp, line, {scene.grabbed, scene.dragPlaneNormal}, out)) return true;
    return hitPlane(vp, line, facingTheView(vp, scene.grabbed), out);
}

KvDragSample sampleAt(const ViewportRecord& vp, Vec3 p) {
    Vec3 v = transformPoint(vp.view, p);
    if (vp.perspective) v = {v.x / -v.z, v.y / -v.z, -1};
    return {p.x, p.y, p.z, v.x, v.y, v.z};
}

// The nearest point along a sight line of what a viewport shows, found the way a depth
// read-back would find it. A parallel view shows what lies behind its eye too: its line is
// cast from far in front, and the point found is measured back from the line's own origin, so
// that it lies on the pixel's sight line as exactly as the later drag samples do.
class GrabSearch {
  public:
    GrabSearch(const ViewportRecord& vp, const SightLine& line)
        : vp_(vp), line_(line), origin_(line.origin), shift_(vp.perspective ? 0 : 1e6) {
        line_.origin = line.origin - line.direction * shift_;
    }

    void cast(const Geometry& g, const MatrixStruct& toWorld) {
        for (const Triangle& tri : g.triangles) {
            const Triangle w{transformPoint(toWorld, tri.a), transformPoint(toWorld, tri.b),
                             transformPoint(toWorld, tri.c), 0};
            consider(intersectTriangle(line_.origin, line_.direction, w));
        }
        for (const Segment& s : g.segments)
            castSegment(transformPoint(toWorld, s.a), transformPoint(toWorld, s.b));
    }
    // The model, each mesh through its own cached hierarchy and the rest as it is drawn, so
    // that a press costs a walk of the hierarchies rather than of every triangle.
    void castModel(GraphicRecord& g, const MatrixStruct& parentToWorld, const DrawingRecord* d) {
        if (!layerShown(d, g.layer)) return;
        const MatrixStruct toWorld = compose(parentToWorld, ownMatrix(g));
        if (g.kind == GraphicKindMesh && g.children.empty()) {
            consider(nearestFacetAlong(g, toWorld, line_, 0));
            return;
        }
        if (g.children.empty()) {
            Geometry own;
            collectGeometry(g, parentToWorld, true, {MeshEdges::None, d}, &own);
            cast(own, identityMatrix());
        }
        for (GraphicRecord* child : g.children)
            if (child) castModel(*child, toWorld, d);
    }
    bool found() const { return found_; }
    Vec3 point() const { return origin_ + line_.direction * (t_ - shift_); }

  private:
    void consider(double t) {
        if (t <= 0) return;
        if (!found_ || t < t_) t_ = t, found_ = true;
    }

    // A line is under the pixel when the sight line passes within 1.5 pixels of it.
    void castSegment(Vec3 a, Vec3 b) {
        const Vec3 d = line_.direction, w = a - line_.origin, e = b - a;
        const Vec3 pw = w - d * dot(d, w), pe = e - d * dot(d, e);
        const double pe2 = dot(pe, pe);
        const double u = pe2 > 0 ? std::clamp(-dot(pw, pe) / pe2, 0.0, 1.0) : 0.0;
        const Vec3 closest = a + e * u;
        double r = 0;
        if (!unitsPerPixelAt(vp_, closest, &r)) return;
        if (length(pw + pe * u) > 1.5 * r) return;
        consider(dot(d, closest - line_.origin));
    }

    const ViewportRecord& vp_;
    SightLine line_;
    Vec3 origin_;
    double shift_;
    bool found_ = false;
    double t_ = 0;
};

bool findGrabbedPoint(ViewportRecord& vp, const SightLine& line, Vec3* out) {
    const std::vector<ElementView> shown = elementsShownIn(&vp);
    // Higher draw priorities are drawn over the model: the first of them under the pixel wins.
    for (auto it = shown.rbegin(); it != shown.rend() && it->priority > 0;) {
        GrabSearch search(vp, line);
        const int priority = it->priority;
        for (; it != shown.rend() && it->priority == priority; ++it)
            search.cast(*it->snapshot, it->drawn);
        if (search.found()) return *out = search.point(), true;
    }
    GrabSearch search(vp, line);
    for (const ElementView& e : shown)
        if (e.priority <= 0) search.cast(*e.snapshot, e.drawn);
    if (vp.drawing && vp.drawing->root)
        search.castModel(*vp.drawing->root, identityMatrix(), vp.drawing);
    if (!search.found()) return false;
    *out = search.point();
    return true;
}

} // namespace

} // namespace korvex

using namespace korvex;

// [SECTION] Scenes --------------------------------------------------------------------------

KvScene* kvSceneNew() {
    DrawingStruct* drawing = kvDrawingNew();
    if (!drawing) return nullptr;
    auto* scene = new (std::nothrow) KvScene;
    if (!scene) {
        DrawingDispose(&drawing);
        return nullptr;
    }
    scene->drawing = drawing;
    currentScene() = scene;
    return scene;
}

void kvSceneDispose(KvScene** scene) {
    if (!scene || !*scene) return;
    if (currentScene() == *scene) currentScene() = nullptr;
    // Whoever keeps something of the drawing hears of its closing while it still exists.
    kvAppCloseDrawingNotify((*scene)->drawing);
    DrawingDispose(&(*scene)->drawing);
    delete *scene;
    *scene = nullptr;
}

DrawingStruct* kvSceneDrawing(KvScene* scene) {
    return scene ? scene->drawing : nullptr;
}

void kvSceneMakeCurrent(KvScene* scene) {
    currentScene() = scene;
}

KvScene* kvSceneCurrent() {
    return currentScene();
}

// [SECTION] Model and selection -------------------------------------------------------------

GraphicStruct* kvSceneAddBox(KvScene* scene, KvPoint min, KvPoint max, uint32_t color) {
    return answerOrFail<GraphicStruct*>(nullptr, [&]() -> GraphicStruct* {
        const int flatSides = (min.x == max.x) + (min.y == max.y) + (min.z == max.z);
        if (!scene || !(min.x <= max.x && min.y <= max.y && min.z <= max.z) || flatSides > 1)
            return nullptr;
        std::vector<Vec3> corners;
        for (int i = 0; i < 8; ++i)
            corners.push_back(
                {i & 1 ? max.x : min.x, i & 2 ? max.y : min.y, i & 4 ? max.z : min.z});
        // Two triangles per side, wound outwards.
        const std::array<std::array<int, 3>, 12> sides = {{{0, 2, 3},
                                                           {0, 3, 1},
                                                           {4, 5, 7},
                                                           {4, 7, 6},
                                                           {0, 1, 5},
                                                           {0, 5, 4},
                                                           {2, 6, 7},
                                                           {2, 7, 3},
                                                           {0, 4, 6},
                                                           {0, 6, 2},
                                                           {1, 3, 7},
                                                           {1, 7, 5}}};
        // A flat box keeps its two faces; the sides it has lost would be triangles without area.
        std::vector<std::array<int, 3>> faces;
        for (const auto& f : sides) {
            const Vec3 n = cross(corners[f[1]] - corners[f[0]], corners[f[2]] - corners[f[0]]);
            if (length(n) > 0) faces.push_back(f);
        }
        scene->selection.reserve(1); // room to select it, before the model changes
        GraphicStruct* box = addMeshToModel(scene, corners, faces, color);
        if (box) selectOnly(scene, box);
        return box;
    });
}

GraphicStruct* kvSceneAddMesh(KvScene* scene, const KvPoint* vertices, int count, const int* faces,
                              int faceCount, uint32_t color) {
    return answerOrFail<GraphicStruct*>(nullptr, [&]() -> GraphicStruct* {
        if (!scene || !vertices || count < 0 || faceCount < 0 || (faceCount > 0 && !faces))
            return nullptr;
        std::vector<Vec3> points;
        for (int i = 0; i < count; ++i)
            points.push_back({vertices[i].x, vertices[i].y, vertices[i].z});
        std::vector<std::array<int, 3>> triangles;
        for (int i = 0; i < faceCount; ++i) {
            const std::array<int, 3> f{faces[3 * i], faces[3 * i + 1], faces[3 * i + 2]};
            if (std::any_of(f.begin(), f.end(), [count](int v) { return v < 0 || v >= count; }))
                return nullptr;
            triangles.push_back(f);
        }
        scene->selection.reserve(1);
        GraphicStruct* mesh = addMeshToModel(scene, points, triangles, color);
        if (mesh) selectOnly(scene, mesh);
        return mesh;
    });
}

int kvSceneLoadFile(KvScene* scene, const char* path, std::string* reason) {
    return answerOrFail<int>(0, [&]() -> int {
        if (!scene || !path) return 0;
        DrawingStruct* file = kvReadDrawingFile(path, reason);
        if (!file) return 0;
        GraphicStruct* root = DrawingGetModelRoot(scene->drawing);
        const std::vector<GraphicRecord*>& children =
            static_cast<GraphicRecord*>(DrawingGetModelRoot(file))->children;
        std::vector<GraphicRecord*> loaded;
        loaded.reserve(children.size());
        bool complete = true;
        for (GraphicRecord* g : children) {
            GraphicStruct* copy = GraphicCopyEx(g, nullptr, 0, 0);
            if (!copy || !kvGraphicAddChild(root, copy)) {
                GraphicDispose(&copy);
                complete = false;
                break;
            }
            loaded.push_back(static_cast<GraphicRecord*>(copy));
        }
        DrawingDispose(&file);
        if (!complete && reason) *reason = "a graphic of the file could not be copied";
        endPreview(*scene);
        scene->selection = std::move(loaded);
        return complete ? 1 : 0;
    });
}

int kvSceneSelect(KvScene* scene, GraphicStruct* g, int selected) {
    if (!scene || !g) return 0;
    auto& list = scene->selection;
    if (selected && !madeRoom([&list] { reserveOneMore(list); })) return 0;
    endPreview(*scene);
    auto* record = static_cast<GraphicRecord*>(g);
    list.erase(std::remove(list.begin(), list.end(), record), list.end());
    if (selected) list.push_back(record);
    return 1;
}

void kvSceneClearSelection(KvScene* scene) {
    if (!scene) return;
    endPreview(*scene);
    scene->selection.clear();
}

std::vector<GraphicStruct*> kvSceneSelection(KvScene* scene) {
    return answerOrFail<std::vector<GraphicStruct*>>({}, [&]() -> std::vector<GraphicStruct*> {
        if (!scene) return {};
        return {scene->selection.begin(), scene->selection.end()};
    });
}

int kvSceneSelectionExtents(KvScene* scene, const MatrixStruct* toFrame, ExtentsStruct* out) {
    return answerOrFail<int>(0, [&]() -> int {
        if (!scene || !out) return 0;
        const MatrixStruct fromWorld = toFrame ? *toFrame : identityMatrix();
        const double far = std::numeric_limits<double>::max();
        Vec3 lo{far, far, far}, hi{-far, -far, -far};
        for (const GraphicRecord* g : scene->selection)
            boundGeometry(*g, compose(fromWorld, parentWorldMatrix(*g)), &lo, &hi);
        if (lo.x > hi.x) return 0;
        ExtentsSet(out, lo.x, lo.y, lo.z, hi.x, hi.y, hi.z);
        return 1;
    });
}

// A callback of the library's. Measuring the box allocates nothing, so a host short of memory
// still answers it.
int kvSelectionExtents(MatrixStruct* cs, ExtentsStruct** e) {
    return e && *e ? kvSceneSelectionExtents(currentScene(), cs, *e) : 0;
}

int kvSceneSetupGeometry(KvScene* scene, KvSetupGeometry* out) {
    return kvSceneSetupGeometryAligned(scene, 0, out);
}

int kvSceneSetupGeometryAligned(KvScene* scene, int alignToSelection, KvSetupGeometry* out) {
    return answerOrFail<int>(0, [&]() -> int {
        if (!scene || !out || scene->selection.empty()) return 0;
        const MatrixStruct axes =
            alignToSelection ? selectionAxes(*scene->selection.front()) : identityMatrix();
        MatrixStruct toAxes;
        ExtentsStruct* box = ExtentsNewEx();
        const int measured =
            box && invertAffine(axes, &toAxes) && kvSceneSelectionExtents(scene, &toAxes, box);
        if (measured) {
            const Vec3 lo{ExtentsGetX1(box), ExtentsGetY1(box), ExtentsGetZ1(box)};
            const Vec3 hi{ExtentsGetX2(box), ExtentsGetY2(box), ExtentsGetZ2(box)};
            const Vec3 centre = (lo + hi) * 0.5;
            out->controlCS = placedAt(axes, transformPoint(axes, centre));
            out->rotbarCS = out->controlCS;
            out->selectionCS = placedAt(axes, transformPoint(axes, lo));
            out->extentsMin = toPoint(lo - centre);
            out->extentsMax = toPoint(hi - centre);
            out->refPoint = toPoint(transformPoint(axes, centre));
        }
        ExtentsDispose(&box);
        return measured;
    });
}

namespace {

// Every graphic gets its room for a matrix first, so that none is placed unless all are.
int placeSelection(KvScene& scene, const MatrixStruct& m) {
    for (GraphicRecord* g : scene.selection)
        g->matrix.reserve();
    for (std::size_t i = 0; i < scene.selection.size(); ++i) {
        GraphicRecord* g = scene.selection[i];
        const MatrixStruct own = scene.previewFrom.empty() ? ownMatrix(*g) : scene.previewFrom[i];
        const MatrixStruct parent = parentWorldMatrix(*g);
        MatrixStruct toParent;
        if (!invertAffine(parent, &toParent)) return 0;
        const MatrixStruct placed = compose(compose(toParent, compose(m, parent)), own);
        GraphicSetMatrix(g, &placed, 0);
    }
    return 1;
}

} // namespace

int kvSceneTransformSelection(KvScene* scene, const MatrixStruct* m) {
    return answerOrFail<int>(0, [&]() -> int {
        if (!scene || !m) return 0;
        const int placed = placeSelection(*scene, *m);
        scene->previewFrom.clear();
        return placed;
    });
}

int kvScenePreviewSelection(KvScene* scene, const MatrixStruct* m) {
    return answerOrFail<int>(0, [&]() -> int {
        if (!scene) return 0;
        if (!m) {
            endPreview(*scene);
            return 1;
        }
        if (scene->previewFrom.empty()) {
            std::vector<MatrixStruct> from;
            for (const GraphicRecord* g : scene->selection)
                from.push_back(ownMatrix(*g));
            scene->previewFrom = std::move(from);
        }
        return placeSelection(*scene, *m);
    });
}

// [SECTION] Pointer -------------------------------------------------------------------------

int kvScenePointerMove(KvScene* scene, ViewportStruct* vp, double px, double py,
                       KvDragSample* sample) {
    return answerOrFail<int>(0, [&]() -> int {
        if (!scene || !vp || !sample) return 0;
        kvViewportSetCursorPixel(vp, px, py);
        const ViewportRecord& view = *asViewport(vp);
        const SightLine line = sightLineThroughPixel(view, px, py);
        Vec3 cursor;
        const bool hit = scene->dragging ? dragCursorPoint(*scene, view, line, &cursor)
                                         : ordinaryCursorPoint(view, line, &cursor);
        if (!hit) return 0;
        *sample = sampleAt(view, cursor);
        return 1;
    });
}

int kvScenePointerPress(KvScene* scene, ViewportStruct* vp, double px, double py,
                        KvDragSample* sample) {
    return answerOrFail<int>(0, [&]() -> int {
        if (!scene || !vp || !sample) return 0;
        kvViewportSetCursorPixel(vp, px, py);
        ViewportRecord& view = *asViewport(vp);
        const SightLine line = sightLineThroughPixel(view, px, py);
        Vec3 grabbed;
        if (!findGrabbedPoint(view, line, &grabbed) && !ordinaryCursorPoint(view, line, &grabbed))
            return 0;
        const Vec3 up{0, 0, 1};
        scene->grabbed = grabbed;
        scene->dragPlaneNormal = nearlyEdgeOn(line, up) ? forwardOf(view) : up;
        scene->dragging = true;
        *sample = sampleAt(view, grabbed);
        return 1;
    });
}

void kvScenePointerRelease(KvScene* scene) {
    if (scene) scene->dragging = false;
}

int kvSceneGrabbedPoint(KvScene* scene, KvPoint* point) {
    if (!scene || !scene->dragging) return 0;
    if (point) *point = {scene->grabbed.x, scene->grabbed.y, scene->grabbed.z};
    return 1;
}
