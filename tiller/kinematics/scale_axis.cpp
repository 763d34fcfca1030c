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

VertexStruct* NewPoint(const double* p) {
    return VertexNewEx(p[0], p[1], p[2]);
}

// The current cursor in working coordinates' source form: the view triple in perspective
// viewports, the cursor point (a world point) in parallel ones.
VertexStruct* NewCursor(const DragSample& s, bool perspective) {
    return perspective ? VertexNewEx(s.vx, s.vy, s.vz) : VertexNewEx(s.x, s.y, s.z);
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
VertexStruct* NewAxisAnchor(const GHandle* h, const ExtentsStruct* box, AxisScaleKind kind) {
    if (kind == AxisScaleKind::Scale)
        return VertexNewEx(ExtentsGetX1(box), (ExtentsGetY1(box) + ExtentsGetY2(box)) / 2,
                           (ExtentsGetZ1(box) + ExtentsGetZ2(box)) / 2);
    VertexStruct* anchor = VertexNewEx(0, 0, 0);
    if (!anchor) return nullptr;
    ExtentsCenterVertex(box, anchor);
    VertexTransform(anchor, h->mRotbarCS);
    VertexBackOrthoTransform(anchor, h->mPlacement);
    VertexBackOrthoTransform(anchor, h->mScratch2);
    return anchor;
}

// The handle matrix of the axis and plane scales: x by fx, y by fy about the handle origin.
MatrixStruct* NewHandleScale(double fx, double fy) {
    MatrixStruct* m = MatrixSingle();
    if (m) {
        m->m[0] = fx;
        m->m[5] = fy;
    }
    return m;
}

} // namespace

int DragScaleAlongAxis(const DragCall& call, AxisScaleKind kind) {
    ClearHandleMatrix(call.handleMatrix);
    if (!HasResult(call) || !call.viewport) return 0;
    GHandle* h = call.handle;
    AdaptProfileToZoom(h);
    if (kind == AxisScaleKind::Scale && !h->EnsureSelectionExtentsInHandleCS()) return 0;
    const MatrixStruct* view = ViewportGetMatrix(call.viewport);
    const bool perspective = ViewportIsPerspective(call.viewport);
    HeldVertex a(VertexNewEx(0, 0, 0)), b(VertexNewEx(1, 0, 0));
    HeldVertex start(NewPoint(perspective ? h->ptDragStart2 : h->ptDragStart));
    HeldVertex now(NewCursor(call.sample, perspective));
    if (!a || !b || !start || !now) return 0;
    for (VertexStruct* p : {a.get(), b.get()}) {
        VertexBackOrthoTransform(p, h->mScratch3);
        VertexBackOrthoTransform(p, h->mPlacementInv);
    }
    bool measurable = true;
    if (perspective) {
        measurable = ProjectOnAxisPlane(call.viewport, a.get(), b.get(), a.get(),
                                        {a.get(), b.get()}, {start.get(), now.get()});
    } else {
        for (VertexStruct* p : {a.get(), start.get(), now.get()})
            VertexTransform(p, view);
    }
    for (VertexStruct* p : {a.get(), start.get(), now.get()})
        p->z = 0.0;
    // Nothing measurable on the drag plane: keep the factor 1 rather than jump.
    const double s = measurable ? RatioAbout(a.get(), start.get(), now.get()) : 1.0;
    HeldMatrix handleScale(NewHandleScale(s, 1.0));
    if (!handleScale) return 0;
    if (const ExtentsStruct* box = FirstValidBox(h)) {
        HeldVertex anchor(NewAxisAnchor(h, box, kind));
        const double f = call.sample.uniformScale ? s : 1.0;
        if (!anchor || !AssignScaling(call.result, s, f, f, anchor.get()))
            return FailDrag(*call.result, call.handleMatrix);
    }
    ExpressInWorld(call.result, h->mProfileCS, h->mPlacement);
    ExpressInWorld(handleScale.address(), h->mScratch2, h->mPlacement);
    *call.handleMatrix = handleScale.Release();
    return 1;
}

