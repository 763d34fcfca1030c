// Move and rotation routines: the translation follows the cursor along the axis and in the
// plane, and a quarter turn of the cursor about the ring's axis is a right-handed quarter turn.
#include "drag_fixture.h"

namespace {

const double Root2 = std::sqrt(0.5);
const Vec Ref{1.0, 0.5, 0.2};
const Vec Diagonal{Root2, Root2, 0};

// The hit of a pixel's sight line on the plane through `origin` with normal `n`.
Vec PixelHitOnPlane(ViewportStruct* vp, double px, double py, Vec origin, Vec n) {
    KvPoint o{}, d{};
    kvViewportPixelToSightLine(vp, px, py, &o, &d);
    const Vec from{o.x, o.y, o.z}, dir{d.x, d.y, d.z};
    return from + dir * (Dot(origin - from, n) / Dot(dir, n));
}

TEST_F(DragTest, AxisMoveFollowsThePixelsAlongTheAxisAndIgnoresThoseAcrossIt) {
    GHandle* h = MakeHandle(TransformMove, MovementRotbarX,
                            Frame(Diagonal, {-Root2, Root2, 0}, {0, 0, 1}), Ref);
    double rx, ry, ax, ay;
    Pixel(Ref, &rx, &ry);
    Pixel(Ref + Diagonal, &ax, &ay);
    const double perUnit = std::hypot(ax - rx, ay - ry);
    const double ux = (ax - rx) / perUnit, uy = (ay - ry) / perUnit;
    Start(h, AtPixel(rx + 10 * ux, ry + 10 * uy));
    MatrixStruct returned;
    ASSERT_EQ(Drag(h, At(AtPixel(rx + 50 * ux, ry + 50 * uy)), &returned), 1);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, Ref), Ref + Diagonal * (40 / perUnit), 1e-9);
    EXPECT_TRUE(MatrixEqual(&returned, h->mDrag));

    ASSERT_EQ(Drag(h, At(AtPixel(rx + 10 * ux - 40 * uy, ry + 10 * uy + 40 * ux))), 1);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, Ref), Ref, 1e-9);

    Look({3, -4, 2.5}, true);
    Start(h, Ref + Diagonal * 0.1);
    ASSERT_EQ(Drag(h, At(Ref + Diagonal * 0.7)), 1);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, Ref), Ref + Diagonal * 0.6, 1e-6);
    ASSERT_EQ(Drag(h, At(Ref - Diagonal * 0.3)), 1);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, Ref), Ref - Diagonal * 0.4, 1e-6);
}

TEST_F(DragTest, PlaneMoveFollowsTheCursorsHitOnTheHandlePlane) {
    const double c = std::cos(0.5), s = std::sin(0.5);
    const Vec normal{0, -s, c};
    GHandle* h =
        MakeHandle(TransformMove, MovementRotbarXY, Frame({1, 0, 0}, {0, c, s}, normal), Ref);
    InBothViews([&](double tol) {
        Start(h, AtPixel(300, 250));
        ASSERT_EQ(Drag(h, At(AtPixel(420, 330))), 1);
        const Vec expected = PixelHitOnPlane(vp_, 420, 330, Ref, normal) -
                             PixelHitOnPlane(vp_, 300, 250, Ref, normal);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, Ref), Ref + expected, tol);
    });
}

// A cursor above the horizon of the handle's plane has no hit in front of the eye: the
// selection stays where it started instead of jumping.
TEST_F(DragTest, PlaneMoveBeyondTheHorizonMovesNothing) {
    GHandle* h = MakeHandle(TransformMove, MovementRotbarXY, Identity, Ref);
    Look({3, -4, 2.5}, true);
    Start(h, Ref + Vec{0.2, 0.1, 0});
    ASSERT_EQ(Drag(h, At({1, 0.5, 6})), 1);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, Ref), Ref, 0);
}

// The ring turns about world X: a quarter turn of the cursor carries +Y into +Z. With a hit
// point on the handle the turn is measured on the ring's plane raised to the grabbed height.
TEST_F(DragTest, QuarterTurnOfTheCursorIsARightHandedQuarterTurnAtAnyGrabbedHeight) {
    for (const double height : {0.0, 0.25}) {
        GHandle* h = MakeHandle(TransformRotate, MovementRotbarXY,
                                Frame({0, 1, 0}, {0, 0, 1}, {1, 0, 0}), Ref);
        const Vec raise{height, 0, 0};
        if (height > 0) VertexSet(AddMouseout(h)->HitPoint, Ref.x + raise.x, Ref.y, Ref.z);
        for (bool perspective : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "height " << height << " perspective " << perspective);
            Look({3, -4, 2.5}, perspective);
            Start(h, Ref + raise + Vec{0, 0.3, 0});
            MatrixStruct returned;
            ASSERT_EQ(Drag(h, At(Ref + raise + Vec{0, 0, 0.3}), &returned), 1);
            EXPECT_POINT_NEAR(Apply(*h->mDrag, Ref), Ref, 1e-9);
            EXPECT_POINT_NEAR(Apply(*h->mDrag, Ref + Vec{0, 1, 0}), Ref + Vec{0, 0, 1},
                              height > 0 ? 1e-6 : 1e-9);
            EXPECT_TRUE(MatrixEqual(&returned, h->mDrag));
        }
    }
}

} // namespace
