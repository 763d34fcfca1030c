// The host's trace facility. Tracing is on when either enable query answers true.
#ifndef TILLER_HOST_TRACERY_H
#define TILLER_HOST_TRACERY_H

#include "oleauto.h"

KORVEX_API bool QVDebugGetEnable();
KORVEX_API bool QVRWDebugGetEnable();
// A free-text trace line from `source` (a bare source name) at `line`.
KORVEX_API void QVDebugTraceEx(const char* source, int line, const char* text);
// A diagnostic line tied to a source position.
KORVEX_API void QVDebugLine(const char* source, int line, const char* text, int level);

#endif
