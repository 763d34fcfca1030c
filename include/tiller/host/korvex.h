// The host's drawing database: matrices, vertices, extents, graphics, drawings, viewports,
// layers, the application record and notifications.
//
// Index
//   [SECTION] Records          fields the library reads directly
//   [SECTION] Matrices
//   [SECTION] Vertices
//   [SECTION] Extents
//   [SECTION] Graphics
//   [SECTION] Drawings, layers
//   [SECTION] Viewports, picking
//   [SECTION] Application, notifications
//
// Conventions
//   * Records made by ...NewEx, ...CopyEx, MatrixSingle, VertexCopy, GraphicNewEx and
//     ViewportNewEx belong to the caller and are released by the matching ...Dispose, which
//     takes the address of the caller's pointer and clears it. Records reached through a
//     drawing, graphic or viewport (GraphicGetMatrix, ViewportGetMatrix, ...) stay the host's.
//   * A matrix maps coordinates of its own system into its parent's: x' = m0 x + m4 y + m8 z
//     + m12 (column-major column-vector algebra). "A after B" applies B first.
//   * A null matrix operand counts as the identity unless a function says otherwise.
//   * Colours are 0x00BBGGRR.
#ifndef TILLER_HOST_KORVEX_H
#define TILLER_HOST_KORVEX_H

#include "oleauto.h"

#include <cstdint>
#include <list>

// [SECTION] Records -------------------------------------------------------------------------

struct MatrixStruct {
    double m[16];
};

// A vertex of a graphic's circular doubly linked vertex list, or a free-standing point (links
// null).
struct VertexStruct {
    double x, y, z;
    VertexStruct* next;
    VertexStruct* prev;
};

struct ExtentsStruct; // read through ExtentsGet...

enum : uint8_t {
    GraphicKindLine = 2,    // an open polyline: two or more vertices
    GraphicKindPolygon = 3, // a closed planar polygon, filled
    GraphicKindGroup = 7,   // children only
    GraphicKindPick = 11,   // empty scratch graphic handed to distance queries
    GraphicKindMesh = 18,   // vertices and triangle faces
};

enum : uint32_t {
    GraphicFlagNoParent = 0x100, // the parent link is not valid
    GraphicFlagScratch = 0x20000 // made by the library for its own use
};

// The fields of a graphic that the library reads directly; the host keeps the rest.
struct GraphicStruct {
    uint8_t kind;
    uint32_t flags;
    GraphicStruct* parent;
};

struct CameraStruct {
    double eye[3];
    double target[3];
};

struct ViewportStruct {
    // Pick epsilon of perspective distance queries; picking sets it while it queries.
    double perspectivePickEpsilon;
};

struct DrawingStruct {
    void* engineLink; // cleared before disposal when the engine is not enabled
};

struct TableStruct;
struct AppStruct;
struct NotifyCookie;

// [SECTION] Matrices ------------------------------------------------------------------------

KORVEX_API MatrixStruct* MatrixNewEx();                       // identity
KORVEX_API MatrixStruct* MatrixCopyEx(const MatrixStruct* m); // null for null
KORVEX_API void MatrixDispose(MatrixStruct** m);
KORVEX_API MatrixStruct* MatrixSingle();                // identity
KORVEX_API int MatrixIsIdentity(const MatrixStruct* m); // exact; null counts as identity
// Rigid: the linear block is orthonormal (within 1e-9); a null matrix is orthogonal.
KORVEX_API int MatrixIsOrtho(const MatrixStruct* m);
KORVEX_API int MatrixEqual(const MatrixStruct* a, const MatrixStruct* b); // within 1e-12
// A new matrix: a after b. Null when both are null.
KORVEX_API MatrixStruct* MatrixMatrixMultiplyEx(const MatrixStruct* a, const MatrixStruct* b);
// *m := a after *m; a null *m becomes a copy of a.
KORVEX_API void MatrixMultiplyLeft(const MatrixStruct* a, MatrixStruct** m);
// *m := *m after b; a null *m becomes a copy of b.
KORVEX_API void MatrixMultiplyRight(MatrixStruct** m, const MatrixStruct* b);
// Translation by v. `m` receives the result when given, else a new matrix is made.
KORVEX_API MatrixStruct* MatrixOffsetEx(MatrixStruct* m, const VertexStruct* v);
// Right-handed rotation by `angle` radians about the X (Z) axis through `center` (null: origin).
KORVEX_API MatrixStruct* MatrixRotateXEx(MatrixStruct* m, double angle, const VertexStruct* center);
KORVEX_API MatrixStruct* MatrixRotateZEx(MatrixStruct* m, double angle, const VertexStruct* center);
// Scale by the factors f.x, f.y, f.z about `center` (null: origin).
KORVEX_API MatrixStruct* MatrixScaleEx(MatrixStruct* m, const VertexStruct* f,
                                       const VertexStruct* center);
