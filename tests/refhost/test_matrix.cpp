// Matrix, vertex and extents algebra of the reference host, checked against values worked out
// by hand from the definitions (x' = m0 x + m4 y + m8 z + m12, "A after B" applies B first).
#include "support/live_records.h"
#include "tiller/host/korvex.h"

#include <cmath>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;

class MatrixTest : public LiveRecordsTest {
  protected:
    MatrixStruct* Keep(MatrixStruct* m) {
        matrices_.push_back(m);
        return m;
    }
    VertexStruct* Keep(VertexStruct* v) {
        vertices_.push_back(v);
        return v;
    }
    MatrixStruct* Translation(double x, double y, double z) {
        return Keep(MatrixOffsetEx(nullptr, Keep(VertexNewEx(x, y, z))));
    }
    MatrixStruct* Scale(double x, double y, double z) {
        return Keep(MatrixScaleEx(nullptr, Keep(VertexNewEx(x, y, z)), nullptr));
    }
    MatrixStruct* Product(const MatrixStruct* a, const MatrixStruct* b) {
        return Keep(MatrixMatrixMultiplyEx(a, b));
    }
    void ReleaseAll() override {
        for (MatrixStruct*& m : matrices_)
            MatrixDispose(&m);
        for (VertexStruct*& v : vertices_)
            VertexDispose(&v);
    }

  private:
    std::vector<MatrixStruct*> matrices_;
    std::vector<VertexStruct*> vertices_;
};

VertexStruct Map(const MatrixStruct* m, VertexStruct v) {
    VertexTransform(&v, m);
    return v;
}
VertexStruct Map(const MatrixStruct* m, double x, double y, double z) {
    return Map(m, VertexStruct{x, y, z, nullptr, nullptr});
}

#define EXPECT_POINT(actual, ex, ey, ez)                                                           \
    do {                                                                                           \
        const VertexStruct p_ = (actual);                                                          \
        EXPECT_NEAR(p_.x, ex, 1e-12);                                                              \
        EXPECT_NEAR(p_.y, ey, 1e-12);                                                              \
        EXPECT_NEAR(p_.z, ez, 1e-12);                                                              \
    } while (0)

TEST_F(MatrixTest, CompositionAppliesTheRightOperandFirst) {
    MatrixStruct* t = Translation(1, 2, 3);
    MatrixStruct* r = Keep(MatrixRotateZEx(nullptr, Pi / 2, nullptr));
    EXPECT_POINT(Map(Product(t, r), 1, 0, 0), 1, 3, 3);  // rotate, then move
    EXPECT_POINT(Map(Product(r, t), 1, 0, 0), -2, 2, 3); // move to (2,2,3), then rotate
    EXPECT_EQ(MatrixMatrixMultiplyEx(nullptr, nullptr), nullptr);

    MatrixStruct* left = Keep(MatrixCopyEx(t));
    MatrixMultiplyLeft(r, &left); // r after t
    EXPECT_POINT(Map(left, 1, 0, 0), -2, 2, 3);
    MatrixStruct* right = Keep(MatrixCopyEx(t));
    MatrixMultiplyRight(&right, r); // t after r
    EXPECT_POINT(Map(right, 1, 0, 0), 1, 3, 3);
    MatrixStruct* empty = nullptr;
    MatrixMultiplyLeft(r, &empty);
    EXPECT_TRUE(MatrixEqual(Keep(empty), r));
}

