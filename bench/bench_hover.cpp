// Hover: dbGCtrlDrag while idle, the call a host makes on every pointer move.
#include "bench_scene.h"

#include <benchmark/benchmark.h>

namespace {

// The pointer in a corner of the viewport, far from the manipulator: every handle is tested
// and none is hit.
void BM_HoverMissParallel(benchmark::State& state) {
    BenchScene bench("UniversalCtrl.qvw", KvViewIso, false);
    if (!bench.Ready()) return state.SkipWithError("control not set up");
    const KvDragSample s = bench.Sample(5, 5);
    for (auto _ : state) {
        uint32_t changed = 0;
        benchmark::DoNotOptimize(dbGCtrlDrag(bench.Control(), s.x, s.y, s.z, s.vx, s.vy, s.vz, 0,
                                             0, 0, 0, &changed));
    }
}
BENCHMARK(BM_HoverMissParallel);

} // namespace
