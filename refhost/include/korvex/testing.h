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
// Successful record creations since the process started (every type); a creation made to fail
// counts nothing.
KORVEX_API long kvCreationCount();
// Makes the n-th record creation from now fail (1: the next one); 0 switches it off. The
// failing creation answers null; every later creation succeeds again.
KORVEX_API void kvFailNthCreation(long n);
// Whether the armed failure has fired.
KORVEX_API bool kvFailureFired();

// Safe arrays for host code that hands arrays to callers: a new one-dimensional array of
// `count` elements of VT_BSTR (all null) or VT_VARIANT (all VT_EMPTY); null for another type
// or when the record cannot be made. SafeArrayDestroy releases it.
KORVEX_API SAFEARRAY* kvSafeArrayCreate(VARTYPE vt, uint32_t count);
// Stores a copy of `value` at `index`, releasing what was there: `value` is the text
// (const wchar_t*) for a VT_BSTR array and a VARIANT* for a VT_VARIANT array. The array owns
// the copy. On failure the element is left empty (null or VT_EMPTY).
KORVEX_API HRESULT kvSafeArrayPutElement(SAFEARRAY* array, uint32_t index, const void* value);

// Tracing: switched on by the host; lines are kept for tests as "source(line): text".
KORVEX_API void kvSetTracing(bool on);
KORVEX_API std::vector<std::string> kvTraceLines();
KORVEX_API void kvClearTrace();

// Host settings.
KORVEX_API void kvSetScreenWidth(int pixels);

#endif
