// The movement routines behind HandleDrag and the operations they share: the working frame of
// a sample (view coordinates in parallel viewports, a drag plane in perspective ones), the
// re-expression of handle-local results in world coordinates and the signed ratio of the
// scale routines. Internal to the kinematics subsystem.
#ifndef TILLER_KINEMATICS_ROUTINES_H
#define TILLER_KINEMATICS_ROUTINES_H

#include "tiller/geometry/held.h"
#include "tiller/host/korvex.h"
#include "tiller/kinematics/drag.h"
#include "tiller/tiller.h"

#include <initializer_list>

namespace tiller {

// The separate handle matrix of the scale routines, handed over by value.
struct HandleMatrixSlot {
    MatrixStruct matrix;
    bool given;
};

// The argument block of one routine call, as the dispatch hands it over. A step works on
// values; the only host records it makes are the ones the host alone can build (the drag plane,
// the measured selection box). When one of those cannot be made the routine answers 0 and sets
// *outOfRecords, so that the control can refuse the step instead of taking it as a failed
// measurement.
struct DragCall {
    GHandle* handle;
    MatrixStruct** result;          // the drag matrix, already the identity
    HandleMatrixSlot* handleMatrix; // a separate handle matrix (scale routines only)
    ViewportStruct* viewport;
    const DragSample& sample;
    bool* outOfRecords;
};

// A free-standing point held by value.
inline VertexStruct Point(double x, double y, double z) {
    return {x, y, z, nullptr, nullptr};
}
inline VertexStruct Point(const double* p) {
    return Point(p[0], p[1], p[2]);
}

// The current cursor in working coordinates' source form: the view triple in perspective
// viewports, the cursor point (a world point) in parallel ones.
inline VertexStruct CursorPoint(const DragSample& s, bool perspective) {
    return perspective ? Point(s.vx, s.vy, s.vz) : Point(s.x, s.y, s.z);
}

// --- Shared operations (frame.cpp) ---------------------------------------------------------

// A world point carried into the viewport's normalized projection space: transformed by the
// view matrix, its z negated, then normalized. 0 at or behind the eye.
int ToNormalizedProjection(ViewportStruct* vp, const MatrixStruct* view, VertexStruct* p);

// The world point on the sight line through p, on the viewport's projection plane (perspective
// viewports), into *image. 0 when p has no image.
int ViewPlaneImage(ViewportStruct* vp, const VertexStruct* p, VertexStruct* image);

// The plane in which a movement along the axis a -> b is measured, as the matrix from drag-plane
// coordinates into view coordinates, into *plane. 0 when no plane exists or when the host
// cannot make the plane's record (then *outOfRecords is set).
int AxisDragPlane(ViewportStruct* vp, const VertexStruct* a, const VertexStruct* b,
                  const VertexStruct* t, MatrixStruct* plane, bool* outOfRecords);

// Builds the drag plane of the axis a -> b, whose normal plane holds the sight line of
// `sighted`, and projects onto it the world points and the points already in normalized
// projection space, each in place. 0 when there is no plane or a point misses it.
int ProjectOnAxisPlane(ViewportStruct* vp, const VertexStruct* a, const VertexStruct* b,
                       const VertexStruct* sighted,
                       std::initializer_list<VertexStruct*> worldPoints,
                       std::initializer_list<VertexStruct*> projectedPoints, bool* outOfRecords);

// Replaces p by the hit of its sight line on the drag plane q, in drag-plane coordinates
// (z = 0). `space` is null for a world point, a matrix to apply first for a point in another
// frame, and the view matrix itself for a point already in normalized projection space.
int ProjectToDragPlane(ViewportStruct* vp, VertexStruct* p, const MatrixStruct* space,
                       const MatrixStruct* q);

// A matrix built in the coordinates of `frame` re-expressed in world coordinates: carried
// through `frame`, then through `placement` (each skipped when it is the identity).
void ExpressInWorld(MatrixStruct** m, const MatrixStruct* frame, const MatrixStruct* placement);

// The signed ratio of the current offset d to the start offset c (2-D): the length of d's
// projection onto c over the length of c; 1 when c is too short to measure.
double ProjectedRatio(double cx, double cy, double dx, double dy);

// The handle matrix of the routines that move the handle with the selection.
void HandOverCopy(const MatrixStruct* result, HandleMatrixSlot* handleMatrix);

// *result becomes the scaling by (fx, fy, fz) about `anchor`.
void AssignScaling(MatrixStruct* result, double fx, double fy, double fz,
                   const VertexStruct* anchor);

// --- Routines -----------------------------------------------------------------------------

int DragMoveAlongAxis(const DragCall& call);
int DragMoveInPlane(const DragCall& call);
int DragMoveOnWorkPlane(const DragCall& call);

int DragRotateInPlane(const DragCall& call);
// The cursor's angle about the handle's Z axis, measured on the (possibly raised) handle plane
// in a parallel viewport; non-zero when an angle was written.
int CursorAngleOnPlane(GHandle* handle, double* angle, ViewportStruct* vp, bool isStart, double x,
                       double y, double z);

enum class AxisScaleKind { Scale, Scale2 };
int DragScaleAlongAxis(const DragCall& call, AxisScaleKind kind);
int DragScaleInPlane(const DragCall& call);
int DragScaleAlongGrip(const DragCall& call);
int DragScaleSceneXY(const DragCall& call);
int DragScaleDiagonal(const DragCall& call);

} // namespace tiller

#endif
