// The host behind `tiller view`: requests of the page turned into the steps `tiller play` runs,
// and answers that carry what changed on screen.
//
// [SECTION] Starting
// [SECTION] Checking requests
// [SECTION] Requests
// [SECTION] What the page shows
// [SECTION] Live profile
#include "viewer.h"

#include "control_settings.h"
#include "sample_models.h"

#include "korvex/cad.h"
#include "korvex/drawing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

namespace tiller::tools {

namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

Json MatrixJson(const MatrixStruct& m) {
    return Json(std::vector<double>(m.m, m.m + 16));
}

Json PointJson(const KvPoint& p) {
    return Json::array({p.x, p.y, p.z});
}

// The file's modification time and size, or empty when it cannot be read.
std::string FileStamp(const std::string& path) {
    std::error_code ec;
    const auto time = fs::last_write_time(path, ec);
    if (ec) return {};
    const auto size = fs::file_size(path, ec);
    if (ec) return {};
    return std::to_string(time.time_since_epoch().count()) + ":" + std::to_string(size);
}

} // namespace

// [SECTION] Starting ---------------------------------------------------------------------------

namespace {

// The files the host opens as a model, by extension.
constexpr std::array<const char*, 9> kModelExtensions = {".step", ".stp",  ".iges", ".igs", ".stl",
                                                         ".obj",  ".gltf", ".glb",  ".qvw"};

// The name with anything but letters, digits, dots, dashes and underscores replaced.
std::string SafeFileName(std::string name) {
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
            c = '_';
    return name.substr(0, 120);
}

bool IsModelFile(const std::string& name) {
    std::string extension = fs::path(name).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(kModelExtensions.begin(), kModelExtensions.end(), extension) !=
           kModelExtensions.end();
}

std::string ModelExtensions() {
    std::string list;
    for (const char* e : kModelExtensions)
        list += (list.empty() ? "" : " ") + std::string(e);
    return list;
}

} // namespace

bool ReadViewSource(const std::string& source, const std::string& profile, ViewSource* out,
                    std::string* error) {
    Session& s = out->session;
    const auto isFile = [](const std::string& path) {
        std::error_code ec;
        return fs::is_regular_file(path, ec);
    };
    const std::string extension = fs::path(source).extension().string();
    if (source.empty()) {
        s.selection.kind = SelectionSpec::Kind::Model;
        s.selection.model = "bracket";
    } else if (extension == ".json") {
        if (!ReadSessionFile(source, &s, error)) return *error = source + ": " + *error, false;
    } else if (IsModelFile(source)) {
        if (!isFile(source)) return *error = source + ": no such file", false;
        s.selection.kind = SelectionSpec::Kind::File;
        s.selection.path = fs::absolute(source).string();
    } else {
        const auto& names = SampleModelNames();
        if (std::find(names.begin(), names.end(), source) == names.end()) {
            *error = source + ": neither a session (.json), a model file (" + ModelExtensions() +
                     ") nor a sample model";
            return false;
        }
        s.selection.kind = SelectionSpec::Kind::Model;
        s.selection.model = source;
    }
    if (s.profile.empty()) s.profile = "UniversalCtrl.qvw";
    if (!profile.empty()) s.profile = profile;
    // A path is watched; a shipped name is read once from the profile folder.
    if (s.profile.find('/') != std::string::npos || isFile(s.profile)) {
        if (!isFile(s.profile)) return *error = s.profile + ": no such profile file", false;
        s.profile = fs::absolute(s.profile).string();
        out->profileFile = s.profile;
    }
    return true;
}

std::unique_ptr<Viewer> Viewer::Open(const ViewSource& source, std::string* error) {
    std::unique_ptr<LiveSession> live =
        LiveSession::Open(source.session, kMaxModelTriangles, error);
    if (!live) return nullptr;
    std::unique_ptr<Viewer> viewer(new Viewer(source, std::move(live)));
    if (!viewer->live_->Control()) viewer->profileError_ = "no control could be built";
    return viewer;
}

