// A scene for the benchmarks: a selected box seen in one viewport, with a control from a shipped
// profile set up over it and shown, driven through the exports as a host drives it.
#ifndef TILLER_BENCH_BENCH_SCENE_H
#define TILLER_BENCH_BENCH_SCENE_H

#include "korvex/session.h"
#include "tiller/tiller.h"

#include <string>

class BenchScene {
  public:
    BenchScene(const char* profile, KvViewPreset view, bool perspective, int width = 1920,
               int height = 1080) {
        scene_ = kvSceneNew();
        vp_ = kvViewportCreate(kvSceneDrawing(scene_), width, height);
        kvSceneAddBox(scene_, {0, 0, 0}, {2, 1, 0.5}, 0x808080);
        kvViewportSetPreset(vp_, view);
        if (perspective) kvViewportSetPerspective(vp_, 45);
        kvSceneSetupGeometry(scene_, &geometry_);
        ExtentsStruct* box = SelectionBox();
        kvViewportFit(vp_, box, 0.5);
        ExtentsDispose(&box);
        control_ = AddControl(profile, "bench");
        setUp_ = control_ != nullptr;
    }

    // A further control of the profile, set up over the selection and shown; null on failure.
    GControl* AddControl(const char* profile, const char* name) {
        GControl* control =
            dbGCtrlCreate(profile, name, kvSceneDrawing(scene_), kvSelectionExtents);
        if (!control || !SetUp(control, 0) || !dbGCtrlShow(control, 1, 0)) return nullptr;
        return control;
    }

    // Sets the control up over the selection, its frames and reference point moved `dx` along
    // world X (the selection's extents in the control frame stay the same).
    bool SetUp(GControl* control, double dx) {
        KvSetupGeometry g = geometry_;
        for (MatrixStruct* m : {&g.controlCS, &g.rotbarCS, &g.selectionCS})
            m->m[12] += dx;
        ExtentsStruct* box = SelectionBox();
        VertexStruct* ref = VertexNewEx(g.refPoint.x + dx, g.refPoint.y, g.refPoint.z);
        GControlProperties settings;
        const bool ok = dbGCtrlSetup(control, &settings, vp_, &g.controlCS, box, ref, &g.rotbarCS,
                                     &g.selectionCS, box);
        VertexDispose(&ref);
        ExtentsDispose(&box);
        return ok;
    }
    KvPoint RefPoint(double dx = 0) const {
        return {geometry_.refPoint.x + dx, geometry_.refPoint.y, geometry_.refPoint.z};
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
    ExtentsStruct* SelectionBox() const {
        ExtentsStruct* box = ExtentsNewEx();
        const KvSetupGeometry& g = geometry_;
        ExtentsSet(box, g.extentsMin.x, g.extentsMin.y, g.extentsMin.z, g.extentsMax.x,
                   g.extentsMax.y, g.extentsMax.z);
        return box;
    }

    KvSetupGeometry geometry_{};
    KvScene* scene_ = nullptr;
    ViewportStruct* vp_ = nullptr;
    GControl* control_ = nullptr;
    bool setUp_ = false;
};

#endif
