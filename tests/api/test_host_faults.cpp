// A careless or unlucky host: exports called back from inside the extents callback, handle
// addresses that are not the control's, non-finite numbers, and a viewport closed under a
// control. Every case must answer the failure value, touch nothing freed and leak nothing.

// <cmath> comes first: tiller.h declares the library's own round.
#include <cmath>

#include "control/control_fixture.h"
#include "korvex/drawing.h"
#include "korvex/view.h"

#include <functional>
#include <limits>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// What the extents callback does besides measuring, for the test running now.
std::function<int(MatrixStruct*, ExtentsStruct**)> onExtents;
int ExtentsHook(MatrixStruct* cs, ExtentsStruct** extents) {
    return onExtents ? onExtents(cs, extents) : kvSelectionExtents(cs, extents);
}

class HostFaultTest : public ControlFixture {
  protected:
    void ReleaseAll() override {
        onExtents = nullptr;
        ControlFixture::ReleaseAll();
    }
    // A control set up over the selection, and its scale handle that measures the selection
    // on the first drag step.
    GControl* ControlWithScaleHandle(GHandle** scale) {
        GControl* c = Create("UniversalCtrl.qvw", "test", nullptr, ExtentsHook);
        if (!c || SetupOverSelection(c, GControlProperties{}) != 1) return nullptr;
        for (GHandle* h : Handles(c))
            if (dbGHandleGetParams(c, h)->MovementType == MovementSceneXY) *scale = h;
        return *scale ? c : nullptr;
    }
    bool Known(GControl* c) { return dbGCtrlGetHandles(c) != nullptr; }
};

} // namespace

