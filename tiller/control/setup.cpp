// GControl setup, display and state: settings that show or hide groups of handles, the
// selection geometry that places every handle, the viewport, showing, and the start and end of
// a drag.
#include "tiller/control/gcontrol.h"

#include "tiller/geometry/geometry.h"
#include "tiller/geometry/held.h"
#include "tiller/handle/ghandle.h"
#include "tiller/handle/vocabulary.h"

#include <algorithm>
#include <vector>

namespace {

using FlagField = int32_t GControlProperties::*;

constexpr FlagField VisibilityFlags[] = {
    &GControlProperties::Show_Axes,
    &GControlProperties::Show_Handles_RotBar_Move,
    &GControlProperties::Show_Handles_RotBar_Scale,
    &GControlProperties::Show_Handles_RotBar_Rotate,
    &GControlProperties::Show_BoundaryBox,
    &GControlProperties::Show_Handles_GCtrlCS_Move,
    &GControlProperties::Show_Handles_GCtrlCS_Scale,
    &GControlProperties::Show_BoundaryBox_Facets,
    &GControlProperties::Show_SelectionCS,
};

bool SameProperties(const GControlProperties& a, const GControlProperties& b) {
    for (FlagField flag : VisibilityFlags)
        if (a.*flag != b.*flag) return false;
    return a.ScreenSize_Min == b.ScreenSize_Min && a.ScreenSize_Max == b.ScreenSize_Max &&
           a.Light_Type == b.Light_Type && a.Light_Affect_Diffuse == b.Light_Affect_Diffuse &&
           a.Light_Affect_Specular == b.Light_Affect_Specular;
}

// The settings flags that show or hide a handle, in the order they are applied.
std::vector<FlagField> FlagsGoverning(const GHandle& h) {
    const std::string& n = h.csName;
    if (n == tiller::BoundingBoxName || n == tiller::BoundingBoxTipsName)
        return {&GControlProperties::Show_BoundaryBox};
    if (std::find(std::begin(tiller::AxisNames), std::end(tiller::AxisNames), n) !=
        std::end(tiller::AxisNames))
        return {&GControlProperties::Show_Axes};
    if (n == tiller::SelectionCSName) return {&GControlProperties::Show_SelectionCS};
    if (n == tiller::BoundingBoxFacetsName) return {&GControlProperties::Show_BoundaryBox_Facets};
    const bool atRefpoint = h.PositionType == PositionRefpoint;
    const bool inControlCS = h.OrientationType == OrientationGCtrlCS;
    std::vector<FlagField> flags;
    switch (h.TransformType) {
    case TransformMove:
        if (atRefpoint) flags.push_back(&GControlProperties::Show_Handles_RotBar_Move);
        if (inControlCS) flags.push_back(&GControlProperties::Show_Handles_GCtrlCS_Move);
        break;
    case TransformScale:
    case TransformScale2:
        if (atRefpoint) flags.push_back(&GControlProperties::Show_Handles_RotBar_Scale);
        if (inControlCS) flags.push_back(&GControlProperties::Show_Handles_GCtrlCS_Scale);
        break;
    case TransformRotate:
        if (atRefpoint) flags.push_back(&GControlProperties::Show_Handles_RotBar_Rotate);
        break;
    default:
        break;
    }
    return flags;
}

} // namespace

int GControl::SetProperties(const GControlProperties& next) {
    if (handles.empty() || !HasUsableProfile()) return 0;
    if (SameProperties(next, properties)) return 1;
    const GControlProperties old = properties;
    properties = next;
    bool anyFlagChanged = false;
    for (FlagField flag : VisibilityFlags)
        anyFlagChanged |= old.*flag != next.*flag;
    if (anyFlagChanged) {
        for (GHandle* handle : handles) {
            for (FlagField flag : FlagsGoverning(*handle)) {
                if (old.*flag == next.*flag) continue;
                const bool show = next.*flag != 0;
                // The whole enabled state decides, so a handle hidden for another reason keeps
                // its settings bit as it is.
                if (handle->IsEnabled() != show)
                    handle->SetDisabled(show, tiller::DisabledBySettings);
            }
        }
    }
    if (old.ScreenSize_Min != next.ScreenSize_Min || old.ScreenSize_Max != next.ScreenSize_Max) {
        for (GHandle* handle : handles)
            handle->RefreshSize();
    }
    return 1;
}

