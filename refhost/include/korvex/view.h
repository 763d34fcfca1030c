// Host-application API of the reference host: viewports and their cameras, what the display
// elements show, and rendering. Tools, tests and demos call these; the Tiller library never
// does.
//
// Conventions (shared with the host interface in tiller/host/korvex.h)
//   * The view matrix V maps world into view coordinates: the eye at the origin looking along
//     -z, x to the right of the screen, y up. It is rigid.
//   * Pixels count from the top-left corner, x right, y down, with centres at +0.5. A pixel
//     argument is a pixel index (fractions allowed): pixel (px, py) has its centre at view
//     x = (px + 0.5 - W/2) * s, y = (H/2 - py - 0.5) * s in a parallel view of s drawing units
//     per pixel; in a perspective view its sight line runs from the eye through the view point
//     ((px + 0.5 - W/2) * k, (H/2 - py - 0.5) * k, -1) with k = 2 tan(fovY/2) / H.
//   * Every call that changes a camera, a projection or a size recomputes the view-dependent
//     matrix of the elements measured in that viewport and calls their callbacks before it
//     returns.
#ifndef KORVEX_VIEW_H
#define KORVEX_VIEW_H

#include "korvex/math.h"
#include "tiller/host/redui.h"

#include <cstdint>
#include <string>
#include <vector>

// [SECTION] Viewports -----------------------------------------------------------------------

// A new viewport of `drawing`, owned by it (DrawingDispose releases it; DrawingViewportDelete
// hands it back to the caller). It becomes the drawing's active viewport when the drawing has
// none. It starts as a parallel top view of the origin from 10 units away, 0.01 drawing units
// per pixel, with its own render scene. Null when the record cannot be made. When it closes
// (ViewportDispose or its drawing's DrawingDispose) the application first announces it: kind
// 12, phase 1, flags 0; slot 0 points at the application, slot 1 at the viewport.
KORVEX_API ViewportStruct* kvViewportCreate(DrawingStruct* drawing, int width, int height);
KORVEX_API void kvDrawingSetActiveViewport(DrawingStruct* drawing, ViewportStruct* vp);

struct KvViewInfo {
    KvPoint eye, target, up;
    int perspective;      // 0 parallel, 1 perspective
    double fovYDegrees;   // perspective
    double unitsPerPixel; // parallel
    int width, height;
    double cursorX, cursorY; // remembered pointer pixel
    int sceneId;
    MatrixStruct view; // V
};
KORVEX_API KvViewInfo kvViewportInfo(ViewportStruct* vp);

// Camera: eye and target points and the up direction (need not be perpendicular to the view;
// when it is parallel to it, the previous screen up is kept).
KORVEX_API void kvViewportSetCamera(ViewportStruct* vp, KvPoint eye, KvPoint target, KvPoint up);
KORVEX_API void kvViewportSetParallel(ViewportStruct* vp, double unitsPerPixel);
KORVEX_API void kvViewportSetPerspective(ViewportStruct* vp, double fovYDegrees);
KORVEX_API void kvViewportSetSize(ViewportStruct* vp, int width, int height);

enum KvViewPreset : int {
    KvViewTop,    // looking down -Z, Y up the screen
    KvViewBottom, // looking up +Z, Y up the screen
    KvViewFront,  // looking along +Y, Z up
    KvViewBack,   // looking along -Y, Z up
    KvViewLeft,   // looking along +X, Z up
    KvViewRight,  // looking along -X, Z up
    KvViewIso     // looking along (-1, 1, -1) from the front right above, Z up
};
// The preset of that name ("top", "bottom", "front", "back", "left", "right", "iso"); 0 for
// an unknown name.
KORVEX_API int kvViewPresetFromName(const char* name, KvViewPreset* preset);
// Looks at the same target from the same distance along the preset's direction.
KORVEX_API void kvViewportSetPreset(ViewportStruct* vp, KvViewPreset preset);
// Turns the eye about the target: azimuth about the up direction (positive turns the eye
// counter-clockwise seen from above), elevation towards the up direction. The elevation stops
// 1 degree short of looking straight along the up direction.
KORVEX_API void kvViewportOrbit(ViewportStruct* vp, double azimuthDegrees, double elevationDegrees);
// Moves the camera so that what is shown moves by (dx, dy) pixels (right, down); in
// perspective exactly so at the target's depth.
KORVEX_API void kvViewportPan(ViewportStruct* vp, double dxPixels, double dyPixels);
// Factor > 1 zooms in about the target: fewer units per pixel (parallel) or the eye that
// much nearer the target (perspective).
KORVEX_API void kvViewportZoom(ViewportStruct* vp, double factor);
// Aims at the centre of the box and zooms so that it fills `fill` (0..1) of the smaller
// side of the viewport. 0 for an invalid box.
KORVEX_API int kvViewportFit(ViewportStruct* vp, const ExtentsStruct* box, double fill);

