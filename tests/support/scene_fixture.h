// A fixture with a scene drawing of the host application and one 800x600 viewport on it, and
// an empty profile drawing to build handle groups in (control/test_profiles.h). Both drawings
// are released before the live counts are compared.
#ifndef TILLER_TESTS_SUPPORT_SCENE_FIXTURE_H
#define TILLER_TESTS_SUPPORT_SCENE_FIXTURE_H

#include "korvex/session.h"
#include "support/live_records.h"

// What a display element shows and where.
inline KvElementInfo InfoOf(CRedUIElement* e) {
    KvElementInfo info{};
    kvElementGetInfo(e, &info);
    return info;
}

class SceneFixture : public LiveRecordsTest {
  protected:
    void SetUp() override {
        LiveRecordsTest::SetUp();
        scene = kvSceneNew();
        drawing = kvSceneDrawing(scene);
        vp = kvViewportCreate(drawing, 800, 600);
        profile = kvDrawingNew();
        root = DrawingGetModelRoot(profile);
    }
    void ReleaseAll() override {
        kvSceneDispose(&scene);
        DrawingDispose(&profile);
    }

    KvScene* scene = nullptr;
    DrawingStruct* drawing = nullptr;
    ViewportStruct* vp = nullptr;
    DrawingStruct* profile = nullptr;
    GraphicStruct* root = nullptr;
};

#endif