Viewer::Viewer(const ViewSource& source, std::unique_ptr<LiveSession> live)
    : source_(source), live_(std::move(live)) {
    Step setup;
    live_->Run(setup);
    Step show;
    show.action = Step::Action::Show;
    live_->Run(show);
    if (!source_.profileFile.empty()) profileStamp_ = FileStamp(source_.profileFile);
}

// [SECTION] Checking requests ------------------------------------------------------------------

namespace {

enum class Kind { Number, Bool, Text, Pair, Object, Points };

struct Field {
    const char* name;
    Kind kind;
    bool required = false;
};

bool IsFiniteNumber(const nlohmann::json& v) {
    return v.is_number() && std::isfinite(v.get<double>());
}

bool HasKind(const nlohmann::json& v, Kind kind) {
    switch (kind) {
    case Kind::Number:
        return IsFiniteNumber(v);
    case Kind::Bool:
        return v.is_boolean();
    case Kind::Text:
        return v.is_string();
    case Kind::Pair:
        return v.is_array() && v.size() == 2 && IsFiniteNumber(v[0]) && IsFiniteNumber(v[1]);
    case Kind::Object:
        return v.is_object();
    case Kind::Points:
        return v.is_array() && v.size() <= 1000 &&
               std::all_of(v.begin(), v.end(), [](const nlohmann::json& p) {
                   return p.is_array() && p.size() == 3 &&
                          std::all_of(p.begin(), p.end(), IsFiniteNumber);
               });
    }
    return false;
}

const char* KindName(Kind kind) {
    static const char* const names[] = {"a finite number", "true or false", "a string",
                                        "two numbers",     "an object",     "up to 1000 [x, y, z]"};
    return names[static_cast<int>(kind)];
}

// The reason the request does not have exactly these fields, or empty.
std::string CheckFields(const nlohmann::json& request, std::initializer_list<Field> fields) {
    if (!request.is_object()) return "the request must be a JSON object";
    for (const auto& [key, value] : request.items()) {
        const auto f = std::find_if(fields.begin(), fields.end(),
                                    [&](const Field& field) { return key == field.name; });
        if (f == fields.end()) return "unknown field \"" + key + "\"";
        if (!HasKind(value, f->kind)) return "\"" + key + "\" must be " + KindName(f->kind);
    }
    for (const Field& f : fields)
        if (f.required && !request.contains(f.name))
            return std::string("\"") + f.name + "\" is missing";
    return {};
}

bool InRange(const nlohmann::json& request, const char* key, double lo, double hi) {
    if (!request.contains(key)) return true;
    const double v = request[key].get<double>();
    return v >= lo && v <= hi;
}

std::string CheckSize(const nlohmann::json& request) {
    if (request.contains("width") != request.contains("height"))
        return "\"width\" and \"height\" come together";
    if (!InRange(request, "width", 1, 8192) || !InRange(request, "height", 1, 8192))
        return "the canvas size must be 1 to 8192 pixels";
    return {};
}

// A request's object field, or an empty object.
nlohmann::json ObjectField(const nlohmann::json& request, const char* key) {
    return request.value(key, nlohmann::json::object());
}

std::string CheckSettings(const nlohmann::json& request) {
    const nlohmann::json settings = ObjectField(request, "settings"),
                         snap = ObjectField(request, "snap");
    for (const auto& [name, value] : settings.items()) {
        const bool known = std::any_of(kControlSettings.begin(), kControlSettings.end(),
                                       [&](const ControlSetting& s) { return s.name == name; });
        if (!known) return "unknown setting \"" + name + "\"";
        if (!IsFiniteNumber(value) || std::fabs(value.get<double>()) > 1e6)
            return "setting \"" + name + "\" must be a number";
    }
    for (const auto& [name, value] : snap.items()) {
        if (name != "move" && name != "rotate" && name != "scale")
            return "unknown snap step \"" + name + "\"";
        if (!IsFiniteNumber(value) || value.get<double>() < 0)
            return "snap step \"" + name + "\" must be a number of at least 0";
    }
    return {};
}

// The reason a request named `name` is malformed, or empty.
std::string CheckRequest(const std::string& name, const nlohmann::json& request) {
    if (name == "open") {
        const std::string fields =
            CheckFields(request, {{"width", Kind::Number, true}, {"height", Kind::Number, true}});
        return fields.empty() ? CheckSize(request) : fields;
    }
    if (name == "pointer") {
        std::string fields = CheckFields(request, {{"type", Kind::Text, true},
                                                   {"x", Kind::Number},
                                                   {"y", Kind::Number},
                                                   {"shift", Kind::Bool},
                                                   {"ctrl", Kind::Bool},
                                                   {"alt", Kind::Bool}});
        if (!fields.empty()) return fields;
        const std::string type = request["type"];
        if (type != "move" && type != "press" && type != "release" && type != "cancel")
            return "\"type\" must be move, press, release or cancel";
        if (type != "cancel" && !(request.contains("x") && request.contains("y")))
            return "a pointer needs \"x\" and \"y\"";
        if (!InRange(request, "x", -1e5, 1e5) || !InRange(request, "y", -1e5, 1e5))
            return "the pixel is far outside the canvas";
        return {};
    }
    if (name == "view") {
        std::string fields = CheckFields(request, {{"preset", Kind::Text},
                                                   {"orbit", Kind::Pair},
                                                   {"pan", Kind::Pair},
                                                   {"zoom", Kind::Number},
                                                   {"at", Kind::Pair},
                                                   {"projection", Kind::Text},
                                                   {"width", Kind::Number},
                                                   {"height", Kind::Number}});
        if (!fields.empty()) return fields;
        KvViewPreset preset{};
        if (request.contains("preset") &&
            !kvViewPresetFromName(request["preset"].get<std::string>().c_str(), &preset))
            return "unknown view preset";
        if (request.contains("projection") && request["projection"] != "parallel" &&
            request["projection"] != "perspective")
            return "\"projection\" must be parallel or perspective";
        if (!InRange(request, "zoom", 0.01, 100)) return "\"zoom\" must be 0.01 to 100";
        return CheckSize(request);
    }
    if (name == "settings") {
        const std::string fields =
            CheckFields(request, {{"settings", Kind::Object}, {"snap", Kind::Object}});
        return fields.empty() ? CheckSettings(request) : fields;
    }
    if (name == "pixels") return CheckFields(request, {{"points", Kind::Points, true}});
    return CheckFields(request, {});
}

} // namespace

