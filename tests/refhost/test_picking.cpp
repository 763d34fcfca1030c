// Picking queries following changes of the picked graphics, and the host application's side of
// pointing: drag samples, the grabbed point, the extents callback. Where each query finds the
// handles in both projections is checked through the library (tests/part/test_hover.cpp).
#include "korvex/cad.h"
#include "korvex/drawing.h"
#include "support/failing_allocations.h"
#include "support/math3d.h"
#include "support/scene_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

class PickingTest : public SceneFixture {
  protected:
    void SetUp() override {
        SceneFixture::SetUp();
        ASSERT_NE(scene, nullptr);
        kvViewportSetCamera(vp, {0, 0, 10}, {0, 0, 0}, {0, 1, 0}); // top view
        kvViewportSetParallel(vp, 0.01);
        box = kvSceneAddBox(scene, {-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}, 0x808080);
        ASSERT_NE(box, nullptr);
    }

    double facet(GraphicStruct* g, KvPoint p) {
        VertexStruct q{p.x, p.y, p.z, nullptr, nullptr};
        return GraphicGetClosestFacet(&q, g, nullptr, nullptr, nullptr, nullptr, &hit, &normal, vp,
                                      0x42F0, 0, 0);
    }
    GraphicStruct* addToModel(GraphicStruct* g) {
        EXPECT_EQ(kvGraphicAddChild(DrawingGetModelRoot(drawing), g), 1);
        return g;
    }

    GraphicStruct* box = nullptr;
    VertexStruct hit{}, normal{};
};

TEST_F(PickingTest, QueriesFollowMatrixAndGeometryChanges) {
    ASSERT_GE(facet(box, {0.1, 0.2, 0}), 0);
    const MatrixStruct moved = Translation(5, 0, 0);
    GraphicSetMatrix(box, &moved, 0);
    EXPECT_LT(facet(box, {0.1, 0.2, 0}), 0);
    ASSERT_GE(facet(box, {5.1, 0.2, 0}), 0);
    EXPECT_POINT_NEAR(PointOf(hit), {5.1, 0.2, 0.5});

    GraphicSetMatrix(box, nullptr, 0);
    const MatrixStruct twice = Frame({2, 0, 0}, {0, 2, 0}, {0, 0, 2});
    GraphicTransform(box, &twice, 0, 1, 1, 0);
    ASSERT_GE(facet(box, {0.9, 0, 0}), 0);
    EXPECT_POINT_NEAR(PointOf(hit), {0.9, 0, 1});

    // A copy starts from what the original measured; each follows its own later bakes.
    GraphicStruct* copy = GraphicCopyEx(box, nullptr, 0, 0);
    const MatrixStruct stretch = Frame({1, 0, 0}, {0, 3, 0}, {0, 0, 1});
    GraphicTransform(copy, &stretch, 0, 1, 1, 0);
    ASSERT_GE(facet(copy, {0, 2.5, 0}), 0);
    EXPECT_POINT_NEAR(PointOf(hit), {0, 2.5, 1});
    VertexStruct beside{1.05, 2.5, 0, nullptr, nullptr};
    CSystemUserToViewportEx(vp, 0, &beside, &beside);
    EXPECT_NEAR(GraphicGetDistanceEx2(copy, &beside, ViewportGetMatrix(vp), &hit, nullptr, nullptr,
                                      0.1, 0x8FF, 0, 1, vp),
                0.05, 1e-9);
    EXPECT_LT(facet(box, {0, 2.5, 0}), 0);
    GraphicDispose(&copy);

    // A change deep in a group reaches the group's query.
    GraphicStruct* group = addToModel(kvGraphicNew(GraphicKindGroup));
    GraphicStruct* quad = kvGraphicNew(GraphicKindMesh);
    for (const KvPoint p : {KvPoint{0, 0, 0}, KvPoint{1, 0, 0}, KvPoint{1, 1, 0}})
        kvGraphicAddVertex(quad, p.x, p.y, p.z);
    kvGraphicAddFace(quad, 0, 1, 2);
    ASSERT_EQ(kvGraphicAddChild(group, quad), 1);
    EXPECT_LT(facet(group, {0.2, 0.6, 0}), 0);
    kvGraphicAddVertex(quad, 0, 1, 0);
    kvGraphicAddFace(quad, 0, 2, 3);
    ASSERT_GE(facet(group, {0.2, 0.6, 0}), 0);
    EXPECT_POINT_NEAR(PointOf(hit), {0.2, 0.6, 0});
    GraphicSetMatrix(quad, &moved, 0);
    EXPECT_LT(facet(group, {0.2, 0.6, 0}), 0) << "a child's own matrix shapes its group";
}

