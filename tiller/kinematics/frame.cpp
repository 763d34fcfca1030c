// The working frame shared by the drag routines.

#include "tiller/geometry/geometry.h"
#include "tiller/kinematics/routines.h"

#include <cmath>

namespace tiller {
namespace {
constexpr double QuarterTurn = 1.5707963267948966;
} // namespace

int ToNormalizedProjection(ViewportStruct* vp, const MatrixStruct* view, VertexStruct* p) {
    VertexTransform(p, view);
    p->z = -p->z;
    return ViewportNormalizeVertexProjection(vp, p);
}

int ViewPlaneImage(ViewportStruct* vp, const VertexStruct* p, VertexStruct** image) {
    *image = nullptr;
    const MatrixStruct* view = ViewportGetMatrix(vp);
    if (!view || !p) return 0;
    HeldVertex copy(VertexCopy(p, nullptr));
    if (!copy || !ToNormalizedProjection(vp, view, copy.get())) return 0;
    VertexBackOrthoTransform(copy.get(), view);
    *image = copy.Release();
    return 1;
}

MatrixStruct* AxisDragPlane(ViewportStruct* vp, const VertexStruct* a, const VertexStruct* b,
                            const VertexStruct* t, int* ok) {
    *ok = 0;
    const MatrixStruct* view = ViewportGetMatrix(vp);
    if (!view) return nullptr;
    HeldMatrix plane(MatrixPlaneTo(a, b, t, ok));
    if (!*ok || !plane) {
        *ok = 0;
        return nullptr;
    }
    // The plane system maps world into plane coordinates; the drag plane is wanted the other
    // way round, turned a quarter about the axis so that it holds the normal of a, b, t.
    HeldVertex origin(VertexNewEx(0, 0, 0));
    HeldMatrix quarter(origin ? MatrixRotateXEx(nullptr, QuarterTurn, origin.get()) : nullptr);
    if (!quarter || !MatrixInvertAffine(plane.address())) {
        *ok = 0;
        return nullptr;
    }
    MatrixMultiplyRight(plane.address(), quarter.get());
    MatrixMultiplyLeft(view, plane.address());
    return plane.Release();
}

int ProjectToDragPlane(ViewportStruct* vp, VertexStruct* p, const MatrixStruct* space,
                       const MatrixStruct* q) {
    const MatrixStruct* view = ViewportGetMatrix(vp);
    if (!view) return 0;
    const bool alreadyProjected = space && MatrixEqual(space, view);
    if (!alreadyProjected) {
        if (space && !MatrixIsIdentity(space)) VertexTransform(p, space);
        if (!ToNormalizedProjection(vp, view, p)) return 0;
    }
    return VertexProjectionOnPlane(vp, p, p, q, 0.0);
}

// Points that miss the plane would be measured in mixed coordinates (world against normalized
// projection) and make the selection jump; callers take a 0 here as "nothing measurable".
int ProjectOnAxisPlane(ViewportStruct* vp, const VertexStruct* a, const VertexStruct* b,
                       const VertexStruct* sighted,
                       std::initializer_list<VertexStruct*> worldPoints,
                       std::initializer_list<VertexStruct*> projectedPoints) {
    HeldVertex image;
    if (!ViewPlaneImage(vp, sighted, image.address())) return 0;
    int ok = 0;
    HeldMatrix plane(AxisDragPlane(vp, a, b, image.get(), &ok));
    if (!ok || !plane) return 0;
    const MatrixStruct* view = ViewportGetMatrix(vp);
    int all = 1;
    for (VertexStruct* p : worldPoints)
        all &= ProjectToDragPlane(vp, p, nullptr, plane.get()) ? 1 : 0;
    for (VertexStruct* p : projectedPoints)
        all &= ProjectToDragPlane(vp, p, view, plane.get()) ? 1 : 0;
    return all;
}

void ExpressInWorld(MatrixStruct** m, const MatrixStruct* frame, const MatrixStruct* placement) {
    if (!MatrixIsIdentity(frame)) MatrixTranslateFromCS(m, frame);
    if (!MatrixIsIdentity(placement)) MatrixTranslateFromCS(m, placement);
}

double ProjectedRatio(double cx, double cy, double dx, double dy) {
    const bool flatX = std::fabs(cx) <= GeomEpsilon;
    const bool flatY = std::fabs(cy) <= GeomEpsilon;
    if (flatX && flatY) return 1.0;
    if (flatY) return dx / cx;
    if (flatX) return dy / cy;
    return (cx * dx + cy * dy) / (cx * cx + cy * cy);
}

int FailDrag(MatrixStruct* result, MatrixStruct** handleMatrix) {
    if (result) MatrixSetIdentity(result);
    ClearHandleMatrix(handleMatrix);
    return 0;
}

void ClearHandleMatrix(MatrixStruct** handleMatrix) {
    if (handleMatrix && *handleMatrix) MatrixDispose(handleMatrix);
}

void HandOverCopy(const MatrixStruct* result, MatrixStruct** handleMatrix) {
    *handleMatrix = MatrixCopyEx(result);
}

int AssignScaling(MatrixStruct** result, double fx, double fy, double fz,
                  const VertexStruct* anchor) {
    HeldVertex factors(VertexNewEx(fx, fy, fz));
    HeldMatrix scaling(factors ? MatrixScaleEx(nullptr, factors.get(), anchor) : nullptr);
    return scaling && MatrixAssign(scaling.get(), result);
}

} // namespace tiller
