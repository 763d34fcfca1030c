// Matrices of the drawing database. m[0..2], m[4..6], m[8..10] are the images of the unit axes,
// m[12..14] the translation: element (row r, column c) of the column-vector matrix is m[4c + r].
// Every matrix handed to a caller is a counted record; intermediate results are plain values.
#include "records.h"
#include "tiller/host/compose.h"
#include "vec3.h"

#include <algorithm>
#include <cmath>

namespace {

using korvex::column;
using korvex::cross;
using korvex::dot;
using korvex::length;
using korvex::setColumn;
using korvex::Vec3;

Vec3 pointOf(const VertexStruct* v) {
    return v ? Vec3{v->x, v->y, v->z} : Vec3{0, 0, 0};
}
// An affine matrix from its three axis images and its translation.
MatrixStruct frameMatrix(Vec3 x, Vec3 y, Vec3 z, Vec3 origin) {
    MatrixStruct m = korvex::IdentityMatrix;
    setColumn(m, 0, x);
    setColumn(m, 1, y);
    setColumn(m, 2, z);
    setColumn(m, 3, origin);
    return m;
}

MatrixStruct translationMatrix(Vec3 t) {
    MatrixStruct m = korvex::IdentityMatrix;
    setColumn(m, 3, t);
    return m;
}

// The linear matrix `linear` made to act about `center` instead of the origin.
MatrixStruct aboutCenter(MatrixStruct linear, const VertexStruct* center) {
    const Vec3 c = pointOf(center);
    const Vec3 moved = {linear.m[0] * c.x + linear.m[4] * c.y + linear.m[8] * c.z,
                        linear.m[1] * c.x + linear.m[5] * c.y + linear.m[9] * c.z,
                        linear.m[2] * c.x + linear.m[6] * c.y + linear.m[10] * c.z};
    setColumn(linear, 3, c - moved);
    return linear;
}

MatrixStruct* newMatrix(const MatrixStruct& value) {
    MatrixStruct* m = korvex::newRecord<MatrixStruct>(KvMatrix);
    if (m) *m = value;
    return m;
}

// Writes into `target` when given, else makes a new record.
MatrixStruct* deliver(MatrixStruct* target, const MatrixStruct& value) {
    if (!target) return newMatrix(value);
    *target = value;
    return target;
}

// A unit vector perpendicular to the unit vector a.
Vec3 anyPerpendicular(Vec3 a) {
    const Vec3 helper = std::fabs(a.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
    const Vec3 p = cross(a, helper);
    return (1.0 / length(p)) * p;
}

// The right-handed orthonormal frame closest to the linear block by Gram-Schmidt: X along the
// first axis, Y the second axis without its X part, Z = X x Y. Degenerate axes are replaced
// by perpendicular directions so that a rotation always comes out.
void orthonormalize(const MatrixStruct& m, Vec3& x, Vec3& y, Vec3& z) {
    const Vec3 a0 = column(m, 0), a1 = column(m, 1);
    const double l0 = length(a0);
    x = l0 > 0 ? (1.0 / l0) * a0 : Vec3{1, 0, 0};
    const Vec3 rest = a1 - dot(a1, x) * x;
    const double l1 = length(rest);
    y = l1 > 1e-12 * length(a1) && l1 > 0 ? (1.0 / l1) * rest : anyPerpendicular(x);
    z = cross(x, y);
}

bool withinTolerance(double a, double b, double tolerance) {
    return std::fabs(a - b) <= tolerance * std::max({1.0, std::fabs(a), std::fabs(b)});
}

// A new vertex for an optional output; false when the record cannot be made.
bool makeVertexOutput(VertexStruct** out, VertexStruct*& made) {
    made = nullptr;
    if (!out) return true;
    made = korvex::newRecord<VertexStruct>(KvVertex);
    return made != nullptr;
}

void setVertex(VertexStruct* v, Vec3 p) {
    v->x = p.x;
    v->y = p.y;
    v->z = p.z;
}

} // namespace

namespace korvex {

const MatrixStruct IdentityMatrix = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

const MatrixStruct& orIdentity(const MatrixStruct* m) {
    return m ? *m : IdentityMatrix;
}

MatrixStruct identityMatrix() {
    return IdentityMatrix;
}

MatrixStruct compose(const MatrixStruct& a, const MatrixStruct& b) {
    return ComposeMatrices(a, b);
}

// Singular means a zero or non-finite determinant, or axes so nearly dependent that the
// determinant is below 1e-14 of the product of the axis lengths (the largest it can be).
bool invertAffine(const MatrixStruct& m, MatrixStruct* out) {
    const Vec3 c0 = column(m, 0), c1 = column(m, 1), c2 = column(m, 2);
    const double det = dot(c0, cross(c1, c2));
    const double bound = length(c0) * length(c1) * length(c2);
    if (!std::isfinite(det) || det == 0 || std::fabs(det) <= 1e-14 * bound) return false;
    const Vec3 rows[3] = {(1 / det) * cross(c1, c2), (1 / det) * cross(c2, c0),
                          (1 / det) * cross(c0, c1)};
    const Vec3 t = column(m, 3);
    MatrixStruct inverse = IdentityMatrix;
    for (int r = 0; r < 3; ++r) {
        inverse.m[r] = rows[r].x;
        inverse.m[4 + r] = rows[r].y;
        inverse.m[8 + r] = rows[r].z;
        inverse.m[12 + r] = -dot(rows[r], t);
    }
    *out = inverse;
    return true;
}

void mapPoint(const MatrixStruct& m, double& x, double& y, double& z) {
    const Vec3 p = transformPoint(m, {x, y, z});
    x = p.x;
    y = p.y;
    z = p.z;
}

} // namespace korvex

using korvex::compose;
using korvex::IdentityMatrix;
using korvex::orIdentity;

KORVEX_API MatrixStruct* MatrixNewEx() {
    return newMatrix(IdentityMatrix);
}

KORVEX_API MatrixStruct* MatrixCopyEx(const MatrixStruct* m) {
    return m ? newMatrix(*m) : nullptr;
}

KORVEX_API void MatrixDispose(MatrixStruct** m) {
    if (!m) return;
    korvex::deleteRecord(KvMatrix, *m);
    *m = nullptr;
}

KORVEX_API MatrixStruct* MatrixSingle() {
    return newMatrix(IdentityMatrix);
}

KORVEX_API int MatrixIsIdentity(const MatrixStruct* m) {
    if (!m) return 1;
    return std::equal(std::begin(m->m), std::end(m->m), std::begin(IdentityMatrix.m));
}

KORVEX_API int MatrixIsOrtho(const MatrixStruct* m) {
    if (!m) return 1;
    for (int i = 0; i < 3; ++i)
        for (int j = i; j < 3; ++j) {
            const double expected = i == j ? 1.0 : 0.0;
            if (std::fabs(dot(column(*m, i), column(*m, j)) - expected) > 1e-9) return 0;
        }
    return 1;
}

// Elements agree within 1e-12, relative to their size above 1 so that large translations
// compare as reliably as small ones.
KORVEX_API int MatrixEqual(const MatrixStruct* a, const MatrixStruct* b) {
    const MatrixStruct& x = orIdentity(a);
    const MatrixStruct& y = orIdentity(b);
    for (int i = 0; i < 16; ++i)
        if (!withinTolerance(x.m[i], y.m[i], 1e-12)) return 0;
    return 1;
}

KORVEX_API MatrixStruct* MatrixMatrixMultiplyEx(const MatrixStruct* a, const MatrixStruct* b) {
    if (!a && !b) return nullptr;
    return newMatrix(compose(orIdentity(a), orIdentity(b)));
}

KORVEX_API void MatrixMultiplyLeft(const MatrixStruct* a, MatrixStruct** m) {
    if (!m) return;
    if (!*m)
        *m = MatrixCopyEx(a);
    else
        **m = compose(orIdentity(a), **m);
}

KORVEX_API void MatrixMultiplyRight(MatrixStruct** m, const MatrixStruct* b) {
    if (!m) return;
    if (!*m)
        *m = MatrixCopyEx(b);
    else
        **m = compose(**m, orIdentity(b));
}

KORVEX_API MatrixStruct* MatrixOffsetEx(MatrixStruct* m, const VertexStruct* v) {
    return deliver(m, translationMatrix(pointOf(v)));
}

KORVEX_API MatrixStruct* MatrixRotateXEx(MatrixStruct* m, double angle,
                                         const VertexStruct* center) {
    const double c = std::cos(angle), s = std::sin(angle);
    const MatrixStruct rotation = frameMatrix({1, 0, 0}, {0, c, s}, {0, -s, c}, {0, 0, 0});
    return deliver(m, aboutCenter(rotation, center));
}

KORVEX_API MatrixStruct* MatrixRotateZEx(MatrixStruct* m, double angle,
                                         const VertexStruct* center) {
    const double c = std::cos(angle), s = std::sin(angle);
    const MatrixStruct rotation = frameMatrix({c, s, 0}, {-s, c, 0}, {0, 0, 1}, {0, 0, 0});
    return deliver(m, aboutCenter(rotation, center));
}

// A null factor vertex scales by 1 on every axis.
KORVEX_API MatrixStruct* MatrixScaleEx(MatrixStruct* m, const VertexStruct* f,
                                       const VertexStruct* center) {
    const Vec3 k = f ? pointOf(f) : Vec3{1, 1, 1};
    const MatrixStruct scaling = frameMatrix({k.x, 0, 0}, {0, k.y, 0}, {0, 0, k.z}, {0, 0, 0});
    return deliver(m, aboutCenter(scaling, center));
}

KORVEX_API MatrixStruct* MatrixOrthoInvertEx(const MatrixStruct* m) {
    MatrixStruct inverse;
    if (!m || !korvex::invertAffine(*m, &inverse)) return nullptr;
    return newMatrix(inverse);
}

// A null *m is the identity, which conjugation leaves the identity: nothing to do.
KORVEX_API void MatrixTranslateFromCS(MatrixStruct** m, const MatrixStruct* cs) {
    MatrixStruct inverse;
    if (!m || !*m || !cs || !korvex::invertAffine(*cs, &inverse)) return;
    **m = compose(*cs, compose(**m, inverse));
}

// The points define a plane unless b coincides with a or c lies on the line ab (the sine of
// the angle at a below 1e-9). *ok tells the geometry apart from the record: a plane whose
// record cannot be made answers null with *ok 1.
KORVEX_API MatrixStruct* MatrixPlaneTo(const VertexStruct* a, const VertexStruct* b,
                                       const VertexStruct* c, int* ok) {
    if (ok) *ok = 0;
    const Vec3 origin = pointOf(a);
    const Vec3 ab = pointOf(b) - origin, ac = pointOf(c) - origin;
    const double lab = length(ab), lac = length(ac);
    if (!(lab > 0) || !(lac > 0)) return nullptr;
    const Vec3 x = (1.0 / lab) * ab;
    const Vec3 normal = cross(x, ac);
    const double sine = length(normal) / lac;
    if (!(sine > 1e-9)) return nullptr;
    const Vec3 z = (1.0 / length(normal)) * normal;
    const Vec3 y = cross(z, x);
    // World into the plane system: the transpose of the frame's rotation, then the origin.
    const MatrixStruct toPlane = frameMatrix({x.x, y.x, z.x}, {x.y, y.y, z.y}, {x.z, y.z, z.z},
                                             {-dot(x, origin), -dot(y, origin), -dot(z, origin)});
    if (ok) *ok = 1;
    return newMatrix(toPlane);
}

// The scale factors are the frame's axis lengths along the rotation's axes, so that for a
// frame without shear, rotation after scaling by them gives back the linear block; a mirrored
// frame gets a negative Z factor.
KORVEX_API int MatrixSeparate(const MatrixStruct* frame, VertexStruct** translation,
                              VertexStruct** scale, MatrixStruct** rotation) {
    const MatrixStruct& f = orIdentity(frame);
    Vec3 x, y, z;
    orthonormalize(f, x, y, z);
    VertexStruct *t = nullptr, *s = nullptr;
    MatrixStruct* r = rotation ? newMatrix(frameMatrix(x, y, z, {0, 0, 0})) : nullptr;
    const bool made =
        (!rotation || r) && makeVertexOutput(translation, t) && makeVertexOutput(scale, s);
    if (!made) {
        korvex::deleteRecord(KvMatrix, r);
        korvex::deleteRecord(KvVertex, t);
        return 0;
    }
    if (t) setVertex(t, column(f, 3));
    if (s) setVertex(s, {length(column(f, 0)), dot(column(f, 1), y), dot(column(f, 2), z)});
    if (translation) *translation = t;
    if (scale) *scale = s;
    if (rotation) *rotation = r;
    return 1;
}

// A null origin is the world origin; a null axis end gives that unit axis.
KORVEX_API MatrixStruct* MatrixBasisFm(const VertexStruct* origin, const VertexStruct* xEnd,
                                       const VertexStruct* yEnd, const VertexStruct* zEnd) {
    const Vec3 o = pointOf(origin);
    const auto axis = [&](const VertexStruct* end, Vec3 unit) {
        return end ? pointOf(end) - o : unit;
    };
    return newMatrix(
        frameMatrix(axis(xEnd, {1, 0, 0}), axis(yEnd, {0, 1, 0}), axis(zEnd, {0, 0, 1}), o));
}

// Equal within 1e-9, absolutely for small values and relatively for large ones. NaN equals
// nothing and sorts above every number.
KORVEX_API int DoubleVsDouble(double a, double b) {
    if (a == b || withinTolerance(a, b, 1e-9)) return 0;
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) ? 1 : -1;
    return a < b ? -1 : 1;
}