// Every record the new geometry needs is made before anything changes: a setup that cannot make
// one answers 0 with the control as it was.
int GControl::Setup(const GControlProperties& nextProperties, const MatrixStruct* givenControlCS,
                    const ExtentsStruct* extents, const VertexStruct* givenRefPoint,
                    const MatrixStruct* givenRotbarCS, const MatrixStruct* givenSelectionCS,
                    const ExtentsStruct* extents2) {
    if (handles.empty() || !HasUsableProfile()) return 0;
    using tiller::HeldExtents, tiller::HeldMatrix, tiller::HeldVertex;
    HeldMatrix newControlCS(MatrixCopyEx(givenControlCS));
    HeldMatrix newRotbarCS(MatrixCopyEx(givenRotbarCS));
    HeldMatrix newSelectionCS(MatrixCopyEx(givenSelectionCS));
    HeldVertex newRefPoint(givenRefPoint ? VertexCopy(givenRefPoint, nullptr) : nullptr);
    HeldExtents newExtents(tiller::CopyValidExtents(extents));
    HeldExtents newExtents2(tiller::CopyValidExtents(extents2));
    if ((givenControlCS && !newControlCS) || (givenRotbarCS && !newRotbarCS) ||
        (givenSelectionCS && !newSelectionCS) || (givenRefPoint && !newRefPoint) ||
        (ExtentsValid(extents) && !newExtents) || (ExtentsValid(extents2) && !newExtents2))
        return 0;
    std::vector<tiller::PreparedPlacement> placements(handles.size());
    auto placement = placements.begin();
    for (GHandle* handle : handles)
        if (!handle->PreparePlacement(givenControlCS, extents, givenRefPoint, givenRotbarCS,
                                      givenSelectionCS, extents2, *placement++))
            return 0;

    SetProperties(nextProperties);
    ReleaseGeometry();
    controlCS = newControlCS.Release();
    rotbarCS = newRotbarCS.Release();
    selectionCS = newSelectionCS.Release();
    refPoint = newRefPoint.Release();
    selectionExtents = newExtents.Release();
    selectionExtents2 = newExtents2.Release();
    const tiller::LayerOneGuard guard(drawing);
    const bool flat = tiller::ExtentsIsFlat(extents) != 0;
    placement = placements.begin();
    for (GHandle* handle : handles) {
        handle->TakePlacement(*placement++);
        if (!handle->HideIfSelection2D || !flat) {
            if (!handle->IsEnabled()) handle->SetDisabled(true, tiller::DisabledByFlatSelection);
        } else if (handle->IsEnabled()) {
            handle->SetDisabled(false, tiller::DisabledByFlatSelection);
        }
    }
    return 1;
}

int GControl::SetActiveViewport(ViewportStruct* viewport) {
    if (viewport) viewportClosed = false;
    if (viewport == activeViewport) return 1;
    if (handles.empty()) return 1;
    for (GHandle* handle : handles)
        handle->SetViewport(viewport);
    activeViewport = viewport;
    RedrawNow();
    return 1;
}

void GControl::DropViewport(ViewportStruct* viewport) {
    if (!viewport) return;
    for (GHandle* handle : handles)
        handle->ForgetViewport(viewport);
    if (activeViewport != viewport) return;
    activeViewport = nullptr;
    viewportClosed = true;
}

int GControl::Show(uint32_t mode, uint32_t redrawNow) {
    if (handles.empty() || !HasUsableProfile() || viewportClosed) return 0;
    const bool hideRefpoint = activeHandle && activeHandle->AutohideRefpointWhiledrag;
    for (GHandle* handle : handles) {
        if (!handle->IsEnabled()) continue;
        if (mode == ShowHidden && handle->isHighlighted) {
            handle->HighlightOff(false);
            if (handle == highlightedHandle) highlightedHandle = nullptr;
        }
        handle->UpdateDisplay(mode, state, handle == activeHandle, handle == highlightedHandle,
                              hideRefpoint);
    }
    if (redrawNow) RedrawNow();
    return 1;
}

// One immediate redraw, preferably through a handle drawn in every viewport.
void GControl::RedrawNow() {
    for (GHandle* handle : handles)
        if (handle->IsLoaded() && handle->HasGeometry() && handle->MultiView && handle->Redraw())
            return;
    for (GHandle* handle : handles)
        if (handle->IsLoaded() && handle->HasGeometry() && handle->Redraw()) return;
}

int GControl::SetState(uint32_t newState, GHandle* handle, double x, double y, double z, double vx,
                       double vy, double vz, uint16_t keyState) {
    if (newState == state || handles.empty() || viewportClosed) return 0;
    if (newState == StateDragging) {
        if (!handle) return 0;
        if (highlightedHandle && highlightedHandle->isHighlighted) {
            highlightedHandle->HighlightOff(false);
            highlightedHandle = nullptr;
        }
        activeHandle = handle;
        handle->ptDragStart[0] = x;
        handle->ptDragStart[1] = y;
        handle->ptDragStart[2] = z;
        handle->ptDragStart2[0] = vx;
        handle->ptDragStart2[1] = vy;
        handle->ptDragStart2[2] = vz;
        handle->nDragKeys = keyState;
        if (handle->mDrag) tiller::MatrixSetIdentity(handle->mDrag);
    } else {
        activeHandle = nullptr;
    }
    state = newState;
    return 1;
}

// Compares addresses only: a stale or foreign handle is never read.
bool GControl::OwnsHandle(const GHandle* handle) const {
    if (!handle) return false;
    for (const GHandle* own : handles)
        if (own == handle) return true;
    return false;
}

int GControl::GetHandleVisible(GHandle* handle) {
    if (handles.empty() || !handle) return 0;
    return handle->IsEnabled() ? 1 : 0;
}

int GControl::SetHandleVisible(GHandle* handle, uint32_t visible) {
    if (handles.empty() || !handle) return 0;
    if (visible == 0 && handle->isHighlighted) {
        handle->HighlightOff(false);
        if (handle == highlightedHandle) highlightedHandle = nullptr;
    }
    handle->SetDisabled(visible != 0, tiller::DisabledBySettings);
    return 1;
}
