// GControl: construction from a profile, building one handle per group of the profile's model,
// the layer guard shared with setup and hover, and the checks the manager uses to reuse a
// control.
#include "tiller/control/gcontrol.h"

#include "tiller/geometry/geometry.h"
#include "tiller/handle/ghandle.h"
#include "tiller/handle/vocabulary.h"
#include "tiller/profile/diagnostics.h"
#include "tiller/profile/drawing_profile.h"

#include <memory>
#include <new>

namespace tiller {
namespace {

// Every profile graphic lives on this layer.
constexpr int ProfileLayer = 1;

} // namespace

LayerOneGuard::LayerOneGuard(DrawingStruct* drawing) : drawing_(drawing) {
    if (LayerGetVisible(drawing_, ProfileLayer) != 0) return;
    table_ = LayerGetHandle(drawing_);
    if (!table_) return;
    if (TableGetIsNotifyChanges(table_) != 0) {
        TableSetIsNotifyChanges(table_, 0);
        notifyWasOn_ = true;
    }
    LayerSetVisible(drawing_, ProfileLayer, 1, 0);
    madeVisible_ = true;
}

LayerOneGuard::~LayerOneGuard() {
    if (madeVisible_) LayerSetVisible(drawing_, ProfileLayer, 0, 0);
    if (notifyWasOn_) TableSetIsNotifyChanges(table_, 1);
}

} // namespace tiller

GControl::GControl(tiller::DrawingProfile* profile, const std::wstring& name,
                   DrawingStruct* drawing, ExtentsCallback callback)
    : drawing(drawing), profile(profile), name(name), extentsCallback(callback) {
    activeViewport = drawing ? DrawingGetActiveViewport(drawing) : nullptr;
}

GControl::~GControl() {
    for (GHandle*& handle : handles) {
        delete handle;
        handle = nullptr;
    }
    handles.clear();
    handlesByName.clear();
    ReleaseGeometry();
}

void GControl::ReleaseGeometry() {
    MatrixDispose(&controlCS);
    ExtentsDispose(&selectionExtents);
    VertexDispose(&refPoint);
    MatrixDispose(&rotbarCS);
    MatrixDispose(&selectionCS);
    ExtentsDispose(&selectionExtents2);
}

bool GControl::HasUsableProfile() const {
    return profile && profile->IsLoaded() && drawing;
}

tiller::ProfileMemo* GControl::Memo() const {
    if (!profile || !profile->IsLoaded() || tiller::DiagnosticsListening()) return nullptr;
    return &profile->Memo();
}

// A control whose profile model cannot be walked has nothing to offer: Init reports failure
// then, and the manager drops the control at once.
int GControl::Init() {
    if (!handles.empty() || !HasUsableProfile()) return 0;
    GraphicStruct* root = DrawingGetModelRoot(profile->Drawing());
    GraphicList groups;
    if (!GraphicWalkFillChildsList(root, tiller::IsGroupGraphic, &groups, 1, 0)) return 0;
    {
        const tiller::LayerOneGuard guard(drawing);
        for (GraphicStruct* group : groups) {
            if (group) AddHandleFor(group);
        }
    }
    return handles.empty() ? 0 : 1;
}

// Only the first "Bounding_box" of a profile becomes a handle; other repeated names all stay.
void GControl::AddHandleFor(GraphicStruct* group) {
    std::unique_ptr<GHandle> handle(
        new (std::nothrow) GHandle(this, group, drawing, activeViewport, extentsCallback));
    if (!handle || !handle->IsLoaded()) return;
    if (handle->csName == tiller::BoundingBoxName && handlesByName.count(handle->csName)) {
        const tiller::DiagnosticsSubject subject(group, nullptr);
        tiller::ReportDiagnostic(tiller::DiagnosticCode::BoundingBoxRepeated);
        return;
    }
    // Held until the list has it: a list that cannot grow must not lose the handle.
    handles.push_back(handle.get());
    GHandle* listed = handle.release();
    handlesByName[listed->csName] = listed;
}

bool GControl::IsUsable() const {
    if (handles.empty()) return false;
    for (const GHandle* handle : handles)
        if (handle->IsEnabled() && !handle->IsDisplayed()) return false;
    return true;
}

void GControl::SetExtentsCallback(ExtentsCallback callback) {
    if (callback == extentsCallback) return;
    extentsCallback = callback;
    for (GHandle* handle : handles)
        handle->SetExtentsCallback(callback);
}
