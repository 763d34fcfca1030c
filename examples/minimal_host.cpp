// The smallest host of a control: one selected box in an isometric viewport, a control from
// the shipped profile over it, and one drag of its X arrow by 60 pixels. Every call a CAD host
// makes is here, in the order it makes them; the reference host stands in for the CAD host's
// drawing, viewport and pointer. Exits 0 when the box has moved along X.
//
#include "tiller/tiller.h"

#include "korvex/math.h"
#include "korvex/session.h"
#include "korvex/view.h"
#include "tiller/host/korvex.h"

#include <cmath>
#include <cstdio>

namespace {

// The pixel 60 pixels out from the control's centre along the on-screen image of world X.
bool ArrowPixel(ViewportStruct* vp, KvPoint centre, double* px, double* py) {
    double cx, cy, ax, ay;
    if (!kvViewportWorldToPixel(vp, centre, &cx, &cy) ||
        !kvViewportWorldToPixel(vp, {centre.x + 1, centre.y, centre.z}, &ax, &ay))
        return false;
    const double length = std::hypot(ax - cx, ay - cy);
    *px = cx + 60 * (ax - cx) / length;
    *py = cy + 60 * (ay - cy) / length;
    return true;
}

// Sets the control up over the selection as it is now and shows it.
bool SetUp(GControl* control, KvScene* scene, ViewportStruct* vp, KvPoint* centre) {
    KvSetupGeometry g{};
    if (!kvSceneSetupGeometry(scene, &g)) return false;
    // The library copies what it keeps: these records stay ours and go after the call.
    ExtentsStruct* extents = ExtentsNewEx();
    ExtentsSet(extents, g.extentsMin.x, g.extentsMin.y, g.extentsMin.z, g.extentsMax.x,
               g.extentsMax.y, g.extentsMax.z);
    VertexStruct* ref = VertexNewEx(g.refPoint.x, g.refPoint.y, g.refPoint.z);
    const GControlProperties settings; // the defaults
    const int done = dbGCtrlSetup(control, &settings, vp, &g.controlCS, extents, ref, &g.rotbarCS,
                                  &g.selectionCS, extents);
    ExtentsDispose(&extents);
    VertexDispose(&ref);
    *centre = g.refPoint;
    return done && dbGCtrlShow(control, ShowAll, 1);
}

// One drag from press to release; answers the handle's name, or "" when nothing was dragged.
std::string DragArrow(GControl* control, KvScene* scene, ViewportStruct* vp, double px, double py) {
    KvDragSample s{};
    // Hovering first lights the handle up; the press then starts its drag.
    kvScenePointerMove(scene, vp, px, py, &s);
    GHandle* handle = dbGCtrlDrag(control, s.x, s.y, s.z, s.vx, s.vy, s.vz, 0, 0, 0, 0, nullptr);
    if (!handle || !kvScenePointerPress(scene, vp, px, py, &s)) return "";
    dbGCtrlSetState(control, StateDragging, handle, s.x, s.y, s.z, s.vx, s.vy, s.vz, 0);
    for (int step = 1; step <= 6; ++step) {
        kvScenePointerMove(scene, vp, px + 10 * step, py, &s);
        dbGCtrlDrag(control, s.x, s.y, s.z, s.vx, s.vy, s.vz, 0, 0, 0, 0, nullptr);
    }
    // mDrag is the whole drag since the press; the host applies it once, at the release.
    // It stays null when no drag step succeeded: then there is nothing to apply.
    const HandleProperties* params = dbGHandleGetParams(control, handle);
    const MatrixStruct* moved = params ? params->mDrag : nullptr;
    const MatrixStruct applied = moved ? *moved : Identity;
    dbGCtrlSetState(control, StateIdle, nullptr, 0, 0, 0, 0, 0, 0, 0);
    kvScenePointerRelease(scene);
    kvSceneTransformSelection(scene, &applied);
    return moved ? params->csName : "";
}

} // namespace

int main() {
    KvScene* scene = kvSceneNew();
    kvSceneAddBox(scene, {0, 0, 0}, {2, 1, 0.5}, 0xB0A898); // added selected
    ViewportStruct* vp = kvViewportCreate(kvSceneDrawing(scene), 800, 600);
    kvViewportSetPreset(vp, KvViewIso);
    ExtentsStruct* all = ExtentsNewEx();
    kvSceneSelectionExtents(scene, nullptr, all);
    kvViewportFit(vp, all, 0.7);
    ExtentsDispose(&all);

    GControl* control =
        dbGCtrlCreate("UniversalCtrl.qvw", "main", kvSceneDrawing(scene), kvSelectionExtents);
    KvPoint before{}, after{};
    double px = 0, py = 0;
    const bool ready =
        control && SetUp(control, scene, vp, &before) && ArrowPixel(vp, before, &px, &py);
    const std::string dragged = ready ? DragArrow(control, scene, vp, px, py) : "";
    const bool moved = !dragged.empty() && SetUp(control, scene, vp, &after);
    std::printf("dragged %s from (%.0f, %.0f) by 60 pixels: the box's centre went from "
                "(%.3f, %.3f, %.3f) to (%.3f, %.3f, %.3f)\n",
                dragged.empty() ? "nothing" : dragged.c_str(), px, py, before.x, before.y, before.z,
                after.x, after.y, after.z);

    dbDisposeGCtrlManager(); // every control, then every profile
    kvSceneDispose(&scene);  // the drawing and its viewport
    return moved && after.x > before.x && after.y == before.y && after.z == before.z ? 0 : 1;
}
