// CAD models: opening a STEP assembly (read, tessellated, turned into graphics), and the hover
// and drag paths with a large model in the drawing beside the selected box, which must cost
// what they cost over an empty drawing: the pointer path never walks the model.
//   * BM_OpenStep/N: the sample assembly with N more perforated plates, written as STEP once;
//     the counter "kbytes" is the file's size.
//   * BM_HoverOverModel/T, BM_DragOverModel/T: T triangles of model (0 or about 1M).
#include "bench_scene.h"

#include "assembly.h"
#include "korvex/cad.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

namespace {

namespace fs = std::filesystem;

void BM_OpenStep(benchmark::State& state) {
    const fs::path file =
        fs::temp_directory_path() / ("tiller-bench-" + std::to_string(state.range(0)) + ".step");
    {
        tiller::tools::cad::Assembly assembly;
        tiller::tools::cad::BuildAssembly(&assembly, static_cast<int>(state.range(0)));
        std::string reason;
        if (!WriteAssembly(assembly, file.string(), 0.05, &reason))
            return state.SkipWithError(reason.c_str());
    }
    KvCadSummary summary;
    for (auto _ : state) {
        KvScene* scene = kvSceneNew();
        std::string reason;
        if (!kvSceneOpenFile(scene, file.c_str(), nullptr, &summary, &reason))
            state.SkipWithError(reason.c_str());
        kvSceneDispose(&scene);
    }
    state.counters["kbytes"] = static_cast<double>(fs::file_size(file)) / 1024;
    state.counters["parts"] = summary.parts;
    state.counters["triangles"] = static_cast<double>(summary.triangles);
    fs::remove(file);
}
BENCHMARK(BM_OpenStep)->Arg(0)->Arg(6)->Unit(benchmark::kMillisecond)->Iterations(3);

// A grid mesh of about `triangles` triangles far from the selection, added to the model while
// the box stays the selection.
void AddModel(BenchScene& bench, long triangles) {
    if (triangles == 0) return;
    const int side = static_cast<int>(std::sqrt(triangles / 2.0)) + 1;
    std::vector<KvPoint> vertices;
    for (int j = 0; j <= side; ++j)
        for (int i = 0; i <= side; ++i)
            vertices.push_back({-50 + 100.0 * i / side, -50 + 100.0 * j / side, -5});
    std::vector<int> faces;
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) {
            const int a = j * (side + 1) + i, b = a + 1, c = a + side + 1, d = c + 1;
            faces.insert(faces.end(), {a, b, d, a, d, c});
        }
    const std::vector<GraphicStruct*> selection = kvSceneSelection(bench.Scene());
    kvSceneAddMesh(bench.Scene(), vertices.data(), static_cast<int>(vertices.size()), faces.data(),
                   static_cast<int>(faces.size() / 3), 0x808080);
    kvSceneClearSelection(bench.Scene());
    for (GraphicStruct* g : selection)
        kvSceneSelect(bench.Scene(), g, 1);
}

void BM_HoverOverModel(benchmark::State& state) {
    BenchScene bench("UniversalCtrl.qvw", KvViewIso, false);
    if (!bench.Ready()) return state.SkipWithError("control not set up");
    AddModel(bench, state.range(0));
    double px = 0, py = 0;
    KvSetupGeometry g{};
    kvSceneSetupGeometry(bench.Scene(), &g);
    bench.PixelOf(g.refPoint, &px, &py);
    for (auto _ : state) {
        // The host's whole pointer move: its sample, then the control's answer.
        const KvDragSample s = bench.Sample(px, py);
        benchmark::DoNotOptimize(
            dbGCtrlDrag(bench.Control(), s.x, s.y, s.z, s.vx, s.vy, s.vz, 0, 0, 0, 0, nullptr));
    }
}
BENCHMARK(BM_HoverOverModel)->Arg(0)->Arg(1000000);

void BM_DragOverModel(benchmark::State& state) {
    BenchScene bench("UniversalCtrl.qvw", KvViewIso, false);
    if (!bench.Ready()) return state.SkipWithError("control not set up");
    AddModel(bench, state.range(0));
    KvSetupGeometry g{};
    kvSceneSetupGeometry(bench.Scene(), &g);
    double cx = 0, cy = 0, ax = 0, ay = 0;
    bench.PixelOf(g.refPoint, &cx, &cy);
    bench.PixelOf({g.refPoint.x + 1, g.refPoint.y, g.refPoint.z}, &ax, &ay);
    // Along the image of world X from the centre until the X arrow is under the pointer.
    const double len = std::hypot(ax - cx, ay - cy), ux = (ax - cx) / len, uy = (ay - cy) / len;
    GHandle* arrow = nullptr;
    double px = cx, py = cy;
    for (double r = 20; r < 200 && !arrow; r += 3) {
        px = cx + r * ux, py = cy + r * uy;
        const KvDragSample s = bench.Sample(px, py);
        GHandle* h =
            dbGCtrlDrag(bench.Control(), s.x, s.y, s.z, s.vx, s.vy, s.vz, 0, 0, 0, 0, nullptr);
        if (h && std::string(dbGHandleGetParams(bench.Control(), h)->csName) == "AxisX") arrow = h;
    }
    if (!arrow) return state.SkipWithError("no X arrow found");
    KvDragSample s{};
    kvScenePointerPress(bench.Scene(), bench.Viewport(), px, py, &s);
    dbGCtrlSetState(bench.Control(), 1, arrow, s.x, s.y, s.z, s.vx, s.vy, s.vz, 0);
    int step = 0;
    for (auto _ : state) {
        // A drag step as a host makes it: the sample, the control's matrix, the preview.
        const double offset = 10 + (step++ % 20);
        const KvDragSample d = bench.Sample(px + offset * ux, py + offset * uy);
        dbGCtrlDrag(bench.Control(), d.x, d.y, d.z, d.vx, d.vy, d.vz, 0, 0, 0, 0, nullptr);
        const MatrixStruct* m = dbGHandleGetParams(bench.Control(), arrow)->mDrag;
        if (m) kvScenePreviewSelection(bench.Scene(), m);
    }
    dbGCtrlSetState(bench.Control(), 0, nullptr, 0, 0, 0, 0, 0, 0, 0);
    kvScenePointerRelease(bench.Scene());
}
BENCHMARK(BM_DragOverModel)->Arg(0)->Arg(1000000);

} // namespace