// A new inverse (exact for any non-singular affine matrix); null when singular or null.
KORVEX_API MatrixStruct* MatrixOrthoInvertEx(const MatrixStruct* m);
// *m := cs after *m after cs^-1; unchanged when cs is null or cannot be inverted.
KORVEX_API void MatrixTranslateFromCS(MatrixStruct** m, const MatrixStruct* cs);
// A new matrix from world into the system with origin a, X towards b, XY plane through c.
// *ok is 1 when the points define a plane, even should the record not be made; otherwise 0
// and the result is null.
KORVEX_API MatrixStruct* MatrixPlaneTo(const VertexStruct* a, const VertexStruct* b,
                                       const VertexStruct* c, int* ok);
// Splits a frame into rotation (into *rotation, a new matrix), translation (*translation)
// and scale factors (*scale), each optional. A null frame gives the identity and zero
// translation and unit scale. Answers 1, or 0 when a record cannot be made.
KORVEX_API int MatrixSeparate(const MatrixStruct* frame, VertexStruct** translation,
                              VertexStruct** scale, MatrixStruct** rotation);
// A new matrix whose origin and axis ends are the given points.
KORVEX_API MatrixStruct* MatrixBasisFm(const VertexStruct* origin, const VertexStruct* xEnd,
                                       const VertexStruct* yEnd, const VertexStruct* zEnd);

// [SECTION] Vertices ------------------------------------------------------------------------

KORVEX_API VertexStruct* VertexNewEx(double x, double y, double z);
KORVEX_API VertexStruct* VertexNewFromEx(const VertexStruct* v); // (0,0,0) for null
KORVEX_API VertexStruct* VertexCopy(const VertexStruct* v, const MatrixStruct* m); // null for null
KORVEX_API void VertexSet(VertexStruct* v, double x, double y, double z);
KORVEX_API void VertexDispose(VertexStruct** v);
KORVEX_API int VertexEqual(const VertexStruct* a, const VertexStruct* b); // within 1e-9
KORVEX_API void VertexTransform(VertexStruct* v, const MatrixStruct* m);
// v := m^-1 v, for an orthogonal m.
KORVEX_API void VertexBackOrthoTransform(VertexStruct* v, const MatrixStruct* m);
// The sight line through `in` (view coordinates in a parallel viewport, normalized projection
// space in a perspective one) meets the plane z = h of `plane` (plane coordinates into view
// coordinates); `out` (may be `in`) receives the hit in plane coordinates. 0 when the line is
// parallel to the plane or, in perspective, the hit lies behind the eye.
KORVEX_API int VertexProjectionOnPlane(ViewportStruct* vp, const VertexStruct* in,
                                       VertexStruct* out, const MatrixStruct* plane, double h);

// [SECTION] Extents -------------------------------------------------------------------------