// [SECTION] Pointer and projection ------------------------------------------------------------

// The pixel of the latest pointer sample, read by the perspective picking queries.
KORVEX_API void kvViewportSetCursorPixel(ViewportStruct* vp, double px, double py);
// The sight line through a pixel in world coordinates: from the eye (perspective) or from
// the pixel's point in the plane of the eye (parallel), with a unit direction into the view.
KORVEX_API int kvViewportPixelToSightLine(ViewportStruct* vp, double px, double py, KvPoint* origin,
                                          KvPoint* direction);
// The pixel where a world point is drawn; 0 at or behind the eye (perspective).
KORVEX_API int kvViewportWorldToPixel(ViewportStruct* vp, KvPoint world, double* px, double* py);
// Drawing units per pixel at a world point; negative at or behind the eye.
KORVEX_API double kvViewportUnitsPerPixelAt(ViewportStruct* vp, KvPoint world);

// [SECTION] Display elements ------------------------------------------------------------------

// The elements drawn in the viewport, shown or hidden, in creation order.
KORVEX_API std::vector<CRedUIElement*> kvViewportElements(ViewportStruct* vp);
// Immediate redraws of the viewport asked for by its elements.
KORVEX_API long kvViewportRedrawCount(ViewportStruct* vp);

struct KvElementInfo {
    int alive; // in a live render scene
    int sceneId;
    int visible; // SetGlobalVisible
    int drawPriority;
    int viewMode;
    int materialType;
    int hasExtents; // SetExtents gave a valid box
    KvPoint extentsMin, extentsMax;
    float transparency, ambient, diffuse, specular;
    double minResolution, maxResolution; // drawing units per pixel; 0 means no limit
    KvPoint zoomCenter;                  // in the element's own coordinates
    int positionAbsolute;
    MatrixStruct matrix;      // M, SetMatrix
    MatrixStruct viewMatrix;  // K in the element's own viewport
    ViewportStruct* viewport; // the viewport K is measured in, or null
    int triangles, segments;  // size of the snapshot
    long callbacks;           // view-matrix callbacks made
};
// 0 for a null element.
KORVEX_API int kvElementGetInfo(CRedUIElement* element, KvElementInfo* info);

// [SECTION] Rendering -----------------------------------------------------------------------

// Renders the viewport: the model of its drawing and the visible elements drawn in it. The
// image is width x height RGBA, rows from the top. 0 when the viewport has no size.
KORVEX_API int kvRenderViewport(ViewportStruct* vp, std::vector<uint8_t>* rgba);
// The same, written as a PNG file. On failure answers 0 and the reason.
KORVEX_API int kvRenderViewportToPng(ViewportStruct* vp, const char* path, std::string* reason);

// [SECTION] What a viewport shows, for other renderers ---------------------------------------

// Geometry as the renderer draws it: filled triangles and line segments, colours 0x00BBGGRR.
struct KvTriangle {
    KvPoint a, b, c;
    uint32_t color;
};
struct KvSegment {
    KvPoint a, b;
    uint32_t color;
};
struct KvGeometry {
    std::vector<KvTriangle> triangles;
    std::vector<KvSegment> segments;
};

// A visible element drawn in a viewport, as the renderer draws it.
struct KvShownElement {
    CRedUIElement* element;
    // Names the element's current snapshot: unique in the process, new with every snapshot.
    long snapshotId;
    int drawPriority; // above the model's 0: drawn over the model
    float transparency, ambient, diffuse, specular;
    MatrixStruct drawn; // M after K in this viewport
};
// The visible elements drawn in vp, lowest draw priority first.
KORVEX_API std::vector<KvShownElement> kvViewportShownElements(ViewportStruct* vp);
// The element's snapshot in its own coordinates. 0 for a null element or one without a snapshot.
KORVEX_API int kvElementGetGeometry(CRedUIElement* element, KvGeometry* out);

// A graphic of a drawing's model that draws something itself (not a group), on a shown layer,
// with the matrix that carries its own coordinates into the world.
struct KvModelPiece {
    GraphicStruct* graphic;
    MatrixStruct world;
};
KORVEX_API std::vector<KvModelPiece> kvDrawingModelPieces(DrawingStruct* drawing);
// What the graphic draws itself, in its own coordinates, mesh contours included as the
// renderer draws them; its children are not included. 0 for a null graphic.
KORVEX_API int kvGraphicGetGeometry(GraphicStruct* g, KvGeometry* out);

#endif
