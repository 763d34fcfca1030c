// GHandle: loading a handle group of the profile with its parts, and the handle's display,
// highlight, enable and drag-following operations.

#include "tiller/handle/ghandle.h"

#include "tiller/control/gcontrol.h"
#include "tiller/geometry/geometry.h"
#include "tiller/geometry/held.h"
#include "tiller/handle/vocabulary.h"
#include "tiller/part/ghandlepart.h"
#include "tiller/profile/diagnostics.h"
#include "tiller/profile/profile_memo.h"

#include <cmath>
#include <new>

namespace tiller {
namespace {

constexpr int PropertySelector = 7;
// The slots whose parts are shown, hidden and moved between viewports.
constexpr PartSlot DisplayedSlots[] = {SlotMouseout, SlotMouseover, SlotActive, SlotStatic};

// The three arrays of one GraphicEnumerateProperties call, destroyed together.
struct PropertyArrays {
    SAFEARRAY* first = nullptr;
    SAFEARRAY* names = nullptr;
    SAFEARRAY* values = nullptr;
    int count = 0;

    explicit PropertyArrays(GraphicStruct* g) {
        count = GraphicEnumerateProperties(g, &first, &names, &values, PropertySelector);
    }
    ~PropertyArrays() {
        for (SAFEARRAY* array : {first, names, values})
            if (array) SafeArrayDestroy(array);
    }
    PropertyArrays(const PropertyArrays&) = delete;
    PropertyArrays& operator=(const PropertyArrays&) = delete;
};

HandleReading ReadHandle(GraphicStruct* group) {
    HandleReading reading;
    PropertyArrays properties(group);
    if (properties.count < 1)
        ReportDiagnostic(DiagnosticCode::GroupWithoutProperties);
    else
        reading.loaded = ReadHandleProperties(reading.properties, properties.names,
                                              properties.values, properties.count);
    return reading;
}

PartReading ReadPart(GraphicStruct* child) {
    PartReading reading;
    PropertyArrays properties(child);
    if (properties.count >= 1)
        reading.type = ReadPartProperties(properties.names, properties.values, properties.count,
                                          reading.values);
    else
        ReportDiagnostic(DiagnosticCode::PartWithoutType);
    return reading;
}

bool IsPresentAndLoaded(const GHandlePart* part) {
    return part && part->PartIsLoaded();
}

bool IsPresentAndDisplayable(const GHandlePart* part) {
    return part && part->PartIsDisplayable();
}

// Whether the part is shown in the control state, and so moves with a drag.
bool FollowsInState(const GHandlePart* part, uint32_t controlState, bool isActive,
                    bool isHighlighted, bool hideRefpoint) {
    return part && part->PartIsLoaded() && part->PartIsDisplayable() &&
           part->PartIsVisibleInState(controlState, isActive, isHighlighted, hideRefpoint);
}

} // namespace

PartSlot SlotOfPartType(uint32_t type) {
    switch (type) {
    case PartMouseout:
        return SlotMouseout;
    case PartMouseover:
        return SlotMouseover;
    case PartCoordsystem:
        return SlotCoordsystem;
    case PartActive:
        return SlotActive;
    case PartStatic:
        return SlotStatic;
    case PartHighlightArea:
        return SlotHighlightArea;
    case PartVisibilityArea:
        return SlotVisibilityArea;
    default:
        return SlotCount;
    }
}

} // namespace tiller

using namespace tiller;

GHandle::GHandle(GControl* control, GraphicStruct* group, DrawingStruct* drawing,
                 ViewportStruct* viewport, ExtentsCallback callback)
    : pControl(control), pDrawing(drawing), pViewport(viewport), pGroup(group) {
    // A throw half-way must not leave built parts registered with the viewport.
    try {
        Build();
    } catch (...) {
        Release();
        throw;
    }
    extentsCallback = callback;
}

