// The drag routines on hand-built handles, for what a drag through the exports does not reach:
// the modifier flags (uniform, from the centre, equal x and y), the zoom-adapted frame of scale2,
// the flat-selection path of the scene scale, the separate handle matrix of the axis and plane
// scales, a ring grabbed above its plane, and a plane move past the horizon. The selection is
// the fixture's box (0.5, 0.2, 0)..(1.5, 0.8, 0.4).
#include "drag_fixture.h"

#include "tiller/kinematics/routines.h"

namespace {

const Vec Corner = BoxMin;
const Vec Span = BoxMax - BoxMin;
// The scene scale's anchor for a handle at the box centre: the corner (x1, y1) on its plane.
const Vec Anchor{0.5, 0.2, 0.2};

TEST(ProjectedRatio, MeasuresAlongTheStartOffsetWithSign) {
    const double rows[][5] = {{0, 0, 5, 7, 1.0},   {5e-8, -5e-8, 5, 7, 1.0}, {2, 0, -3, 9, -1.5},
                              {0, -4, 9, 2, -0.5}, {3, 4, 6, 8, 2.0},        {3, 4, 4, -3, 0.0},
                              {3, 4, -3, -4, -1.0}};
    for (const auto& r : rows)
        EXPECT_DOUBLE_EQ(tiller::ProjectedRatio(r[0], r[1], r[2], r[3]), r[4]) << r[0] << r[1];
}

// One drag step of a handle at `at` with the world's axes, from `start` to `now` with the given
// flags, and where it carries the points of `moves`.
enum Flags { Uniform = 1, FromCentre = 2, EqualXY = 4, ParallelOnly = 8 };
struct ScaleRow {
    const char* what;
    uint32_t transform, movement;
    Vec at, start, now;
    int flags;
    std::vector<std::pair<Vec, Vec>> moves;
};
ScaleRow Row(const char* what, uint32_t transform, uint32_t movement, Vec at, Vec start, Vec now,
             int flags, std::vector<std::pair<Vec, Vec>> moves) {
    return {what, transform, movement, at, start, now, flags, std::move(moves)};
}

TEST_F(DragTest, ScaleFlagsAndHandleMatrices) {
    const Vec face{0.5, 0.5, 0.2};
    const Vec sceneStart = BoxCentre + Vec{0.25, 0.1, 0}, sceneNow = BoxCentre + Vec{0.5, -0.1, 0};
    const ScaleRow rows[] = {
        Row("axis, uniform", TransformScale, MovementRotbarX, Corner, Corner + Vec{0.4, 0, 0},
            Corner + Vec{0.6, 0, 0}, Uniform, {{BoxMax, face + Vec{1.5, 0.45, 0.3}}}),
        Row("plane, uniform", TransformScale, MovementRotbarXY, Corner, Corner + Vec{0.4, 0.2, 0},
            Corner + Vec{0.8, 0.1, 0}, Uniform, {{BoxMax, Corner + Span * 1.25}}),
        Row("grip, from the centre", TransformScale, MovementHandleX, Corner,
            Corner + Vec{0.5, 0, 0}, Corner + Vec{0.75, 0, 0}, FromCentre,
            {{BoxCentre, BoxCentre}}),
        Row("scene, equal x and y", TransformScale, MovementSceneXY, BoxCentre, sceneStart,
            sceneNow, EqualXY, {{BoxMax, Corner + Vec{0.75, 0.45, 0.4}}}),
        Row("scene, uniform", TransformScale, MovementSceneXY, BoxCentre, sceneStart, sceneNow,
            Uniform, {{BoxMax, Anchor + (BoxMax - Anchor) * 0.75}}),
        Row("diagonal, from the centre", TransformScale, MovementSceneDiag, BoxMax, BoxMax,
            Corner + Span * 1.5, FromCentre | ParallelOnly,
            {{BoxCentre, BoxCentre}, {BoxMax, BoxCentre + Span}}),
    };
    for (const ScaleRow& row : rows) {
        GHandle* h = MakeHandle(row.transform, row.movement, Identity, row.at);
        InBothViews([&](double tol) {
            if (Perspective() && (row.flags & ParallelOnly)) return;
            SCOPED_TRACE(row.what);
            Start(h, row.start);
            const uint32_t uniform = (row.flags & Uniform) != 0;
            const uint32_t fromCentre = (row.flags & FromCentre) != 0;
            const uint16_t keys = row.flags & EqualXY ? 4 : 0;
            ASSERT_EQ(Drag(h, At(row.now, uniform, fromCentre, keys)), 1);
            for (const auto& [from, to] : row.moves)
                EXPECT_POINT_NEAR(Apply(*h->mDrag, from), to, tol);
        });
    }
    // The axis and plane scales scale the handle itself by their own factors, even when the
    // selection scales uniformly.
    GHandle* plane = MakeHandle(TransformScale, MovementRotbarXY, Identity, Corner);
    Start(plane, Corner + Vec{0.4, 0.2, 0});
    MatrixStruct handleMatrix;
    ASSERT_EQ(Drag(plane, At(Corner + Vec{0.8, 0.1, 0}, 1), &handleMatrix), 1);
    EXPECT_POINT_NEAR(Apply(handleMatrix, Corner + Vec{1, 1, 1}), Corner + Vec{2, 0.5, 1});
    GHandle* axis = MakeHandle(TransformScale, MovementRotbarX, Identity, Corner);
    Start(axis, Corner + Vec{0.4, 0, 0});
    ASSERT_EQ(Drag(axis, At(Corner + Vec{0.6, 0, 0}), &handleMatrix), 1);
    EXPECT_POINT_NEAR(Apply(handleMatrix, Corner + Vec{1, 1, 1}), Corner + Vec{1.5, 1, 1});
}

// The handle's origin sits 0.3 along its axis and is shown twice as large: the ratio is taken
// from where it is shown, and the box centre is anchored in that zoom-adapted frame, so the
// fixed point lies (1 - 2) * 0.3 from the centre along the axis. No extents callback is needed.
TEST_F(DragTest, Scale2AnchorsTheBoxCentreInTheZoomedHandleFrame) {
    GHandle* h = MakeHandle(TransformScale2, MovementRotbarX,
                            Frame({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.3, 0, 0}), Corner, nullptr);
    const MatrixStruct twice{{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1}};
    ASSERT_TRUE(AddMouseout(h, Corner)->PartOnViewMatrixChanged(&twice));
    InBothViews([&](double tol) {
        Start(h, Corner + Vec{1.0, 0, 0});
        MatrixStruct handleMatrix;
        ASSERT_EQ(Drag(h, At(Corner + Vec{1.4, 0, 0}), &handleMatrix), 1);
        const Vec fixedPoint = BoxCentre - Vec{0.3, 0, 0};
        EXPECT_POINT_NEAR(Apply(*h->mDrag, fixedPoint), fixedPoint, tol);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), (Vec{2.3, 0.8, 0.4}), tol);
        EXPECT_POINT_NEAR(Apply(handleMatrix, Corner + Vec{0.6, 0, 0}), Corner + Vec{0.6, 0, 0},
                          tol);
        EXPECT_POINT_NEAR(Apply(handleMatrix, Corner + Vec{1.0, 0, 0}), Corner + Vec{1.4, 0, 0},
                          tol);
    });
}