// [SECTION] Requests ---------------------------------------------------------------------------

Viewer::Answer Viewer::Handle(const std::string& name, const nlohmann::json& request) {
    static const std::set<std::string> names{"open",  "pointer", "view",   "settings", "undo",
                                             "frame", "state",   "pixels", "report"};
    if (!names.count(name)) return {404, {{"error", "no such request: " + name}}};
    const std::string reason = CheckRequest(name, request);
    if (!reason.empty()) return {400, {{"error", reason}}};
    if (name == "open") return {200, Open(request)};
    if (name == "pointer") return {200, Pointer(request)};
    if (name == "view") return {200, View(request)};
    if (name == "settings") return {200, Settings(request)};
    if (name == "undo") return {200, Undo()};
    if (name == "pixels") return {200, Pixels(request)};
    if (name == "report") return {200, Report()};
    if (name == "state") return {200, Status()};
    return {200, Frame()};
}

// A page (new or reloaded) holds nothing yet: everything is sent again.
Json Viewer::Open(const nlohmann::json& request) {
    sentLooks_.clear();
    sentCamera_ = sentShown_ = nullptr;
    Resize(request["width"], request["height"]);
    Json answer = Frame();
    answer["panel"] = Panel();
    return answer;
}

Step Viewer::PointerStep(Step::Action action, const nlohmann::json& request) const {
    Step step;
    step.action = action;
    step.pixel = {request["x"].get<double>(), request["y"].get<double>()};
    // Shift asks for a uniform scale, Alt for a scale about the centre, Ctrl for equal X and Y
    // (the key-state bit the XY scale reads).
    step.uniform = request.value("shift", false);
    step.fromCenter = request.value("alt", false);
    step.keys = request.value("ctrl", false) ? 4 : 0;
    if (snap_.move > 0 || snap_.rotateDegrees > 0 || snap_.scale > 0) step.snap = snap_;
    return step;
}

