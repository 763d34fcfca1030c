// The exported functions: each hands its arguments to the manager. Nothing thrown inside
// reaches the host; a call that throws answers its failure value.
#include "tiller/api/manager.h"
#include "tiller/geometry/geometry.h"
#include "tiller/handle/vocabulary.h"

namespace {

// Runs `call` on the manager (made on first use); `failure` when there is none or the call
// throws.
template <class Result, class Call> Result WithManager(Result failure, Call call) noexcept {
    try {
        tiller::ExportScope scope;
        GCtrlManager* manager = tiller::GetManager();
        return manager ? call(*manager) : failure;
    } catch (...) {
        return failure;
    }
}

GControl* CreateControl(GCtrlManager& manager, const char* profile, const char* name,
                        DrawingStruct* drawing, ExtentsCallback callback) {
    if (!profile || !name) return nullptr;
    const std::optional<std::wstring> wideProfile = utf8::Widen(profile);
    const std::optional<std::wstring> wideName = utf8::Widen(name);
    if (!wideProfile || !wideName) return nullptr;
    return manager.Create(*wideProfile, *wideName, drawing, callback);
}

} // namespace

TILLER_EXPORT GCtrlManager* dbGetGCtrlManager() {
    return WithManager<GCtrlManager*>(nullptr, [](GCtrlManager& m) { return &m; });
}

TILLER_EXPORT void dbDisposeGCtrlManager() {
    try {
        tiller::ExportScope scope;
        tiller::DisposeManager();
    } catch (...) {
    }
}

TILLER_EXPORT GControl* dbGCtrlCreate(const char* profile, const char* name, DrawingStruct* drawing,
                                      ExtentsCallback callback) {
    return WithManager<GControl*>(nullptr, [&](GCtrlManager& m) {
        return CreateControl(m, profile, name, drawing, callback);
    });
}

TILLER_EXPORT int dbGCtrlDelete(GControl* control) {
    return WithManager(0, [&](GCtrlManager& m) { return m.Delete(control); });
}

TILLER_EXPORT int dbGCtrlReload(GControl* control) {
    return WithManager(0, [&](GCtrlManager& m) { return m.Reload(control); });
}

TILLER_EXPORT std::string dbGCtrlToString(GControl* control) {
    return WithManager(std::string(), [&](GCtrlManager& m) { return m.Report(control); });
}

TILLER_EXPORT int dbGCtrlShow(GControl* control, uint32_t mode, uint32_t redrawNow) {
    return WithManager(0, [&](GCtrlManager& m) { return m.Show(control, mode, redrawNow); });
}

TILLER_EXPORT int dbGCtrlSetup(GControl* control, const GControlProperties* properties,
                               ViewportStruct* viewport, MatrixStruct* controlCS,
                               ExtentsStruct* selectionExtents, VertexStruct* refPoint,
                               MatrixStruct* rotbarCS, MatrixStruct* selectionCS,
                               ExtentsStruct* selectionExtents2) {
    return WithManager(0, [&](GCtrlManager& m) {
        return m.Setup(control, properties, viewport, controlCS, selectionExtents, refPoint,
                       rotbarCS, selectionCS, selectionExtents2);
    });
}

TILLER_EXPORT GHandle* dbGCtrlDrag(GControl* control, double x, double y, double z, double vx,
                                   double vy, double vz, uint16_t keyState, uint32_t uniformScale,
                                   uint32_t scaleFromCenter, uint32_t keepSelectionCSStill,
                                   uint32_t* changed) {
    uint32_t displayChanged = 0;
    GHandle* found = WithManager<GHandle*>(nullptr, [&](GCtrlManager& m) {
        return m.Drag(control, x, y, z, vx, vy, vz, keyState, uniformScale, scaleFromCenter,
                      keepSelectionCSStill, &displayChanged);
    });
    if (changed) *changed = displayChanged;
    return found;
}

TILLER_EXPORT int dbGCtrlSetState(GControl* control, uint32_t state, GHandle* handle, double x,
                                  double y, double z, double vx, double vy, double vz,
                                  uint16_t keyState) {
    return WithManager(0, [&](GCtrlManager& m) {
        return m.SetState(control, state, handle, x, y, z, vx, vy, vz, keyState);
    });
}

TILLER_EXPORT int dbGCtrlSetActiveViewport(GControl* control, ViewportStruct* viewport) {
    return WithManager(0, [&](GCtrlManager& m) { return m.SetActiveViewport(control, viewport); });
}

TILLER_EXPORT int dbGCtrlTransform(GControl* control, MatrixStruct* matrix) {
    return WithManager(0, [&](GCtrlManager& m) { return m.Transform(control, matrix); });
}

TILLER_EXPORT HandleProperties* dbGHandleGetParams(GControl* control, GHandle* handle) {
    return WithManager<HandleProperties*>(
        nullptr, [&](GCtrlManager& m) { return m.GetParams(control, handle); });
}

TILLER_EXPORT GHandleList* dbGCtrlGetHandles(GControl* control) {
    return WithManager<GHandleList*>(nullptr,
                                     [&](GCtrlManager& m) { return m.GetHandles(control); });
}

TILLER_EXPORT int dbGHandleGetVisible(GControl* control, GHandle* handle) {
    return WithManager(0, [&](GCtrlManager& m) { return m.GetVisible(control, handle); });
}

TILLER_EXPORT int dbGHandleSetVisible(GControl* control, GHandle* handle, uint32_t visible) {
    return WithManager(0, [&](GCtrlManager& m) { return m.SetVisible(control, handle, visible); });
}

TILLER_EXPORT void InitApi() {}

TILLER_EXPORT void TerminateApi() {}

// Defined under the header's name; the header's .symver publishes it as round@TILLER_1 and the
// version script keeps the name TillerRound itself private.
TILLER_EXPORT double TillerRound(double x) {
    return tiller::RoundTo8(x);
}
