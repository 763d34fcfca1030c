// tiller_icount: the instruction count of each headline operation, measured with callgrind, with
// the wall-time median of a native run beside it. Every case runs in a process of its own (so a
// cold create finds no profile loaded): the program starts itself once under callgrind, which
// collects only inside MeasuredRegion, and once natively for the wall times.
//
//   tiller_icount [FILTER]   every case whose name contains FILTER, as a table
//   tiller_icount --check    the budgeted cases against bench/budgets.h; exit 1 above budget,
//                            77 (skipped) without valgrind
//   tiller_icount --case NAME  one case in this process (what the runner starts)
//
// Index
//   [SECTION] Measured region
//   [SECTION] Cases
//   [SECTION] Runner

#include <cmath>

#include "bench_scene.h"
#include "budgets.h"
#include "korvex/drawing.h"
#include "korvex/testing.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

// [SECTION] Measured region ------------------------------------------------------------------

namespace {
std::vector<double> WallNanoseconds;
}

// Callgrind collects inside this function only (--toggle-collect); kept out of line and unmangled
// so that the runner can name it.
extern "C" __attribute__((noinline)) void MeasuredRegion(const std::function<void()>* work) {
    (*work)();
    asm volatile("" ::: "memory");
}

namespace {

void Measure(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    MeasuredRegion(&work);
    const auto end = std::chrono::steady_clock::now();
    WallNanoseconds.push_back(std::chrono::duration<double, std::nano>(end - start).count());
}

// [SECTION] Cases ----------------------------------------------------------------------------

constexpr const char* FullProfile = "UniversalCtrl.qvw";
constexpr const char* SimpleProfile = "UniversalCtrlSimple.qvw";
// The full profile's handle groups repeated this often: a profile of 216 handles (the
// repeated Bounding_box groups aside, which load once).
constexpr int ProfileRepeats = 8;

std::string SelfPath() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, n) : std::string();
}

std::string TempPath(const char* what) {
    return "/tmp/tiller_icount." + std::to_string(getpid()) + "." + what;
}

bool IsCoordsystemPart(const GraphicStruct* part) {
    KvProperty property;
    for (int i = 0; kvGraphicGetProperty(part, i, &property); ++i)
        if (property.name == "handle_part") return property.value == "coordsystem";
    return false;
}

// Draws the handle's parts `offset` units along Z of its own frame: copies of a handle then lie
// apart on screen.
void ShiftDrawnParts(GraphicStruct* handle, double offset) {
    const MatrixStruct shift{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, offset, 1}};
    GraphicList parts;
    GraphicWalkFillChildsList(handle, nullptr, &parts, 1, 0);
    for (GraphicStruct* part : parts) {
        if (IsCoordsystemPart(part)) continue;
        const MatrixStruct* own = GraphicGetMatrix(part);
        MatrixStruct* moved = own ? MatrixCopyEx(own) : nullptr;
        MatrixMultiplyLeft(&shift, &moved);
        GraphicSetMatrix(part, moved, 0);
        MatrixDispose(&moved);
    }
}

// A profile of the full profile's handle groups repeated `repeats` times, each repetition drawn
// further along its handles' Z axes, written to a file of its own while it lives.
class RepeatedProfile {
  public:
    explicit RepeatedProfile(int repeats) : path_(TempPath("repeated.qvw")) {
        std::string folder = SelfPath();
        folder.erase(folder.rfind('/'));
        DrawingStruct* d =
            kvReadDrawingFile((folder + "/../GCtrlProfiles/" + FullProfile).c_str(), nullptr);
        if (!d) return;
        GraphicStruct* root = DrawingGetModelRoot(d);
        GraphicList groups;
        GraphicWalkFillChildsList(root, nullptr, &groups, 1, 0);
        for (int i = 1; i < repeats; ++i) {
            for (GraphicStruct* group : groups) {
                GraphicStruct* copy = GraphicCopyEx(group, nullptr, 0, 0);
                ShiftDrawnParts(copy, 0.7 * i);
                kvGraphicAddChild(root, copy);
            }
        }
        written_ = kvWriteDrawingFile(d, path_.c_str(), nullptr);
        DrawingDispose(&d);
    }
    ~RepeatedProfile() { std::remove(path_.c_str()); }
    RepeatedProfile(const RepeatedProfile&) = delete;
    RepeatedProfile& operator=(const RepeatedProfile&) = delete;

