// Placement cases the setups through the exports do not reach (tests/control/test_display.cpp):
// positions without a point, the least thickness of the facets, keeping the size without
// extents, and re-measuring the selection after each placement.
#include "part/handle_fixture.h"

#include <gtest/gtest.h>

using namespace testprofile;

namespace {

// A quarter turn about Z followed by a move to (5, 0, 0).
const MatrixStruct Turned = {{0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1}};

int Place(GHandle* h, const MatrixStruct* cs, const ExtentsStruct* extents,
          const VertexStruct* ref) {
    tiller::PreparedPlacement placement;
    if (!h->PreparePlacement(cs, extents, ref, cs, cs, extents, placement)) return 0;
    h->TakePlacement(placement);
    return 1;
}

void ExpectTranslation(const MatrixStruct* m, double x, double y, double z) {
    ASSERT_NE(m, nullptr);
    EXPECT_NEAR(m->m[12], x, 1e-12);
    EXPECT_NEAR(m->m[13], y, 1e-12);
    EXPECT_NEAR(m->m[14], z, 1e-12);
}

int measured = 0;
int CountingExtents(MatrixStruct*, ExtentsStruct** e) {
    ++measured;
    ExtentsSet(*e, 0, 0, 0, 1, 1, 1);
    return 1;
}

} // namespace

class PlacementTest : public HandleFixture {
  protected:
    void SetUp() override {
        HandleFixture::SetUp();
        ref = VertexNewEx(1, 2, 3);
        box = ExtentsNewEx();
        ExtentsSet(box, 0, 0, 0, 2, 4, 0);
    }
    void ReleaseAll() override {
        VertexDispose(&ref);
        ExtentsDispose(&box);
        HandleFixture::ReleaseAll();
    }
    // A handle of that position and orientation placed with `Turned` as every frame.
    GHandle* Placed(const char* name, const char* position, const char* orientation,
                    const ExtentsStruct* extents) {
        GHandle* h = Load(AddInteractive(root, {name, "move", position, orientation}, {0, 0, 0}));
        EXPECT_EQ(Place(h, &Turned, extents, ref), 1);
        return h;
    }

    VertexStruct* ref = nullptr;
    ExtentsStruct* box = nullptr;
};

// The positions without a point of their own leave the frame's rotation only; the facets of the
// box keep a least thickness over a flat selection.
TEST_F(PlacementTest, PositionsWithoutAPointAndTheFacetsThickness) {
    for (const char* none : {"gctrl_cs_origin", "extents_peek_111", "extents_rib_x10"}) {
        GHandle* h = Placed("O", none, "gctrl_cs", box);
        ExpectTranslation(h->mPlacement, 0, 0, 0);
        EXPECT_NEAR(h->mPlacement->m[1], 1.0, 1e-12);
        EXPECT_EQ(h->mSize, nullptr);
    }
    GHandle* centre = Placed("C", "extents_center", "gctrl_cs", box);
    GHandle* facets = Placed("Bounding_box_facets", "extents_center", "gctrl_cs", box);
    EXPECT_EQ(centre->mSize->m[10], 0);
    EXPECT_EQ(facets->mSize->m[10], 1e-4);
    // Without extents the next setup adds no position and keeps the size.
    Place(centre, &Turned, nullptr, nullptr);
    ExpectTranslation(centre->mPlacement, 0, 0, 0);
    EXPECT_EQ(centre->mSize->m[5], 4);
}

TEST_F(PlacementTest, SelectionIsMeasuredAgainAfterEachPlacement) {
    GHandle* h = Placed("M", "refpoint", "gctrl_cs", nullptr);
    h->SetExtentsCallback(CountingExtents);
    measured = 0;
    EXPECT_EQ(h->EnsureSelectionExtentsInHandleCS(), 1);
    EXPECT_EQ(h->EnsureSelectionExtentsInHandleCS(), 1);
    EXPECT_EQ(measured, 1);
    Place(h, nullptr, nullptr, nullptr);
    EXPECT_EQ(h->extSelectionInHandleCS, nullptr);
    EXPECT_EQ(h->EnsureSelectionExtentsInHandleCS(), 1);
    EXPECT_EQ(measured, 2);
}
