// GHandlePart: loading a part graphic into a world-coordinate working copy, its display
// element, its placement, its on-screen size limits and the matrices that follow the host's
// view-dependent scale.

#include "tiller/part/ghandlepart.h"

#include "tiller/control/gcontrol.h"
#include "tiller/geometry/geometry.h"
#include "tiller/geometry/held.h"
#include "tiller/handle/ghandle.h"
#include "tiller/host/tracery.h"
#include "tiller/profile/diagnostics.h"
#include "tiller/profile/profile_memo.h"

#include <cfloat>
#include <new>

namespace tiller {
namespace {

constexpr uint32_t ColorRed = 0x0000FF;
constexpr uint32_t ColorGreen = 0x00FF00;
constexpr uint32_t ColorBlue = 0xFF0000;
constexpr uint32_t AllVertices = 0xFFFF;
constexpr uint16_t CopyFlags = 4;
// Handles are authored about 0.6 drawing units across: the pixel sizes turn into drawing units
// per pixel against that size.
constexpr double AuthoredHandleSize = 0.6;
constexpr int32_t LargestScreenSize = 1000;
constexpr int32_t SmallestScreenSize = 50;

bool ReportPrimitiveState(RedUIElementState state) {
    if (state == 0) return true;
    if (QVDebugGetEnable() || QVRWDebugGetEnable())
        QVDebugLine("GHandlePart", 24, CAbstractUIObject::GetRedUIErrorString(state), 0);
    return false;
}

GraphicStruct* ParentOf(const GraphicStruct* g) {
    if (!g || (g->flags & GraphicFlagNoParent)) return nullptr;
    return g->parent;
}

// The matrices of the graphic's ancestors up to and including the group, combined, into
// `*out` (null when there is no ancestor or no matrix; the caller releases it); false when the
// host could not make it.
bool AncestorsMatrix(const GraphicStruct* graphic, const GraphicStruct* group, MatrixStruct** out) {
    for (GraphicStruct* parent = ParentOf(graphic); parent; parent = ParentOf(parent)) {
        const MatrixStruct* m = GraphicGetMatrix(parent);
        MatrixMultiplyLeft(m, out);
        if (m && !*out) return false;
        if (parent == group) break;
    }
    return true;
}

// A graphic's own matrix moved into its vertices, so that the copy carries no matrix of its own;
// false when the host could not do it.
bool BakeOwnMatrix(GraphicStruct* g) {
    const HeldMatrix own(MatrixCopyEx(GraphicGetMatrix(g)));
    if (!own) return false;
    GraphicSetMatrix(g, nullptr, 0);
    GraphicTransform(g, own.get(), 0, 1, 1, 0);
    GraphicSetExtentsDirty(g, 1);
    return true;
}

// Whether the host keeps room for an own matrix in g, made here when g has none: a graphic
// keeps the room of a matrix it has once had, so that setting one later cannot fail. Nothing
// visible changes.
bool KeepsMatrixRoom(GraphicStruct* g) {
    if (!g || GraphicGetMatrix(g)) return true;
    GraphicSetMatrix(g, &IdentityMatrix, 0);
    const bool made = GraphicGetMatrix(g) != nullptr;
    GraphicSetMatrix(g, nullptr, 0);
    return made;
}

int SwitchOffContourVectorizing(GraphicStruct* g, int32_t*) {
    if (g && g->kind == GraphicKindMesh)
        CAbstractUIObject::GraphicSetCustomPropVectorizeContour(g, false);
    return 1;
}

// What a part works on: a free-standing copy of the part graphic carried into the world by its
// ancestors' matrices up to the handle group, with no matrix of its own and no contour edges
// drawn on its meshes. Null when the host fails to make any of it: all controls of the profile
// copy it, so it is never kept half made. The caller releases it.
GraphicStruct* MakeWorkingGeometry(GraphicStruct* graphic, GraphicStruct* group) {
    HeldMatrix ancestors;
    if (!AncestorsMatrix(graphic, group, ancestors.address())) return nullptr;
    GraphicStruct* copy = GraphicCopyEx(graphic, ancestors.get(), 0, CopyFlags);
    if (!copy) return nullptr;
    if (!MatrixIsIdentity(GraphicGetMatrix(copy)) && !BakeOwnMatrix(copy)) {
        GraphicDispose(&copy);
        return nullptr;
    }
    GraphicWalk(copy, SwitchOffContourVectorizing, 1, 1, 0);
    if (copy->kind == GraphicKindMesh)
        CAbstractUIObject::GraphicSetCustomPropVectorizeContour(copy, false);
    // Measured once here: copies of it take the extents along.
    GraphicGetExtents(copy, 0, 0, 1, 0, 0, 0);
    return copy;
}

// Scratch graphics take the space mode of the model the user works in. The host interface
// reaches the current application but offers no way from it to its active drawing, so the
// drawing the control works in stands for it.
GraphicStruct* NewScratchGraphic(int kind, DrawingStruct* drawing) {
    GraphicStruct* g = GraphicNewEx(nullptr, 0xFFFFFFFF, kind, 0, 1);
    if (!g) return nullptr;
    if (AppGetCurrentApp() && drawing) {
        if (const GraphicStruct* root = DrawingGetModelRoot(drawing))
            GraphicSetSpaceMode(g, GraphicGetSpaceMode(root), 0);
    }
    g->flags |= GraphicFlagScratch;
    return g;
}

// Answers 1 (go on) for every graphic whose records the host can release as a tree.
int IsReleasableGraphic(GraphicStruct* g, int32_t*) {
    if (!g || g->kind == GraphicKindMesh) return 1;
    GraphicPosition position;
    const VertexStruct* first = GraphicVertexFirst(g, &position, 0, AllVertices);
    if (!first) return 1;
    return first->next && first->prev ? 1 : 0;
}

void DisposeGraphicTree(GraphicStruct** g) {
    if (!*g) return;
    if (GraphicWalk(*g, IsReleasableGraphic, 1, 1, 0) == 0) GraphicDispose(g);
}

// Two matrices that differ at most in their translation.
bool SameLinearPart(const MatrixStruct* a, const MatrixStruct* b) {
    if (!a || !b) return false;
    for (int i = 0; i < 12; ++i)
        if (a->m[i] != b->m[i]) return false;
    return a->m[15] == b->m[15];
}

// A point in world coordinates: `local` in the graphic's coordinates carried into the world.
// A working copy sits outside any tree: its own matrix alone carries it into the world, read
// without making a record that could fail.
bool WorldPointOf(const GraphicStruct* g, const VertexStruct* local, VertexStruct* out) {
    if (!local || !out) return false;
    const bool outsideTree = g && (g->flags & GraphicFlagNoParent);
    const HeldMatrix toWorld(outsideTree ? nullptr : GraphicBuildMatrixInWordCS(g));
    if (!outsideTree && !toWorld) return false;
    VertexSet(out, local->x, local->y, local->z);
    VertexTransform(out, outsideTree ? GraphicGetMatrix(g) : toWorld.get());
    return true;
}

bool ViewMatrixChanged(const MatrixStruct* viewMatrix, void* owner) {
    if (!owner) return false;
    return static_cast<GHandlePart*>(owner)->PartOnViewMatrixChanged(viewMatrix);
}

struct AxisLines {
    GraphicStruct* x = nullptr;
    GraphicStruct* y = nullptr;
    GraphicStruct* z = nullptr;
};

// Sorts the three children of a coordsystem graphic by pen colour; false for another colour or
// a colour met twice.
bool SortAxisLines(GraphicStruct* geometry, AxisLines* lines) {
    GraphicPosition position;
    for (GraphicStruct* child = GraphicFirst(geometry, &position, 1, 1); child;
         child = GraphicNext(geometry, &position, 1, 1)) {
        GraphicStruct** slot = nullptr;
        switch (GraphicGetPenColor(child)) {
        case ColorRed:
            slot = &lines->x;
            break;
        case ColorGreen:
            slot = &lines->y;
            break;
        case ColorBlue:
            slot = &lines->z;
            break;
        default:
            return false;
        }
        if (*slot) return false;
        *slot = child;
    }
    return lines->x && lines->y && lines->z;
}

struct LineEnds {
    VertexStruct* first = nullptr;
    VertexStruct* second = nullptr;
};

bool ReadLineEnds(GraphicStruct* line, LineEnds* ends) {
    if (GraphicVertexCount(line, 0, AllVertices) != 2) return false;
    GraphicPosition position;
    ends->first = GraphicVertexFirst(line, &position, 0, AllVertices);
    ends->second = GraphicVertexNext(line, &position, 0, AllVertices);
    return ends->first && ends->second;
}

// The axis ends carried through their own lines' matrices, released together.
struct WorldAxisEnds {
    VertexStruct* v[6] = {};
    ~WorldAxisEnds() {
        for (VertexStruct*& p : v)
            VertexDispose(&p);
    }
    bool Copy(const LineEnds ends[3], GraphicStruct* const lines[3]) {
        for (int axis = 0; axis < 3; ++axis) {
            const MatrixStruct* m = GraphicGetMatrix(lines[axis]);
            v[2 * axis] = VertexCopy(ends[axis].first, m);
            v[2 * axis + 1] = VertexCopy(ends[axis].second, m);
            if (!v[2 * axis] || !v[2 * axis + 1]) return false;
        }
        return true;
    }
};

} // namespace

void DisposeWorkingCopy(GraphicStruct** g) {
    if (!*g) return;
    GraphicAttach(*g, nullptr);
    DisposeGraphicTree(g);
}

GHandlePart::GHandlePart(ViewportStruct* viewport, GraphicStruct* group, GraphicStruct* graphic,
                         DrawingStruct* drawing, uint32_t type, GControl* control, GHandle* owner,
                         double transparency, double ambient, double diffuse, double specular,
                         int32_t fixedSize)
    : Owner(owner), Control(control), Viewport(viewport), GroupGraphic(group), Source(graphic),
      Transparency(transparency), Ambient(ambient), Diffuse(diffuse), Specular(specular),
      FixedSize(fixedSize), Type(type) {
    // A throw half-way must not leave the element, or its view-matrix callback, behind.
    try {
        Build(graphic, group, drawing);
    } catch (...) {
        Release();
        throw;
    }
}

// The controls of a profile copy its parts' working geometry from one made for them all, so
// that the host derives its display snapshots and picking caches once for every copy.
void GHandlePart::Build(GraphicStruct* graphic, GraphicStruct* group, DrawingStruct* drawing) {
    if (graphic && group) {
        if (ProfileMemo* memo = Control ? Control->Memo() : nullptr) {
            GraphicStruct* shared =
                memo->Geometry(graphic, group, [&] { return MakeWorkingGeometry(graphic, group); });
            Geometry = shared ? GraphicCopyEx(shared, nullptr, 0, CopyFlags) : nullptr;
        } else {
            Geometry = MakeWorkingGeometry(graphic, group);
        }
    }
    if (Geometry) GraphicAttach(Geometry, drawing);
    Drawing = drawing;
    const bool recordsMade = CreateRecords();
    if (Geometry && Extents)
        ExtentsCopyFrom(Extents, GraphicGetExtents(Geometry, 0, 0, 1, 0, 0, 0));
    if (!Geometry) ReportDiagnostic(DiagnosticCode::PartNoGeometry);
    if (!Geometry || !recordsMade) return;
    if (!PartCreatePrimitive()) return;
    Loaded = PartCenterFromExtents();
    if (!Loaded) {
        ReportDiagnostic(DiagnosticCode::PartNoGeometry);
        return;
    }
    TakeRefPoint();
    ConfigureScreenSizing();
}

bool GHandlePart::CreateRecords() {
    for (VertexStruct** v :
         {&CenterLocal, &CenterWCS, &RefPoint, &ZoomCenter, &HitPoint, &CursorPoint, &ProbePoint})
        *v = VertexNewFromEx(nullptr);
    Extents = ExtentsNewEx();
    for (MatrixStruct** m :
         {&PartMatrix, &ViewMatrix, &ViewMatrixInv, &DisplayToGeometry, &GeometryToDisplay})
        *m = MatrixSingle();
    PickGraphic = NewScratchGraphic(GraphicKindPick, Drawing);
    return CenterLocal && CenterWCS && RefPoint && ZoomCenter && HitPoint && CursorPoint &&
           ProbePoint && Extents && PartMatrix && ViewMatrix && ViewMatrixInv &&
           DisplayToGeometry && GeometryToDisplay && PickGraphic;
}

void GHandlePart::TakeRefPoint() {
    const VertexStruct* reference =
        TracksSnapCenter() ? GraphicGetReferencePoint(Geometry) : nullptr;
    if (reference)
        WorldPointOf(Geometry, reference, RefPoint);
    else
        VertexDispose(&RefPoint);
}

void GHandlePart::ConfigureScreenSizing() {
    if (!Primitive || Owner->ExtentsType == ExtentsBySelection) return;
    PartUpdateResolution();
    const VertexStruct* groupReference = GraphicGetReferencePoint(GroupGraphic);
    if (groupReference)
        WorldPointOf(GroupGraphic, groupReference, ZoomCenter);
    else
        VertexAssign(CenterWCS, &ZoomCenter);
    ReportPrimitiveState(Primitive->SetCenterZoom(ZoomCenter));
    if (Owner->PositionAbsolute) ReportPrimitiveState(Primitive->SetPositionAbsolute(true));
    if (Type == PartMouseout) {
        ReportPrimitiveState(Primitive->SetCallback_ViewMatrixWasChanged(ViewMatrixChanged));
        ReportPrimitiveState(Primitive->SetOwner(this));
    }
}

GHandlePart::~GHandlePart() {
    Release();
}

void GHandlePart::Release() {
    DisposeWorkingCopy(&Geometry);
    DisposeWorkingCopy(&SavedGeometry);
    for (VertexStruct** v :
         {&CenterLocal, &CenterWCS, &RefPoint, &ZoomCenter, &HitPoint, &CursorPoint, &ProbePoint})
        VertexDispose(v);
    ExtentsDispose(&Extents);
    for (MatrixStruct** m : {&PartMatrix, &ViewMatrix, &ViewMatrixInv, &DisplayToGeometry,
                             &GeometryToDisplay, &Basis, &Placement})
        MatrixDispose(m);
    GraphicDispose(&PickGraphic);
    if (Type == PartMouseout && Primitive && RenderSceneGetSceneByID(Primitive->GetSceneId())) {
        ReportPrimitiveState(Primitive->SetCallback_ViewMatrixWasChanged(nullptr));
        ReportPrimitiveState(Primitive->SetOwner(nullptr));
    }
    delete Primitive;
    Primitive = nullptr;
}

bool GHandlePart::PartIsDisplayable() const {
    return Loaded == 1 && Type != PartUndefined && Type != PartCoordsystem;
}

bool GHandlePart::TracksSnapCenter() const {
    return Owner && Owner->SnapCursorToCenter && Type == PartMouseout && PartIsDisplayable();
}

bool GHandlePart::PartCreatePrimitive() {
    if (!Drawing || !Viewport) return false;
    if (Type == PartCoordsystem) return ReadBasis();
    Primitive = new (std::nothrow) CRedUIElement();
    if (!Primitive) return false;
    ReportPrimitiveState(Primitive->SetSceneByViewport(Viewport));
    ReportPrimitiveState(Primitive->CreatePrimByGraphic(Geometry, false));
    ReportPrimitiveState(Primitive->SetDrawpriority(1, false));
    ReportPrimitiveState(Primitive->SetSpaceByViewport(Viewport, false));
    ReportPrimitiveState(
        Primitive->SetExtents(GraphicGetExtents(Geometry, 0, 0, 1, 0, 0, 0), false));
    Primitive->SetImmediateRedrawAtDelete(false);
    ReportPrimitiveState(Primitive->SetViewMode(ViewMode(), false));
    ReportPrimitiveState(Primitive->SetDrawInViewport(Viewport, true, false));
    ReportPrimitiveState(Primitive->SetMatPrimType(16, false));
    ReportPrimitiveState(Primitive->SetMatrix(PartMatrix, false));
    PartSetVisible(false);
    ReportPrimitiveState(Primitive->SetTransparency(static_cast<float>(Transparency), false));
    ReportPrimitiveState(Primitive->SetAmbientFactor(static_cast<float>(Ambient), false));
    ReportPrimitiveState(Primitive->SetDiffuseFactor(static_cast<float>(Diffuse), false));
    ReportPrimitiveState(Primitive->SetSpecularFactor(static_cast<float>(Specular), false));
    return true;
}

int GHandlePart::ViewMode() const {
    if (!Owner->MultiView) return 2;
    return Owner->ExtentsType == ExtentsBySelection ? 0 : 3;
}

// The coordsystem part: three lines, red X, green Y, blue Z, from one common origin.
bool GHandlePart::ReadBasis() {
    if (GraphicCount(Geometry, 0, 1) != 3) {
        ReportDiagnostic(DiagnosticCode::AxisLineCount);
        return false;
    }
    AxisLines lines;
    if (!SortAxisLines(Geometry, &lines)) {
        ReportDiagnostic(DiagnosticCode::AxisColours);
        return false;
    }
    GraphicStruct* const ordered[3] = {lines.x, lines.y, lines.z};
    LineEnds ends[3];
    for (int axis = 0; axis < 3; ++axis) {
        if (!ReadLineEnds(ordered[axis], &ends[axis])) {
            ReportDiagnostic(DiagnosticCode::AxisNotLine, {},
                             axis == 0   ? "X"
                             : axis == 1 ? "Y"
                                         : "Z");
            return false;
        }
    }
    if (!VertexEqual(ends[0].first, ends[1].first) || !VertexEqual(ends[0].first, ends[2].first)) {
        ReportDiagnostic(DiagnosticCode::AxisOrigins);
        return false;
    }
    WorldAxisEnds world;
    if (!world.Copy(ends, ordered)) return false;
    MatrixStruct* basis = MatrixBasisFm(world.v[0], world.v[1], world.v[3], world.v[5]);
    if (!basis) return false;
    MatrixDispose(&Basis);
    Basis = basis;
    return true;
}

void GHandlePart::PartUpdateResolution() {
    if (!Loaded || !Primitive || Owner->ExtentsType == ExtentsBySelection) return;
    int32_t minPx = Control->properties.ScreenSize_Min;
    int32_t maxPx = Control->properties.ScreenSize_Max;
    if (FixedSize != 0) minPx = maxPx = FixedSize;
    if (maxPx > LargestScreenSize) maxPx = LargestScreenSize;
    // The smallest size is enforced on the largest one only: minPx keeps what it was given.
    if (minPx < SmallestScreenSize) maxPx = SmallestScreenSize;
    ReportPrimitiveState(Primitive->SetMinResolution(AuthoredHandleSize / maxPx));
    ReportPrimitiveState(Primitive->SetMaxResolution(AuthoredHandleSize / minPx));
}

// Whether m is baked into a fresh copy of the unbaked geometry: it distorts, and it is not a
// move of the baked geometry the part already has.
bool GHandlePart::NeedsBaking(const MatrixStruct* m) const {
    return PartIsDisplayable() && !MatrixIsOrtho(m) &&
           !(SavedGeometry && SameLinearPart(m, &BakedMatrix));
}

bool GHandlePart::PartPrepareMatrix(const MatrixStruct* m, GraphicStruct** baked) const {
    *baked = nullptr;
    if (!PartIsDisplayable()) return true;
    if (NeedsBaking(m)) {
        *baked = BakedCopy(*m);
        return *baked != nullptr;
    }
    // An undistorted placement gives its matrix to the working copy, or to the unbaked copy
    // that takes its place.
    return KeepsMatrixRoom(Geometry) && (!SavedGeometry || KeepsMatrixRoom(SavedGeometry));
}

int GHandlePart::PartSetMatrix(const MatrixStruct* m, GraphicStruct* baked) {
    if (PartIsDisplayable()) {
        if (baked)
            TakeBakedCopy(*m, std::exchange(baked, nullptr));
        else
            PlaceGeometry(m, false);
    }
    DisposeWorkingCopy(&baked);
    if (!PartIsDisplayable()) return 0;
    Pending = false;
    return FinishPlacing(m, true);
}

// Drag steps come far more often than anything reads a following part's geometry: baking a
// distorting matrix or walking the vertices for new extents waits for that reader.
void GHandlePart::PartFollowMatrix(const MatrixStruct& m) {
    if (!PartIsDisplayable()) return;
    Primitive->SetMatrix(&m, false);
    PendingMatrix = m;
    Pending = true;
}

bool GHandlePart::SettlePending() {
    if (!PlaceGeometry(&PendingMatrix, true)) return false;
    Pending = false;
    FinishPlacing(&PendingMatrix, false);
    return true;
}

// False, with nothing changed, only when a strict bake of a distorting matrix fails.
bool GHandlePart::PlaceGeometry(const MatrixStruct* m, bool strict) {
    if (MatrixIsOrtho(m)) {
        RestoreSavedGeometry();
        GraphicSetMatrix(Geometry, m, 0);
        return true;
    }
    return OffsetBakedGeometry(m) || BakeIntoWorkingCopy(*m, strict);
}

int GHandlePart::FinishPlacing(const MatrixStruct* m, bool moveElement) {
    const MatrixStruct* applied = m ? m : &IdentityMatrix;
    if (moveElement) Primitive->SetMatrix(applied, false);
    const bool shifted = ShiftExtentsToMatrix(applied);
    MatrixAssign(applied, &PartMatrix);
    RebuildDisplayMatrices();
    if (TracksSnapCenter() && RefPoint) {
        if (const VertexStruct* reference = GraphicGetReferencePoint(Geometry))
            WorldPointOf(Geometry, reference, RefPoint);
    }
    return shifted ? PartCenterFromExtents() : PartUpdateCenter();
}

// The working copy's vertices change only with the linear part of the matrix it is placed by:
// when a new matrix differs from the current one by its translation alone, every vertex moves
// by the same offset and so does the box around them, which spares walking the vertices on
// every drag step.
bool GHandlePart::ShiftExtentsToMatrix(const MatrixStruct* m) {
    if (!ExtentsValid(Extents) || !SameLinearPart(m, PartMatrix)) return false;
    const double dx = m->m[12] - PartMatrix->m[12];
    const double dy = m->m[13] - PartMatrix->m[13];
    const double dz = m->m[14] - PartMatrix->m[14];
    ExtentsSet(Extents, ExtentsGetX1(Extents) + dx, ExtentsGetY1(Extents) + dy,
               ExtentsGetZ1(Extents) + dz, ExtentsGetX2(Extents) + dx, ExtentsGetY2(Extents) + dy,
               ExtentsGetZ2(Extents) + dz);
    GraphicSetExtentsDirty(Geometry, 1);
    return true;
}

// A distorting matrix is baked into the working copy's vertices. While a drag only moves a
// distorted part, the baked copy is kept and carries the rest of the move as its own matrix, a
// plain translation, instead of being copied from the saved state and baked again every step.
bool GHandlePart::OffsetBakedGeometry(const MatrixStruct* m) {
    if (!SavedGeometry || !SameLinearPart(m, &BakedMatrix)) return false;
    MatrixStruct offset{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, m->m[12] - BakedMatrix.m[12],
                         m->m[13] - BakedMatrix.m[13], m->m[14] - BakedMatrix.m[14], 1}};
    GraphicSetMatrix(Geometry, &offset, 0);
    return true;
}

