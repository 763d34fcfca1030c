// A profile drawing: located in the profile folder or by path, opened through the host once,
// every graphic moved to layer 1, and closed with the notifications the host expects.
#ifndef TILLER_PROFILE_DRAWING_PROFILE_H
#define TILLER_PROFILE_DRAWING_PROFILE_H

#include "tiller/host/korvex.h"
#include "tiller/profile/profile_memo.h"

#include <optional>
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
    // The loaded file's path with every link and relative step resolved.
    const std::wstring& CanonicalPath() const { return canonicalPath_; }
    DrawingStruct* Drawing() const { return drawing_; }
    // What the controls of this profile share; the profile drawing is never changed after load.
    ProfileMemo& Memo() { return memo_; }

  private:
    void Load();
    void Close() noexcept;
    void ReleaseViewportsAndAnnounce();

    std::wstring path_;
    std::wstring fileName_;
    std::wstring canonicalPath_;
    DrawingStruct* drawing_ = nullptr;
    ProfileMemo memo_;
};

// The folder above the folder that holds the loaded host library ('/' separators).
std::wstring HostFolder();
// HostFolder() + "/GCtrlProfiles/", fixed when the library is loaded.
const std::wstring& ProfileFolder();
// Whether `name` is one of the two known profile names, ignoring ASCII and Latin-1 case.
bool IsKnownProfileNameIgnoringCase(const std::wstring& name);
// The absolute path of an existing file with links resolved (realpath); none when it does
// not resolve.
std::optional<std::wstring> CanonicalPath(const std::wstring& path);
// The last path component.
std::wstring PathFileName(const std::wstring& path);

} // namespace tiller

#endif
