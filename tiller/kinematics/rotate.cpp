// The rotation routine: a turn about the handle's local Z axis by the change of the cursor's
// angle around it, measured on the handle's plane raised to where the user grabbed the ring.

#include "tiller/geometry/geometry.h"
#include "tiller/handle/ghandle.h"
#include "tiller/kinematics/routines.h"
#include "tiller/part/ghandlepart.h"

#include <cmath>

namespace tiller {
namespace {

// Below this view-depth component of the local unit Z vector the plane is too close to edge-on
// to start a rotation, and a running one measures with a bounded stand-in instead.
constexpr double EdgeOnLimit = 0.0001;
constexpr double EdgeOnStandIn = 0.00001;
constexpr double ParallelStandIn = 0.3;

// The measuring plane is the handle-local plane z = height: the height of the mouseout part's
// last hit point, unless the handle snaps to its centre. Answers the height; `raise` receives
// the translation to that plane when it is not 0.
double MeasuringPlane(GHandle* h, MatrixStruct* raise) {
    double height = 0.0;
    const GHandlePart* mouseout = h->Part(SlotMouseout);
    const VertexStruct* hit = mouseout ? mouseout->PartGetHitPoint() : nullptr;
    if (!h->SnapCursorToCenter && hit && VertexAssign(hit, &h->vPlacePoint)) {
        VertexTransform(h->vPlacePoint, h->mHandleWorldInv);
        height = h->vPlacePoint->z;
    }
    if (height == 0.0) return height;
    VertexSet(h->vPlacePoint, 0, 0, height);
    MatrixOffsetEx(raise, h->vPlacePoint);
    return height;
}

// A view point carried into the coordinates of the measuring plane.
void ViewToPlane(VertexStruct* p, const MatrixStruct* view, const GHandle* h,
                 const MatrixStruct* raise) {
    VertexBackOrthoTransform(p, view);
    VertexTransform(p, h->mHandleWorldInv);
    if (raise) VertexBackOrthoTransform(p, raise);
}

// A point of the measuring plane carried into view coordinates.
void PlaneToView(VertexStruct* p, const MatrixStruct* view, const GHandle* h,
                 const MatrixStruct* raise) {
    if (raise) VertexTransform(p, raise);
    VertexTransform(p, h->mHandleWorld);
    VertexTransform(p, view);
}

double GuardedDepthSlope(double dz) {
    if (std::fabs(dz) <= GeomEpsilon) return ParallelStandIn;
    if (std::fabs(dz) < EdgeOnLimit) return dz < 0 ? -EdgeOnStandIn : EdgeOnStandIn;
    return dz;
}

// The perspective branch: the host intersects both sight lines with the measuring plane. A start
// that misses the plane counts from the X axis; a current sample that misses it gives no turn.
void PerspectiveAngle(const DragCall& call, double* angle) {
    GHandle* h = call.handle;
    const DragSample& s = call.sample;
    MatrixStruct plane = MatrixProduct(ViewportGetMatrix(call.viewport), h->mHandleWorld);
    VertexStruct start = Point(h->ptDragStart2), current = Point(s.vx, s.vy, s.vz);
    MatrixStruct raise;
    if (MeasuringPlane(h, &raise) != 0.0) plane = MatrixProduct(&plane, &raise);
    double startAngle = 0.0;
    if (VertexProjectionOnPlane(call.viewport, &start, &start, &plane, 0.0))
        startAngle = SafeAtan2(start.y, start.x);
    *angle = 0.0;
    if (VertexProjectionOnPlane(call.viewport, &current, &current, &plane, 0.0))
        *angle = SafeAtan2(current.y, current.x) - startAngle;
}

// The parallel branch: the start angle is kept in dDragScratch, recomputed on every sample.
void ParallelAngle(const DragCall& call, double* angle) {
    GHandle* h = call.handle;
    const DragSample& s = call.sample;
    if (!CursorAngleOnPlane(h, &h->dDragScratch, call.viewport, true, h->ptDragStart[0],
                            h->ptDragStart[1], h->ptDragStart[2]))
        h->dDragScratch = 0.0;
    double current = 0.0;
    *angle = CursorAngleOnPlane(h, &current, call.viewport, false, s.x, s.y, s.z)
                 ? current - h->dDragScratch
                 : 0.0;
}

} // namespace

int CursorAngleOnPlane(GHandle* h, double* angle, ViewportStruct* vp, bool isStart, double x,
                       double y, double z) {
    if (!vp) return 0;
    const MatrixStruct* view = ViewportGetMatrix(vp);
    if (!view || !h->vPlacePoint) return 0;
    MatrixStruct raiseValue;
    const double height = MeasuringPlane(h, &raiseValue);
    const MatrixStruct* raise = height != 0.0 ? &raiseValue : nullptr;
    VertexStruct cursor = Point(x, y, z);
    VertexTransform(&cursor, view);
    const double px = cursor.x;
    const double py = cursor.y;
    VertexStruct a = Point(0, 0, height), b = Point(0, 0, height + 1);
    VertexStruct onSight = Point(px, py, 0);
    PlaneToView(&a, view, h, raise);
    PlaneToView(&b, view, h, raise);
    const double dz = b.z - a.z;
    ViewToPlane(&onSight, view, h, raise);
    const double heightAtDepthZero = onSight.z;
    if (isStart && std::fabs(dz) < EdgeOnLimit) return 0;
    const double depth = -heightAtDepthZero / GuardedDepthSlope(dz);
    onSight = Point(px, py, depth);
    ViewToPlane(&onSight, view, h, raise);
    *angle = SafeAtan2(onSight.y, onSight.x);
    return 1;
}

int DragRotateInPlane(const DragCall& call) {
    if (!call.result || !*call.result || !call.viewport) return 0;
    GHandle* h = call.handle;
    double angle = 0.0;
    if (ViewportIsPerspective(call.viewport)) {
        PerspectiveAngle(call, &angle);
    } else {
        ParallelAngle(call, &angle);
    }
    const VertexStruct origin = Point(0, 0, 0);
    MatrixRotateZEx(*call.result, angle, &origin);
    ExpressInWorld(call.result, h->mProfileCS, h->mPlacement);
    return 1;
}

} // namespace tiller
