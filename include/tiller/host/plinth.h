// The host's resource loader and the platform services the library asks of the host.
#ifndef TILLER_HOST_PLINTH_H
#define TILLER_HOST_PLINTH_H

#include "oleauto.h"

// Loads the resource-extension library of `module`; null when there is none.
KORVEX_API void* qvLoadResExtDLL(void* module, bool reserved);
// Releases a library loaded by qvLoadResExtDLL.
KORVEX_API void qvFreeResExtDLL(void* library);
// Screen metrics; index 0 is the width of the primary screen in pixels (a host setting).
KORVEX_API int GetSystemMetrics(int index);

#endif
