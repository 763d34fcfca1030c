#include "tiller/geometry/geometry.h"
#include "tiller/host/compose.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace tiller {
namespace {

bool IsZero(double value) {
    return std::fabs(value) <= GeomEpsilon;
}

// Determinant of the 3x3 array whose rows are a, b and c.
double Determinant3(const double* a, const double* b, const double* c) {
    return a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
           a[2] * (b[0] * c[1] - b[1] * c[0]);
}

struct BoxSize {
    double dx, dy, dz;
};

BoxSize SizeOf(const ExtentsStruct* e) {
    return {std::fabs(ExtentsGetX2(e) - ExtentsGetX1(e)),
            std::fabs(ExtentsGetY2(e) - ExtentsGetY1(e)),
            std::fabs(ExtentsGetZ2(e) - ExtentsGetZ1(e))};
}

bool IsUsableBox(const ExtentsStruct* e) {
    return e && ExtentsValid(e);
}

} // namespace

double VertexDistance(const VertexStruct* a, const VertexStruct* b) {
    return VectorLength(b->x - a->x, b->y - a->y, b->z - a->z);
}

double VectorLength(double x, double y, double z) {
    return std::sqrt(x * x + y * y + z * z);
}

double VectorCosine(double ax, double ay, double az, double bx, double by, double bz) {
    const double la = VectorLength(ax, ay, az);
    const double lb = VectorLength(bx, by, bz);
    if (la <= GeomEpsilon || lb <= GeomEpsilon) return 1.0;
    const double c = (ax * bx + ay * by + az * bz) / (la * lb);
    return std::clamp(c, -1.0, 1.0);
}

double SegmentCosine(const VertexStruct* a, const VertexStruct* b, const VertexStruct* c,
                     const VertexStruct* d) {
    return VectorCosine(b->x - a->x, b->y - a->y, b->z - a->z, d->x - c->x, d->y - c->y,
                        d->z - c->z);
}

double TriangleSignedArea(const VertexStruct* a, const VertexStruct* b, const VertexStruct* c) {
    return 0.5 * (a->x * (b->y - c->y) + b->x * (c->y - a->y) + c->x * (a->y - b->y));
}

double SafeAtan2(double y, double x) {
    if (y == 0.0 && x == 0.0) return 0.0;
    return std::atan2(y, x);
}

double RoundTo8(double x) {
    constexpr double scale = 100000000.0;
    if (x > 0) return std::floor(x * scale + 0.5) / scale;
    return std::ceil(x * scale - 0.5) / scale;
}

void MatrixSetIdentity(MatrixStruct* m) {
    if (!m || MatrixIsIdentity(m)) return;
    std::fill(std::begin(m->m), std::end(m->m), 0.0);
    m->m[0] = m->m[5] = m->m[10] = m->m[15] = 1.0;
}

MatrixStruct MatrixProduct(const MatrixStruct* a, const MatrixStruct* b) {
    return ComposeMatrices(a ? *a : IdentityMatrix, b ? *b : IdentityMatrix);
}

int MatrixHasNoTranslation(const MatrixStruct* m) {
    if (!m) return 1;
    return IsZero(m->m[12]) && IsZero(m->m[13]) && IsZero(m->m[14]) ? 1 : 0;
}

int MatrixAssign(const MatrixStruct* source, MatrixStruct** target) {
    if (!target) return 0;
    if (!source) {
        MatrixSetIdentity(*target);
        return 1;
    }
    if (!*target) {
        *target = MatrixNewEx();
        if (!*target) return 0;
    }
    std::memcpy((*target)->m, source->m, sizeof source->m);
    return 1;
}

