// Handle placement: every setup puts each handle over the current selection. The handle keeps
// copies of the setup geometry, takes its frame from its orientation type, moves it to its
// position type, sizes it by the selection when it sits on the selection's extents centre, and
// hands the result to its parts.

#include "tiller/geometry/geometry.h"
#include "tiller/geometry/held.h"
#include "tiller/handle/ghandle.h"
#include "tiller/handle/vocabulary.h"
#include "tiller/part/ghandlepart.h"

#include <cmath>
#include <utility>

using namespace tiller;

namespace {

// The smallest size the facets of the bounding box get on a flat axis, so that they stay
// pickable over a flat selection.
constexpr double SmallestFacetSize = 1e-4;

constexpr PartSlot PlacedSlots[] = {SlotMouseout, SlotMouseover,     SlotActive,
                                    SlotStatic,   SlotHighlightArea, SlotVisibilityArea};

const MatrixStruct* OrientationFrame(uint32_t orientation, const MatrixStruct* controlCS,
                                     const MatrixStruct* rotbarCS,
                                     const MatrixStruct* selectionCS) {
    switch (orientation) {
    case OrientationGCtrlCS:
        return controlCS;
    case OrientationGCtrlRotbarCS:
        return rotbarCS;
    case OrientationSelectionCS:
        return selectionCS;
    default:
        return nullptr;
    }
}

// *placement := translation to `point` after *placement.
bool TranslateAfter(const VertexStruct* point, MatrixStruct* placement) {
    const HeldMatrix translation(MatrixOffsetEx(nullptr, point));
    if (!translation) return false;
    MatrixMultiplyLeft(translation.get(), &placement);
    return true;
}

// A copy of an optional record: false only when there is one and the copy cannot be made.
template <typename T, void (*Dispose)(T**)>
bool CopyOptional(const T* source, T* (*copy)(const T*), HostRecord<T, Dispose>& target) {
    if (source) target.Reset(copy(source));
    return !source || target;
}

MatrixStruct* CopyMatrix(const MatrixStruct* m) {
    return MatrixCopyEx(m);
}

VertexStruct* CopyVertex(const VertexStruct* v) {
    return VertexCopy(v, nullptr);
}

const ExtentsStruct* IfValid(const ExtentsStruct* e) {
    return e && ExtentsValid(e) ? e : nullptr;
}

// Hands a prepared record over to the handle's field, releasing what the field held.
template <typename T, void (*Dispose)(T**)> void Take(HostRecord<T, Dispose>& prepared, T** field) {
    Dispose(field);
    *field = prepared.Release();
}

} // namespace

PreparedPlacement::~PreparedPlacement() {
    for (GraphicStruct*& copy : baked)
        DisposeWorkingCopy(&copy);
}

bool GHandle::PreparePlacement(const MatrixStruct* controlCS, const ExtentsStruct* extents,
                               const VertexStruct* refPoint, const MatrixStruct* rotbarCS,
                               const MatrixStruct* selectionCS, const ExtentsStruct* extents2,
                               PreparedPlacement& prepared) {
    if (!IsLoaded()) return true;
    if (!CopyOptional(controlCS, CopyMatrix, prepared.controlCS) ||
        !CopyOptional(IfValid(extents), CopyValidExtents, prepared.selection) ||
        !CopyOptional(IfValid(extents2), CopyValidExtents, prepared.selection2) ||
        !CopyOptional(refPoint, CopyVertex, prepared.refPoint) ||
        !CopyOptional(rotbarCS, CopyMatrix, prepared.rotbarCS))
        return false;

    const MatrixStruct* frame = OrientationFrame(OrientationType, controlCS, rotbarCS, selectionCS);
    HeldVertex translation, scale;
    if (!MatrixSeparate(frame, translation.address(), scale.address(),
                        prepared.placement.address()) ||
        !prepared.placement || !AddPosition(frame, extents, refPoint, prepared))
        return false;
    prepared.placementInv.Reset(MatrixOrthoInvertEx(prepared.placement.get()));
    prepared.handleWorld.Reset(MatrixMatrixMultiplyEx(prepared.placement.get(), mProfileCS));
    prepared.handleWorldInv.Reset(MatrixOrthoInvertEx(prepared.handleWorld.get()));
    if (!prepared.placementInv || !prepared.handleWorld || !prepared.handleWorldInv) return false;
    if (!mHandleCS && !CopyOptional<MatrixStruct, MatrixDispose>(prepared.handleWorld.get(),
                                                                 CopyMatrix, prepared.handleCS))
        return false;
    if (!HandleExtents) {
        prepared.handleExtents.Reset(ExtentsNewEx());
        if (!prepared.handleExtents) return false;
    }
    return PreparePartPlacements(prepared);
}

