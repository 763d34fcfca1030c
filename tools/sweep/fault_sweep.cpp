// The whole-session fault sweep: a host session (create, setup, show, hover, press, drag,
// transform, release, a scale drag that measures the selection, report, hide a handle,
// reload, create again, delete, dispose) run once without faults and then once for every N,
// failing the N-th host-record creation or the N-th operator new, each run in its own
// process forked where the fault-free session reaches the step the fault fires in, up to J at
// once. A run passes when it does not crash, the sanitizers stay quiet, nothing is left
// alive after dispose, and every step either answers as the fault-free run did with the same
// observed state, or answers its failure value and leaves the state as it was. A create or
// reload that loads fewer handles than the fault-free run (a handle or part that does not
// load is dropped) ends the comparison for that run.
//
//   tiller-sweep records|new [--every K] [--from N] [--to N] [--step NAME] [--jobs J]
//                            [--perspective]
//
// Prints the outcomes by step with their counts; exits 1 when any run failed. The viewport is
// a parallel one unless --perspective is given, which takes the drags through their
// perspective measuring planes.
//
// Index
//   [SECTION] Allocation failure
//   [SECTION] Session
//   [SECTION] One run
//   [SECTION] Sweep
#include "korvex/failing_new.h"
#include "korvex/session.h"
#include "korvex/testing.h"
#include "korvex/view.h"
#include "tiller/tiller.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// [SECTION] Allocation failure ----------------------------------------------------------------

namespace {
// Counting runs only while a step of the session runs, never while the driver observes.
bool countAllocations = false;
long allocationsLeft = 0; // the armed failure fires when this reaches zero; 0 is off
long allocationsCounted = 0;
bool allocationFailed = false;
} // namespace

bool KvAllocationShouldFail() noexcept {
    if (!countAllocations) return false;
    ++allocationsCounted;
    if (allocationsLeft <= 0 || --allocationsLeft != 0) return false;
    allocationFailed = true;
    return true;
}

namespace {

// [SECTION] Session ---------------------------------------------------------------------------

enum class Fault { Records, Allocations };

// What the host holds across the whole session; made before any fault is armed.
struct Host {
    KvScene* scene = nullptr;
    ViewportStruct* vp = nullptr;
    ExtentsStruct* extents = nullptr;
    VertexStruct* refPoint = nullptr;
    MatrixStruct* imposed = nullptr;
    KvSetupGeometry geometry{};
    GControl* control = nullptr;
    double hoverX = 0, hoverY = 0; // a pixel over the arrow of the x axis
    long recordsBefore = 0;        // alive when a session starts
    long typesBefore[KvRecordTypeCount] = {};

