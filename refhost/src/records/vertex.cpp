// Free-standing vertices of the drawing database. Copies never carry list links.
#include "records.h"

#include <cmath>

namespace {

VertexStruct* newVertex(double x, double y, double z) {
    VertexStruct* v = korvex::newRecord<VertexStruct>(KvVertex);
    if (v) *v = VertexStruct{x, y, z, nullptr, nullptr};
    return v;
}

} // namespace

KORVEX_API VertexStruct* VertexNewEx(double x, double y, double z) {
    return newVertex(x, y, z);
}

KORVEX_API VertexStruct* VertexNewFromEx(const VertexStruct* v) {
    return v ? newVertex(v->x, v->y, v->z) : newVertex(0, 0, 0);
}

KORVEX_API VertexStruct* VertexCopy(const VertexStruct* v, const MatrixStruct* m) {
    if (!v) return nullptr;
    VertexStruct* copy = newVertex(v->x, v->y, v->z);
    if (copy && m) korvex::mapPoint(*m, copy->x, copy->y, copy->z);
    return copy;
}

KORVEX_API void VertexSet(VertexStruct* v, double x, double y, double z) {
    if (!v) return;
    v->x = x;
    v->y = y;
    v->z = z;
}

KORVEX_API void VertexDispose(VertexStruct** v) {
    if (!v) return;
    korvex::deleteRecord(KvVertex, *v);
    *v = nullptr;
}

// Each coordinate within 1e-9; two nulls are equal, a null and a vertex are not.
KORVEX_API int VertexEqual(const VertexStruct* a, const VertexStruct* b) {
    if (!a || !b) return a == b;
    return std::fabs(a->x - b->x) <= 1e-9 && std::fabs(a->y - b->y) <= 1e-9 &&
           std::fabs(a->z - b->z) <= 1e-9;
}

KORVEX_API void VertexTransform(VertexStruct* v, const MatrixStruct* m) {
    if (v && m) korvex::mapPoint(*m, v->x, v->y, v->z);
}

// Applies the exact inverse, which for the orthogonal matrices it is meant for is the
// transposed rotation; a singular m leaves v unchanged.
KORVEX_API void VertexBackOrthoTransform(VertexStruct* v, const MatrixStruct* m) {
    MatrixStruct inverse;
    if (v && m && korvex::invertAffine(*m, &inverse)) korvex::mapPoint(inverse, v->x, v->y, v->z);
}