    // The file's path; empty when it could not be written.
    const char* Path() const { return written_ ? path_.c_str() : ""; }

  private:
    std::string path_;
    bool written_ = false;
};

struct CaseResult {
    bool ok = true;
    std::string note;      // extra figures printed beside the counts
    double kilobytes = -1; // the memory a case measures, for its budget
};

GHandle* HandleNamed(GControl* control, const char* name) {
    for (GHandle* h : *dbGCtrlGetHandles(control))
        if (dbGHandleGetParams(control, h)->csName == name) return h;
    return nullptr;
}

GHandle* Hover(GControl* control, const KvDragSample& s) {
    uint32_t changed = 0;
    return dbGCtrlDrag(control, s.x, s.y, s.z, s.vx, s.vy, s.vz, 0, 0, 0, 0, &changed);
}

// The middle of the run of pixels, from the handle's origin outwards along its X axis on
// screen, where hovering finds that handle: on the arrow's shaft rather than at the origin
// where the handles crowd.
bool PixelOnHandle(BenchScene& bench, GControl* control, const char* name, double* px, double* py) {
    GHandle* h = HandleNamed(control, name);
    if (!h) return false;
    const double* f = dbGHandleGetParams(control, h)->mHandleCS->m;
    double ox, oy, ex, ey;
    bench.PixelOf({f[12], f[13], f[14]}, &ox, &oy);
    bench.PixelOf({f[12] + f[0], f[13] + f[1], f[14] + f[2]}, &ex, &ey);
    const double length = std::hypot(ex - ox, ey - oy);
    if (!(length > 0)) return false;
    double first = -1, last = -1;
    for (double t = 0; t < 600; t += 1) {
        // Any handle of that name: a profile may repeat it.
        GHandle* found =
            Hover(control, bench.Sample(ox + (ex - ox) * t / length, oy + (ey - oy) * t / length));
        const bool hit = found && dbGHandleGetParams(control, found)->csName == name;
        if (hit && first < 0) first = t;
        if (hit) last = t;
        if (!hit && first >= 0) break;
    }
    if (first < 0) return false;
    const double t = (first + last) / 2;
    *px = ox + (ex - ox) * t / length;
    *py = oy + (ey - oy) * t / length;
    return true;
}

enum class Target { Arrow, RefPoint, Far };

// The scene's control and `controls - 1` more of the profile beside it, all set up and shown.
bool HasControls(BenchScene& bench, const char* profile, int controls) {
    if (!bench.Ready()) return false;
    for (int i = 1; i < controls; ++i)
        if (!bench.AddControl(profile, ("c" + std::to_string(i)).c_str())) return false;
    return true;
}

CaseResult HoverCase(const char* profile, bool perspective, Target target, int controls,
                     int samples) {
    BenchScene bench(profile, KvViewIso, perspective);
    if (!HasControls(bench, profile, controls)) return {false, "controls not set up"};
    GControl* control = bench.Control();
    double px = 5, py = 5;
    if (target == Target::Arrow && !PixelOnHandle(bench, control, "AxisX", &px, &py))
        return {false, "the X arrow is not found"};
    if (target == Target::RefPoint) bench.PixelOf(bench.RefPoint(), &px, &py);
    const KvDragSample s = bench.Sample(px, py);
    const bool hit = Hover(control, s) != nullptr;
    if (hit != (target != Target::Far)) return {false, "unexpected hover result"};
    for (int i = 0; i < samples; ++i)
        Measure([&] { Hover(control, s); });
    int enabled = 0;
    for (GHandle* h : *dbGCtrlGetHandles(control))
        enabled += dbGHandleGetVisible(control, h);
    return {true, std::to_string(enabled) + " handles shown"};
}

// Presses 30 pixels right of and 20 above the handle's origin on screen, so that the scale
// routines have a start offset to measure from, then alternates between two samples further
// out so that every step changes the drag matrix.
CaseResult DragCase(const char* profile, const char* handle, bool perspective, int controls,
                    int samples) {
    BenchScene bench(profile, KvViewIso, perspective);
    if (!HasControls(bench, profile, controls)) return {false, "controls not set up"};
    GControl* control = bench.Control();
    GHandle* h = HandleNamed(control, handle);
    if (!h) return {false, "handle not found"};
    const double* f = dbGHandleGetParams(control, h)->mHandleCS->m;
    double px = 0, py = 0;
    bench.PixelOf({f[12], f[13], f[14]}, &px, &py);
    KvDragSample start{};
    if (!kvScenePointerPress(bench.Scene(), bench.Viewport(), px + 30, py - 20, &start))
        return {false, "press missed"};
    if (!dbGCtrlSetState(control, 1, h, start.x, start.y, start.z, start.vx, start.vy, start.vz, 0))
        return {false, "drag not started"};
    const KvDragSample steps[2] = {bench.Sample(px + 45, py - 30), bench.Sample(px + 60, py - 35)};
    Hover(control, steps[1]);
    for (int i = 0; i < samples; ++i)
        Measure([&] { Hover(control, steps[i & 1]); });
    kvScenePointerRelease(bench.Scene());
    return {};
}

