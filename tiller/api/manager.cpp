// The manager: profiles and controls, the checks of control addresses, and the host
// notifications that delete controls or the manager itself.
#include "tiller/api/manager.h"

#include "tiller/control/gcontrol.h"
#include "tiller/geometry/geometry.h"
#include "tiller/handle/ghandle.h"
#include "tiller/host/utf8.h"
#include "tiller/part/ghandlepart.h"
#include "tiller/profile/drawing_profile.h"
#include "tiller/report/report.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

namespace tiller {
namespace {

GCtrlManager* theManager = nullptr;
NotifyCookie* notifyCookie = nullptr;
// Exports and notifications running now, nested ones included.
int exportDepth = 0;
// Managers disposed while an export ran, chained through nextRetired.
GCtrlManager* retiredManagers = nullptr;

constexpr uint32_t ShutdownKind = 8;
constexpr uint32_t DrawingClosedKind = 11;
constexpr uint32_t ViewportClosedKind = 12;

// A profile's file name against a profile name: the known names ignoring case, any other
// exactly, as the file system compares them.
bool FileNameMatches(const std::wstring& fileName, const std::wstring& name) {
    return IsKnownProfileNameIgnoringCase(name) ? utf8::EqualsFolded(fileName, name)
                                                : fileName == name;
}

// The record a kind-11 or kind-12 notification names in its second slot, or null.
void* NamedRecord(const NotifyParam* params) {
    if (!params) return nullptr;
    const NotifyParam& slot = params[1];
    if (slot.isReference != 0 || slot.value.vt != (VT_BYREF | VT_VOID)) return nullptr;
    return slot.value.byref;
}

// Destroys everything retired, including what the destructors retire in turn (a profile's
// closing announcement may reach a host that calls back in).
void DestroyRetired() {
    ++exportDepth;
    for (bool destroyed = true; destroyed;) {
        destroyed = theManager && theManager->DestroyRetired();
        while (GCtrlManager* manager = retiredManagers) {
            retiredManagers = manager->nextRetired;
            delete manager;
            destroyed = true;
        }
    }
    --exportDepth;
}

} // namespace

ExportScope::ExportScope() noexcept {
    ++exportDepth;
}

ExportScope::~ExportScope() {
    if (--exportDepth == 0) DestroyRetired();
}

GCtrlManager* GetManager() {
    if (theManager) return theManager;
    theManager = new (std::nothrow) GCtrlManager;
    if (!theManager) return nullptr;
    notifyCookie =
        NotifyEngineAdviseDbNotifyEx(1, AppGetCurrentApp(), NotifyCallback, nullptr, 3,
                                     ShutdownKind, DrawingClosedKind, ViewportClosedKind);
    return theManager;
}

// The address is cleared first, so nothing reached while the manager goes finds it.
void DisposeManager() {
    if (!theManager) return;
    GCtrlManager* manager = theManager;
    theManager = nullptr;
    manager->RetireAll();
    manager->nextRetired = retiredManagers;
    retiredManagers = manager;
    NotifyCookie* cookie = notifyCookie;
    notifyCookie = nullptr;
    NotifyEngineUnadviseDbNotify(AppGetCurrentApp(), cookie, 0, 3, ShutdownKind, DrawingClosedKind,
                                 ViewportClosedKind);
}

// Called from the host's dispatcher: nothing thrown here may reach it.
int NotifyCallback(uint32_t kind, void*, uint32_t phase, NotifyParam* params,
                   uint16_t flags) noexcept {
    if (phase == 0 || (flags & 1) != 0) return 0;
    try {
        ExportScope scope;
        if (kind == ShutdownKind) {
            if (phase == 1) DisposeManager();
        } else if (kind == DrawingClosedKind && theManager) {
            if (void* drawing = NamedRecord(params))
                theManager->DeleteControlsOfDrawing(static_cast<DrawingStruct*>(drawing));
        } else if (kind == ViewportClosedKind && theManager) {
            if (void* viewport = NamedRecord(params))
                theManager->DropViewport(static_cast<ViewportStruct*>(viewport));
        }
    } catch (...) {
    }
    return 0;
}

} // namespace tiller

