// `tiller gallery`. A control is built from the profile over a small box with the library's
// internals, so that each handle can be lit and made active directly, without a pointer that
// has to find it first; every other handle is hidden while one is drawn.
//
// [SECTION] Pictures
// [SECTION] Contact sheet
// [SECTION] Entry point
#include <cmath>

#include "gallery.h"

#include "korvex/session.h"
#include "korvex/view.h"
#include "tiller/control/gcontrol.h"
#include "tiller/handle/ghandle.h"
#include "tiller/handle/vocabulary.h"
#include "tiller/host/utf8.h"
#include "tiller/part/ghandlepart.h"
#include "tiller/profile/drawing_profile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace tiller::tools {

namespace {

namespace fs = std::filesystem;

constexpr int PictureWidth = 240, PictureHeight = 180;
// The box the handles are set up over, and how much of the picture it fills.
constexpr KvPoint BoxMin{-0.5, -0.4, -0.3}, BoxMax{0.5, 0.4, 0.3};
constexpr double BoxFill = 0.35;

const char* const LookNames[] = {"mouseout", "mouseover", "active"};
const char* const ViewNames[] = {"iso", "axis"};

// [SECTION] Pictures -----------------------------------------------------------------------

struct Scene {
    KvScene* scene = kvSceneNew();
    ViewportStruct* viewport = nullptr;
    ExtentsStruct* box = ExtentsNewEx();
    Scene() {
        if (!scene || !box) return;
        viewport = kvViewportCreate(kvSceneDrawing(scene), PictureWidth, PictureHeight);
        kvSceneAddBox(scene, BoxMin, BoxMax, 0xC8C0B8);
        ExtentsSet(box, BoxMin.x, BoxMin.y, BoxMin.z, BoxMax.x, BoxMax.y, BoxMax.z);
    }
    ~Scene() {
        ExtentsDispose(&box);
        kvSceneDispose(&scene);
    }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
};

// The settings of the pictures: every handle allowed, sized for a small picture.
GControlProperties GallerySettings() {
    GControlProperties settings;
    settings.ScreenSize_Min = 110;
    settings.ScreenSize_Max = 150;
    return settings;
}

bool SetUp(GControl& control, Scene& s) {
    KvSetupGeometry g{};
    if (!kvSceneSetupGeometry(s.scene, &g)) return false;
    ExtentsStruct* extents = ExtentsNewEx();
    VertexStruct* refPoint = VertexNewEx(g.refPoint.x, g.refPoint.y, g.refPoint.z);
    bool done = extents && refPoint;
    if (done) {
        ExtentsSet(extents, g.extentsMin.x, g.extentsMin.y, g.extentsMin.z, g.extentsMax.x,
                   g.extentsMax.y, g.extentsMax.z);
        done = control.Setup(GallerySettings(), &g.controlCS, extents, refPoint, &g.rotbarCS,
                             &g.selectionCS, extents) &&
               control.SetActiveViewport(s.viewport);
    }
    ExtentsDispose(&extents);
    VertexDispose(&refPoint);
    return done;
}

void LookIsometric(Scene& s) {
    kvViewportSetPreset(s.viewport, KvViewIso);
    kvViewportFit(s.viewport, s.box, BoxFill);
}

// Along the handle's own Z axis, towards the box, with the handle's Y axis up.
void LookAlongHandle(Scene& s, const GHandle& h) {
    const double* m = h.mHandleCS ? h.mHandleCS->m : nullptr;
    const double z[3] = {m ? m[8] : 0, m ? m[9] : 0, m ? m[10] : 1};
    const double length = std::sqrt(z[0] * z[0] + z[1] * z[1] + z[2] * z[2]);
    if (length == 0) return LookIsometric(s);
    const double distance = 10 / length;
    const KvPoint up = m ? KvPoint{m[4], m[5], m[6]} : KvPoint{0, 1, 0};
    kvViewportSetCamera(s.viewport, {z[0] * distance, z[1] * distance, z[2] * distance}, {0, 0, 0},
                        up);
    kvViewportFit(s.viewport, s.box, BoxFill);
}

// Draws one handle alone in each look and view; answers the files written, empty on failure.
std::vector<std::string> DrawHandle(GControl& control, GHandle* h, const std::string& stem,
                                    Scene& s, const fs::path& dir, std::ostream& errors) {
    for (GHandle* other : control.handles)
        control.SetHandleVisible(other, other == h ? 1 : 0);
    const bool interactive = h->TransformType != TransformNone;
    std::vector<std::string> files;
    for (int view = 0; view < 2; ++view) {
        if (view == 0)
            LookIsometric(s);
        else
            LookAlongHandle(s, *h);
        for (int look = 0; look < (interactive ? 3 : 1); ++look) {
            if (look == 2) control.SetState(1, h, 0, 0, 0, 0, 0, 0, 0);
            control.Show(1, 0);
            if (look == 1) h->HighlightOn(false);
            const std::string file = stem + "-" + ViewNames[view] + "-" + LookNames[look] + ".png";
            std::string reason;
            if (!kvRenderViewportToPng(s.viewport, (dir / file).c_str(), &reason)) {
                errors << (dir / file).string() << ": " << reason << '\n';
                return {};
            }
            files.push_back(file);
            if (look == 1) h->HighlightOff(false);
            if (look == 2) control.SetState(0, nullptr, 0, 0, 0, 0, 0, 0, 0);
        }
    }
    return files;
}

// The handle's name made safe for a file name; a name met before gets the handle's number.
std::string FileStem(const std::string& name, int index, std::vector<std::string>& used) {
    std::string stem;
    for (char c : name)
        stem += std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' ? c : '_';
    if (stem.empty() || std::find(used.begin(), used.end(), stem) != used.end())
        stem += "-" + std::to_string(index);
    used.push_back(stem);
    return stem;
}

// [SECTION] Contact sheet ------------------------------------------------------------------

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '&')
            out += "&amp;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

