// The scale routines that measure in the handle's own frame: along its axis, in its plane, and
// along the line from the handle through the grabbed point. Each scales the selection (the drag
// matrix) and hands over a separate matrix for the dragged handle itself.

#include "tiller/geometry/geometry.h"
#include "tiller/handle/ghandle.h"
#include "tiller/kinematics/routines.h"
#include "tiller/part/ghandlepart.h"

#include <cmath>

namespace tiller {
namespace {

bool HasResult(const DragCall& call) {
    return call.result && *call.result;
}

double RatioAbout(const VertexStruct* ref, const VertexStruct* start, const VertexStruct* now) {
    return ProjectedRatio(start->x - ref->x, start->y - ref->y, now->x - ref->x, now->y - ref->y);
}

// The axis handles keep their offset from the placement origin in step with the on-screen zoom
// of their mouseout part: mScratch2 and mScratch3 become the zoom-adapted mProfileCS and its
// inverse (scaling both translations by the same factor keeps them each other's inverse).
void AdaptProfileToZoom(GHandle* h) {
    MatrixAssign(h->mProfileCS, &h->mScratch2);
    MatrixAssign(h->mProfileCSInv, &h->mScratch3);
    const GHandlePart* mouseout = h->Part(SlotMouseout);
    if (h->PositionAbsolute || !mouseout || !h->mScratch2 || !h->mScratch3) return;
    const double v = mouseout->PartGetViewScale();
    if (DoubleVsDouble(v, 1.0) == 0 || MatrixHasNoTranslation(h->mScratch2)) return;
    for (int i = 12; i < 15; ++i) {
        h->mScratch2->m[i] *= v;
        h->mScratch3->m[i] *= v;
    }
}

const ExtentsStruct* FirstValidBox(const GHandle* h) {
    for (const ExtentsStruct* e : {h->extSelectionInHandleCS, h->extSelection2, h->extSelection})
        if (ExtentsValid(e)) return e;
    return nullptr;
}

// Kind scale holds the centre of the box face at the least handle-local X in place; kind scale2
// the box centre, given in the rotation bar's frame and brought into the zoom-adapted handle
// frame (mScratch2). The drag matrix is carried into the world through mProfileCS, so with a
// zoom-adapted offset the fixed point sits (1 - view scale) times that offset from the centre.
VertexStruct AxisAnchor(const GHandle* h, const ExtentsStruct* box, AxisScaleKind kind) {
    if (kind == AxisScaleKind::Scale)
        return Point(ExtentsGetX1(box), (ExtentsGetY1(box) + ExtentsGetY2(box)) / 2,
                     (ExtentsGetZ1(box) + ExtentsGetZ2(box)) / 2);
    VertexStruct anchor = Point(0, 0, 0);
    ExtentsCenterVertex(box, &anchor);
    VertexTransform(&anchor, h->mRotbarCS);
    VertexBackOrthoTransform(&anchor, h->mPlacement);
    VertexBackOrthoTransform(&anchor, h->mScratch2);
    return anchor;
}

// The handle matrix of the axis and plane scales: x by fx, y by fy about the handle origin,
// carried into the world through `frame` and the placement.
void HandOverHandleScale(double fx, double fy, const GHandle* h, const MatrixStruct* frame,
                         HandleMatrixSlot* slot) {
    slot->matrix = IdentityMatrix;
    slot->matrix.m[0] = fx;
    slot->matrix.m[5] = fy;
    MatrixStruct* scale = &slot->matrix;
    ExpressInWorld(&scale, frame, h->mPlacement);
    slot->given = true;
}

} // namespace

int DragScaleAlongAxis(const DragCall& call, AxisScaleKind kind) {
    call.handleMatrix->given = false;
    if (!HasResult(call) || !call.viewport) return 0;
    GHandle* h = call.handle;
    AdaptProfileToZoom(h);
    if (kind == AxisScaleKind::Scale && !h->EnsureSelectionExtentsInHandleCS(call.outOfRecords))
        return 0;
    const MatrixStruct* view = ViewportGetMatrix(call.viewport);
    const bool perspective = ViewportIsPerspective(call.viewport);
    VertexStruct a = Point(0, 0, 0), b = Point(1, 0, 0);
    VertexStruct start = Point(perspective ? h->ptDragStart2 : h->ptDragStart);
    VertexStruct now = CursorPoint(call.sample, perspective);
    for (VertexStruct* p : {&a, &b}) {
        VertexBackOrthoTransform(p, h->mScratch3);
        VertexBackOrthoTransform(p, h->mPlacementInv);
    }
    bool measurable = true;
    if (perspective) {
        measurable = ProjectOnAxisPlane(call.viewport, &a, &b, &a, {&a, &b}, {&start, &now},
                                        call.outOfRecords);
        if (*call.outOfRecords) return 0;
    } else {
        for (VertexStruct* p : {&a, &start, &now})
            VertexTransform(p, view);
    }
    for (VertexStruct* p : {&a, &start, &now})
        p->z = 0.0;
    // Nothing measurable on the drag plane: keep the factor 1 rather than jump.
    const double s = measurable ? RatioAbout(&a, &start, &now) : 1.0;
    if (const ExtentsStruct* box = FirstValidBox(h)) {
        const VertexStruct anchor = AxisAnchor(h, box, kind);
        const double f = call.sample.uniformScale ? s : 1.0;
        AssignScaling(*call.result, s, f, f, &anchor);
    }
    ExpressInWorld(call.result, h->mProfileCS, h->mPlacement);
    HandOverHandleScale(s, 1.0, h, h->mScratch2, call.handleMatrix);
    return 1;
}

int DragScaleInPlane(const DragCall& call) {
    call.handleMatrix->given = false;
    if (!HasResult(call)) return 0;
    MatrixSetIdentity(*call.result);
    GHandle* h = call.handle;
    if (!call.viewport || !h->GetExtentsCallback() ||
        !h->EnsureSelectionExtentsInHandleCS(call.outOfRecords))
        return 0;
    const MatrixStruct* view = ViewportGetMatrix(call.viewport);
    const bool perspective = ViewportIsPerspective(call.viewport);
    VertexStruct now = CursorPoint(call.sample, perspective);
    VertexStruct start = Point(perspective ? h->ptDragStart2 : h->ptDragStart);
    const MatrixStruct toView = MatrixProduct(view, h->mHandleWorld);
    const ExtentsStruct* box = h->extSelectionInHandleCS;
    const VertexStruct anchor = Point(ExtentsGetX1(box), ExtentsGetY1(box), 0);
    if (!perspective) {
        VertexTransform(&now, view);
        VertexTransform(&start, view);
    }
    double fx = 1.0, fy = 1.0;
    // A sight line that misses the handle's plane measures nothing: the factors stay 1.
    if (VertexProjectionOnPlane(call.viewport, &now, &now, &toView, 0.0) &&
        VertexProjectionOnPlane(call.viewport, &start, &start, &toView, 0.0)) {
        if (std::fabs(start.x) > GeomEpsilon) fx = now.x / start.x;
        if (std::fabs(start.y) > GeomEpsilon) fy = now.y / start.y;
    }
    const double mean = (fx + fy) / 2;
    const bool uniform = call.sample.uniformScale != 0;
    AssignScaling(*call.result, uniform ? mean : fx, uniform ? mean : fy, uniform ? mean : 1.0,
                  &anchor);
    ExpressInWorld(call.result, h->mProfileCS, h->mPlacement);
    HandOverHandleScale(fx, fy, h, h->mProfileCS, call.handleMatrix);
    return 1;
}

int DragScaleAlongGrip(const DragCall& call) {
    call.handleMatrix->given = false;
    if (!call.viewport || !HasResult(call)) return 0;
    MatrixSetIdentity(*call.result);
    GHandle* h = call.handle;
    if (!h->EnsureSelectionExtentsInHandleCS(call.outOfRecords)) return 0;
    const MatrixStruct* view = ViewportGetMatrix(call.viewport);
    const bool perspective = ViewportIsPerspective(call.viewport);
    const MatrixStruct toView = MatrixProduct(view, h->mHandleWorld);
    const ExtentsStruct* box = h->extSelectionInHandleCS;
    VertexStruct anchor = Point(ExtentsGetX1(box), 0, 0);
    if (call.sample.scaleFromCenter) ExtentsCenterVertex(box, &anchor);
    VertexStruct ref = anchor;
    VertexTransform(&ref, &toView);
    VertexStruct start = Point(h->ptDragStart);
    VertexStruct now = CursorPoint(call.sample, perspective);
    bool measurable = true;
    if (perspective) {
        VertexStruct origin = Point(0, 0, 0), grabbed = Point(h->ptDragStart);
        VertexTransform(&origin, h->mHandleWorld);
        VertexBackOrthoTransform(&ref, view);
        measurable = ProjectOnAxisPlane(call.viewport, &origin, &grabbed, &grabbed, {&ref, &start},
                                        {&now}, call.outOfRecords);
        if (*call.outOfRecords) return 0;
    } else {
        VertexTransform(&now, view);
        VertexTransform(&start, view);
    }
    // Nothing measurable on the drag plane: keep the factor 1 rather than jump.
    const double s = measurable ? RatioAbout(&ref, &start, &now) : 1.0;
    const double f = call.sample.uniformScale ? s : 1.0;
    AssignScaling(*call.result, s, f, f, &anchor);
    ExpressInWorld(call.result, h->mProfileCS, h->mPlacement);
    HandOverCopy(*call.result, call.handleMatrix);
    return 1;
}

} // namespace tiller
