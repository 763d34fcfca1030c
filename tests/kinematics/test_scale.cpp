// Scale routines: each one's ratio and anchor, mirrored factors past the anchor, and the
// separate handle matrix of the axis and plane scales. The selection is the fixture's box
// (0.5, 0.2, 0)..(1.5, 0.8, 0.4); most handles sit at its least corner with the world's axes.
#include "drag_fixture.h"

#include "tiller/kinematics/routines.h"

namespace {

const Vec Corner = BoxMin;
const Vec Span = BoxMax - BoxMin;
// The scene scale's anchor for a handle at the box centre: the corner (x1, y1) on its plane.
const Vec Anchor{0.5, 0.2, 0.2};

TEST(ProjectedRatio, MeasuresAlongTheStartOffsetWithSign) {
    EXPECT_DOUBLE_EQ(tiller::ProjectedRatio(0, 0, 5, 7), 1.0);
    EXPECT_DOUBLE_EQ(tiller::ProjectedRatio(5e-8, -5e-8, 5, 7), 1.0);
    EXPECT_DOUBLE_EQ(tiller::ProjectedRatio(2, 0, -3, 9), -1.5);
    EXPECT_DOUBLE_EQ(tiller::ProjectedRatio(0, -4, 9, 2), -0.5);
    EXPECT_DOUBLE_EQ(tiller::ProjectedRatio(3, 4, 6, 8), 2.0);
    EXPECT_DOUBLE_EQ(tiller::ProjectedRatio(3, 4, 4, -3), 0.0);
    EXPECT_DOUBLE_EQ(tiller::ProjectedRatio(3, 4, -3, -4), -1.0);
}

TEST_F(DragTest, AxisScaleHoldsTheLeastXFaceAndMirrorsPastIt) {
    GHandle* h = MakeHandle(TransformScale, MovementRotbarX, Identity, Corner);
    const Vec face{0.5, 0.5, 0.2};
    InBothViews([&](double tol) {
        Start(h, Corner + Vec{0.4, 0, 0});
        MatrixStruct handleMatrix;
        ASSERT_EQ(Drag(h, At(Corner + Vec{0.6, 0, 0}), &handleMatrix), 1);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, face), face, tol);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), (Vec{2.0, 0.8, 0.4}), tol);
        EXPECT_POINT_NEAR(Apply(handleMatrix, Corner + Vec{1, 1, 1}), Corner + Vec{1.5, 1, 1}, tol);
        ASSERT_EQ(Drag(h, At(Corner + Vec{0.6, 0, 0}, 1)), 1);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), face + Vec{1.5, 0.45, 0.3}, tol);
        ASSERT_EQ(Drag(h, At(Corner - Vec{0.2, 0, 0})), 1);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), (Vec{0.0, 0.8, 0.4}), tol);
    });
}

// The handle's origin sits 0.3 along its axis and is shown twice as large: the ratio is taken
// from where it is shown, and the box centre is anchored in that zoom-adapted frame, so the
// fixed point lies (1 - 2) * 0.3 from the centre along the axis. No extents callback is needed.
TEST_F(DragTest, Scale2AnchorsTheBoxCentreInTheZoomedHandleFrame) {
    GHandle* h = MakeHandle(TransformScale2, MovementRotbarX,
                            Frame({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.3, 0, 0}), Corner, nullptr);
    AddMouseout(h)->ViewScale = 2.0;
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

TEST_F(DragTest, PlaneScaleTakesEachAxisRatioFromTheHandleOrigin) {
    GHandle* h = MakeHandle(TransformScale, MovementRotbarXY, Identity, Corner);
    InBothViews([&](double tol) {
        Start(h, Corner + Vec{0.4, 0.2, 0});
        MatrixStruct handleMatrix;
        ASSERT_EQ(Drag(h, At(Corner + Vec{0.8, 0.1, 0}), &handleMatrix), 1);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, Corner), Corner, tol);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Corner + Vec{2.0, 0.3, 0.4}, tol);
        ASSERT_EQ(Drag(h, At(Corner + Vec{0.8, 0.1, 0}, 1), &handleMatrix), 1);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Corner + Span * 1.25, tol);
        EXPECT_POINT_NEAR(Apply(handleMatrix, Corner + Vec{1, 1, 1}), Corner + Vec{2, 0.5, 1}, tol);
        ASSERT_EQ(Drag(h, At(Corner + Vec{-0.2, 0.2, 0})), 1);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Corner + Vec{-0.5, 0.6, 0.4}, tol);
    });
}

