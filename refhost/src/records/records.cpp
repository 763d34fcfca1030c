// Record accounting: live counts per record type and fault injection. The host application
// runs the reference host on one thread, so the counters are plain.
#include "records.h"

#include <array>

namespace {

std::array<long, KvRecordTypeCount> liveRecords{};
long creations = 0;
long creationsUntilFailure = 0; // 0: no failure armed
bool failureFired = false;

bool isKnownType(KvRecordType type) {
    return type >= 0 && type < KvRecordTypeCount;
}

} // namespace

namespace korvex {

bool admitRecord(KvRecordType type) {
    if (creationsUntilFailure > 0 && --creationsUntilFailure == 0) {
        failureFired = true;
        return false;
    }
    if (isKnownType(type)) ++liveRecords[type];
    ++creations;
    return true;
}

void releaseRecord(KvRecordType type) {
    if (isKnownType(type)) --liveRecords[type];
}

} // namespace korvex

KORVEX_API long kvLiveCount(KvRecordType type) {
    return isKnownType(type) ? liveRecords[type] : 0;
}

KORVEX_API long kvLiveTotal() {
    long total = 0;
    for (long count : liveRecords)
        total += count;
    return total;
}

KORVEX_API long kvCreationCount() {
    return creations;
}

KORVEX_API void kvFailNthCreation(long n) {
    creationsUntilFailure = n > 0 ? n : 0;
    failureFired = false;
}

KORVEX_API bool kvFailureFired() {
    return failureFired;
}
