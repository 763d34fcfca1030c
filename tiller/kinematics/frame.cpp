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

int ViewPlaneImage(ViewportStruct* vp, const VertexStruct* p, VertexStruct* image) {
    const MatrixStruct* view = ViewportGetMatrix(vp);
    if (!view || !p) return 0;
    *image = Point(p->x, p->y, p->z);
    if (!ToNormalizedProjection(vp, view, image)) return 0;
    VertexBackOrthoTransform(image, view);
    return 1;
}

int AxisDragPlane(ViewportStruct* vp, const VertexStruct* a, const VertexStruct* b,
                  const VertexStruct* t, MatrixStruct* plane, bool* outOfRecords) {
    const MatrixStruct* view = ViewportGetMatrix(vp);
    if (!view) return 0;
    int ok = 0;
    HeldMatrix toPlane(MatrixPlaneTo(a, b, t, &ok));
    if (!ok) return 0;
    if (!toPlane) {
        *outOfRecords = true;
        return 0;
    }
    // The plane system maps world into plane coordinates; the drag plane is wanted the other
    // way round, turned a quarter about the axis so that it holds the normal of a, b, t.
    if (!MatrixInvertAffine(toPlane.address())) return 0;
    const VertexStruct origin = Point(0, 0, 0);
    MatrixStruct quarter;
    MatrixRotateXEx(&quarter, QuarterTurn, &origin);
    const MatrixStruct turned = MatrixProduct(toPlane.get(), &quarter);
    *plane = MatrixProduct(view, &turned);
    return 1;
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
                       std::initializer_list<VertexStruct*> projectedPoints, bool* outOfRecords) {
    VertexStruct image;
    MatrixStruct plane;
    if (!ViewPlaneImage(vp, sighted, &image) ||
        !AxisDragPlane(vp, a, b, &image, &plane, outOfRecords))
        return 0;
    const MatrixStruct* view = ViewportGetMatrix(vp);
    int all = 1;
    for (VertexStruct* p : worldPoints)
        all &= ProjectToDragPlane(vp, p, nullptr, &plane) ? 1 : 0;
    for (VertexStruct* p : projectedPoints)
        all &= ProjectToDragPlane(vp, p, view, &plane) ? 1 : 0;
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

void HandOverCopy(const MatrixStruct* result, HandleMatrixSlot* handleMatrix) {
    handleMatrix->matrix = *result;
    handleMatrix->given = true;
}

void AssignScaling(MatrixStruct* result, double fx, double fy, double fz,
                   const VertexStruct* anchor) {
    const VertexStruct factors = Point(fx, fy, fz);
    MatrixScaleEx(result, &factors, anchor);
}

} // namespace tiller
