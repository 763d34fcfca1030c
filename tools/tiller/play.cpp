// The session runner. The player is the host application: it owns a scene with the selection
// and one viewport, drives the control only through the exported functions, and turns each
// step into the calls a CAD host makes for that user action.
//
// [SECTION] Output lines
// [SECTION] Opening the session
// [SECTION] Steps
// [SECTION] Entry point
#include "play.h"

#include "sample_models.h"

#include "korvex/cad.h"
#include "korvex/drawing.h"
#include "korvex/session.h"

#include <dlfcn.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace tiller::tools {

namespace {

using Line = nlohmann::ordered_json;
namespace fs = std::filesystem;

// [SECTION] Output lines ---------------------------------------------------------------------

Line MatrixLine(const MatrixStruct* m) {
    if (!m) return nullptr;
    return Line(std::vector<double>(m->m, m->m + 16));
}

const char* ActionName(Step::Action action) {
    static const char* const names[] = {"setup", "show", "render",    "hover",
                                        "press", "drag", "transform", "release",
                                        "view",  "hide", "unhide",    "report"};
    return names[static_cast<int>(action)];
}

MatrixStruct Identity() {
    MatrixStruct m{};
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1;
    return m;
}

MatrixStruct ToMatrix(const Matrix16& m) {
    MatrixStruct out{};
    std::copy(m.begin(), m.end(), out.m);
    return out;
}

// Host records made for one call and released when it returns.
struct SetupRecords {
    ExtentsStruct* extents = nullptr;
    ExtentsStruct* extents2 = nullptr;
    VertexStruct* refPoint = nullptr;
    ~SetupRecords() {
        ExtentsDispose(&extents);
        ExtentsDispose(&extents2);
        VertexDispose(&refPoint);
    }
};

ExtentsStruct* NewExtents(const std::array<KvPoint, 2>& box) {
    ExtentsStruct* e = ExtentsNewEx();
    if (e) ExtentsSet(e, box[0].x, box[0].y, box[0].z, box[1].x, box[1].y, box[1].z);
    return e;
}

class Player {
  public:
    Player(const Session& session, fs::path out, std::ostream& log)
        : session_(session), out_(std::move(out)), log_(log) {}
    ~Player() {
        dbDisposeGCtrlManager();
        kvSceneDispose(&scene_);
    }
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    bool Open(std::string* error);
    void Play();
    GControl* Control() const { return control_; }
    KvScene* Scene() const { return scene_; }
    ViewportStruct* Viewport() const { return vp_; }
    Line Run(const Step& step);
    Line Cancel();
    Line Reload();
    const MatrixStruct* DragMatrix() const;
    // The first file the session could not write, or "".
    const std::string& FailedWrite() const { return failedWrite_; }

  private:
    bool AddSelection(std::string* error);
    bool OpenSelectionFile(std::string* reason);
    void OpenViewport();
    void CreateControl();

    Line Setup(const SetupSpec& given);
    Line Show(int mode);
    Line Render(const std::string& file);
    // The pointer over the step's pixel: dbGCtrlDrag with the host's sample, its answers
    // written into *line.
    GHandle* Pointer(const Step& step, Line* line);
    Line Hover(const Step& step);
    Line Press(const Step& step);
    Line Drag(const Step& step);
    Line Transform(const Matrix16& m);
    Line Release(const Step& step);
    Line View(const ViewChange& change);
    Line SetVisible(const std::string& name, int visible);
    Line Report(const std::string& file);

    // The host's answer to a changed selection or view: the control set up again and shown
    // as it was.
    Line Refresh();
    GHandle* HandleNamed(const std::string& name) const;
    Line HandleName(GHandle* h) const;
    void Snap(const SnapSpec& snap, Line* line);
    void Preview();

