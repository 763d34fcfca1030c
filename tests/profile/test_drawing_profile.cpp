// Profile drawings: where the known profiles are looked up, the layer they are moved to, and
// what closing one leaves behind.
#include "korvex/drawing.h"
#include "korvex/testing.h"
#include "korvex/view.h"
#include "support/live_records.h"
#include "tiller/handle/vocabulary.h"
#include "tiller/profile/drawing_profile.h"

#include <filesystem>
#include <unistd.h>

using tiller::DrawingProfile;

namespace {

struct ClosingHeard {
    int count = 0;
    void* app = nullptr;
    void* drawing = nullptr;
    bool viewportsLeft = false;
};
ClosingHeard closing;

int HearClosing(uint32_t, void*, uint32_t, NotifyParam* params, uint16_t) {
    ++closing.count;
    closing.app = params[0].value.byref;
    closing.drawing = params[1].value.byref;
    closing.viewportsLeft = DrawingViewportFirst(static_cast<DrawingStruct*>(closing.drawing));
    return 0;
}

class DrawingProfileTest : public LiveRecordsTest {
  protected:
    void ReleaseAll() override {
        if (!file.empty()) std::filesystem::remove(file);
    }
    // A drawing whose graphics lie on layers 0, 1 and 5, nested two levels deep.
    std::wstring WriteLayeredDrawing() {
        DrawingStruct* d = kvDrawingNew();
        GraphicStruct* group = kvGraphicNew(GraphicKindGroup);
        GraphicSetLayer(group, 5);
        for (int layer : {0, 1, 7}) {
            GraphicStruct* line = kvGraphicNew(GraphicKindLine);
            kvGraphicAddVertex(line, 0, 0, 0);
            kvGraphicAddVertex(line, layer, 1, 0);
            GraphicSetLayer(line, layer);
            kvGraphicAddChild(group, line);
        }
        kvGraphicAddChild(DrawingGetModelRoot(d), group);
        file = std::filesystem::temp_directory_path() /
               ("layers_" + std::to_string(getpid()) + ".qvw");
        EXPECT_EQ(kvWriteDrawingFile(d, file.c_str(), nullptr), 1);
        DrawingDispose(&d);
        return file.wstring();
    }
    std::filesystem::path file;
};

} // namespace

TEST(ProfileFolder, LiesBesideTheFolderOfTheHostLibrary) {
    const auto library = std::filesystem::canonical(TILLER_BUILD_DIR "/lib/libkorvex.so");
    const std::wstring root = library.parent_path().parent_path().wstring();
    EXPECT_EQ(tiller::HostFolder(), root);
    EXPECT_EQ(tiller::ProfileFolder(), root + L"/GCtrlProfiles/");
    EXPECT_EQ(tiller::PathFileName(L"/a/b/c.qvw"), L"c.qvw");
    EXPECT_EQ(tiller::PathFileName(L"c.qvw"), L"c.qvw");
}

TEST_F(DrawingProfileTest, KnownNamesMatchExactlyAndOtherNamesArePaths) {
    DrawingProfile known(L"UniversalCtrlSimple.qvw");
    EXPECT_EQ(known.Path(), tiller::ProfileFolder() + L"UniversalCtrlSimple.qvw");
    EXPECT_TRUE(known.IsLoaded());
    EXPECT_EQ(known.FileName(), L"UniversalCtrlSimple.qvw");

    kvClearSentNotifications();
    {
        DrawingProfile lowerCase(L"universalctrl.qvw");
        EXPECT_EQ(lowerCase.Path(), L"universalctrl.qvw");
        EXPECT_FALSE(lowerCase.IsLoaded());
        EXPECT_EQ(lowerCase.FileName(), L"");
    }
    EXPECT_TRUE(kvSentNotifications().empty()) << "closing an unloaded profile notifies nobody";
}

TEST_F(DrawingProfileTest, LoadingMovesEveryGraphicToLayerOne) {
    DrawingProfile profile(WriteLayeredDrawing());
    ASSERT_TRUE(profile.IsLoaded());
    EXPECT_EQ(profile.Path(), file.wstring());
    EXPECT_EQ(profile.FileName(), file.filename().wstring());
    GraphicList all;
    GraphicWalkFillChildsList(DrawingGetModelRoot(profile.Drawing()), nullptr, &all, 0, 1);
    EXPECT_EQ(all.size(), 5u);
    for (GraphicStruct* g : all)
        EXPECT_EQ(GraphicGetLayer(g), 1);
}

TEST_F(DrawingProfileTest, ClosingAnnouncesItselfAndLeavesNothingBehind) {
    NotifyCookie* cookie =
        NotifyEngineAdviseDbNotifyEx(1, AppGetCurrentApp(), HearClosing, nullptr, 1, 59);
    closing = {};
    kvClearSentNotifications();
    auto* profile = new DrawingProfile(WriteLayeredDrawing());
    DrawingStruct* drawing = profile->Drawing();
    ASSERT_NE(drawing, nullptr);
    kvViewportCreate(drawing, 100, 100);
    kvViewportCreate(drawing, 100, 100);
    delete profile;

    EXPECT_EQ(closing.count, 1);
    EXPECT_EQ(closing.app, AppGetCurrentApp());
    EXPECT_EQ(closing.drawing, drawing);
    EXPECT_FALSE(closing.viewportsLeft);
    // The application announces each of its viewports closing before the drawing goes.
    const auto sent = kvSentNotifications();
    ASSERT_EQ(sent.size(), 3u);
    for (int i : {0, 1})
        EXPECT_TRUE(sent[i].kind == 12 && sent[i].source == "application" && sent[i].count == 2);
    EXPECT_EQ(sent[2].source, "DrawingProfile");
    EXPECT_EQ(sent[2].line, 101);
    EXPECT_EQ(sent[2].phase, 1u);
    EXPECT_EQ(sent[2].count, 2);
    EXPECT_EQ(kvNotifyFrozenDepth(), 0);
    EXPECT_EQ(kvOpenNotifyRecords(), 0);
    NotifyEngineUnadviseDbNotify(AppGetCurrentApp(), cookie, 0, 0);
}