// The untransformed copy is made first, so that a strict bake the host cannot make leaves the
// part exactly as it was. A placement by setup bakes without the copy then, as it always has:
// its next placement starts from the baked vertices.
bool GHandlePart::BakeIntoWorkingCopy(const MatrixStruct& m, bool strict) {
    GraphicStruct* untransformed =
        GraphicCopyEx(SavedGeometry ? SavedGeometry : Geometry, nullptr, 0, CopyFlags);
    if (!untransformed && strict) return false;
    RestoreSavedGeometry();
    GraphicSetMatrix(Geometry, nullptr, 0);
    if (untransformed) GraphicSetMatrix(untransformed, nullptr, 0);
    SavedGeometry = untransformed;
    GraphicTransform(Geometry, &m, 0, 1, 1, 0);
    BakedMatrix = m;
    return true;
}

// Made with m as its own matrix, the copy holds vertices of its own from the start, so that
// baking m into them needs no room the host could lack. The matrix of the working copy is not
// baked, as it is not when the working copy itself is baked.
GraphicStruct* GHandlePart::BakedCopy(const MatrixStruct& m) const {
    GraphicStruct* copy = GraphicCopyEx(SavedGeometry ? SavedGeometry : Geometry, &m, 0, CopyFlags);
    if (!copy) return nullptr;
    GraphicSetMatrix(copy, nullptr, 0);
    GraphicTransform(copy, &m, 0, 1, 1, 0);
    return copy;
}