    const Session& session_;
    fs::path out_;
    std::string failedWrite_;
    std::ostream& log_;
    KvScene* scene_ = nullptr;
    ViewportStruct* vp_ = nullptr;
    GControl* control_ = nullptr;
    SetupSpec lastSetup_;
    bool setUp_ = false;
    int shownMode_ = -1; // the last show mode, -1 before any
    GHandle* dragged_ = nullptr;
    MatrixStruct pressFrame_{}; // the dragged handle's frame at the press, for snapping
    Step lastDrag_;             // the pointer of the drag in progress
};

// [SECTION] Opening the session ----------------------------------------------------------------

// The file's model, with the named parts selected (all of it when none are named).
bool Player::OpenSelectionFile(std::string* reason) {
    const SelectionSpec& s = session_.selection;
    const fs::path path = fs::path(session_.directory) / s.path;
    KvCadOptions options;
    if (s.deflection > 0) options.relativeDeflection = s.deflection;
    if (!kvSceneOpenFile(scene_, path.c_str(), &options, nullptr, reason)) return false;
    if (!s.parts.empty()) kvSceneClearSelection(scene_);
    for (const std::string& part : s.parts)
        if (!kvSceneSelectByName(scene_, part.c_str(), 1, reason)) return false;
    return true;
}

bool Player::AddSelection(std::string* error) {
    const SelectionSpec& s = session_.selection;
    std::string reason;
    switch (s.kind) {
    case SelectionSpec::Kind::Box:
        if (kvSceneAddBox(scene_, s.boxMin, s.boxMax, 0xB0A898)) return true;
        *error = "the selection box may be flat, but not a line or a point";
        return false;
    case SelectionSpec::Kind::File:
        if (OpenSelectionFile(&reason)) return true;
        *error = "line " + std::to_string(s.line) + ": " + s.path + ": " + reason;
        return false;
    case SelectionSpec::Kind::Model:
        if (AddSampleModel(scene_, s.model)) return true;
        *error = "the sample model " + s.model + " could not be built";
        return false;
    }
    return false;
}

void Player::OpenViewport() {
    const ViewportSpec& v = session_.viewport;
    if (v.perspective) kvViewportSetPerspective(vp_, v.fovY);
    if (v.eye && v.target) {
        kvViewportSetCamera(vp_, *v.eye, *v.target, v.up);
    } else {
        KvViewPreset preset = KvViewIso;
        kvViewPresetFromName(v.view.c_str(), &preset);
        kvViewportSetPreset(vp_, preset);
        ExtentsStruct* box = ExtentsNewEx();
        if (box && kvSceneSelectionExtents(scene_, nullptr, box)) kvViewportFit(vp_, box, 0.7);
        ExtentsDispose(&box);
    }
    if (!v.perspective && v.unitsPerPixel) kvViewportSetParallel(vp_, *v.unitsPerPixel);
}

void Player::CreateControl() {
    control_ = dbGCtrlCreate(session_.profile.c_str(), session_.control.c_str(),
                             kvSceneDrawing(scene_), kvSelectionExtents);
    Line line{{"step", 0}, {"action", "create"}, {"profile", session_.profile}};
    line["control"] = control_ ? Line(session_.control) : Line(nullptr);
    const GHandleList* handles = dbGCtrlGetHandles(control_);
    line["handles"] = handles ? handles->size() : 0;
    log_ << line.dump() << '\n';
}

bool Player::Open(std::string* error) {
    scene_ = kvSceneNew();
    if (!scene_) return *error = "the host could not make the scene drawing", false;
    vp_ =
        kvViewportCreate(kvSceneDrawing(scene_), session_.viewport.width, session_.viewport.height);
    if (!vp_) return *error = "the host could not make the viewport", false;
    if (!AddSelection(error)) return false;
    OpenViewport();
    CreateControl();
    return true;
}

void Player::Play() {
    for (size_t i = 0; i < session_.steps.size(); ++i) {
        const Step& step = session_.steps[i];
        Line line{{"step", i + 1}, {"line", step.line}, {"action", ActionName(step.action)}};
        line.update(Run(step));
        log_ << line.dump() << '\n';
    }
}

// [SECTION] Steps --------------------------------------------------------------------------------

Line Player::Run(const Step& step) {
    switch (step.action) {
    case Step::Action::Setup:
        return Setup(step.setup);
    case Step::Action::Show:
        return Show(step.showMode);
    case Step::Action::Render:
        return Render(step.file);
    case Step::Action::Hover:
        return Hover(step);
    case Step::Action::Press:
        return Press(step);
    case Step::Action::Drag:
        return Drag(step);
    case Step::Action::Transform:
        return Transform(step.matrix);
    case Step::Action::Release:
        return Release(step);
    case Step::Action::View:
        return View(step.view);
    case Step::Action::Hide:
        return SetVisible(step.handleName, 0);
    case Step::Action::Unhide:
        return SetVisible(step.handleName, 1);
    case Step::Action::Report:
        return Report(step.file);
    }
    return {};
}

// What the session gives is used as given; the rest is what the host measures on the
// selection now, so that a setup after a drag follows the moved selection. Without a selection
// what is not given stays null.
Line Player::Setup(const SetupSpec& given) {
    KvSetupGeometry m{};
    const bool measured = kvSceneSetupGeometryAligned(scene_, given.alignToSelection, &m);
    auto frame = [&](const std::optional<Matrix16>& g, const MatrixStruct& host) {
        return g ? std::optional(ToMatrix(*g)) : measured ? std::optional(host) : std::nullopt;
    };
    std::optional<MatrixStruct> controlCS = frame(given.controlCS, m.controlCS);
    std::optional<MatrixStruct> rotbarCS = frame(given.rotbarCS, m.rotbarCS);
    std::optional<MatrixStruct> selectionCS = frame(given.selectionCS, m.selectionCS);
    std::optional<std::array<KvPoint, 2>> box = given.extents;
    if (!box && measured) box = {{m.extentsMin, m.extentsMax}};
    std::optional<KvPoint> ref = given.refPoint;
    if (!ref && measured) ref = m.refPoint;

    SetupRecords records;
    if (box) records.extents = NewExtents(*box);
    if (given.extents2 || box) records.extents2 = NewExtents(given.extents2.value_or(*box));
    if (ref) records.refPoint = VertexNewEx(ref->x, ref->y, ref->z);
    auto address = [](std::optional<MatrixStruct>& f) { return f ? &*f : nullptr; };
    const int result =
        dbGCtrlSetup(control_, &session_.settings, vp_, address(controlCS), records.extents,
                     records.refPoint, address(rotbarCS), address(selectionCS), records.extents2);
    lastSetup_ = given;
    setUp_ = true;
    return {{"result", result}};
}

Line Player::Show(int mode) {
    shownMode_ = mode;
    return {{"mode", mode}, {"result", dbGCtrlShow(control_, static_cast<uint32_t>(mode), 1)}};
}

Line Player::Render(const std::string& file) {
    const fs::path path = out_ / file;
    std::string reason;
    Line line{{"file", path.string()}};
    line["result"] = kvRenderViewportToPng(vp_, path.c_str(), &reason);
    if (!reason.empty()) line["reason"] = reason;
    if (line["result"] == 0 && failedWrite_.empty()) failedWrite_ = path.string();
    return line;
}

GHandle* Player::Pointer(const Step& step, Line* line) {
    (*line)["pixel"] = step.pixel;
    KvDragSample s{};
    if (!kvScenePointerMove(scene_, vp_, step.pixel[0], step.pixel[1], &s)) {
        (*line)["handle"] = nullptr;
        (*line)["reason"] = "the pixel's sight line misses the work plane";
        return nullptr;
    }
    uint32_t changed = 0;
    GHandle* handle = dbGCtrlDrag(control_, s.x, s.y, s.z, s.vx, s.vy, s.vz, step.keys,
                                  step.uniform, step.fromCenter, step.keepSelectionCS, &changed);
    (*line)["handle"] = HandleName(handle);
    (*line)["changed"] = changed;
    return handle;
}

Line Player::Hover(const Step& step) {
    Line line;
    Pointer(step, &line);
    return line;
}

// The host starts a drag on what the user pressed: the handle the pointer is over, found by
// the same hover call the last pointer move made.
Line Player::Press(const Step& step) {
    Line line;
    GHandle* handle = Pointer(step, &line);
    KvDragSample s{};
    if (!handle || !kvScenePointerPress(scene_, vp_, step.pixel[0], step.pixel[1], &s)) {
        line["result"] = 0;
        return line;
    }
    const int result = dbGCtrlSetState(control_, StateDragging, handle, s.x, s.y, s.z, s.vx, s.vy,
                                       s.vz, step.keys);
    line["result"] = result;
    if (!result) {
        kvScenePointerRelease(scene_);
        return line;
    }
    dragged_ = handle;
    // The control shows its drag looks (the active part, the statics) when shown again.
    if (shownMode_ >= 0) line["show"] = Show(shownMode_)["result"];
    const HandleProperties* params = dbGHandleGetParams(control_, handle);
    pressFrame_ = params && params->mHandleCS ? *params->mHandleCS : Identity();
    lastDrag_ = step;
    return line;
}

Line Player::Drag(const Step& step) {
    Line line;
    Pointer(step, &line);
    line["mDrag"] = MatrixLine(DragMatrix());
    if (dragged_) lastDrag_ = step;
    if (dragged_ && step.snap) Snap(*step.snap, &line);
    Preview();
    return line;
}

// Snapping as a CAD host does it: the control's own matrix, rounded to the host's steps in
// the frame the handle had at the press, imposed back on the drag.
void Player::Snap(const SnapSpec& snap, Line* line) {
    const MatrixStruct* drag = DragMatrix();
    if (!drag) return;
    const KvSnapSteps steps{snap.move, snap.rotateDegrees, snap.scale};
    MatrixStruct snapped{};
    if (!kvSnapDragMatrix(drag, &pressFrame_, &steps, &snapped)) {
        (*line)["snapped"] = 0;
        return;
    }
    (*line)["snapped"] = dbGCtrlTransform(control_, &snapped);
    (*line)["mDrag"] = MatrixLine(DragMatrix());
}

Line Player::Transform(const Matrix16& m) {
    MatrixStruct matrix = ToMatrix(m);
    Line line{{"result", dbGCtrlTransform(control_, &matrix)}};
    line["mDrag"] = MatrixLine(DragMatrix());
    Preview();
    return line;
}

// The selection follows the drag on screen; the release places it for good.
void Player::Preview() {
    if (const MatrixStruct* drag = DragMatrix()) kvScenePreviewSelection(scene_, drag);
}

// The release ends the drag where the pointer was let go, applies the total drag to the
// selection, and sets the control up over the moved selection.
Line Player::Release(const Step& step) {
    Line line{{"pixel", step.pixel}};
    if (!dragged_) {
        line["result"] = dbGCtrlSetState(control_, StateIdle, nullptr, 0, 0, 0, 0, 0, 0, 0);
        return line;
    }
    if (step.pixel != lastDrag_.pixel) {
        Step last = lastDrag_;
        last.pixel = step.pixel;
        Drag(last);
    }
    const MatrixStruct* drag = DragMatrix();
    const MatrixStruct applied = drag ? *drag : Identity();
    line["mDrag"] = MatrixLine(drag);
    line["result"] = dbGCtrlSetState(control_, StateIdle, nullptr, 0, 0, 0, 0, 0, 0, 0);
    kvScenePointerRelease(scene_);
    dragged_ = nullptr;
    line["applied"] = kvSceneTransformSelection(scene_, &applied);
    line.update(Refresh());
    return line;
}

// Esc during a drag: the drag ends where it started and the selection goes back unchanged.
Line Player::Cancel() {
    Line line{{"cancelled", dragged_ != nullptr}};
    if (!dragged_) return line;
    line["result"] = dbGCtrlSetState(control_, 0, nullptr, 0, 0, 0, 0, 0, 0, 0);
    kvScenePointerRelease(scene_);
    kvScenePreviewSelection(scene_, nullptr);
    dragged_ = nullptr;
    line.update(Refresh());
    return line;
}

// A profile edited on disk: the control is built again from the file and set up and shown as
// it was. Without a control (the file did not load) there is nothing to unload first.
Line Player::Reload() {
    if (dragged_) Cancel();
    Line line{{"unloaded", control_ ? dbGCtrlReload(control_) : 0}};
    CreateControl();
    line["control"] = control_ != nullptr;
    line.update(Refresh());
    return line;
}

Line Player::View(const ViewChange& change) {
    if (change.preset) {
        KvViewPreset preset = KvViewIso;
        kvViewPresetFromName(change.preset->c_str(), &preset);
        kvViewportSetPreset(vp_, preset);
    }
    if (change.orbit) kvViewportOrbit(vp_, (*change.orbit)[0], (*change.orbit)[1]);
    if (change.pan) kvViewportPan(vp_, (*change.pan)[0], (*change.pan)[1]);
    if (change.zoom) kvViewportZoom(vp_, *change.zoom);
    const KvViewInfo info = kvViewportInfo(vp_);
    Line line{{"eye", {info.eye.x, info.eye.y, info.eye.z}},
              {"target", {info.target.x, info.target.y, info.target.z}}};
    if (!info.perspective) line["unitsPerPixel"] = info.unitsPerPixel;
    if (!dragged_) line.update(Refresh());
    return line;
}

Line Player::Refresh() {
    Line line;
    if (!setUp_) return line;
    line["setup"] = Setup(lastSetup_)["result"];
    if (shownMode_ >= 0) line["show"] = Show(shownMode_)["result"];
    return line;
}

Line Player::SetVisible(const std::string& name, int visible) {
    GHandle* handle = HandleNamed(name);
    return {{"handle", HandleName(handle)},
            {"result", dbGHandleSetVisible(control_, handle, static_cast<uint32_t>(visible))}};
}

Line Player::Report(const std::string& file) {
    const fs::path path = out_ / file;
    const std::string text = dbGCtrlToString(control_);
    std::ofstream out(path);
    out << text;
    out.close();
    if (!out) {
        if (failedWrite_.empty()) failedWrite_ = path.string();
        return {{"file", path.string()}, {"result", 0}, {"reason", "cannot write the file"}};
    }
    return {{"file", path.string()}, {"lines", std::count(text.begin(), text.end(), '\n')}};
}

GHandle* Player::HandleNamed(const std::string& name) const {
    const GHandleList* handles = dbGCtrlGetHandles(control_);
    if (!handles || name.empty()) return nullptr;
    for (GHandle* h : *handles)
        if (dbGHandleGetParams(control_, h)->csName == name) return h;
    return nullptr;
}

Line Player::HandleName(GHandle* h) const {
    const HandleProperties* params = h ? dbGHandleGetParams(control_, h) : nullptr;
    return params ? Line(params->csName) : Line(nullptr);
}

const MatrixStruct* Player::DragMatrix() const {
    const HandleProperties* params = dragged_ ? dbGHandleGetParams(control_, dragged_) : nullptr;
    return params ? params->mDrag : nullptr;
}

} // namespace

