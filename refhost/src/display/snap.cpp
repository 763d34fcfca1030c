// Snapping a drag matrix as a CAD host does it: the host recognises the kind of transformation
// the drag produced (a translation, a rotation about a fixed point or a scale about a fixed
// point) and rounds its one free quantity per axis to the user's step, keeping everything else.
#include "display_records.h"
#include "korvex/session.h"

#include <algorithm>
#include <cmath>

namespace korvex {

namespace {

// Drag matrices come out of a handful of products of exact matrices: anything within this of
// the recognised form is taken as that form.
constexpr double Tolerance = 1e-9;

// x to the nearest multiple of step, halves away from zero (the same both ways round, so a
// rotation snaps alike about an axis and its opposite).
double toStep(double x, double step) {
    const double q = x / step;
    return std::copysign(std::floor(std::fabs(q) + 0.5), q) * step;
}

double component(Vec3 v, int i) {
    return i == 0 ? v.x : i == 1 ? v.y : v.z;
}

// The frame with unit axes, so that components along it are drawing units; false when an axis
// has no length or the axes span no space.
bool unitFrame(const MatrixStruct* frame, MatrixStruct* unit, MatrixStruct* inverse) {
    *unit = frame ? *frame : identityMatrix();
    for (int c = 0; c < 3; ++c) {
        const Vec3 axis = column(*unit, c);
        if (length(axis) <= Tolerance) return false;
        setColumn(*unit, c, normalized(axis));
    }
    return invertAffine(*unit, inverse);
}

// Elements i, j of the 3x3 linear part, row i and column j in column-vector algebra.
double linear(const MatrixStruct& m, int i, int j) {
    return m.m[4 * j + i];
}

bool linearIsIdentity(const MatrixStruct& m) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (std::fabs(linear(m, i, j) - (i == j ? 1.0 : 0.0)) > Tolerance) return false;
    return true;
}

MatrixStruct rotationAbout(Vec3 a, double angle) {
    const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    MatrixStruct r = identityMatrix();
    setColumn(r, 0, {t * a.x * a.x + c, t * a.x * a.y + s * a.z, t * a.x * a.z - s * a.y});
    setColumn(r, 1, {t * a.x * a.y - s * a.z, t * a.y * a.y + c, t * a.y * a.z + s * a.x});
    setColumn(r, 2, {t * a.x * a.z + s * a.y, t * a.y * a.z - s * a.x, t * a.z * a.z + c});
    return r;
}

bool snapTranslation(const MatrixStruct& drag, const MatrixStruct& frame,
                     const MatrixStruct& toFrame, double step, MatrixStruct* out) {
    if (!linearIsIdentity(drag)) return false;
    const Vec3 t = transformVector(toFrame, column(drag, 3));
    *out = identityMatrix();
    setColumn(*out, 3,
              transformVector(frame, {toStep(t.x, step), toStep(t.y, step), toStep(t.z, step)}));
    return true;
}

// The unit axis of a proper rotation r by `angle` (0..pi). Towards a half turn the skew part
// vanishes, so the axis is read from the symmetric part, its sign from the skew part.
Vec3 rotationAxis(const MatrixStruct& r, double angle) {
    const Vec3 skew{linear(r, 2, 1) - linear(r, 1, 2), linear(r, 0, 2) - linear(r, 2, 0),
                    linear(r, 1, 0) - linear(r, 0, 1)};
    if (angle < M_PI / 2) return normalized(skew);
    // (R + R^T) / 2 - cos(angle) I = (1 - cos(angle)) a a^T: its largest column lies along a.
    int k = 0;
    for (int i = 1; i < 3; ++i)
        if (linear(r, i, i) > linear(r, k, k)) k = i;
    double a[3];
    for (int i = 0; i < 3; ++i)
        a[i] = (linear(r, i, k) + linear(r, k, i)) / 2 - (i == k ? std::cos(angle) : 0.0);
    const Vec3 axis = normalized({a[0], a[1], a[2]});
    return dot(axis, skew) < 0 ? -axis : axis;
}

bool snapRotation(const MatrixStruct& drag, double stepRadians, MatrixStruct* out) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const double product = dot(column(drag, i), column(drag, j));
            if (std::fabs(product - (i == j ? 1.0 : 0.0)) > Tolerance) return false;
        }
    const Vec3 x = column(drag, 0), y = column(drag, 1), z = column(drag, 2);
    if (dot(cross(x, y), z) < 0) return false; // a mirror, not a rotation
    const Vec3 t = column(drag, 3);
    const double trace = linear(drag, 0, 0) + linear(drag, 1, 1) + linear(drag, 2, 2);
    const double angle = std::acos(std::clamp((trace - 1) / 2, -1.0, 1.0));
    const double slack = Tolerance * (1 + length(t));
    if (angle <= Tolerance) {
        if (length(t) > slack) return false;
        *out = identityMatrix();
        return true;
    }
    const Vec3 a = rotationAxis(drag, angle);
    if (std::fabs(dot(t, a)) > slack) return false; // a screw, not a turn about a point
    // The fixed point nearest the origin: (I - R) p = t solved in the plane across the axis.
    const Vec3 p = t * 0.5 + cross(a, t) * (0.5 / std::tan(angle / 2));
    *out = rotationAbout(a, toStep(angle, stepRadians));
    setColumn(*out, 3, p - transformVector(*out, p));
    return true;
}

bool snapScale(const MatrixStruct& drag, const MatrixStruct& frame, const MatrixStruct& toFrame,
               double step, MatrixStruct* out) {
    const MatrixStruct local = compose(toFrame, compose(drag, frame));
    const Vec3 t = column(local, 3);
    const double slack = Tolerance * (1 + length(t));
    MatrixStruct snapped = identityMatrix();
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            if (i != j && std::fabs(linear(local, i, j)) > Tolerance) return false;
        const double f = linear(local, i, i), ti = component(t, i);
        if (std::fabs(f - 1) <= Tolerance) {
            if (std::fabs(ti) > slack) return false; // moved along an axis it does not scale
            continue;
        }
        const double fixed = ti / (1 - f), g = 1 + toStep(f - 1, step);
        snapped.m[5 * i] = g;
        snapped.m[12 + i] = (1 - g) * fixed;
    }
    *out = compose(frame, compose(snapped, toFrame));
    return true;
}

} // namespace

} // namespace korvex

KORVEX_API int kvSnapDragMatrix(const MatrixStruct* drag, const MatrixStruct* frame,
                                const KvSnapSteps* steps, MatrixStruct* out) {
    using namespace korvex;
    if (!drag || !out) return 0;
    *out = *drag;
    MatrixStruct unit, toUnit, snapped;
    if (!steps || !unitFrame(frame, &unit, &toUnit)) return 0;
    const bool done =
        (steps->move > 0 && snapTranslation(*drag, unit, toUnit, steps->move, &snapped)) ||
        (steps->rotateDegrees > 0 &&
         snapRotation(*drag, steps->rotateDegrees * M_PI / 180, &snapped)) ||
        (steps->scale > 0 && snapScale(*drag, unit, toUnit, steps->scale, &snapped));
    if (done) *out = snapped;
    return done ? 1 : 0;
}
