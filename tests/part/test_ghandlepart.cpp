// Handle parts: the working copy of the geometry, placement with and without a non-orthogonal
// matrix, fixed on-screen sizes, the view-dependent scale and the snap centre, the visibility
// rule, the pick epsilon of scaled parts and the default pick aperture. The control's size
// limits and picking in every view are checked through the exports (tests/control, tests/part).
#include "part/handle_fixture.h"
#include "support/math3d.h"
#include "tiller/geometry/geometry.h"

#include "korvex/testing.h"
#include "korvex/view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace testprofile;
using tiller::GHandlePart;

namespace {

void ExpectCentre(const GHandlePart* part, double x, double y, double z) {
    const ExtentsStruct* e = part->PartGetExtents();
    EXPECT_NEAR((ExtentsGetX1(e) + ExtentsGetX2(e)) / 2, x, 1e-12);
    EXPECT_NEAR((ExtentsGetY1(e) + ExtentsGetY2(e)) / 2, y, 1e-12);
    EXPECT_NEAR((ExtentsGetZ1(e) + ExtentsGetZ2(e)) / 2, z, 1e-12);
}

} // namespace

class PartTest : public HandleFixture {};

TEST_F(PartTest, AncestorAndOwnMatricesAreBakedIntoTheCopy) {
    GraphicStruct* group = AddStatic(root, "Marker", {0, 0, 0});
    const MatrixStruct up = Translation({0, 0, 1});
    const MatrixStruct right = Translation({1, 0, 0});
    GraphicSetMatrix(group, &up, 0);
    GraphicPosition pos;
    GraphicSetMatrix(GraphicFirst(group, &pos, 1, 1), &right, 0);
    GHandle* h = Load(group);
    ASSERT_TRUE(h->IsLoaded());
    const GHandlePart* part = h->Part(tiller::SlotStatic);
    EXPECT_TRUE(MatrixIsIdentity(GraphicGetMatrix(part->PartGetGeometry())));
    ExpectCentre(part, 1, 0, 1);
}

TEST_F(PartTest, NonOrthogonalMatrixIsBakedAndUndoneByTheNextMatrix) {
    GHandle* h = Load(AddStatic(root, "Marker", {0.2, 0, 0}));
    GHandlePart* part = h->Part(tiller::SlotStatic);
    const MatrixStruct doubled = {{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1}};
    ASSERT_TRUE(part->PartSetMatrix(&doubled));
    ExpectCentre(part, 0.4, 0, 0);
    const MatrixStruct moved = Translation({0, 1, 0});
    ASSERT_TRUE(part->PartSetMatrix(&moved));
    EXPECT_TRUE(MatrixEqual(GraphicGetMatrix(part->PartGetGeometry()), &moved));
    ExpectCentre(part, 0.2, 1, 0);
    EXPECT_TRUE(DrawnWith(part, moved));
}

