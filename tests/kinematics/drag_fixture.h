// Hand-built handles for the drag routines: a handle whose frame, placement and selection are
// set directly, placed by the library's own placement over one world box, in a viewport of the
// reference host, with a mouseout part made from a square of a profile drawing when a routine
// reads one. Expected values in the tests are worked out in plain arithmetic.
#ifndef TILLER_TESTS_KINEMATICS_DRAG_FIXTURE_H
#define TILLER_TESTS_KINEMATICS_DRAG_FIXTURE_H

#include "control/test_profiles.h"
#include "korvex/view.h"
#include "support/live_records.h"
#include "support/math3d.h"
#include "tiller/handle/ghandle.h"
#include "tiller/kinematics/drag.h"
#include "tiller/part/ghandlepart.h"

#include <memory>
#include <vector>

using Vec = KvPoint;

// The selection: one world box. The extents callback measures it in the coordinate system it is
// given, mapping the box corners by that matrix (the library passes world-to-handle).
inline const Vec BoxMin{0.5, 0.2, 0.0}, BoxMax{1.5, 0.8, 0.4};
inline const Vec BoxCentre{1.0, 0.5, 0.2};

inline int MeasureBox(MatrixStruct* cs, ExtentsStruct** e) {
    Vec lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
    for (int i = 0; i < 8; ++i) {
        const Vec c = Apply(*cs, {i & 1 ? BoxMax.x : BoxMin.x, i & 2 ? BoxMax.y : BoxMin.y,
                                  i & 4 ? BoxMax.z : BoxMin.z});
        lo = {std::fmin(lo.x, c.x), std::fmin(lo.y, c.y), std::fmin(lo.z, c.z)};
        hi = {std::fmax(hi.x, c.x), std::fmax(hi.y, c.y), std::fmax(hi.z, c.z)};
    }
    ExtentsSet(*e, lo.x, lo.y, lo.z, hi.x, hi.y, hi.z);
    return 1;
}

class DragTest : public LiveRecordsTest {
  protected:
    void SetUp() override {
        LiveRecordsTest::SetUp();
        vp_ = kvViewportCreate(nullptr, 800, 600);
        profile_ = kvDrawingNew();
        Look({3, -4, 2.5}, false);
    }
    void ReleaseAll() override {
        handles_.clear();
        ViewportDispose(&vp_);
        DrawingDispose(&profile_);
    }

    void Look(KvPoint eye, bool perspective) {
        kvViewportSetCamera(vp_, eye, {1, 0.5, 0.2}, {0, 0, 1});
        if (perspective)
            kvViewportSetPerspective(vp_, 40);
        else
            kvViewportSetParallel(vp_, 0.004);
    }
    bool Perspective() { return ViewportIsPerspective(vp_) != 0; }
    // Runs the checks in the parallel and then the perspective view of the fixture's eye, with
    // the tolerance of each (the perspective routines measure through normalized projection).
    template <class Checks> void InBothViews(Checks checks) {
        for (bool perspective : {false, true}) {
            SCOPED_TRACE(perspective ? "perspective" : "parallel");
            Look({3, -4, 2.5}, perspective);
            checks(perspective ? 1e-6 : 1e-9);
        }
    }

    // A loaded handle of that kind, its coordsystem frame `profile`, placed at `refPoint` with
    // the world as control frame and the box as selection.
    GHandle* MakeHandle(uint32_t transform, uint32_t movement, const MatrixStruct& profile,
                        Vec refPoint, ExtentsCallback callback = MeasureBox) {
        auto* h = new GHandle(nullptr, nullptr, nullptr, vp_, callback);
        handles_.emplace_back(h);
        h->isLoaded = 1;
        h->TransformType = transform;
        h->MovementType = movement;
        h->PositionType = PositionRefpoint;
        h->OrientationType = OrientationGCtrlCS;
        // Sized with the selection: the host never rescales its parts on its own.
        h->ExtentsType = ExtentsBySelection;
        h->mProfileCS = MatrixCopyEx(&profile);
        h->mProfileCSInv = MatrixOrthoInvertEx(&profile);
        MatrixStruct* cs = MatrixSingle();
        ExtentsStruct* box = ExtentsNewEx();
        ExtentsSet(box, BoxMin.x, BoxMin.y, BoxMin.z, BoxMax.x, BoxMax.y, BoxMax.z);
        VertexStruct* ref = VertexNewEx(refPoint.x, refPoint.y, refPoint.z);
        tiller::PreparedPlacement placement;
        if (h->PreparePlacement(cs, box, ref, cs, nullptr, nullptr, placement))
            h->TakePlacement(placement);
        MatrixDispose(&cs);
        ExtentsDispose(&box);
        VertexDispose(&ref);
        return h;
    }
    // The handle's mouseout part: a square of half size 0.05 in the plane z = centre.z.
    tiller::GHandlePart* AddMouseout(GHandle* h, Vec centre) {
        GraphicStruct* root = DrawingGetModelRoot(profile_);
        GraphicStruct* group = testprofile::AddGroup(root, {});
        testprofile::AddSquare(group, centre, 0.05);
        auto* part = new tiller::GHandlePart(vp_, root, group, profile_, PartMouseout, nullptr, h,
                                             0, 1, 1, 1, 0);
        h->parts[tiller::SlotMouseout] = part;
        EXPECT_TRUE(part->PartIsLoaded());
        return part;
    }

    // The sample of a cursor at a world point: the view triple is its view coordinates
    // (parallel) or its normalized projection (perspective).
    tiller::DragSample At(Vec p, uint32_t uniform = 0, uint32_t fromCentre = 0, uint16_t keys = 0) {
        const Vec v = Apply(*ViewportGetMatrix(vp_), p);
        tiller::DragSample s{p.x, p.y, p.z, v.x, v.y, v.z, keys, uniform, fromCentre};
        if (Perspective()) s.vx = v.x / -v.z, s.vy = v.y / -v.z, s.vz = -1;
        return s;
    }
    // A point on the sight line through a pixel.
    Vec AtPixel(double px, double py) {
        KvPoint o{}, d{};
        kvViewportPixelToSightLine(vp_, px, py, &o, &d);
        return o + d * 3.0;
    }
    void Pixel(Vec p, double* px, double* py) { kvViewportWorldToPixel(vp_, p, px, py); }

    // What set-state does when the drag starts at world point p.
    void Start(GHandle* h, Vec p) {
        const tiller::DragSample s = At(p);
        const double start[3] = {s.x, s.y, s.z}, start2[3] = {s.vx, s.vy, s.vz};
        std::copy(start, start + 3, h->ptDragStart);
        std::copy(start2, start2 + 3, h->ptDragStart2);
        if (h->mDrag) *h->mDrag = Identity;
    }
    // One drag step; `handleMatrix` receives the returned handle matrix.
    int Drag(GHandle* h, const tiller::DragSample& s, MatrixStruct* handleMatrix = nullptr) {
        MatrixStruct* m = MatrixSingle();
        const int ok = tiller::HandleDrag(h, &m, s);
        if (handleMatrix) *handleMatrix = *m;
        MatrixDispose(&m);
        return ok;
    }

    ViewportStruct* vp_ = nullptr;
    DrawingStruct* profile_ = nullptr;
    std::vector<std::unique_ptr<GHandle>> handles_;
};

#endif