TEST_F(HostFaultTest, CallsBackFromTheExtentsCallbackFailTheDragStepAndTouchNothingFreed) {
    struct Case {
        const char* name;
        std::function<void(GControl*, MatrixStruct*, ExtentsStruct**)> reenter;
        bool stepAnswersHandle; // the drag step answers its handle (true) or null (false)
        bool controlStays;
        bool moves = false; // the step went through: the drag moved and the display changed
    };
    const Case cases[] = {
        {"delete", [](GControl* c, MatrixStruct*, ExtentsStruct**) { dbGCtrlDelete(c); }, false,
         false},
        {"reload", [](GControl* c, MatrixStruct*, ExtentsStruct**) { dbGCtrlReload(c); }, false,
         false},
        {"dispose", [](GControl*, MatrixStruct*, ExtentsStruct**) { dbDisposeGCtrlManager(); },
         false, false},
        {"drawing closed",
         [this](GControl*, MatrixStruct*, ExtentsStruct**) { kvAppCloseDrawingNotify(drawing); },
         false, false},
        {"viewport closed",
         [this](GControl*, MatrixStruct*, ExtentsStruct**) { ViewportDispose(&vp); }, false,
         true},
        {"end the drag from inside",
         [](GControl* c, MatrixStruct*, ExtentsStruct**) {
             EXPECT_EQ(dbGCtrlSetState(c, 0, nullptr, 0, 0, 0, 0, 0, 0, 0), 0);
             EXPECT_EQ(dbGCtrlShow(c, 0, 1), 0);
         },
         true, true, true},
        {"extents replaced by null",
         [](GControl*, MatrixStruct*, ExtentsStruct** e) { *e = nullptr; }, true, true},
        {"non-finite extents",
         [](GControl*, MatrixStruct*, ExtentsStruct** e) {
             ExtentsSet(*e, -1, -1, -1, 1, NaN, std::numeric_limits<double>::infinity());
         },
         true, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        GHandle* scale = nullptr;
        GControl* c = ControlWithScaleHandle(&scale);
        ASSERT_NE(c, nullptr);
        ASSERT_EQ(Press(c, scale, 400, 300), 1);
        onExtents = [&](MatrixStruct* cs, ExtentsStruct** e) {
            const int measured = kvSelectionExtents(cs, e);
            test.reenter(c, cs, e);
            return measured;
        };
        KvDragSample s{};
        ASSERT_TRUE(kvScenePointerMove(scene, vp, 420, 280, &s));
        uint32_t changed = 7;
        GHandle* answered = dbGCtrlDrag(c, s.x, s.y, s.z, s.vx, s.vy, s.vz, 0, 0, 0, 0, &changed);
        onExtents = nullptr;
        EXPECT_EQ(answered, test.stepAnswersHandle ? scale : nullptr);
        EXPECT_EQ(changed, test.moves ? 1u : 0u);
        EXPECT_EQ(Known(c), test.controlStays);
        if (test.controlStays) {
            const MatrixStruct* drag = dbGHandleGetParams(c, scale)->mDrag;
            EXPECT_EQ(MatrixIsIdentity(drag), !test.moves);
            Release(c);
        }
        dbDisposeGCtrlManager();
        if (!vp) vp = kvViewportCreate(drawing, 800, 600);
    }
}

TEST_F(HostFaultTest, HandleAddressesAreCheckedAgainstTheControlsOwnHandles) {
    GControl* c = Create("UniversalCtrl.qvw", "a");
    GControl* other = Create("UniversalCtrl.qvw", "b");
    GControl* gone = Create("UniversalCtrlSimple.qvw", "c");
    ASSERT_TRUE(c && other && gone);
    ASSERT_EQ(SetupOverSelection(c, GControlProperties{}), 1);
    GHandle* stale = Handles(gone).front();
    ASSERT_EQ(dbGCtrlDelete(gone), 1);
    for (GHandle* h : {Handles(other).front(), stale, reinterpret_cast<GHandle*>(1),
                       static_cast<GHandle*>(nullptr)}) {
        EXPECT_EQ(dbGHandleGetParams(c, h), nullptr);
        EXPECT_EQ(dbGHandleGetVisible(c, h), 0);
        EXPECT_EQ(dbGHandleSetVisible(c, h, 0), 0);
        EXPECT_EQ(Press(c, h, 400, 300), 0);
    }
    GHandle* own = Named(c, "AxisX");
    EXPECT_EQ(dbGHandleGetVisible(c, own), 1);
    EXPECT_EQ(dbGHandleSetVisible(c, own, 0), 1);
    EXPECT_EQ(dbGHandleGetVisible(c, own), 0);
    EXPECT_EQ(Press(c, Named(c, "AxisX"), 400, 300), 1);
}

TEST_F(HostFaultTest, NonFiniteInputIsRefusedAndChangesNothing) {
    GControl* c = Create("UniversalCtrl.qvw");
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(SetupOverSelection(c, GControlProperties{}), 1);
    GHandle* arrow = Named(c, "AxisX");
    ASSERT_NE(arrow, nullptr);
    ASSERT_EQ(Press(c, arrow, 400, 300), 1);
    PointerMove(c, 420, 300);
    const std::string before = dbGCtrlToString(c);

    MatrixStruct bad{};
    bad.m[0] = bad.m[5] = bad.m[10] = bad.m[15] = 1;
    bad.m[12] = NaN;
    ExtentsStruct* badBox = ExtentsNewEx();
    ExtentsSet(badBox, 0, 0, 0, 1, 1, std::numeric_limits<double>::infinity());
    VertexStruct* badPoint = VertexNewEx(NaN, 0, 0);
    GControlProperties badLight;
    badLight.Light_Affect_Diffuse = NaN;
    const GControlProperties props;
    uint32_t changed = 7;
    EXPECT_EQ(dbGCtrlDrag(c, NaN, 0, 0, 0, 0, -1, 0, 0, 0, 0, &changed), nullptr);
    EXPECT_EQ(changed, 0u);
    EXPECT_EQ(dbGCtrlDrag(c, 0, 0, 0, 0, std::numeric_limits<double>::infinity(), -1, 0, 0, 0,
                          0, &changed),
              nullptr);
    EXPECT_EQ(dbGCtrlTransform(c, &bad), 0);
    EXPECT_EQ(dbGCtrlSetup(c, &props, vp, &bad, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(dbGCtrlSetup(c, &props, vp, nullptr, badBox, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(dbGCtrlSetup(c, &props, vp, nullptr, nullptr, badPoint, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(dbGCtrlSetup(c, &badLight, vp, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(dbGCtrlToString(c), before);
    Release(c);
    EXPECT_EQ(dbGCtrlSetState(c, 1, arrow, 0, NaN, 0, 0, 0, -1, 0), 0);

    // A finite but absurd view: the step is refused rather than answered with a NaN matrix.
    ASSERT_EQ(Press(c, arrow, 400, 300), 1);
    kvViewportSetParallel(vp, 1e300);
    PointerMove(c, 420, 300);
    const MatrixStruct* drag = dbGHandleGetParams(c, arrow)->mDrag;
    ASSERT_NE(drag, nullptr);
    for (double value : drag->m)
        EXPECT_TRUE(std::isfinite(value));
    ExtentsDispose(&badBox);
    VertexDispose(&badPoint);
}

TEST_F(HostFaultTest, AViewportClosedUnderAControlIsDroppedUntilItGetsAnother) {
    ViewportStruct* second = kvViewportCreate(drawing, 640, 480);
    GControl* c = Create("UniversalCtrl.qvw");
    ASSERT_NE(c, nullptr);
    const GControlProperties props;
    ASSERT_EQ(dbGCtrlSetup(c, &props, second, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              1);
    ASSERT_EQ(dbGCtrlShow(c, 1, 1), 1);
    ViewportDispose(&second);
    uint32_t changed = 7;
    EXPECT_EQ(dbGCtrlDrag(c, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, &changed), nullptr);
    EXPECT_EQ(dbGCtrlShow(c, 1, 1), 0);
    EXPECT_EQ(dbGCtrlSetState(c, 1, Named(c, "AxisX"), 0, 0, 0, 0, 0, -1, 0), 0);
    EXPECT_NE(dbGCtrlToString(c), "");
    EXPECT_EQ(dbGCtrlSetActiveViewport(c, vp), 1);
    EXPECT_EQ(dbGCtrlShow(c, 1, 1), 1);
    EXPECT_EQ(dbGCtrlSetState(c, 1, Named(c, "AxisX"), 0, 0, 0, 0, 0, -1, 0), 1);
}
