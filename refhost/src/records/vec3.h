// The small vector algebra of the reference host: points and directions, and the columns of
// its matrices (m[4c .. 4c + 2] is the image of axis c, or the translation for c = 3).
#ifndef KORVEX_VEC3_H
#define KORVEX_VEC3_H

#include "tiller/host/korvex.h"

#include <cmath>

namespace korvex {

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator-(Vec3 a) {
    return {-a.x, -a.y, -a.z};
}
inline Vec3 operator*(Vec3 a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline Vec3 operator*(double s, Vec3 a) {
    return a * s;
}
inline double dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(Vec3 a) {
    return std::sqrt(dot(a, a));
}
// The unit vector along a; a itself when it has no length.
inline Vec3 normalized(Vec3 a) {
    const double l = length(a);
    return l > 0 ? a * (1.0 / l) : a;
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
