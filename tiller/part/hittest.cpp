// Hit testing: whether the cursor is over a handle, how near, and where. A part is asked first
// for the closest facet under the cursor (surfaces) and only when there is none for the
// distance to its edges within the pick aperture (curves). Parts that the host draws through a
// view-dependent scale are tested on their stored geometry: the cursor (parallel views) or a
// private copy of the camera (perspective views) is carried into the geometry's frame, and the
// point found is carried back.

// <cmath> comes first: tiller.h declares the library's own round.
#include <cmath>

#include "tiller/geometry/geometry.h"
#include "tiller/geometry/held.h"
#include "tiller/handle/ghandle.h"
#include "tiller/host/plinth.h"
#include "tiller/part/ghandlepart.h"

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

// A copy of the viewport whose camera is carried into the frame of the part's stored geometry:
// the view-dependent scale is uniform about a point, so the moved camera sees the stored
// geometry exactly as the real one sees the displayed part.
ViewportStruct* ViewportInGeometryFrame(ViewportStruct* vp, const MatrixStruct* displayToGeometry,
                                        VertexStruct* scratch) {
    ViewportStruct* copy = ViewportNewEx(0, 0);
    if (!copy) return nullptr;
    ViewportCopyFrom(vp, copy);
    ViewportSetDrawing(copy, ViewportGetDrawing(vp));
    ViewportNormalize(copy);
    CameraStruct* camera = ViewportGetCamera(copy);
    if (!camera) return copy;
    for (double* point : {camera->eye, camera->target}) {
        VertexSet(scratch, point[0], point[1], point[2]);
        VertexTransform(scratch, displayToGeometry);
        point[0] = scratch->x;
        point[1] = scratch->y;
        point[2] = scratch->z;
    }
    ViewportNormalize(copy);
    return copy;
}

// Whether the parallel view looks straight along one of the handle's axes that disable it.
bool ViewsAlongDisabledAxis(const GHandle* handle, const MatrixStruct* view) {
    static const MatrixStruct Identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    const MatrixStruct* axes = handle->mHandleWorld ? handle->mHandleWorld : &Identity;
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
    if (!PartIsDisplayable() || !vp) return false;
    if (aperture < 0) aperture = DefaultPickAperture();
    VertexSet(CursorPoint, x, y, z);
    const bool perspective = ViewportIsPerspective(vp) != 0;
    const bool viewDependent = IsViewDependent();
    ViewportStruct* privateViewport = nullptr;
    if (viewDependent) {
        if (perspective) {
            privateViewport = ViewportInGeometryFrame(vp, DisplayToGeometry, ProbePoint);
            if (!privateViewport) return false;
            vp = privateViewport;
        } else {
            VertexTransform(CursorPoint, DisplayToGeometry);
        }
    }
    if (perspective)
        VertexAssign(CursorPoint, &ProbePoint);
    else
        CSystemUserToViewportEx(vp, 0, CursorPoint, ProbePoint);
    const MatrixStruct* matrix = ViewportGetMatrix(vp);
    if (!matrix) {
        ViewportDispose(&privateViewport);
        return false;
    }

    const double tx = ViewportDistanceWtoE(vp, aperture, 'X');
    const double ty = ViewportDistanceWtoE(vp, aperture, 'Y');
    double tolerance = tx > ty ? tx : ty;
    if (viewDependent) tolerance /= perspective ? PerspectiveScaledToleranceDivisor : ViewScale;

    double facet = -1.0;
    double plain = -1.0;
    if (facetDistance) *facetDistance = -1.0;
    if (distance) *distance = -1.0;
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
    ViewportDispose(&privateViewport);
    return hit;
}

} // namespace tiller

bool GHandle::HandleHitTest(ViewportStruct* vp, double x, double y, double z, double* facetDistance,
                            double* distance, int aperture) {
    using namespace tiller;
    GHandlePart* mouseover = parts[SlotMouseover];
    if (!mouseover || !mouseover->PartIsDisplayable() || DisableMask != 0) return false;
    const MatrixStruct* view = ViewportGetMatrix(vp);
    if (!view) return false;
    if (!ViewportIsPerspective(vp) && ViewsAlongDisabledAxis(this, view)) return false;
    GHandlePart* tested = parts[SlotHighlightArea] ? parts[SlotHighlightArea] : parts[SlotMouseout];
    if (!tested) return false;
    return tested->PartHitTest(vp, x, y, z, facetDistance, distance, aperture);
}
