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
// last hit point, unless the handle snaps to its centre. `raise` receives the translation to that
// plane when the height is not 0. false only when that translation cannot be made.
bool MeasuringPlane(GHandle* h, double* height, HeldMatrix* raise) {
    *height = 0.0;
    const GHandlePart* mouseout = h->Part(SlotMouseout);
    const VertexStruct* hit = mouseout ? mouseout->PartGetHitPoint() : nullptr;
    if (!h->SnapCursorToCenter && hit && VertexAssign(hit, &h->vPlacePoint)) {
        VertexTransform(h->vPlacePoint, h->mHandleWorldInv);
        *height = h->vPlacePoint->z;
    }
    if (*height == 0.0) return true;
    VertexSet(h->vPlacePoint, 0, 0, *height);
    raise->Reset(MatrixOffsetEx(nullptr, h->vPlacePoint));
    return static_cast<bool>(*raise);
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
bool PerspectiveAngle(const DragCall& call, double* angle) {
    GHandle* h = call.handle;
    const DragSample& s = call.sample;
    HeldMatrix plane(MatrixMatrixMultiplyEx(ViewportGetMatrix(call.viewport), h->mHandleWorld));
    HeldVertex start(VertexNewEx(h->ptDragStart2[0], h->ptDragStart2[1], h->ptDragStart2[2]));
    HeldVertex current(VertexNewEx(s.vx, s.vy, s.vz));
    double height = 0.0;
    HeldMatrix raise;
    if (!plane || !start || !current || !MeasuringPlane(h, &height, &raise)) return false;
    if (raise) MatrixMultiplyRight(plane.address(), raise.get());
    double startAngle = 0.0;
    if (VertexProjectionOnPlane(call.viewport, start.get(), start.get(), plane.get(), 0.0))
        startAngle = SafeAtan2(start->y, start->x);
    *angle = 0.0;
    if (VertexProjectionOnPlane(call.viewport, current.get(), current.get(), plane.get(), 0.0))
        *angle = SafeAtan2(current->y, current->x) - startAngle;
    return true;
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
    double height = 0.0;
    HeldMatrix raise;
    if (!view || !MeasuringPlane(h, &height, &raise) || !h->vPlacePoint) return 0;
    VertexSet(h->vPlacePoint, x, y, z);
    VertexTransform(h->vPlacePoint, view);
    const double px = h->vPlacePoint->x;
    const double py = h->vPlacePoint->y;
    HeldVertex a(VertexNewEx(0, 0, height)), b(VertexNewEx(0, 0, height + 1));
    HeldVertex onSight(VertexNewEx(px, py, 0));
    if (!a || !b || !onSight) return 0;
    PlaneToView(a.get(), view, h, raise.get());
    PlaneToView(b.get(), view, h, raise.get());
    const double dz = b->z - a->z;
    ViewToPlane(onSight.get(), view, h, raise.get());
    const double heightAtDepthZero = onSight->z;
    if (isStart && std::fabs(dz) < EdgeOnLimit) return 0;
    const double depth = -heightAtDepthZero / GuardedDepthSlope(dz);
    VertexSet(onSight.get(), px, py, depth);
    ViewToPlane(onSight.get(), view, h, raise.get());
    *angle = SafeAtan2(onSight->y, onSight->x);
    return 1;
}

int DragRotateInPlane(const DragCall& call) {
    if (!call.result || !*call.result || !call.viewport) return 0;
    GHandle* h = call.handle;
    double angle = 0.0;
    if (ViewportIsPerspective(call.viewport)) {
        if (!PerspectiveAngle(call, &angle)) return 0;
    } else {
        ParallelAngle(call, &angle);
    }
    HeldVertex origin(VertexNewEx(0, 0, 0));
    HeldMatrix rotation(origin ? MatrixRotateZEx(nullptr, angle, origin.get()) : nullptr);
    if (!rotation || !MatrixAssign(rotation.get(), call.result)) return 0;
    ExpressInWorld(call.result, h->mProfileCS, h->mPlacement);
    return 1;
}

} // namespace tiller
