// The exported functions: failure values for unknown controls, reuse and reload of controls,
// the host notifications the manager follows, round, and the dynamic symbol table.

#include "control/control_fixture.h"
#include "korvex/drawing.h"

#include <cstdio>
#include <iterator>
#include <set>
#include <sstream>

namespace {

int callbackCalls = 0;
int CountingExtents(MatrixStruct* cs, ExtentsStruct** e) {
    ++callbackCalls;
    return kvSelectionExtents(cs, e);
}

NotifyParam Slot(VARTYPE vt, void* target, uint8_t isReference = 0) {
    NotifyParam slot{};
    slot.value.vt = vt;
    slot.value.byref = target;
    slot.isReference = isReference;
    return slot;
}

class ExportTest : public ControlFixture {
  protected:
    void SetUp() override {
        ControlFixture::SetUp();
        other = kvDrawingNew();
        kvViewportCreate(other, 800, 600);
    }
    void ReleaseAll() override {
        ControlFixture::ReleaseAll();
        DrawingDispose(&other);
    }
    // Drags the control's scale handle in the selection's XY plane a few pixels; that routine
    // measures the selection.
    void ScaleDrag(GControl* c) {
        ASSERT_EQ(SetupOverSelection(c, GControlProperties{}), 1);
        GHandle* scale = nullptr;
        for (GHandle* h : *dbGCtrlGetHandles(c))
            if (dbGHandleGetParams(c, h)->MovementType == MovementSceneXY) scale = h;
        ASSERT_NE(scale, nullptr);
        ASSERT_EQ(Press(c, scale, 400, 300), 1);
        PointerMove(c, 420, 280);
        Release(c);
    }
    bool Known(GControl* c) { return dbGCtrlGetHandles(c) != nullptr; }
    int Raise(uint32_t kind, uint32_t phase, uint16_t flags, NotifyParam second) {
        return kvAppRaise(kind, phase, flags,
                          {Slot(VT_BYREF | VT_VOID, AppGetCurrentApp()), second});
    }

    DrawingStruct* other = nullptr;
};

} // namespace