void GHandle::Build() {
    vPlacePoint = VertexNewEx(0, 0, 0);
    vScratch1 = VertexNewEx(0, 0, 0);
    vScratch2 = VertexNewEx(0, 0, 0);
    mScratch2 = MatrixSingle();
    mScratch3 = MatrixSingle();
    mScratch = MatrixSingle();
    if (vPlacePoint && vScratch1 && vScratch2 && mScratch2 && mScratch3 && mScratch)
        isLoaded = HandleLoad();
}

GHandle::~GHandle() {
    Release();
}

void GHandle::Release() {
    for (GHandlePart*& part : parts) {
        delete part;
        part = nullptr;
    }
    for (MatrixStruct** m : {&mGCtrlCS, &mRotbarCS, &mProfileCS, &mProfileCSInv, &mPlacement,
                             &mPlacementInv, &mSize, &mHandleWorld, &mHandleWorldInv})
        MatrixDispose(m);
    for (ExtentsStruct** e : {&extSelection, &extSelection2, &extSelectionInHandleCS})
        ExtentsDispose(e);
    VertexDispose(&vRefPoint);
    for (VertexStruct** v : {&vPlacePoint, &vScratch1, &vScratch2})
        VertexDispose(v);
    for (MatrixStruct** m : {&mScratch, &mScratch2, &mScratch3})
        MatrixDispose(m);
    ExtentsDispose(&HandleExtents);
    for (MatrixStruct** m : {&mDrag, &mHandleCS, &mCoordSystem})
        MatrixDispose(m);
}

int GHandle::HandleLoad() {
    if (!pGroup || !pDrawing) return 0;
    DiagnosticsSubject subject(pGroup, nullptr);
    ProfileMemo* memo = pControl ? pControl->Memo() : nullptr;
    const HandleReading& reading =
        memo ? memo->Handle(pGroup, [this] { return ReadHandle(pGroup); }) : ReadHandle(pGroup);
    if (!reading.loaded) return 0;
    static_cast<HandleProperties&>(*this) = reading.properties;
    GraphicList children;
    if (!GraphicWalkFillChildsList(pGroup, IsGroupGraphic, &children, 1, 0)) return 0;
    for (GraphicStruct* child : children) {
        if (!child || child == pGroup) continue;
        LoadPart(child);
    }
    return HasRequiredParts();
}

// Makes the part of one child group; a later part of the same type replaces an earlier one.
void GHandle::LoadPart(GraphicStruct* child) {
    DiagnosticsSubject subject(pGroup, child);
    ProfileMemo* memo = pControl ? pControl->Memo() : nullptr;
    const PartReading& reading =
        memo ? memo->Part(child, [child] { return ReadPart(child); }) : ReadPart(child);
    const uint32_t type = reading.type;
    const PartProperties& values = reading.values;
    const PartSlot slot = SlotOfPartType(type);
    if (slot == SlotCount) return;
    GHandlePart* part = new (std::nothrow)
        GHandlePart(pViewport, pGroup, child, pDrawing, type, pControl, this, values.transparency,
                    values.ambient, values.diffuse, values.specular, values.fixedSize);
    if (!part) return;
    if (parts[slot])
        ReportDiagnostic(DiagnosticCode::PartReplaced, {}, EnumToText(PartVocabulary(), type));
    delete parts[slot];
    parts[slot] = part;
}

// A part the handle's transform needs; reports why it is not there.
bool GHandle::HasRequiredPart(PartSlot slot, uint32_t type) {
    const GHandlePart* part = parts[slot];
    if (IsPresentAndLoaded(part)) return true;
    const DiagnosticsSubject subject(pGroup, part ? part->PartGetSource() : nullptr);
    ReportDiagnostic(part ? DiagnosticCode::PartUnusable : DiagnosticCode::PartMissing, {},
                     EnumToText(PartVocabulary(), type));
    return false;
}

