// Drag: dbGCtrlDrag in a drag, one pointer sample through a drag routine and every handle
// following.
#include "bench_scene.h"

#include <benchmark/benchmark.h>

namespace {

GHandle* HandleNamed(GControl* control, const char* name) {
    for (GHandle* h : *dbGCtrlGetHandles(control))
        if (dbGHandleGetParams(control, h)->csName == name) return h;
    return nullptr;
}

// Moves along the X arrow, alternating between two samples so that every step moves.
void BM_DragMoveAlongAxis(benchmark::State& state) {
    BenchScene bench("UniversalCtrl.qvw", KvViewIso, false);
    GHandle* arrow = bench.Ready() ? HandleNamed(bench.Control(), "AxisX") : nullptr;
    if (!arrow) return state.SkipWithError("no AxisX handle");
    double px = 0, py = 0;
    bench.PixelOf({1, 0.5, 0.25}, &px, &py);
    const KvDragSample start = bench.Sample(px, py);
    dbGCtrlSetState(bench.Control(), 1, arrow, start.x, start.y, start.z, start.vx, start.vy,
                    start.vz, 0);
    const KvDragSample samples[2] = {bench.Sample(px + 40, py), bench.Sample(px + 60, py + 5)};
    int i = 0;
    for (auto _ : state) {
        const KvDragSample& s = samples[i ^= 1];
        uint32_t changed = 0;
        benchmark::DoNotOptimize(dbGCtrlDrag(bench.Control(), s.x, s.y, s.z, s.vx, s.vy, s.vz, 0,
                                             0, 0, 0, &changed));
    }
}
BENCHMARK(BM_DragMoveAlongAxis);

} // namespace
