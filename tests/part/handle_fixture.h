// A fixture for unit tests of handles and parts: a profile drawing built in code, a scene
// drawing with one viewport to show the handles in, and a control that owns nothing but its
// settings. Handles made through Load are released before the live counts are compared.
#ifndef TILLER_TESTS_PART_HANDLE_FIXTURE_H
#define TILLER_TESTS_PART_HANDLE_FIXTURE_H

#include "control/test_profiles.h"
#include "korvex/session.h"
#include "support/live_records.h"
#include "tiller/control/gcontrol.h"
#include "tiller/handle/ghandle.h"
#include "tiller/part/ghandlepart.h"

#include <vector>

class HandleFixture : public LiveRecordsTest {
  protected:
    void SetUp() override {
        LiveRecordsTest::SetUp();
        profile = kvDrawingNew();
        root = DrawingGetModelRoot(profile);
        scene = kvSceneNew();
        drawing = kvSceneDrawing(scene);
        vp = kvViewportCreate(drawing, 800, 600);
        control = new GControl(nullptr, L"test", drawing, kvSelectionExtents);
    }
    void ReleaseAll() override {
        for (GHandle* h : handles)
            delete h;
        handles.clear();
        delete control;
        kvSceneDispose(&scene);
        DrawingDispose(&profile);
    }
    GHandle* Load(GraphicStruct* group) {
        handles.push_back(new GHandle(control, group, drawing, vp, kvSelectionExtents));
        return handles.back();
    }
    static KvElementInfo Info(const tiller::GHandlePart* part) {
        KvElementInfo info{};
        kvElementGetInfo(part->Primitive, &info);
        return info;
    }
    // Whether the part's element draws with that matrix of its own.
    static bool DrawnWith(const tiller::GHandlePart* part, const MatrixStruct& expected) {
        const KvElementInfo info = Info(part);
        return MatrixEqual(&info.matrix, &expected);
    }

    DrawingStruct* profile = nullptr;
    GraphicStruct* root = nullptr;
    KvScene* scene = nullptr;
    DrawingStruct* drawing = nullptr;
    ViewportStruct* vp = nullptr;
    GControl* control = nullptr;
    std::vector<GHandle*> handles;
};

#endif