TEST_F(ExportTest, UnknownControlsGiveEveryFailureValue) {
    GControl* live = Create("UniversalCtrl.qvw", "live");
    GControl* deleted = Create("UniversalCtrl.qvw", "deleted");
    ASSERT_TRUE(live && deleted);
    GHandle* handle = dbGCtrlGetHandles(live)->front();
    EXPECT_EQ(dbGCtrlDelete(deleted), 1);
    int notAControl = 0;
    const GControlProperties props;
    MatrixStruct* identity = MatrixNewEx();
    for (GControl* c :
         {static_cast<GControl*>(nullptr), deleted, reinterpret_cast<GControl*>(&notAControl)}) {
        uint32_t changed = 7;
        EXPECT_EQ(dbGCtrlDelete(c), 0);
        EXPECT_EQ(dbGCtrlReload(c), 0);
        EXPECT_EQ(dbGCtrlToString(c), "");
        EXPECT_EQ(dbGCtrlShow(c, 1, 1), 0);
        EXPECT_EQ(dbGCtrlSetup(c, &props, vp, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
                  0);
        EXPECT_EQ(dbGCtrlDrag(c, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, &changed), nullptr);
        EXPECT_EQ(changed, 0u);
        EXPECT_EQ(dbGCtrlSetState(c, 1, handle, 0, 0, 0, 0, 0, 0, 0), 0);
        EXPECT_EQ(dbGCtrlSetActiveViewport(c, vp), 0);
        EXPECT_EQ(dbGCtrlTransform(c, identity), 0);
        EXPECT_EQ(dbGHandleGetParams(c, handle), nullptr);
        EXPECT_EQ(dbGCtrlGetHandles(c), nullptr);
        EXPECT_EQ(dbGHandleGetVisible(c, handle), 0);
        EXPECT_EQ(dbGHandleSetVisible(c, handle, 1), 0);
    }
    MatrixDispose(&identity);
    EXPECT_EQ(static_cast<void*>(dbGHandleGetParams(live, handle)), static_cast<void*>(handle));
    EXPECT_EQ(dbGHandleGetParams(live, nullptr), nullptr);
    EXPECT_NE(dbGCtrlToString(live), "");
    EXPECT_EQ(Create("missing.qvw"), nullptr);
    EXPECT_EQ(dbGCtrlCreate(nullptr, "c", drawing, kvSelectionExtents), nullptr);
    InitApi();
    TerminateApi();
    EXPECT_TRUE(Known(live));
}

TEST_F(ExportTest, CreateReusesByFileNameIgnoringCase) {
    GControl* c = Create("UniversalCtrl.qvw", "Main");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(Create("UNIVERSALCTRL.QVW", "main"), c);
    EXPECT_NE(Create("UniversalCtrl.qvw", "Main", other), c);
    callbackCalls = 0;
    EXPECT_EQ(Create("UniversalCtrl.qvw", "Main", drawing, CountingExtents), c);
    ScaleDrag(c);
    EXPECT_GT(callbackCalls, 0) << "the second create hands its callback to the control";

    const std::string path = TILLER_BUILD_DIR "/GCtrlProfiles/UniversalCtrlSimple.qvw";
    const long drawings = kvLiveCount(KvDrawing);
    GControl* byPath = Create(path);
    ASSERT_NE(byPath, nullptr);
    GControl* again = Create(path);
    EXPECT_NE(again, byPath) << "a control made from a full path is never found again";
    EXPECT_EQ(kvLiveCount(KvDrawing), drawings + 1) << "both share one profile drawing";
    EXPECT_EQ(Create("UniversalCtrlSimple.qvw"), byPath);
}

TEST_F(ExportTest, ReloadDeletesEveryControlOfTheProfileAndUnloadsIt) {
    const long drawings = kvLiveCount(KvDrawing);
    GControl* a = Create("UniversalCtrl.qvw", "a");
    GControl* b = Create("UniversalCtrl.qvw", "b", other);
    GControl* simple = Create("UniversalCtrlSimple.qvw", "a");
    ASSERT_TRUE(a && b && simple);
    EXPECT_EQ(kvLiveCount(KvDrawing), drawings + 2);
    EXPECT_EQ(dbGCtrlReload(b), 1);
    EXPECT_EQ(dbGCtrlShow(b, 1, 0), 0);
    EXPECT_FALSE(Known(a));
    EXPECT_TRUE(Known(simple));
    EXPECT_EQ(kvLiveCount(KvDrawing), drawings + 1);
    EXPECT_NE(Create("UniversalCtrl.qvw", "a"), nullptr);
    EXPECT_EQ(kvLiveCount(KvDrawing), drawings + 2);
}

TEST_F(ExportTest, DrawingClosedNotificationsAreFilteredBySlotPhaseAndFlags) {
    GControl* c = Create("UniversalCtrl.qvw");
    GControl* elsewhere = Create("UniversalCtrl.qvw", "test", other);
    ASSERT_TRUE(c && elsewhere);
    const NotifyParam names = Slot(VT_BYREF | VT_VOID, drawing);
    Raise(11, 0, 0, names);
    Raise(11, 1, 1, names);
    Raise(11, 1, 0, Slot(VT_I4, drawing));
    Raise(11, 1, 0, Slot(VT_BYREF | VT_VOID, drawing, 1));
    Raise(11, 1, 0, Slot(VT_BYREF | VT_VOID, nullptr));
    Raise(8, 0, 0, names);
    Raise(8, 2, 0, names);
    Raise(8, 1, 3, names);
    EXPECT_TRUE(Known(c));
    Raise(11, 1, 2, names);
    EXPECT_FALSE(Known(c));
    EXPECT_TRUE(Known(elsewhere));
}

TEST_F(ExportTest, ShutdownNotificationDisposesTheManagerUntilTheNextCall) {
    const long cookies = kvLiveCount(KvNotifyCookie);
    const long drawings = kvLiveCount(KvDrawing);
    GControl* c = Create("UniversalCtrl.qvw");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(kvLiveCount(KvNotifyCookie), cookies + 1);
    EXPECT_EQ(kvAppShutdownNotify(), 1);
    EXPECT_EQ(kvLiveCount(KvNotifyCookie), cookies);
    EXPECT_EQ(kvLiveCount(KvDrawing), drawings);
    EXPECT_EQ(kvLiveCount(KvElement), 0);
    EXPECT_FALSE(Known(c));
    EXPECT_EQ(kvLiveCount(KvNotifyCookie), cookies + 1) << "the next call registers again";
    EXPECT_NE(Create("UniversalCtrl.qvw"), nullptr);
}

// The argument is volatile so that the compiler cannot fold the call into libm's rounding.
double Round(double x) {
    volatile double argument = x;
    return round(argument);
}

TEST(Round, EightDecimalsWithHalvesAwayFromZero) {
    EXPECT_EQ(Round(1.234567895), 1.2345679);
    EXPECT_EQ(Round(-1.234567895), -1.2345679);
    EXPECT_EQ(Round(123.456789125), 123.45678913);
    EXPECT_EQ(Round(-2.5e-8), -3e-8);
    EXPECT_EQ(Round(0.0), 0.0);
    EXPECT_EQ(Round(2.5), 2.5) << "the library's round replaces libm's in the process";
}

TEST(SymbolTable, ExportsExactlyTheNineteenFunctions) {
    std::istringstream names(
        "dbGetGCtrlManager dbDisposeGCtrlManager dbGCtrlCreate dbGCtrlDelete dbGCtrlReload "
        "dbGCtrlToString dbGCtrlShow dbGCtrlSetup dbGCtrlDrag dbGCtrlSetState "
        "dbGCtrlSetActiveViewport dbGCtrlTransform dbGHandleGetParams dbGCtrlGetHandles "
        "dbGHandleGetVisible dbGHandleSetVisible InitApi TerminateApi round");
    const std::set<std::string> expected{std::istream_iterator<std::string>(names), {}};
    FILE* nm = popen("nm -D --defined-only " TILLER_BUILD_DIR "/lib/libtiller.so", "r");
    ASSERT_NE(nm, nullptr);
    std::set<std::string> exported;
    char address[64], type[8], name[512];
    while (std::fscanf(nm, "%63s %7s %511s", address, type, name) == 3)
        exported.insert(name);
    EXPECT_EQ(pclose(nm), 0);
    EXPECT_EQ(exported, expected);
}