TEST_F(DragTest, GripScaleHoldsItsAnchorOrTheCentre) {
    GHandle* h = MakeHandle(TransformScale, MovementHandleX, Identity, Corner);
    InBothViews([&](double tol) {
        Start(h, Corner + Vec{0.5, 0, 0});
        MatrixStruct handleMatrix;
        ASSERT_EQ(Drag(h, At(Corner + Vec{0.75, 0, 0}), &handleMatrix), 1);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Corner + Vec{1.5, 0.6, 0.4}, tol);
        EXPECT_TRUE(MatrixEqual(&handleMatrix, h->mDrag));
        ASSERT_EQ(Drag(h, At(Corner + Vec{-0.25, 0, 0})), 1);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Corner + Vec{-0.5, 0.6, 0.4}, tol);
        ASSERT_EQ(Drag(h, At(Corner + Vec{0.75, 0, 0}, 0, 1)), 1);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxCentre), BoxCentre, tol);
    });
}

// Projection path (the box has depth): each factor compares the cursor with the start point's
// mirror image through the handle origin, here the box centre.
TEST_F(DragTest, SceneScaleOfASolidSelectionMeasuresAgainstTheMirroredStart) {
    GHandle* h = MakeHandle(TransformScale, MovementSceneXY, Identity, BoxCentre);
    InBothViews([&](double tol) {
        Start(h, BoxCentre + Vec{0.25, 0.1, 0});
        ASSERT_EQ(Drag(h, At(BoxCentre + Vec{0.5, -0.1, 0})), 1);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, Corner), Corner, tol);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Corner + Vec{1.5, 0, 0.4}, tol);
        ASSERT_EQ(Drag(h, At(BoxCentre + Vec{-0.5, 0.1, 0})), 1);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Corner + Vec{-0.5, 0.6, 0.4}, tol);
        ASSERT_EQ(Drag(h, At(BoxCentre + Vec{0.5, -0.1, 0}, 0, 0, 4)), 1);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Corner + Vec{0.75, 0.45, 0.4}, tol);
        ASSERT_EQ(Drag(h, At(BoxCentre + Vec{0.5, -0.1, 0}, 1)), 1);
        EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Anchor + (BoxMax - Anchor) * 0.75, tol);
    });
}

// Box path (flat selection, handle not a point): the ratio of the cursors' on-screen distances
// from the vertical edge at the anchor goes to one axis, here y.
TEST_F(DragTest, SceneScaleOfAFlatSelectionMeasuresFromTheAnchorEdge) {
    GHandle* h = MakeHandle(TransformScale, MovementSceneXY, Identity, BoxCentre);
    ExtentsSet(h->extSelection, 0.5, 0.2, 0, 1.5, 0.8, 0);
    ExtentsSet(AddMouseout(h)->Extents, 0, 0, 0, 0.1, 0.1, 0.1);
    const Vec grab = Corner + Vec{0.3, 0.2, 0.1};
    Start(h, grab);
    ASSERT_EQ(Drag(h, At(Corner + (grab - Corner) * 2.0)), 1);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, Corner), Corner, 1e-9);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Corner + Vec{1, 1.2, 0.4}, 1e-9);
    ASSERT_EQ(Drag(h, At(Corner + (grab - Corner) * 2.0, 1)), 1);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Anchor + (BoxMax - Anchor) * 2.0, 1e-9);

    Look({1, -4, 0.2}, false); // the handle's Y axis seen end-on: the factor goes to x
    Start(h, grab);
    ASSERT_EQ(Drag(h, At(Corner + (grab - Corner) * 2.0)), 1);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Corner + Vec{2, 0.6, 0.4}, 1e-9);
}

TEST_F(DragTest, DiagonalScaleKeepsTheOppositeCornerFixed) {
    GHandle* h = MakeHandle(TransformScale, MovementSceneDiag, Identity, BoxMax, nullptr);
    Start(h, BoxMax);
    MatrixStruct handleMatrix;
    ASSERT_EQ(Drag(h, At(Corner + Span * 1.5), &handleMatrix), 1);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, Corner), Corner, 1e-9);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), Corner + Span * 1.5, 1e-9);
    EXPECT_TRUE(MatrixEqual(&handleMatrix, h->mDrag));
    ASSERT_EQ(Drag(h, At(Corner + Span * 1.5, 0, 1)), 1);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxCentre), BoxCentre, 1e-9);
    EXPECT_POINT_NEAR(Apply(*h->mDrag, BoxMax), BoxCentre + Span, 1e-9);
}

} // namespace