// Copies of one graphic derive their picking and display data once between them; a copy
// changed afterwards, by a bake or a new pen, picks and draws its own geometry while the
// others keep theirs.
TEST_F(PickingTest, CopiesShareWhatIsDerivedUntilOneChanges) {
    GraphicStruct* stretched = GraphicCopyEx(box, nullptr, 0, 0);
    GraphicStruct* kept = GraphicCopyEx(box, nullptr, 0, 0);
    ASSERT_GE(facet(stretched, {0.1, 0.2, 0}), 0);
    const MatrixStruct stretch = Frame({3, 0, 0}, {0, 1, 0}, {0, 0, 1});
    GraphicTransform(stretched, &stretch, 0, 1, 1, 0);
    EXPECT_GE(facet(stretched, {1.2, 0, 0}), 0);
    EXPECT_LT(facet(kept, {1.2, 0, 0}), 0);
    EXPECT_LT(facet(box, {1.2, 0, 0}), 0);

    // The widest x an element made from the graphic draws, and the colour of its faces.
    const auto drawn = [](GraphicStruct* g, double* widest, uint32_t* color) {
        CRedUIElement element;
        KvGeometry shown;
        ASSERT_EQ(element.CreatePrimByGraphic(g, false), 0);
        ASSERT_EQ(kvElementGetGeometry(&element, &shown), 1);
        ASSERT_FALSE(shown.triangles.empty());
        *widest = 0;
        for (const KvTriangle& t : shown.triangles)
            *widest = std::max({*widest, t.a.x, t.b.x, t.c.x});
        *color = shown.triangles.front().color;
    };
    double widest = 0;
    uint32_t color = 0;
    drawn(kept, &widest, &color);
    EXPECT_NEAR(widest, 0.5, 1e-12);
    drawn(stretched, &widest, &color);
    EXPECT_NEAR(widest, 1.5, 1e-12);
    kvGraphicSetPen(kept, 0x0000FF);
    drawn(kept, &widest, &color);
    EXPECT_EQ(color, 0x0000FFu);
    drawn(box, &widest, &color);
    EXPECT_EQ(color, 0x808080u);
    GraphicDispose(&stretched);
    GraphicDispose(&kept);
}

TEST_F(PickingTest, FlatBoxIsASheetAndLinesOrPointsAreRefused) {
    GraphicStruct* sheet = kvSceneAddBox(scene, {-1, -1, 1}, {1, 1, 1}, 0x808080);
    ASSERT_NE(sheet, nullptr);
    ASSERT_GE(facet(sheet, {0.2, 0.3, 0}), 0);
    EXPECT_NEAR(hit.z, 1, 1e-12);
    EXPECT_LT(facet(sheet, {1.2, 0.3, 0}), 0);
    EXPECT_EQ(kvSceneAddBox(scene, {0, 0, 0}, {1, 0, 0}, 0x808080), nullptr);
    EXPECT_EQ(kvSceneAddBox(scene, {0, 0, 0}, {0, 0, 0}, 0x808080), nullptr);
    EXPECT_EQ(kvSceneAddBox(scene, {1, 0, 0}, {0, 1, 1}, 0x808080), nullptr);
    EXPECT_EQ(kvSceneSelection(scene).front(), sheet);
}