int GHandle::HasRequiredParts() {
    if (TransformType == TransformNone) return HasRequiredPart(SlotStatic, PartStatic) ? 1 : 0;
    if (!HasRequiredPart(SlotMouseout, PartMouseout) ||
        !HasRequiredPart(SlotMouseover, PartMouseover) ||
        !HasRequiredPart(SlotCoordsystem, PartCoordsystem))
        return 0;
    mProfileCS = MatrixCopyEx(parts[SlotCoordsystem]->PartGetBasis());
    mProfileCSInv = MatrixOrthoInvertEx(mProfileCS);
    if (mProfileCS && !mProfileCSInv) {
        const DiagnosticsSubject subject(pGroup, parts[SlotCoordsystem]->PartGetSource());
        ReportSingularFrame(mProfileCS);
    }
    mCoordSystem = MatrixCopyEx(mProfileCS);
    return mProfileCS && mProfileCSInv && mCoordSystem ? 1 : 0;
}

bool GHandle::HasGeometry() const {
    return IsLoaded() &&
           (IsPresentAndLoaded(parts[SlotStatic]) || IsPresentAndLoaded(parts[SlotMouseout]));
}

bool GHandle::IsDisplayed() const {
    if (!HasGeometry()) return false;
    GHandlePart* shown = parts[SlotStatic] ? parts[SlotStatic] : parts[SlotMouseout];
    return shown && shown->PartTestPrimitive();
}

int GHandle::UpdateDisplay(uint32_t showState, uint32_t controlState, bool isActive,
                           bool isHighlighted, bool hideRefpoint) {
    if (!IsLoaded() || !HasGeometry()) return 0;
    if (showState == ShowMultiViewOnly && MultiView) return 1;
    for (PartSlot slot : DisplayedSlots) {
        GHandlePart* part = parts[slot];
        if (!IsPresentAndDisplayable(part)) continue;
        if (showState == ShowHidden || showState == ShowMultiViewOnly)
            part->PartSetVisible(false);
        else if (part->PartIsVisibleInState(controlState, isActive, isHighlighted, hideRefpoint))
            part->PartSetVisible(true);
        else if (part->PartIsVisible())
            part->PartSetVisible(false);
    }
    return 1;
}

int GHandle::HighlightOn(bool redrawNow) {
    GHandlePart* mouseover = parts[SlotMouseover];
    GHandlePart* mouseout = parts[SlotMouseout];
    if (!IsLoaded() || !IsEnabled() || !mouseover || !mouseout) return 0;
    if (AutohideMouseoverPart) mouseout->PartSetVisible(false);
    mouseover->PartSetVisible(true);
    if (redrawNow) mouseover->PartRedraw();
    isHighlighted = 1;
    return 1;
}

int GHandle::HighlightOff(bool redrawNow) {
    GHandlePart* mouseover = parts[SlotMouseover];
    GHandlePart* mouseout = parts[SlotMouseout];
    if (!IsLoaded() || !IsEnabled() || !mouseover || !mouseout) return 0;
    if (AutohideMouseoverPart) mouseout->PartSetVisible(true);
    mouseover->PartSetVisible(false);
    if (redrawNow) mouseover->PartRedraw();
    isHighlighted = 0;
    return 1;
}

int GHandle::Redraw() {
    if (!IsLoaded()) return 0;
    for (PartSlot slot : {SlotMouseout, SlotMouseover, SlotStatic, SlotActive})
        if (parts[slot]) return parts[slot]->PartRedraw() == 0 ? 1 : 0;
    return 0;
}

int GHandle::SetViewport(ViewportStruct* viewport) {
    if (!IsLoaded()) return 0;
    if (viewport == pViewport) return 1;
    pViewport = viewport;
    for (PartSlot slot : DisplayedSlots)
        if (IsPresentAndDisplayable(parts[slot])) parts[slot]->PartSetViewport(viewport);
    PlaceEveryPart();
    return 1;
}