int MatrixInvertAffine(MatrixStruct** matrix) {
    if (!matrix || !*matrix) return 0;
    double* m = (*matrix)->m;
    const double det = m[0] * m[5] * m[10] + m[4] * m[9] * m[2] + m[8] * m[1] * m[6] -
                       m[8] * m[5] * m[2] - m[4] * m[1] * m[10] - m[0] * m[9] * m[6];
    if (std::fabs(det) <= GeomEpsilon) return 0;

    const double* x = &m[0];
    const double* y = &m[4];
    const double* z = &m[8];
    const double* t = &m[12];
    double r[16];
    std::memcpy(r, m, sizeof r);
    r[0] = (m[5] * m[10] - m[9] * m[6]) / det;
    r[1] = -(m[1] * m[10] - m[9] * m[2]) / det;
    r[2] = (m[1] * m[6] - m[5] * m[2]) / det;
    r[4] = -(m[4] * m[10] - m[8] * m[6]) / det;
    r[5] = (m[0] * m[10] - m[8] * m[2]) / det;
    r[6] = -(m[0] * m[6] - m[4] * m[2]) / det;
    r[8] = (m[4] * m[9] - m[8] * m[5]) / det;
    r[9] = -(m[0] * m[9] - m[8] * m[1]) / det;
    r[10] = (m[0] * m[5] - m[4] * m[1]) / det;
    r[12] = -Determinant3(y, z, t) / det;
    r[13] = Determinant3(x, z, t) / det;
    r[14] = -Determinant3(x, y, t) / det;
    r[15] = 1.0;
    std::memcpy(m, r, sizeof r);
    return 1;
}

// The target keeps its own list links: a free-standing copy must not claim a place in the
// source's vertex list.
int VertexAssign(const VertexStruct* source, VertexStruct** target) {
    if (!target) return 0;
    if (!source) {
        if (*target) VertexSet(*target, 0, 0, 0);
        return 1;
    }
    if (!*target) {
        *target = VertexNewEx(0, 0, 0);
        if (!*target) return 0;
    }
    VertexSet(*target, source->x, source->y, source->z);
    return 1;
}

ExtentsStruct* CopyValidExtents(const ExtentsStruct* source) {
    if (!source || !ExtentsValid(source)) return nullptr;
    ExtentsStruct* copy = ExtentsNewEx();
    if (copy) ExtentsCopyFrom(copy, source);
    return copy;
}

int ExtentsIsPoint(const ExtentsStruct* e) {
    if (!IsUsableBox(e)) return 0;
    const BoxSize size = SizeOf(e);
    return IsZero(size.dx) && IsZero(size.dy) && IsZero(size.dz) ? 1 : 0;
}

int ExtentsIsFlat(const ExtentsStruct* e) {
    if (!IsUsableBox(e)) return 0;
    const BoxSize size = SizeOf(e);
    return IsZero(size.dx) || IsZero(size.dy) || IsZero(size.dz) ? 1 : 0;
}

int ExtentsCenter(const ExtentsStruct* e, double* x, double* y, double* z) {
    if (!IsUsableBox(e)) return 0;
    *x = (ExtentsGetX1(e) + ExtentsGetX2(e)) / 2;
    *y = (ExtentsGetY1(e) + ExtentsGetY2(e)) / 2;
    *z = (ExtentsGetZ1(e) + ExtentsGetZ2(e)) / 2;
    return 1;
}

int ExtentsCenterVertex(const ExtentsStruct* e, VertexStruct* v) {
    if (!v) return 0;
    double x = 0, y = 0, z = 0;
    if (!ExtentsCenter(e, &x, &y, &z)) return 0;
    VertexSet(v, x, y, z);
    return 1;
}

bool IsFinite(const MatrixStruct* m) {
    return !m || std::all_of(std::begin(m->m), std::end(m->m),
                             [](double value) { return std::isfinite(value); });
}

bool AllFinite(std::initializer_list<double> values) {
    return std::all_of(values.begin(), values.end(),
                       [](double value) { return std::isfinite(value); });
}

bool IsFinite(const VertexStruct* v) {
    return !v || (std::isfinite(v->x) && std::isfinite(v->y) && std::isfinite(v->z));
}

bool IsFinite(const ExtentsStruct* e) {
    if (!e) return true;
    for (double value : {ExtentsGetX1(e), ExtentsGetY1(e), ExtentsGetZ1(e), ExtentsGetX2(e),
                         ExtentsGetY2(e), ExtentsGetZ2(e)})
        if (!std::isfinite(value)) return false;
    return true;
}

int IsGroupGraphic(GraphicStruct* g) {
    return g && g->kind == GraphicKindGroup ? 1 : 0;
}

} // namespace tiller