// [SECTION] Entry point
// ----------------------------------------------------------------------------

int PlaySession(const Session& session, const std::string& outDir, std::ostream& log,
                std::ostream& errors) {
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (ec) {
        errors << "cannot make " << outDir << ": " << ec.message() << '\n';
        return 1;
    }
    Player player(session, outDir, log);
    std::string error;
    if (!player.Open(&error)) {
        errors << (session.name.empty() ? "" : session.name + ": ") << error << '\n';
        return 1;
    }
    player.Play();
    if (!player.FailedWrite().empty()) {
        errors << "cannot write " << player.FailedWrite() << '\n';
        return 1;
    }
    return 0;
}

namespace {

// Where the library looks for a profile given by name: in the folder above the host library's.
fs::path ProfileFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&kvReadDrawingFile), &info) || !info.dli_fname) return {};
    return fs::path(info.dli_fname).parent_path().parent_path() / "GCtrlProfiles";
}

std::string WhyNoProfile(const std::string& profile) {
    for (const fs::path& file : {fs::path(profile), ProfileFolder() / profile}) {
        std::error_code ec;
        if (!fs::exists(file, ec)) continue;
        std::string reason;
        DrawingStruct* drawing = kvReadDrawingFile(file.c_str(), &reason);
        if (!drawing) return reason;
        DrawingDispose(&drawing);
        return "the drawing reads, but holds no handle the library can use";
    }
    return "no such file, nor a profile of that name in " + ProfileFolder().string();
}

} // namespace