// A press with no handle under the pointer starts a click, which selects at the release unless
// the pointer went further than a few pixels meanwhile.
Json Viewer::Pointer(const nlohmann::json& request) {
    const std::string type = request["type"];
    const bool dragging = live_->DragMatrix() != nullptr;
    const Step step = type == "cancel" ? Step() : PointerStep(Step::Action::Hover, request);
    if (clickAt_ && (type == "cancel" || std::hypot(step.pixel[0] - (*clickAt_)[0],
                                                    step.pixel[1] - (*clickAt_)[1]) > 4))
        clickAt_.reset();
    Json line;
    if (type == "cancel") {
        line = live_->Cancel();
    } else if (type == "move") {
        line =
            live_->Run(PointerStep(dragging ? Step::Action::Drag : Step::Action::Hover, request));
    } else if (type == "press") {
        line = live_->Run(PointerStep(Step::Action::Press, request));
        if (line.value("result", 0) != 1) clickAt_ = step.pixel;
    } else if (clickAt_) {
        clickAt_.reset();
        line = live_->Select(step.pixel, request.value("ctrl", false));
    } else {
        line = live_->Run(PointerStep(Step::Action::Release, request));
        if (line.value("applied", 0) == 1 && line["mDrag"].is_array()) {
            MatrixStruct m{};
            for (int i = 0; i < 16; ++i)
                m.m[i] = line["mDrag"][i];
            undo_.push_back({m, kvSceneSelection(live_->Scene())});
            applied_ = m;
        }
    }
    if (line.contains("handle"))
        hovered_ = line["handle"].is_string() ? line["handle"].get<std::string>() : "";
    Json answer = Frame();
    answer["result"] = line;
    return answer;
}

void Viewer::Resize(int width, int height) {
    const KvViewInfo info = kvViewportInfo(live_->Viewport());
    if (info.width == width && info.height == height) return;
    kvViewportSetSize(live_->Viewport(), width, height);
    Refresh();
}

// The host's answer to a changed view or selection: the control set up again and shown.
void Viewer::Refresh() {
    if (live_->DragMatrix()) return;
    Step view;
    view.action = Step::Action::View;
    live_->Run(view);
}

Json Viewer::View(const nlohmann::json& request) {
    if (live_->DragMatrix()) return Frame(); // the view holds still while a drag runs
    ViewportStruct* vp = live_->Viewport();
    if (request.contains("width")) Resize(request["width"], request["height"]);
    if (request.contains("projection")) {
        const KvViewInfo info = kvViewportInfo(vp);
        if (request["projection"] == "perspective" && !info.perspective)
            kvViewportSetPerspective(vp, source_.session.viewport.fovY);
        if (request["projection"] == "parallel" && info.perspective)
            kvViewportSetParallel(vp, kvViewportUnitsPerPixelAt(vp, info.target));
    }
    Step step;
    step.action = Step::Action::View;
    if (request.contains("preset")) step.view.preset = request["preset"].get<std::string>();
    if (request.contains("orbit")) step.view.orbit = request["orbit"].get<std::array<double, 2>>();
    if (request.contains("pan")) step.view.pan = request["pan"].get<std::array<double, 2>>();
    // Zooming at a pixel: that pixel is brought to the centre, zoomed about, and put back.
    std::array<double, 2> shift{0, 0};
    if (request.contains("zoom")) {
        step.view.zoom = request["zoom"].get<double>();
        if (request.contains("at")) {
            const KvViewInfo info = kvViewportInfo(vp);
            shift = {info.width / 2.0 - request["at"][0].get<double>(),
                     info.height / 2.0 - request["at"][1].get<double>()};
            kvViewportPan(vp, shift[0], shift[1]);
        }
    }
    live_->Run(step);
    if (shift != std::array<double, 2>{0, 0}) {
        kvViewportPan(vp, -shift[0], -shift[1]);
        Refresh();
    }
    return Frame();
}

