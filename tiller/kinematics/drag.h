// Drag kinematics: HandleDrag turns one pointer sample into the handle matrix (returned) and
// the drag matrix (the handle's mDrag), the total transformation since the drag started.
#ifndef TILLER_KINEMATICS_DRAG_H
#define TILLER_KINEMATICS_DRAG_H

#include "tiller/host/korvex.h"
#include "tiller/tiller.h"

namespace tiller {

// The sample of one pointer move.
struct DragSample {
    double x, y, z;    // cursor on the host's work plane, world coordinates
    double vx, vy, vz; // view triple
    uint16_t keyState;
    uint32_t uniformScale;
    uint32_t scaleFromCenter;
};

// Whether a handle of this transform and movement has a drag routine; others never drag.
bool HasDragRoutine(uint32_t transform, uint32_t movement);

// Non-zero on success; *result (an existing matrix) receives the handle matrix. A step makes no
// host records but the few only the host can build; when one of those cannot be made it answers
// 0 and sets *outOfRecords (when given).
int HandleDrag(GHandle* handle, MatrixStruct** result, const DragSample& sample,
               bool* outOfRecords = nullptr);

} // namespace tiller

#endif