int DragScaleInPlane(const DragCall& call) {
    ClearHandleMatrix(call.handleMatrix);
    if (!HasResult(call)) return 0;
    MatrixSetIdentity(*call.result);
    GHandle* h = call.handle;
    if (!call.viewport || !h->GetExtentsCallback() || !h->EnsureSelectionExtentsInHandleCS())
        return 0;
    const MatrixStruct* view = ViewportGetMatrix(call.viewport);
    const bool perspective = ViewportIsPerspective(call.viewport);
    HeldVertex now(NewCursor(call.sample, perspective));
    HeldVertex start(NewPoint(perspective ? h->ptDragStart2 : h->ptDragStart));
    HeldMatrix toView(MatrixMatrixMultiplyEx(view, h->mHandleWorld));
    const ExtentsStruct* box = h->extSelectionInHandleCS;
    HeldVertex anchor(VertexNewEx(ExtentsGetX1(box), ExtentsGetY1(box), 0));
    if (!now || !start || !toView || !anchor) return 0;
    if (!perspective) {
        VertexTransform(now.get(), view);
        VertexTransform(start.get(), view);
    }
    double fx = 1.0, fy = 1.0;
    // A sight line that misses the handle's plane measures nothing: the factors stay 1.
    if (VertexProjectionOnPlane(call.viewport, now.get(), now.get(), toView.get(), 0.0) &&
        VertexProjectionOnPlane(call.viewport, start.get(), start.get(), toView.get(), 0.0)) {
        if (std::fabs(start->x) > GeomEpsilon) fx = now->x / start->x;
        if (std::fabs(start->y) > GeomEpsilon) fy = now->y / start->y;
    }
    HeldMatrix handleScale(NewHandleScale(fx, fy));
    const double mean = (fx + fy) / 2;
    const bool uniform = call.sample.uniformScale != 0;
    if (!handleScale || !AssignScaling(call.result, uniform ? mean : fx, uniform ? mean : fy,
                                       uniform ? mean : 1.0, anchor.get()))
        return FailDrag(*call.result, call.handleMatrix);
    ExpressInWorld(call.result, h->mProfileCS, h->mPlacement);
    ExpressInWorld(handleScale.address(), h->mProfileCS, h->mPlacement);
    *call.handleMatrix = handleScale.Release();
    return 1;
}

int DragScaleAlongGrip(const DragCall& call) {
    ClearHandleMatrix(call.handleMatrix);
    if (!call.viewport || !HasResult(call)) return 0;
    MatrixSetIdentity(*call.result);
    GHandle* h = call.handle;
    if (!h->EnsureSelectionExtentsInHandleCS()) return 0;
    const MatrixStruct* view = ViewportGetMatrix(call.viewport);
    const bool perspective = ViewportIsPerspective(call.viewport);
    HeldMatrix toView(MatrixMatrixMultiplyEx(view, h->mHandleWorld));
    const ExtentsStruct* box = h->extSelectionInHandleCS;
    HeldVertex anchor(VertexNewEx(ExtentsGetX1(box), 0, 0));
    if (anchor && call.sample.scaleFromCenter) ExtentsCenterVertex(box, anchor.get());
    HeldVertex ref(anchor ? VertexCopy(anchor.get(), toView.get()) : nullptr);
    HeldVertex start(NewPoint(h->ptDragStart));
    HeldVertex now(NewCursor(call.sample, perspective));
    if (!toView || !anchor || !ref || !start || !now) return 0;
    bool measurable = true;
    if (perspective) {
        HeldVertex origin(VertexNewEx(0, 0, 0)), grabbed(NewPoint(h->ptDragStart));
        if (!origin || !grabbed) return 0;
        VertexTransform(origin.get(), h->mHandleWorld);
        VertexBackOrthoTransform(ref.get(), view);
        measurable = ProjectOnAxisPlane(call.viewport, origin.get(), grabbed.get(), grabbed.get(),
                                        {ref.get(), start.get()}, {now.get()});
    } else {
        VertexTransform(now.get(), view);
        VertexTransform(start.get(), view);
    }
    // Nothing measurable on the drag plane: keep the factor 1 rather than jump.
    const double s = measurable ? RatioAbout(ref.get(), start.get(), now.get()) : 1.0;
    const double f = call.sample.uniformScale ? s : 1.0;
    if (!AssignScaling(call.result, s, f, f, anchor.get()))
        return FailDrag(*call.result, call.handleMatrix);
    ExpressInWorld(call.result, h->mProfileCS, h->mPlacement);
    HandOverCopy(*call.result, call.handleMatrix);
    return 1;
}

} // namespace tiller