std::string PropertiesCell(const GHandle& h) {
    std::string parts;
    for (int slot = 0; slot < SlotCount; ++slot)
        if (const GHandlePart* part = h.Part(static_cast<PartSlot>(slot)))
            parts +=
                (parts.empty() ? "" : ", ") + EnumToText(PartVocabulary(), part->PartGetType());
    const std::pair<const char*, std::string> rows[] = {
        {"transform", EnumToText(TransformVocabulary(), h.TransformType)},
        {"movement", EnumToText(MovementVocabulary(), h.MovementType)},
        {"position", EnumToText(PositionVocabulary(), h.PositionType)},
        {"orientation", EnumToText(OrientationVocabulary(), h.OrientationType)},
        {"extents", EnumToText(ExtentsVocabulary(), h.ExtentsType)},
        {"priority", std::to_string(static_cast<int>(h.Priority))},
        {"parts", parts}};
    std::string cell = "<dl>";
    for (const auto& [key, value] : rows)
        cell += "<dt>" + std::string(key) + "</dt><dd>" + Escaped(value) + "</dd>";
    return cell + "</dl>";
}

std::string SheetRow(const GHandle& h, const std::vector<std::string>& files) {
    std::string row = "<tr><th>" + Escaped(h.csName) + PropertiesCell(h) + "</th><td>";
    for (const std::string& file : files)
        row += "<img src=\"" + file + "\" alt=\"" + Escaped(h.csName + " " + file) + "\">";
    return row + "</td></tr>\n";
}

bool WriteSheet(const fs::path& dir, const std::string& title, const std::string& rows) {
    std::ofstream out(dir / "index.html");
    out << "<!doctype html>\n<html><head><meta charset=\"utf-8\"><title>" << Escaped(title)
        << "</title>\n<style>body{font:14px sans-serif}th{text-align:left;vertical-align:top;"
           "width:16em}dl{font-weight:normal;display:grid;grid-template-columns:auto auto;"
           "gap:0 1em}dd{margin:0}img{margin:2px;border:1px solid #ccc}</style></head><body>\n"
        << "<h1>" << Escaped(title) << "</h1>\n<p>Each handle alone: isometric view, then "
        << "along the handle's Z axis; in each, the mouseout, mouseover and active looks "
           "(a handle that does not transform has one look).</p>\n<table>\n"
        << rows << "</table></body></html>\n";
    return static_cast<bool>(out);
}

} // namespace

// [SECTION] Entry point ----------------------------------------------------------------------

int WriteGallery(const std::string& profileName, const std::string& outDir, std::ostream& errors) {
    std::error_code error;
    fs::create_directories(outDir, error);
    if (error) return errors << outDir << ": " << error.message() << '\n', 1;
    DrawingProfile profile(utf8::Widen(profileName).value_or(L""));
    if (!profile.IsLoaded())
        return errors << profileName << ": cannot be read (tiller lint says why)\n", 1;
    Scene s;
    if (!s.viewport) return errors << "the host could not make the scene\n", 1;
    GControl control(&profile, L"gallery", kvSceneDrawing(s.scene), kvSelectionExtents);
    if (!control.Init() || !SetUp(control, s))
        return errors << profileName << ": no handle loads (tiller lint says why)\n", 1;
    std::string rows;
    int index = 0;
    std::vector<std::string> stems;
    for (GHandle* h : control.handles) {
        const std::string stem = FileStem(h->csName, ++index, stems);
        const std::vector<std::string> files = DrawHandle(control, h, stem, s, outDir, errors);
        if (files.empty()) return 1;
        rows += SheetRow(*h, files);
    }
    if (!WriteSheet(outDir, "Handles of " + utf8::Narrow(PathFileName(profile.Path())).value_or(""),
                    rows))
        return errors << outDir << "/index.html: cannot be written\n", 1;
    return 0;
}

} // namespace tiller::tools