// The baked copy becomes the working copy; the unbaked geometry stays, or the working copy
// becomes it. It takes the place in the drawing the working copy leaves, so nothing here needs
// room.
void GHandlePart::TakeBakedCopy(const MatrixStruct& m, GraphicStruct* baked) {
    if (SavedGeometry) {
        DisposeWorkingCopy(&Geometry);
    } else {
        GraphicAttach(Geometry, nullptr);
        GraphicSetMatrix(Geometry, nullptr, 0);
        SavedGeometry = Geometry;
    }
    Geometry = baked;
    GraphicAttach(Geometry, Drawing);
    BakedMatrix = m;
}

void GHandlePart::RestoreSavedGeometry() {
    if (!SavedGeometry) return;
    DisposeWorkingCopy(&Geometry);
    Geometry = SavedGeometry;
    SavedGeometry = nullptr;
    GraphicAttach(Geometry, Drawing);
}

// DisplayToGeometry undoes the view-dependent scale in world terms: the element draws
// PartMatrix after ViewMatrix, while the working copy carries PartMatrix alone.
void GHandlePart::RebuildDisplayMatrices() {
    MatrixAssign(ViewMatrixInv, &DisplayToGeometry);
    MatrixTranslateFromCS(&DisplayToGeometry, PartMatrix);
    MatrixAssign(DisplayToGeometry, &GeometryToDisplay);
    MatrixInvertAffine(&GeometryToDisplay);
}

