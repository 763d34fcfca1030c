// The manager: profiles and controls, the checks of control addresses, and the host
// notifications that delete controls or the manager itself.
// <cmath> comes first: tiller.h declares the library's own round.
#include <cmath>

#include "tiller/api/manager.h"

#include "tiller/control/gcontrol.h"
#include "tiller/profile/drawing_profile.h"
#include "tiller/report/report.h"

#include <algorithm>
#include <cwctype>
#include <memory>
#include <new>
#include <vector>

namespace tiller {
namespace {

GCtrlManager* theManager = nullptr;
NotifyCookie* notifyCookie = nullptr;

constexpr uint32_t ShutdownKind = 8;
constexpr uint32_t DrawingClosedKind = 11;

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    }
    return true;
}

// The drawing a kind-11 notification names in its second slot, or null.
DrawingStruct* ClosedDrawing(const NotifyParam* params) {
    if (!params) return nullptr;
    const NotifyParam& slot = params[1];
    if (slot.isReference != 0 || slot.value.vt != (VT_BYREF | VT_VOID)) return nullptr;
    return static_cast<DrawingStruct*>(slot.value.byref);
}

} // namespace

GCtrlManager* GetManager() {
    if (theManager) return theManager;
    theManager = new (std::nothrow) GCtrlManager;
    if (!theManager) return nullptr;
    notifyCookie = NotifyEngineAdviseDbNotifyEx(1, AppGetCurrentApp(), NotifyCallback, nullptr, 2,
                                                ShutdownKind, DrawingClosedKind);
    return theManager;
}

// The address is cleared before the manager goes, so nothing reached during its destruction
// can find a half-destroyed manager.
void DisposeManager() {
    if (!theManager) return;
    NotifyEngineUnadviseDbNotify(AppGetCurrentApp(), notifyCookie, 0, 2, ShutdownKind,
                                 DrawingClosedKind);
    notifyCookie = nullptr;
    GCtrlManager* manager = theManager;
    theManager = nullptr;
    delete manager;
}

int NotifyCallback(uint32_t kind, void*, uint32_t phase, NotifyParam* params, uint16_t flags) {
    if (phase == 0 || (flags & 1) != 0) return 0;
    if (kind == ShutdownKind) {
        if (phase == 1) DisposeManager();
    } else if (kind == DrawingClosedKind && theManager) {
        if (DrawingStruct* drawing = ClosedDrawing(params))
            theManager->DeleteControlsOfDrawing(drawing);
    }
    return 0;
}

} // namespace tiller

GCtrlManager::~GCtrlManager() {
    for (GControl*& control : controls_) {
        delete control;
        control = nullptr;
    }
    controls_.clear();
    for (tiller::DrawingProfile*& profile : profiles_) {
        delete profile;
        profile = nullptr;
    }
    profiles_.clear();
}

GControl* GCtrlManager::Create(const std::wstring& profileName, const std::wstring& name,
                               DrawingStruct* drawing, ExtentsCallback callback) {
    if (GControl* found = FindControl(profileName, name, drawing)) {
        if (found->IsUsable()) {
            if (found->extentsCallback != callback) found->SetExtentsCallback(callback);
            return found;
        }
        Delete(found);
    }
    tiller::DrawingProfile* profile = FindProfile(profileName);
    if (!profile) {
        auto loaded = std::make_unique<tiller::DrawingProfile>(profileName);
        if (!loaded->IsLoaded()) return nullptr;
        profiles_.push_back(loaded.get());
        profile = loaded.release();
    }
    auto control = std::make_unique<GControl>(profile, name, drawing, callback);
    if (!control->Init()) return nullptr;
    controls_.push_back(control.get());
    return control.release();
}

int GCtrlManager::Delete(GControl* control) {
    if (!IsRegistered(control)) return 0;
    controls_.remove(control);
    Destroy(control);
    return 1;
}

int GCtrlManager::Reload(GControl* control) {
    if (!IsRegistered(control)) return 0;
    tiller::DrawingProfile* profile = control->profile;
    std::vector<GControl*> sharing;
    for (GControl* candidate : controls_)
        if (candidate->profile == profile) sharing.push_back(candidate);
    for (GControl* candidate : sharing)
        Delete(candidate);
    const auto owned = std::find(profiles_.begin(), profiles_.end(), profile);
    if (owned != profiles_.end()) {
        profiles_.erase(owned);
        delete profile;
    }
    return 1;
}