// A drag moves a following part's element at every step and its working copy only when it is
// read: what is read then is what placing the part at every step would have given.
TEST_F(PartTest, FollowingADragSettlesWhereEveryStepWouldHavePlacedIt) {
    const double c = std::cos(0.5), s = std::sin(0.5);
    const MatrixStruct turned = {{c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0.1, 0, 0, 1}};
    const MatrixStruct stretched = {{2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0.3, 0, 1}};
    const MatrixStruct stretchedOn = {{2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.4, 0.3, 0, 1}};
    const MatrixStruct moved = Translation({0, 1, 0});
    const std::vector<std::vector<MatrixStruct>> drags = {
        {turned, moved}, {stretched, stretchedOn}, {moved, stretched}, {stretched, turned}};
    for (const std::vector<MatrixStruct>& steps : drags) {
        GHandlePart* follower =
            Load(AddStatic(root, "Follower", {0.2, 0.1, 0}))->Part(tiller::SlotStatic);
        GHandlePart* placed =
            Load(AddStatic(root, "Placed", {0.2, 0.1, 0}))->Part(tiller::SlotStatic);
        for (const MatrixStruct& step : steps) {
            follower->PartFollowMatrix(step);
            EXPECT_TRUE(DrawnWith(follower, step));
            ASSERT_TRUE(placed->PartSetMatrix(&step));
        }
        follower->PartSettle();
        const ExtentsStruct* got = follower->PartGetExtents();
        const ExtentsStruct* want = placed->PartGetExtents();
        for (auto corner :
             {ExtentsGetX1, ExtentsGetY1, ExtentsGetZ1, ExtentsGetX2, ExtentsGetY2, ExtentsGetZ2})
            EXPECT_NEAR(corner(got), corner(want), 1e-12);
        EXPECT_NEAR(tiller::VertexDistance(follower->PartGetCenter(), placed->PartGetCenter()), 0,
                    1e-12);
    }
    // A bake the host cannot make leaves the part as it was, still to be settled.
    GHandlePart* part = Load(AddStatic(root, "Failing", {0.2, 0.1, 0}))->Part(tiller::SlotStatic);
    const double before = ExtentsGetX2(part->PartGetExtents());
    part->PartFollowMatrix(stretched);
    kvFailNthCreation(1);
    EXPECT_FALSE(part->PartSettle());
    EXPECT_EQ(ExtentsGetX2(part->PartGetExtents()), before);
    EXPECT_TRUE(part->PartSettle());
    EXPECT_NEAR(ExtentsGetX2(part->PartGetExtents()), 2 * before, 1e-12);
}

TEST_F(PartTest, FixedSizeSetsTheLimitsAndSelectionSizedPartsHaveNone) {
    GraphicStruct* fixed = AddHandleGroup(root, {"Fixed"});
    AddSquarePart(fixed, "mouseout", {0, 0, 0}, 0.05, {{"part_fixed_size", "300"}});
    AddSquarePart(fixed, "mouseover", {0, 0, 0}, 0.05);
    AddCoordsystem(fixed);
    GHandle* h = Load(fixed);
    EXPECT_DOUBLE_EQ(Info(h->Part(tiller::SlotMouseout)).minResolution, 0.002);
    EXPECT_DOUBLE_EQ(Info(h->Part(tiller::SlotMouseout)).maxResolution, 0.002);

    GHandle* sized =
        Load(AddInteractive(root,
                            {"Box",
                             "move",
                             "extents_center",
                             "gctrl_cs",
                             "rotbar_cs_x",
                             {{"handle_extents", "by_selection"}, {"handle_multi_view", "yes"}}},
                            {0, 0, 0}));
    kvViewportZoom(vp, 3);
    const KvElementInfo free = Info(sized->Part(tiller::SlotMouseout));
    EXPECT_EQ(free.minResolution + free.maxResolution, 0);
    EXPECT_EQ(free.viewMode, 0);
    EXPECT_EQ(free.callbacks, 0);
}

TEST_F(PartTest, ViewCallbackFollowsTheScaleAndTheSnapCentre) {
    GHandle* h = Load(AddInteractive(
        root,
        {"Snap", "move", "refpoint", "gctrl_cs", "rotbar_cs_x", {{"handle_snap_to_center", "yes"}}},
        {0.2, 0, 0}));
    GHandlePart* mouseout = h->Part(tiller::SlotMouseout);
    // 0.01 units per pixel against a largest resolution of 0.6 / 200 per pixel.
    kvViewportZoom(vp, 1);
    const double k = 0.01 / (0.6 / 200);
    EXPECT_NEAR(mouseout->PartGetViewScale(), k, 1e-9);
    EXPECT_NEAR(h->xCenter, 0.2 * k, 1e-9);
    kvViewportZoom(vp, 2);
    EXPECT_NEAR(mouseout->PartGetViewScale(), k / 2, 1e-9);
    EXPECT_NEAR(h->xCenter, 0.2 * k / 2, 1e-9);
    EXPECT_NEAR(h->Part(tiller::SlotMouseover)->PartGetViewScale(), 1.0, 0);
}