    void Open(bool perspective) {
        scene = kvSceneNew();
        kvSceneMakeCurrent(scene);
        kvSceneAddBox(scene, {-0.1, -0.1, 0}, {0.1, 0.1, 0.1}, 0x808080);
        vp = kvViewportCreate(kvSceneDrawing(scene), 800, 600);
        if (perspective) kvViewportSetPerspective(vp, 45);
        kvSceneSetupGeometry(scene, &geometry);
        extents = ExtentsNewEx();
        ExtentsSet(extents, geometry.extentsMin.x, geometry.extentsMin.y, geometry.extentsMin.z,
                   geometry.extentsMax.x, geometry.extentsMax.y, geometry.extentsMax.z);
        refPoint = VertexNewEx(geometry.refPoint.x, geometry.refPoint.y, geometry.refPoint.z);
        imposed = MatrixNewEx();
        imposed->m[12] = 0.05;
    }
    void Close() {
        ExtentsDispose(&extents);
        VertexDispose(&refPoint);
        MatrixDispose(&imposed);
        kvSceneDispose(&scene);
    }
};

GHandle* Named(GControl* c, const char* name) {
    if (const GHandleList* list = dbGCtrlGetHandles(c))
        for (GHandle* h : *list)
            if (dbGHandleGetParams(c, h)->csName == name) return h;
    return nullptr;
}

GHandle* Scaling(GControl* c) {
    if (const GHandleList* list = dbGCtrlGetHandles(c))
        for (GHandle* h : *list)
            if (dbGHandleGetParams(c, h)->MovementType == MovementSceneXY) return h;
    return nullptr;
}

GHandle* Move(Host& host, double px, double py) {
    KvDragSample s{};
    if (!kvScenePointerMove(host.scene, host.vp, px, py, &s)) return nullptr;
    uint32_t changed = 0;
    return dbGCtrlDrag(host.control, s.x, s.y, s.z, s.vx, s.vy, s.vz, 0, 0, 0, 0, &changed);
}

int Press(Host& host, GHandle* h, double px, double py) {
    KvDragSample s{};
    if (!kvScenePointerPress(host.scene, host.vp, px, py, &s)) return 0;
    return dbGCtrlSetState(host.control, 1, h, s.x, s.y, s.z, s.vx, s.vy, s.vz, 0);
}

int Release(Host& host) {
    kvScenePointerRelease(host.scene);
    return dbGCtrlSetState(host.control, 0, nullptr, 0, 0, 0, 0, 0, 0, 0);
}

// The copy of the name is the driver's own allocation, never one the session is failed at.
std::string HandleName(GControl* c, GHandle* h) {
    const HandleProperties* p = h ? dbGHandleGetParams(c, h) : nullptr;
    const bool counting = countAllocations;
    countAllocations = false;
    std::string name = p ? p->csName : "";
    countAllocations = counting;
    return name;
}

struct Step {
    const char* name;
    // The answer, as text: 0/1, or the name of the handle answered ("" for null).
    std::function<std::string(Host&)> run;
    bool loads = false; // loads the profile: a dropped handle or part is allowed
};

std::string Flag(int answer) {
    return answer ? "1" : "0";
}

GControl* CreateControl(Host& host) {
    return dbGCtrlCreate("UniversalCtrl.qvw", "sweep", kvSceneDrawing(host.scene),
                         kvSelectionExtents);
}

const std::vector<Step>& Session() {
    static const std::vector<Step> steps = {
        {"create", [](Host& h) { return Flag((h.control = CreateControl(h)) != nullptr); }, true},
        {"setup",
         [](Host& h) {
             const GControlProperties props;
             return Flag(dbGCtrlSetup(h.control, &props, h.vp, &h.geometry.controlCS, h.extents,
                                      h.refPoint, &h.geometry.rotbarCS, &h.geometry.selectionCS,
                                      h.extents));
         }},
        {"show", [](Host& h) { return Flag(dbGCtrlShow(h.control, 1, 1)); }},
        {"hover", [](Host& h) { return HandleName(h.control, Move(h, h.hoverX, h.hoverY)); }},
        {"press",
         [](Host& h) { return Flag(Press(h, Named(h.control, "AxisX"), h.hoverX, h.hoverY)); }},
        {"drag",
         [](Host& h) { return HandleName(h.control, Move(h, h.hoverX + 40, h.hoverY + 5)); }},
        {"transform", [](Host& h) { return Flag(dbGCtrlTransform(h.control, h.imposed)); }},
        {"release", [](Host& h) { return Flag(Release(h)); }},
        {"press scale", [](Host& h) { return Flag(Press(h, Scaling(h.control), 400, 300)); }},
        {"drag scale", [](Host& h) { return HandleName(h.control, Move(h, 430, 280)); }},
        {"release scale", [](Host& h) { return Flag(Release(h)); }},
        {"report", [](Host& h) { return dbGCtrlToString(h.control).empty() ? "0" : "1"; }},
        {"hide handle",
         [](Host& h) {
             return Flag(dbGHandleSetVisible(h.control, Named(h.control, "AxisY"), 0));
         }},
        {"reload", [](Host& h) { return Flag(dbGCtrlReload(h.control)); }},
        {"create again", [](Host& h) { return Flag((h.control = CreateControl(h)) != nullptr); },
         true},
        {"show again", [](Host& h) { return Flag(dbGCtrlShow(h.control, 1, 1)); }},
        {"delete", [](Host& h) { return Flag(dbGCtrlDelete(h.control)); }},
        {"dispose",
         [](Host& h) {
             dbDisposeGCtrlManager();
             h.control = nullptr;
             return std::string("1");
         }},
    };
    return steps;
}

// What a step leaves that a host can see: the report, every handle's visibility and matrices,
// and the display elements of the viewport. With no control it asks the library nothing, which
// would make a manager again.
std::string Observe(Host& host) {
    std::string seen = host.control ? dbGCtrlToString(host.control) : "";
    if (const GHandleList* list = host.control ? dbGCtrlGetHandles(host.control) : nullptr)
        for (GHandle* h : *list) {
            const HandleProperties* p = dbGHandleGetParams(host.control, h);
            seen += "\n" + p->csName + " visible " + Flag(dbGHandleGetVisible(host.control, h));
            for (const MatrixStruct* m : {p->mDrag, p->mHandleCS})
                for (int i = 0; m && i < 16; ++i)
                    seen += " " + std::to_string(m->m[i]);
        }
    for (CRedUIElement* e : kvViewportElements(host.vp)) {
        KvElementInfo info{};
        kvElementGetInfo(e, &info);
        seen += "\nelement " + Flag(info.visible);
    }
    return seen;
}

std::vector<std::string> HandleNames(Host& host) {
    std::vector<std::string> names;
    if (const GHandleList* list = host.control ? dbGCtrlGetHandles(host.control) : nullptr)
        for (GHandle* h : *list)
            names.push_back(dbGHandleGetParams(host.control, h)->csName);
    return names;
}

// Finds a pixel where the pointer hovers over the arrow of the x axis, in a session of its own.
bool FindArrowPixel(Host& host) {
    host.control = CreateControl(host);
    const GControlProperties props;
    bool found = host.control &&
                 dbGCtrlSetup(host.control, &props, host.vp, &host.geometry.controlCS, host.extents,
                              host.refPoint, &host.geometry.rotbarCS, &host.geometry.selectionCS,
                              host.extents) == 1 &&
                 dbGCtrlShow(host.control, 1, 1) == 1;
    for (int py = 0; found && py < 600; py += 4)
        for (int px = 0; px < 800; px += 4) {
            if (HandleName(host.control, Move(host, px, py)) != "AxisX") continue;
            host.hoverX = px, host.hoverY = py;
            dbDisposeGCtrlManager();
            return true;
        }
    dbDisposeGCtrlManager();
    return false;
}

// [SECTION] One run ---------------------------------------------------------------------------

struct Observed {
    std::string answer;
    std::string state;
    std::vector<std::string> handles;
};

// How a run ended; the child's exit status.
enum Outcome : int {
    Identical = 0,    // every step as without the fault
    FailedClean = 20, // a step answered its failure value and changed nothing
    Dropped = 21,     // a load dropped a handle or part
    NotFired = 22,    // the session needs fewer than N
    WrongState = 30,  // an answer of success with another state, or a failure that changed it
    Leaked = 31,      // records or display elements alive after dispose
};

// Arms the fault for the step about to run: `left` counts down over the session.
struct Injector {
    Fault fault;
    long left;
    bool fired = false;