TEST_F(PickingTest, ExtentsCallbackMeasuresInARotatedFrameAndPreviewsDoNotAddUpToTheAppliedDrag) {
    GraphicStruct* slab = kvSceneAddBox(scene, {0, 0, 0}, {2, 1, 0.5}, 0x00FF00);
    ASSERT_EQ(kvSceneSelection(scene).size(), 1u);
    ASSERT_EQ(kvSceneSelection(scene)[0], slab);
    // World to a frame whose x is world Y, y is world -X and origin world (1, 0, 0).
    MatrixStruct cs = Identity;
    cs.m[0] = 0, cs.m[1] = -1, cs.m[4] = 1, cs.m[5] = 0, cs.m[13] = 1;
    ExtentsStruct* e = ExtentsNewEx();
    ASSERT_EQ(kvSelectionExtents(&cs, &e), 1);
    EXPECT_NEAR(ExtentsGetX1(e), 0, 1e-12);
    EXPECT_NEAR(ExtentsGetX2(e), 1, 1e-12);
    EXPECT_NEAR(ExtentsGetY1(e), -1, 1e-12);
    EXPECT_NEAR(ExtentsGetY2(e), 1, 1e-12);
    EXPECT_NEAR(ExtentsGetZ2(e), 0.5, 1e-12);

    // Previews place the selection from where it was, so they do not add up; the drag's
    // final matrix is applied once.
    const MatrixStruct drag = Translation(0, 3, 0);
    const MatrixStruct halfway = Translation(0, 1.5, 0);
    ASSERT_EQ(kvScenePreviewSelection(scene, &halfway), 1);
    ASSERT_EQ(kvScenePreviewSelection(scene, &drag), 1);
    ASSERT_EQ(kvSelectionExtents(&cs, &e), 1);
    EXPECT_NEAR(ExtentsGetX1(e), 3, 1e-12);
    ASSERT_EQ(kvScenePreviewSelection(scene, nullptr), 1);
    ASSERT_EQ(kvSelectionExtents(&cs, &e), 1);
    EXPECT_NEAR(ExtentsGetX1(e), 0, 1e-12);
    // A change of the selection puts a previewed graphic back too.
    ASSERT_EQ(kvScenePreviewSelection(scene, &halfway), 1);
    kvSceneSelect(scene, slab, 1);
    ASSERT_EQ(kvSelectionExtents(&cs, &e), 1);
    EXPECT_NEAR(ExtentsGetX1(e), 0, 1e-12);
    ASSERT_EQ(kvScenePreviewSelection(scene, &halfway), 1);
    ASSERT_EQ(kvSceneTransformSelection(scene, &drag), 1);
    ASSERT_EQ(kvSelectionExtents(&cs, &e), 1);
    EXPECT_NEAR(ExtentsGetX1(e), 3, 1e-12);
    EXPECT_NEAR(ExtentsGetY1(e), -1, 1e-12);
    ASSERT_EQ(kvSceneTransformSelection(scene, &drag), 1);
    ASSERT_EQ(kvSelectionExtents(&cs, &e), 1);
    EXPECT_NEAR(ExtentsGetX1(e), 6, 1e-12);

    kvSceneClearSelection(scene);
    EXPECT_EQ(kvSelectionExtents(&cs, &e), 0);
    ExtentsDispose(&e);
}