// Nothing here makes a record: PreparePlacement made every one.
void GHandle::TakePlacement(PreparedPlacement& prepared) {
    if (!IsLoaded()) return;
    Take(prepared.controlCS, &mGCtrlCS);
    Take(prepared.selection, &extSelection);
    Take(prepared.selection2, &extSelection2);
    Take(prepared.refPoint, &vRefPoint);
    Take(prepared.rotbarCS, &mRotbarCS);
    ExtentsDispose(&extSelectionInHandleCS);
    Take(prepared.placement, &mPlacement);
    Take(prepared.placementInv, &mPlacementInv);
    Take(prepared.handleWorld, &mHandleWorld);
    Take(prepared.handleWorldInv, &mHandleWorldInv);
    if (prepared.size) Take(prepared.size, &mSize);
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (!prepared.partPlacements[slot]) continue;
        parts[slot]->PartTakePlacement(prepared.partPlacements[slot].Release());
        // The part owns the copy from here on, even when placing it throws.
        GraphicStruct* baked = std::exchange(prepared.baked[slot], nullptr);
        parts[slot]->PartSetMatrix(parts[slot]->PartGetPlacement(), baked);
    }
    RecordCenterAndExtents(prepared);
    if (prepared.handleCS)
        Take(prepared.handleCS, &mHandleCS);
    else
        MatrixAssign(mHandleWorld, &mHandleCS);
}

// Only three positions sit on the selection; every other position type adds no translation.
bool GHandle::AddPosition(const MatrixStruct* frame, const ExtentsStruct* extents,
                          const VertexStruct* refPoint, PreparedPlacement& prepared) {
    MatrixStruct* placement = prepared.placement.get();
    switch (PositionType) {
    case PositionRefpoint:
        return !refPoint || TranslateAfter(refPoint, placement);
    case PositionExtentsCenter: {
        if (!extents || !ExtentsValid(extents)) return true;
        const double x1 = ExtentsGetX1(extents), y1 = ExtentsGetY1(extents);
        const double z1 = ExtentsGetZ1(extents), x2 = ExtentsGetX2(extents);
        const double y2 = ExtentsGetY2(extents), z2 = ExtentsGetZ2(extents);
        VertexSet(vPlacePoint, (x1 + x2) / 2, (y1 + y2) / 2, (z1 + z2) / 2);
        VertexTransform(vPlacePoint, frame);
        return TranslateAfter(vPlacePoint, placement) &&
               SizeBySelection(x2 - x1, y2 - y1, z2 - z1, prepared);
    }
    case PositionSelectionCS:
        VertexSet(vPlacePoint, 0, 0, 0);
        VertexTransform(vPlacePoint, frame);
        return TranslateAfter(vPlacePoint, placement);
    default:
        return true;
    }
}

bool GHandle::SizeBySelection(double dx, double dy, double dz, PreparedPlacement& prepared) {
    prepared.size.Reset(MatrixSingle());
    if (!prepared.size) return false;
    if (csName == BoundingBoxFacetsName) {
        for (double* size : {&dx, &dy, &dz})
            if (std::fabs(*size) <= GeomEpsilon) *size = SmallestFacetSize;
    }
    prepared.size->m[0] = dx;
    prepared.size->m[5] = dy;
    prepared.size->m[10] = dz;
    return true;
}

// A handle without a position or an orientation keeps its parts where they are.
bool GHandle::PlacesParts() const {
    return PositionType != PositionUndefined && OrientationType != OrientationUndefined;
}

// Each displayed part is scaled by the selection's size in the handle's frame, then placed.
bool GHandle::PreparePartPlacements(PreparedPlacement& prepared) {
    if (!PlacesParts()) return true;
    const MatrixStruct* size = prepared.size ? prepared.size.get() : mSize;
    const bool sized = size && !MatrixIsIdentity(size);
    for (PartSlot slot : PlacedSlots) {
        const GHandlePart* part = parts[slot];
        if (!part || !part->PartIsDisplayable()) continue;
        HeldMatrix& placed = prepared.partPlacements[slot];
        placed.Reset(sized ? MatrixMatrixMultiplyEx(prepared.placement.get(), size)
                           : MatrixCopyEx(prepared.placement.get()));
        if (!placed || !part->PartPrepareMatrix(placed.get(), &prepared.baked[slot])) return false;
    }
    return true;
}

// The snap centre and the extents of the mouseout part, as placed.
void GHandle::RecordCenterAndExtents(PreparedPlacement& prepared) {
    const GHandlePart* mouseout = parts[SlotMouseout];
    if (!mouseout || !mouseout->PartIsDisplayable()) return;
    if (const VertexStruct* anchor = mouseout->PartGetAnchorPoint()) {
        xCenter = anchor->x;
        yCenter = anchor->y;
        zCenter = anchor->z;
    } else {
        ExtentsCenter(mouseout->PartGetExtents(), &xCenter, &yCenter, &zCenter);
    }
    const ExtentsStruct* extents = mouseout->PartGetExtents();
    if (!extents || !ExtentsValid(extents)) return;
    if (!HandleExtents) HandleExtents = prepared.handleExtents.Release();
    ExtentsCopyFrom(HandleExtents, extents);
}

void GHandle::PlaceEveryPart() {
    if (!PlacesParts()) return;
    for (PartSlot slot : PlacedSlots)
        if (GHandlePart* part = parts[slot]; part && part->PartIsDisplayable())
            part->PartSetMatrix(part->PartGetPlacement());
}