    void Arm() {
        if (fired) return;
        if (fault == Fault::Records)
            kvFailNthCreation(left);
        else
            allocationsLeft = left, countAllocations = true;
    }
    // Stops counting while the driver observes; true when the failure fired in this step.
    bool Disarm(long creationsBefore) {
        if (fired) return false;
        if (fault == Fault::Records) {
            fired = kvFailureFired();
            kvFailNthCreation(0);
            left -= kvCreationCount() - creationsBefore;
        } else {
            countAllocations = false;
            fired = allocationFailed;
            left = allocationsLeft;
        }
        return fired;
    }
};

// The first line where two observations differ, both ways.
std::string FirstDifference(const std::string& a, const std::string& b) {
    size_t line = 0;
    while (true) {
        const size_t endA = a.find('\n', line), endB = b.find('\n', line);
        const std::string lineA = a.substr(line, endA - line), lineB = b.substr(line, endB - line);
        if (lineA != lineB) return lineA + "\n  fault-free: " + lineB;
        if (endA == std::string::npos || endB == std::string::npos) return "(same)";
        line = endA + 1;
    }
}

void Report(const char* step, const char* problem, const std::string& detail) {
    std::fprintf(stderr, "step '%s': %s\n  %s\n", step, problem, detail.c_str());
}

// Runs the session from step `first` on with the fault armed (`n` counts from the start of that
// step), comparing each step with the fault-free run. The host is where the fault-free run is
// before that step.
Outcome RunFaulted(Host& host, const std::vector<Observed>& clean, Fault fault, long n,
                   size_t first) {
    Injector injector{fault, n};
    Outcome outcome = Identical;
    const std::string start = first ? clean[first - 1].state : Observe(host);
    const std::vector<Step>& steps = Session();
    for (size_t i = first; i < steps.size(); ++i) {
        const long creations = kvCreationCount();
        injector.Arm();
        Observed now;
        now.answer = steps[i].run(host);
        const bool firedHere = injector.Disarm(creations);
        // Until the fault fires the run is the fault-free one; after a step that answered
        // differently it may rightly go its own way.
        if (!injector.fired || outcome != Identical) continue;
        now.state = Observe(host);
        if (now.answer == clean[i].answer && now.state == clean[i].state) continue;
        const std::string& before = i > first ? clean[i - 1].state : start;
        const bool failed = now.answer == "0" || now.answer.empty();
        if (firedHere && failed && now.state == before) {
            outcome = FailedClean;
        } else if (firedHere && steps[i].loads && now.answer == "1" &&
                   HandleNames(host).size() <= clean[i].handles.size()) {
            outcome = Dropped;
        } else {
            Report(steps[i].name, failed ? "failed and changed the state" : "wrong state",
                   "answer " + now.answer + " (fault-free " + clean[i].answer + ")\n  " +
                       FirstDifference(now.state, failed ? before : clean[i].state));
            return WrongState;
        }
    }
    if (!injector.fired) return NotFired;
    if (kvLiveTotal() != host.recordsBefore || !kvViewportElements(host.vp).empty()) {
        std::string types;
        for (int t = 0; t < KvRecordTypeCount; ++t)
            if (const long d = kvLiveCount(static_cast<KvRecordType>(t)) - host.typesBefore[t])
                types += " type " + std::to_string(t) + ": " + std::to_string(d);
        Report("dispose", "left records alive", types);
        return Leaked;
    }
    return outcome;
}

// [SECTION] Sweep -----------------------------------------------------------------------------

// The fault-free run: what each step answers and leaves, and how many record creations and
// allocations the session has made by the end of each step.
struct CleanRun {
    std::vector<Observed> steps;
    std::vector<long> creationsBy, allocationsBy;
};

CleanRun RunClean(Host& host) {
    CleanRun run;
    host.control = nullptr;
    const long creationsBefore = kvCreationCount();
    allocationsCounted = 0;
    for (const Step& step : Session()) {
        countAllocations = true;
        Observed now;
        now.answer = step.run(host);
        countAllocations = false;
        run.creationsBy.push_back(kvCreationCount() - creationsBefore);
        run.allocationsBy.push_back(allocationsCounted);
        now.state = Observe(host);
        now.handles = HandleNames(host);
        run.steps.push_back(now);
    }
    return run;
}

const char* OutcomeName(int status) {
    switch (status) {
    case Identical:
        return "identical to the fault-free run";
    case FailedClean:
        return "answered the failure value, state unchanged";
    case Dropped:
        return "loaded with a handle or part dropped";
    case NotFired:
        return "fault never fired";
    case WrongState:
        return "FAILED: silent wrong state";
    case Leaked:
        return "FAILED: records left alive";
    default:
        return "FAILED: crashed or sanitizer report";
    }
}

bool Passed(int status) {
    return status == Identical || status == FailedClean || status == Dropped || status == NotFired;
}

// The faulted runs, each a child process, up to `jobs` at once; their outcomes by the step the
// fault fires in (the same step as in the fault-free run).
struct Children {
    int jobs = 1;
    std::map<pid_t, std::pair<long, size_t>> running; // the run's N and step
    std::map<size_t, std::map<int, long>> counts;
    long runs = 0;

