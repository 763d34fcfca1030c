// The scale routines that measure against the selection: in the selection box's plane
// (scene_cs_xy) and uniformly along the diagonal through the grabbed point (scene_cs_diag). The
// handle moves with the selection: its matrix is a copy of the drag matrix.

#include "tiller/geometry/geometry.h"
#include "tiller/handle/ghandle.h"
#include "tiller/kinematics/routines.h"
#include "tiller/part/ghandlepart.h"

#include <cmath>

namespace tiller {
namespace {

constexpr uint16_t EqualXYKey = 4;

struct Factors {
    double x = 1.0, y = 1.0, z = 1.0;
};

// The points of one scene-XY sample: the current and start cursors and the anchor, in view
// coordinates (parallel) or normalized projection space (perspective).
struct SceneSample {
    VertexStruct* now;
    VertexStruct* start;
    VertexStruct* anchor;
    bool projected; // the start and anchor reached normalized projection space
};

// A view point (perspective) carried into normalized projection space.
int NormalizeViewPoint(ViewportStruct* vp, VertexStruct* p) {
    p->z = -p->z;
    return ViewportNormalizeVertexProjection(vp, p);
}

// The selection centre, given in the control's frame, in world coordinates; the origin when
// the box is missing.
VertexStruct SelectionCentre(const GHandle* h) {
    VertexStruct centre = Point(0, 0, 0);
    ExtentsCenterVertex(h->extSelection, &centre);
    VertexTransform(&centre, h->mGCtrlCS);
    return centre;
}

// The anchor of the scene-XY scale in handle-local coordinates: the box corner (x1, y1) on the
// handle's plane, or the selection centre.
VertexStruct SceneAnchor(const GHandle* h, bool fromCentre) {
    const ExtentsStruct* box = h->extSelectionInHandleCS;
    if (!fromCentre) return Point(ExtentsGetX1(box), ExtentsGetY1(box), 0);
    VertexStruct anchor = SelectionCentre(h);
    VertexTransform(&anchor, h->mHandleWorldInv);
    return anchor;
}

// A selection with depth is measured by projection; a flat one only when the handle itself is a
// point, otherwise by its box.
bool TriesProjection(const GHandle* h) {
    if (!ExtentsIsFlat(h->extSelection)) return true;
    const GHandlePart* mouseout = h->Part(SlotMouseout);
    return mouseout && ExtentsIsPoint(mouseout->PartGetExtents());
}

// Each factor compares the cursor's distance from the start point's mirror image through the
// handle origin with the start point's own distance from it. false when a sight line misses
// the handle's plane.
bool ProjectionFactors(const DragCall& call, const MatrixStruct* toView, const SceneSample& p,
                       bool equalXY, Factors* f) {
    GHandle* h = call.handle;
    ViewportStruct* vp = call.viewport;
    if (!p.projected) return false;
    for (const VertexStruct* v : {p.now, p.start, p.anchor})
        if (!VertexProjectionOnPlane(vp, v, h->vScratch2, toView, 0.0)) return false;
    for (VertexStruct* v : {p.now, p.start, p.anchor})
        VertexProjectionOnPlane(vp, v, v, toView, 0.0);
    if (std::fabs(p.start->x) > GeomEpsilon) f->x = (p.now->x + p.start->x) / (2 * p.start->x);
    if (std::fabs(p.start->y) > GeomEpsilon) f->y = (p.now->y + p.start->y) / (2 * p.start->y);
    const double mean = (f->x + f->y) / 2;
    if (call.sample.uniformScale)
        *f = {mean, mean, mean};
    else if (equalXY)
        f->x = f->y = mean;
    return true;
}

// The on-screen offsets of the start and current cursors from the vertical segment at the
// anchor (vPlacePoint to vScratch1): signed areas in a parallel view, heights in the plane
// through the segment and the grabbed point in a perspective one (0 and *outOfRecords set when
// that plane's record cannot be made).
void SegmentOffsets(const DragCall& call, const MatrixStruct* toView, const SceneSample& p,
                    double* a1, double* a2) {
    GHandle* h = call.handle;
    *a1 = *a2 = 0.0;
    if (!ViewportIsPerspective(call.viewport)) {
        VertexTransform(h->vPlacePoint, toView);
        VertexTransform(h->vScratch1, toView);
        *a1 = TriangleSignedArea(h->vPlacePoint, h->vScratch1, p.start);
        *a2 = TriangleSignedArea(h->vPlacePoint, h->vScratch1, p.now);
        return;
    }
    for (VertexStruct* v : {h->vPlacePoint, h->vScratch1}) {
        VertexTransform(v, h->mProfileCS);
        VertexTransform(v, h->mPlacement);
    }
    VertexStruct grabbed = Point(h->ptDragStart);
    VertexStruct cursor = Point(call.sample.x, call.sample.y, call.sample.z);
    int ok = 0;
    HeldMatrix plane(MatrixPlaneTo(h->vPlacePoint, h->vScratch1, &grabbed, &ok));
    if (ok && !plane) *call.outOfRecords = true;
    if (!plane) return;
    VertexTransform(&grabbed, plane.get());
    VertexTransform(&cursor, plane.get());
    *a1 = grabbed.y;
    *a2 = cursor.y;
}

// Whether the box path's factor belongs to x: when the handle's Y axis is seen end-on, or, for
// a box touching the handle's axes, when the box has no depth in Y.
bool BoxFactorGoesToX(const ExtentsStruct* box, const MatrixStruct* toView) {
    const double x1 = ExtentsGetX1(box), x2 = ExtentsGetX2(box);
    const double y1 = ExtentsGetY1(box), y2 = ExtentsGetY2(box);
    auto zero = [](double v) { return std::fabs(v) <= GeomEpsilon; };
    if (!zero(x1) && !zero(x2) && !zero(y1) && !zero(y2))
        return zero(toView->m[4]) && zero(toView->m[5]) && !zero(toView->m[6]);
    return zero(y1) && zero(y2);
}

void BoxFactors(const DragCall& call, const MatrixStruct* toView, const SceneSample& p,
                bool equalXY, Factors* f) {
    GHandle* h = call.handle;
    const ExtentsStruct* box = h->extSelectionInHandleCS;
    double x = ExtentsGetX1(box), y = ExtentsGetY1(box);
    if (call.sample.scaleFromCenter) {
        x = (ExtentsGetX1(box) + ExtentsGetX2(box)) / 2;
        y = (ExtentsGetY1(box) + ExtentsGetY2(box)) / 2;
    }
    VertexSet(h->vPlacePoint, x, y, ExtentsGetZ1(box));
    VertexSet(h->vScratch1, x, y, ExtentsGetZ2(box));
    double a1 = 0.0, a2 = 0.0;
    SegmentOffsets(call, toView, p, &a1, &a2);
    const double r = std::sqrt(std::fabs(a1)) > GeomEpsilon ? a2 / a1 : 1.0;
    if (call.sample.uniformScale || equalXY)
        *f = {r, r, r};
    else if (BoxFactorGoesToX(box, toView))
        f->x = r;
    else
        f->y = r;
}

} // namespace

int DragScaleSceneXY(const DragCall& call) {
    call.handleMatrix->given = false;
    if (!call.result || !*call.result) return 0;
    MatrixSetIdentity(*call.result);
    GHandle* h = call.handle;
    if (!call.viewport || !h->GetExtentsCallback()) return 0;
    const bool equalXY = (call.sample.keyState & EqualXYKey) != 0;
    if (!h->EnsureSelectionExtentsInHandleCS(call.outOfRecords)) return 0;
    if (!h->vPlacePoint || !h->vScratch1 || !h->vScratch2) return 0;
    const MatrixStruct* view = ViewportGetMatrix(call.viewport);
    const bool perspective = ViewportIsPerspective(call.viewport);
    const VertexStruct anchor = SceneAnchor(h, call.sample.scaleFromCenter != 0);
    const MatrixStruct toView = MatrixProduct(view, h->mHandleWorld);
    VertexStruct anchorSeen = anchor;
    VertexTransform(&anchorSeen, &toView);
    VertexStruct start = Point(h->ptDragStart);
    VertexStruct now = CursorPoint(call.sample, perspective);
    bool projected = true;
    if (perspective) {
        projected = ToNormalizedProjection(call.viewport, view, &start) &&
                    NormalizeViewPoint(call.viewport, &anchorSeen);
    } else {
        VertexTransform(&now, view);
        VertexTransform(&start, view);
    }
    const SceneSample sample{&now, &start, &anchorSeen, projected};
    Factors f;
    if (!TriesProjection(h) || !ProjectionFactors(call, &toView, sample, equalXY, &f))
        BoxFactors(call, &toView, sample, equalXY, &f);
    if (*call.outOfRecords) return 0;
    AssignScaling(*call.result, f.x, f.y, f.z, &anchor);
    ExpressInWorld(call.result, h->mProfileCS, h->mPlacement);
    HandOverCopy(*call.result, call.handleMatrix);
    return 1;
}

int DragScaleDiagonal(const DragCall& call) {
    call.handleMatrix->given = false;
    if (!call.result || !*call.result) return 0;
    MatrixSetIdentity(*call.result);
    if (!call.viewport) return 0;
    GHandle* h = call.handle;
    const bool fromCentre = call.sample.scaleFromCenter != 0;
    const MatrixStruct* view = ViewportGetMatrix(call.viewport);
    const bool perspective = ViewportIsPerspective(call.viewport);
    VertexStruct centre = SelectionCentre(h);
    VertexStruct start = Point(h->ptDragStart);
    VertexStruct now = CursorPoint(call.sample, perspective);
    // Without the centre as anchor the far end of the diagonal through the grabbed point stays.
    const VertexStruct anchor =
        fromCentre ? centre
                   : Point(2 * centre.x - start.x, 2 * centre.y - start.y, 2 * centre.z - start.z);
    bool measurable = true;
    if (perspective) {
        VertexStruct origin = Point(0, 0, 0), grabbed = Point(h->ptDragStart);
        VertexTransform(&origin, h->mHandleWorld);
        measurable = ProjectOnAxisPlane(call.viewport, &origin, &grabbed, &centre,
                                        {&centre, &start}, {&now}, call.outOfRecords);
        if (*call.outOfRecords) return 0;
    } else {
        for (VertexStruct* p : {&centre, &start, &now})
            VertexTransform(p, view);
    }
    double kx = centre.x, ky = centre.y;
    if (!fromCentre) {
        kx = 2 * centre.x - start.x;
        ky = 2 * centre.y - start.y;
    }
    // Nothing measurable on the drag plane: keep the factor 1 rather than jump.
    const double r =
        measurable ? ProjectedRatio(start.x - kx, start.y - ky, now.x - kx, now.y - ky) : 1.0;
    AssignScaling(*call.result, r, r, r, &anchor);
    HandOverCopy(*call.result, call.handleMatrix);
    return 1;
}

} // namespace tiller
