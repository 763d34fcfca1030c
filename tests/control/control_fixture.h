// A fixture for tests through the exported functions: the scene fixture with a selected box,
// helpers to name a control's handles and to set a control up over the selection.
// The manager is disposed before the live counts are compared.
#ifndef TILLER_TESTS_CONTROL_CONTROL_FIXTURE_H
#define TILLER_TESTS_CONTROL_CONTROL_FIXTURE_H

#include "control/test_profiles.h"
#include "support/scene_fixture.h"
#include "tiller/tiller.h"

#include <array>
#include <string>
#include <vector>

// Sets the control up over the scene's selection as a CAD host would (kvSceneSetupGeometry).
inline int SetupOverSelection(KvScene* scene, ViewportStruct* vp, GControl* c,
                              const GControlProperties& props) {
    KvSetupGeometry g{};
    if (!kvSceneSetupGeometry(scene, &g)) return 0;
    ExtentsStruct* extents = ExtentsNewEx();
    ExtentsSet(extents, g.extentsMin.x, g.extentsMin.y, g.extentsMin.z, g.extentsMax.x,
               g.extentsMax.y, g.extentsMax.z);
    VertexStruct* ref = VertexNewEx(g.refPoint.x, g.refPoint.y, g.refPoint.z);
    const int done = dbGCtrlSetup(c, &props, vp, &g.controlCS, extents, ref, &g.rotbarCS,
                                  &g.selectionCS, extents);
    VertexDispose(&ref);
    ExtentsDispose(&extents);
    return done;
}
// The pointer over pixel (px, py): the host's sample, then dbGCtrlDrag with it.
inline GHandle* PointerMove(KvScene* scene, ViewportStruct* vp, GControl* c, double px, double py,
                            uint32_t* changed = nullptr, uint16_t keys = 0, uint32_t uniform = 0,
                            uint32_t fromCenter = 0, uint32_t keepSelectionCS = 0) {
    KvDragSample s{};
    if (!kvScenePointerMove(scene, vp, px, py, &s)) return nullptr;
    return dbGCtrlDrag(c, s.x, s.y, s.z, s.vx, s.vy, s.vz, keys, uniform, fromCenter,
                       keepSelectionCS, changed);
}
// A press over pixel (px, py) starting a drag of h; the answer of dbGCtrlSetState.
inline int Press(KvScene* scene, ViewportStruct* vp, GControl* c, GHandle* h, double px, double py,
                 uint16_t keys = 0) {
    KvDragSample s{};
    if (!kvScenePointerPress(scene, vp, px, py, &s)) return 0;
    return dbGCtrlSetState(c, 1, h, s.x, s.y, s.z, s.vx, s.vy, s.vz, keys);
}

class ControlFixture : public SceneFixture {
  protected:
    void SetUp() override {
        SceneFixture::SetUp();
        kvSceneAddBox(scene, {-0.1, -0.1, 0}, {0.1, 0.1, 0.1}, 0x808080);
    }
    void ReleaseAll() override {
        dbDisposeGCtrlManager();
        SceneFixture::ReleaseAll();
        for (const std::string& path : written)
            std::filesystem::remove(path);
    }

    // The profile built in `profile`, written to a temporary file removed after the test.
    std::string WriteTestProfile(const std::string& fileName) {
        written.push_back(testprofile::WriteProfile(profile, fileName));
        return written.back();
    }

    // A control in the scene's drawing unless another is given.
    // A control of the profile built in `profile`, set up with identity frames and default
    // settings, and shown when asked; null when it cannot be made or set up.
    GControl* CreateWritten(const std::string& fileName, bool show = true) {
        GControl* c = Create(WriteTestProfile(fileName));
        if (!c || Setup(c, GControlProperties{}) != 1 || (show && dbGCtrlShow(c, 1, 0) != 1))
            return nullptr;
        return c;
    }
    GControl* Create(const std::string& path, const char* name = "test",
                     DrawingStruct* in = nullptr, ExtentsCallback cb = kvSelectionExtents) {
        return dbGCtrlCreate(path.c_str(), name, in ? in : drawing, cb);
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
    int SetupOverSelection(GControl* c, const GControlProperties& props) {
        return ::SetupOverSelection(scene, vp, c, props);
    }
    GHandle* PointerMove(GControl* c, double px, double py, uint32_t* changed = nullptr,
                         uint16_t keys = 0, uint32_t uniform = 0, uint32_t fromCenter = 0,
                         uint32_t keepSelectionCS = 0) {
        return ::PointerMove(scene, vp, c, px, py, changed, keys, uniform, fromCenter,
                             keepSelectionCS);
    }
    // The name of the handle the pointer finds over a world point, `dy` pixels above it, or "".
    std::string HoverName(GControl* c, KvPoint world, double dy = 0, uint32_t* changed = nullptr) {
        const std::array<double, 2> px = PixelOf(world);
        GHandle* h = PointerMove(c, px[0], px[1] - dy, changed);
        return h ? dbGHandleGetParams(c, h)->csName : "";
    }
    int Press(GControl* c, GHandle* h, double px, double py, uint16_t keys = 0) {
        return ::Press(scene, vp, c, h, px, py, keys);
    }
    // Ends the drag in progress; the answer of dbGCtrlSetState.
    int Release(GControl* c) {
        kvScenePointerRelease(scene);
        return dbGCtrlSetState(c, 0, nullptr, 0, 0, 0, 0, 0, 0, 0);
    }
    // The pixel where a world point is drawn.
    std::array<double, 2> PixelOf(KvPoint world) {
        std::array<double, 2> px{-1, -1};
        kvViewportWorldToPixel(vp, world, &px[0], &px[1]);
        return px;
    }
    // The indices of the viewport's elements shown now that hiding the handle hides.
    std::vector<size_t> ShownElementsOf(GControl* c, const std::string& name) {
        const std::vector<CRedUIElement*> elements = kvViewportElements(vp);
        std::vector<bool> before;
        for (CRedUIElement* e : elements)
            before.push_back(InfoOf(e).visible != 0);
        dbGHandleSetVisible(c, Named(c, name), 0);
        std::vector<size_t> own;
        for (size_t i = 0; i < elements.size(); ++i)
            if (before[i] && !InfoOf(elements[i]).visible) own.push_back(i);
        dbGHandleSetVisible(c, Named(c, name), 1);
        return own;
    }
    int VisibleElements() {
        int visible = 0;
        for (CRedUIElement* e : kvViewportElements(vp))
            visible += InfoOf(e).visible;
        return visible;
    }

    std::vector<std::string> written; // profiles written with WriteTestProfile
};

#endif
