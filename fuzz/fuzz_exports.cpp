// Drives the exported functions with a host program read from the fuzzer's bytes: creations,
// setups with awkward matrices and extents, pointer moves, presses, drags, imposed matrices,
// visibility changes, reports, reloads, deletions and disposal, in any order and with null,
// deleted and non-finite arguments.
//
// Building a control costs far more than anything an input does with it, so the manager, two
// profiles and four controls (two names in each profile) live from one input to the next, and
// each input starts with two of those controls in hand. After the input, every control it made
// is deleted, a kept control it deleted or unloaded is built again, and the kept controls are
// put back at rest through the exports a host would use: the drag ended, every handle shown,
// the setup made again where the input changed it, hidden and shown. The kept controls the
// input had in hand (every 8th input, all of them and both viewports) must then read as when
// they were first built, and the live host records must be those of that state: a reset that
// does not restore it is a fault, like a crash, a sanitizer report or a leaked record. Every
// 1024th input the manager is disposed, only the host's own records may remain, the heap must
// hold no leak, and everything is built again.
//
// The profiles are the shipped ones with every mesh cut down to its first triangle and without
// handles that repeat another's kind: every handle kind, part and property is there, and
// building a control or loading a profile costs a few milliseconds.
//
// [SECTION] The program
// [SECTION] Light profiles
// [SECTION] The host: a scene and two viewports
// [SECTION] Readings
// [SECTION] Kept controls
// [SECTION] One input
#include "tiller/tiller.h"

#include "korvex/session.h"
#include "korvex/testing.h"
#include "korvex/view.h"
#include "tiller/host/korvex.h"

#include <nlohmann/json.hpp>
#include <sanitizer/lsan_interface.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// [SECTION] The program ---------------------------------------------------------------------

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

// [SECTION] Light profiles ------------------------------------------------------------------

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

// The known profile names: a bare known name finds a loaded profile of that file name, and a
// control of that name in the drawing, again.
constexpr const char* kKnownNames[2] = {"UniversalCtrl.qvw", "UniversalCtrlSimple.qvw"};

// A light copy of a shipped profile under its own name in `folder`; its path.
std::string LightProfile(const std::string& folder, const char* name) {
    nlohmann::json profile;
    std::ifstream(std::string(TILLER_PROFILE_DIR) + "/" + name) >> profile;
    KeepFirstTriangles(profile["root"]);
    DropRepeatedKinds(profile["root"]);
    const std::string path = folder + "/" + name;
    std::ofstream(path) << profile.dump();
    return path;
}

// [SECTION] The host: a scene and two viewports ----------------------------------------------

// The host side that outlives every input: a scene with a selected box, two viewports and the
// geometry a host hands a setup for that selection. The scene's drawing goes with the scene.
struct Host {
    const std::string folder = "/tmp/tiller-fuzz-" + std::to_string(getpid());
    std::string profiles[2];
    KvScene* scene = kvSceneNew();
    ViewportStruct* views[2] = {};
    KvViewInfo rest[2] = {};
    KvSetupGeometry geometry{};
    ExtentsStruct* extents = ExtentsNewEx();
    VertexStruct* refPoint = nullptr;

    Host() {
        std::filesystem::create_directory(folder);
        for (int i = 0; i < 2; ++i)
            profiles[i] = LightProfile(folder, kKnownNames[i]);
        kvSceneMakeCurrent(scene);
        kvSceneAddBox(scene, {0, 0, 0}, {2, 1, 0.5}, 0x808080);
        for (ViewportStruct*& vp : views)
            vp = kvViewportCreate(drawing(), 640, 480);
        kvViewportSetPreset(views[0], KvViewIso);
        kvViewportSetPerspective(views[1], 45);
        kvViewportSetPreset(views[1], KvViewFront);
        for (int i = 0; i < 2; ++i)
            rest[i] = kvViewportInfo(views[i]);
        kvSceneSetupGeometry(scene, &geometry);
        ExtentsSet(extents, geometry.extentsMin.x, geometry.extentsMin.y, geometry.extentsMin.z,
                   geometry.extentsMax.x, geometry.extentsMax.y, geometry.extentsMax.z);
        refPoint = VertexNewEx(geometry.refPoint.x, geometry.refPoint.y, geometry.refPoint.z);
    }
    ~Host() {
        VertexDispose(&refPoint);
        ExtentsDispose(&extents);
        kvSceneDispose(&scene);
        std::filesystem::remove_all(folder);
    }
    DrawingStruct* drawing() { return kvSceneDrawing(scene); }