CaseResult CreateCase(bool warm, int samples) {
    BenchScene bench(FullProfile, KvViewIso, false);
    if (!bench.Ready()) return {false, "control not set up"};
    DrawingStruct* drawing = kvSceneDrawing(bench.Scene());
    // A cold create follows the unloading of the profile with every control made from it.
    GControl* last = bench.Control();
    for (int i = 0; i < samples; ++i) {
        if (!warm && !dbGCtrlReload(last)) return {false, "reload failed"};
        GControl* made = nullptr;
        Measure([&] { made = dbGCtrlCreate(FullProfile, "made", drawing, kvSelectionExtents); });
        if (!made) return {false, "create failed"};
        if (warm) dbGCtrlDelete(made);
        last = made;
    }
    return {};
}

// Setup that moves the control back and forth, then (when `thenHover`) the first hover after
// it, on the reference point where it now is.
CaseResult SetupCase(bool thenHover, int samples) {
    BenchScene bench(FullProfile, KvViewIso, false);
    if (!bench.Ready()) return {false, "control not set up"};
    GControl* control = bench.Control();
    // Picking measures a handle once, the first time the pointer comes near it; the first
    // round in each place is not counted.
    for (int i = -2; i < samples; ++i) {
        const double dx = (i & 1) ? 0.0 : 0.25;
        double px, py;
        bench.PixelOf(bench.RefPoint(dx), &px, &py);
        const KvDragSample s = bench.Sample(px, py);
        bool ok = true;
        if (i < 0) {
            ok = bench.SetUp(control, dx) && Hover(control, s);
        } else if (thenHover) {
            ok = bench.SetUp(control, dx);
            Measure([&] { ok = ok && Hover(control, s) != nullptr; });
        } else {
            Measure([&] { ok = bench.SetUp(control, dx); });
        }
        if (!ok) return {false, "setup or hover failed"};
    }
    return {};
}

CaseResult ShowCase(int samples) {
    BenchScene bench(FullProfile, KvViewIso, false);
    if (!bench.Ready()) return {false, "control not set up"};
    for (int i = 0; i < samples; ++i)
        Measure([&] { dbGCtrlShow(bench.Control(), i & 1, 0); });
    return {};
}

CaseResult ReportCase(int samples) {
    BenchScene bench(FullProfile, KvViewIso, false);
    if (!bench.Ready()) return {false, "control not set up"};
    size_t length = 0;
    for (int i = 0; i < samples; ++i)
        Measure([&] { length = dbGCtrlToString(bench.Control()).size(); });
    return {length > 0, "report of " + std::to_string(length) + " bytes"};
}

CaseResult DeleteCase(int samples) {
    BenchScene bench(FullProfile, KvViewIso, false);
    if (!bench.Ready()) return {false, "control not set up"};
    for (int i = 0; i < samples; ++i) {
        GControl* made = bench.AddControl(FullProfile, "made");
        if (!made) return {false, "control not added"};
        Measure([&] { dbGCtrlDelete(made); });
    }
    return {};
}

// Heap bytes and host records that one more set-up, shown control takes, averaged over a few.
CaseResult MemoryCase(int samples) {
    BenchScene bench(FullProfile, KvViewIso, false);
    if (!bench.Ready()) return {false, "control not set up"};
    const size_t heapBefore = mallinfo2().uordblks;
    const long recordsBefore = kvLiveTotal();
    for (int i = 0; i < samples; ++i)
        if (!bench.AddControl(FullProfile, ("m" + std::to_string(i)).c_str()))
            return {false, "control not added"};
    const double bytes = double(mallinfo2().uordblks - heapBefore) / samples;
    const double records = double(kvLiveTotal() - recordsBefore) / samples;
    char note[96];
    std::snprintf(note, sizeof note, "%.0f KB and %.0f host records per further control",
                  bytes / 1024, records);
    return {true, note, bytes / 1024};
}

