// tiller: the command-line tool. "tiller demo --out DIR" builds a scene with a selected box,
// puts the universal control over it through the exported functions, prints what each call
// answered, and writes the control's report and a picture of the viewport into DIR.

// <cmath> comes first: tiller.h declares the library's own round.
#include <cmath>

#include "korvex/session.h"
#include "tiller/tiller.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: tiller demo --out DIR\n");
    return 2;
}

// Hovers the centre of the viewport and answers the handle found there, if any.
GHandle* HoverCentre(GControl* control, KvScene* scene, ViewportStruct* vp) {
    const KvViewInfo info = kvViewportInfo(vp);
    KvDragSample s{};
    if (!kvScenePointerMove(scene, vp, info.width / 2.0, info.height / 2.0, &s)) return nullptr;
    uint32_t changed = 0;
    return dbGCtrlDrag(control, s.x, s.y, s.z, s.vx, s.vy, s.vz, 0, 0, 0, 0, &changed);
}

void PrintHandles(GControl* control) {
    const GHandleList* handles = dbGCtrlGetHandles(control);
    std::printf("dbGCtrlGetHandles: %zu handles\n", handles ? handles->size() : 0);
    if (!handles) return;
    for (GHandle* handle : *handles)
        std::printf("  %-24s visible %d\n", dbGHandleGetParams(control, handle)->csName.c_str(),
                    dbGHandleGetVisible(control, handle));
}

int SetupOverSelection(GControl* control, KvScene* scene, ViewportStruct* vp) {
    ExtentsStruct* box = ExtentsNewEx();
    VertexStruct* refPoint = VertexNewEx(0, 0, 0);
    kvSceneSelectionExtents(scene, nullptr, box);
    kvViewportFit(vp, box, 0.5);
    const GControlProperties settings;
    const int done =
        dbGCtrlSetup(control, &settings, vp, nullptr, box, refPoint, nullptr, nullptr, box);
    VertexDispose(&refPoint);
    ExtentsDispose(&box);
    return done;
}

void ShowFailureValues(GControl* deleted) {
    std::printf("failure values for a deleted control: Show %d, Delete %d, GetHandles %p, "
                "ToString \"%s\"\n",
                dbGCtrlShow(deleted, 1, 0), dbGCtrlDelete(deleted),
                static_cast<void*>(dbGCtrlGetHandles(deleted)), dbGCtrlToString(deleted).c_str());
    std::printf("dbGCtrlCreate of a missing profile: %p\n",
                static_cast<void*>(dbGCtrlCreate("missing.qvw", "demo", nullptr, nullptr)));
    volatile double x = 1.234567895;
    std::printf("round(1.234567895) = %.10g\n", round(x));
}

int Demo(const std::filesystem::path& out) {
    std::filesystem::create_directories(out);
    KvScene* scene = kvSceneNew();
    DrawingStruct* drawing = kvSceneDrawing(scene);
    ViewportStruct* vp = kvViewportCreate(drawing, 800, 600);
    kvSceneAddBox(scene, {-0.2, -0.2, 0}, {0.2, 0.2, 0.3}, 0x808080);
    kvViewportSetPreset(vp, KvViewIso);

    std::printf("dbGetGCtrlManager: %s\n", dbGetGCtrlManager() ? "made" : "null");
    GControl* control = dbGCtrlCreate("UniversalCtrl.qvw", "demo", drawing, kvSelectionExtents);
    std::printf("dbGCtrlCreate(\"UniversalCtrl.qvw\"): %s\n", control ? "a control" : "null");
    if (!control) {
        kvSceneDispose(&scene);
        return 1;
    }
    std::printf("the same create again gives %s\n",
                dbGCtrlCreate("UniversalCtrl.qvw", "DEMO", drawing, kvSelectionExtents) == control
                    ? "the same control"
                    : "another control");
    PrintHandles(control);
    std::printf("dbGCtrlSetup: %d\n", SetupOverSelection(control, scene, vp));
    std::printf("dbGCtrlShow: %d\n", dbGCtrlShow(control, 1, 1));
    GHandle* hovered = HoverCentre(control, scene, vp);
    std::printf("handle under the centre pixel: %s\n",
                hovered ? dbGHandleGetParams(control, hovered)->csName.c_str() : "none");

    std::ofstream(out / "report.txt") << dbGCtrlToString(control);
    std::string reason;
    const bool rendered = kvRenderViewportToPng(vp, (out / "demo.png").c_str(), &reason);
    std::printf("wrote %s and %s\n", (out / "report.txt").c_str(),
                rendered ? (out / "demo.png").c_str() : ("no picture: " + reason).c_str());

    std::printf("dbGCtrlDelete: %d\n", dbGCtrlDelete(control));
    ShowFailureValues(control);
    dbDisposeGCtrlManager();
    kvSceneDispose(&scene);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "demo") == 0 && std::strcmp(argv[2], "--out") == 0)
        return Demo(argv[3]);
    return Usage();
}
