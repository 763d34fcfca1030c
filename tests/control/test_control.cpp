// Controls through the exported functions: which groups become handles, reuse and rebuild of
// controls, deletion with their drawing and at disposal, and surviving failed record creations.
#include "control/control_fixture.h"

#include "korvex/drawing.h"
#include "korvex/testing.h"

#include <gtest/gtest.h>

using namespace testprofile;

namespace {

long elementsAtProfileClose = -1;
int OnProfileClosing(uint32_t kind, void*, uint32_t, NotifyParam*, uint16_t) {
    if (kind == 59) elementsAtProfileClose = kvLiveCount(KvElement);
    return 0;
}

} // namespace

class ControlTest : public ControlFixture {
  protected:
    std::string TwoHandleProfile() {
        AddInteractive(root, {"AxisX"}, {0.2, 0, 0});
        AddStatic(root, "Marker", {0, 0, 0});
        return WriteTestProfile("two_handles.qvw");
    }
};

TEST_F(ControlTest, BrokenGroupsAreDroppedWhileTheRestLoad) {
    AddInteractive(root, {"AxisX"}, {0, 0, 0});
    GraphicStruct* noMouseover = AddHandleGroup(root, {"NoMouseover"});
    AddSquarePart(noMouseover, "mouseout", {0, 0, 0}, 0.05);
    AddCoordsystem(noMouseover);
    for (Flaw flaw : {Flaw::FourthLine, Flaw::TwoRed, Flaw::BlueElsewhere}) {
        GraphicStruct* g = AddHandleGroup(root, {"Flawed"});
        AddSquarePart(g, "mouseout", {0, 0, 0}, 0.05);
        AddSquarePart(g, "mouseover", {0, 0, 0}, 0.05);
        AddCoordsystem(g, {0, 0, 0}, flaw);
    }
    AddInteractive(root, {"Undefined", "undefined"}, {0, 0, 0});
    GraphicStruct* noStatic = AddHandleGroup(root, {"NoStatic", "none"});
    AddSquarePart(noStatic, "mouseout", {0, 0, 0}, 0.05);
    GraphicStruct* noCoordsystem = AddHandleGroup(root, {"NoCoordsystem"});
    AddSquarePart(noCoordsystem, "mouseout", {0, 0, 0}, 0.05);
    AddSquarePart(noCoordsystem, "mouseover", {0, 0, 0}, 0.05);
    AddStatic(root, "Bounding_box", {0, 0, 0});
    AddInteractive(root, {"AxisX"}, {0.3, 0, 0});
    AddStatic(root, "Bounding_box", {0.3, 0, 0});
    AddInteractive(root, {"Plane", "move", "refpoint", "gctrl_cs", "rotbar_cs_xy"}, {0, 0, 0});
    GControl* c = Create(WriteTestProfile("broken.qvw"));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(Names(c), (std::vector<std::string>{"AxisX", "Bounding_box", "AxisX", "Plane"}));
}

// A loaded profile is found again by its file name, and so are its controls.
TEST_F(ControlTest, ControlThatLostItsDisplayIsRebuiltByTheNextCreate) {
    const std::string path = TwoHandleProfile();
    const std::string file = path.substr(path.rfind('/') + 1);
    GControl* first = Create(path);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Create(file), first);
    ASSERT_EQ(kvViewportElements(vp).size(), 3u);
    DrawingViewportDelete(drawing, vp);
    ViewportDispose(&vp);
    vp = kvViewportCreate(drawing, 800, 600);
    GControl* rebuilt = Create(file);
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_EQ(kvViewportElements(vp).size(), 3u);
    EXPECT_EQ(Create(file), rebuilt);
}

TEST_F(ControlTest, ClosingADrawingDeletesOnlyItsControls) {
    const std::string path = TwoHandleProfile();
    KvScene* other = kvSceneNew();
    kvViewportCreate(kvSceneDrawing(other), 400, 300);
    GControl* elsewhere = dbGCtrlCreate(path.c_str(), "test", kvSceneDrawing(other), nullptr);
    GControl* here = Create(path);
    ASSERT_TRUE(here && elsewhere);
    kvAppCloseDrawingNotify(drawing);
    EXPECT_EQ(dbGCtrlShow(here, 1, 0), 0);
    EXPECT_EQ(dbGCtrlShow(elsewhere, 1, 0), 1);
    EXPECT_TRUE(kvViewportElements(vp).empty());
    dbGCtrlDelete(elsewhere);
    kvSceneDispose(&other);
}

TEST_F(ControlTest, DisposalDestroysControlsBeforeProfiles) {
    const long elementsBefore = kvLiveCount(KvElement);
    ASSERT_NE(Create(TwoHandleProfile()), nullptr);
    ASSERT_GT(kvLiveCount(KvElement), elementsBefore);
    NotifyCookie* cookie =
        NotifyEngineAdviseDbNotifyEx(1, AppGetCurrentApp(), OnProfileClosing, nullptr, 1, 59);
    elementsAtProfileClose = -1;
    dbDisposeGCtrlManager();
    EXPECT_EQ(elementsAtProfileClose, elementsBefore);
    NotifyEngineUnadviseDbNotify(AppGetCurrentApp(), cookie, 0, 1, 59);
}

// Every record creation of a create is made to fail in turn: the process survives each, and
// deleting whatever control resulted releases everything the create made.
TEST_F(ControlTest, EveryFailedCreationDuringCreateIsSurvivedWithoutLeaks) {
    GControl* warmUp = Create("UniversalCtrl.qvw");
    ASSERT_NE(warmUp, nullptr);
    dbGCtrlDelete(warmUp);
    for (long n = 1;; ++n) {
        const auto before = Snapshot();
        kvFailNthCreation(n);
        GControl* c = Create("UniversalCtrl.qvw");
        const bool fired = kvFailureFired();
        kvFailNthCreation(0);
        if (c) dbGCtrlDelete(c);
        ASSERT_EQ(Snapshot(), before) << "failing creation " << n;
        if (!fired) {
            EXPECT_NE(c, nullptr);
            break;
        }
    }
}
