// A scene for the benchmarks: a selected box seen in one viewport, with a control from a shipped
// profile set up over it and shown, driven through the exports as a host drives it.
#ifndef TILLER_BENCH_BENCH_SCENE_H
#define TILLER_BENCH_BENCH_SCENE_H

#include "korvex/session.h"
#include "tiller/tiller.h"

#include <string>

class BenchScene {
  public:
    BenchScene(const char* profile, KvViewPreset view, bool perspective) {
        scene_ = kvSceneNew();
        vp_ = kvViewportCreate(kvSceneDrawing(scene_), 800, 600);
        kvSceneAddBox(scene_, {0, 0, 0}, {2, 1, 0.5}, 0x808080);
        kvViewportSetPreset(vp_, view);
        if (perspective) kvViewportSetPerspective(vp_, 45);
        control_ = dbGCtrlCreate(profile, "bench", kvSceneDrawing(scene_), kvSelectionExtents);
        KvSetupGeometry g{};
        kvSceneSetupGeometry(scene_, &g);
        ExtentsStruct* box = ExtentsNewEx();
        ExtentsSet(box, g.extentsMin.x, g.extentsMin.y, g.extentsMin.z, g.extentsMax.x,
                   g.extentsMax.y, g.extentsMax.z);
        kvViewportFit(vp_, box, 0.5);
        VertexStruct* ref = VertexNewEx(g.refPoint.x, g.refPoint.y, g.refPoint.z);
        GControlProperties settings;
        settings.Show_BoundaryBox = 1;
        settings.Show_BoundaryBox_Facets = 1;
        setUp_ = dbGCtrlSetup(control_, &settings, vp_, &g.controlCS, box, ref, &g.rotbarCS,
                              &g.selectionCS, box) &&
                 dbGCtrlShow(control_, 1, 0);
        VertexDispose(&ref);
        ExtentsDispose(&box);
    }
    ~BenchScene() {
        dbDisposeGCtrlManager();
        kvSceneDispose(&scene_);
    }
    BenchScene(const BenchScene&) = delete;
    BenchScene& operator=(const BenchScene&) = delete;

    bool Ready() const { return control_ && setUp_; }
    GControl* Control() const { return control_; }
    KvScene* Scene() const { return scene_; }
    ViewportStruct* Viewport() const { return vp_; }

    // The host's sample for a pointer over pixel (px, py), outside a drag or during one.
    KvDragSample Sample(double px, double py) const {
        KvDragSample s{};
        kvScenePointerMove(scene_, vp_, px, py, &s);
        return s;
    }
    // The pixel where a world point is drawn.
    void PixelOf(KvPoint world, double* px, double* py) const {
        kvViewportWorldToPixel(vp_, world, px, py);
    }

  private:
    KvScene* scene_ = nullptr;
    ViewportStruct* vp_ = nullptr;
    GControl* control_ = nullptr;
    bool setUp_ = false;
};

#endif
