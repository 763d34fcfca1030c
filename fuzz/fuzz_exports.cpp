// Drives the exported functions with a host program read from the fuzzer's bytes: creations,
// setups with awkward matrices and extents, pointer moves, presses, drags, imposed matrices,
// visibility changes, reloads, deletions and disposal, in any order and with null, deleted
// and non-finite arguments. The profiles are the shipped ones with every mesh cut down to its
// first triangle and without handles that repeat another's kind: the handles, parts and
// properties are all there, and loading one again after a reload or a disposal costs a few
// milliseconds rather than a whole input budget. They stay loaded from one input to the next,
// every control an input made is deleted after it, and an input that asks for it by its first
// byte unloads them at most once. Any crash, sanitizer report, or host record left alive
// beyond what the loaded profiles hold is a fault.
#include "tiller/tiller.h"

#include "korvex/session.h"
#include "korvex/testing.h"
#include "korvex/view.h"
#include "tiller/host/korvex.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <set>
#include <string>
#include <unistd.h>

namespace {

// The fuzzer's bytes, read front to back; zeros once they run out.
class Program {
  public:
    Program(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Done() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t Small(uint32_t below) { return Byte() % below; }
    // Small sizes, zero, negatives and the extremes, or raw bits.
    int32_t Int() {
        static constexpr int32_t kAwkward[] = {0,
                                               1,
                                               -1,
                                               200,
                                               450,
                                               1000,
                                               5000,
                                               std::numeric_limits<int32_t>::min(),
                                               std::numeric_limits<int32_t>::max()};
        const uint8_t pick = Byte();
        if (pick < 200) return kAwkward[pick % std::size(kAwkward)];
        uint32_t raw = 0;
        for (int i = 0; i < 4; ++i)
            raw = raw << 8 | Byte();
        return static_cast<int32_t>(raw);
    }
    // Mostly values that break careless arithmetic; sometimes raw bits.
    double Number() {
        static constexpr double kAwkward[] = {0.0,
                                              -0.0,
                                              1.0,
                                              -1.0,
                                              0.5,
                                              2.0,
                                              1e-8,
                                              5e-8,
                                              1e-300,
                                              -1e-300,
                                              1e300,
                                              -1e300,
                                              std::numeric_limits<double>::quiet_NaN(),
                                              std::numeric_limits<double>::infinity(),
                                              -std::numeric_limits<double>::infinity(),
                                              0.3,
                                              -0.7,
                                              400.0};
        const uint8_t pick = Byte();
        if (pick < 200) return kAwkward[pick % std::size(kAwkward)];
        double raw = 0;
        for (size_t i = 0; i < sizeof raw; ++i)
            reinterpret_cast<uint8_t*>(&raw)[i] = Byte();
        return raw;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Keeps the first triangle of every mesh in the graphic tree, with the three vertices it uses.
void KeepFirstTriangles(nlohmann::json& graphic) {
    if (graphic.contains("faces") && !graphic["faces"].empty()) {
        nlohmann::json vertices = nlohmann::json::array();
        for (const nlohmann::json& index : graphic["faces"][0])
            vertices.push_back(graphic["vertices"][index.get<size_t>()]);
        graphic["vertices"] = vertices;
        graphic["faces"] = nlohmann::json::array({nlohmann::json::array({0, 1, 2})});
    }
    if (graphic.contains("children"))
        for (nlohmann::json& child : graphic["children"])
            KeepFirstTriangles(child);
}

// The handle groups of a profile less those that repeat an earlier one's transform, movement,
// position and orientation under another name: a control builds in half the time and keeps
// every kind of handle, and every name the library treats apart.
void DropRepeatedKinds(nlohmann::json& root) {
    std::set<std::string> kinds;
    nlohmann::json kept = nlohmann::json::array();
    for (nlohmann::json& group : root["children"]) {
        std::string kind, name;
        for (const nlohmann::json& property : group.value("properties", nlohmann::json::array()))
            (property[0] == "handle_name" ? name : kind) += property.dump();
        if (kinds.insert(kind).second || name.find("Bounding_box") != std::string::npos)
            kept.push_back(group);
    }
    root["children"] = kept;
}

// A light copy of a shipped profile in the temporary folder; its path.
std::string LightProfile(const char* name) {
    nlohmann::json profile;
    std::ifstream(std::string(TILLER_PROFILE_DIR) + "/" + name) >> profile;
    KeepFirstTriangles(profile["root"]);
    DropRepeatedKinds(profile["root"]);
    const std::string path =
        "/tmp/tiller-fuzz-" + std::to_string(getpid()) + "-" + std::string(name);
    std::ofstream(path) << profile.dump();
    return path;
}

// The host side that outlives every input: a scene with a selected box and two viewports, in
// the scene's drawing, which goes with the scene at exit.
struct Host {
    KvScene* scene = kvSceneNew();
    ViewportStruct* views[2] = {};
    const std::string profiles[3] = {LightProfile("UniversalCtrl.qvw"),
                                     LightProfile("UniversalCtrlSimple.qvw"), "NoSuchProfile.qvw"};
    Host() {
        kvSceneMakeCurrent(scene);
        kvSceneAddBox(scene, {0, 0, 0}, {2, 1, 0.5}, 0x808080);
        for (ViewportStruct*& vp : views)
            vp = kvViewportCreate(kvSceneDrawing(scene), 640, 480);
        kvViewportSetPreset(views[0], KvViewIso);
        kvViewportSetPerspective(views[1], 45);
        kvViewportSetPreset(views[1], KvViewFront);
    }
    ~Host() {
        kvSceneDispose(&scene);
        std::remove(profiles[0].c_str());
        std::remove(profiles[1].c_str());
    }
};

Host& TheHost() {
    static Host host;
    return host;
}

MatrixStruct* NewMatrix(Program& p) {
    if (p.Small(4) == 0) return nullptr;
    MatrixStruct* m = MatrixNewEx();
    if (!m) return nullptr;
    const uint32_t how = p.Small(3);
    if (how == 1) m->m[12] = p.Number(), m->m[13] = p.Number(), m->m[14] = p.Number();
    if (how == 2)
        for (double& v : m->m)
            v = p.Number();
    return m;
}

ExtentsStruct* NewExtents(Program& p) {
    if (p.Small(4) == 0) return nullptr;
    ExtentsStruct* e = ExtentsNewEx();
    if (e && p.Small(4) != 0)
        ExtentsSet(e, p.Number(), p.Number(), p.Number(), p.Number(), p.Number(), p.Number());
    return e;
}

GControlProperties Settings(Program& p) {
    GControlProperties s;
    if (p.Small(2) == 0) return s;
    for (int32_t* flag : {&s.Show_Axes, &s.Show_Handles_RotBar_Move, &s.Show_Handles_RotBar_Scale,
                          &s.Show_Handles_RotBar_Rotate, &s.Show_BoundaryBox,
                          &s.Show_Handles_GCtrlCS_Move, &s.Show_Handles_GCtrlCS_Scale,
                          &s.Show_BoundaryBox_Facets, &s.Show_SelectionCS, &s.Light_Type})
        *flag = static_cast<int32_t>(p.Small(3));
    s.ScreenSize_Min = p.Int();
    s.ScreenSize_Max = p.Int();
    return s;
}

void Setup(Program& p, GControl* c) {
    const GControlProperties settings = Settings(p);
    MatrixStruct* control = NewMatrix(p);
    MatrixStruct* rotbar = NewMatrix(p);
    MatrixStruct* selection = NewMatrix(p);
    ExtentsStruct* extents = NewExtents(p);
    ExtentsStruct* extents2 = NewExtents(p);
    VertexStruct* ref = p.Small(4) ? VertexNewEx(p.Number(), p.Number(), p.Number()) : nullptr;
    ViewportStruct* vp = p.Small(5) ? TheHost().views[p.Small(2)] : nullptr;
    dbGCtrlSetup(c, p.Small(6) ? &settings : nullptr, vp, control, extents, ref, rotbar, selection,
                 extents2);
    MatrixDispose(&control), MatrixDispose(&rotbar), MatrixDispose(&selection);
    ExtentsDispose(&extents), ExtentsDispose(&extents2);
    VertexDispose(&ref);
}

// A drag sample: from a pixel of a viewport, as a host makes it, or raw numbers.
KvDragSample Sample(Program& p) {
    KvDragSample s{};
    if (p.Small(3) != 0) {
        const double px = p.Byte() * 640.0 / 255, py = p.Byte() * 480.0 / 255;
        if (kvScenePointerMove(TheHost().scene, TheHost().views[p.Small(2)], px, py, &s)) return s;
    }
    s = {p.Number(), p.Number(), p.Number(), p.Number(), p.Number(), p.Number()};
    return s;
}

GHandle* SomeHandle(Program& p, GControl* c) {
    const GHandleList* handles = dbGCtrlGetHandles(c);
    if (!handles || handles->empty() || p.Small(8) == 0) return nullptr;
    auto it = handles->begin();
    std::advance(it, p.Small(static_cast<uint32_t>(handles->size())));
    return *it;
}

// Every control address an input was given, to delete them all afterwards.
struct Made {
    std::array<GControl*, 64> controls{};
    size_t count = 0;
    void Add(GControl* c) {
        if (c && count < controls.size()) controls[count++] = c;
    }
};

void Step(Program& p, std::array<GControl*, 2>& controls, Made& made, bool& unloaded) {
    GControl*& c = controls[p.Small(2)];
    switch (p.Small(16)) {
    case 0:
        c = dbGCtrlCreate(TheHost().profiles[p.Small(3)].c_str(), p.Small(2) ? "a" : "b",
                          p.Small(6) ? kvSceneDrawing(TheHost().scene) : nullptr,
                          p.Small(4) ? kvSelectionExtents : nullptr);
        made.Add(c);
        break;
    case 1:
        Setup(p, c);
        break;
    case 2:
        dbGCtrlShow(c, p.Small(5), p.Small(2));
        break;
    case 3:
    case 4:
    case 5: {
        const KvDragSample s = Sample(p);
        uint32_t changed = 0;
        dbGCtrlDrag(c, s.x, s.y, s.z, s.vx, s.vy, s.vz, p.Byte(), p.Small(2), p.Small(2),
                    p.Small(2), p.Small(4) ? &changed : nullptr);
        break;
    }
    case 6: {
        const KvDragSample s = Sample(p);
        dbGCtrlSetState(c, p.Small(3), SomeHandle(p, c), s.x, s.y, s.z, s.vx, s.vy, s.vz, p.Byte());
        break;
    }
    case 7: {
        MatrixStruct* m = NewMatrix(p);
        dbGCtrlTransform(c, m);
        MatrixDispose(&m);
        break;
    }
    case 8:
        dbGCtrlSetActiveViewport(c, p.Small(4) ? TheHost().views[p.Small(2)] : nullptr);
        break;
    case 9: {
        GHandle* h = SomeHandle(p, c);
        if (const HandleProperties* params = dbGHandleGetParams(c, h))
            (void)std::strlen(params->csName.c_str());
        dbGHandleSetVisible(c, h, p.Small(3));
        dbGHandleGetVisible(c, h);
        break;
    }
    case 10:
        (void)dbGCtrlToString(p.Small(4) ? c : nullptr).size();
        break;
    case 11:
        dbGCtrlDelete(c);
        break;
    case 12:
        if (p.Small(8) == 0 && !unloaded) unloaded = dbGCtrlReload(c) == 1;
        break;
    case 13:
        kvViewportZoom(TheHost().views[p.Small(2)], p.Small(2) ? 0.25 : 8.0);
        break;
    case 14:
        kvViewportOrbit(TheHost().views[p.Small(2)], p.Number(), p.Number());
        break;
    case 15:
        if (p.Small(8) == 0 && !unloaded) {
            dbDisposeGCtrlManager();
            unloaded = true;
        }
        break;
    }
}

// The records the manager (its registration) and each profile hold while they live, measured
// once: a profile holds fewer before a control in a drawing has shared its parts' geometry, and
// a control made and deleted again leaves its profile loaded.
struct ManagerCost {
    long manager = 0;
    long universal[2] = {}; // loaded alone, and with the shared geometry
    long simple[2] = {};
    explicit ManagerCost(long none) {
        dbGetGCtrlManager();
        manager = kvLiveTotal() - none;
        DrawingStruct* drawing = kvSceneDrawing(TheHost().scene);
        universal[0] = Added(0, nullptr);
        simple[0] = Added(1, nullptr);
        universal[1] = universal[0] + Added(0, drawing);
        simple[1] = simple[0] + Added(1, drawing);
    }
    // The records a control made and deleted again leaves.
    static long Added(int profile, DrawingStruct* drawing) {
        const long before = kvLiveTotal();
        dbGCtrlDelete(
            dbGCtrlCreate(TheHost().profiles[profile].c_str(), "probe", drawing, nullptr));
        return kvLiveTotal() - before;
    }
};

// Whether the records alive now are the host's, plus maybe a manager with some set of loaded
// profiles.
bool OnlyManagerRemains(long hostRecords, const ManagerCost& cost) {
    const long extra = kvLiveTotal() - hostRecords;
    if (extra == 0) return true;
    for (long universal : {0L, cost.universal[0], cost.universal[1]})
        for (long simple : {0L, cost.simple[0], cost.simple[1]})
            if (extra == cost.manager + universal + simple) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Host& host = TheHost();
    static const long hostRecords = [] {
        dbDisposeGCtrlManager();
        return kvLiveTotal();
    }();
    static const ManagerCost cost(hostRecords);
    Program program(data, size);
    std::array<GControl*, 2> controls{};
    Made made;
    // Only an input that asks for it may unload the profiles: loading them again costs more than
    // the rest of an input.
    bool unloaded = program.Byte() % 8 != 0;
    for (int steps = 0; steps < 64 && !program.Done(); ++steps)
        Step(program, controls, made, unloaded);
    for (size_t i = 0; i < made.count; ++i)
        dbGCtrlDelete(made.controls[i]);
    kvScenePointerRelease(host.scene);
    for (ViewportStruct* vp : host.views)
        kvViewportSetPreset(vp, KvViewIso);
    if (!OnlyManagerRemains(hostRecords, cost)) { // a host record leaked
        for (int t = 0; t < KvRecordTypeCount; ++t)
            std::fprintf(stderr, "records of type %d alive: %ld\n", t,
                         kvLiveCount(static_cast<KvRecordType>(t)));
        std::abort();
    }
    return 0;
}