KORVEX_API ExtentsStruct* ExtentsNewEx(); // invalid (empty) box
KORVEX_API void ExtentsCopyFrom(ExtentsStruct* dst, const ExtentsStruct* src);
KORVEX_API void ExtentsDispose(ExtentsStruct** e);
KORVEX_API int ExtentsValid(const ExtentsStruct* e); // 0 for null or empty
KORVEX_API void ExtentsSet(ExtentsStruct* e, double x1, double y1, double z1, double x2, double y2,
                           double z2);
// The box of the eight transformed corners.
KORVEX_API void ExtentsTransform(ExtentsStruct* e, const MatrixStruct* m);
KORVEX_API double ExtentsGetX1(const ExtentsStruct* e);
KORVEX_API double ExtentsGetY1(const ExtentsStruct* e);
KORVEX_API double ExtentsGetZ1(const ExtentsStruct* e);
KORVEX_API double ExtentsGetX2(const ExtentsStruct* e);
KORVEX_API double ExtentsGetY2(const ExtentsStruct* e);
KORVEX_API double ExtentsGetZ2(const ExtentsStruct* e);

// [SECTION] Graphics ------------------------------------------------------------------------

typedef std::list<GraphicStruct*> GraphicList;
struct GraphicPosition {
    void* at = nullptr;
};

// Walk callback: answers 1 to go on, 0 to stop. `counter` is the walk's own counter.
typedef int (*GraphicWalkCallback)(GraphicStruct* g, int32_t* counter);
typedef int (*GraphicFilter)(GraphicStruct* g);

// Visits g and its descendants depth first, parents before children. Answers 0 when the walk
// ran to its end and 1 when a callback stopped it.
KORVEX_API int GraphicWalk(GraphicStruct* g, GraphicWalkCallback callback, int recursive,
                           int includeSelf, int reserved);
// Appends to `list`, in order, the descendants of g down to `levels` levels (1: children)
// that `filter` accepts, g itself first when `includeSelf`. 0 for a null graphic or list.
KORVEX_API int GraphicWalkFillChildsList(GraphicStruct* g, GraphicFilter filter, GraphicList* list,
                                         int levels, int includeSelf);
// The custom properties as parallel arrays: *names (VT_BSTR) and *values (VT_VARIANT), each a
// new array the caller destroys; *first is an empty array kept for the host's signature.
// Answers the count.
KORVEX_API int GraphicEnumerateProperties(GraphicStruct* g, SAFEARRAY** first, SAFEARRAY** names,
                                          SAFEARRAY** values, int selector);
KORVEX_API int GraphicGetLayer(const GraphicStruct* g);
KORVEX_API void GraphicSetLayer(GraphicStruct* g, int layer);
// A new deep copy (detached, no parent) whose own matrix is m after g's own matrix.
KORVEX_API GraphicStruct* GraphicCopyEx(const GraphicStruct* g, const MatrixStruct* m, int reserved,
                                        uint16_t flags);
KORVEX_API int GraphicAttach(GraphicStruct* g, DrawingStruct* drawing);  // null detaches
KORVEX_API const MatrixStruct* GraphicGetMatrix(const GraphicStruct* g); // null: identity
KORVEX_API void GraphicSetMatrix(GraphicStruct* g, const MatrixStruct* m, int reserved);
// Bakes m into every vertex of the subtree (descendant matrices included and then cleared).
KORVEX_API void GraphicTransform(GraphicStruct* g, const MatrixStruct* m, int a, int b, int c,
                                 int d);
KORVEX_API void GraphicSetExtentsDirty(GraphicStruct* g, int dirty);
// The world-coordinate extents of the subtree (own matrix applied) into `out`; 1/0.
KORVEX_API int GraphicGetGeometricExtents(GraphicStruct* g, ExtentsStruct* out, int a, int b, int c,
                                          int d);
// The same box, cached in the graphic and owned by it.
KORVEX_API const ExtentsStruct* GraphicGetExtents(GraphicStruct* g, int a, int b, int c, int d,
                                                  int e, int f);
