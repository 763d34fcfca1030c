// Setup, display, state and hover through the exported functions: settings that hide groups of
// handles, flat selections, show modes, drag state changes, the host hiding a handle, and the
// highlight following the pointer.
#include "control/control_fixture.h"

#include "korvex/testing.h"

#include <gtest/gtest.h>

using namespace testprofile;

class SetupTest : public ControlFixture {
  protected:
    void SetUp() override {
        ControlFixture::SetUp();
        AddInteractive(root, {"AxisX"}, {0, 0.3, 0});
        AddInteractive(root, {"MoveRef"}, {0.3, 0, 0});
        AddInteractive(root,
                       {"Flat",
                        "move",
                        "extents_center",
                        "selection_cs",
                        "rotbar_cs_xy",
                        {{"handle_hide_if_selection2D", "yes"}}},
                       {0, -0.3, 0});
        AddStatic(root, "Multi", {-0.3, 0, 0}, {{"handle_multi_view", "yes"}});
        ASSERT_NE(control = CreateWritten("setup.qvw", false), nullptr);
    }
    int Visible(const char* name) { return dbGHandleGetVisible(control, Named(control, name)); }
    // Applies the settings and answers the visibility of AxisX, MoveRef, Flat and Multi.
    std::string VisibilityAfter(const GControlProperties& next, ExtentsStruct* extents = nullptr) {
        props = next;
        EXPECT_EQ(Setup(control, props, extents), 1);
        std::string shown;
        for (const char* name : {"AxisX", "MoveRef", "Flat", "Multi"})
            shown += Visible(name) ? '1' : '0';
        return shown;
    }

    GControl* control = nullptr;
    GControlProperties props;
};

TEST_F(SetupTest, SettingsHideAndShowTheirHandleGroups) {
    GControlProperties next = props;
    next.Show_Axes = 0;
    EXPECT_EQ(VisibilityAfter(next), "0111");
    next.Show_Handles_RotBar_Move = 0;
    EXPECT_EQ(VisibilityAfter(next), "0011");
    // Both flags of a refpoint move handle in control orientation change: the later one rules.
    next.Show_Handles_RotBar_Move = 1;
    next.Show_Handles_GCtrlCS_Move = 0;
    EXPECT_EQ(VisibilityAfter(next), "0011");
    next.Show_Handles_RotBar_Move = 0;
    next.Show_Handles_GCtrlCS_Move = 1;
    EXPECT_EQ(VisibilityAfter(next), "0111");
}

TEST_F(SetupTest, HostHidingSurvivesEqualSettingsAndIsUndone) {
    GHandle* axis = Named(control, "AxisX");
    EXPECT_EQ(dbGHandleSetVisible(control, axis, 0), 1);
    EXPECT_EQ(VisibilityAfter(props), "0111");
    EXPECT_EQ(dbGHandleSetVisible(control, axis, 1), 1);
    EXPECT_EQ(Visible("AxisX"), 1);
    EXPECT_EQ(dbGHandleSetVisible(control, nullptr, 1), 0);
}

TEST_F(SetupTest, FlatSelectionHidesOnlyHandlesThatAskForIt) {
    ExtentsStruct* extents = ExtentsNewEx();
    ExtentsSet(extents, 0, 0, 0, 5e-8, 1, 1);
    EXPECT_EQ(VisibilityAfter(props, extents), "1101");
    ExtentsSet(extents, 0, 0, 0, 1, 1, 1);
    EXPECT_EQ(VisibilityAfter(props, extents), "1111");
    EXPECT_EQ(VisibilityAfter(props, nullptr), "1111");
    ExtentsDispose(&extents);
}

TEST_F(SetupTest, ShowModesShowHideOrKeepOnlyMultiViewHandles) {
    ASSERT_EQ(dbGCtrlShow(control, 1, 1), 1);
    EXPECT_EQ(VisibleElements(), 4); // three mouseout parts and one static part
    ASSERT_EQ(dbGCtrlShow(control, 3, 0), 1);
    EXPECT_EQ(VisibleElements(), 1);
    ASSERT_EQ(dbGCtrlShow(control, 0, 0), 1);
    EXPECT_EQ(VisibleElements(), 0);
}

