// Picking and hover end to end, through the exports and the host application: every handle of
// the shipped profiles is found where it is drawn, in parallel and perspective views, with the
// manipulator at its smallest, middle and largest screen size; disabled handles are never found;
// and the choosing rule's cases that mix facet and line hits or scaled parts.
#include "control/control_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace testprofile;

namespace {

constexpr int Aperture = 8;            // the default pick aperture of the host's 1920-pixel screen
constexpr double Reach = 2 * Aperture; // the distance query's radius on screen, unscaled parts

using Triangle = std::array<KvPoint, 3>;

KvPoint operator-(KvPoint a, KvPoint b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
double Dot(KvPoint a, KvPoint b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
KvPoint Cross(KvPoint a, KvPoint b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
KvPoint Apply(const MatrixStruct& m, KvPoint p) {
    return {m.m[0] * p.x + m.m[4] * p.y + m.m[8] * p.z + m.m[12],
            m.m[1] * p.x + m.m[5] * p.y + m.m[9] * p.z + m.m[13],
            m.m[2] * p.x + m.m[6] * p.y + m.m[10] * p.z + m.m[14]};
}

// Where origin + at * direction crosses the triangle, as the ray parameter and the point's
// weights on the second and third corners; false when it misses.
bool Intersect(KvPoint o, KvPoint d, const Triangle& t, double* at, double* u, double* v) {
    const KvPoint e1 = t[1] - t[0], e2 = t[2] - t[0], p = Cross(d, e2), s = o - t[0],
                  q = Cross(s, e1);
    const double det = Dot(e1, p);
    if (std::fabs(det) < 1e-300) return false;
    *u = Dot(s, p) / det, *v = Dot(d, q) / det, *at = Dot(e2, q) / det;
    return *u >= 0 && *v >= 0 && *u + *v <= 1;
}

// A part's geometry: its triangles, and the mesh edges and lines the distance query measures.
struct Shape {
    std::vector<Triangle> triangles;
    std::vector<std::array<KvPoint, 2>> segments;
};

void CollectShape(GraphicStruct* g, Shape* out) {
    std::vector<KvPoint> v;
    GraphicPosition pos{};
    for (VertexStruct* p = GraphicVertexFirst(g, &pos, 0, 0xFFFF); p;
         p = GraphicVertexNext(g, &pos, 0, 0xFFFF))
        v.push_back({p->x, p->y, p->z});
    int f[3];
    for (int i = 0; g->kind == GraphicKindMesh && kvGraphicGetFace(g, i, f); ++i) {
        out->triangles.push_back({v[f[0]], v[f[1]], v[f[2]]});
        for (int e = 0; e < 3; ++e)
            out->segments.push_back({v[f[e]], v[f[(e + 1) % 3]]});
    }
    for (size_t i = 1; g->kind == GraphicKindLine && i < v.size(); ++i)
        out->segments.push_back({v[i - 1], v[i]});
    GraphicPosition child{};
    for (GraphicStruct* c = GraphicFirst(g, &child, 1, 1); c; c = GraphicNext(g, &child, 1, 1))
        CollectShape(c, out);
}

std::string PartType(const GraphicStruct* g) {
    KvProperty property;
    for (int i = 0; kvGraphicGetProperty(g, i, &property); ++i)
        if (property.name == "handle_part") return property.value;
    return {};
}

// The displayed parts of a profile in the order the control makes their display elements, and
// per handle the part it is picked on: its highlight_area, else its mouseout (-1: none).
struct ProfileShapes {
    std::vector<Shape> parts;
    std::vector<int> picked;
};

ProfileShapes ReadProfileShapes(const std::string& path) {
    ProfileShapes out;
    DrawingStruct* d = kvReadDrawingFile(path.c_str(), nullptr);
    GraphicStruct* root = d ? DrawingGetModelRoot(d) : nullptr;
    GraphicPosition hp{}, pp{};
    for (GraphicStruct* h = GraphicFirst(root, &hp, 1, 1); h; h = GraphicNext(root, &hp, 1, 1)) {
        int mouseout = -1, area = -1;
        for (GraphicStruct* p = GraphicFirst(h, &pp, 1, 1); p; p = GraphicNext(h, &pp, 1, 1)) {
            const std::string type = PartType(p);
            if (type.empty() || type == "coordsystem") continue;
            if (type == "mouseout" || type == "highlight_area")
                (type == "mouseout" ? mouseout : area) = static_cast<int>(out.parts.size());
            out.parts.emplace_back();
            CollectShape(p, &out.parts.back());
        }
        out.picked.push_back(area >= 0 ? area : mouseout);
    }
    DrawingDispose(&d);
    return out;
}

// A part where its element shows it (own matrix after view-dependent scale), where the library
// picks it (own matrix alone), and that scale.
struct Placed {
    Shape shown;
    std::vector<Triangle> picked;
    double scale = 1;
};

Placed Place(const Shape& shape, CRedUIElement* element) {
    KvElementInfo info{};
    kvElementGetInfo(element, &info);
    const MatrixStruct &m = info.matrix, &k = info.viewMatrix;
    Placed out{{}, {}, std::sqrt(k.m[0] * k.m[0] + k.m[1] * k.m[1] + k.m[2] * k.m[2])};
    for (const Triangle& t : shape.triangles) {
        out.shown.triangles.push_back(
            {Apply(m, Apply(k, t[0])), Apply(m, Apply(k, t[1])), Apply(m, Apply(k, t[2]))});
        out.picked.push_back({Apply(m, t[0]), Apply(m, t[1]), Apply(m, t[2])});
    }
    for (const auto& s : shape.segments)
        out.shown.segments.push_back({Apply(m, Apply(k, s[0])), Apply(m, Apply(k, s[1]))});
    return out;
}

// How a placed part meets a pixel: the library's facet distance of the nearest triangle under
// it (-1 for none), and whether an edge or line passes within reach.
struct Cover {
    double facet = -1;
    bool near = false;
};

struct ViewCase {
    const char* name;
    KvViewPreset preset;
    bool perspective;
};
const ViewCase SweepViews[] = {{"front", KvViewFront, false},
                               {"top", KvViewTop, false},
                               {"iso", KvViewIso, false},
                               {"iso perspective", KvViewIso, true}};
// Drawing units per pixel at the reference point: the manipulator at its smallest on-screen
// size, between its limits, and at its largest.
const double SweepZooms[] = {0.006, 0.002, 0.0008};

} // namespace

class PickTest : public ControlFixture, public ::testing::WithParamInterface<const char*> {
  protected:
    struct Handle {
        GHandle* handle;
        const HandleProperties* params;
        int part; // the element of the part it is picked on, or -1
        Placed placed{};
        bool enabled = false;
    };

    // Looks at `target` from a preset direction with `unitsPerPixel` there.
    void Look(KvViewPreset preset, bool perspective, double unitsPerPixel, KvPoint target) {
        kvViewportSetCamera(vp, {target.x, target.y, target.z + 10}, target, {0, 1, 0});
        kvViewportSetPreset(vp, preset);
        if (!perspective) return kvViewportSetParallel(vp, unitsPerPixel);
        kvViewportSetPerspective(vp, 45);
        kvViewportZoom(vp, kvViewportUnitsPerPixelAt(vp, target) / unitsPerPixel);
    }
    std::string HoverName(KvPoint world, double dy = 0) {
        double px = 0, py = 0;
        kvViewportWorldToPixel(vp, world, &px, &py);
        GHandle* h = PointerMove(control, px, py - dy);
        return h ? dbGHandleGetParams(control, h)->csName : "";
    }
    void AddCurve(const char* name, Point a, Point b) {
        GraphicStruct* curve = AddHandleGroup(root, {name});
        AddLine(AddGroup(curve, {{"handle_part", "mouseout"}}), a, b, 0xFFFFFF);
        AddSquarePart(curve, "mouseover", {0, 0, 0}, 0.05);
        AddCoordsystem(curve);
    }
    void StartWritten(const char* file) {
        control = Create(WriteTestProfile(file));
        ASSERT_NE(control, nullptr);
        ASSERT_EQ(Setup(control, GControlProperties{}), 1);
        ASSERT_EQ(dbGCtrlShow(control, 1, 0), 1);
    }
    // A shipped profile over the scene's selection.
    void Start(const char* profile, const GControlProperties& props) {
        control = Create(profile);
        ASSERT_NE(control, nullptr);
        ASSERT_EQ(SetupOverSelection(control, props), 1);
        ASSERT_EQ(dbGCtrlShow(control, 1, 0), 1);
        KvSetupGeometry g{};
        kvSceneSetupGeometry(scene, &g);
        target = g.refPoint;
        shapes = ReadProfileShapes(std::string(TILLER_BUILD_DIR) + "/GCtrlProfiles/" + profile);
        ASSERT_EQ(kvViewportElements(vp).size(), shapes.parts.size());
        ASSERT_EQ(Handles(control).size(), shapes.picked.size());
        for (GHandle* h : Handles(control)) {
            const HandleProperties* p = dbGHandleGetParams(control, h);
            handles.push_back({h, p, shapes.picked[handles.size()]});
            if (handles.back().part >= 0 && p->TransformType != TransformNone &&
                p->TransformType != TransformUndefined)
                interactive.insert(p->csName);
        }
    }
    bool Interactive(const Handle& h) const { return interactive.count(h.params->csName) > 0; }
    // Whether a parallel view looks straight along a handle axis that disables the handle.
    static bool ViewDisabled(const HandleProperties* p, KvPoint forward) {
        const uint32_t flags[3] = {p->Disable_if_view_by_x, p->Disable_if_view_by_y,
                                   p->Disable_if_view_by_z};
        for (int a = 0; a < 3; ++a) {
            const double* axis = &p->mHandleCS->m[4 * a];
            const KvPoint row{axis[0], axis[1], axis[2]};
            if (flags[a] && std::fabs(Dot(row, forward)) > (1 - 1e-9) * std::sqrt(Dot(row, row)))
                return true;
        }
        return false;
    }
    bool Pixel(KvPoint p, double xy[2]) {
        return kvViewportWorldToPixel(vp, p, &xy[0], &xy[1]) && xy[0] >= 2 && xy[1] >= 2 &&
               xy[0] <= 797 && xy[1] <= 597;
    }

    // A pixel inside the part as shown, away from its edges: the centroid of the projected
    // triangle whose edges lie farthest from it, or for lines alone the middle of the longest.
    bool Aim(const Placed& part, double* px, double* py) {
        double best = part.shown.triangles.empty() ? 6 : 0.05, a[2], b[2], c[2];
        for (const Triangle& t : part.shown.triangles) {
            if (!Pixel(t[0], a) || !Pixel(t[1], b) || !Pixel(t[2], c)) continue;
            const double twiceArea =
                std::fabs((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]));
            const double inside =
                twiceArea / (3 * std::max({std::hypot(b[0] - a[0], b[1] - a[1]),
                                           std::hypot(c[0] - b[0], c[1] - b[1]),
                                           std::hypot(a[0] - c[0], a[1] - c[1])}));
            if (inside > best)
                best = inside, *px = (a[0] + b[0] + c[0]) / 3, *py = (a[1] + b[1] + c[1]) / 3;
        }
        for (const auto& s : part.shown.segments)
            if (part.shown.triangles.empty() && Pixel(s[0], a) && Pixel(s[1], b) &&
                std::hypot(b[0] - a[0], b[1] - a[1]) > best)
                best = std::hypot(b[0] - a[0], b[1] - a[1]), *px = (a[0] + b[0]) / 2,
                *py = (a[1] + b[1]) / 2;
        return best > (part.shown.triangles.empty() ? 6 : 0.05);
    }

    // Facet distances as the library measures them: parallel views along the view direction at
    // the picked geometry, perspective views from the eye in the part's unscaled frame.
    Cover CoverAt(const Placed& part, double px, double py) {
        KvPoint o{}, d{};
        kvViewportPixelToSightLine(vp, px, py, &o, &d);
        const bool perspective = kvViewportInfo(vp).perspective;
        Cover cover;
        double t = 0, u = 0, v = 0, a[2], b[2];
        for (size_t i = 0; i < part.shown.triangles.size(); ++i) {
            if (!Intersect(o, d, part.shown.triangles[i], &t, &u, &v)) continue;
            const Triangle& p = part.picked[i];
            const double facet =
                perspective ? t / part.scale
                            : (1 - u - v) * Dot(p[0], d) + u * Dot(p[1], d) + v * Dot(p[2], d);
            if (cover.facet < 0 || facet < cover.facet) cover.facet = facet;
        }
        for (const auto& s : part.shown.segments) {
            if (!kvViewportWorldToPixel(vp, s[0], &a[0], &a[1]) ||
                !kvViewportWorldToPixel(vp, s[1], &b[0], &b[1]))
                continue;
            const double ex = b[0] - a[0], ey = b[1] - a[1], len2 = ex * ex + ey * ey;
            const double w =
                len2 > 0 ? std::clamp(((px - a[0]) * ex + (py - a[1]) * ey) / len2, 0.0, 1.0) : 0;
            cover.near =
                cover.near || std::hypot(a[0] + ex * w - px, a[1] + ey * w - py) <= Reach + 2;
        }
        return cover;
    }

    // Points at handle i where it is shown: the answer is that handle, or an enabled one under
    // the pointer too that the choosing rule prefers there; never a disabled one.
    void CheckPointingAt(size_t i, double px, double py, const std::string& where) {
        const Handle& h = handles[i];
        GHandle* got = PointerMove(control, px, py);
        probed.insert(h.params->csName);
        if (got == h.handle || !got) {
            EXPECT_EQ(h.enabled, got != nullptr) << where;
            if (got) found.insert(h.params->csName);
            return;
        }
        const size_t r = std::find_if(handles.begin(), handles.end(),
                                      [&](const Handle& x) { return x.handle == got; }) -
                         handles.begin();
        ASSERT_LT(r, handles.size());
        const Cover rc = CoverAt(handles[r].placed, px, py), hc = CoverAt(h.placed, px, py);
        const std::string both = where + ": found " + handles[r].params->csName;
        EXPECT_TRUE(handles[r].enabled && (rc.facet >= 0 || rc.near)) << both;
        const double ph = h.params->Priority, pr = handles[r].params->Priority;
        if (!h.enabled) return;
        EXPECT_TRUE(pr >= 0 && (ph < 0 || pr <= ph)) << both << " of lower priority";
        // An earlier handle of the same priority stays chosen only by a nearer facet.
        if (pr == ph && r < i && hc.facet >= 0) {
            EXPECT_TRUE(rc.facet >= 0 && rc.facet < hc.facet + 1e-9) << both << " farther away";
        }
    }

    // Every interactive handle pointed at, and the pointer a few apertures outside the
    // manipulator on each side, where it finds nothing.
    void Sweep(const ViewCase& view, double zoom) {
        Look(view.preset, view.perspective, zoom, target);
        const KvViewInfo info = kvViewportInfo(vp);
        const KvPoint ahead = info.target - info.eye;
        const KvPoint forward{ahead.x / std::sqrt(Dot(ahead, ahead)),
                              ahead.y / std::sqrt(Dot(ahead, ahead)),
                              ahead.z / std::sqrt(Dot(ahead, ahead))};
        const std::vector<CRedUIElement*> elements = kvViewportElements(vp);
        double lo[2] = {1e9, 1e9}, hi[2] = {-1e9, -1e9}, xy[2];
        for (Handle& h : handles) {
            if (!Interactive(h)) continue;
            h.placed = Place(shapes.parts[h.part], elements[h.part]);
            h.enabled = dbGHandleGetVisible(control, h.handle) &&
                        (view.perspective || !ViewDisabled(h.params, forward));
            for (const auto& s : h.placed.shown.segments)
                for (const KvPoint& p : s)
                    if (kvViewportWorldToPixel(vp, p, &xy[0], &xy[1]))
                        for (int a = 0; a < 2; ++a)
                            lo[a] = std::min(lo[a], xy[a]), hi[a] = std::max(hi[a], xy[a]);
        }
        const std::string where = std::string(view.name) + " at " + std::to_string(zoom);
        for (size_t i = 0; i < handles.size(); ++i) {
            double px = 0, py = 0;
            if (Interactive(handles[i]) && Aim(handles[i].placed, &px, &py))
                CheckPointingAt(i, px, py, where + ", " + handles[i].params->csName);
        }
        const double away = 4 * Aperture, midX = (lo[0] + hi[0]) / 2, midY = (lo[1] + hi[1]) / 2;
        for (const auto& [px, py] : {std::pair{lo[0] - away, midY},
                                     {hi[0] + away, midY},
                                     {midX, lo[1] - away},
                                     {midX, hi[1] + away}})
            if (px >= 0 && py >= 0 && px < 800 && py < 600 && ++misses) {
                EXPECT_EQ(PointerMove(control, px, py), nullptr)
                    << where << ", " << px << " " << py;
            }
    }

    GControl* control = nullptr;
    KvPoint target{};
    ProfileShapes shapes;
    std::vector<Handle> handles;
    std::set<std::string> interactive, found, probed;
    int misses = 0;
};

// Over a selection larger than the manipulator at its middle size, so that the box's handles
// show beside the others.
TEST_P(PickTest, EveryHandleIsFoundWhereItIsDrawnInEveryViewAndSize) {
    kvSceneAddBox(scene, {-0.35, -0.3, 0}, {0.35, 0.3, 0.45}, 0x808080);
    ASSERT_NO_FATAL_FAILURE(Start(GetParam(), GControlProperties{}));
    for (const ViewCase& view : SweepViews)
        for (double zoom : SweepZooms)
            Sweep(view, zoom);
    EXPECT_EQ(found, interactive);
    EXPECT_GT(misses, 0);
}

INSTANTIATE_TEST_SUITE_P(ShippedProfiles, PickTest,
                         ::testing::Values("UniversalCtrl.qvw", "UniversalCtrlSimple.qvw"));

// A flat selection disables the handles that ask for it, the settings hide the axes and the
// host hides one ring: pointing at any of them finds another handle or nothing.
TEST_F(PickTest, DisabledHandlesAreNeverFound) {
    const KvPoint square[] = {
        {-0.1, -0.1, 0.05}, {0.1, -0.1, 0.05}, {0.1, 0.1, 0.05}, {-0.1, 0.1, 0.05}};
    const int faces[] = {0, 1, 2, 0, 2, 3};
    ASSERT_NE(kvSceneAddMesh(scene, square, 4, faces, 2, 0x808080), nullptr);
    GControlProperties props;
    props.Show_Axes = 0;
    ASSERT_NO_FATAL_FAILURE(Start("UniversalCtrl.qvw", props));
    ASSERT_EQ(dbGHandleSetVisible(control, Named(control, "RotateZ"), 0), 1);
    std::set<std::string> disabled;
    for (const Handle& h : handles)
        if (Interactive(h) && !dbGHandleGetVisible(control, h.handle))
            disabled.insert(h.params->csName);
    EXPECT_EQ(disabled, (std::set<std::string>{"AxisX", "AxisY", "AxisZ", "RotateZ", "ScaleZ",
                                               "ScaleGripZPlus", "ScaleGripZMinus"}));
    for (const ViewCase& view : {SweepViews[2], SweepViews[3]})
        Sweep(view, 0.002);
    for (const std::string& name : disabled)
        EXPECT_TRUE(probed.count(name)) << name << " was never pointed at";
}

// Cubes that three views see apart, each on a handle disabled when seen along one of its axes.
TEST_F(PickTest, HandleSeenAlongADisablingAxisIsNotFoundInParallelViewsOnly) {
    const char* names[] = {"ByX", "ByY", "ByZ"};
    const KvPoint centres[] = {{-0.2, 0, 0.2}, {0, 0.2, -0.2}, {0.2, -0.2, 0}};
    for (int a = 0; a < 3; ++a) {
        const std::string flag = std::string("handle_disable_if_view_by_") + "xyz"[a];
        GraphicStruct* handle = AddHandleGroup(
            root, {names[a], "move", "refpoint", "gctrl_cs", "rotbar_cs_x", {{flag, "yes"}}});
        for (const char* type : {"mouseout", "mouseover"}) {
            GraphicStruct* cube = kvGraphicNew(GraphicKindMesh);
            for (int i = 0; i < 8; ++i)
                kvGraphicAddVertex(cube, centres[a].x + (i & 1 ? 0.05 : -0.05),
                                   centres[a].y + (i & 2 ? 0.05 : -0.05),
                                   centres[a].z + (i & 4 ? 0.05 : -0.05));
            for (const auto& q : {std::array{0, 1, 3, 2},
                                  {4, 5, 7, 6},
                                  {0, 1, 5, 4},
                                  {2, 3, 7, 6},
                                  {0, 2, 6, 4},
                                  {1, 3, 7, 5}})
                kvGraphicAddFace(cube, q[0], q[1], q[2]), kvGraphicAddFace(cube, q[0], q[2], q[3]);
            kvGraphicAddChild(AddGroup(handle, {{"handle_part", type}}), cube);
        }
        AddCoordsystem(handle);
    }
    ASSERT_NO_FATAL_FAILURE(StartWritten("view_axis.qvw"));
    const KvViewPreset alongAxis[] = {KvViewRight, KvViewFront, KvViewTop};
    for (bool perspective : {false, true})
        for (int view = 0; view < 3; ++view)
            for (int a = 0; a < 3; ++a) {
                Look(alongAxis[view], perspective, 0.002, {0, 0, 0});
                EXPECT_EQ(HoverName(centres[a]), perspective || view != a ? names[a] : "")
                    << "view along axis " << view << (perspective ? ", perspective" : "");
            }
}

// The distance query runs only without a facet, so a line hit tested later ranks before an
// earlier facet hit of the same priority; beyond the line's reach the surface is found.
TEST_F(PickTest, LaterLineHitBeatsEarlierFacetHitOfEqualPriority) {
    AddInteractive(root, {"Surface"}, {0, 0, 0});
    AddCurve("Curve", {-0.05, 0, 0}, {0.05, 0, 0});
    ASSERT_NO_FATAL_FAILURE(StartWritten("facet_line.qvw"));
    Look(KvViewTop, false, 0.002, {0, 0, 0});
    EXPECT_EQ(HoverName({0.02, 0.01, 0}), "Curve");   // 5 pixels off the line
    EXPECT_EQ(HoverName({0.02, 0.04, 0}), "Surface"); // 20 pixels off
}

// A line part scaled on screen is picked on its stored geometry with the tolerance divided by
// its scale (parallel views) or by four (perspective views): its reach on screen stays two
// apertures at any scale in parallel views, and is half an aperture once scaled in perspective.
TEST_F(PickTest, LineReachOnScreenFollowsTheScaledTolerance) {
    AddCurve("Curve", {-0.1, 0, 0}, {0.1, 0, 0});
    ASSERT_NO_FATAL_FAILURE(StartWritten("scaled_line.qvw"));
    const struct {
        bool perspective;
        double unitsPerPixel, scale, reach;
    } cases[] = {{false, 0.002, 1, Reach},
                 {false, 0.006, 2, Reach},
                 {true, 0.002, 1, Reach},
                 {true, 0.006, 2, Aperture / 2.0}};
    for (const auto& c : cases) {
        Look(KvViewTop, c.perspective, c.unitsPerPixel, {0, 0, 0});
        KvElementInfo info{};
        kvElementGetInfo(kvViewportElements(vp).front(), &info);
        EXPECT_NEAR(info.viewMatrix.m[0], c.scale, 1e-9);
        EXPECT_EQ(HoverName({0.03, 0, 0}, 0.8 * c.reach), "Curve") << c.unitsPerPixel;
        EXPECT_EQ(HoverName({0.03, 0, 0}, 1.25 * c.reach), "") << c.unitsPerPixel;
    }
}
