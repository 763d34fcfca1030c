// A profile drawing: located in the profile folder or by path, opened through the host once,
// every graphic moved to layer 1, and closed with the notifications the host expects.
#ifndef TILLER_PROFILE_DRAWING_PROFILE_H
#define TILLER_PROFILE_DRAWING_PROFILE_H

#include "tiller/host/korvex.h"

#include <string>

namespace tiller {

class DrawingProfile {
  public:
    // Builds the profile and tries to load it; check IsLoaded.
    explicit DrawingProfile(const std::wstring& name);
    ~DrawingProfile();
    DrawingProfile(const DrawingProfile&) = delete;
    DrawingProfile& operator=(const DrawingProfile&) = delete;

    bool IsLoaded() const { return drawing_ != nullptr; }
    const std::wstring& Path() const { return path_; }
    const std::wstring& FileName() const { return fileName_; }
    DrawingStruct* Drawing() const { return drawing_; }

  private:
    void Load();
    void Close() noexcept;
    void ReleaseViewportsAndAnnounce();

    std::wstring path_;
    std::wstring fileName_;
    DrawingStruct* drawing_ = nullptr;
};

// The folder above the folder that holds the loaded host library ('/' separators).
std::wstring HostFolder();
// HostFolder() + "/GCtrlProfiles/", computed once per process.
const std::wstring& ProfileFolder();
// The last path component.
std::wstring PathFileName(const std::wstring& path);

} // namespace tiller

#endif
