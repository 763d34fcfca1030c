// A fixture for tests through the exported functions: a scene with a selected box and one
// viewport, helpers to name a control's handles and to set a control up over the selection.
// The manager is disposed before the live counts are compared.
#ifndef TILLER_TESTS_CONTROL_CONTROL_FIXTURE_H
#define TILLER_TESTS_CONTROL_CONTROL_FIXTURE_H

// <cmath> comes first: tiller.h declares the library's own round.
#include <cmath>

#include "control/test_profiles.h"
#include "korvex/session.h"
#include "support/live_records.h"
#include "tiller/tiller.h"

#include <string>
#include <vector>

class ControlFixture : public LiveRecordsTest {
  protected:
    void SetUp() override {
        LiveRecordsTest::SetUp();
        scene = kvSceneNew();
        drawing = kvSceneDrawing(scene);
        vp = kvViewportCreate(drawing, 800, 600);
        kvSceneAddBox(scene, {-0.1, -0.1, 0}, {0.1, 0.1, 0.1}, 0x808080);
        profile = kvDrawingNew();
        root = DrawingGetModelRoot(profile);
    }
    void ReleaseAll() override {
        dbDisposeGCtrlManager();
        kvSceneDispose(&scene);
        DrawingDispose(&profile);
        for (const std::string& path : written)
            std::filesystem::remove(path);
    }

    // The profile built in `profile`, written to a temporary file removed after the test.
    std::string WriteTestProfile(const std::string& fileName) {
        written.push_back(testprofile::WriteProfile(profile, fileName));
        return written.back();
    }

    GControl* Create(const std::string& path, const char* name = "test") {
        return dbGCtrlCreate(path.c_str(), name, drawing, kvSelectionExtents);
    }
    std::vector<GHandle*> Handles(GControl* c) {
        const GHandleList* list = dbGCtrlGetHandles(c);
        return list ? std::vector<GHandle*>(list->begin(), list->end()) : std::vector<GHandle*>{};
    }
    std::vector<std::string> Names(GControl* c) {
        std::vector<std::string> names;
        for (GHandle* h : Handles(c))
            names.push_back(dbGHandleGetParams(c, h)->csName);
        return names;
    }
    GHandle* Named(GControl* c, const std::string& name) {
        for (GHandle* h : Handles(c))
            if (dbGHandleGetParams(c, h)->csName == name) return h;
        return nullptr;
    }
    // Identity frames, the reference point at the origin and the given selection extents.
    int Setup(GControl* c, const GControlProperties& props, ExtentsStruct* extents = nullptr) {
        VertexStruct* origin = VertexNewEx(0, 0, 0);
        const int done =
            dbGCtrlSetup(c, &props, vp, nullptr, extents, origin, nullptr, nullptr, nullptr);
        VertexDispose(&origin);
        return done;
    }
    int VisibleElements() {
        int visible = 0;
        for (CRedUIElement* e : kvViewportElements(vp)) {
            KvElementInfo info{};
            kvElementGetInfo(e, &info);
            visible += info.visible;
        }
        return visible;
    }

    KvScene* scene = nullptr;
    DrawingStruct* drawing = nullptr;
    ViewportStruct* vp = nullptr;
    DrawingStruct* profile = nullptr; // built in code, written with WriteTestProfile
    GraphicStruct* root = nullptr;
    std::vector<std::string> written;
};

#endif
