// Host-application API of the reference host: what a CAD application does around the
// library. A scene is a drawing holding the user's model and selection; the application
// measures the selection for the control (the extents callback), turns pointer pixels into
// the drag samples the control expects, and applies the drag matrix to the selection when a
// drag ends. Tools, tests and demos call these; the Tiller library never does. Out of memory, a
// call answers its failure value (null, 0, empty), and one without a result changes nothing.
//
// The drag sample
//   * Every sample remembers its pixel in the viewport (kvViewportSetCursorPixel), as the
//     perspective picking queries read it.
//   * The cursor point is where the pixel's sight line meets the work plane. Outside a drag
//     the work plane is the world XY plane, or, when the sight line meets that plane within
//     10 degrees of edge-on or behind the eye, the plane through the camera target facing
//     the view.
//   * A press ray-casts what the viewport shows at the pixel, as a depth read-back would:
//     the display elements through their drawn matrices (those of a higher draw priority
//     first, as they are drawn over the model) and the model. The nearest point found is the
//     grabbed point, and until the release the work plane is the plane through it parallel
//     to the world XY plane, or facing the view when that is within 10 degrees of edge-on.
//     A press over nothing grabs the cursor point of the ordinary work plane.
//   * The view triple is the cursor point's normalized projection (perspective) or its view
//     coordinates (parallel).
#ifndef KORVEX_SESSION_H
#define KORVEX_SESSION_H

#include "korvex/view.h"

#include <string>
#include <vector>

struct KvScene;

// A new scene with an empty drawing; it becomes the current scene. Null when its drawing
// cannot be made.
KORVEX_API KvScene* kvSceneNew();
// Announces the closing of the scene's drawing (notification kind 11, as
// kvAppCloseDrawingNotify), then releases the scene and its drawing, the drawing's viewports
// included. When it was the current scene there is none afterwards.
KORVEX_API void kvSceneDispose(KvScene** scene);
KORVEX_API DrawingStruct* kvSceneDrawing(KvScene* scene);
// The scene the extents callback measures.
KORVEX_API void kvSceneMakeCurrent(KvScene* scene);
KORVEX_API KvScene* kvSceneCurrent();

// [SECTION] Model and selection -------------------------------------------------------------

// Adds an axis-aligned box mesh (12 triangles; the 4 of a flat box's faces) to the model and
// selects it alone. Null when the corners are out of order, more than one side is flat, or a
// record cannot be made.
KORVEX_API GraphicStruct* kvSceneAddBox(KvScene* scene, KvPoint min, KvPoint max, uint32_t color);
// Adds a mesh to the model and selects it alone. `faces` holds 3 * faceCount vertex indices.
KORVEX_API GraphicStruct* kvSceneAddMesh(KvScene* scene, const KvPoint* vertices, int count,
                                         const int* faces, int faceCount, uint32_t color);
// Adds the model graphics of a drawing file to the model and selects them. On failure
// answers 0 and the reader's reason.
KORVEX_API int kvSceneLoadFile(KvScene* scene, const char* path, std::string* reason);
// Adds g (a graphic of the scene's model, at any depth) to the selection or takes it off.
// 0, and the selection as it was, when scene or g is null or the selection has no room.
KORVEX_API int kvSceneSelect(KvScene* scene, GraphicStruct* g, int selected);
KORVEX_API void kvSceneClearSelection(KvScene* scene);
KORVEX_API std::vector<GraphicStruct*> kvSceneSelection(KvScene* scene);

// The extents of the selection's points mapped by `toFrame` (world to the frame measured in;
// null: world), into `out`. 0 for an empty selection.
KORVEX_API int kvSceneSelectionExtents(KvScene* scene, const MatrixStruct* toFrame,
                                       ExtentsStruct* out);
// The ExtentsCallback of the current scene: the selection's points mapped by the matrix as the
// library gives it (world to the handle's frame), their extents written into the record at *e.
KORVEX_API int kvSelectionExtents(MatrixStruct* cs, ExtentsStruct** e);
// The geometry a CAD host hands a control's setup for the selection: the control and
// rotation-bar frames are the world axes at the centre of the selection's world extents, the
// selection's extents are measured in the control frame (so they are centred on its origin),
// the reference point is that centre, and the selection frame is the world axes at the
// extents' minimum corner (where a box is inserted). 0 for an empty selection.
struct KvSetupGeometry {
    MatrixStruct controlCS, rotbarCS, selectionCS;
    KvPoint extentsMin, extentsMax; // in the control frame
    KvPoint refPoint;               // world
};
KORVEX_API int kvSceneSetupGeometry(KvScene* scene, KvSetupGeometry* out);
// The same, with every frame along the axes of the first selected graphic's placement in the
// world (made orthonormal) and the extents measured along them when `alignToSelection` is
// set: a part turned in its assembly gets a control turned with it.
KORVEX_API int kvSceneSetupGeometryAligned(KvScene* scene, int alignToSelection,
                                           KvSetupGeometry* out);
// Applies a world matrix (a drag matrix) to every selected graphic; after a preview it applies
// to the selection as it was before the preview began, and ends the preview.
KORVEX_API int kvSceneTransformSelection(KvScene* scene, const MatrixStruct* m);
// Shows the selection moved by a world matrix while a drag runs: each call places it from where
// it was before the first preview call; a null matrix puts it back and ends the preview.
KORVEX_API int kvScenePreviewSelection(KvScene* scene, const MatrixStruct* m);

// [SECTION] Pointer -------------------------------------------------------------------------

struct KvDragSample {
    double x, y, z;    // cursor point, world coordinates
    double vx, vy, vz; // view triple
};

// A pointer move (hover, or a drag step after a press). 0 when the pixel's sight line has no
// usable work plane hit.
KORVEX_API int kvScenePointerMove(KvScene* scene, ViewportStruct* vp, double px, double py,
                                  KvDragSample* sample);
// A press: finds the grabbed point, fixes the drag's work plane and answers the start sample.
KORVEX_API int kvScenePointerPress(KvScene* scene, ViewportStruct* vp, double px, double py,
                                   KvDragSample* sample);
// The release: the work plane is the ordinary one again.
KORVEX_API void kvScenePointerRelease(KvScene* scene);
// The grabbed point of the press in progress; 0 outside a drag.
KORVEX_API int kvSceneGrabbedPoint(KvScene* scene, KvPoint* point);

// [SECTION] Snapping ------------------------------------------------------------------------

struct KvSnapSteps {
    double move = 0, rotateDegrees = 0, scale = 0; // 0 (or less): not snapped
};
// The drag matrix `drag` snapped as a CAD host snaps it, measured in `frame` (the dragged
// handle's frame in the world at the press, e.g. its mHandleCS; null: the world axes; only the
// directions of its axes count): a translation has each component along the frame's axes
// rounded to the move step; a rotation about a fixed point keeps its axis and point and has its
// angle rounded to the rotate step; a scale about a fixed point has each factor along the
// frame's axes rounded to 1 + k * scale step, the fixed point kept. The kinds are recognised in
// that order, each only when its step is set. Answers 0 (and out = drag) when the matrix is
// none of these or nothing is snapped.
KORVEX_API int kvSnapDragMatrix(const MatrixStruct* drag, const MatrixStruct* frame,
                                const KvSnapSteps* steps, MatrixStruct* out);

#endif
