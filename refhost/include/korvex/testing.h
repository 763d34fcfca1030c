// Host-application API of the reference host: record accounting, fault injection, tracing and
// host settings. Tools, tests and demos call these; the Tiller library never does.
#ifndef KORVEX_TESTING_H
#define KORVEX_TESTING_H

#include "tiller/host/oleauto.h"

#include <string>
#include <vector>

enum KvRecordType {
    KvMatrix,
    KvVertex,
    KvExtents,
    KvGraphic,
    KvDrawing,
    KvViewport,
    KvElement,
    KvBstr,
    KvSafeArray,
    KvNotifyCookie,
    KvRecordTypeCount
};

// Live records of one type, and of all types.
KORVEX_API long kvLiveCount(KvRecordType type);
KORVEX_API long kvLiveTotal();
// Record creations since the process started (every type).
KORVEX_API long kvCreationCount();
// Makes the n-th record creation from now fail (1: the next one); 0 switches it off.
KORVEX_API void kvFailNthCreation(long n);
// Whether the armed failure has fired.
KORVEX_API bool kvFailureFired();

// Tracing: switched on by the host; lines are kept for tests as "source(line): text".
KORVEX_API void kvSetTracing(bool on);
KORVEX_API std::vector<std::string> kvTraceLines();
KORVEX_API void kvClearTrace();

// Host settings.
KORVEX_API void kvSetScreenWidth(int pixels);

#endif