GCtrlManager::~GCtrlManager() {
    RetireAll();
    DestroyRetired();
}

void GCtrlManager::Retire(GControl* control) {
    const auto found = std::find(controls_.begin(), controls_.end(), control);
    if (found == controls_.end()) return;
    control->isRetired = true;
    retiredControls_.splice(retiredControls_.end(), controls_, found);
}

void GCtrlManager::RetireProfile(tiller::DrawingProfile* profile) {
    const auto found = std::find(profiles_.begin(), profiles_.end(), profile);
    if (found != profiles_.end()) retiredProfiles_.splice(retiredProfiles_.end(), profiles_, found);
}

void GCtrlManager::RetireAll() {
    for (GControl* control : controls_)
        control->isRetired = true;
    retiredControls_.splice(retiredControls_.end(), controls_);
    retiredProfiles_.splice(retiredProfiles_.end(), profiles_);
}

// Controls go before profiles: a control reads its profile's drawing until it is destroyed.
bool GCtrlManager::DestroyRetired() {
    bool destroyed = false;
    while (!retiredControls_.empty() || !retiredProfiles_.empty()) {
        destroyed = true;
        if (!retiredControls_.empty()) {
            GControl* control = retiredControls_.front();
            retiredControls_.pop_front();
            delete control;
            continue;
        }
        tiller::DrawingProfile* profile = retiredProfiles_.front();
        retiredProfiles_.pop_front();
        delete profile;
    }
    return destroyed;
}

// A control that is already inside a call (a callback of the library called back in) takes no
// other; a call during which the control was deleted answers the failure value.
template <class Result, class Call>
Result GCtrlManager::OnControl(GControl* control, Result failure, Call call) {
    if (!IsRegistered(control) || control->inCall) return failure;
    struct CallMark {
        GControl* control;
        explicit CallMark(GControl* c) : control(c) { control->inCall = true; }
        ~CallMark() { control->inCall = false; }
    } mark(control);
    const Result result = call(*control);
    return control->isRetired ? failure : result;
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
    Retire(control);
    return 1;
}

int GCtrlManager::Reload(GControl* control) {
    if (!IsRegistered(control)) return 0;
    tiller::DrawingProfile* profile = control->profile;
    std::vector<GControl*> sharing;
    for (GControl* candidate : controls_)
        if (candidate->profile == profile) sharing.push_back(candidate);
    for (GControl* candidate : sharing)
        Retire(candidate);
    RetireProfile(profile);
    return 1;
}

int GCtrlManager::DeleteControlsOfDrawing(DrawingStruct* drawing) {
    if (!drawing) return 0;
    std::vector<GControl*> closing;
    for (GControl* control : controls_)
        if (control->drawing == drawing) closing.push_back(control);
    for (GControl* control : closing)
        Retire(control);
    return 1;
}

void GCtrlManager::DropViewport(ViewportStruct* viewport) {
    for (GControl* control : controls_)
        control->DropViewport(viewport);
}

// A bare name finds the profile of that file name; failing that, the name is a path and finds
// the profile loaded from the very same file.
tiller::DrawingProfile* GCtrlManager::FindProfile(const std::wstring& name) const {
    for (tiller::DrawingProfile* profile : profiles_)
        if (tiller::FileNameMatches(profile->FileName(), name)) return profile;
    const std::optional<std::wstring> canonical = tiller::CanonicalPath(name);
    if (!canonical) return nullptr;
    for (tiller::DrawingProfile* profile : profiles_)
        if (profile->CanonicalPath() == *canonical) return profile;
    return nullptr;
}

