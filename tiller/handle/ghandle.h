// One handle of a control: a group graphic of the profile turned into a live object with its
// properties, up to seven parts, its placement over the selection, its enable and highlight
// state and the data of the drag in progress. HandleProperties is its first block: the host
// reads it in place through dbGHandleGetParams.
#ifndef TILLER_HANDLE_GHANDLE_H
#define TILLER_HANDLE_GHANDLE_H

#include "tiller/geometry/held.h"
#include "tiller/host/korvex.h"
#include "tiller/part/pickview.h"
#include "tiller/tiller.h"

#include <array>

namespace tiller {
class GHandlePart;

// Part slots, in the fixed order of a handle.
enum PartSlot {
    SlotMouseout,
    SlotMouseover,
    SlotCoordsystem,
    SlotActive,
    SlotStatic,
    SlotHighlightArea,
    SlotVisibilityArea,
    SlotCount
};
// The slot of a PartType (1..7); SlotCount for anything else.
PartSlot SlotOfPartType(uint32_t type);

// The records one setup gives a handle, every one made before any replaces what the handle
// has: a setup that cannot make them all leaves the handle as it was.
struct PreparedPlacement {
    PreparedPlacement() = default;
    ~PreparedPlacement();
    PreparedPlacement(const PreparedPlacement&) = delete;
    PreparedPlacement& operator=(const PreparedPlacement&) = delete;

    HeldMatrix controlCS, rotbarCS, placement, placementInv, size, handleWorld, handleWorldInv;
    HeldMatrix handleCS; // only when the handle has none yet
    HeldExtents selection, selection2;
    HeldExtents handleExtents; // only when the handle has none yet
    HeldVertex refPoint;
    // Per part slot: the part's placement, and the unbaked copy a distorting one needs.
    std::array<HeldMatrix, SlotCount> partPlacements;
    std::array<GraphicStruct*, SlotCount> unbaked{};
};

// Reasons that disable a handle.
enum DisableBits : uint32_t { DisabledBySettings = 1, DisabledByFlatSelection = 2 };
} // namespace tiller

struct GHandle : HandleProperties {
    GHandle(GControl* control, GraphicStruct* group, DrawingStruct* drawing,
            ViewportStruct* viewport, ExtentsCallback callback);
    ~GHandle();
    GHandle(const GHandle&) = delete;
    GHandle& operator=(const GHandle&) = delete;

    bool IsLoaded() const { return isLoaded == 1; }
    bool HasGeometry() const;
    bool IsDisplayed() const;
    int UpdateDisplay(uint32_t showState, uint32_t controlState, bool isActive, bool isHighlighted,
                      bool hideRefpoint);
    int HighlightOn(bool redrawNow);
    int HighlightOff(bool redrawNow);
    int Redraw();
    int SetViewport(ViewportStruct* viewport);
    // Forgets a viewport the host has closed, without touching it.
    void ForgetViewport(ViewportStruct* viewport);
    void SetDisabled(bool enable, uint32_t bits);
    bool IsEnabled() const { return DisableMask == 0; }
    uint32_t GetDisableMask() const { return DisableMask; }
    void RefreshSize();
    int FollowDrag(const MatrixStruct* step, const MatrixStruct* drag, uint32_t controlState,
                   bool isActive, bool isHighlighted, bool hideRefpoint, uint32_t draggedTransform);
    double EffectivePriority() const;
    // The selection box in handle-local coordinates, measured through the extents callback on
    // first use. 0 when it cannot be measured; *outOfRecords is set when the box's record
    // could not be made.
    int EnsureSelectionExtentsInHandleCS(bool* outOfRecords = nullptr);
    ExtentsCallback GetExtentsCallback() const { return extentsCallback; }
    void SetExtentsCallback(ExtentsCallback callback) { extentsCallback = callback; }

    // Placement over the selection (placement.cpp), in two steps: every record it needs is made
    // first (false when one cannot be), then taken over without making any.
    bool PreparePlacement(const MatrixStruct* controlCS, const ExtentsStruct* extents,
                          const VertexStruct* refPoint, const MatrixStruct* rotbarCS,
                          const MatrixStruct* selectionCS, const ExtentsStruct* extents2,
                          tiller::PreparedPlacement& prepared);
    void TakePlacement(tiller::PreparedPlacement& prepared);
    // Places every part again where the last setup put it.
    void PlaceEveryPart();
    // The part a hover tests for this handle, or null when the handle cannot be hit in this
    // view: nothing to show, disabled, looked at along a disabling axis, or far from the cursor
    // (part/hittest.cpp).
    tiller::GHandlePart* PartToHitTest(const tiller::PickView& view);
    // The part whose box and geometry a hover tests.
    tiller::GHandlePart* HoverTestedPart() const {
        return parts[tiller::SlotHighlightArea] ? parts[tiller::SlotHighlightArea]
                                                : parts[tiller::SlotMouseout];
    }

    tiller::GHandlePart* Part(tiller::PartSlot slot) const { return parts[slot]; }

    uint32_t isHighlighted = 0;
    double ptDragStart[3] = {0, 0, 0};
    double ptDragStart2[3] = {0, 0, 0};
    uint16_t nDragKeys = 0;
    double dDragScratch = 0.0;
    GControl* pControl;
    DrawingStruct* pDrawing;
    ViewportStruct* pViewport;
    GraphicStruct* pGroup;
    VertexStruct* vPlacePoint = nullptr;
    VertexStruct* vScratch1 = nullptr;
    VertexStruct* vScratch2 = nullptr;
    MatrixStruct* mScratch = nullptr;
    uint32_t isLoaded = 0;
    std::array<tiller::GHandlePart*, tiller::SlotCount> parts{};
    uint32_t DisableMask = 0;
    MatrixStruct* mGCtrlCS = nullptr;
    ExtentsStruct* extSelection = nullptr;
    VertexStruct* vRefPoint = nullptr;
    MatrixStruct* mRotbarCS = nullptr;
    ExtentsStruct* extSelection2 = nullptr;
    ExtentsStruct* extSelectionInHandleCS = nullptr;
    MatrixStruct* mProfileCS = nullptr;
    MatrixStruct* mProfileCSInv = nullptr;
    MatrixStruct* mPlacement = nullptr;
    MatrixStruct* mPlacementInv = nullptr;
    MatrixStruct* mSize = nullptr;
    MatrixStruct* mHandleWorld = nullptr;
    MatrixStruct* mHandleWorldInv = nullptr;
    MatrixStruct* mScratch2 = nullptr;
    MatrixStruct* mScratch3 = nullptr;
    ExtentsCallback extentsCallback = nullptr;

  private:
    void Build();
    void Release();
    int HandleLoad();
    void LoadPart(GraphicStruct* child);
    int HasRequiredParts();
    bool HasRequiredPart(tiller::PartSlot slot, uint32_t type);
    bool PlacesParts() const;
    bool AddPosition(const MatrixStruct* frame, const ExtentsStruct* extents,
                     const VertexStruct* refPoint, tiller::PreparedPlacement& prepared);
    bool SizeBySelection(double dx, double dy, double dz, tiller::PreparedPlacement& prepared);
    bool PreparePartPlacements(tiller::PreparedPlacement& prepared);
    void RecordCenterAndExtents(tiller::PreparedPlacement& prepared);
    int ApplyMatrixToPart(tiller::GHandlePart* part, const MatrixStruct* m, uint32_t controlState,
                          bool isActive, bool isHighlighted, bool hideRefpoint);
};

#endif