void GHandlePart::PartTakePlacement(MatrixStruct* m) {
    MatrixDispose(&Placement);
    Placement = m;
}

int GHandlePart::PartUpdateCenter() {
    GraphicSetExtentsDirty(Geometry, 1);
    GraphicGetGeometricExtents(Geometry, Extents, 0, 1, 0, 0);
    return PartCenterFromExtents();
}

int GHandlePart::PartCenterFromExtents() {
    ForgetScreenBox();
    if (!ExtentsValid(Extents)) return 0;
    const double x1 = ExtentsGetX1(Extents), x2 = ExtentsGetX2(Extents);
    const double y1 = ExtentsGetY1(Extents), y2 = ExtentsGetY2(Extents);
    const double z1 = ExtentsGetZ1(Extents), z2 = ExtentsGetZ2(Extents);
    for (double c : {x1, x2, y1, y2, z1, z2})
        if (c >= DBL_MAX) return 0;
    VertexSet(CenterLocal, (x1 + x2) * 0.5, (y1 + y2) * 0.5, (z1 + z2) * 0.5);
    VertexAssign(CenterLocal, &CenterWCS);
    if (!MatrixIsIdentity(GeometryToDisplay)) VertexTransform(CenterWCS, GeometryToDisplay);
    return 1;
}

