// The diagnostics listener of the current thread and the subject reports are about.
#include "tiller/profile/diagnostics.h"

#include <cmath>

namespace tiller {
namespace {

struct DiagnosticsState {
    const DiagnosticsListener* listener = nullptr;
    GraphicStruct* group = nullptr;
    GraphicStruct* part = nullptr;
};

// Each thread that loads profiles has its own listener, so a tool listening on one thread never
// hears another thread's loads.
thread_local DiagnosticsState state;

struct Axis {
    double x, y, z;
    double Length() const { return std::sqrt(x * x + y * y + z * z); }
};

Axis Cross(const Axis& a, const Axis& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Axis ColumnOf(const MatrixStruct* m, int column) {
    return {m->m[4 * column], m->m[4 * column + 1], m->m[4 * column + 2]};
}

} // namespace

ListenToDiagnostics::ListenToDiagnostics(DiagnosticsListener listener)
    : listener_(std::move(listener)), previous_(state.listener) {
    state.listener = &listener_;
}

ListenToDiagnostics::~ListenToDiagnostics() {
    state.listener = previous_;
}

DiagnosticsSubject::DiagnosticsSubject(GraphicStruct* group, GraphicStruct* part)
    : previousGroup_(state.group), previousPart_(state.part) {
    state.group = group;
    state.part = part;
}

DiagnosticsSubject::~DiagnosticsSubject() {
    state.group = previousGroup_;
    state.part = previousPart_;
}

bool DiagnosticsListening() {
    return state.listener != nullptr;
}

void ReportDiagnostic(DiagnosticCode code, std::string_view key, std::string_view value) {
    if (!state.listener) return;
    (*state.listener)(
        Diagnostic{code, state.group, state.part, std::string(key), std::string(value)});
}

void ReportSingularFrame(const MatrixStruct* frame) {
    if (!state.listener || !frame) return;
    static const char* const names[3] = {"X", "Y", "Z"};
    const Axis axes[3] = {ColumnOf(frame, 0), ColumnOf(frame, 1), ColumnOf(frame, 2)};
    double longest = 0;
    for (const Axis& axis : axes)
        longest = std::fmax(longest, axis.Length());
    for (int i = 0; i < 3; ++i) {
        if (axes[i].Length() <= 1e-9 * longest || longest == 0) {
            ReportDiagnostic(DiagnosticCode::FrameAxisZero, {}, names[i]);
            return;
        }
    }
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3;
        const double sine =
            Cross(axes[i], axes[j]).Length() / (axes[i].Length() * axes[j].Length());
        if (sine <= 1e-7) {
            const int first = i < j ? i : j, second = i < j ? j : i;
            ReportDiagnostic(DiagnosticCode::FrameAxesParallel, {},
                             std::string(names[first]) + " " + names[second]);
            return;
        }
    }
    ReportDiagnostic(DiagnosticCode::FrameAxesParallel, {}, "X Y Z");
}

} // namespace tiller
