// Placement: the frame of each orientation, the position each position type adds, sizing by
// the selection's extents, what the parts receive, and re-measuring the selection afterwards.
#include "part/handle_fixture.h"

#include <gtest/gtest.h>

using namespace testprofile;

namespace {

// A quarter turn about Z followed by a move to (5, 0, 0).
const MatrixStruct Turned = {{0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1}};

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
        EXPECT_EQ(h->PlaceHandle(&Turned, extents, ref, &Turned, &Turned, extents), 1);
        return h;
    }

    VertexStruct* ref = nullptr;
    ExtentsStruct* box = nullptr;
};

TEST_F(PlacementTest, PositionTypesAddTheirPointAfterTheFrameRotation) {
    GHandle* refpoint = Placed("R", "refpoint", "gctrl_cs", box);
    ExpectTranslation(refpoint->mPlacement, 1, 2, 3);
    EXPECT_NEAR(refpoint->mPlacement->m[1], 1.0, 1e-12);
    EXPECT_TRUE(MatrixEqual(refpoint->mHandleWorld, refpoint->mHandleCS));
    EXPECT_TRUE(MatrixEqual(refpoint->Part(tiller::SlotMouseout)->PartGetPlacement(),
                            refpoint->mPlacement));
    ExpectTranslation(Placed("S", "selection_cs", "selection_cs", box)->mPlacement, 5, 0, 0);
    for (const char* none : {"gctrl_cs_origin", "extents_peek_111", "extents_rib_x10"}) {
        GHandle* h = Placed("O", none, "gctrl_cs", box);
        ExpectTranslation(h->mPlacement, 0, 0, 0);
        EXPECT_EQ(h->mSize, nullptr);
    }
}

TEST_F(PlacementTest, ExtentsCentreIsCarriedByTheFrameAndSizesTheHandle) {
    GHandle* centre = Placed("C", "extents_center", "gctrl_cs", box);
    GHandle* facets = Placed("Bounding_box_facets", "extents_center", "gctrl_cs", box);
    for (GHandle* h : {centre, facets}) {
        ExpectTranslation(h->mPlacement, 3, 1, 0);
        EXPECT_EQ(h->mSize->m[0], 2);
        EXPECT_EQ(h->mSize->m[5], 4);
    }
    EXPECT_EQ(centre->mSize->m[10], 0);
    EXPECT_EQ(facets->mSize->m[10], 1e-4);
    MatrixStruct* sized = MatrixMatrixMultiplyEx(centre->mPlacement, centre->mSize);
    EXPECT_TRUE(MatrixEqual(centre->Part(tiller::SlotMouseout)->PartGetPlacement(), sized));
    MatrixDispose(&sized);

    // Without extents the next setup adds no position and keeps the size.
    centre->PlaceHandle(&Turned, nullptr, nullptr, nullptr, nullptr, nullptr);
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
    h->PlaceHandle(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(h->extSelectionInHandleCS, nullptr);
    EXPECT_EQ(h->EnsureSelectionExtentsInHandleCS(), 1);
    EXPECT_EQ(measured, 2);
}
