// Viewports: the view matrix, pixels and sight lines, projections and camera moves, checked
// against values worked out by hand.
#include "korvex/drawing.h"
#include "korvex/view.h"
#include "support/live_records.h"
#include "support/math3d.h"

#include <cmath>

namespace {

class ViewportTest : public LiveRecordsTest {
  protected:
    void SetUp() override {
        LiveRecordsTest::SetUp();
        vp = kvViewportCreate(nullptr, 800, 600);
        ASSERT_NE(vp, nullptr);
    }
    void ReleaseAll() override { ViewportDispose(&vp); }

    KvPoint toView(KvPoint p) {
        VertexStruct in{p.x, p.y, p.z, nullptr, nullptr}, out{};
        CSystemUserToViewportEx(vp, 0, &in, &out);
        return {out.x, out.y, out.z};
    }

    ViewportStruct* vp = nullptr;
};

TEST_F(ViewportTest, ViewMatrixPutsTheEyeAtTheOriginLookingDownMinusZ) {
    // Front view: right is world X, up is world Z, the view looks along world Y.
    kvViewportSetCamera(vp, {0, -10, 0}, {0, 0, 0}, {0, 0, 1});
    EXPECT_POINT_NEAR(toView({1, 2, 3}), {1, 3, -12});
    // Top view with world X up the screen: right is world -Y.
    kvViewportSetCamera(vp, {2, 3, 4}, {2, 3, 0}, {1, 0, 0});
    EXPECT_POINT_NEAR(toView({3, 3, 0}), {0, 1, -4});
    EXPECT_POINT_NEAR(toView({2, 2, 4}), {1, 0, 0});
    // Rigid: the view axes are orthonormal rows of the linear block.
    kvViewportSetCamera(vp, {3, -4, 5}, {1, 1, 0}, {0, 0, 1});
    const MatrixStruct& v = *ViewportGetMatrix(vp);
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
            EXPECT_NEAR(v.m[a] * v.m[b] + v.m[4 + a] * v.m[4 + b] + v.m[8 + a] * v.m[8 + b],
                        a == b ? 1.0 : 0.0, 1e-12);
    EXPECT_POINT_NEAR(toView({3, -4, 5}), {0, 0, 0});
    const KvPoint target = toView({1, 1, 0});
    EXPECT_NEAR(target.x, 0, 1e-12);
    EXPECT_NEAR(target.y, 0, 1e-12);
    EXPECT_NEAR(target.z, -std::sqrt(4 + 25 + 25.0), 1e-12);
    // Converting back through the view matrix gives the world point again.
    VertexStruct p{0.25, -7, 9, nullptr, nullptr};
    CSystemUserToViewportEx(vp, 0, &p, &p);
    ViewportCStoUserCS(&v, 0, &p, &p);
    EXPECT_POINT_NEAR(PointOf(p), {0.25, -7, 9}, 1e-12);
}

TEST_F(ViewportTest, ParallelPixelsMapToViewCoordinatesAndBack) {
    kvViewportSetCamera(vp, {0, -10, 0}, {0, 0, 0}, {0, 0, 1});
    kvViewportSetParallel(vp, 0.01);
    KvPoint origin, direction;
    ASSERT_EQ(kvViewportPixelToSightLine(vp, 0, 0, &origin, &direction), 1);
    EXPECT_POINT_NEAR(toView(origin), {(0.5 - 400) * 0.01, (300 - 0.5) * 0.01, 0});
    EXPECT_POINT_NEAR(direction, {0, 1, 0});
    for (const KvPoint world : {KvPoint{0.3, 5, -1.2}, KvPoint{-2, -3, 0.7}}) {
        double px, py;
        ASSERT_EQ(kvViewportWorldToPixel(vp, world, &px, &py), 1);
        ASSERT_EQ(kvViewportPixelToSightLine(vp, px, py, &origin, &direction), 1);
        const double t = (world.y - origin.y) / direction.y;
        EXPECT_POINT_NEAR(origin + direction * t, world);
    }
    EXPECT_DOUBLE_EQ(ViewportDistanceWtoE(vp, 10, 'X'), 0.1);
    EXPECT_DOUBLE_EQ(kvViewportUnitsPerPixelAt(vp, {4, 4, 4}), 0.01);
}

TEST_F(ViewportTest, PerspectiveSightLinesRunFromTheEyeThroughThePixel) {
    kvViewportSetCamera(vp, {0, -10, 0}, {0, 0, 0}, {0, 0, 1});
    kvViewportSetPerspective(vp, 90);
    const double k = 2 * std::tan(M_PI / 4) / 600; // 1/300
    KvPoint origin, direction;
    ASSERT_EQ(kvViewportPixelToSightLine(vp, 0, 100, &origin, &direction), 1);
    EXPECT_POINT_NEAR(origin, {0, -10, 0});
    const KvPoint expected{(0.5 - 400) * k, (300 - 100.5) * k, -1};
    const double n = std::sqrt(expected.x * expected.x + expected.y * expected.y + 1);
    EXPECT_POINT_NEAR(toView(origin + direction * n), expected);
    double px, py;
    ASSERT_EQ(kvViewportWorldToPixel(vp, {1.5, 20, -2}, &px, &py), 1);
    ASSERT_EQ(kvViewportPixelToSightLine(vp, px, py, &origin, &direction), 1);
    const double t = 30 / direction.y;
    EXPECT_NEAR(direction.x * t, 1.5, 1e-9);
    EXPECT_NEAR(direction.z * t, -2, 1e-9);
    EXPECT_EQ(kvViewportWorldToPixel(vp, {0, -11, 0}, &px, &py), 0) << "behind the eye";
    EXPECT_NEAR(ViewportDistanceWtoE(vp, 30, 'Y'), 30 * k * 10, 1e-12);
    EXPECT_NEAR(kvViewportUnitsPerPixelAt(vp, {0, 10, 0}), 20 * k, 1e-12);
    EXPECT_LT(kvViewportUnitsPerPixelAt(vp, {0, -12, 0}), 0);
}

TEST_F(ViewportTest, NormalizedProjectionAndPlaneHits) {
    VertexStruct v{2, 4, 2, nullptr, nullptr};
    ASSERT_EQ(ViewportNormalizeVertexProjection(vp, &v), 1);
    EXPECT_POINT_NEAR(PointOf(v), {1, 2, -1});
    VertexStruct behind{2, 4, -2, nullptr, nullptr};
    EXPECT_EQ(ViewportNormalizeVertexProjection(vp, &behind), 0);
    EXPECT_EQ(behind.x, 2);

    // Plane z = -4 of the view, given as plane coordinates into view coordinates.
    MatrixStruct q{};
    q.m[0] = q.m[5] = q.m[10] = q.m[15] = 1;
    q.m[14] = -4;
    VertexStruct in{0.5, 0.25, -1, nullptr, nullptr}, out{};
    kvViewportSetParallel(vp, 0.01);
    ASSERT_EQ(VertexProjectionOnPlane(vp, &in, &out, &q, 0), 1);
    EXPECT_POINT_NEAR(PointOf(out), {0.5, 0.25, 0});
    ASSERT_EQ(VertexProjectionOnPlane(vp, &in, &out, &q, 1.5), 1);
    EXPECT_POINT_NEAR(PointOf(out), {0.5, 0.25, 1.5});
    kvViewportSetPerspective(vp, 60);
    ASSERT_EQ(VertexProjectionOnPlane(vp, &in, &out, &q, 0), 1);
    EXPECT_POINT_NEAR(PointOf(out), {2, 1, 0});
    q.m[14] = 4; // behind the eye
    EXPECT_EQ(VertexProjectionOnPlane(vp, &in, &out, &q, 0), 0);
    // A plane containing the view direction: rotated a quarter turn about X.
    MatrixStruct edgeOn{};
    edgeOn.m[0] = edgeOn.m[15] = 1;
    edgeOn.m[6] = 1;
    edgeOn.m[9] = -1;
    kvViewportSetParallel(vp, 0.01);
    EXPECT_EQ(VertexProjectionOnPlane(vp, &in, &out, &edgeOn, 0), 0);
}

TEST_F(ViewportTest, CameraMovesKeepTheTargetAndDistance) {
    kvViewportSetCamera(vp, {0, -10, 0}, {0, 0, 0}, {0, 0, 1});
    kvViewportSetPreset(vp, KvViewFront);
    kvViewportOrbit(vp, 90, 0); // the eye turns counter-clockwise seen from above: to +X
    KvViewInfo info = kvViewportInfo(vp);
    EXPECT_POINT_NEAR(info.eye, {10, 0, 0});
    kvViewportOrbit(vp, 0, 45);
    info = kvViewportInfo(vp);
    EXPECT_POINT_NEAR(info.eye, {10 / std::sqrt(2.0), 0, 10 / std::sqrt(2.0)});
    kvViewportOrbit(vp, 0, 180); // stops short of the pole
    EXPECT_NEAR(kvViewportInfo(vp).eye.z, 10 * std::sin(89 * M_PI / 180), 1e-9);

    kvViewportSetPreset(vp, KvViewIso);
    kvViewportSetParallel(vp, 0.02);
    kvViewportZoom(vp, 2);
    EXPECT_DOUBLE_EQ(kvViewportInfo(vp).unitsPerPixel, 0.01);
    double px0, py0, px1, py1;
    kvViewportWorldToPixel(vp, {1, 2, 3}, &px0, &py0);
    kvViewportPan(vp, 10, -5);
    kvViewportWorldToPixel(vp, {1, 2, 3}, &px1, &py1);
    EXPECT_NEAR(px1 - px0, 10, 1e-9);
    EXPECT_NEAR(py1 - py0, -5, 1e-9);

    kvViewportSetPerspective(vp, 45);
    ExtentsStruct* box = ExtentsNewEx();
    ExtentsSet(box, 4, 4, 0, 6, 6, 2);
    ASSERT_EQ(kvViewportFit(vp, box, 0.5), 1);
    ExtentsDispose(&box);
    EXPECT_POINT_NEAR(kvViewportInfo(vp).target, {5, 5, 1});
    kvViewportWorldToPixel(vp, {5, 5, 1}, &px0, &py0);
    EXPECT_NEAR(px0, 399.5, 1e-9);
    EXPECT_NEAR(py0, 299.5, 1e-9);
}

TEST_F(ViewportTest, DrawingsOwnTheirViewportsAndKeepAnActiveOne) {
    DrawingStruct* d = kvDrawingNew();
    ASSERT_NE(d, nullptr);
    ViewportStruct* first = kvViewportCreate(d, 320, 200);
    ViewportStruct* second = kvViewportCreate(d, 320, 200);
    EXPECT_EQ(DrawingGetActiveViewport(d), first);
    EXPECT_EQ(DrawingViewportFirst(d), first);
    EXPECT_EQ(ViewportGetDrawing(second), d);
    EXPECT_EQ(DrawingViewportDelete(d, vp), 0) << "not one of its viewports";
    ASSERT_EQ(DrawingViewportDelete(d, first), 1);
    EXPECT_EQ(DrawingGetActiveViewport(d), second);
    EXPECT_EQ(DrawingViewportFirst(d), second);
    ViewportDispose(&first);
    const long live = kvLiveCount(KvViewport);
    DrawingDispose(&d); // releases the viewport it still owns
    EXPECT_EQ(kvLiveCount(KvViewport), live - 1);
}

} // namespace
