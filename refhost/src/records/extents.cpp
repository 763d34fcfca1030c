// Axis-aligned boxes of the drawing database. A valid box keeps x1 <= x2, y1 <= y2, z1 <= z2;
// an empty box answers 0 for every coordinate.
#include "records.h"

#include <algorithm>
#include <cfloat>

namespace {

double coordinateOf(const ExtentsStruct* e, double ExtentsStruct::*field) {
    return e && e->valid ? e->*field : 0.0;
}

} // namespace

KORVEX_API ExtentsStruct* ExtentsNewEx() {
    return korvex::newRecord<ExtentsStruct>(KvExtents);
}

// A null source empties the destination.
KORVEX_API void ExtentsCopyFrom(ExtentsStruct* dst, const ExtentsStruct* src) {
    if (dst) *dst = src ? *src : ExtentsStruct{};
}

KORVEX_API void ExtentsDispose(ExtentsStruct** e) {
    if (!e) return;
    korvex::deleteRecord(KvExtents, *e);
    *e = nullptr;
}

KORVEX_API int ExtentsValid(const ExtentsStruct* e) {
    return e && e->valid;
}

// The corners may be given in any order.
KORVEX_API void ExtentsSet(ExtentsStruct* e, double x1, double y1, double z1, double x2, double y2,
                           double z2) {
    if (!e) return;
    *e = ExtentsStruct{true,
                       std::min(x1, x2),
                       std::min(y1, y2),
                       std::min(z1, z2),
                       std::max(x1, x2),
                       std::max(y1, y2),
                       std::max(z1, z2)};
}

// An empty box stays empty; a null matrix is the identity.
KORVEX_API void ExtentsTransform(ExtentsStruct* e, const MatrixStruct* m) {
    if (!e || !e->valid || !m) return;
    double lo[3] = {DBL_MAX, DBL_MAX, DBL_MAX}, hi[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
    for (int corner = 0; corner < 8; ++corner) {
        double p[3] = {corner & 1 ? e->x2 : e->x1, corner & 2 ? e->y2 : e->y1,
                       corner & 4 ? e->z2 : e->z1};
        korvex::mapPoint(*m, p[0], p[1], p[2]);
        for (int axis = 0; axis < 3; ++axis) {
            lo[axis] = std::min(lo[axis], p[axis]);
            hi[axis] = std::max(hi[axis], p[axis]);
        }
    }
    ExtentsSet(e, lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
}

KORVEX_API double ExtentsGetX1(const ExtentsStruct* e) {
    return coordinateOf(e, &ExtentsStruct::x1);
}
KORVEX_API double ExtentsGetY1(const ExtentsStruct* e) {
    return coordinateOf(e, &ExtentsStruct::y1);
}
KORVEX_API double ExtentsGetZ1(const ExtentsStruct* e) {
    return coordinateOf(e, &ExtentsStruct::z1);
}
KORVEX_API double ExtentsGetX2(const ExtentsStruct* e) {
    return coordinateOf(e, &ExtentsStruct::x2);
}
KORVEX_API double ExtentsGetY2(const ExtentsStruct* e) {
    return coordinateOf(e, &ExtentsStruct::y2);
}
KORVEX_API double ExtentsGetZ2(const ExtentsStruct* e) {
    return coordinateOf(e, &ExtentsStruct::z2);
}
