// Hit testing: whether the cursor is over a handle, how near, and where. A part is asked first
// for the closest facet under the cursor (surfaces) and only when there is none for the
// distance to its edges within the pick aperture (curves). Parts that the host draws through a
// view-dependent scale are tested on their stored geometry: the cursor (parallel views) or a
// private copy of the camera (perspective views) is carried into the geometry's frame, and the
// point found is carried back.

#include "tiller/geometry/geometry.h"
#include "tiller/geometry/held.h"
#include "tiller/handle/ghandle.h"
#include "tiller/host/plinth.h"
#include "tiller/part/ghandlepart.h"

#include <cmath>

namespace tiller {
namespace {

constexpr double PerspectivePickEpsilon = 1e-6;
// In perspective views line picking of a scaled part gets a quarter of the pick radius.
constexpr double PerspectiveScaledToleranceDivisor = 4.0;
constexpr uint32_t DistanceQueryFlags = 0x8FF;
constexpr uint16_t FacetQueryFlags = 0x42F0;

int CachedDefaultAperture = 0;

// Same arguments as the host's distance query; only the geometry, point, matrix, point out, the
// zero's address and the viewport are used.
double ClosestFacetDistance(GraphicStruct* geometry, const VertexStruct* point,
                            const MatrixStruct* matrix, VertexStruct* pointOut, GraphicStruct*,
                            void** zero, double, uint32_t, int, int, ViewportStruct* vp) {
    const HeldVertex q(VertexNewFromEx(point));
    const HeldVertex hitScratch(pointOut ? nullptr : VertexNewFromEx(nullptr));
    const HeldVertex normal(VertexNewFromEx(nullptr));
    VertexStruct* hit = pointOut ? pointOut : hitScratch.get();
    if (!q || !hit || !normal) return -1.0;
    if (ViewportIsPerspective(vp)) q->z = -q->z;
    ViewportCStoUserCS(matrix, 0, q.get(), q.get());
    int one = 1;
    int none = 0;
    return GraphicGetClosestFacet(q.get(), geometry, &one, &none, zero, nullptr, hit, normal.get(),
                                  vp, FacetQueryFlags, 0, 0);
}

// Makes `copy` a copy of the viewport whose camera is carried into the frame of the part's stored
// geometry: the view-dependent scale is uniform about a point, so the moved camera sees the
// stored geometry exactly as the real one sees the displayed part.
void PlaceCameraInGeometryFrame(ViewportStruct* vp, const MatrixStruct* displayToGeometry,
                                VertexStruct* scratch, ViewportStruct* copy) {
    ViewportCopyFrom(vp, copy);
    ViewportSetDrawing(copy, ViewportGetDrawing(vp));
    ViewportNormalize(copy);
    CameraStruct* camera = ViewportGetCamera(copy);
    if (!camera) return;
    for (double* point : {camera->eye, camera->target}) {
        VertexSet(scratch, point[0], point[1], point[2]);
        VertexTransform(scratch, displayToGeometry);
        point[0] = scratch->x;
        point[1] = scratch->y;
        point[2] = scratch->z;
    }
    ViewportNormalize(copy);
}

// The scratch viewport outlives the test: it must not point at a drawing that may go first.
void LetGoOfDrawing(ViewportStruct* scratch) {
    if (scratch) ViewportSetDrawing(scratch, nullptr);
}

// Whether the parallel view looks straight along one of the handle's axes that disable it.
bool ViewsAlongDisabledAxis(const GHandle* handle, const MatrixStruct* view) {
    const MatrixStruct* axes = handle->mHandleWorld ? handle->mHandleWorld : &IdentityMatrix;
    const uint32_t flags[3] = {handle->Disable_if_view_by_x, handle->Disable_if_view_by_y,
                               handle->Disable_if_view_by_z};
    // The viewing direction in world coordinates is the view matrix's third row in
    // column-vector algebra: elements 2, 6, 10.
    const double* v = view->m;
    for (int axis = 0; axis < 3; ++axis) {
        if (!flags[axis]) continue;
        const double* a = &axes->m[4 * axis];
        const double c = VectorCosine(v[2], v[6], v[10], a[0], a[1], a[2]);
        if (DoubleVsDouble(std::fabs(c), 1.0) == 0) return true;
    }
    return false;
}

} // namespace

int PickApertureForScreenWidth(int width) {
    if (width < 700) return 3;
    if (width < 1100) return 4;
    if (width < 1900) return 6;
    if (width < 2500) return 8;
    return 5;
}

int DefaultPickAperture() {
    if (CachedDefaultAperture == 0)
        CachedDefaultAperture = PickApertureForScreenWidth(GetSystemMetrics(0));
    return CachedDefaultAperture;
}

bool GHandlePart::IsViewDependent() const {
    return Primitive && !MatrixIsIdentity(ViewMatrix);
}

bool GHandlePart::PartHitTest(ViewportStruct* vp, double x, double y, double z,
                              double* facetDistance, double* distance, int aperture) {
    PickViewTracker tracker;
    const PickView view =
        tracker.Read(vp, x, y, z, aperture < 0 ? DefaultPickAperture() : aperture);
    return PartHitTest(view, x, y, z, facetDistance, distance);
}

bool GHandlePart::PartNearCursor(const PickView& view) {
    if (!view.culls) return true;
    ScreenBox box;
    return !PartScreenBox(view, &box) || CursorNear(view, box);
}

bool GHandlePart::PartScreenBox(const PickView& view, ScreenBox* box) {
    PartSettle();
    if (ScreenGeneration != view.generation) {
        ScreenKnown = DisplayedScreenBox(view, &Screen);
        ScreenGeneration = view.generation;
    }
    *box = Screen;
    return ScreenKnown;
}

// The box of what is drawn: the working copy's extents, through the view-dependent scale when
// the host applies one.
bool GHandlePart::DisplayedScreenBox(const PickView& view, ScreenBox* box) const {
    if (!ExtentsValid(Extents)) return false;
    const double low[3] = {ExtentsGetX1(Extents), ExtentsGetY1(Extents), ExtentsGetZ1(Extents)};
    const double high[3] = {ExtentsGetX2(Extents), ExtentsGetY2(Extents), ExtentsGetZ2(Extents)};
    return ProjectBox(view, IsViewDependent() ? GeometryToDisplay : nullptr, low, high, box);
}

bool GHandlePart::PartHitTest(const PickView& view, double x, double y, double z,
                              double* facetDistance, double* distance) {
    if (facetDistance) *facetDistance = -1.0;
    if (distance) *distance = -1.0;
    ViewportStruct* vp = view.viewport;
    if (!PartIsDisplayable() || !vp || !view.view) return false;
    PartSettle();
    if (!PartNearCursor(view)) return false;
    VertexSet(CursorPoint, x, y, z);
    const bool perspective = view.perspective;
    const bool viewDependent = IsViewDependent();
    ViewportStruct* privateViewport = nullptr;
    if (viewDependent) {
        if (perspective) {
            privateViewport = view.tracker ? view.tracker->ScratchViewport() : nullptr;
            if (!privateViewport) return false;
            PlaceCameraInGeometryFrame(vp, DisplayToGeometry, ProbePoint, privateViewport);
            vp = privateViewport;
        } else {
            VertexTransform(CursorPoint, DisplayToGeometry);
        }
    }
    const MatrixStruct* matrix = privateViewport ? ViewportGetMatrix(vp) : view.view;
    if (!matrix) {
        LetGoOfDrawing(privateViewport);
        return false;
    }
    if (perspective)
        VertexAssign(CursorPoint, &ProbePoint);
    else
        CSystemUserToViewportEx(vp, 0, CursorPoint, ProbePoint);

    double tolerance = view.tolerance;
    if (privateViewport) {
        const double tx = ViewportDistanceWtoE(vp, view.aperture, 'X');
        const double ty = ViewportDistanceWtoE(vp, view.aperture, 'Y');
        tolerance = tx > ty ? tx : ty;
    }
    if (viewDependent) tolerance /= perspective ? PerspectiveScaledToleranceDivisor : ViewScale;

    double facet = -1.0;
    double plain = -1.0;
    const double savedEpsilon = vp->perspectivePickEpsilon;
    if (perspective) vp->perspectivePickEpsilon = PerspectivePickEpsilon;
    void* zero = nullptr;
    facet = ClosestFacetDistance(Geometry, ProbePoint, matrix, HitPoint, PickGraphic, &zero,
                                 2 * tolerance, DistanceQueryFlags, 0, 1, vp);
    if (facetDistance) *facetDistance = facet;
    if (facet < 0) {
        if (perspective) vp->perspectivePickEpsilon = PerspectivePickEpsilon;
        plain = GraphicGetDistanceEx2(Geometry, ProbePoint, matrix, HitPoint, PickGraphic, &zero,
                                      2 * tolerance, DistanceQueryFlags, 0, 1, vp);
        if (distance) *distance = plain;
        if (plain >= 0) VertexBackOrthoTransform(HitPoint, matrix);
    }
    if (perspective) vp->perspectivePickEpsilon = savedEpsilon;

    const bool hit = facet >= 0 || plain >= 0;
    if (hit && viewDependent) VertexTransform(HitPoint, GeometryToDisplay);
    LetGoOfDrawing(privateViewport);
    return hit;
}

} // namespace tiller

tiller::GHandlePart* GHandle::PartToHitTest(const tiller::PickView& view) {
    using namespace tiller;
    GHandlePart* mouseover = parts[SlotMouseover];
    if (!mouseover || !mouseover->PartIsDisplayable() || DisableMask != 0 || !view.view)
        return nullptr;
    GHandlePart* tested = HoverTestedPart();
    if (!tested || !tested->PartNearCursor(view)) return nullptr;
    if (!view.perspective && ViewsAlongDisabledAxis(this, view.view)) return nullptr;
    return tested;
}