// The reference point in the graphic's own coordinates, owned by the graphic, or null.
KORVEX_API const VertexStruct* GraphicGetReferencePoint(const GraphicStruct* g);
// A new matrix carrying the graphic's coordinates into the world (ancestors' and own).
KORVEX_API MatrixStruct* GraphicBuildMatrixInWordCS(const GraphicStruct* g);
KORVEX_API int GraphicCount(const GraphicStruct* g, int reserved, int levels); // children
KORVEX_API GraphicStruct* GraphicFirst(GraphicStruct* g, GraphicPosition* pos, int a, int b);
KORVEX_API GraphicStruct* GraphicNext(GraphicStruct* g, GraphicPosition* pos, int a, int b);
KORVEX_API uint32_t GraphicGetPenColor(const GraphicStruct* g);
KORVEX_API int GraphicVertexCount(const GraphicStruct* g, int reserved, uint32_t mask);
KORVEX_API VertexStruct* GraphicVertexFirst(GraphicStruct* g, GraphicPosition* pos, int reserved,
                                            uint32_t mask);
KORVEX_API VertexStruct* GraphicVertexNext(GraphicStruct* g, GraphicPosition* pos, int reserved,
                                           uint32_t mask);
// A new empty graphic of `kind`, not attached.
KORVEX_API GraphicStruct* GraphicNewEx(DrawingStruct* drawing, uint32_t layer, int kind,
                                       int reserved, int flags);
KORVEX_API int GraphicGetSpaceMode(const GraphicStruct* g);
KORVEX_API void GraphicSetSpaceMode(GraphicStruct* g, int mode, int reserved);
KORVEX_API void GraphicDispose(GraphicStruct** g); // detaches and frees the subtree

// [SECTION] Drawings, layers ----------------------------------------------------------------

KORVEX_API GraphicStruct* DrawingGetModelRoot(DrawingStruct* d);
KORVEX_API ViewportStruct* DrawingGetActiveViewport(DrawingStruct* d);
// The drawing's first viewport, as a record the caller releases with ViewportDispose once
// DrawingViewportDelete has taken it off the drawing.
KORVEX_API ViewportStruct* DrawingViewportFirst(DrawingStruct* d);
KORVEX_API int DrawingViewportDelete(DrawingStruct* d, ViewportStruct* vp);
KORVEX_API void DrawingDispose(DrawingStruct** d);
KORVEX_API int LayerGetVisible(DrawingStruct* d, int layer);
KORVEX_API TableStruct* LayerGetHandle(DrawingStruct* d);
KORVEX_API void LayerSetVisible(DrawingStruct* d, int layer, int visible, int reserved);
KORVEX_API int TableGetIsNotifyChanges(TableStruct* t);
KORVEX_API void TableSetIsNotifyChanges(TableStruct* t, int notify);

// [SECTION] Viewports, picking --------------------------------------------------------------

// World into view coordinates (eye at the origin looking along -z, x right, y up); rigid.
KORVEX_API const MatrixStruct* ViewportGetMatrix(ViewportStruct* vp);
KORVEX_API int ViewportIsPerspective(ViewportStruct* vp);
KORVEX_API ViewportStruct* ViewportNewEx(int a, int b);
// dst becomes a copy of src, camera, projection, size and remembered cursor pixel included.
KORVEX_API void ViewportCopyFrom(ViewportStruct* src, ViewportStruct* dst);
KORVEX_API DrawingStruct* ViewportGetDrawing(ViewportStruct* vp);
KORVEX_API void ViewportSetDrawing(ViewportStruct* vp, DrawingStruct* d);
// Rebuilds the view matrix from the camera points, keeping up direction, fov and size.
KORVEX_API void ViewportNormalize(ViewportStruct* vp);
KORVEX_API CameraStruct* ViewportGetCamera(ViewportStruct* vp); // the viewport's own camera
KORVEX_API void ViewportDispose(ViewportStruct** vp);
// User (world) coordinates into the viewport's view coordinates.
KORVEX_API void CSystemUserToViewportEx(ViewportStruct* vp, int reserved, const VertexStruct* in,
                                        VertexStruct* out);
