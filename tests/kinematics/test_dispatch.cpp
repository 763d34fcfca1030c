// HandleDrag as a whole: its guards, pairs without a routine, the identity at the start sample,
// and host records across drag steps, including steps whose record creations fail.
#include "drag_fixture.h"

namespace {

struct Pair {
    uint32_t transform, movement;
};
const Pair Routines[] = {
    {TransformMove, MovementRotbarX},     {TransformMove, MovementRotbarXY},
    {TransformMove, MovementWorkPlaneXY}, {TransformScale, MovementRotbarX},
    {TransformScale, MovementRotbarXY},   {TransformScale, MovementHandleX},
    {TransformScale, MovementSceneXY},    {TransformScale, MovementSceneDiag},
    {TransformScale2, MovementRotbarX},   {TransformRotate, MovementRotbarXY},
};
const Vec Grab = BoxCentre + Vec{0.3, 0.2, 0};

TEST_F(DragTest, GuardsRefuseAndKeepTheDragMatrix) {
    GHandle* h = MakeHandle(TransformMove, MovementWorkPlaneXY, Identity, BoxCentre);
    Start(h, Grab);
    ASSERT_EQ(Drag(h, At(Grab + Vec{1, 0, 0})), 1);
    const MatrixStruct moved = *h->mDrag;
    MatrixStruct* none = nullptr;
    EXPECT_EQ(tiller::HandleDrag(h, &none, At(Grab)), 0);
    EXPECT_EQ(tiller::HandleDrag(h, nullptr, At(Grab)), 0);
    const auto refuses = [&](auto&& change, auto&& undo) {
        change();
        MatrixStruct* result = MatrixCopyEx(&moved);
        EXPECT_EQ(tiller::HandleDrag(h, &result, At(Grab)), 0);
        EXPECT_TRUE(MatrixEqual(h->mDrag, &moved));
        EXPECT_TRUE(MatrixEqual(result, &moved)) << "the result is not touched";
        MatrixDispose(&result);
        undo();
    };
    refuses([&] { h->isLoaded = 0; }, [&] { h->isLoaded = 1; });
    refuses([&] { h->DisableMask = 2; }, [&] { h->DisableMask = 0; });
    refuses([&] { h->TransformType = TransformNone; }, [&] { h->TransformType = TransformMove; });
    refuses([&] { h->TransformType = TransformUndefined; },
            [&] { h->TransformType = TransformMove; });
    refuses([&] { h->pViewport = nullptr; }, [&] { h->pViewport = vp_; });
}

TEST_F(DragTest, PairsWithoutARoutineLeaveTheIdentity) {
    for (uint32_t movement : {MovementSceneX, MovementRotbarXYZ, MovementSceneXYZ}) {
        GHandle* h = MakeHandle(TransformMove, MovementWorkPlaneXY, Identity, BoxCentre);
        Start(h, Grab);
        ASSERT_EQ(Drag(h, At(Grab + Vec{1, 0, 0})), 1);
        h->MovementType = movement;
        MatrixStruct returned;
        EXPECT_EQ(Drag(h, At(Grab + Vec{1, 0, 0}), &returned), 0);
        EXPECT_TRUE(MatrixIsIdentity(h->mDrag) && MatrixIsIdentity(&returned));
    }
}

// Every routine gives the identity at the start sample. Once a handle holds its drag matrix and
// its selection box, a step makes no lasting record, whether it succeeds or one of its
// creations fails; a failed step leaves the identity.
TEST_F(DragTest, DragStepsStartAtTheIdentityAndReleaseEveryRecordEvenWhenCreationsFail) {
    for (bool perspective : {false, true}) {
        Look({3, -4, 2.5}, perspective);
        for (const Pair& p : Routines) {
            GHandle* h = MakeHandle(p.transform, p.movement, Identity, BoxCentre);
            Start(h, Grab);
            MatrixStruct returned;
            ASSERT_EQ(Drag(h, At(Grab), &returned), 1) << p.transform << "/" << p.movement;
            ExpectMatrixNear(*h->mDrag, Identity, 1e-9);
            ExpectMatrixNear(returned, Identity, 1e-9);
            const tiller::DragSample step = At(Grab + Vec{0.2, 0.1, 0});
            ASSERT_EQ(Drag(h, step), 1);
            const long settled = kvLiveTotal();
            ASSERT_EQ(Drag(h, step), 1);
            EXPECT_EQ(kvLiveTotal(), settled);
            for (long n = 1;; ++n) {
                kvFailNthCreation(n);
                MatrixStruct* m = MatrixSingle();
                const int ok = m ? tiller::HandleDrag(h, &m, step) : 0;
                MatrixDispose(&m);
                const bool fired = kvFailureFired();
                kvFailNthCreation(0);
                EXPECT_EQ(kvLiveTotal(), settled) << p.transform << "/" << p.movement << " n=" << n;
                if (!ok && n > 1) {
                    EXPECT_TRUE(MatrixIsIdentity(h->mDrag));
                }
                if (!fired) break;
            }
        }
    }
}

} // namespace
