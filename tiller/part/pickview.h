// The view a hover tests its parts in, read from the host once per pointer sample rather than
// once per part, and the screen-space box that lets a part far from the cursor skip the host's
// picking queries altogether.
#ifndef TILLER_PART_PICKVIEW_H
#define TILLER_PART_PICKVIEW_H

#include "tiller/host/korvex.h"

#include <cstdint>

namespace tiller {

// A box on screen: view coordinates in parallel views, normalized projection coordinates
// (x/-z, y/-z) in perspective ones.
struct ScreenBox {
    double minX, minY, maxX, maxY;
};

class PickViewTracker;

struct PickView {
    ViewportStruct* viewport = nullptr;
    PickViewTracker* tracker = nullptr; // lends the scratch viewport of perspective tests
    const MatrixStruct* view = nullptr; // world into view coordinates
    bool perspective = false;
    int aperture = 0;
    double tolerance = 0; // drawing units the aperture covers (at the target in perspective)
    // Whether the cursor below is usable for culling: false leaves every part to the queries.
    bool culls = false;
    double cursorX = 0, cursorY = 0; // in the screen box's coordinates
    double radius = 0;               // no query finds anything farther from the cursor
    uint64_t generation = 0;         // changes whenever the projection above does
};

// Remembers the projection a control's parts were last boxed in, so that their screen boxes
// are recomputed only after the view changes, and keeps the one scratch viewport that the
// perspective tests of view-dependent parts reuse.
class PickViewTracker {
  public:
    PickViewTracker() = default;
    ~PickViewTracker();
    PickViewTracker(const PickViewTracker&) = delete;
    PickViewTracker& operator=(const PickViewTracker&) = delete;

    // Reads the viewport (null view when it has none) and the cursor, a point of the cursor's
    // sight line in user coordinates.
    PickView Read(ViewportStruct* vp, double x, double y, double z, int aperture);
    // A viewport of the tracker's own, made on first use; null when the host cannot make one.
    ViewportStruct* ScratchViewport();

  private:
    ViewportStruct* scratch_ = nullptr;
    MatrixStruct last_{};
    bool lastPerspective_ = false;
    ViewportStruct* lastViewport_ = nullptr;
    uint64_t generation_ = 0;
};

// The screen box of a box (low, high corners) carried into the world by `toWorld` (null: already
// in the world) and seen through the view; false when part of it lies at or behind the eye in
// perspective (no box then: the part cannot be culled).
bool ProjectBox(const PickView& view, const MatrixStruct* toWorld, const double low[3],
                const double high[3], ScreenBox* out);

// Whether the cursor lies within the pick radius of the box.
inline bool CursorNear(const PickView& view, const ScreenBox& box) {
    return view.cursorX >= box.minX - view.radius && view.cursorX <= box.maxX + view.radius &&
           view.cursorY >= box.minY - view.radius && view.cursorY <= box.maxY + view.radius;
}

} // namespace tiller

#endif
