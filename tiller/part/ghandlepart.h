// One displayable piece of a handle: a private world-coordinate copy of one part graphic,
// shown through one host display element, with the matrices that link the stored geometry,
// the handle's placement and the host's view-dependent scale. A coordsystem part shows
// nothing and yields the handle's coordinate system instead.
#ifndef TILLER_PART_GHANDLEPART_H
#define TILLER_PART_GHANDLEPART_H

#include "tiller/host/korvex.h"
#include "tiller/host/redui.h"
#include "tiller/part/pickview.h"
#include "tiller/tiller.h"

namespace tiller {

class GHandlePart {
  public:
    // Builds the part (check PartIsLoaded afterwards).
    GHandlePart(ViewportStruct* viewport, GraphicStruct* group, GraphicStruct* graphic,
                DrawingStruct* drawing, uint32_t type, GControl* control, GHandle* owner,
                double transparency, double ambient, double diffuse, double specular,
                int32_t fixedSize);
    ~GHandlePart();
    GHandlePart(const GHandlePart&) = delete;
    GHandlePart& operator=(const GHandlePart&) = delete;

    bool PartIsLoaded() const { return Loaded == 1; }
    bool PartIsDisplayable() const;
    void PartSetVisible(bool visible);
    bool PartIsVisible() const { return Visible == 1; }
    bool PartIsVisibleInState(uint32_t state, bool isActive, bool isHighlighted,
                              bool hideRotbarStatics) const;
    // Makes ahead what placing the part by m needs, so that placing it makes nothing: a copy of
    // its unbaked geometry with m baked in when m distorts it (null when m needs none), else the
    // host's room for the matrix its working copy takes. False, with nothing visible changed,
    // when the host cannot make them.
    bool PartPrepareMatrix(const MatrixStruct* m, GraphicStruct** baked) const;
    // Places the part by m, taking over `baked` from PartPrepareMatrix (without one a distorting
    // m is baked here).
    int PartSetMatrix(const MatrixStruct* m, GraphicStruct* baked = nullptr);
    void PartTakePlacement(MatrixStruct* m);
    // Moves the displayed part along with a drag step: the element takes the matrix at once,
    // the working copy (with its extents and centre) only when PartSettle is next called. Makes
    // no host record, so a step never leaves a part half moved.
    void PartFollowMatrix(const MatrixStruct& m);
    // Brings the working copy up to the matrix the element shows; everything that reads the
    // geometry, the extents or the centre of a part that follows drags settles it first. False,
    // with the part as it was, when the host cannot make the records for it.
    bool PartSettle() { return !Pending || SettlePending(); }
    const MatrixStruct* PartGetPlacement() const { return Placement; }
    int PartSetViewport(ViewportStruct* vp);
    // Forgets a viewport the host has closed, without touching it.
    void PartForgetViewport(ViewportStruct* vp) {
        if (Viewport == vp) Viewport = nullptr;
    }
    void PartUpdateResolution();
    RedUIElementState PartRedraw();
    bool PartTestPrimitive();
    const MatrixStruct* PartGetBasis() const { return Basis; }
    const ExtentsStruct* PartGetExtents() const { return Extents; }
    const VertexStruct* PartGetAnchorPoint() const { return RefPoint ? RefPoint : CenterWCS; }
    const VertexStruct* PartGetHitPoint() const { return HitPoint; }
    double PartGetViewScale() const { return ViewScale; }
    // Hit test of the part under the cursor (see the hit-testing notes in hittest.cpp).
    bool PartHitTest(ViewportStruct* vp, double x, double y, double z, double* facetDistance,
                     double* distance, int aperture);
    bool PartHitTest(const PickView& view, double x, double y, double z, double* facetDistance,
                     double* distance);
    // False only when the cursor is too far from the part on screen for any query to hit it.
    bool PartNearCursor(const PickView& view);
    // The part's box on screen, kept until the view or the part changes; false when it has none
    // to cull against.
    bool PartScreenBox(const PickView& view, ScreenBox* box);
    // The view-dependent matrix changed: rebuild the derived matrices and the snap centre.
    bool PartOnViewMatrixChanged(const MatrixStruct* v);
    bool TracksSnapCenter() const;
    uint32_t PartGetType() const { return Type; }
    double PartGetTransparency() const { return Transparency; }
    const VertexStruct* PartGetCenter() const { return CenterWCS; }
    // The part group of the profile the part was made from (for messages about it).
    GraphicStruct* PartGetSource() const { return Source; }
    GraphicStruct* PartGetGeometry() const { return Geometry; }
    CRedUIElement* PartGetPrimitive() const { return Primitive; }

