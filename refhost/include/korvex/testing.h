// Host-application API of the reference host: record accounting, fault injection, tracing and
// host settings. Tools, tests and demos call these; the Tiller library never does.
#ifndef KORVEX_TESTING_H
#define KORVEX_TESTING_H

#include "tiller/host/korvex.h"
#include "tiller/host/oleauto.h"

#include <cstdint>

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

// Tracing: switched on by the host (kvSetTracing answers QVDebugGetEnable,
// kvSetReadWriteTracing QVRWDebugGetEnable; both start off). Every line written, whatever
// the switches, is kept for tests as "source(line): text" without the text's trailing line
// end, and echoed to stderr when the environment variable KORVEX_TRACE is 1.
KORVEX_API void kvSetTracing(bool on);
KORVEX_API void kvSetReadWriteTracing(bool on);
KORVEX_API std::vector<std::string> kvTraceLines();
KORVEX_API void kvClearTrace();

// Host settings: the screen width answered by GetSystemMetrics(0), 1920 until set.
KORVEX_API void kvSetScreenWidth(int pixels);

// Notifications the host application raises, sent through the same engine as
// NotifyEngineNotify (held back while frozen). Each answers how many registrations heard it
// now (0 when held back). The source handed to the callbacks is the application record.
// Closing a drawing: kind 11, phase 1, flags 0; slot 0 points at the application, slot 1 at
// the drawing, both VT_BYREF | VT_VOID with reference flag 0.
KORVEX_API int kvAppCloseDrawingNotify(DrawingStruct* drawing);
// Shutting down: kind 8, phase 1, flags 0; slot 0 points at the application.
KORVEX_API int kvAppShutdownNotify();
// Any notification with the given slots; the caller keeps ownership of what they hold.
KORVEX_API int kvAppRaise(uint32_t kind, uint32_t phase, uint16_t flags,
                          const std::vector<NotifyParam>& slots);

// Notification engine state: the freeze depth and the open notification records.
KORVEX_API int kvNotifyFrozenDepth();
KORVEX_API int kvOpenNotifyRecords();

// Every notification sent since the process started (or the last clear), in order, whether
// delivered or held back. The application's own notifications log source "application",
// line 0.
struct KvSentNotification {
    uint32_t kind;
    std::string source;
    int line;
    uint32_t phase;
    int count; // parameter slots
};
KORVEX_API std::vector<KvSentNotification> kvSentNotifications();
KORVEX_API void kvClearSentNotifications();

#endif
