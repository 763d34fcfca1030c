// The one manager of the process: it owns every profile and every control, reuses controls on
// repeated creates, checks the control and handle addresses the host passes in, and follows the
// host's notifications. The host may call any export from inside a callback of the library, so
// nothing is destroyed while an export runs: a control, profile or manager that goes is retired
// at once (no export finds it any more) and destroyed when the outermost export returns.
#ifndef TILLER_API_MANAGER_H
#define TILLER_API_MANAGER_H

#include "tiller/host/korvex.h"
#include "tiller/tiller.h"

#include <list>
#include <string>

namespace tiller {
class DrawingProfile;
}

class GCtrlManager {
  public:
    GCtrlManager() = default;
    // Deletes every control, then every profile.
    ~GCtrlManager();
    GCtrlManager(const GCtrlManager&) = delete;
    GCtrlManager& operator=(const GCtrlManager&) = delete;

    GControl* Create(const std::wstring& profile, const std::wstring& name, DrawingStruct* drawing,
                     ExtentsCallback callback);
    int Delete(GControl* control);
    int Reload(GControl* control);
    int DeleteControlsOfDrawing(DrawingStruct* drawing);
    // Every control using the viewport lets it go; the host is closing it.
    void DropViewport(ViewportStruct* viewport);
    // Retires every control and profile, as the manager itself goes.
    void RetireAll();
    // Destroys what was retired; false when there was nothing.
    bool DestroyRetired();
    tiller::DrawingProfile* FindProfile(const std::wstring& name) const;
    GControl* FindControl(const std::wstring& profile, const std::wstring& name,
                          DrawingStruct* drawing) const;
    // The same address when it is a live control of this manager, else null.
    GControl* IsRegistered(const GControl* control) const;

    int Show(GControl* control, uint32_t mode, uint32_t redrawNow);
    int Setup(GControl* control, const GControlProperties* properties, ViewportStruct* viewport,
              MatrixStruct* controlCS, ExtentsStruct* extents, VertexStruct* refPoint,
              MatrixStruct* rotbarCS, MatrixStruct* selectionCS, ExtentsStruct* extents2);
    GHandle* Drag(GControl* control, double x, double y, double z, double vx, double vy, double vz,
                  uint16_t keyState, uint32_t uniformScale, uint32_t scaleFromCenter,
                  uint32_t keepSelectionCSStill, uint32_t* changed);
    int SetState(GControl* control, uint32_t state, GHandle* handle, double x, double y, double z,
                 double vx, double vy, double vz, uint16_t keyState);
    int SetActiveViewport(GControl* control, ViewportStruct* viewport);
    int Transform(GControl* control, MatrixStruct* matrix);
    HandleProperties* GetParams(GControl* control, GHandle* handle);
    GHandleList* GetHandles(GControl* control);
    int GetVisible(GControl* control, GHandle* handle);
    int SetVisible(GControl* control, GHandle* handle, uint32_t visible);
    std::string Report(GControl* control);

    // The manager retired before this one and not yet destroyed.
    GCtrlManager* nextRetired = nullptr;

  private:
    void Retire(GControl* control);
    void RetireProfile(tiller::DrawingProfile* profile);
    template <class Result, class Call>
    Result OnControl(GControl* control, Result failure, Call call);

    std::list<tiller::DrawingProfile*> profiles_;
    std::list<GControl*> controls_;
    std::list<tiller::DrawingProfile*> retiredProfiles_;
    std::list<GControl*> retiredControls_;
};

namespace tiller {

// Marks the run of one export or host notification; when the outermost ends, whatever was
// retired meanwhile is destroyed.
class ExportScope {
  public:
    ExportScope() noexcept;
    ~ExportScope();
    ExportScope(const ExportScope&) = delete;
    ExportScope& operator=(const ExportScope&) = delete;
};

// The process's manager, created and registered on first use (null when it cannot be made).
GCtrlManager* GetManager();
// Unregisters and retires the manager, if any; an ExportScope destroys it.
void DisposeManager();
// The host notification callback (kinds 8, 11 and 12).
int NotifyCallback(uint32_t kind, void* source, uint32_t phase, NotifyParam* params,
                   uint16_t flags) noexcept;

} // namespace tiller

#endif