  private:
    GHandle* Owner;
    GControl* Control;
    ViewportStruct* Viewport;
    GraphicStruct* GroupGraphic;
    GraphicStruct* Source; // the part group of the profile it was made from
    GraphicStruct* Geometry = nullptr;
    GraphicStruct* SavedGeometry = nullptr;
    ExtentsStruct* Extents = nullptr;
    VertexStruct* CenterLocal = nullptr;
    VertexStruct* CenterWCS = nullptr;
    VertexStruct* RefPoint = nullptr;
    VertexStruct* ZoomCenter = nullptr;
    VertexStruct* HitPoint = nullptr;
    VertexStruct* CursorPoint = nullptr;
    VertexStruct* ProbePoint = nullptr;
    GraphicStruct* PickGraphic = nullptr;
    MatrixStruct* PartMatrix = nullptr;
    MatrixStruct* ViewMatrix = nullptr;
    MatrixStruct* ViewMatrixInv = nullptr;
    MatrixStruct* DisplayToGeometry = nullptr;
    MatrixStruct* GeometryToDisplay = nullptr;
    double ViewScale = 1.0;
    MatrixStruct* Basis = nullptr;
    MatrixStruct* Placement = nullptr;
    // The distorting matrix baked into the working copy while SavedGeometry holds its source.
    MatrixStruct BakedMatrix{};
    // The matrix the element shows while the working copy still lags behind it.
    MatrixStruct PendingMatrix{};
    bool Pending = false;
    int32_t Loaded = 0;
    int32_t Visible = 1;
    double Transparency, Ambient, Diffuse, Specular;
    int32_t FixedSize;
    DrawingStruct* Drawing = nullptr;
    CRedUIElement* Primitive = nullptr;
    uint32_t Type;

    // The displayed part's box on screen, valid for the pick view generation it was made in
    // (0: none yet, or the part or its view-dependent scale changed since).
    ScreenBox Screen{};
    uint64_t ScreenGeneration = 0;
    bool ScreenKnown = false;

    void Build(GraphicStruct* graphic, GraphicStruct* group, DrawingStruct* drawing);
    // The part moved or its view-dependent scale changed: its box on screen is measured again,
    // and the control's hover index with it.
    void ForgetScreenBox();
    void Release();
    bool CreateRecords();
    bool PartCreatePrimitive();
    bool ReadBasis();
    int ViewMode() const;
    int PartUpdateCenter();
    int PartCenterFromExtents();
    bool SettlePending();
    bool PlaceGeometry(const MatrixStruct* m, bool strict);
    bool BakeIntoWorkingCopy(const MatrixStruct& m, bool strict);
    GraphicStruct* BakedCopy(const MatrixStruct& m) const;
    void TakeBakedCopy(const MatrixStruct& m, GraphicStruct* baked);
    int FinishPlacing(const MatrixStruct* m, bool moveElement);
    bool ShiftExtentsToMatrix(const MatrixStruct* m);
    bool NeedsBaking(const MatrixStruct* m) const;
    bool OffsetBakedGeometry(const MatrixStruct* m);
    void TakeRefPoint();
    void ConfigureScreenSizing();
    void RestoreSavedGeometry();
    void RebuildDisplayMatrices();
    void UpdateSnapCenter();
    bool IsViewDependent() const;
    bool DisplayedScreenBox(const PickView& view, ScreenBox* box) const;
};

// Releases a working copy of part geometry, attached to a drawing or not.
void DisposeWorkingCopy(GraphicStruct** g);

// The default pick aperture in pixels, from the host's screen width (computed once).
int DefaultPickAperture();
// The aperture for a screen width (the table behind DefaultPickAperture).
int PickApertureForScreenWidth(int width);

} // namespace tiller

#endif