void GHandlePart::ForgetScreenBox() {
    ScreenGeneration = 0;
    if (Control) ++Control->screenBoxChanges;
}

bool GHandlePart::PartOnViewMatrixChanged(const MatrixStruct* v) {
    PartSettle();
    if (MatrixEqual(ViewMatrix, v)) return true;
    ForgetScreenBox();
    MatrixAssign(v, &ViewMatrix);
    MatrixAssign(v, &ViewMatrixInv);
    if (!MatrixInvertAffine(&ViewMatrixInv)) {
        for (MatrixStruct* m : {ViewMatrix, ViewMatrixInv, DisplayToGeometry, GeometryToDisplay})
            MatrixSetIdentity(m);
        return false;
    }
    RebuildDisplayMatrices();
    VertexSet(CursorPoint, 0, 0, 0);
    VertexSet(ProbePoint, 1, 0, 0);
    VertexTransform(CursorPoint, ViewMatrix);
    VertexTransform(ProbePoint, ViewMatrix);
    ViewScale = VertexDistance(CursorPoint, ProbePoint);
    if (TracksSnapCenter()) UpdateSnapCenter();
    return true;
}

// The snap centre follows what is displayed. The reference point is taken from the working
// copy afresh each time, so repeated view changes never compound on it.
void GHandlePart::UpdateSnapCenter() {
    VertexAssign(CenterLocal, &CenterWCS);
    const VertexStruct* reference = RefPoint ? GraphicGetReferencePoint(Geometry) : nullptr;
    if (reference) WorldPointOf(Geometry, reference, RefPoint);
    if (!MatrixIsIdentity(GeometryToDisplay)) {
        VertexTransform(CenterWCS, GeometryToDisplay);
        if (RefPoint) VertexTransform(RefPoint, GeometryToDisplay);
    }
    const VertexStruct* centre = RefPoint ? RefPoint : CenterWCS;
    Owner->xCenter = centre->x;
    Owner->yCenter = centre->y;
    Owner->zCenter = centre->z;
}