TEST_F(PartTest, VisibilityRuleFollowsStateActiveAndHighlight) {
    GraphicStruct* group = AddInteractive(root, {"All"}, {0, 0, 0});
    for (const char* type : {"active", "static", "highlight_area", "visibility_area"})
        AddSquarePart(group, type, {0, 0, 0}, 0.05);
    GHandle* h = Load(group);
    using S = tiller::PartSlot;
    const S order[] = {tiller::SlotMouseout, tiller::SlotMouseover,     tiller::SlotActive,
                       tiller::SlotStatic,   tiller::SlotHighlightArea, tiller::SlotVisibilityArea};
    struct Row {
        uint32_t state;
        bool active, highlighted;
        const char* shown; // one flag per slot of `order`
    };
    const Row rows[] = {
        {1, true, false, "001100"}, {0, true, true, "000000"},  {0, false, false, "100100"},
        {2, false, true, "110100"}, {1, false, true, "000100"}, {3, false, false, "000000"},
    };
    for (const Row& row : rows)
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(h->Part(order[i])->PartIsVisibleInState(row.state, row.active,
                                                              row.highlighted, false),
                      row.shown[i] == '1')
                << "state " << row.state << " slot " << i;

    GHandle* rotbar = Load(AddStatic(root, "Ref", {0, 0, 0}));
    rotbar->OrientationType = OrientationGCtrlRotbarCS;
    const GHandlePart* shown = rotbar->Part(tiller::SlotStatic);
    EXPECT_TRUE(shown->PartIsVisibleInState(1, false, false, false));
    EXPECT_FALSE(shown->PartIsVisibleInState(1, false, false, true));
    rotbar->HideStaticPartsWhiledrag = 1;
    EXPECT_FALSE(shown->PartIsVisibleInState(1, true, false, false));
    EXPECT_TRUE(shown->PartIsVisibleInState(0, false, false, false));
}

TEST_F(PartTest, PerspectivePickOfAScaledPartRestoresThePickEpsilon) {
    GHandlePart* part =
        Load(AddInteractive(root, {"Far"}, {0.3, 0, 0}))->Part(tiller::SlotMouseout);
    kvViewportSetPerspective(vp, 45);
    kvViewportZoom(vp, 0.5);
    ASSERT_GT(part->PartGetViewScale(), 1.0);
    const double k = part->PartGetViewScale();
    double px = 0, py = 0;
    ASSERT_TRUE(kvViewportWorldToPixel(vp, {0.3 * k, 0, 0}, &px, &py));
    vp->perspectivePickEpsilon = 0.25;
    double facet = -1, distance = -1;
    kvViewportSetCursorPixel(vp, px, py);
    EXPECT_TRUE(part->PartHitTest(vp, 0.3 * k, 0, 0, &facet, &distance, -1));
    EXPECT_GE(facet, 0);
    EXPECT_NEAR(part->PartGetHitPoint()->x, 0.3 * k, 1e-6);
    kvViewportSetCursorPixel(vp, px, py + 100);
    EXPECT_FALSE(part->PartHitTest(vp, 0.3 * k, 0, 0, &facet, &distance, -1));
    EXPECT_EQ(vp->perspectivePickEpsilon, 0.25);
}

TEST_F(PartTest, DisplayErrorsAreTracedOnlyWhileTracingIsOn) {
    GHandlePart* part = Load(AddInteractive(root, {"T"}, {0, 0, 0}))->Part(tiller::SlotMouseout);
    control->properties.ScreenSize_Max = -10;
    kvClearTrace();
    part->PartUpdateResolution();
    EXPECT_TRUE(kvTraceLines().empty());
    kvSetTracing(true);
    part->PartUpdateResolution();
    kvSetTracing(false);
    EXPECT_EQ(kvTraceLines(), std::vector<std::string>{"GHandlePart(24): invalid argument"});
}

// The host's screen width is asked once per process: a later change does not move the aperture.
TEST(PickAperture, DefaultIsTakenFromTheHostOnceAndKept) {
    kvSetScreenWidth(640);
    EXPECT_EQ(tiller::DefaultPickAperture(), 3);
    kvSetScreenWidth(2560);
    EXPECT_EQ(tiller::DefaultPickAperture(), 3);
    kvSetScreenWidth(1920);
}
