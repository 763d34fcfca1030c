// Hover: dbGCtrlDrag while idle, the call a host makes on every pointer move, over the full
// UniversalCtrl.qvw in parallel and perspective views. On a hit the pointer rests on the
// reference point, which stays highlighted; on a miss it sits in a corner of the viewport, far
// from the manipulator, where every enabled handle is tested and none is hit. The counter
// "per_handle" is the time of one move divided by the number of enabled handles.
#include "bench_scene.h"

#include <benchmark/benchmark.h>

namespace {

int EnabledHandles(GControl* control) {
    int enabled = 0;
    for (GHandle* h : *dbGCtrlGetHandles(control))
        enabled += dbGHandleGetVisible(control, h);
    return enabled;
}

void BM_Hover(benchmark::State& state, bool perspective, bool onHandle) {
    BenchScene bench("UniversalCtrl.qvw", KvViewIso, perspective);
    if (!bench.Ready()) return state.SkipWithError("control not set up");
    double px = 5, py = 5;
    if (onHandle) {
        KvSetupGeometry g{};
        kvSceneSetupGeometry(bench.Scene(), &g);
        bench.PixelOf(g.refPoint, &px, &py);
    }
    const KvDragSample s = bench.Sample(px, py);
    GHandle* first =
        dbGCtrlDrag(bench.Control(), s.x, s.y, s.z, s.vx, s.vy, s.vz, 0, 0, 0, 0, nullptr);
    if ((first != nullptr) != onHandle)
        return state.SkipWithError(onHandle ? "the reference point is not hit" : "a handle is hit");
    for (auto _ : state) {
        uint32_t changed = 0;
        benchmark::DoNotOptimize(
            dbGCtrlDrag(bench.Control(), s.x, s.y, s.z, s.vx, s.vy, s.vz, 0, 0, 0, 0, &changed));
    }
    const int handles = EnabledHandles(bench.Control());
    state.counters["handles"] = handles;
    state.counters["per_handle"] = benchmark::Counter(
        handles, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK_CAPTURE(BM_Hover, miss_parallel, false, false);
BENCHMARK_CAPTURE(BM_Hover, hit_parallel, false, true);
BENCHMARK_CAPTURE(BM_Hover, miss_perspective, true, false);
BENCHMARK_CAPTURE(BM_Hover, hit_perspective, true, true);

} // namespace
