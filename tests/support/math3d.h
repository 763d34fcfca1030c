// Plain arithmetic for expected values: points as KvPoint, host matrices as the host stores
// them (column-major, x' = m0 x + m4 y + m8 z + m12), and near-equality checks.
#ifndef TILLER_TESTS_SUPPORT_MATH3D_H
#define TILLER_TESTS_SUPPORT_MATH3D_H

#include <cmath>

#include "korvex/view.h"

#include <gtest/gtest.h>

inline KvPoint operator+(KvPoint a, KvPoint b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline KvPoint operator-(KvPoint a, KvPoint b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline KvPoint operator*(KvPoint a, double k) {
    return {a.x * k, a.y * k, a.z * k};
}
inline double Dot(KvPoint a, KvPoint b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline KvPoint Cross(KvPoint a, KvPoint b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline KvPoint Unit(KvPoint a) {
    return a * (1 / std::sqrt(Dot(a, a)));
}

inline KvPoint Apply(const MatrixStruct& m, KvPoint p) {
    return {m.m[0] * p.x + m.m[4] * p.y + m.m[8] * p.z + m.m[12],
            m.m[1] * p.x + m.m[5] * p.y + m.m[9] * p.z + m.m[13],
            m.m[2] * p.x + m.m[6] * p.y + m.m[10] * p.z + m.m[14]};
}

// A frame with the given axis images and origin.
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
inline const MatrixStruct Identity = Translation(0, 0, 0);

inline KvPoint PointOf(const VertexStruct& v) {
    return {v.x, v.y, v.z};
}

inline void ExpectPointNear(const char* file, int line, KvPoint a, KvPoint b, double tol = 1e-9) {
    SCOPED_TRACE(testing::Message() << file << ":" << line);
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}
// EXPECT_POINT_NEAR(actual, expected[, tolerance]), naming the line of the check on failure.
#define EXPECT_POINT_NEAR(...) ExpectPointNear(__FILE__, __LINE__, __VA_ARGS__)

inline void ExpectMatrixNear(const MatrixStruct& a, const MatrixStruct& b, double tol = 1e-12) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a.m[i], b.m[i], tol) << "element " << i;
}

#endif
