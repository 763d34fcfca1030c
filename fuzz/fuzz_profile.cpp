// Drives arbitrary profile contents through a whole session: the bytes become a profile file,
// and a control made from it is set up, shown, hovered across a grid of pixels, pressed on
// every handle, dragged, given an imposed matrix, reported and deleted. Whatever the profile
// holds, nothing may crash or trip a sanitizer, and no host record may outlive the manager.
#include <cmath>

#include "tiller/tiller.h"

#include "korvex/session.h"
#include "korvex/testing.h"
#include "korvex/view.h"
#include "tiller/host/korvex.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// A scene with a selected box and one viewport, kept for the whole run.
struct Host {
    KvScene* scene = kvSceneNew();
    ViewportStruct* vp = nullptr;
    Host() {
        kvSceneMakeCurrent(scene);
        kvSceneAddBox(scene, {0, 0, 0}, {2, 1, 0.5}, 0x808080);
        vp = kvViewportCreate(kvSceneDrawing(scene), 320, 240);
        kvViewportSetPreset(vp, KvViewIso);
    }
    ~Host() { kvSceneDispose(&scene); }
};

int SetupOverSelection(Host& host, GControl* c) {
    KvSetupGeometry g{};
    if (!kvSceneSetupGeometry(host.scene, &g)) return 0;
    ExtentsStruct* extents = ExtentsNewEx();
    ExtentsSet(extents, g.extentsMin.x, g.extentsMin.y, g.extentsMin.z, g.extentsMax.x,
               g.extentsMax.y, g.extentsMax.z);
    VertexStruct* ref = VertexNewEx(g.refPoint.x, g.refPoint.y, g.refPoint.z);
    const GControlProperties settings;
    const int done = dbGCtrlSetup(c, &settings, host.vp, &g.controlCS, extents, ref, &g.rotbarCS,
                                  &g.selectionCS, extents);
    VertexDispose(&ref);
    ExtentsDispose(&extents);
    return done;
}

GHandle* PointerAt(Host& host, GControl* c, double px, double py) {
    KvDragSample s{};
    if (!kvScenePointerMove(host.scene, host.vp, px, py, &s)) return nullptr;
    uint32_t changed = 0;
    return dbGCtrlDrag(c, s.x, s.y, s.z, s.vx, s.vy, s.vz, 0, 0, 0, 0, &changed);
}

// Presses on the handle at the centre of the view, drags it across, imposes a matrix and
// releases.
void DragHandle(Host& host, GControl* c, GHandle* h) {
    KvDragSample s{};
    if (!kvScenePointerPress(host.scene, host.vp, 160, 120, &s)) return;
    if (dbGCtrlSetState(c, 1, h, s.x, s.y, s.z, s.vx, s.vy, s.vz, 0) != 1) return;
    PointerAt(host, c, 200, 100);
    PointerAt(host, c, 90, 180);
    MatrixStruct* m = MatrixSingle();
    if (m) m->m[12] = 0.25;
    dbGCtrlTransform(c, m);
    MatrixDispose(&m);
    kvScenePointerRelease(host.scene);
    dbGCtrlSetState(c, 0, nullptr, 0, 0, 0, 0, 0, 0, 0);
}

void PlaySession(Host& host, const std::string& profile) {
    GControl* c = dbGCtrlCreate(profile.c_str(), "fuzz", kvSceneDrawing(host.scene),
                                kvSelectionExtents);
    if (!c) return;
    SetupOverSelection(host, c);
    dbGCtrlShow(c, 1, 1);
    for (double px = 0; px < 320; px += 40)
        for (double py = 0; py < 240; py += 40)
            PointerAt(host, c, px, py);
    if (const GHandleList* handles = dbGCtrlGetHandles(c)) {
        const GHandleList copy = *handles;
        for (GHandle* h : copy)
            DragHandle(host, c, h);
    }
    (void)dbGCtrlToString(c).size();
    dbGCtrlShow(c, 0, 1);
    dbGCtrlDelete(c);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Host host;
    static const std::string path =
        "/tmp/tiller-fuzz-profile-" + std::to_string(getpid()) + ".qvw";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    dbDisposeGCtrlManager();
    const long before = kvLiveTotal();
    PlaySession(host, path);
    dbDisposeGCtrlManager();
    kvViewportSetPreset(host.vp, KvViewIso);
    if (kvLiveTotal() != before) std::abort(); // a host record outlived the manager
    return 0;
}
