// What every control of a profile reads alike from the profile's groups, read once and kept
// with the profile: each handle group's properties, each part group's type and display values,
// and each part's working geometry. Controls copy the working geometry; the host's picking
// caches and display snapshots of it are then made once for all of them.
#ifndef TILLER_PROFILE_PROFILE_MEMO_H
#define TILLER_PROFILE_PROFILE_MEMO_H

#include "tiller/handle/vocabulary.h"
#include "tiller/host/korvex.h"
#include "tiller/tiller.h"

#include <map>
#include <utility>

namespace tiller {

struct HandleReading {
    bool loaded = false; // the properties make a handle
    HandleProperties properties;
};

struct PartReading {
    uint32_t type = PartUndefined; // not a part
    PartProperties values;
};

class ProfileMemo {
  public:
    ProfileMemo() = default;
    ~ProfileMemo() {
        for (auto& entry : geometry_)
            GraphicDispose(&entry.second);
    }
    ProfileMemo(const ProfileMemo&) = delete;
    ProfileMemo& operator=(const ProfileMemo&) = delete;

    // The group's reading, made by `read` the first time it is asked for.
    template <class Read> const HandleReading& Handle(const GraphicStruct* group, Read read) {
        auto found = handles_.find(group);
        if (found == handles_.end()) found = handles_.emplace(group, read()).first;
        return found->second;
    }
    template <class Read> const PartReading& Part(const GraphicStruct* part, Read read) {
        auto found = parts_.find(part);
        if (found == parts_.end()) found = parts_.emplace(part, read()).first;
        return found->second;
    }
    // The working geometry of a part graphic in its handle group, made by `make` (which hands
    // over a record of its own, or null) the first time; a failure is tried again next time.
    template <class Make>
    GraphicStruct* Geometry(const GraphicStruct* graphic, const GraphicStruct* group, Make make) {
        GraphicStruct*& kept = geometry_[std::make_pair(graphic, group)];
        if (!kept) kept = make();
        return kept;
    }

  private:
    std::map<const GraphicStruct*, HandleReading> handles_;
    std::map<const GraphicStruct*, PartReading> parts_;
    std::map<std::pair<const GraphicStruct*, const GraphicStruct*>, GraphicStruct*> geometry_;
};

} // namespace tiller

#endif