Json Viewer::Settings(const nlohmann::json& request) {
    const nlohmann::json settings = ObjectField(request, "settings");
    for (const auto& [name, value] : settings.items())
        SetControlSetting(&live_->Settings(), name, value.get<double>());
    const nlohmann::json snap = ObjectField(request, "snap");
    snap_.move = snap.value("move", snap_.move);
    snap_.rotateDegrees = snap.value("rotate", snap_.rotateDegrees);
    snap_.scale = snap.value("scale", snap_.scale);
    Refresh();
    Json answer = Frame();
    answer["panel"] = Panel();
    return answer;
}

// Undo selects again what the last drag applied moved, and puts it back by the drag's inverse.
Json Viewer::Undo() {
    Json answer;
    MatrixStruct* inverse = undo_.empty() ? nullptr : MatrixOrthoInvertEx(&undo_.back().drag);
    int undone = 0;
    if (inverse && !live_->DragMatrix()) {
        KvScene* scene = live_->Scene();
        kvSceneClearSelection(scene);
        for (GraphicStruct* g : undo_.back().moved)
            kvSceneSelect(scene, g, 1);
        undone = kvSceneTransformSelection(scene, inverse);
        undo_.pop_back();
        applied_.reset();
        Refresh();
    }
    MatrixDispose(&inverse);
    answer = Frame();
    answer["result"] = {{"undone", undone}};
    return answer;
}

Json Viewer::Pixels(const nlohmann::json& request) {
    Json pixels = Json::array();
    for (const nlohmann::json& p : request["points"]) {
        double px = 0, py = 0;
        const KvPoint world{p[0].get<double>(), p[1].get<double>(), p[2].get<double>()};
        if (kvViewportWorldToPixel(live_->Viewport(), world, &px, &py))
            pixels.push_back({px, py});
        else
            pixels.push_back(nullptr);
    }
    return {{"pixels", pixels}};
}

Json Viewer::Report() {
    return {{"report", dbGCtrlToString(live_->Control())}};
}

// A file dropped on the page: written under its own name to a folder of the viewer's, opened
// there in place of the model, and removed again (the model is read whole). The model's items
// the page holds go, and the drags of the old model cannot be undone any more.
Viewer::Answer Viewer::OpenFile(const std::string& name, const std::string& bytes) {
    const std::string shown = fs::path(name).filename().string();
    if (shown.empty()) return {400, {{"error", "the file has no name"}}};
    if (!IsModelFile(shown))
        return {400, {{"error", shown + ": not a model file (" + ModelExtensions() + ")"}}};
    if (bytes.size() > kMaxModelFileBytes)
        return {413,
                {{"error", shown + ": larger than the limit of " +
                               std::to_string(kMaxModelFileBytes >> 20) + " MB"}}};
    const fs::path file = ScratchFile(SafeFileName(shown));
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    const Json line =
        out && !file.empty() ? live_->OpenFile(file.string()) : Json{{"reason", "cannot store it"}};
    std::error_code ec;
    if (!file.empty()) fs::remove_all(file.parent_path(), ec);
    if (line.value("opened", 0) != 1)
        return {422,
                {{"error", shown + ": " + line.value("reason", std::string("cannot be opened"))}}};
    for (const auto& [graphic, id] : pieceIds_) {
        removed_.push_back(id);
        sentLooks_.erase(id);
    }
    pieceIds_.clear();
    undo_.clear();
    applied_.reset();
    Json answer = Frame();
    answer["result"] = line;
    answer["result"]["file"] = shown;
    return {200, answer};
}

// [SECTION] What the page shows ----------------------------------------------------------------

