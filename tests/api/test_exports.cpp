// The exported functions: failure values for unknown controls, reuse and reload of controls,
// UTF-8 names and resolved profile paths, and the host notifications the manager follows,
// an allocation failure inside one included.

#include "control/control_fixture.h"
#include "korvex/drawing.h"
#include "support/failing_allocations.h"

#include <cstdlib>
#include <filesystem>
#include <new>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

int ArmAllocationFailure(uint32_t, void*, uint32_t, NotifyParam*, uint16_t) {
    FailNthAllocation(1);
    return 0;
}

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

TEST_F(ExportTest, NamesAreUtf8WhateverTheLocale) {
    // The test runs in the C locale, which knows no character beyond ASCII.
    GControl* first = Create("UniversalCtrl.qvw", "Contr\u00f4le-1");
    ASSERT_NE(first, nullptr);
    EXPECT_NE(Create("UniversalCtrl.qvw", "Contr\u00f4le-2"), first);
    EXPECT_EQ(Create("UniversalCtrl.qvw", "CONTR\u00d4LE-1"), first) << "Latin-1 letters fold";
    EXPECT_NE(Create("UniversalCtrl.qvw", "\u03a9"), Create("UniversalCtrl.qvw", "\u03c9"))
        << "Greek letters do not";
    for (const char* invalid : {"\xff", "Contr\xf4le-1", "\xc3", "\xc0\xaf", "\xed\xa0\x80"}) {
        EXPECT_EQ(Create("UniversalCtrl.qvw", invalid), nullptr) << "name " << invalid;
        EXPECT_EQ(Create(invalid), nullptr) << "profile " << invalid;
    }
}

TEST_F(ExportTest, ProfilePathsNameFilesExactlyOnceResolved) {
    const fs::path dir =
        fs::temp_directory_path() / ("tiller_zo\u00eb_" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::copy_file(TILLER_BUILD_DIR "/GCtrlProfiles/UniversalCtrl.qvw", dir / "Prof.qvw");
    fs::copy_file(TILLER_BUILD_DIR "/GCtrlProfiles/UniversalCtrlSimple.qvw", dir / "prof.qvw");
    fs::create_symlink(dir / "Prof.qvw", dir / "link.qvw");
    const long drawings = kvLiveCount(KvDrawing);
    GControl* upper = Create((dir / "Prof.qvw").string());
    GControl* lower = Create((dir / "prof.qvw").string());
    ASSERT_TRUE(upper && lower);
    EXPECT_NE(Handles(upper).size(), Handles(lower).size()) << "two files, two profiles";
    EXPECT_EQ(Handles(Create((dir / "." / "link.qvw").string())).size(), Handles(upper).size());
    EXPECT_EQ(kvLiveCount(KvDrawing), drawings + 2) << "a link to a loaded file shares it";
    fs::remove_all(dir);
}

// The arming registration comes before the manager's, so the manager's handler is the one
// whose allocation fails; the closing of the scene then reaches it whole.
TEST_F(ExportTest, ClosingADrawingReachesTheManagerAndNothingThrowsBack) {
    NotifyCookie* arming =
        NotifyEngineAdviseDbNotifyEx(1, AppGetCurrentApp(), ArmAllocationFailure, nullptr, 1, 11);
    KvScene* closing = kvSceneNew();
    kvViewportCreate(kvSceneDrawing(closing), 800, 600);
    GControl* c = Create("UniversalCtrl.qvw", "test", kvSceneDrawing(closing));
    kvSceneMakeCurrent(scene);
    GControl* kept = Create("UniversalCtrl.qvw");
    ASSERT_TRUE(c && kept);
    EXPECT_EQ(kvAppCloseDrawingNotify(kvSceneDrawing(closing)), 2);
    EXPECT_TRUE(AllocationFailed() && Known(c));
    NotifyEngineUnadviseDbNotify(AppGetCurrentApp(), arming, 0, 0);
    kvSceneDispose(&closing);
    EXPECT_FALSE(Known(c));
    EXPECT_EQ(dbGCtrlShow(c, ShowAll, 1), 0);
    EXPECT_TRUE(Known(kept));
}
