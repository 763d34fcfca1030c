// Near-equality checks of points and host matrices for expected values worked out with the
// host's point arithmetic (korvex/math.h).
#ifndef TILLER_TESTS_SUPPORT_MATH3D_H
#define TILLER_TESTS_SUPPORT_MATH3D_H

#include "korvex/math.h"

#include <gtest/gtest.h>

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