struct Case {
    std::string name;
    int samples;
    std::function<CaseResult(int)> run;
};

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    struct View {
        const char* name;
        bool perspective;
    };
    const View views[] = {{"parallel", false}, {"perspective", true}};
    for (const View& v : views) {
        const std::string suffix = std::string("_") + v.name;
        const bool p = v.perspective;
        cases.push_back({"hover_arrow" + suffix, 20,
                         [=](int n) { return HoverCase(FullProfile, p, Target::Arrow, 1, n); }});
        cases.push_back({"hover_refpoint" + suffix, 20,
                         [=](int n) { return HoverCase(FullProfile, p, Target::RefPoint, 1, n); }});
        cases.push_back({"hover_far" + suffix, 20,
                         [=](int n) { return HoverCase(FullProfile, p, Target::Far, 1, n); }});
        cases.push_back({"hover_arrow_simple" + suffix, 20,
                         [=](int n) { return HoverCase(SimpleProfile, p, Target::Arrow, 1, n); }});
        cases.push_back({"hover_far_simple" + suffix, 20,
                         [=](int n) { return HoverCase(SimpleProfile, p, Target::Far, 1, n); }});
        const char* routines[][2] = {{"move_axis", "AxisX"},
                                     {"move_plane", "PlaneXY"},
                                     {"move_workplane", "Reference_point"},
                                     {"rotate", "RotateZ"},
                                     {"scale_axis", "ScaleX"},
                                     {"scale2_axis", "Scale2X"},
                                     {"scale_plane", "ScalePlaneXY"},
                                     {"scale_grip", "ScaleGripXPlus"},
                                     {"scale_scene_xy", "ScaleSelectionXY"},
                                     {"scale_diagonal", "ScaleDiagonal"}};
        for (const auto& r : routines) {
            const std::string handle = r[1];
            cases.push_back({std::string("drag_") + r[0] + suffix, 20, [=](int n) {
                                 return DragCase(FullProfile, handle.c_str(), p, 1, n);
                             }});
        }
        // Many controls in the drawing, and many handles in the profile.
        cases.push_back({"hover_arrow_100_controls" + suffix, 10,
                         [=](int n) { return HoverCase(FullProfile, p, Target::Arrow, 100, n); }});
        cases.push_back({"hover_far_100_controls" + suffix, 10,
                         [=](int n) { return HoverCase(FullProfile, p, Target::Far, 100, n); }});
        cases.push_back({"drag_move_axis_100_controls" + suffix, 10,
                         [=](int n) { return DragCase(FullProfile, "AxisX", p, 100, n); }});
        cases.push_back({"hover_arrow_216_handles" + suffix, 10, [=](int n) {
                             const RepeatedProfile profile(ProfileRepeats);
                             return HoverCase(profile.Path(), p, Target::Arrow, 1, n);
                         }});
        cases.push_back({"hover_far_216_handles" + suffix, 10, [=](int n) {
                             const RepeatedProfile profile(ProfileRepeats);
                             return HoverCase(profile.Path(), p, Target::Far, 1, n);
                         }});
        cases.push_back({"drag_move_axis_216_handles" + suffix, 10, [=](int n) {
                             const RepeatedProfile profile(ProfileRepeats);
                             return DragCase(profile.Path(), "AxisX", p, 1, n);
                         }});
    }
    cases.push_back({"create_cold", 3, [](int n) { return CreateCase(false, n); }});
    cases.push_back({"create_warm", 10, [](int n) { return CreateCase(true, n); }});
    cases.push_back({"setup_move", 10, [](int n) { return SetupCase(false, n); }});
    cases.push_back({"first_hover_after_setup", 10, [](int n) { return SetupCase(true, n); }});
    cases.push_back({"show_hide", 10, ShowCase});
    cases.push_back({"report", 10, ReportCase});
    cases.push_back({"delete", 10, DeleteCase});
    cases.push_back({"memory_per_control", 5, MemoryCase});
    return cases;
}

