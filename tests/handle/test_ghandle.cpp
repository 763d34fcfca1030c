// Handles: which part ends in a slot, enabling and highlighting, and the effective priority.
// Which handles follow a drag is checked through the exports (tests/kinematics).
#include "part/handle_fixture.h"

#include <gtest/gtest.h>

using namespace testprofile;
using tiller::GHandlePart;

class HandleTest : public HandleFixture {
  protected:
    bool Shown(GHandle* h, tiller::PartSlot slot) { return Info(h->Part(slot)).visible != 0; }
};

TEST_F(HandleTest, LastPartOfATypeWinsAndOtherChildrenAreIgnored) {
    GraphicStruct* group = AddInteractive(root, {"Two"}, {0, 0, 0});
    AddSquarePart(group, "mouseover", {0.3, 0, 0}, 0.05);
    AddSquare(group, {0.6, 0, 0}, 0.05);
    AddSquare(AddGroup(group, {{"part_fixed_size", "80"}}), {0.9, 0, 0}, 0.05);
    GHandle* h = Load(group);
    ASSERT_TRUE(h->IsLoaded());
    EXPECT_NEAR(h->Part(tiller::SlotMouseover)->PartGetAnchorPoint()->x, 0.3, 1e-12);
    EXPECT_EQ(kvViewportElements(vp).size(), 2u);
}

TEST_F(HandleTest, DisablingHidesTheDisplayedPartsUntilEveryReasonIsGone) {
    GHandle* h = Load(AddInteractive(root, {"AxisX"}, {0, 0, 0}));
    h->UpdateDisplay(1, 0, false, false, false);
    ASSERT_TRUE(Shown(h, tiller::SlotMouseout));
    h->SetDisabled(false, tiller::DisabledByFlatSelection);
    EXPECT_FALSE(Shown(h, tiller::SlotMouseout));
    h->SetDisabled(false, tiller::DisabledBySettings);
    h->SetDisabled(true, tiller::DisabledByFlatSelection);
    EXPECT_EQ(h->GetDisableMask(), 1u);
    EXPECT_FALSE(Shown(h, tiller::SlotMouseout));
    EXPECT_EQ(h->HighlightOn(true), 0);
    h->SetDisabled(true, tiller::DisabledBySettings);
    EXPECT_TRUE(Shown(h, tiller::SlotMouseout));
    EXPECT_FALSE(Shown(h, tiller::SlotMouseover));
}

TEST_F(HandleTest, HighlightSwapsTheMouseoutLookUnlessItStays) {
    GHandle* swapping = Load(AddInteractive(root, {"A"}, {0, 0, 0}));
    GHandle* keeping = Load(AddInteractive(root,
                                           {"B",
                                            "move",
                                            "refpoint",
                                            "gctrl_cs",
                                            "rotbar_cs_x",
                                            {{"handle_autohide_mouseover_part", "no"}}},
                                           {0.3, 0, 0}));
    for (GHandle* h : {swapping, keeping}) {
        h->UpdateDisplay(1, 0, false, false, false);
        ASSERT_EQ(h->HighlightOn(false), 1);
        EXPECT_TRUE(Shown(h, tiller::SlotMouseover));
        EXPECT_EQ(Shown(h, tiller::SlotMouseout), h == keeping);
        h->HighlightOff(false);
        EXPECT_TRUE(Shown(h, tiller::SlotMouseout));
        EXPECT_FALSE(Shown(h, tiller::SlotMouseover));
    }
}

TEST_F(HandleTest, PriorityChangesOnlyForAPointSizedMouseout) {
    const Props priority = {{"handle_priority", "0.5"}, {"handle_priority_inc_if_size_0", "-3"}};
    GHandle* point = Load(AddInteractive(
        root, {"P", "move", "refpoint", "gctrl_cs", "rotbar_cs_x", priority}, {0, 0, 0}, 0));
    GHandle* sized = Load(AddInteractive(
        root, {"Q", "move", "refpoint", "gctrl_cs", "rotbar_cs_x", priority}, {0, 0, 0}));
    ASSERT_TRUE(point->IsLoaded());
    EXPECT_EQ(point->EffectivePriority(), -1.0);
    EXPECT_EQ(sized->EffectivePriority(), 0.5);
}
