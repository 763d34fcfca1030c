// Scope ownership of host records: a record the library makes for a while is held here and
// released exactly once when the scope ends, whichever path leaves it.
#ifndef TILLER_GEOMETRY_HELD_H
#define TILLER_GEOMETRY_HELD_H

#include "tiller/host/korvex.h"

namespace tiller {

// Owns one temporary host record and releases it when the scope ends, on every path.
template <typename T, void (*Dispose)(T**)> class HostRecord {
  public:
    explicit HostRecord(T* record = nullptr) : record_(record) {}
    ~HostRecord() { Reset(); }
    HostRecord(const HostRecord&) = delete;
    HostRecord& operator=(const HostRecord&) = delete;

    T* get() const { return record_; }
    T* operator->() const { return record_; }
    explicit operator bool() const { return record_ != nullptr; }
    // For host calls that replace or clear the record through its address.
    T** address() { return &record_; }
    void Reset(T* record = nullptr) {
        if (record_) Dispose(&record_);
        record_ = record;
    }
    // Hands the record over to the caller.
    T* Release() {
        T* record = record_;
        record_ = nullptr;
        return record;
    }

  private:
    T* record_;
};

using HeldMatrix = HostRecord<MatrixStruct, MatrixDispose>;
using HeldVertex = HostRecord<VertexStruct, VertexDispose>;
using HeldViewport = HostRecord<ViewportStruct, ViewportDispose>;
using HeldExtents = HostRecord<ExtentsStruct, ExtentsDispose>;

} // namespace tiller

#endif