namespace {

// Geometry as flat arrays: 9 coordinates per triangle and 6 per segment, one colour for each.
Json GeometryJson(const KvGeometry& g) {
    std::vector<double> triangles, segments;
    std::vector<uint32_t> triangleColors, segmentColors;
    const auto add = [](std::vector<double>* out, const KvPoint& p) {
        out->insert(out->end(), {p.x, p.y, p.z});
    };
    for (const KvTriangle& t : g.triangles) {
        for (const KvPoint& p : {t.a, t.b, t.c})
            add(&triangles, p);
        triangleColors.push_back(t.color & 0xFFFFFF);
    }
    for (const KvSegment& s : g.segments) {
        add(&segments, s.a);
        add(&segments, s.b);
        segmentColors.push_back(s.color & 0xFFFFFF);
    }
    return {{"triangles", triangles},
            {"triangleColors", triangleColors},
            {"segments", segments},
            {"segmentColors", segmentColors}};
}

// How the model is drawn: the renderer's material for it.
Json ModelLook(const MatrixStruct& world) {
    return {{"matrix", MatrixJson(world)},
            {"priority", 0},
            {"opacity", 1.0},
            {"ambient", 0.35},
            {"diffuse", 0.65},
            {"specular", 0.25}};
}

Json ElementLook(const KvShownElement& e) {
    return {{"matrix", MatrixJson(e.drawn)},
            {"priority", e.drawPriority},
            {"opacity", std::clamp(1.0 - e.transparency, 0.0, 1.0)},
            {"ambient", e.ambient},
            {"diffuse", e.diffuse},
            {"specular", e.specular}};
}

} // namespace

std::string Viewer::ModelPieceId(GraphicStruct* g) {
    auto [it, added] = pieceIds_.emplace(g, "");
    if (added) it->second = "m" + std::to_string(++pieceCount_);
    return it->second;
}

Json Viewer::Camera() const {
    const KvViewInfo v = kvViewportInfo(live_->Viewport());
    return {{"width", v.width},
            {"height", v.height},
            {"perspective", v.perspective == 1},
            {"fovY", v.fovYDegrees},
            {"unitsPerPixel", v.unitsPerPixel},
            {"eye", PointJson(v.eye)},
            {"target", PointJson(v.target)},
            {"view", MatrixJson(v.view)}};
}

// The items shown, in drawing order; geometry for the items the page does not hold, looks
// that changed, and the list itself when it changed.
void Viewer::Shown(Json* frame) {
    Json added = Json::array(), looks = Json::object(), shown = Json::array();
    const auto show = [&](const std::string& id, Json look, auto geometry) {
        const auto sent = sentLooks_.find(id);
        if (sent == sentLooks_.end()) {
            KvGeometry g;
            geometry(&g);
            added.push_back({{"id", id}, {"geometry", GeometryJson(g)}});
        }
        if (sent == sentLooks_.end() || sent->second != look) looks[id] = look;
        sentLooks_[id] = std::move(look);
        shown.push_back(id);
    };
    for (const KvModelPiece& p : kvDrawingModelPieces(kvSceneDrawing(live_->Scene())))
        show(ModelPieceId(p.graphic), ModelLook(p.world),
             [&](KvGeometry* g) { kvGraphicGetGeometry(p.graphic, g); });
    for (const KvShownElement& e : kvViewportShownElements(live_->Viewport()))
        show("e" + std::to_string(e.snapshotId), ElementLook(e),
             [&](KvGeometry* g) { kvElementGetGeometry(e.element, g); });
    if (!removed_.empty()) (*frame)["remove"] = std::exchange(removed_, {});
    if (!added.empty()) (*frame)["add"] = added;
    if (!looks.empty()) (*frame)["looks"] = looks;
    if (shown != sentShown_) (*frame)["shown"] = sentShown_ = shown;
}

Json Viewer::Frame() {
    Json frame = Json::object();
    Json camera = Camera();
    if (camera != sentCamera_) frame["camera"] = sentCamera_ = camera;
    Shown(&frame);
    frame["status"] = Status();
    return frame;
}