// Runs one case here and prints what the runner reads: the wall median and the note.
int RunCase(const std::string& name) {
    for (const Case& c : AllCases()) {
        if (c.name != name) continue;
        const CaseResult r = c.run(c.samples);
        if (!r.ok) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), r.note.c_str());
            return 1;
        }
        std::vector<double> wall = WallNanoseconds;
        double median = 0;
        if (!wall.empty()) {
            std::nth_element(wall.begin(), wall.begin() + wall.size() / 2, wall.end());
            median = wall[wall.size() / 2];
        }
        std::printf("samples %zu\nwall_ns %.0f\nkilobytes %.1f\nnote %s\n", WallNanoseconds.size(),
                    median, r.kilobytes, r.note.c_str());
        return 0;
    }
    std::fprintf(stderr, "no case %s\n", name.c_str());
    return 1;
}

// [SECTION] Runner ---------------------------------------------------------------------------

struct Figures {
    bool ok = false;
    long samples = 0;
    double instructions = -1; // per sample
    double kilobytes = -1;
    double wallNs = 0;
    std::string note;
};

// Reads the "key value" lines of the child's output into the figures.
void ReadChildOutput(const std::string& path, Figures* f) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "samples") f->samples = std::atol(value.c_str());
        if (key == "wall_ns") f->wallNs = std::atof(value.c_str());
        if (key == "kilobytes") f->kilobytes = std::atof(value.c_str());
        if (key == "note") f->note = value;
    }
}

// The total of the "summary:" line of a callgrind output file, or -1.
double CallgrindTotal(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("summary:", 0) == 0) return std::atof(line.c_str() + 8);
    return -1;
}

Figures Run(const std::string& name, bool withWall) {
    Figures f;
    const std::string self = SelfPath();
    const std::string out = TempPath("out"), cg = TempPath("cg");
    const std::string grind = "valgrind --tool=callgrind --collect-atstart=no "
                              "--toggle-collect=MeasuredRegion --callgrind-out-file=" +
                              cg + " '" + self + "' --case " + name + " >" + out + " 2>" + out +
                              ".log";
    if (std::system(grind.c_str()) != 0) {
        f.note = "failed under callgrind (see " + out + ".log)";
        return f;
    }
    ReadChildOutput(out, &f);
    const double total = CallgrindTotal(cg);
    if (f.samples > 0 && total >= 0) f.instructions = total / f.samples;
    std::remove(cg.c_str());
    std::remove((out + ".log").c_str());
    if (withWall) {
        const std::string native = "'" + self + "' --case " + name + " >" + out + " 2>&1";
        if (std::system(native.c_str()) != 0) return f;
        ReadChildOutput(out, &f);
    }
    std::remove(out.c_str());
    // A case that measures no region (memory) reports its note alone.
    f.ok = f.instructions >= 0 || f.samples == 0;
    return f;
}

bool ValgrindPresent() {
    return std::system("valgrind --version >/dev/null 2>&1") == 0;
}

int RunTable(const std::string& filter) {
    std::printf("%-40s %8s %14s %12s  %s\n", "case", "samples", "instr/sample", "wall median", "");
    int failures = 0;
    for (const Case& c : AllCases()) {
        if (c.name.find(filter) == std::string::npos) continue;
        const Figures f = Run(c.name, true);
        failures += !f.ok;
        std::printf("%-40s %8ld %14.0f %9.1f us  %s\n", c.name.c_str(), f.samples, f.instructions,
                    f.wallNs / 1000, f.note.c_str());
        std::fflush(stdout);
    }
    return failures ? 1 : 0;
}

int RunCheck() {
    if (!ValgrindPresent()) {
        std::printf("valgrind is not installed: budgets not checked\n");
        return 77;
    }
    int over = 0;
    for (const tiller_bench::Budget& b : tiller_bench::Budgets) {
        const Figures f = Run(b.name, false);
        const bool memory = b.unit == tiller_bench::Unit::Kilobytes;
        const double figure = memory ? f.kilobytes : f.instructions;
        const double limit = b.limit * (1 + tiller_bench::BudgetTolerance);
        const bool pass = f.ok && figure >= 0 && figure <= limit;
        over += !pass;
        std::printf("%-36s %10.0f %s, budget %ld (was %ld)%s %s\n", b.name, figure,
                    memory ? "KB per control" : "instructions", b.limit, b.before,
                    pass ? "" : "  OVER BUDGET", f.note.c_str());
    }
    return over ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--case") == 0) return RunCase(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "--check") == 0) return RunCheck();
    if (!ValgrindPresent()) {
        std::fprintf(stderr, "tiller_icount needs valgrind (callgrind)\n");
        return 1;
    }
    return RunTable(argc == 2 ? argv[1] : "");
}
