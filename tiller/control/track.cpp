// Pointer tracking: while idle, the handle under the cursor is found and highlighted; while
// dragging, the dragged handle's routine turns the sample into matrices and every handle
// follows. Transform lets the host impose its own matrix on the drag in progress.
#include "tiller/control/gcontrol.h"

#include "tiller/geometry/geometry.h"
#include "tiller/handle/ghandle.h"
#include "tiller/part/ghandlepart.h"

#include <algorithm>

namespace tiller {
namespace {

// One hit handle as the hover loop ranks it: its effective priority (0 highest, negative
// lowest) and the two distances of its hit test (negative when that query found nothing).
struct HitRank {
    double priority;
    double facet;
    double distance;
};

bool SameDistance(double a, double b) {
    return DoubleVsDouble(a, b) == 0;
}

// Surfaces rank before curves; within a kind the nearer hit wins, and an equal one goes to the
// handle tested later.
bool RanksBefore(const HitRank& hit, const HitRank& best) {
    if (hit.facet >= 0 &&
        (best.facet < 0 || best.facet > hit.facet || SameDistance(hit.facet, best.facet)))
        return true;
    return hit.distance >= 0 && (best.distance < 0 || best.distance > hit.distance ||
                                 SameDistance(hit.distance, best.distance));
}

// The order in which priorities are tested: 0 first, then ascending; every negative priority
// (and one that is not a number) ranks lowest, all alike.
bool TestedBefore(double a, double b) {
    const bool aRanked = a >= 0, bRanked = b >= 0;
    if (aRanked != bRanked) return aRanked;
    return aRanked && a < b;
}

} // namespace
} // namespace tiller

GHandle* GControl::TrackPointer(double x, double y, double z, double vx, double vy, double vz,
                                uint16_t keyState, uint32_t uniformScale, uint32_t scaleFromCenter,
                                uint32_t keepSelectionCSStill, uint32_t* changed) {
    uint32_t displayChanged = 0;
    if (changed) *changed = 0;
    GHandle* result = nullptr;
    if (!handles.empty() && activeViewport) {
        if (state == StateIdle) {
            result = Hover(x, y, z, &displayChanged);
        } else if (state == StateDragging) {
            const tiller::DragSample sample{
                x, y, z, vx, vy, vz, keyState, uniformScale, scaleFromCenter};
            result = DragStep(sample, keepSelectionCSStill, &displayChanged);
        }
    }
    if (changed) *changed = displayChanged;
    return result;
}

// Builds the hover index again when the view, the pick radius, a part's box or the handles
// changed since it was built.
void GControl::RefreshHoverIndex(const tiller::PickView& view) {
    const HoverIndexKey key{view.generation, view.radius, screenBoxChanges, handles.size()};
    if (key == hoverIndexKey) return;
    hoverIndex.Clear();
    hoverIndexHandles.assign(handles.begin(), handles.end());
    for (size_t position = 0; position < hoverIndexHandles.size(); ++position) {
        tiller::GHandlePart* tested = hoverIndexHandles[position]->HoverTestedPart();
        tiller::ScreenBox box;
        const auto item = static_cast<uint32_t>(position);
        if (tested && tested->PartScreenBox(view, &box))
            hoverIndex.Add(item, box);
        else
            hoverIndex.AddEverywhere(item);
    }
    hoverIndex.Build(view.radius);
    // Measuring the boxes may have counted changes of its own.
    hoverIndexKey = {view.generation, view.radius, screenBoxChanges, handles.size()};
}