// Box path (flat selection, handle not a point): the ratio of the cursors' on-screen distances
// from the vertical edge at the anchor goes to one axis, here y; seen along the handle's Y axis,
// to x.
TEST_F(DragTest, SceneScaleOfAFlatSelectionMeasuresFromTheAnchorEdge) {
    GHandle* h = MakeHandle(TransformScale, MovementSceneXY, Identity, BoxCentre);
    ExtentsSet(h->extSelection, 0.5, 0.2, 0, 1.5, 0.8, 0);
    AddMouseout(h, Corner);
    const Vec grab = Corner + Vec{0.3, 0.2, 0.1};
    const Vec twice = Corner + (grab - Corner) * 2.0;
    Start(h, grab);
    ASSERT_EQ(Drag(h, At(twice)), 1);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, Corner), Corner);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Corner + Vec{1, 1.2, 0.4});
    ASSERT_EQ(Drag(h, At(twice, 1)), 1);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Anchor + (BoxMax - Anchor) * 2.0);
    Look({1, -4, 0.2}, false);
    Start(h, grab);
    ASSERT_EQ(Drag(h, At(twice)), 1);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Corner + Vec{2, 0.6, 0.4});
}

// The ring turns about world X and is grabbed 0.25 above its plane: the turn is measured on the
// plane raised to that height, so a quarter turn of the cursor there is a quarter turn.
TEST_F(DragTest, RingGrabbedAboveItsPlaneTurnsByTheCursorsAngleAtThatHeight) {
    const Vec ref{1.0, 0.5, 0.2}, raise{0.25, 0, 0};
    GHandle* h =
        MakeHandle(TransformRotate, MovementRotbarXY, Frame({0, 1, 0}, {0, 0, 1}, {1, 0, 0}), ref);
    const Vec hit = ref + raise;
    ASSERT_TRUE(AddMouseout(h, hit)->PartHitTest(vp_, hit.x, hit.y, hit.z, nullptr, nullptr, 5));
    InBothViews([&](double) {
        Start(h, ref + raise + Vec{0, 0.3, 0});
        ASSERT_EQ(Drag(h, At(ref + raise + Vec{0, 0, 0.3})), 1);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, ref), ref);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, ref + Vec{0, 1, 0}), ref + Vec{0, 0, 1}, 1e-6);
    });
}

// A cursor above the horizon of the handle's plane has no hit in front of the eye: the
// selection stays where it started instead of jumping.
TEST_F(DragTest, PlaneMoveBeyondTheHorizonMovesNothing) {
    const Vec ref{1.0, 0.5, 0.2};
    GHandle* h = MakeHandle(TransformMove, MovementRotbarXY, Identity, ref);
    Look({3, -4, 2.5}, true);
    Start(h, ref + Vec{0.2, 0.1, 0});
    ASSERT_EQ(Drag(h, At({1, 0.5, 6})), 1);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, ref), ref, 0);
}

} // namespace