int PrintProfileReport(const std::string& profile, std::ostream& out, std::ostream& errors) {
    Session session;
    session.profile = profile;
    session.control = "report";
    session.steps.resize(2);
    session.steps[0].action = Step::Action::Setup;
    session.steps[1].action = Step::Action::Show;
    std::ostringstream log;
    Player player(session, ".", log);
    std::string error;
    if (!player.Open(&error)) {
        errors << error << '\n';
        return 1;
    }
    player.Play();
    if (!player.Control()) {
        errors << "no control could be built from " << profile << ": " << WhyNoProfile(profile)
               << '\n';
        return 1;
    }
    out << dbGCtrlToString(player.Control());
    return 0;
}

struct LiveSession::Impl {
    explicit Impl(const Session& s) : session(s), player(session, ".", log) {}
    Session session;
    std::ostringstream log;
    Player player;
};

LiveSession::LiveSession(const Session& session) : impl_(std::make_unique<Impl>(session)) {}
LiveSession::~LiveSession() = default;

std::unique_ptr<LiveSession> LiveSession::Open(const Session& session, std::string* error) {
    std::unique_ptr<LiveSession> live(new LiveSession(session));
    if (!live->impl_->player.Open(error)) return nullptr;
    return live;
}

nlohmann::ordered_json LiveSession::Run(const Step& step) {
    return impl_->player.Run(step);
}
nlohmann::ordered_json LiveSession::Cancel() {
    return impl_->player.Cancel();
}
nlohmann::ordered_json LiveSession::Reload() {
    return impl_->player.Reload();
}
GControlProperties& LiveSession::Settings() {
    return impl_->session.settings;
}
KvScene* LiveSession::Scene() const {
    return impl_->player.Scene();
}
ViewportStruct* LiveSession::Viewport() const {
    return impl_->player.Viewport();
}
GControl* LiveSession::Control() const {
    return impl_->player.Control();
}
const MatrixStruct* LiveSession::DragMatrix() const {
    return impl_->player.DragMatrix();
}

} // namespace tiller::tools