TEST_F(PickingTest, DragSamplesFollowTheWorkPlaneInBothProjections) {
    double px, py;
    KvDragSample s;
    kvViewportWorldToPixel(vp, {0.3, 0.2, 0}, &px, &py);
    ASSERT_EQ(kvScenePointerMove(scene, vp, px, py, &s), 1);
    EXPECT_POINT_NEAR({s.x, s.y, s.z}, {0.3, 0.2, 0});
    EXPECT_POINT_NEAR({s.vx, s.vy, s.vz}, {0.3, 0.2, -10}); // view coordinates
    EXPECT_EQ(kvViewportInfo(vp).cursorX, px);

    // A press on the box grabs its top face; the drag then moves on the plane through it.
    kvViewportWorldToPixel(vp, {0.1, 0.1, 0.5}, &px, &py);
    ASSERT_EQ(kvScenePointerPress(scene, vp, px, py, &s), 1);
    EXPECT_POINT_NEAR({s.x, s.y, s.z}, {0.1, 0.1, 0.5});
    kvViewportWorldToPixel(vp, {0.9, -2, 0.5}, &px, &py);
    ASSERT_EQ(kvScenePointerMove(scene, vp, px, py, &s), 1);
    EXPECT_POINT_NEAR({s.x, s.y, s.z}, {0.9, -2, 0.5});
    kvScenePointerRelease(scene);
    ASSERT_EQ(kvScenePointerMove(scene, vp, px, py, &s), 1);
    EXPECT_NEAR(s.z, 0, 1e-9);

    // Edge-on, the work plane faces the view through the target.
    kvViewportSetCamera(vp, {0, -10, 0}, {0, 0, 0}, {0, 0, 1});
    kvViewportWorldToPixel(vp, {0.3, 0, 0.4}, &px, &py);
    ASSERT_EQ(kvScenePointerMove(scene, vp, px, py, &s), 1);
    EXPECT_POINT_NEAR({s.x, s.y, s.z}, {0.3, 0, 0.4});

    // Perspective: the view triple is the normalized projection of the cursor point.
    kvViewportSetCamera(vp, {6, -8, 5}, {0, 0, 0}, {0, 0, 1});
    kvViewportSetPerspective(vp, 50);
    kvViewportWorldToPixel(vp, {1.5, 0.7, 0}, &px, &py);
    ASSERT_EQ(kvScenePointerMove(scene, vp, px, py, &s), 1);
    EXPECT_POINT_NEAR({s.x, s.y, s.z}, {1.5, 0.7, 0});
    const double k = 2 * std::tan(25 * M_PI / 180) / 600;
    EXPECT_POINT_NEAR({s.vx, s.vy, s.vz}, {(px + 0.5 - 400) * k, (300 - py - 0.5) * k, -1});
}

TEST_F(PickingTest, PressGrabsElementsDrawnOverTheModel) {
    GraphicStruct* quad = kvGraphicNew(GraphicKindMesh);
    for (const KvPoint p : {KvPoint{-1, -1, 0}, KvPoint{1, -1, 0}, KvPoint{1, 1, 0}})
        kvGraphicAddVertex(quad, p.x, p.y, p.z);
    kvGraphicAddFace(quad, 0, 1, 2);
    auto element = std::make_unique<CRedUIElement>();
    element->SetSceneByViewport(vp);
    element->CreatePrimByGraphic(quad, false);
    GraphicDispose(&quad); // the element keeps its own snapshot
    const MatrixStruct underTheBox = Translation(0, 0, -3);
    element->SetMatrix(&underTheBox, false);

    double px, py;
    KvDragSample s;
    kvViewportWorldToPixel(vp, {0.4, -0.2, 0}, &px, &py);
    element->SetDrawpriority(0, false);
    ASSERT_EQ(kvScenePointerPress(scene, vp, px, py, &s), 1);
    EXPECT_NEAR(s.z, 0.5, 1e-9) << "at the model's priority the nearer box wins";
    kvScenePointerRelease(scene);
    element->SetDrawpriority(1, false);
    ASSERT_EQ(kvScenePointerPress(scene, vp, px, py, &s), 1);
    EXPECT_POINT_NEAR({s.x, s.y, s.z}, {0.4, -0.2, -3});
    kvScenePointerRelease(scene);
}

