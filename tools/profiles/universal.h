// The two shipped profiles, built as drawings.
#ifndef TILLER_TOOLS_PROFILES_UNIVERSAL_H
#define TILLER_TOOLS_PROFILES_UNIVERSAL_H

#include "tiller/host/korvex.h"

namespace profiles {

// UniversalCtrl.qvw: a handle for every drag routine, the bounding box with its facets and
// grips, the reference point and the selection's coordinate system.
DrawingStruct* buildUniversalProfile();
// UniversalCtrlSimple.qvw: three move arrows, three rotation rings and a uniform scale grip.
DrawingStruct* buildUniversalSimpleProfile();

} // namespace profiles

#endif