// Only the bare file name of a profile finds its controls again: a control made from a full
// path is never reused.
GControl* GCtrlManager::FindControl(const std::wstring& profileName, const std::wstring& name,
                                    DrawingStruct* drawing) const {
    if (!FindProfile(profileName)) return nullptr;
    for (GControl* control : controls_) {
        if (control->drawing == drawing && control->profile &&
            tiller::FileNameMatches(control->profile->FileName(), profileName) &&
            utf8::EqualsFolded(control->name, name))
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
    return OnControl(control, 0, [&](GControl& c) { return c.Show(mode, redrawNow); });
}

int GCtrlManager::Setup(GControl* control, const GControlProperties* properties,
                        ViewportStruct* viewport, MatrixStruct* controlCS, ExtentsStruct* extents,
                        VertexStruct* refPoint, MatrixStruct* rotbarCS, MatrixStruct* selectionCS,
                        ExtentsStruct* extents2) {
    using tiller::IsFinite;
    if (!properties || !std::isfinite(properties->Light_Affect_Diffuse) ||
        !std::isfinite(properties->Light_Affect_Specular) || !IsFinite(controlCS) ||
        !IsFinite(extents) || !IsFinite(refPoint) || !IsFinite(rotbarCS) ||
        !IsFinite(selectionCS) || !IsFinite(extents2))
        return 0;
    return OnControl(control, 0, [&](GControl& c) {
        if (!c.Setup(*properties, controlCS, extents, refPoint, rotbarCS, selectionCS, extents2))
            return 0;
        return c.SetActiveViewport(viewport);
    });
}

GHandle* GCtrlManager::Drag(GControl* control, double x, double y, double z, double vx, double vy,
                            double vz, uint16_t keyState, uint32_t uniformScale,
                            uint32_t scaleFromCenter, uint32_t keepSelectionCSStill,
                            uint32_t* changed) {
    uint32_t displayChanged = 0;
    GHandle* found = nullptr;
    if (tiller::AllFinite({x, y, z, vx, vy, vz}))
        found = OnControl<GHandle*>(control, nullptr, [&](GControl& c) {
            return c.TrackPointer(x, y, z, vx, vy, vz, keyState, uniformScale, scaleFromCenter,
                                  keepSelectionCSStill, &displayChanged);
        });
    if (changed) *changed = IsRegistered(control) ? displayChanged : 0;
    return found;
}

int GCtrlManager::SetState(GControl* control, uint32_t state, GHandle* handle, double x, double y,
                           double z, double vx, double vy, double vz, uint16_t keyState) {
    if (state == 1 && !tiller::AllFinite({x, y, z, vx, vy, vz})) return 0;
    return OnControl(control, 0, [&](GControl& c) {
        if (state == 1 && !c.OwnsHandle(handle)) return 0;
        return c.SetState(state, handle, x, y, z, vx, vy, vz, keyState);
    });
}

int GCtrlManager::SetActiveViewport(GControl* control, ViewportStruct* viewport) {
    return OnControl(control, 0, [&](GControl& c) { return c.SetActiveViewport(viewport); });
}

int GCtrlManager::Transform(GControl* control, MatrixStruct* matrix) {
    if (!tiller::IsFinite(matrix)) return 0;
    return OnControl(control, 0, [&](GControl& c) { return c.Transform(matrix); });
}

HandleProperties* GCtrlManager::GetParams(GControl* control, GHandle* handle) {
    GControl* live = IsRegistered(control);
    if (!live || !live->OwnsHandle(handle)) return nullptr;
    return handle;
}

GHandleList* GCtrlManager::GetHandles(GControl* control) {
    if (!IsRegistered(control)) return nullptr;
    return &control->handles;
}

int GCtrlManager::GetVisible(GControl* control, GHandle* handle) {
    GControl* live = IsRegistered(control);
    return live && live->OwnsHandle(handle) ? live->GetHandleVisible(handle) : 0;
}

int GCtrlManager::SetVisible(GControl* control, GHandle* handle, uint32_t visible) {
    return OnControl(control, 0, [&](GControl& c) {
        return c.OwnsHandle(handle) ? c.SetHandleVisible(handle, visible) : 0;
    });
}

std::string GCtrlManager::Report(GControl* control) {
    if (!IsRegistered(control)) return {};
    // Parts that followed a drag catch up before their extents and centres are written.
    for (GHandle* handle : control->handles)
        for (tiller::GHandlePart* part : handle->parts)
            if (part && !part->PartSettle()) return {};
    std::string report;
    tiller::GControlReport(control, report, "");
    return report;
}
