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

using namespace tiller;

namespace {

// The smallest size the facets of the bounding box get on a flat axis, so that they stay
// pickable over a flat selection.
constexpr double SmallestFacetSize = 1e-4;

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
void TranslateAfter(const VertexStruct* point, MatrixStruct** placement) {
    const HeldMatrix translation(MatrixOffsetEx(nullptr, point));
    MatrixMultiplyLeft(translation.get(), placement);
}

} // namespace

int GHandle::PlaceHandle(const MatrixStruct* controlCS, const ExtentsStruct* extents,
                         const VertexStruct* refPoint, const MatrixStruct* rotbarCS,
                         const MatrixStruct* selectionCS, const ExtentsStruct* extents2) {
    if (!IsLoaded()) return 0;
    MatrixDispose(&mGCtrlCS);
    ExtentsDispose(&extSelection);
    VertexDispose(&vRefPoint);
    MatrixDispose(&mRotbarCS);
    ExtentsDispose(&extSelection2);
    ExtentsDispose(&extSelectionInHandleCS);

    if (controlCS) mGCtrlCS = MatrixCopyEx(controlCS);
    extSelection = CopyValidExtents(extents);
    extSelection2 = CopyValidExtents(extents2);
    if (refPoint) vRefPoint = VertexCopy(refPoint, nullptr);
    if (rotbarCS) mRotbarCS = MatrixCopyEx(rotbarCS);

    for (MatrixStruct** m : {&mPlacement, &mPlacementInv, &mHandleWorld, &mHandleWorldInv})
        MatrixDispose(m);
    const MatrixStruct* frame = OrientationFrame(OrientationType, controlCS, rotbarCS, selectionCS);
    HeldVertex translation, scale;
    MatrixSeparate(frame, translation.address(), scale.address(), &mPlacement);
    AddPosition(frame, extents, refPoint);

    mPlacementInv = MatrixOrthoInvertEx(mPlacement);
    mHandleWorld = MatrixMatrixMultiplyEx(mPlacement, mProfileCS);
    mHandleWorldInv = MatrixOrthoInvertEx(mHandleWorld);

    PlaceEveryPart();
    RecordCenterAndExtents();
    MatrixAssign(mProfileCS, &mHandleCS);
    MatrixMultiplyLeft(mPlacement, &mHandleCS);
    ExtentsDispose(&extSelectionInHandleCS);
    return 1;
}

// Only three positions sit on the selection; every other position type adds no translation.
void GHandle::AddPosition(const MatrixStruct* frame, const ExtentsStruct* extents,
                          const VertexStruct* refPoint) {
    switch (PositionType) {
    case PositionRefpoint:
        if (refPoint) TranslateAfter(refPoint, &mPlacement);
        break;
    case PositionExtentsCenter: {
        if (!extents || !ExtentsValid(extents)) break;
        const double x1 = ExtentsGetX1(extents), y1 = ExtentsGetY1(extents);
        const double z1 = ExtentsGetZ1(extents), x2 = ExtentsGetX2(extents);
        const double y2 = ExtentsGetY2(extents), z2 = ExtentsGetZ2(extents);
        VertexSet(vPlacePoint, (x1 + x2) / 2, (y1 + y2) / 2, (z1 + z2) / 2);
        VertexTransform(vPlacePoint, frame);
        TranslateAfter(vPlacePoint, &mPlacement);
        SizeBySelection(x2 - x1, y2 - y1, z2 - z1);
        break;
    }
    case PositionSelectionCS:
        VertexSet(vPlacePoint, 0, 0, 0);
        VertexTransform(vPlacePoint, frame);
        TranslateAfter(vPlacePoint, &mPlacement);
        break;
    default:
        break;
    }
}

void GHandle::SizeBySelection(double dx, double dy, double dz) {
    if (!mSize)
        mSize = MatrixSingle();
    else
        MatrixSetIdentity(mSize);
    if (!mSize) return;
    if (csName == BoundingBoxFacetsName) {
        for (double* size : {&dx, &dy, &dz})
            if (std::fabs(*size) <= GeomEpsilon) *size = SmallestFacetSize;
    }
    mSize->m[0] = dx;
    mSize->m[5] = dy;
    mSize->m[10] = dz;
}

// The snap centre and the extents of the mouseout part, as placed.
void GHandle::RecordCenterAndExtents() {
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
    if (!HandleExtents) HandleExtents = ExtentsNewEx();
    if (HandleExtents) ExtentsCopyFrom(HandleExtents, extents);
}

// A handle without a position or an orientation keeps its parts where they are.
void GHandle::PlaceEveryPart() {
    if (PositionType == PositionUndefined || OrientationType == OrientationUndefined) return;
    for (PartSlot slot : {SlotMouseout, SlotMouseover, SlotActive, SlotStatic, SlotHighlightArea,
                          SlotVisibilityArea})
        ApplyPlacementToPart(parts[slot]);
}

int GHandle::ApplyPlacementToPart(GHandlePart* part) {
    if (!part || !part->PartIsDisplayable()) return 0;
    if (mSize && !MatrixIsIdentity(mSize)) {
        // The part is scaled by the selection's size in the handle's frame, then placed.
        const HeldMatrix sized(MatrixMatrixMultiplyEx(mPlacement, mSize));
        part->PartSetMatrix(sized.get());
        part->PartSetPlacement(sized.get());
    } else {
        part->PartSetMatrix(mPlacement);
        part->PartSetPlacement(mPlacement);
    }
    return 1;
}
