#include "tiller/profile/drawing_profile.h"

#include "tiller/handle/vocabulary.h"
#include "tiller/host/arbor.h"
#include "tiller/host/utf8.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <optional>

namespace tiller {
namespace {

constexpr int ProfileLayer = 1;
// Notification sent to the application when a profile drawing is about to close.
constexpr uint32_t ProfileClosingKind = 59;
constexpr int ProfileClosingLine = 101;

constexpr const wchar_t* KnownProfileNames[] = {L"UniversalCtrl.qvw", L"UniversalCtrlSimple.qvw"};

bool IsKnownProfileName(const std::wstring& name) {
    for (const wchar_t* known : KnownProfileNames)
        if (name == known) return true;
    return false;
}

// The full path of the loaded host library, symbolic links resolved. The loader may have
// recorded a path relative to the working directory of that moment, so this is asked only
// while the library is being loaded.
std::string HostLibraryPath() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&AppGetCurrentApp), &info) || !info.dli_fname) return {};
    char resolved[PATH_MAX];
    if (!realpath(info.dli_fname, resolved)) return info.dli_fname;
    return resolved;
}

std::wstring ProfileFolderAtLoad() noexcept {
    try {
        return HostFolder() + L"/GCtrlProfiles/";
    } catch (...) {
        return {};
    }
}

// Fixed while the library loads, before the host can change its working directory.
const std::wstring profileFolder = ProfileFolderAtLoad();

void CutLastComponent(std::wstring& path) {
    const size_t slash = path.rfind(L'/');
    if (slash != std::wstring::npos) path.erase(slash);
}

int MoveToProfileLayer(GraphicStruct* graphic, int32_t* moved) {
    if (GraphicGetLayer(graphic) != ProfileLayer) {
        GraphicSetLayer(graphic, ProfileLayer);
        if (moved) ++*moved;
    }
    return 1;
}

// One notification record of the application, open from construction to Close.
class NotifyRecord {
  public:
    explicit NotifyRecord(AppStruct* app) : app_(app), appParam_(NotifyReferenceParam(app)) {
        NotifyParam opening{};
        VariantInit(&opening.value);
        opening.value.vt = VT_UI4;
        opening.value.ulVal = 0;
        NotifyEngineOpenNotifyRecord(app_, &opening);
        VariantClear(&opening.value);
    }
    ~NotifyRecord() { VariantClear(&appParam_.value); }
    NotifyRecord(const NotifyRecord&) = delete;
    NotifyRecord& operator=(const NotifyRecord&) = delete;

    const NotifyParam& AppParam() const { return appParam_; }

    void FreezeNotifications() {
        NotifyEngineFreezeDbNotify(app_, 1, 0);
        froze_ = true;
    }

    void Close() {
        if (locked_) NotifyEngineLockNotifyRecord(app_, 0);
        NotifyEngineCloseNotifyRecord(app_, closeValue_);
        if (froze_) NotifyEngineFreezeDbNotify(app_, 0, 0);
        froze_ = false;
    }

  private:
    AppStruct* app_;
    NotifyParam appParam_;
    int closeValue_ = 0;
    bool locked_ = false;
    bool froze_ = false;
};

} // namespace

std::wstring HostFolder() {
    std::wstring folder = utf8::Widen(HostLibraryPath()).value_or(std::wstring());
    CutLastComponent(folder);
    CutLastComponent(folder);
    return folder;
}

const std::wstring& ProfileFolder() {
    return profileFolder;
}

bool IsKnownProfileNameIgnoringCase(const std::wstring& name) {
    for (const wchar_t* known : KnownProfileNames)
        if (utf8::EqualsFolded(name, known)) return true;
    return false;
}

std::optional<std::wstring> CanonicalPath(const std::wstring& path) {
    const std::optional<std::string> narrow = utf8::Narrow(path);
    if (!narrow) return std::nullopt;
    char resolved[PATH_MAX];
    if (!realpath(narrow->c_str(), resolved)) return std::nullopt;
    return utf8::Widen(resolved);
}

std::wstring PathFileName(const std::wstring& path) {
    const size_t slash = path.rfind(L'/');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

DrawingProfile::DrawingProfile(const std::wstring& name) {
    const std::wstring& folder = ProfileFolder();
    path_ = IsKnownProfileName(name) ? folder + name : name;
    Load();
}

DrawingProfile::~DrawingProfile() {
    Close();
}

// The names are made before the drawing is read: once it is, nothing may fail before the
// profile holds it.
void DrawingProfile::Load() {
    std::wstring fileName = PathFileName(path_);
    std::wstring canonicalPath = tiller::CanonicalPath(path_).value_or(std::wstring());
    drawing_ = qvCustomRead(AppGetCurrentApp(), 0, path_.c_str(), 0, 0, 0, 1);
    if (!drawing_) return;
    fileName_.swap(fileName);
    canonicalPath_.swap(canonicalPath);
    GraphicWalk(DrawingGetModelRoot(drawing_), MoveToProfileLayer, 1, 1, 0);
}

// Runs from the destructor, so nothing may escape: when the host fails while the closing is
// announced, the drawing is still released.
void DrawingProfile::Close() noexcept {
    if (!drawing_) return;
    try {
        ReleaseViewportsAndAnnounce();
    } catch (...) {
    }
    std::optional<NotifyRecord> closing;
    try {
        closing.emplace(AppGetCurrentApp());
        closing->FreezeNotifications();
        if (EngineEnable(1, 0, 0) == 0) drawing_->engineLink = nullptr;
    } catch (...) {
    }
    try {
        DrawingDispose(&drawing_);
    } catch (...) {
    }
    drawing_ = nullptr;
    try {
        if (closing) closing->Close();
    } catch (...) {
    }
}

void DrawingProfile::ReleaseViewportsAndAnnounce() {
    // A viewport the drawing refuses to give up stays its own; asking again would never end.
    while (ViewportStruct* viewport = DrawingViewportFirst(drawing_)) {
        if (!DrawingViewportDelete(drawing_, viewport)) break;
        ViewportDispose(&viewport);
    }
    NotifyRecord announcement(AppGetCurrentApp());
    NotifyParam params[2] = {announcement.AppParam(), NotifyReferenceParam(drawing_)};
    NotifyEngineNotify(nullptr, "DrawingProfile", ProfileClosingLine, ProfileClosingKind, 1, 2,
                       params);
    announcement.Close();
    VariantClear(&params[1].value);
}

} // namespace tiller