TEST_F(PickingTest, GraphicsLoadedFromAFileJoinTheModelSelected) {
    DrawingStruct* d = kvDrawingNew();
    GraphicStruct* tri = kvGraphicNew(GraphicKindMesh);
    for (const KvPoint p : {KvPoint{3, 0, 0}, KvPoint{4, 0, 0}, KvPoint{4, 2, 1}})
        kvGraphicAddVertex(tri, p.x, p.y, p.z);
    kvGraphicAddFace(tri, 0, 1, 2);
    kvGraphicAddChild(DrawingGetModelRoot(d), tri);
    const std::string path = std::string(TILLER_BUILD_DIR) + "/test_picking_selection.qvw";
    std::string reason;
    ASSERT_EQ(kvWriteDrawingFile(d, path.c_str(), &reason), 1) << reason;
    DrawingDispose(&d);

    ASSERT_EQ(kvSceneLoadFile(scene, path.c_str(), &reason), 1) << reason;
    std::remove(path.c_str());
    ASSERT_EQ(kvSceneSelection(scene).size(), 1u);
    ExtentsStruct* e = ExtentsNewEx();
    ASSERT_EQ(kvSceneSelectionExtents(scene, nullptr, e), 1);
    EXPECT_DOUBLE_EQ(ExtentsGetX1(e), 3);
    EXPECT_DOUBLE_EQ(ExtentsGetY2(e), 2);
    EXPECT_DOUBLE_EQ(ExtentsGetZ2(e), 1);
    ExtentsDispose(&e);
    double px, py;
    KvDragSample grabbed;
    kvViewportWorldToPixel(vp, {3.9, 0.5, 0}, &px, &py);
    ASSERT_EQ(kvScenePointerPress(scene, vp, px, py, &grabbed), 1);
    EXPECT_NEAR(grabbed.z, 0.25, 1e-9) << "the press finds it in the model";
    kvScenePointerRelease(scene);
    EXPECT_EQ(kvSceneLoadFile(scene, path.c_str(), &reason), 0);
}

// Every allocation of a selection change fails in turn: the change answers success with the
// selection asked for, or failure with the selection as it was.
TEST_F(PickingTest, SelectionChangesAreAllOrNothingWhenMemoryRunsOut) {
    GraphicStruct* b = kvSceneAddBox(scene, {2, -0.5, -0.5}, {3, 0.5, 0.5}, 0x808080);
    GraphicStruct* c = kvSceneAddBox(scene, {-3, -0.5, -0.5}, {-2, 0.5, 0.5}, 0x808080);
    ASSERT_TRUE(b && c);
    for (auto [g, name] : {std::pair{box, "a"}, std::pair{b, "b"}, std::pair{c, "c"}})
        ASSERT_EQ(kvGraphicAddTextProperty(g, "Name", name), 1);
    double cx, cy;
    kvViewportWorldToPixel(vp, {-2.5, 0, 0}, &cx, &cy);
    using Selection = std::vector<GraphicStruct*>;
    struct Change {
        Selection from, asked;
        std::function<bool()> make;
    };
    // Each change grows the selection past any room an earlier one left.
    const Change changes[] = {
        {{box}, {box, b}, [&] { return kvSceneSelectByName(scene, "b", 1, nullptr) == 1; }},
        {{box, b}, {box, b, c}, [&] { return kvSceneClickSelect(scene, vp, cx, cy, 1) == c; }},
        {{box, b}, {c}, [&] { return kvSceneSelectByName(scene, "c", 0, nullptr) == 1; }},
    };
    for (const Change& change : changes) {
        int failures = 0;
        for (long n = 1;; ++n) {
            kvSceneClearSelection(scene);
            for (GraphicStruct* g : change.from)
                ASSERT_EQ(kvSceneSelect(scene, g, 1), 1);
            FailNthAllocation(n);
            const bool made = change.make();
            const bool fired = AllocationFailed();
            FailNthAllocation(0);
            EXPECT_EQ(kvSceneSelection(scene), made ? change.asked : change.from) << "N " << n;
            if (!fired) break;
            failures += made ? 0 : 1;
        }
        EXPECT_GT(failures, 0) << "some allocation of the change must be able to fail it";
    }
}

} // namespace
