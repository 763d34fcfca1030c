// Points and the plain arithmetic on them that tools, tests and host applications need around
// the host's matrices: one point type with its operators, and affine matrices as the host
// stores them (column-major, x' = m0 x + m4 y + m8 z + m12; m[4c .. 4c + 2] is the image of
// axis c, or the translation for c = 3).
#ifndef KORVEX_MATH_H
#define KORVEX_MATH_H

#include "tiller/host/korvex.h"

#include <cmath>

struct KvPoint {
    double x = 0, y = 0, z = 0;
};

inline KvPoint operator+(KvPoint a, KvPoint b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline KvPoint operator-(KvPoint a, KvPoint b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline KvPoint operator-(KvPoint a) {
    return {-a.x, -a.y, -a.z};
}
inline KvPoint operator*(KvPoint a, double k) {
    return {a.x * k, a.y * k, a.z * k};
}
inline KvPoint operator*(double k, KvPoint a) {
    return a * k;
}
inline bool operator==(KvPoint a, KvPoint b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}
inline double Dot(KvPoint a, KvPoint b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline KvPoint Cross(KvPoint a, KvPoint b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(KvPoint a) {
    return std::sqrt(Dot(a, a));
}
// The unit vector along a; a itself when it has no length.
inline KvPoint Unit(KvPoint a) {
    const double l = Length(a);
    return l > 0 ? a * (1 / l) : a;
}
inline KvPoint PointOf(const VertexStruct& v) {
    return {v.x, v.y, v.z};
}

// The image of point p under m.
inline KvPoint Apply(const MatrixStruct& m, KvPoint p) {
    return {m.m[0] * p.x + m.m[4] * p.y + m.m[8] * p.z + m.m[12],
            m.m[1] * p.x + m.m[5] * p.y + m.m[9] * p.z + m.m[13],
            m.m[2] * p.x + m.m[6] * p.y + m.m[10] * p.z + m.m[14]};
}
// The matrix with the given axis images and origin.
inline MatrixStruct Frame(KvPoint x, KvPoint y, KvPoint z, KvPoint origin = {0, 0, 0}) {
    return {
        {x.x, x.y, x.z, 0, y.x, y.y, y.z, 0, z.x, z.y, z.z, 0, origin.x, origin.y, origin.z, 1}};
}
inline MatrixStruct Translation(KvPoint t) {
    return Frame({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, t);
}
inline MatrixStruct Translation(double x, double y, double z) {
    return Translation(KvPoint{x, y, z});
}
inline const MatrixStruct Identity = Translation({0, 0, 0});

#endif
