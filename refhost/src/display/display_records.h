// The display side of the reference host: viewports with their cameras and render scenes,
// the retained display elements, and the geometry that picking and rendering read from
// graphics.
//
// Index
//   [SECTION] Geometry of graphics
//   [SECTION] Viewports
//   [SECTION] Render scenes and display elements
#ifndef KORVEX_DISPLAY_RECORDS_H
#define KORVEX_DISPLAY_RECORDS_H

#include "graphic_records.h"
#include "korvex/view.h"
#include "tiller/host/redui.h"
#include "vec3.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace korvex {

// A uniform scale by k about c. The rest of the matrix arithmetic is in records.h.
MatrixStruct uniformScaleAbout(double k, Vec3 c);
bool sameMatrix(const MatrixStruct& a, const MatrixStruct& b, double tolerance);

// [SECTION] Geometry of graphics --------------------------------------------------------------

struct Triangle {
    Vec3 a, b, c;
    uint32_t color = 0;
};

struct Segment {
    Vec3 a, b;
    uint32_t color = 0;
};

// What a graphic tree shows: filled triangles (meshes, polygons) and line segments (lines,
// polygon outlines). Isolated points are segments of zero length.
struct Geometry {
    std::vector<Triangle> triangles;
    std::vector<Segment> segments;
};

enum class MeshEdges {
    None,     // faces only
    Contours, // boundary and crease edges of meshes that vectorize their contour
    All       // every face edge
};

struct CollectOptions {
    MeshEdges meshEdges = MeshEdges::None;
    const DrawingRecord* layers = nullptr; // when given, graphics on hidden layers are skipped
};

// Whether graphics on `layer` are shown; all are without a drawing.
bool layerShown(const DrawingRecord* d, int layer);

// Appends the geometry of g and its descendants, each carried by its own matrix and then by
// `toTarget`. g's own matrix is applied only when `applyOwn` is true.
void collectGeometry(const GraphicRecord& g, const MatrixStruct& toTarget, bool applyOwn,
                     const CollectOptions& options, Geometry* out);

// Grows [lo, hi] by every point collectGeometry(g, toTarget, true, {}) would collect, walking
// the records in place: measuring a box takes no memory, so it cannot fail for want of it.
void boundGeometry(const GraphicRecord& g, const MatrixStruct& toTarget, Vec3* lo, Vec3* hi);

// The graphic's own geometry, without its children's, in its own coordinates.
void collectOwnGeometry(const GraphicRecord& g, MeshEdges edges, Geometry* out);

// The same geometry in the host-application API's records.
void exportGeometry(const Geometry& in, KvGeometry* out);

// Ray against triangle, both faces. Answers the ray parameter of the hit or a negative value.
double intersectTriangle(Vec3 origin, Vec3 direction, const Triangle& t);

struct SightLine;
// The nearest facet of g's tree, placed in the world by `toWorld` (g's own matrix included),
// along a world line at parameter tMin or beyond: its parameter, or a negative value. Reads
// g's picking cache, so that repeated queries cost a walk of its hierarchy only.
double nearestFacetAlong(GraphicRecord& g, const MatrixStruct& toWorld, const SightLine& line,
                         double tMin);

// [SECTION] Viewports -----------------------------------------------------------------------

struct ViewportRecord : ViewportStruct {
    CameraStruct camera{};
    Vec3 up{0, 1, 0};
    bool perspective = false;
    double fovY = 0.7853981633974483; // radians
    double unitsPerPixel = 0.01;      // parallel views
    int width = 800;
    int height = 600;
    MatrixStruct view{};    // V, world into view coordinates
    double cursorX = 399.5; // remembered pointer pixel
    double cursorY = 299.5;
    DrawingRecord* drawing = nullptr; // not owned
    int sceneId = 0;                  // its render scene
    long redraws = 0;                 // immediate redraws asked for
    // Set once an element is put in its scene, its space or drawn in it; a viewport never so
    // used (a pick viewport) changes and closes without a walk over every element.
    bool hostsElements = false;
    // Made by the host application: its closing is announced to the notification engine.
    bool announcesClosing = false;
};

inline ViewportRecord* asViewport(ViewportStruct* vp) {
    return static_cast<ViewportRecord*>(vp);
}

// A line in world coordinates; perspective sight lines start at the eye and run forward only.
struct SightLine {
    Vec3 origin;
    Vec3 direction; // unit length
};

SightLine sightLineThroughPixel(const ViewportRecord& vp, double px, double py);
// The pixel where a world point is drawn; false at or behind the eye.
bool worldToPixel(const ViewportRecord& vp, Vec3 world, double* px, double* py);
// Drawing units per pixel at a world point; false at or behind the eye.
bool unitsPerPixelAt(const ViewportRecord& vp, Vec3 world, double* r);
Vec3 eyeOf(const ViewportRecord& vp);
// The unit viewing direction, from the eye towards the target.
Vec3 forwardOf(const ViewportRecord& vp);
// Rebuilds V from the camera points and the up direction.
void rebuildView(ViewportRecord& vp);

// [SECTION] Render scenes and display elements ------------------------------------------------

// The retained contents of one viewport: the elements that joined it. Lives as long as the
// viewport.
struct RenderScene {
    int id = 0;
    ViewportRecord* viewport = nullptr;
    std::vector<::ElementImpl*> elements; // in joining order
};

RenderScene* sceneById(int id);
// Called by viewports: a new scene for vp (its id, or 0 when it cannot be made), and its end
// with the viewport.
int openScene(ViewportRecord* vp) noexcept;
void closeScene(ViewportRecord* vp);

// Recomputes the view-dependent matrix of every element whose view is measured in vp.
void viewportChanged(ViewportRecord* vp);
// Calls the registered callbacks of the elements whose view-dependent matrix changed since
// they last reported it.
void deliverViewMatrixChanges();

// What the renderer and the pointer conversion read of an element in a viewport.
struct ElementView {
    const Geometry* snapshot = nullptr;
    CRedUIElement* face = nullptr;
    long snapshotId = 0;
    MatrixStruct drawn{}; // M after K in that viewport
    int priority = 0;
    float transparency = 0, ambient = 0, diffuse = 0, specular = 0;
};
// The visible elements drawn in vp, lowest draw priority first.
std::vector<ElementView> elementsShownIn(ViewportRecord* vp);

} // namespace korvex

#endif