    template <class Run> void Start(long n, size_t step, Run run) {
        while (static_cast<int>(running.size()) >= jobs)
            WaitOne();
        const pid_t child = fork();
        if (child == 0) std::_Exit(run());
        ++runs;
        if (child < 0)
            Finished(n, step, 128);
        else
            running[child] = {n, step};
    }
    void WaitOne() {
        int status = 0;
        const pid_t child = waitpid(-1, &status, 0);
        const auto found = running.find(child);
        if (found == running.end()) return;
        const auto [n, step] = found->second;
        running.erase(found);
        Finished(n, step, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    }
    void WaitAll() {
        while (!running.empty())
            WaitOne();
    }
    void Finished(long n, size_t step, int code) {
        ++counts[step][code];
        if (!Passed(code))
            std::fprintf(stderr, "run %ld (%s): %s (status %d)\n", n, Session()[step].name,
                         OutcomeName(code), code);
    }
};

int Usage() {
    std::fprintf(stderr, "usage: tiller-sweep records|new [--every K] [--from N] [--to N] "
                         "[--step NAME] [--jobs J] [--perspective]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string kind = argv[1];
    if (kind != "records" && kind != "new") return Usage();
    const Fault fault = kind == "records" ? Fault::Records : Fault::Allocations;
    long every = 1, from = 1, to = 0, jobs = 1;
    std::string onlyStep; // only the N range of this step
    bool perspective = false;
    for (int i = 2; i < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--step" && i + 1 < argc) {
            onlyStep = argv[i + 1];
            continue;
        }
        if (option == "--perspective") {
            perspective = true;
            --i;
            continue;
        }
        if (i + 1 == argc) return Usage();
        long* target = option == "--every"  ? &every
                       : option == "--from" ? &from
                       : option == "--to"   ? &to
                       : option == "--jobs" ? &jobs
                                            : nullptr;
        if (!target) return Usage();
        *target = std::atol(argv[i + 1]);
    }
    if (every < 1 || from < 1 || jobs < 1) return Usage();

    Host host;
    host.Open(perspective);
    if (!FindArrowPixel(host)) {
        std::fprintf(stderr, "no pixel hovers over the arrow of the x axis\n");
        return 1;
    }
    // The children start where a whole session leaves the host, so the run they are
    // compared with must start there too: the second of two fault-free runs, the same as
    // the first.
    const CleanRun first = RunClean(host);
    host.recordsBefore = kvLiveTotal();
    for (int t = 0; t < KvRecordTypeCount; ++t)
        host.typesBefore[t] = kvLiveCount(static_cast<KvRecordType>(t));
    const CleanRun cleanRun = RunClean(host);
    const std::vector<Observed>& clean = cleanRun.steps;
    if (kvLiveTotal() != host.recordsBefore) {
        std::fprintf(stderr, "the fault-free session leaves %ld records alive\n",
                     kvLiveTotal() - host.recordsBefore);
        return 1;
    }
    for (size_t i = 0; i < clean.size(); ++i)
        if (clean[i].answer != first.steps[i].answer || clean[i].state != first.steps[i].state) {
            std::fprintf(stderr, "step '%s' differs between two fault-free runs\n",
                         Session()[i].name);
            return 1;
        }
    const std::vector<long>& countBy =
        fault == Fault::Records ? cleanRun.creationsBy : cleanRun.allocationsBy;
    if (to == 0 || to > countBy.back()) to = countBy.back();
    if (!onlyStep.empty()) {
        size_t i = 0;
        while (i < Session().size() && Session()[i].name != onlyStep)
            ++i;
        if (i == Session().size()) return Usage();
        from = std::max(from, i ? countBy[i - 1] + 1 : 1);
        to = std::min(to, countBy[i]);
    }
    std::printf("session: %zu steps, %ld record creations, %ld allocations; failing %s %ld..%ld "
                "every %ld\n",
                Session().size(), cleanRun.creationsBy.back(), cleanRun.allocationsBy.back(),
                kind.c_str(), from, to, every);
    // Where each step's N range ends, so a sweep can be narrowed to one step with --from/--to.
    for (size_t i = 0; i < countBy.size(); ++i)
        std::printf("%s  %s ..%ld", i % 6 ? "" : "\n", Session()[i].name, countBy[i]);
    std::printf("\n");
    std::fflush(stdout);

    // The driver takes the session step by step without a fault; before each step it starts the
    // runs whose fault fires in it, so that no child repeats the steps before.
    Children children;
    children.jobs = static_cast<int>(jobs);
    long n = from;
    for (size_t i = 0; i < Session().size(); ++i) {
        const long stepStart = i ? countBy[i - 1] : 0;
        for (; n <= to && n <= countBy[i]; n += every)
            children.Start(n, i, [&] { return RunFaulted(host, clean, fault, n - stepStart, i); });
        const std::string answer = Session()[i].run(host);
        if (answer != clean[i].answer || Observe(host) != clean[i].state) {
            children.WaitAll();
            std::fprintf(stderr, "step '%s' differs in the driver's fault-free run\n",
                         Session()[i].name);
            return 1;
        }
    }
    children.WaitAll();
    const auto& counts = children.counts;
    const long runs = children.runs;
    bool passed = true;
    std::printf("%ld runs\n", runs);
    for (const auto& [at, outcomes] : counts)
        for (const auto& [code, count] : outcomes) {
            std::printf("  %-14s %7ld  %s\n", Session()[at].name, count, OutcomeName(code));
            passed = passed && Passed(code);
        }
    host.Close();
    return passed ? 0 : 1;
}