TEST_F(SetupTest, StateChangesAreRefusedWhenTheyChangeNothing) {
    GHandle* axis = Named(control, "AxisX");
    EXPECT_EQ(dbGCtrlSetState(control, 0, axis, 0, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(dbGCtrlSetState(control, 1, nullptr, 0, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(dbGCtrlSetState(control, 1, axis, 1, 2, 3, 0, 0, 0, 0), 1);
    EXPECT_EQ(dbGCtrlSetState(control, 1, axis, 4, 5, 6, 0, 0, 0, 0), 0);
    MatrixStruct* shift = MatrixNewEx();
    shift->m[12] = 1;
    EXPECT_EQ(dbGCtrlTransform(control, shift), 1);
    EXPECT_EQ(dbGHandleGetParams(control, axis)->mDrag->m[12], 1);
    EXPECT_EQ(dbGCtrlSetState(control, 0, nullptr, 0, 0, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(dbGCtrlTransform(control, shift), 0);
    MatrixDispose(&shift);
}

class HoverTest : public ControlFixture {
  protected:
    void SetUp() override {
        ControlFixture::SetUp();
        // 0.002 units per pixel lies within the screen-size limits: nothing is rescaled.
        kvViewportSetParallel(vp, 0.002);
        AddInteractive(root, {"Left"}, {-0.2, 0, 0});
        AddInteractive(root, {"Right"}, {0.2, 0, 0});
        AddInteractive(
            root,
            {"High", "move", "refpoint", "gctrl_cs", "rotbar_cs_x", {{"handle_priority", "0"}}},
            {0, 0.4, 0});
        AddInteractive(root, {"Low"}, {0, 0.4, 0});
        AddInteractive(root, {"TieA"}, {0.5, 0.4, 0});
        AddInteractive(root, {"TieB"}, {0.5, 0.4, 0});
        AddInteractive(root, {"Above"}, {0.5, -0.4, 0.05});
        AddInteractive(root, {"Below"}, {0.5, -0.4, 0});
        AddLineHandle(root, {"Curve"}, {-0.55, -0.4, 0}, {-0.45, -0.4, 0});
        AddInteractive(root, {"Surface"}, {-0.5, -0.4, 0});
        // One spot, the priorities out of list order: the two of priority 1 tie.
        for (const auto& [name, priority] : {std::pair{"Two", "2"},
                                             {"OneA", "1"},
                                             {"Three", "3"},
                                             {"OneB", "1"},
                                             {"Unranked", "-1"}})
            AddInteractive(root,
                           {name,
                            "move",
                            "refpoint",
                            "gctrl_cs",
                            "rotbar_cs_x",
                            {{"handle_priority", priority}}},
                           {-0.5, 0.4, 0});
        ASSERT_NE(control = CreateWritten("hover.qvw"), nullptr);
    }
    // Hovers over the world point (x, y, 0): the handle's name, or "" for none.
    std::string HoverAt(double x, double y, uint32_t* changed) {
        return HoverName(control, {x, y, 0}, 0, changed);
    }

    GControl* control = nullptr;
};

TEST_F(HoverTest, HighlightFollowsThePointerAndReportsChanges) {
    uint32_t changed = 7;
    const long redraws = kvViewportRedrawCount(vp);
    EXPECT_EQ(HoverAt(-0.2, 0, &changed), "Left");
    EXPECT_EQ(changed, 1u);
    EXPECT_EQ(HoverAt(-0.19, 0.01, &changed), "Left");
    EXPECT_EQ(changed, 0u);
    EXPECT_EQ(HoverAt(0.2, 0, &changed), "Right");
    EXPECT_EQ(changed, 1u);
    EXPECT_EQ(kvViewportRedrawCount(vp), redraws + 2);
    EXPECT_EQ(HoverAt(0, -0.2, &changed), "");
    EXPECT_EQ(changed, 1u);
    EXPECT_EQ(HoverAt(0, -0.25, &changed), "");
    EXPECT_EQ(changed, 0u);
    EXPECT_EQ(kvViewportRedrawCount(vp), redraws + 3);
    EXPECT_EQ(HoverAt(0.2, 0, nullptr), "Right");
}

// The view stays as it is: only the handles' own move tells the hover where they went.
TEST_F(HoverTest, HandlesAreFoundWhereASetupMovesThem) {
    EXPECT_EQ(HoverAt(-0.2, 0, nullptr), "Left");
    VertexStruct* ref = VertexNewEx(0.3, 0, 0);
    GControlProperties props;
    ASSERT_EQ(dbGCtrlSetup(control, &props, vp, nullptr, nullptr, ref, nullptr, nullptr, nullptr),
              1);
    VertexDispose(&ref);
    EXPECT_EQ(HoverAt(-0.2, 0, nullptr), "");
    EXPECT_EQ(HoverAt(0.1, 0, nullptr), "Left");
    EXPECT_EQ(HoverAt(0.5, 0, nullptr), "Right");
}

TEST_F(HoverTest, ChoiceGoesByPriorityThenNearnessThenOrder) {
    uint32_t changed = 0;
    EXPECT_EQ(HoverAt(0, 0.4, &changed), "High");
    EXPECT_EQ(HoverAt(-0.5, 0.4, &changed), "OneB");
    dbGHandleSetVisible(control, Named(control, "OneB"), 0);
    EXPECT_EQ(HoverAt(-0.5, 0.4, &changed), "OneA");
    dbGHandleSetVisible(control, Named(control, "OneA"), 0);
    EXPECT_EQ(HoverAt(-0.5, 0.4, &changed), "Two");
    EXPECT_EQ(HoverAt(0.5, 0.4, &changed), "TieB");
    EXPECT_EQ(HoverAt(0.5, -0.4, &changed), "Above");
    EXPECT_EQ(HoverAt(-0.5, -0.4, &changed), "Surface");
    dbGHandleSetVisible(control, Named(control, "Surface"), 0);
    EXPECT_EQ(HoverAt(-0.5, -0.4, &changed), "Curve");
    dbGHandleSetVisible(control, Named(control, "Right"), 0);
    EXPECT_EQ(HoverAt(0.2, 0, &changed), "");
}
