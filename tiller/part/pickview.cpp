// Reading the pick view once per pointer sample and projecting boxes onto the screen with the
// library's own arithmetic: a hover far from every handle then asks the host nothing per part.

#include <cmath>

#include "tiller/part/pickview.h"

#include "tiller/geometry/geometry.h"

#include <algorithm>
#include <cstring>

namespace tiller {
namespace {

// The hit queries search twice the aperture's distance; the box test allows half as much again,
// so rounding in the host's own projection never culls a part it would have found.
constexpr double QueryRadiusFactor = 2.0;
constexpr double CullMargin = 1.5;
// Points this close to the eye plane (in view units) are treated as behind the eye.
constexpr double NearestDepth = 1e-9;
// The grid's cells per side at most: enough for thousands of handles.
constexpr int MaxSide = 32;

void Apply(const MatrixStruct& t, double x, double y, double z, double out[3]) {
    const double* m = t.m;
    out[0] = m[0] * x + m[4] * y + m[8] * z + m[12];
    out[1] = m[1] * x + m[5] * y + m[9] * z + m[13];
    out[2] = m[2] * x + m[6] * y + m[10] * z + m[14];
}

} // namespace

PickViewTracker::~PickViewTracker() {
    ViewportDispose(&scratch_);
}

ViewportStruct* PickViewTracker::ScratchViewport() {
    if (!scratch_) scratch_ = ViewportNewEx(0, 0);
    return scratch_;
}

PickView PickViewTracker::Read(ViewportStruct* vp, double x, double y, double z, int aperture) {
    PickView pick;
    pick.viewport = vp;
    pick.tracker = this;
    pick.aperture = aperture;
    // The view matrix first: reading it lets the host deliver pending view-dependent scale
    // changes to the parts before their boxes are trusted.
    pick.view = vp ? ViewportGetMatrix(vp) : nullptr;
    if (!pick.view) return pick;
    pick.perspective = ViewportIsPerspective(vp) != 0;
    const double tx = ViewportDistanceWtoE(vp, aperture, 'X');
    const double ty = ViewportDistanceWtoE(vp, aperture, 'Y');
    pick.tolerance = tx > ty ? tx : ty;

    if (vp != lastViewport_ || pick.perspective != lastPerspective_ ||
        std::memcmp(&last_, pick.view, sizeof last_) != 0 || generation_ == 0) {
        last_ = *pick.view;
        lastPerspective_ = pick.perspective;
        lastViewport_ = vp;
        ++generation_;
    }
    pick.generation = generation_;

    VertexStruct cursor{x, y, z, nullptr, nullptr};
    CSystemUserToViewportEx(vp, 0, &cursor, &cursor);
    double c[3] = {cursor.x, cursor.y, cursor.z};
    double radius = QueryRadiusFactor * CullMargin * pick.tolerance;
    if (pick.perspective) {
        const CameraStruct* camera = ViewportGetCamera(vp);
        if (!camera || c[2] > -NearestDepth) return pick;
        const double d =
            VectorLength(camera->eye[0] - camera->target[0], camera->eye[1] - camera->target[1],
                         camera->eye[2] - camera->target[2]);
        if (!(d > 0)) return pick;
        radius /= d;
        c[0] /= -c[2];
        c[1] /= -c[2];
    }
    if (!std::isfinite(radius) || !std::isfinite(c[0]) || !std::isfinite(c[1])) return pick;
    pick.cursorX = c[0];
    pick.cursorY = c[1];
    pick.radius = radius;
    pick.culls = true;
    return pick;
}

void ScreenGrid::Clear() {
    boxed_.clear();
    everywhere_.clear();
    cellStart_.clear();
    cellItems_.clear();
    minX_ = minY_ = 1;
    maxX_ = maxY_ = 0;
    columns_ = rows_ = 0;
}

int ScreenGrid::Cell(double v, double low, double size, int count) {
    if (!(size > 0)) return 0;
    const int cell = static_cast<int>((v - low) / size);
    return cell < count ? cell : count - 1;
}

void ScreenGrid::Build(double margin) {
    if (boxed_.empty()) return;
    minX_ = minY_ = INFINITY;
    maxX_ = maxY_ = -INFINITY;
    for (Boxed& b : boxed_) {
        b.box = {b.box.minX - margin, b.box.minY - margin, b.box.maxX + margin,
                 b.box.maxY + margin};
        minX_ = std::min(minX_, b.box.minX);
        minY_ = std::min(minY_, b.box.minY);
        maxX_ = std::max(maxX_, b.box.maxX);
        maxY_ = std::max(maxY_, b.box.maxY);
    }
    // About one box per cell, as the boxes spread over the whole grid.
    const int side = std::clamp(static_cast<int>(std::ceil(std::sqrt(boxed_.size()))), 1, MaxSide);
    columns_ = rows_ = side;
    cellWidth_ = (maxX_ - minX_) / columns_;
    cellHeight_ = (maxY_ - minY_) / rows_;
    // Counted first, then filed: each cell's items stay in the order they were added.
    cellStart_.assign(static_cast<size_t>(columns_ * rows_) + 1, 0);
    for (Boxed& b : boxed_) {
        b.cells = {Column(b.box.minX), Row(b.box.minY), Column(b.box.maxX), Row(b.box.maxY)};
        for (int row = b.cells[1]; row <= b.cells[3]; ++row)
            for (int column = b.cells[0]; column <= b.cells[2]; ++column)
                ++cellStart_[static_cast<size_t>(row * columns_ + column) + 1];
    }
    for (size_t c = 1; c < cellStart_.size(); ++c)
        cellStart_[c] += cellStart_[c - 1];
    cellItems_.resize(cellStart_.back());
    for (const Boxed& b : boxed_)
        for (int row = b.cells[1]; row <= b.cells[3]; ++row)
            for (int column = b.cells[0]; column <= b.cells[2]; ++column)
                cellItems_[cellStart_[static_cast<size_t>(row * columns_ + column)]++] = b.item;
    // Filing moved every start to its cell's end, which is the next cell's start.
    for (size_t c = cellStart_.size() - 1; c > 0; --c)
        cellStart_[c] = cellStart_[c - 1];
    cellStart_[0] = 0;
}

bool ProjectBox(const PickView& view, const MatrixStruct* toWorld, const double low[3],
                const double high[3], ScreenBox* out) {
    if (!view.view) return false;
    const MatrixStruct toView = toWorld ? MatrixProduct(view.view, toWorld) : *view.view;
    bool first = true;
    for (int corner = 0; corner < 8; ++corner) {
        double p[3];
        Apply(toView, (corner & 1) ? high[0] : low[0], (corner & 2) ? high[1] : low[1],
              (corner & 4) ? high[2] : low[2], p);
        if (view.perspective) {
            if (p[2] > -NearestDepth) return false;
            p[0] /= -p[2];
            p[1] /= -p[2];
        }
        if (first) {
            *out = {p[0], p[1], p[0], p[1]};
            first = false;
            continue;
        }
        // A later corner that is not a number is passed over; a first one leaves the box not
        // finite, so the part is never culled.
        out->minX = std::min(out->minX, p[0]);
        out->maxX = std::max(out->maxX, p[0]);
        out->minY = std::min(out->minY, p[1]);
        out->maxY = std::max(out->maxY, p[1]);
    }
    return std::isfinite(out->minX) && std::isfinite(out->maxX) && std::isfinite(out->minY) &&
           std::isfinite(out->maxY);
}

} // namespace tiller
