// The move routines: pure translations along the handle's axis, in its plane, or on the
// host's work plane.

#include "tiller/geometry/geometry.h"
#include "tiller/handle/ghandle.h"
#include "tiller/kinematics/routines.h"

#include <cmath>

namespace tiller {
namespace {

bool HasTarget(const DragCall& call) {
    return call.result && *call.result && call.viewport;
}

void SetTranslation(MatrixStruct* m, double x, double y, double z) {
    m->m[12] = x;
    m->m[13] = y;
    m->m[14] = z;
}

void Flatten(std::initializer_list<VertexStruct*> points) {
    for (VertexStruct* p : points)
        p->z = 0.0;
}

// The drag's component along a -> b (the handle's unit X vector in working coordinates), in
// handle-local units; 0 when the axis is seen end-on.
double DistanceAlongAxis(const VertexStruct* a, const VertexStruct* b, const VertexStruct* c,
                         const VertexStruct* d) {
    const double unit = VertexDistance(a, b);
    if (std::fabs(unit) <= GeomEpsilon) return 0.0;
    return VertexDistance(c, d) * SegmentCosine(a, b, c, d) / unit;
}

} // namespace

int DragMoveAlongAxis(const DragCall& call) {
    if (!HasTarget(call)) return 0;
    GHandle* h = call.handle;
    const MatrixStruct* view = ViewportGetMatrix(call.viewport);
    const bool perspective = ViewportIsPerspective(call.viewport);
    const DragSample& s = call.sample;
    const double* start = perspective ? h->ptDragStart2 : h->ptDragStart;
    VertexStruct a = Point(0, 0, 0), b = Point(1, 0, 0);
    VertexStruct c = Point(start), d = CursorPoint(s, perspective);
    VertexTransform(&a, h->mHandleWorld);
    VertexTransform(&b, h->mHandleWorld);
    bool measurable = true;
    if (perspective) {
        measurable =
            ProjectOnAxisPlane(call.viewport, &a, &b, &a, {&a, &b}, {&c, &d}, call.outOfRecords);
        if (*call.outOfRecords) return 0;
    } else {
        for (VertexStruct* p : {&a, &b, &c, &d})
            VertexTransform(p, view);
    }
    Flatten({&a, &b, &c, &d});
    // Without a drag plane the cursor cannot be measured against the axis: no movement.
    const double t = measurable ? DistanceAlongAxis(&a, &b, &c, &d) : 0.0;
    (*call.result)->m[12] = t;
    ExpressInWorld(call.result, h->mProfileCS, h->mPlacement);
    return 1;
}

int DragMoveInPlane(const DragCall& call) {
    if (!HasTarget(call)) return 0;
    MatrixSetIdentity(*call.result);
    GHandle* h = call.handle;
    const MatrixStruct* view = ViewportGetMatrix(call.viewport);
    const bool perspective = ViewportIsPerspective(call.viewport);
    const DragSample& s = call.sample;
    const double* start = perspective ? h->ptDragStart2 : h->ptDragStart;
    VertexStruct d = CursorPoint(s, perspective), st = Point(start);
    const MatrixStruct plane = MatrixProduct(view, h->mHandleWorld);
    if (!perspective) {
        VertexTransform(&d, view);
        VertexTransform(&st, view);
    }
    // A sight line that misses the handle's plane gives no movement rather than a difference of
    // points in view coordinates.
    if (!VertexProjectionOnPlane(call.viewport, &d, &d, &plane, 0.0) ||
        !VertexProjectionOnPlane(call.viewport, &st, &st, &plane, 0.0))
        return 1;
    VertexTransform(&d, h->mHandleWorld);
    VertexTransform(&st, h->mHandleWorld);
    SetTranslation(*call.result, d.x - st.x, d.y - st.y, d.z - st.z);
    return 1;
}

int DragMoveOnWorkPlane(const DragCall& call) {
    if (!HasTarget(call)) return 0;
    MatrixSetIdentity(*call.result);
    const GHandle* h = call.handle;
    const DragSample& s = call.sample;
    SetTranslation(*call.result, s.x - h->ptDragStart[0], s.y - h->ptDragStart[1],
                   s.z - h->ptDragStart[2]);
    return 1;
}

} // namespace tiller
