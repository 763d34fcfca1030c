// Allocation failure on demand for one test program: include it in exactly one of its source
// files. FailNthAllocation(n) makes the n-th allocation from now throw std::bad_alloc (1: the
// next one; 0 switches it off); every later allocation succeeds again.
#ifndef TILLER_TESTS_FAILING_ALLOCATIONS_H
#define TILLER_TESTS_FAILING_ALLOCATIONS_H

#include "korvex/failing_new.h"

namespace {
long allocationsLeft = 0;
bool allocationFailed = false;
} // namespace

bool KvAllocationShouldFail() noexcept {
    if (allocationsLeft <= 0 || --allocationsLeft != 0) return false;
    allocationFailed = true;
    return true;
}

inline void FailNthAllocation(long n) {
    allocationsLeft = n;
    allocationFailed = false;
}

// Whether the armed failure has fired since it was armed.
inline bool AllocationFailed() {
    return allocationFailed;
}

#endif
