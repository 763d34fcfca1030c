// Geometry utilities at their tolerance boundaries, and the records they create.
#include "support/live_records.h"
#include "support/math3d.h"
#include "tiller/geometry/geometry.h"

#include <cmath>
#include <numbers>

using namespace tiller;

namespace {

MatrixStruct Affine(double sx, double sy, double sz, double tx, double ty, double tz) {
    MatrixStruct m{{sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, tx, ty, tz, 1}};
    return m;
}

class GeometryTest : public LiveRecordsTest {
  protected:
    void ReleaseAll() override {
        MatrixDispose(&matrix);
        VertexDispose(&vertex);
        ExtentsDispose(&box);
    }
    MatrixStruct* matrix = nullptr;
    VertexStruct* vertex = nullptr;
    ExtentsStruct* box = nullptr;
};

} // namespace

TEST(Geometry, CosinesStayInRangeAndTreatZeroLengthAsAligned) {
    EXPECT_EQ(VectorCosine(0, 0, 0, 1, 2, 3), 1.0);
    EXPECT_EQ(VectorCosine(1, 2, 3, 0, 0, 9e-8), 1.0);
    EXPECT_NEAR(VectorCosine(1, 2, 3, 0, 0, 2e-7), 3 / std::sqrt(14.0), 1e-12);
    // Unclamped, these parallel vectors give 1 + 2e-16.
    EXPECT_EQ(VectorCosine(-0.73, 0.69, 0.53, -0.73 * 2.6, 0.69 * 2.6, 0.53 * 2.6), 1.0);
    VertexStruct a{0, 0, 0, nullptr, nullptr}, b{-0.73, 0.69, 0.53, nullptr, nullptr};
    VertexStruct d{0.73 * 2.6, -0.69 * 2.6, -0.53 * 2.6, nullptr, nullptr};
    EXPECT_EQ(SegmentCosine(&a, &b, &a, &d), -1.0);
    EXPECT_NEAR(VertexDistance(&a, &b), VectorLength(-0.73, 0.69, 0.53), 1e-15);
}

TEST(Geometry, SignedAreaAndSafeAtan2) {
    VertexStruct a{0, 0, 7, nullptr, nullptr}, b{1, 0, -3, nullptr, nullptr};
    VertexStruct c{0, 1, 0, nullptr, nullptr};
    EXPECT_EQ(TriangleSignedArea(&a, &b, &c), 0.5);
    EXPECT_EQ(TriangleSignedArea(&a, &c, &b), -0.5);
    EXPECT_EQ(SafeAtan2(0.0, 0.0), 0.0);
    EXPECT_EQ(SafeAtan2(0.0, -1.0), std::numbers::pi);
    EXPECT_EQ(SafeAtan2(-1.0, 0.0), -std::numbers::pi / 2);
}

TEST_F(GeometryTest, InvertAffineRefusesTinyDeterminantsAndInvertsScaleWithTranslation) {
    matrix = MatrixNewEx();
    *matrix = Affine(1e-3, 1e-3, 1e-3, 1, 2, 3);
    EXPECT_EQ(MatrixInvertAffine(&matrix), 0);
    ExpectMatrixNear(*matrix, Affine(1e-3, 1e-3, 1e-3, 1, 2, 3));

    *matrix = Affine(2, 2, 2, 3, 4, 5);
    ASSERT_EQ(MatrixInvertAffine(&matrix), 1);
    ExpectMatrixNear(*matrix, Affine(0.5, 0.5, 0.5, -1.5, -2, -2.5));

    const MatrixStruct sheared{{1, 0.5, 0.2, 0, -0.3, 2, 0.1, 0, 0.4, -0.6, 3, 0, 7, -8, 9, 1}};
    *matrix = sheared;
    ASSERT_EQ(MatrixInvertAffine(&matrix), 1);
    MatrixStruct* product = MatrixMatrixMultiplyEx(matrix, &sheared);
    ExpectMatrixNear(*product, Affine(1, 1, 1, 0, 0, 0));
    MatrixDispose(&product);
}

TEST_F(GeometryTest, AssignCreatesCopiesOrResetsTheTarget) {
    const MatrixStruct source = Affine(2, 3, 4, 5, 6, 7);
    EXPECT_EQ(MatrixAssign(nullptr, &matrix), 1);
    EXPECT_EQ(matrix, nullptr);
    kvFailNthCreation(1);
    EXPECT_EQ(MatrixAssign(&source, &matrix), 0);
    EXPECT_EQ(matrix, nullptr);
    ASSERT_EQ(MatrixAssign(&source, &matrix), 1);
    ExpectMatrixNear(*matrix, source);
    EXPECT_EQ(MatrixHasNoTranslation(matrix), 0);
    EXPECT_EQ(MatrixAssign(nullptr, &matrix), 1);
    EXPECT_EQ(MatrixIsIdentity(matrix), 1);

    matrix->m[12] = 1e-7, matrix->m[13] = -1e-7;
    EXPECT_EQ(MatrixHasNoTranslation(matrix), 1);
    matrix->m[14] = 1.1e-7;
    EXPECT_EQ(MatrixHasNoTranslation(matrix), 0);
    EXPECT_EQ(MatrixHasNoTranslation(nullptr), 1);

    VertexStruct point{1, 2, 3, nullptr, nullptr};
    kvFailNthCreation(1);
    EXPECT_EQ(VertexAssign(&point, &vertex), 0);
    ASSERT_EQ(VertexAssign(&point, &vertex), 1);
    EXPECT_EQ(VertexEqual(vertex, &point), 1);
    EXPECT_EQ(VertexAssign(nullptr, &vertex), 1);
    EXPECT_EQ(vertex->x + vertex->y + vertex->z, 0.0);
}

TEST_F(GeometryTest, BoxesAtTheFlatnessTolerance) {
    double x = 9, y = 9, z = 9;
    box = ExtentsNewEx();
    EXPECT_EQ(ExtentsIsFlat(box), 0);
    EXPECT_EQ(ExtentsIsPoint(nullptr), 0);
    EXPECT_EQ(ExtentsCenter(box, &x, &y, &z), 0);
    EXPECT_EQ(x, 9);

    ExtentsSet(box, 0, 2, 3, 1e-7, 2, 3);
    EXPECT_EQ(ExtentsIsPoint(box), 1);
    EXPECT_EQ(ExtentsIsFlat(box), 1);
    ExtentsSet(box, 0, 0, 0, 2, 4, 1e-7);
    EXPECT_EQ(ExtentsIsPoint(box), 0);
    EXPECT_EQ(ExtentsIsFlat(box), 1);
    ExtentsSet(box, 0, 0, 0, 2, 4, 2e-7);
    EXPECT_EQ(ExtentsIsFlat(box), 0);

    vertex = VertexNewEx(5, 5, 5);
    ASSERT_EQ(ExtentsCenterVertex(box, vertex), 1);
    EXPECT_EQ(vertex->x, 1);
    EXPECT_EQ(vertex->y, 2);
    EXPECT_EQ(vertex->z, 1e-7);
    EXPECT_EQ(ExtentsCenterVertex(box, nullptr), 0);
}