bool GHandlePart::PartIsVisibleInState(uint32_t state, bool isActive, bool isHighlighted,
                                       bool hideRotbarStatics) const {
    if (!PartIsDisplayable()) return false;
    if (Type == PartStatic && state == StateDragging && Owner->HideStaticPartsWhiledrag)
        return false;
    if (isActive) return state == StateDragging && (Type == PartActive || Type == PartStatic);
    switch (state) {
    case StateIdle:
    case 2:
        if (Type == PartMouseout || Type == PartStatic) return true;
        return Type == PartMouseover && isHighlighted;
    case StateDragging:
        if (Type != PartStatic) return false;
        return !(hideRotbarStatics && Owner->OrientationType == OrientationGCtrlRotbarCS);
    default:
        return false;
    }
}

void GHandlePart::PartSetVisible(bool visible) {
    if (!Primitive || static_cast<int32_t>(visible) == Visible) return;
    Primitive->SetGlobalVisible(visible, false);
    Visible = visible ? 1 : 0;
}

int GHandlePart::PartSetViewport(ViewportStruct* vp) {
    if (!PartIsDisplayable()) return 0;
    if (vp == Viewport) return 1;
    if (Viewport && !Owner->MultiView) Primitive->SetDrawInViewport(Viewport, false, false);
    Viewport = vp;
    if (vp) {
        Primitive->SetDrawInViewport(vp, true, false);
        Primitive->SetMatrix(&IdentityMatrix, false);
    }
    return 1;
}

RedUIElementState GHandlePart::PartRedraw() {
    return Primitive ? Primitive->RedrawImmediately() : -1;
}

bool GHandlePart::PartTestPrimitive() {
    if (!PartIsDisplayable()) return true;
    if (!Primitive) return false;
    return Primitive->TestElement() == 0;
}

} // namespace tiller