// The handle the choosing rule picks among those hit at (x, y, z); null for none. Only the
// handles the index finds near the cursor are looked at. A handle of a higher priority always
// beats one of a lower, so the handles are tested a priority at a time, from the highest down,
// each priority's handles in list order; once one is hit, the handles of every lower priority
// would lose to it and are not tested at all. Within a priority the comparisons are the same as
// in a single pass over the list, so the same handle wins.
GHandle* GControl::HandleUnderPointer(double x, double y, double z) {
    const tiller::LayerOneGuard guard(drawing);
    const tiller::PickView view =
        pickViews.Read(activeViewport, x, y, z, tiller::DefaultPickAperture());
    hoverOrder.clear();
    const auto consider = [&](size_t position) {
        GHandle* handle = hoverIndexHandles[position];
        if (!handle->IsLoaded() || !handle->HasGeometry() || !handle->IsEnabled()) return;
        tiller::GHandlePart* part = handle->PartToHitTest(view);
        if (part) hoverOrder.push_back({handle->EffectivePriority(), position, handle, part});
    };
    if (view.view) {
        RefreshHoverIndex(view);
        if (view.culls)
            hoverIndex.ForEachNear(view.cursorX, view.cursorY, consider);
        else
            for (size_t position = 0; position < hoverIndexHandles.size(); ++position)
                consider(position);
    }
    // The list position breaks ties, as a stable sort would, without its scratch buffer.
    std::sort(hoverOrder.begin(), hoverOrder.end(),
              [](const HoverCandidate& a, const HoverCandidate& b) {
                  if (tiller::TestedBefore(a.priority, b.priority)) return true;
                  if (tiller::TestedBefore(b.priority, a.priority)) return false;
                  return a.position < b.position;
              });
    GHandle* best = nullptr;
    tiller::HitRank bestRank{-1.0, -1.0, -1.0};
    for (const HoverCandidate& candidate : hoverOrder) {
        if (best && tiller::TestedBefore(bestRank.priority, candidate.priority)) break;
        double facet = -1.0;
        double distance = -1.0;
        if (!candidate.part->PartHitTest(view, x, y, z, &facet, &distance)) continue;
        const tiller::HitRank rank{candidate.priority, facet, distance};
        // Only handles of the best one's priority get this far, so the hits alone decide.
        if (!best || tiller::RanksBefore(rank, bestRank)) {
            best = candidate.handle;
            bestRank = rank;
        }
    }
    return best;
}

GHandle* GControl::Hover(double x, double y, double z, uint32_t* changed) {
    GHandle* best = HandleUnderPointer(x, y, z);

    if (best && !best->isHighlighted) {
        // The old highlight goes without a redraw of its own: the new one redraws at once.
        if (highlightedHandle && highlightedHandle != best) highlightedHandle->HighlightOff(false);
        best->HighlightOn(true);
        highlightedHandle = best;
        *changed = 1;
    }
    if (highlightedHandle && !best) {
        highlightedHandle->HighlightOff(true);
        highlightedHandle = nullptr;
        *changed = 1;
    }
    return best;
}

// A step whose matrices are not finite (a degenerate view or selection), or that could not get
// a host record it needs, is refused: the drag stays where the previous sample left it and the
// host is answered null.
GHandle* GControl::DragStep(const tiller::DragSample& sample, uint32_t keepSelectionCSStill,
                            uint32_t* changed) {
    GHandle* active = activeHandle;
    if (!active) return nullptr;
    const MatrixStruct dragBefore = active->mDrag ? *active->mDrag : MatrixStruct{};
    const bool hadDrag = active->mDrag != nullptr;
    MatrixStruct step = tiller::IdentityMatrix;
    MatrixStruct* stepAddress = &step;
    bool outOfRecords = false;
    const int moved = tiller::HandleDrag(active, &stepAddress, sample, &outOfRecords);
    if (isRetired || !activeViewport) return nullptr;
    if (outOfRecords || !tiller::IsFinite(&step) || !tiller::IsFinite(active->mDrag)) {
        if (hadDrag)
            *active->mDrag = dragBefore;
        else
            MatrixDispose(&active->mDrag);
        return nullptr;
    }
    if (moved) {
        const bool hideRefpoint = active->AutohideRefpointWhiledrag != 0;
        for (GHandle* handle : handles) {
            if (!handle->IsLoaded() || !handle->HasGeometry()) continue;
            if (keepSelectionCSStill && handle->PositionType == PositionSelectionCS) continue;
            handle->FollowDrag(&step, active->mDrag, state, handle == active,
                               handle == highlightedHandle, hideRefpoint, active->TransformType);
            *changed = 1;
        }
    }
    return active;
}

int GControl::Transform(const MatrixStruct* matrix) {
    if (viewportClosed) return 0;
    if (MatrixIsIdentity(matrix)) return 1;
    if (state != StateDragging || !activeHandle) return 0;
    if (!activeHandle->mDrag) activeHandle->mDrag = MatrixNewEx();
    if (!activeHandle->mDrag) return 0;
    *activeHandle->mDrag = *matrix;
    const bool hideRefpoint = activeHandle->AutohideRefpointWhiledrag != 0;
    for (GHandle* handle : handles) {
        if (!handle->IsLoaded() || !handle->HasGeometry()) continue;
        handle->FollowDrag(matrix, activeHandle->mDrag, state, handle == activeHandle,
                           handle == highlightedHandle, hideRefpoint, activeHandle->TransformType);
    }
    return 1;
}