int GCtrlManager::DeleteControlsOfDrawing(DrawingStruct* drawing) {
    if (!drawing) return 0;
    std::vector<GControl*> closing;
    for (GControl* control : controls_)
        if (control->drawing == drawing) closing.push_back(control);
    for (GControl* control : closing)
        Delete(control);
    return 1;
}

tiller::DrawingProfile* GCtrlManager::FindProfile(const std::wstring& name) const {
    for (tiller::DrawingProfile* profile : profiles_)
        if (tiller::EqualsNoCase(profile->FileName(), name)) return profile;
    for (tiller::DrawingProfile* profile : profiles_)
        if (tiller::EqualsNoCase(profile->Path(), name)) return profile;
    return nullptr;
}

// Only the bare file name of a profile finds its controls again: a control made from a full
// path is never reused.
GControl* GCtrlManager::FindControl(const std::wstring& profileName, const std::wstring& name,
                                    DrawingStruct* drawing) const {
    if (!FindProfile(profileName)) return nullptr;
    for (GControl* control : controls_) {
        if (control->drawing == drawing && control->profile &&
            tiller::EqualsNoCase(control->profile->FileName(), profileName) &&
            tiller::EqualsNoCase(control->name, name))
            return control;
    }
    return nullptr;
}

GControl* GCtrlManager::IsRegistered(const GControl* control) const {
    if (!control) return nullptr;
    for (GControl* live : controls_)
        if (live == control) return live;
    return nullptr;
}

int GCtrlManager::Show(GControl* control, uint32_t mode, uint32_t redrawNow) {
    if (!IsRegistered(control)) return 0;
    return control->Show(mode, redrawNow);
}

int GCtrlManager::Setup(GControl* control, const GControlProperties* properties,
                        ViewportStruct* viewport, MatrixStruct* controlCS, ExtentsStruct* extents,
                        VertexStruct* refPoint, MatrixStruct* rotbarCS, MatrixStruct* selectionCS,
                        ExtentsStruct* extents2) {
    if (!IsRegistered(control) || !properties) return 0;
    if (!control->SetProperties(*properties)) return 0;
    if (!control->SetGeometry(controlCS, extents, refPoint, rotbarCS, selectionCS, extents2))
        return 0;
    return control->SetActiveViewport(viewport);
}

GHandle* GCtrlManager::Drag(GControl* control, double x, double y, double z, double vx, double vy,
                            double vz, uint16_t keyState, uint32_t uniformScale,
                            uint32_t scaleFromCenter, uint32_t keepSelectionCSStill,
                            uint32_t* changed) {
    if (!IsRegistered(control)) return nullptr;
    return control->TrackPointer(x, y, z, vx, vy, vz, keyState, uniformScale, scaleFromCenter,
                                 keepSelectionCSStill, changed);
}

int GCtrlManager::SetState(GControl* control, uint32_t state, GHandle* handle, double x, double y,
                           double z, double vx, double vy, double vz, uint16_t keyState) {
    if (!IsRegistered(control)) return 0;
    return control->SetState(state, handle, x, y, z, vx, vy, vz, keyState);
}

int GCtrlManager::SetActiveViewport(GControl* control, ViewportStruct* viewport) {
    if (!IsRegistered(control)) return 0;
    return control->SetActiveViewport(viewport);
}

int GCtrlManager::Transform(GControl* control, MatrixStruct* matrix) {
    if (!IsRegistered(control)) return 0;
    return control->Transform(matrix);
}

HandleProperties* GCtrlManager::GetParams(GControl* control, GHandle* handle) {
    if (!IsRegistered(control)) return nullptr;
    return control->GetHandleParams(handle);
}

GHandleList* GCtrlManager::GetHandles(GControl* control) {
    if (!IsRegistered(control)) return nullptr;
    return &control->handles;
}

int GCtrlManager::GetVisible(GControl* control, GHandle* handle) {
    if (!IsRegistered(control)) return 0;
    return control->GetHandleVisible(handle);
}

int GCtrlManager::SetVisible(GControl* control, GHandle* handle, uint32_t visible) {
    if (!IsRegistered(control)) return 0;
    return control->SetHandleVisible(handle, visible);
}

std::string GCtrlManager::Report(GControl* control) {
    if (!IsRegistered(control)) return {};
    std::string report;
    tiller::GControlReport(control, report, "");
    return report;
}

void GCtrlManager::Destroy(GControl* control) {
    delete control;
}
