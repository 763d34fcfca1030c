// The host's application library: the drawing reader and the engine switch.
#ifndef TILLER_HOST_ARBOR_H
#define TILLER_HOST_ARBOR_H

#include "korvex.h"

// Opens the drawing file at `path`; null when it cannot be read.
KORVEX_API DrawingStruct* qvCustomRead(AppStruct* app, int a, const wchar_t* path, int b, int c,
                                       int d, int e);
// Answers whether the drawing engine is enabled.
KORVEX_API int EngineEnable(int a, int b, int c);

#endif