// View coordinates of view matrix m back into user (world) coordinates.
KORVEX_API void ViewportCStoUserCS(const MatrixStruct* m, int reserved, const VertexStruct* in,
                                   VertexStruct* out);
// Drawing distance covered by `pixels` along 'X' or 'Y' (at the target in perspective).
KORVEX_API double ViewportDistanceWtoE(ViewportStruct* vp, double pixels, char axis);
// v, a view point with its z negated, becomes its normalized projection; 0 at or behind the eye.
KORVEX_API int ViewportNormalizeVertexProjection(ViewportStruct* vp, VertexStruct* v);
// Nearest triangle of the graphic's meshes and polygons along the sight line through `point`
// (world coordinates; perspective viewports cast through their remembered cursor pixel).
// Answers the distance along the sight line (>= 0) and the hit in world coordinates, or < 0.
KORVEX_API double GraphicGetClosestFacet(const VertexStruct* point, GraphicStruct* g, int* a,
                                         int* b, void** c, void* d, VertexStruct* hit,
                                         VertexStruct* normal, ViewportStruct* vp, uint16_t flags,
                                         int e, int f);
// Distance in the viewport plane from `point` (view coordinates) to the graphic's edges, lines
// and vertices, when within `tolerance`; answers it and the nearest point (view coordinates,
// with depth), or < 0. Perspective viewports cast through their remembered cursor pixel.
KORVEX_API double GraphicGetDistanceEx2(GraphicStruct* g, const VertexStruct* point,
                                        const MatrixStruct* viewMatrix, VertexStruct* nearest,
                                        GraphicStruct* pick, void** c, double tolerance,
                                        uint32_t flags, int a, int b, ViewportStruct* vp);

// [SECTION] Application, notifications ------------------------------------------------------

// A notification parameter slot: a VARIANT and a one-byte reference flag, 32 bytes.
struct NotifyParam {
    VARIANT value;
    uint8_t isReference;
    uint8_t padding[7];
};
static_assert(sizeof(NotifyParam) == 32, "notification slots are 32 bytes");

// A slot pointing at `target` (VT_BYREF | VT_VOID): it owns nothing, so clearing it frees nothing.
inline NotifyParam NotifyReferenceParam(void* target) {
    NotifyParam param{};
    VariantInit(&param.value);
    param.value.vt = VT_BYREF | VT_VOID;
    param.value.byref = target;
    return param;
}

typedef int (*NotifyCallback)(uint32_t kind, void* source, uint32_t phase, NotifyParam* params,
                              uint16_t flags);

KORVEX_API AppStruct* AppGetCurrentApp();
// Registers `callback` for `count` notification kinds given after it; answers the cookie.
KORVEX_API NotifyCookie* NotifyEngineAdviseDbNotifyEx(int a, AppStruct* app,
                                                      NotifyCallback callback, void* data,
                                                      int count, ...);
KORVEX_API int NotifyEngineUnadviseDbNotify(AppStruct* app, NotifyCookie* cookie, int a, int count,
                                            ...);
// Opens a notification record of the application with its opening parameter.
KORVEX_API int NotifyEngineOpenNotifyRecord(AppStruct* app, NotifyParam* param);
KORVEX_API int NotifyEngineCloseNotifyRecord(AppStruct* app, int value);
KORVEX_API int NotifyEngineLockNotifyRecord(AppStruct* app, int lock);
// Sends notification `kind` with `phase` and `count` parameter slots to every registrant.
KORVEX_API int NotifyEngineNotify(void* context, const char* source, int line, uint32_t kind,
                                  uint32_t phase, int count, NotifyParam* params);
KORVEX_API int NotifyEngineFreezeDbNotify(AppStruct* app, int freeze, int reserved);
// Doubles compared within the host's tolerance: 0 equal, -1 a < b, 1 a > b.
KORVEX_API int DoubleVsDouble(double a, double b);

#endif
