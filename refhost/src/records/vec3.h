// The reference host's names for the public point arithmetic (korvex/math.h), and the columns of
// its matrices (m[4c .. 4c + 2] is the image of axis c, or the translation for c = 3).
#ifndef KORVEX_VEC3_H
#define KORVEX_VEC3_H

#include "korvex/math.h"

namespace korvex {

using Vec3 = KvPoint;

// The lower-case names the host's own sources use.
inline double dot(Vec3 a, Vec3 b) {
    return Dot(a, b);
}
inline Vec3 cross(Vec3 a, Vec3 b) {
    return Cross(a, b);
}
inline double length(Vec3 a) {
    return Length(a);
}
inline Vec3 normalized(Vec3 a) {
    return Unit(a);
}
inline Vec3 toVec3(const VertexStruct& v) {
    return {v.x, v.y, v.z};
}
inline Vec3 toVec3(const double p[3]) {
    return {p[0], p[1], p[2]};
}
inline Vec3 column(const MatrixStruct& m, int c) {
    return {m.m[4 * c], m.m[4 * c + 1], m.m[4 * c + 2]};
}
inline void setColumn(MatrixStruct& m, int c, Vec3 v) {
    m.m[4 * c] = v.x;
    m.m[4 * c + 1] = v.y;
    m.m[4 * c + 2] = v.z;
}

} // namespace korvex

#endif