Json Viewer::Status() {
    const MatrixStruct* drag = live_->DragMatrix();
    Json status{{"handle", hovered_.empty() ? Json(nullptr) : Json(hovered_)},
                {"dragging", drag != nullptr},
                {"mDrag", drag ? MatrixJson(*drag) : Json(nullptr)},
                {"applied", applied_ ? MatrixJson(*applied_) : Json(nullptr)},
                {"undo", undo_.size()},
                {"profile", source_.session.profile},
                {"profileError", profileError_.empty() ? Json(nullptr) : Json(profileError_)},
                {"profileLoads", profileLoads_}};
    const std::vector<GraphicStruct*> selected = kvSceneSelection(live_->Scene());
    Json names = Json::array();
    for (size_t i = 0; i < selected.size() && i < 5; ++i)
        names.push_back(kvScenePartPath(live_->Scene(), selected[i]));
    status["selected"] = {{"count", selected.size()}, {"names", names}};
    KvSetupGeometry g{};
    if (kvSceneSetupGeometry(live_->Scene(), &g))
        status["selection"] = {{"refPoint", PointJson(g.refPoint)},
                               {"controlCS", MatrixJson(g.controlCS)}};
    return status;
}

Json Viewer::Panel() const {
    Json settings = Json::object();
    const GControlProperties& p = live_->Settings();
    for (const ControlSetting& s : kControlSettings)
        settings[std::string(s.name)] = s.flag ? Json(p.*s.flag) : Json(p.*s.factor);
    return {
        {"settings", settings},
        {"snap", {{"move", snap_.move}, {"rotate", snap_.rotateDegrees}, {"scale", snap_.scale}}},
        {"watching", !source_.profileFile.empty()}};
}

// [SECTION] Live profile -----------------------------------------------------------------------

bool Viewer::CheckProfileFile() {
    if (source_.profileFile.empty()) return false;
    const std::string stamp = FileStamp(source_.profileFile);
    if (stamp.empty() || stamp == profileStamp_) return false;
    profileStamp_ = stamp;
    ReloadProfile();
    return true;
}

// The library reads a profile from its path, and an editor may replace the file again while it
// does: each change is copied once, and that copy is what is checked and what the control is
// built from. A copy that does not read, or reads but gives no control, keeps the control built
// from the last good one on screen. The latest good copy stays, as the control's report names it.
void Viewer::ReloadProfile() {
    const fs::path copy = ScratchFile(fs::path(source_.profileFile).filename().string());
    std::string reason;
    std::error_code ec;
    if (copy.empty()) {
        profileError_ = "cannot make a folder for the profile's copy";
        return;
    }
    if (!fs::copy_file(source_.profileFile, copy, ec)) {
        profileError_ = "cannot read the file: " + ec.message();
        fs::remove_all(copy.parent_path(), ec);
        return;
    }
    DrawingStruct* drawing = kvReadDrawingFile(copy.c_str(), &reason);
    const bool reads = drawing != nullptr;
    DrawingDispose(&drawing);
    if (!reads || !live_->Reload(copy.string()).value("control", false)) {
        profileError_ = reads            ? kNoHandleReason
                        : reason.empty() ? "the file cannot be read"
                                         : reason;
        fs::remove_all(copy.parent_path(), ec);
        return;
    }
    profileError_.clear();
    ++profileLoads_;
    if (!loadedCopy_.empty()) fs::remove_all(loadedCopy_.parent_path(), ec);
    loadedCopy_ = copy;
}

// A path named `fileName` in a new folder of the viewer's own: the name is kept (a model file's
// parts may be named after it), and the library is never given a path it has loaded before.
// Empty when the folder cannot be made.
fs::path Viewer::ScratchFile(const std::string& fileName) {
    std::error_code ec;
    if (scratch_.empty()) {
        std::string pattern = (fs::temp_directory_path(ec) / "tiller-view-XXXXXX").string();
        if (ec || !mkdtemp(pattern.data())) return {};
        scratch_ = pattern;
    }
    const fs::path folder = scratch_ / std::to_string(++scratchCount_);
    if (!fs::create_directory(folder, ec)) return {};
    return folder / fileName;
}

Viewer::~Viewer() {
    std::error_code ec;
    if (!scratch_.empty()) fs::remove_all(scratch_, ec);
}

} // namespace tiller::tools