TEST_F(MatrixTest, RotationsAreRightHandedAboutTheirCentre) {
    EXPECT_POINT(Map(Keep(MatrixRotateZEx(nullptr, Pi / 2, nullptr)), 1, 0, 0), 0, 1, 0);
    EXPECT_POINT(Map(Keep(MatrixRotateXEx(nullptr, Pi / 2, nullptr)), 0, 1, 0), 0, 0, 1);
    VertexStruct* centre = Keep(VertexNewEx(1, 0, 5));
    EXPECT_POINT(Map(Keep(MatrixRotateZEx(nullptr, Pi / 2, centre)), 2, 0, 5), 1, 1, 5);
    EXPECT_POINT(Map(Keep(MatrixRotateXEx(nullptr, Pi / 2, centre)), 1, 1, 5), 1, 0, 6);
    VertexStruct* factors = Keep(VertexNewEx(2, 3, -1));
    EXPECT_POINT(Map(Keep(MatrixScaleEx(nullptr, factors, centre)), 2, 1, 6), 3, 3, 4);

    // Given a target, the result is written into it.
    MatrixStruct* target = Translation(7, 7, 7);
    EXPECT_EQ(MatrixRotateZEx(target, Pi, nullptr), target);
    EXPECT_POINT(Map(target, 1, 2, 0), -1, -2, 0);
    EXPECT_TRUE(MatrixIsOrtho(target));
    EXPECT_FALSE(MatrixIsOrtho(Scale(1, 1, 2)));
    EXPECT_TRUE(MatrixIsIdentity(nullptr));
}

TEST_F(MatrixTest, InverseUndoesScaleShearAndTranslation) {
    MatrixStruct* m = Keep(MatrixNewEx());
    const double values[16] = {2, 0.5, 0, 0, 0.3, 3, 0, 0, 1, -1, 0.25, 0, 4, -5, 6, 1};
    std::copy(values, values + 16, m->m);
    MatrixStruct* inverse = Keep(MatrixOrthoInvertEx(m));
    ASSERT_NE(inverse, nullptr);
    const VertexStruct p = Map(m, 0.7, -1.3, 2.9);
    EXPECT_POINT(Map(inverse, p), 0.7, -1.3, 2.9);
    EXPECT_TRUE(MatrixEqual(Product(m, inverse), nullptr));

    EXPECT_EQ(MatrixOrthoInvertEx(Scale(1, 0, 1)), nullptr);
    EXPECT_NE(Keep(MatrixOrthoInvertEx(Scale(1e-3, 1e-3, 1e-3))), nullptr);
    VertexStruct back = p;
    VertexBackOrthoTransform(&back, m);
    EXPECT_POINT(back, 0.7, -1.3, 2.9);
}

TEST_F(MatrixTest, TranslateFromCsConjugatesAndSkipsSingularSystems) {
    MatrixStruct* m = Keep(MatrixRotateZEx(nullptr, Pi / 2, nullptr));
    MatrixTranslateFromCS(&m, Translation(5, 0, 0)); // rotation about (5,0,0)
    EXPECT_POINT(Map(m, 6, 0, 0), 5, 1, 0);
    MatrixTranslateFromCS(&m, Scale(2, 0, 1));
    EXPECT_POINT(Map(m, 6, 0, 0), 5, 1, 0);
    MatrixStruct* scaled = Translation(1, 0, 0);
    MatrixTranslateFromCS(&scaled, Scale(2, 2, 2)); // move one unit of a system twice as big
    EXPECT_POINT(Map(scaled, 0, 0, 0), 2, 0, 0);
}

TEST_F(MatrixTest, PlaneToMapsWorldIntoThePlaneSystem) {
    VertexStruct* a = Keep(VertexNewEx(1, 1, 1));
    VertexStruct* b = Keep(VertexNewEx(3, 1, 1));
    VertexStruct* c = Keep(VertexNewEx(1, 1, 4));
    int ok = -1;
    MatrixStruct* q = Keep(MatrixPlaneTo(a, b, c, &ok));
    ASSERT_EQ(ok, 1);
    EXPECT_POINT(Map(q, 1, 1, 1), 0, 0, 0);
    EXPECT_POINT(Map(q, 3, 1, 1), 2, 0, 0);
    EXPECT_POINT(Map(q, 1, 1, 4), 0, 3, 0);
    EXPECT_POINT(Map(q, 1, 0, 1), 0, 0, 1); // Z = X x Y

    VertexStruct* onLine = Keep(VertexNewEx(5, 1, 1));
    EXPECT_EQ(MatrixPlaneTo(a, b, onLine, &ok), nullptr);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(MatrixPlaneTo(a, a, c, &ok), nullptr);
}

