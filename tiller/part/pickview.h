// The view a hover tests its parts in, read from the host once per pointer sample rather than
// once per part, and the screen-space box that lets a part far from the cursor skip the host's
// picking queries altogether.
#ifndef TILLER_PART_PICKVIEW_H
#define TILLER_PART_PICKVIEW_H

#include "tiller/host/korvex.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

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

// Items filed by where their boxes lie on screen, so that a hover finds the few near the cursor
// without looking at the rest: its cost then follows the parts near the cursor, not the number
// of handles. Built again whenever a box may have changed.
class ScreenGrid {
  public:
    void Clear();
    void Add(uint32_t item, const ScreenBox& box) { boxed_.push_back({item, box, {}}); }
    // An item without a box: every point is near it.
    void AddEverywhere(uint32_t item) { everywhere_.push_back(item); }
    // Files the boxes, each grown by `margin` on every side, into cells.
    void Build(double margin);
    // Calls visit(item) once for every item whose grown box may hold (x, y): the items without
    // a box and those of the point's cell; never misses one whose grown box holds the point.
    template <class Visit> void ForEachNear(double x, double y, Visit visit) const {
        for (uint32_t item : everywhere_)
            visit(item);
        if (!(x >= minX_ && x <= maxX_ && y >= minY_ && y <= maxY_)) return;
        const std::size_t cell = static_cast<std::size_t>(Row(y) * columns_ + Column(x));
        for (uint32_t i = cellStart_[cell]; i < cellStart_[cell + 1]; ++i)
            visit(cellItems_[i]);
    }

  private:
    struct Boxed {
        uint32_t item;
        ScreenBox box;
        std::array<int, 4> cells; // first column and row, last column and row
    };
    // The cell column and row of a coordinate within the grid's bounds; rounding is monotonic,
    // so a point inside a box falls in a cell the box was filed in.
    int Column(double x) const { return Cell(x, minX_, cellWidth_, columns_); }
    int Row(double y) const { return Cell(y, minY_, cellHeight_, rows_); }
    static int Cell(double v, double low, double size, int count);

    std::vector<Boxed> boxed_;
    std::vector<uint32_t> everywhere_;
    std::vector<uint32_t> cellStart_; // cell c holds cellItems_[cellStart_[c], cellStart_[c+1])
    std::vector<uint32_t> cellItems_;
    // Empty bounds until built: no point is inside.
    double minX_ = 1, minY_ = 1, maxX_ = 0, maxY_ = 0;
    double cellWidth_ = 0, cellHeight_ = 0;
    int columns_ = 0, rows_ = 0;
};

// Whether the cursor lies within the pick radius of the box.
inline bool CursorNear(const PickView& view, const ScreenBox& box) {
    return view.cursorX >= box.minX - view.radius && view.cursorX <= box.maxX + view.radius &&
           view.cursorY >= box.minY - view.radius && view.cursorY <= box.maxY + view.radius;
}

} // namespace tiller

#endif
