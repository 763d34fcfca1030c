// HandleDrag: picks the routine for the handle's transform and movement types and keeps the
// handle's mDrag equal to the total drag matrix of the newest sample.
#include "tiller/geometry/geometry.h"
#include "tiller/handle/ghandle.h"
#include "tiller/kinematics/drag.h"
#include "tiller/kinematics/routines.h"

namespace tiller {
namespace {

struct RoutineEntry {
    uint32_t transform;
    uint32_t movement;
    int (*run)(const DragCall& call);
};

const RoutineEntry Routines[] = {
    {TransformMove, MovementRotbarX, DragMoveAlongAxis},
    {TransformMove, MovementRotbarXY, DragMoveInPlane},
    {TransformMove, MovementWorkPlaneXY, DragMoveOnWorkPlane},
    {TransformScale, MovementRotbarX,
     [](const DragCall& call) { return DragScaleAlongAxis(call, AxisScaleKind::Scale); }},
    {TransformScale, MovementRotbarXY, DragScaleInPlane},
    {TransformScale, MovementHandleX, DragScaleAlongGrip},
    {TransformScale, MovementSceneXY, DragScaleSceneXY},
    {TransformScale, MovementSceneDiag, DragScaleDiagonal},
    {TransformScale2, MovementRotbarX,
     [](const DragCall& call) { return DragScaleAlongAxis(call, AxisScaleKind::Scale2); }},
    {TransformRotate, MovementRotbarXY, DragRotateInPlane},
};

const RoutineEntry* FindRoutine(uint32_t transform, uint32_t movement) {
    for (const RoutineEntry& entry : Routines)
        if (entry.transform == transform && entry.movement == movement) return &entry;
    return nullptr;
}

bool CanDrag(const GHandle* handle, MatrixStruct* const* result) {
    return handle && handle->isLoaded && handle->DisableMask == 0 && result && *result &&
           handle->TransformType != TransformUndefined && handle->TransformType != TransformNone &&
           handle->pViewport;
}

} // namespace

bool HasDragRoutine(uint32_t transform, uint32_t movement) {
    return FindRoutine(transform, movement) != nullptr;
}

// mDrag follows the result whatever the routine answered: a failed routine leaves the identity.
// mDrag is made before the routine runs, so that a step never half-happens for want of it.
int HandleDrag(GHandle* handle, MatrixStruct** result, const DragSample& sample,
               bool* outOfRecords) {
    bool shortOfRecords = false;
    if (outOfRecords) *outOfRecords = false;
    if (!CanDrag(handle, result)) return 0;
    if (!handle->mDrag && !(handle->mDrag = MatrixNewEx())) shortOfRecords = true;
    int done = 0;
    if (!shortOfRecords) {
        MatrixSetIdentity(*result);
        HandleMatrixSlot handleMatrix{IdentityMatrix, false};
        const RoutineEntry* routine = FindRoutine(handle->TransformType, handle->MovementType);
        done = routine ? routine->run({handle, result, &handleMatrix, handle->pViewport, sample,
                                       &shortOfRecords})
                       : 0;
        *handle->mDrag = **result;
        if (handleMatrix.given) **result = handleMatrix.matrix;
    }
    if (outOfRecords) *outOfRecords = shortOfRecords;
    return shortOfRecords ? 0 : done;
}

} // namespace tiller
