// One interactive manipulator in one drawing: the handles built from a profile, the settings
// and setup geometry they share, and the state of the pointer interaction.
#ifndef TILLER_CONTROL_GCONTROL_H
#define TILLER_CONTROL_GCONTROL_H

#include "tiller/host/korvex.h"
#include "tiller/kinematics/drag.h"
#include "tiller/part/pickview.h"
#include "tiller/tiller.h"

#include <map>
#include <string>
#include <vector>

namespace tiller {
class DrawingProfile;
class GHandlePart;
class ProfileMemo;

// Keeps layer 1 of a drawing visible for its lifetime, and restores what it changed however the
// scope is left.
class LayerOneGuard {
  public:
    explicit LayerOneGuard(DrawingStruct* drawing);
    ~LayerOneGuard();
    LayerOneGuard(const LayerOneGuard&) = delete;
    LayerOneGuard& operator=(const LayerOneGuard&) = delete;

  private:
    DrawingStruct* drawing_;
    TableStruct* table_ = nullptr;
    bool notifyWasOn_ = false;
    bool madeVisible_ = false;
};

} // namespace tiller

struct GControl {
    GControl(tiller::DrawingProfile* profile, const std::wstring& name, DrawingStruct* drawing,
             ExtentsCallback callback);
    ~GControl();
    GControl(const GControl&) = delete;
    GControl& operator=(const GControl&) = delete;

    int Init();
    bool IsUsable() const;
    void SetExtentsCallback(ExtentsCallback callback);

    // Setup, state and display (setup.cpp).
    int SetProperties(const GControlProperties& properties);
    // The settings and the selection geometry, all or nothing.
    int Setup(const GControlProperties& properties, const MatrixStruct* controlCS,
              const ExtentsStruct* extents, const VertexStruct* refPoint,
              const MatrixStruct* rotbarCS, const MatrixStruct* selectionCS,
              const ExtentsStruct* extents2);
    int SetActiveViewport(ViewportStruct* viewport);
    int Show(uint32_t mode, uint32_t redrawNow);
    void RedrawNow();
    int SetState(uint32_t state, GHandle* handle, double x, double y, double z, double vx,
                 double vy, double vz, uint16_t keyState);
    bool OwnsHandle(const GHandle* handle) const;
    // Lets a viewport the host is closing go; the control fails until it gets another.
    void DropViewport(ViewportStruct* viewport);
    int GetHandleVisible(GHandle* handle);
    int SetHandleVisible(GHandle* handle, uint32_t visible);

    // Pointer tracking and drag (track.cpp).
    GHandle* TrackPointer(double x, double y, double z, double vx, double vy, double vz,
                          uint16_t keyState, uint32_t uniformScale, uint32_t scaleFromCenter,
                          uint32_t keepSelectionCSStill, uint32_t* changed);
    int Transform(const MatrixStruct* matrix);

    bool HasUsableProfile() const;
    // What the profile's controls share, or null: without a profile, or while a listener hears
    // the diagnostics of reading the profile, which a shared reading would not repeat.
    tiller::ProfileMemo* Memo() const;

    // The control's state is read and written through these fields only; the manager, the
    // report and the handles' parts use them directly.
    GControlProperties properties; // first field: parts read the screen sizes through it
    DrawingStruct* drawing;
    ViewportStruct* activeViewport = nullptr;
    tiller::DrawingProfile* profile;
    std::wstring name;
    GHandleList handles;
    std::map<std::string, GHandle*> handlesByName;
    GControlState state = StateIdle;
    GHandle* activeHandle = nullptr;
    GHandle* highlightedHandle = nullptr;
    MatrixStruct* controlCS = nullptr;
    ExtentsStruct* selectionExtents = nullptr;
    VertexStruct* refPoint = nullptr;
    MatrixStruct* rotbarCS = nullptr;
    MatrixStruct* selectionCS = nullptr;
    ExtentsStruct* selectionExtents2 = nullptr;
    ExtentsCallback extentsCallback;
    bool isRetired = false;      // deleted; destroyed once the running export returns
    bool inCall = false;         // an export on this control is running
    bool viewportClosed = false; // the active viewport was closed and no other given since
    // Counts the changes of the parts' boxes on screen: the hover index is built again after one.
    uint64_t screenBoxChanges = 0;

  private:
    struct HoverCandidate {
        double priority;
        size_t position; // in the handle list
        GHandle* handle;
        tiller::GHandlePart* part; // the one its hit test asks
    };

    // What the hover index was built for; it is rebuilt when any of it changes.
    struct HoverIndexKey {
        uint64_t generation = 0; // of the pick view; 0: never built
        double radius = 0;
        uint64_t boxChanges = 0;
        size_t handles = 0;
        bool operator==(const HoverIndexKey& o) const {
            return generation == o.generation && radius == o.radius && boxChanges == o.boxChanges &&
                   handles == o.handles;
        }
    };

    tiller::PickViewTracker pickViews;
    std::vector<HoverCandidate> hoverOrder; // kept to spare an allocation per pointer sample
    // The handles by where their tested parts lie on screen; items are list positions.
    tiller::ScreenGrid hoverIndex;
    std::vector<GHandle*> hoverIndexHandles; // by list position
    HoverIndexKey hoverIndexKey;

    void ReleaseGeometry();
    void AddHandleFor(GraphicStruct* group);
    void RefreshHoverIndex(const tiller::PickView& view);
    GHandle* HandleUnderPointer(double x, double y, double z);
    GHandle* Hover(double x, double y, double z, uint32_t* changed);
    GHandle* DragStep(const tiller::DragSample& sample, uint32_t keepSelectionCSStill,
                      uint32_t* changed);
};

#endif