TEST_F(MatrixTest, SeparateSplitsRotationTranslationAndScale) {
    MatrixStruct* frame =
        Product(Translation(1, 2, 3),
                Product(Keep(MatrixRotateZEx(nullptr, Pi / 6, nullptr)), Scale(2, 3, -4)));
    VertexStruct *t = nullptr, *s = nullptr;
    MatrixStruct* r = nullptr;
    ASSERT_EQ(MatrixSeparate(frame, &t, &s, &r), 1);
    Keep(t), Keep(s), Keep(r);
    EXPECT_POINT(*t, 1, 2, 3);
    EXPECT_POINT(*s, 2, 3, -4);
    EXPECT_TRUE(MatrixEqual(r, Keep(MatrixRotateZEx(nullptr, Pi / 6, nullptr))));

    MatrixStruct* sheared = Scale(2, 2, 2);
    sheared->m[4] = 1; // Y leans towards X: Gram-Schmidt keeps X, Y loses its X part
    MatrixStruct* rotation = nullptr;
    ASSERT_EQ(MatrixSeparate(sheared, nullptr, nullptr, &rotation), 1);
    EXPECT_TRUE(MatrixIsIdentity(Keep(rotation)));

    ASSERT_EQ(MatrixSeparate(nullptr, &t, &s, nullptr), 1);
    Keep(t), Keep(s);
    EXPECT_POINT(*s, 1, 1, 1);
    EXPECT_POINT(*t, 0, 0, 0);
}

TEST_F(MatrixTest, BasisFromPointsAndVertexEquality) {
    VertexStruct* o = Keep(VertexNewEx(1, 1, 1));
    VertexStruct* x = Keep(VertexNewEx(3, 1, 1));
    MatrixStruct* basis = Keep(MatrixBasisFm(o, x, nullptr, nullptr)); // X doubled, Y, Z unit
    EXPECT_POINT(Map(basis, 1, 1, 1), 3, 2, 2);
    VertexSet(x, 1 + 5e-10, 1, 1);
    EXPECT_TRUE(VertexEqual(o, x));
    VertexSet(x, 1 + 2e-9, 1, 1);
    EXPECT_FALSE(VertexEqual(o, x));
}

TEST(DoubleVsDouble, ComparesWithinAbsoluteOrRelativeTolerance) {
    EXPECT_EQ(DoubleVsDouble(1.0, 1.0 + 5e-10), 0);
    EXPECT_EQ(DoubleVsDouble(0.0, 2e-9), -1);
    EXPECT_EQ(DoubleVsDouble(2e-9, 0.0), 1);
    EXPECT_EQ(DoubleVsDouble(1e6, 1e6 + 5e-4), 0);
    EXPECT_EQ(DoubleVsDouble(1e6, 1e6 + 2e-3), -1);
    EXPECT_EQ(DoubleVsDouble(INFINITY, INFINITY), 0);
}

TEST_F(MatrixTest, ExtentsTransformBoundsTheEightCorners) {
    ExtentsStruct* e = ExtentsNewEx();
    EXPECT_FALSE(ExtentsValid(e));
    ExtentsTransform(e, Translation(1, 1, 1));
    EXPECT_FALSE(ExtentsValid(e));

    ExtentsSet(e, 1, 1, 1, 0, 0, 0); // corners in any order
    ExtentsTransform(e, Keep(MatrixRotateZEx(nullptr, Pi / 4, nullptr)));
    const double h = std::sqrt(0.5);
    EXPECT_NEAR(ExtentsGetX1(e), -h, 1e-12);
    EXPECT_NEAR(ExtentsGetX2(e), h, 1e-12);
    EXPECT_NEAR(ExtentsGetY1(e), 0, 1e-12);
    EXPECT_NEAR(ExtentsGetY2(e), 2 * h, 1e-12);
    EXPECT_EQ(ExtentsGetZ2(e), 1);
    ExtentsDispose(&e);
    EXPECT_EQ(e, nullptr);
}

} // namespace