void GHandle::ForgetViewport(ViewportStruct* viewport) {
    if (pViewport == viewport) pViewport = nullptr;
    for (GHandlePart* part : parts)
        if (part) part->PartForgetViewport(viewport);
}

void GHandle::SetDisabled(bool enable, uint32_t bits) {
    const uint32_t mask = enable ? DisableMask & ~bits : DisableMask | bits;
    if (mask == DisableMask) return;
    const bool wasEnabled = IsEnabled();
    DisableMask = mask;
    if (wasEnabled != IsEnabled())
        UpdateDisplay(IsEnabled() ? ShowAll : ShowHidden, StateIdle, false, false, false);
}

void GHandle::RefreshSize() {
    if (!IsLoaded() || !HasGeometry() || ExtentsType == ExtentsBySelection) return;
    for (GHandlePart* part : parts)
        if (part && part->PartIsLoaded() && part->PartIsDisplayable()) part->PartUpdateResolution();
}

int GHandle::FollowDrag(const MatrixStruct* step, const MatrixStruct* drag, uint32_t controlState,
                        bool isActive, bool isHighlighted, bool hideRefpoint,
                        uint32_t draggedTransform) {
    if (!IsLoaded() || !IsEnabled()) return 0;
    if (isActive)
        return ApplyMatrixToPart(parts[SlotActive], step, controlState, isActive, isHighlighted,
                                 hideRefpoint);
    GHandlePart* part = parts[SlotStatic];
    // Most handles show nothing while another one is dragged: they skip the matrix tests.
    if (!FollowsInState(part, controlState, isActive, isHighlighted, hideRefpoint)) return 0;
    const bool isBoundingBox = csName == BoundingBoxName;
    // Scaling and shearing steps would distort the other handles: only the box follows them.
    const bool distorting = draggedTransform == TransformScale ||
                            draggedTransform == TransformScale2 || !MatrixIsOrtho(step);
    if (distorting && !isBoundingBox) return 0;
    return ApplyMatrixToPart(part, isBoundingBox ? drag : step, controlState, isActive,
                             isHighlighted, hideRefpoint);
}

int GHandle::ApplyMatrixToPart(GHandlePart* part, const MatrixStruct* m, uint32_t controlState,
                               bool isActive, bool isHighlighted, bool hideRefpoint) {
    if (!FollowsInState(part, controlState, isActive, isHighlighted, hideRefpoint)) return 0;
    part->PartFollowMatrix(MatrixProduct(m, part->PartGetPlacement()));
    return 1;
}

double GHandle::EffectivePriority() const {
    double priority = Priority;
    const GHandlePart* mouseout = parts[SlotMouseout];
    if (std::fabs(Priority_Diff_ifExtents0) > GeomEpsilon && mouseout &&
        ExtentsValid(mouseout->PartGetExtents()) && ExtentsIsPoint(mouseout->PartGetExtents())) {
        priority += Priority_Diff_ifExtents0;
        if (priority < -1.0) priority = -1.0;
    }
    return priority;
}

// The host may call back in from the callback: a control deleted there, or a viewport closed,
// ends the drag step. A callback that answers no finite box, or replaces the record it was
// handed, fails the step too.
int GHandle::EnsureSelectionExtentsInHandleCS(bool* outOfRecords) {
    if (!extentsCallback) return 0;
    if (extSelectionInHandleCS) return 1;
    HeldExtents measured(ExtentsNewEx());
    if (!measured) {
        if (outOfRecords) *outOfRecords = true;
        return 0;
    }
    ExtentsStruct* handed = measured.get();
    const int answered = extentsCallback(mHandleWorldInv, &handed);
    const bool usable = answered && handed == measured.get() && ExtentsValid(handed) &&
                        tiller::IsFinite(handed) && (!pControl || !pControl->isRetired) &&
                        pViewport;
    if (!usable) return 0;
    extSelectionInHandleCS = measured.Release();
    return 1;
}