    // No press, and cameras, projections and remembered pointer pixels as at the start.
    void RestoreViews() {
        kvScenePointerRelease(scene);
        for (int i = 0; i < 2; ++i) {
            const KvViewInfo& r = rest[i];
            if (r.perspective)
                kvViewportSetPerspective(views[i], r.fovYDegrees);
            else
                kvViewportSetParallel(views[i], r.unitsPerPixel);
            kvViewportSetCamera(views[i], r.eye, r.target, r.up);
            kvViewportSetCursorPixel(views[i], r.cursorX, r.cursorY);
        }
    }

    // The setup a kept control gets at rest: default settings, the selection's geometry.
    int SetupAtRest(GControl* c) {
        const GControlProperties settings;
        return dbGCtrlSetup(c, &settings, views[0], &geometry.controlCS, extents, refPoint,
                            &geometry.rotbarCS, &geometry.selectionCS, nullptr);
    }
};

// [SECTION] Readings --------------------------------------------------------------------------

// A reading in single precision: a camera that moves and comes back, or a handle placed again
// by another path, may land a few double rounding steps away, which is still the same state.
uint64_t Rounded(double v) {
    const float f = static_cast<float>(v);
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

uint64_t Mix(uint64_t hash, uint64_t value) {
    return (hash ^ value) * 0x100000001b3ULL + (hash >> 29);
}

// What a viewport shows: its view, and the elements drawn in it, with whether they are shown
// and where they are placed, summed so that the order the elements were made in does not count.
void ReadView(ViewportStruct* vp, std::vector<uint64_t>& out) {
    const KvViewInfo info = kvViewportInfo(vp);
    for (double v : info.view.m)
        out.push_back(Rounded(v));
    uint64_t shown = 0, sum = 0;
    for (CRedUIElement* element : kvViewportElements(vp)) {
        KvElementInfo e;
        if (!kvElementGetInfo(element, &e) || !e.visible) continue;
        uint64_t hash = static_cast<uint64_t>(e.drawPriority);
        for (double v : e.matrix.m)
            hash = Mix(hash, Rounded(v));
        sum += hash;
        ++shown;
    }
    out.push_back(shown);
    out.push_back(sum);
}

// A control's handles as the host reads them: visibility and coordinate system; a drag matrix
// must be absent or the identity. Counts the handles holding a drag matrix. (The snap centre
// is left out: it follows the history of the camera and of earlier setups.)
void ReadControl(GControl* c, std::vector<uint64_t>& out, long& dragMatrices) {
    const GHandleList* handles = dbGCtrlGetHandles(c);
    out.push_back(handles ? handles->size() : ~0ULL);
    if (!handles) return;
    for (GHandle* h : *handles) {
        const HandleProperties* params = dbGHandleGetParams(c, h);
        out.push_back(dbGHandleGetVisible(c, h) + (params ? 2 : 0));
        if (!params) continue;
        if (params->mHandleCS)
            for (double v : params->mHandleCS->m)
                out.push_back(Rounded(v));
        out.push_back(MatrixIsIdentity(params->mDrag));
        dragMatrices += params->mDrag != nullptr;
    }
}

// [SECTION] Kept controls ---------------------------------------------------------------------

// A control kept from one input to the next, at rest in the first viewport.
struct Kept {
    int profile;
    const char* name;
    GControl* control = nullptr;
    bool dead = false;   // deleted, or about to be
    bool moved = false;  // set up, dragged, moved to another viewport or given another callback
    bool inHand = false; // an export of this input was given it, or it was built again
    std::vector<uint64_t> rest; // its readings at rest
    long dragMatrices = 0;      // its handles holding a drag matrix, as last read
};

// Every control address an input was given apart from the kept ones, to delete them after it.
struct Made {
    std::array<GControl*, 64> controls{};
    size_t count = 0;
    void Add(GControl* c) {
        if (c && count < controls.size()) controls[count++] = c;
    }
};

class Bench {
  public:
    Host host;
    std::array<Kept, 4> kept{{{0, "a"}, {0, "b"}, {1, "a"}, {1, "b"}}};
    bool profilesLoaded = true; // false once an input reloaded or disposed

    Bench() {
        dbDisposeGCtrlManager();
        hostRecords_ = kvLiveTotal();
        host.RestoreViews();
        BuildAndReset();
        for (ViewportStruct* vp : host.views)
            ReadView(vp, restViews_);
        restRecords_ = kvLiveTotal() - kvLiveCount(KvViewport);
        restViewports_ = kvLiveCount(KvViewport);
        for (Kept& k : kept) {
            ReadControl(k.control, k.rest, k.dragMatrices);
            restRecords_ -= k.dragMatrices;
        }
    }

    // The live kept control at that address, or null.
    Kept* Find(GControl* c) {
        for (Kept& k : kept)
            if (c && k.control == c && !k.dead) return &k;
        return nullptr;
    }

    // Marks the kept controls an export just destroyed, before their addresses can be reused.
    void NoteDeleted() {
        for (Kept& k : kept)
            k.dead = k.dead || !dbGCtrlGetHandles(k.control);
    }

    // Deletes what the input made, builds again what it deleted or unloaded, puts every kept
    // control back at rest and checks that the bench reads as it did at the start: the kept
    // controls the input had in hand after every input, everything every 8th input. A control
    // keeps a viewport of its own once it has hovered in a perspective view, so up to one more
    // viewport per kept control may be alive.
    void Restore(Made& made) {
        for (size_t i = 0; i < made.count; ++i)
            dbGCtrlDelete(made.controls[i]);
        host.RestoreViews();
        if (++inputs_ % 1024 == 0) {
            dbDisposeGCtrlManager();
            if (kvLiveTotal() != hostRecords_) Fail("records alive after disposal", 0);
            if (__lsan_do_recoverable_leak_check()) Fail("memory leaked", 0);
            for (Kept& k : kept)
                k.dead = true;
        }
        BuildAndReset();
        const bool everything = inputs_ % 8 == 0;
        if (everything) {
            std::vector<uint64_t> views;
            for (ViewportStruct* vp : host.views)
                ReadView(vp, views);
            if (views != restViews_)
                Fail("the reset left a viewport changed", FirstChange(views, restViews_));
        }
        long dragMatrices = 0;
        for (Kept& k : kept) {
            if (everything || k.inHand) {
                std::vector<uint64_t> now;
                k.dragMatrices = 0;
                ReadControl(k.control, now, k.dragMatrices);
                if (now != k.rest)
                    Fail("the reset left a kept control changed at reading",
                         FirstChange(now, k.rest));
            }
            k.inHand = false;
            dragMatrices += k.dragMatrices;
        }
        const long viewports = kvLiveCount(KvViewport);
        if (kvLiveTotal() - viewports != restRecords_ + dragMatrices ||
            viewports < restViewports_ || viewports > restViewports_ + long(kept.size()))
            Fail("records alive after the reset beyond those at rest:",
                 kvLiveTotal() - viewports - restRecords_ - dragMatrices);
    }

  private:
    long hostRecords_ = 0;
    long restRecords_ = 0; // besides viewports and drag matrices
    long restViewports_ = 0;
    std::vector<uint64_t> restViews_;
    uint64_t inputs_ = 0;

    void BuildAndReset() {
        for (Kept& k : kept) {
            if (!k.dead && dbGCtrlGetHandles(k.control)) continue;
            k.control = dbGCtrlCreate(host.profiles[k.profile].c_str(), k.name, host.drawing(),
                                      kvSelectionExtents);
            if (!k.control) Fail("a kept control could not be built", k.profile);
            k.dead = false;
            k.moved = true;
            k.inHand = true;
            k.dragMatrices = 0;
        }
        profilesLoaded = true;
        for (Kept& k : kept)
            if (k.inHand) Reset(k);
    }

    // Back at rest: no drag, every drag matrix the identity again, every handle shown, the setup
    // at rest and the extents callback given back, and every highlight gone.
    void Reset(Kept& k) {
        GControl* c = k.control;
        dbGCtrlSetState(c, StateIdle, nullptr, 0, 0, 0, 0, 0, 0, 0);
        const GHandleList* handles = dbGCtrlGetHandles(c);
        if (!handles) Fail("a kept control is gone", k.profile);
        for (GHandle* h : *handles) {
            const HandleProperties* params = dbGHandleGetParams(c, h);
            if (params && params->mDrag && !MatrixIsIdentity(params->mDrag)) {
                dbGCtrlSetState(c, StateDragging, h, 0, 0, 0, 0, 0, -1, 0);
                dbGCtrlSetState(c, StateIdle, nullptr, 0, 0, 0, 0, 0, 0, 0);
            }
            dbGHandleSetVisible(c, h, 1);
        }
        if (k.moved && !host.SetupAtRest(c)) Fail("the setup at rest failed", k.profile);
        dbGCtrlShow(c, ShowHidden, 0);
        dbGCtrlShow(c, ShowAll, 0);
        if (k.moved &&
            dbGCtrlCreate(kKnownNames[k.profile], k.name, host.drawing(), kvSelectionExtents) != c)
            Fail("a kept control was not found again by its name", k.profile);
        k.moved = false;
    }

    static long FirstChange(const std::vector<uint64_t>& now, const std::vector<uint64_t>& rest) {
        size_t at = 0;
        while (at < now.size() && at < rest.size() && now[at] == rest[at])
            ++at;
        return long(at);
    }

    [[noreturn]] static void Fail(const char* what, long number) {
        std::fprintf(stderr, "fuzz_exports: %s %ld\n", what, number);
        for (int t = 0; t < KvRecordTypeCount; ++t)
            std::fprintf(stderr, "records of type %d alive: %ld\n", t,
                         kvLiveCount(static_cast<KvRecordType>(t)));
        std::abort();
    }
};

Bench& TheBench() {
    static Bench bench;
    return bench;
}

// [SECTION] One input -------------------------------------------------------------------------

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

int Setup(Program& p, GControl* c) {
    const GControlProperties settings = Settings(p);
    MatrixStruct* control = NewMatrix(p);
    MatrixStruct* rotbar = NewMatrix(p);
    MatrixStruct* selection = NewMatrix(p);
    ExtentsStruct* extents = NewExtents(p);
    ExtentsStruct* extents2 = NewExtents(p);
    VertexStruct* ref = p.Small(4) ? VertexNewEx(p.Number(), p.Number(), p.Number()) : nullptr;
    ViewportStruct* vp = p.Small(5) ? TheBench().host.views[p.Small(2)] : nullptr;
    const int done = dbGCtrlSetup(c, p.Small(6) ? &settings : nullptr, vp, control, extents, ref,
                                  rotbar, selection, extents2);
    MatrixDispose(&control), MatrixDispose(&rotbar), MatrixDispose(&selection);
    ExtentsDispose(&extents), ExtentsDispose(&extents2);
    VertexDispose(&ref);
    return done;
}

// A drag sample: from a pixel of a viewport, as a host makes it, or raw numbers.
KvDragSample Sample(Program& p) {
    Host& host = TheBench().host;
    KvDragSample s{};
    if (p.Small(3) != 0) {
        const double px = p.Byte() * 640.0 / 255, py = p.Byte() * 480.0 / 255;
        if (kvScenePointerMove(host.scene, host.views[p.Small(2)], px, py, &s)) return s;
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

// A profile to create from: a known name finds the kept profile and controls again (a path
// while the profiles may be unloaded, where the name would load the full shipped profile), a
// path makes a new control, and a missing file makes none.
std::string ProfileToCreate(Program& p, const Bench& bench) {
    const uint32_t pick = p.Small(8);
    if (pick == 7) return "NoSuchProfile.qvw";
    const int profile = p.Small(2);
    if (pick < 6 && bench.profilesLoaded) return kKnownNames[profile];
    return bench.host.profiles[profile];
}

struct Input {
    std::array<GControl*, 2> controls{};
    Made made;
    bool mayUnload = false;
};

// A kept control that an export changed needs the setup at rest again. An export that fails
// changes nothing, and the reading after the input checks that.
void MarkMoved(GControl* c, int done) {
    if (Kept* k = TheBench().Find(c); k && done) k->moved = true;
}

void Step(Program& p, Input& in) {
    Bench& bench = TheBench();
    Host& host = bench.host;
    GControl*& c = in.controls[p.Small(2)];
    if (Kept* k = bench.Find(c)) k->inHand = true;
    switch (p.Small(16)) {
    case 0: {
        const std::string profile = ProfileToCreate(p, bench);
        const char* name = p.Small(2) ? "a" : "b";
        DrawingStruct* drawing = p.Small(6) ? host.drawing() : nullptr;
        const ExtentsCallback callback = p.Small(4) ? kvSelectionExtents : nullptr;
        c = dbGCtrlCreate(profile.c_str(), name, drawing, callback);
        bench.NoteDeleted(); // a control that is not usable is made again
        if (Kept* k = bench.Find(c))
            k->inHand = true, MarkMoved(c, callback != kvSelectionExtents);
        else
            in.made.Add(c);
        break;
    }
    case 1:
        MarkMoved(c, Setup(p, c));
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
    case 6: { // only a drag started moves handles (drag steps and imposed matrices need one)
        const KvDragSample s = Sample(p);
        const uint32_t state = p.Small(3);
        MarkMoved(c, dbGCtrlSetState(c, state, SomeHandle(p, c), s.x, s.y, s.z, s.vx, s.vy, s.vz,
                                     p.Byte()) &&
                         state == StateDragging);
        break;
    }
    case 7: {
        MatrixStruct* m = NewMatrix(p);
        dbGCtrlTransform(c, m);
        MatrixDispose(&m);
        break;
    }
    case 8:
        MarkMoved(c, dbGCtrlSetActiveViewport(c, p.Small(4) ? host.views[p.Small(2)] : nullptr));
        break;
    case 9: {
        GHandle* h = SomeHandle(p, c);
        if (const HandleProperties* params = dbGHandleGetParams(c, h))
            (void)std::strlen(params->csName.c_str());
        dbGHandleSetVisible(c, h, p.Small(3));
        dbGHandleGetVisible(c, h);
        break;
    }
    case 10: // a report takes longer than a whole input without one
        if (p.Small(4) == 0) (void)dbGCtrlToString(c).size();
        break;
    case 11: // a kept control deleted is built again after the input
        if (p.Small(4) != 0) break;
        dbGCtrlDelete(c);
        bench.NoteDeleted();
        break;
    case 12:
        if (p.Small(8) == 0 && in.mayUnload && dbGCtrlReload(c) == 1) {
            in.mayUnload = false;
            bench.profilesLoaded = false;
            bench.NoteDeleted();
        }
        break;
    case 13:
        kvViewportZoom(host.views[p.Small(2)], p.Small(2) ? 0.25 : 8.0);
        break;
    case 14:
        kvViewportOrbit(host.views[p.Small(2)], p.Number(), p.Number());
        break;
    case 15:
        if (p.Small(8) == 0 && in.mayUnload) {
            dbDisposeGCtrlManager();
            in.mayUnload = false;
            bench.profilesLoaded = false;
            bench.NoteDeleted();
        }
        break;
    }
}

} // namespace

// libFuzzer runs an input again and scans the whole heap for leaks whenever the input ends with
// more allocations than it started with, which inputs on kept controls often do (a handle's
// first drag matrix, a control's first hover in perspective). The bench scans the heap itself
// after every periodic disposal instead; a -detect_leaks given on the command line wins.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i)
        if (std::strncmp((*argv)[i], "-detect_leaks=", 14) == 0) return 0;
    static char noLeakPass[] = "-detect_leaks=0";
    static std::vector<char*> args(*argv, *argv + *argc + 1);
    args.insert(args.begin() + 1, noLeakPass);
    *argc += 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bench& bench = TheBench();
    Program program(data, size);
    Input in;
    // The first byte: the kept controls the input starts with, and whether it may unload the
    // profiles (building everything again costs as much as a dozen inputs). Runs of zeros or
    // ones, which mutations make often, never unload.
    const uint8_t first = program.Byte();
    in.controls = {bench.kept[first & 3].control, bench.kept[first >> 2 & 3].control};
    in.mayUnload = first >> 3 == 0x15;
    for (int steps = 0; steps < 64 && !program.Done(); ++steps)
        Step(program, in);
    bench.Restore(in.made);
    return 0;
}
