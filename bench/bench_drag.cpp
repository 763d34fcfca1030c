// Drag: dbGCtrlDrag in a drag, one pointer sample through a drag routine and every handle
// following, once for each routine, in a parallel view.
#include "bench_scene.h"

#include <benchmark/benchmark.h>

namespace {

GHandle* HandleNamed(GControl* control, const char* name) {
    for (GHandle* h : *dbGCtrlGetHandles(control))
        if (dbGHandleGetParams(control, h)->csName == name) return h;
    return nullptr;
}

// Presses 30 pixels right of and 20 above the handle's origin on screen, so that the scale
// routines have a start offset to measure from, then alternates between two samples further
// out so that every step changes the drag matrix.
void DragStep(benchmark::State& state, const char* handle) {
    BenchScene bench("UniversalCtrl.qvw", KvViewIso, false);
    GHandle* h = bench.Ready() ? HandleNamed(bench.Control(), handle) : nullptr;
    if (!h) return state.SkipWithError("handle not found");
    const MatrixStruct* frame = dbGHandleGetParams(bench.Control(), h)->mHandleCS;
    double px = 0, py = 0;
    bench.PixelOf({frame->m[12], frame->m[13], frame->m[14]}, &px, &py);
    KvDragSample start{};
    if (!kvScenePointerPress(bench.Scene(), bench.Viewport(), px + 30, py - 20, &start))
        return state.SkipWithError("press missed");
    dbGCtrlSetState(bench.Control(), 1, h, start.x, start.y, start.z, start.vx, start.vy, start.vz,
                    0);
    const KvDragSample samples[2] = {bench.Sample(px + 45, py - 30),
                                     bench.Sample(px + 60, py - 35)};
    int i = 0;
    for (auto _ : state) {
        const KvDragSample& s = samples[i ^= 1];
        uint32_t changed = 0;
        benchmark::DoNotOptimize(
            dbGCtrlDrag(bench.Control(), s.x, s.y, s.z, s.vx, s.vy, s.vz, 0, 0, 0, 0, &changed));
    }
    kvScenePointerRelease(bench.Scene());
}

BENCHMARK_CAPTURE(DragStep, MoveAlongAxis, "AxisX");
BENCHMARK_CAPTURE(DragStep, MoveInPlane, "PlaneXY");
BENCHMARK_CAPTURE(DragStep, MoveOnWorkPlane, "Reference_point");
BENCHMARK_CAPTURE(DragStep, Rotate, "RotateZ");
BENCHMARK_CAPTURE(DragStep, ScaleAlongAxis, "ScaleX");
BENCHMARK_CAPTURE(DragStep, Scale2AlongAxis, "Scale2X");
BENCHMARK_CAPTURE(DragStep, ScaleInPlane, "ScalePlaneXY");
BENCHMARK_CAPTURE(DragStep, ScaleAlongGrip, "ScaleGripXPlus");
BENCHMARK_CAPTURE(DragStep, ScaleSceneXY, "ScaleSelectionXY");
BENCHMARK_CAPTURE(DragStep, ScaleDiagonal, "ScaleDiagonal");

} // namespace
