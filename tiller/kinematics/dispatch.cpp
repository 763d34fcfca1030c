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

// mDrag follows the result whatever the routine answered: a failed routine leaves the identity.
void StoreDragMatrix(GHandle* handle, const MatrixStruct* drag) {
    if (!handle->mDrag) handle->mDrag = MatrixNewEx();
    if (handle->mDrag) MatrixAssign(drag, &handle->mDrag);
}

} // namespace

bool HasDragRoutine(uint32_t transform, uint32_t movement) {
    return FindRoutine(transform, movement) != nullptr;
}

int HandleDrag(GHandle* handle, MatrixStruct** result, const DragSample& sample) {
    if (!CanDrag(handle, result)) return 0;
    MatrixSetIdentity(*result);
    MatrixStruct* handleMatrix = nullptr;
    const RoutineEntry* routine = FindRoutine(handle->TransformType, handle->MovementType);
    const int done =
        routine ? routine->run({handle, result, &handleMatrix, handle->pViewport, sample}) : 0;
    StoreDragMatrix(handle, *result);
    if (handleMatrix) {
        MatrixAssign(handleMatrix, result);
        MatrixDispose(&handleMatrix);
    }
    return done;
}

} // namespace tiller
