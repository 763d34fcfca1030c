// Picking and hover end to end, through the exports and the host application: every handle of
// the shipped profiles is found where it is drawn, in parallel and perspective views, with the
// manipulator at its smallest, middle and largest screen size; disabled handles are never found;
// and the choosing rule's cases that mix facet and line hits or scaled parts.
#include "control/control_fixture.h"
#include "support/math3d.h"

#include <cmath>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace testprofile;

namespace {

constexpr int Aperture = 8;            // the default pick aperture of the host's 1920-pixel screen
constexpr double Reach = 2 * Aperture; // the distance query's radius on screen, unscaled parts

// A part's geometry as triangles; a line is a triangle with its last corner repeated.
using Triangle = std::array<KvPoint, 3>;
using Shape = std::vector<Triangle>;

void CollectShape(GraphicStruct* g, Shape* out) {
    std::vector<KvPoint> v;
    GraphicPosition pos{};
    for (VertexStruct* p = GraphicVertexFirst(g, &pos, 0, 0xFFFF); p;
         p = GraphicVertexNext(g, &pos, 0, 0xFFFF))
        v.push_back({p->x, p->y, p->z});
    int f[3];
    for (int i = 0; g->kind == GraphicKindMesh && kvGraphicGetFace(g, i, f); ++i)
        out->push_back({v[f[0]], v[f[1]], v[f[2]]});
    for (size_t i = 1; g->kind == GraphicKindLine && i < v.size(); ++i)
        out->push_back({v[i - 1], v[i], v[i]});
    GraphicPosition child{};
    for (GraphicStruct* c = GraphicFirst(g, &child, 1, 1); c; c = GraphicNext(g, &child, 1, 1))
        CollectShape(c, out);
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
            KvProperty type;
            if (!kvGraphicGetProperty(p, 0, &type) || type.value == "coordsystem") continue;
            if (type.value == "mouseout" || type.value == "highlight_area")
                (type.value == "mouseout" ? mouseout : area) = static_cast<int>(out.parts.size());
            CollectShape(p, &out.parts.emplace_back());
        }
        out.picked.push_back(area >= 0 ? area : mouseout);
    }
    DrawingDispose(&d);
    return out;
}

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
    struct Px {
        double x, y;
    };
    using Drawn = std::vector<std::array<Px, 3>>; // a part's triangles in pixels
    struct Handle {
        GHandle* handle;
        const HandleProperties* params;
        int part; // the element of the part it is picked on, or -1
        Drawn drawn{};
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
    static bool ViewDisabled(const HandleProperties* p, KvPoint f) {
        const uint32_t flags[3] = {p->Disable_if_view_by_x, p->Disable_if_view_by_y,
                                   p->Disable_if_view_by_z};
        for (int a = 0; a < 3; ++a) {
            const double* axis = &p->mHandleCS->m[4 * a];
            if (flags[a] && std::fabs(axis[0] * f.x + axis[1] * f.y + axis[2] * f.z) >
                                (1 - 1e-9) * std::hypot(axis[0], axis[1], axis[2]))
                return true;
        }
        return false;
    }
    // The part as its element draws it: through the element's own matrix after its
    // view-dependent scale.
    Drawn Draw(const Shape& shape, CRedUIElement* element) {
        const KvElementInfo info = InfoOf(element);
        auto pixel = [&](KvPoint p) {
            const MatrixStruct* steps[] = {&info.viewMatrix, &info.matrix};
            for (const MatrixStruct* m : steps)
                p = Apply(*m, p);
            Px at{-1e9, -1e9};
            kvViewportWorldToPixel(vp, p, &at.x, &at.y);
            return at;
        };
        Drawn out;
        for (const Triangle& t : shape)
            out.push_back({pixel(t[0]), pixel(t[1]), pixel(t[2])});
        return out;
    }
    static double Distance(Px a, Px b) { return std::hypot(a.x - b.x, a.y - b.y); }
    static double Area2(Px a, Px b, Px c) {
        return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    }
    static bool OnScreen(Px p) { return p.x >= 2 && p.y >= 2 && p.x <= 797 && p.y <= 597; }
    static double DistanceToSegment(Px p, Px a, Px b) {
        const double along = ((p.x - a.x) * (b.x - a.x) + (p.y - a.y) * (b.y - a.y)) /
                             std::max(Distance(a, b) * Distance(a, b), 1e-12);
        const double w = std::clamp(along, 0.0, 1.0);
        return Distance(p, {a.x + (b.x - a.x) * w, a.y + (b.y - a.y) * w});
    }

    // A pixel inside the part as drawn, away from its edges: the centroid of the triangle whose
    // edges lie farthest from it; for a part drawn as lines (or edge-on), the middle of its
    // longest edge, which the distance query finds.
    static bool Aim(const Drawn& part, Px* aim) {
        double best = 0.05, longest = 6;
        for (const auto& [a, b, c] : part) {
            const double inside = std::fabs(Area2(a, b, c)) /
                                  (3 * std::max({Distance(a, b), Distance(b, c), Distance(c, a)}));
            const Px centroid{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3};
            if (inside > best && OnScreen(centroid)) best = inside, *aim = centroid;
        }
        for (const auto& [a, b, c] : part) {
            const Px middle{(a.x + b.x) / 2, (a.y + b.y) / 2};
            if (best <= 0.05 && Distance(a, b) > longest && OnScreen(middle))
                longest = Distance(a, b), *aim = middle;
        }
        return best > 0.05 || longest > 6;
    }

    // Whether the part as drawn covers the pixel, or one of its edges passes within the distance
    // query's reach.
    static bool Covers(const Drawn& part, Px at) {
        for (const auto& [a, b, c] : part) {
            const double ab = Area2(a, b, at), bc = Area2(b, c, at), ca = Area2(c, a, at);
            if ((ab >= 0 && bc >= 0 && ca >= 0) || (ab <= 0 && bc <= 0 && ca <= 0) ||
                std::min({DistanceToSegment(at, a, b), DistanceToSegment(at, b, c),
                          DistanceToSegment(at, c, a)}) <= Reach + 2)
                return true;
        }
        return false;
    }

    // Points at handle i where it is shown: the answer is that handle, or an enabled one under
    // the pointer too that the choosing rule prefers there; never a disabled one.
    void CheckPointingAt(size_t i, Px at, const std::string& where) {
        const Handle& h = handles[i];
        GHandle* got = PointerMove(control, at.x, at.y);
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
        const std::string both = where + ": found " + handles[r].params->csName;
        EXPECT_TRUE(handles[r].enabled && Covers(handles[r].drawn, at)) << both;
        const double ph = h.params->Priority, pr = handles[r].params->Priority;
        EXPECT_TRUE(!h.enabled || (pr >= 0 && (ph < 0 || pr <= ph))) << both << ", lower priority";
    }

    // Every interactive handle pointed at, and the pointer a few apertures outside the
    // manipulator on each side, where it finds nothing.
    void Sweep(const ViewCase& view, double zoom) {
        Look(view.preset, view.perspective, zoom, target);
        KvPoint origin{}, forward{};
        kvViewportPixelToSightLine(vp, 400, 300, &origin, &forward);
        const std::vector<CRedUIElement*> elements = kvViewportElements(vp);
        Px lo{1e9, 1e9}, hi{-1e9, -1e9}, at{};
        for (Handle& h : handles) {
            if (!Interactive(h)) continue;
            h.drawn = Draw(shapes.parts[h.part], elements[h.part]);
            h.enabled = dbGHandleGetVisible(control, h.handle) &&
                        (view.perspective || !ViewDisabled(h.params, forward));
            for (const auto& corners : h.drawn)
                for (Px p : corners)
                    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y)},
                    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y)};
        }
        const std::string where = std::string(view.name) + " at " + std::to_string(zoom);
        for (size_t i = 0; i < handles.size(); ++i)
            if (Interactive(handles[i]) && Aim(handles[i].drawn, &at))
                CheckPointingAt(i, at, where + ", " + handles[i].params->csName);
        const double away = 4 * Aperture, midX = (lo.x + hi.x) / 2, midY = (lo.y + hi.y) / 2;
        for (Px probe :
             {Px{lo.x - away, midY}, {hi.x + away, midY}, {midX, lo.y - away}, {midX, hi.y + away}})
            if (probe.x >= 0 && probe.y >= 0 && probe.x < 800 && probe.y < 600 && ++misses) {
                EXPECT_EQ(PointerMove(control, probe.x, probe.y), nullptr) << where;
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

// Squares that three views see apart, each on a handle disabled when seen along one of its
// axes; a square seen edge-on is still found by the distance query.
TEST_F(PickTest, HandleSeenAlongADisablingAxisIsNotFoundInParallelViewsOnly) {
    const char* names[] = {"ByX", "ByY", "ByZ"};
    const KvPoint centres[] = {{-0.2, 0, 0.2}, {0, 0.2, -0.2}, {0.2, -0.2, 0}};
    for (int a = 0; a < 3; ++a) {
        HandleDesc desc(names[a]);
        desc.extra = {{std::string("handle_disable_if_view_by_") + "xyz"[a], "yes"}};
        AddInteractive(root, desc, {centres[a].x, centres[a].y, centres[a].z});
    }
    ASSERT_NE(control = CreateWritten("view_axis.qvw"), nullptr);
    const KvViewPreset alongAxis[] = {KvViewRight, KvViewFront, KvViewTop};
    for (bool perspective : {false, true})
        for (int view = 0; view < 3; ++view)
            for (int a = 0; a < 3; ++a) {
                Look(alongAxis[view], perspective, 0.002, {0, 0, 0});
                EXPECT_EQ(HoverName(control, centres[a]), perspective || view != a ? names[a] : "")
                    << "view along axis " << view << (perspective ? ", perspective" : "");
            }
}

// The distance query runs only without a facet, so a line hit tested later ranks before an
// earlier facet hit of the same priority; beyond the line's reach the surface is found.
TEST_F(PickTest, LaterLineHitBeatsEarlierFacetHitOfEqualPriority) {
    AddInteractive(root, {"Surface"}, {0, 0, 0});
    AddLineHandle(root, {"Curve"}, {-0.05, 0, 0}, {0.05, 0, 0});
    ASSERT_NE(control = CreateWritten("facet_line.qvw"), nullptr);
    Look(KvViewTop, false, 0.002, {0, 0, 0});
    EXPECT_EQ(HoverName(control, {0.02, 0.01, 0}), "Curve");   // 5 pixels off the line
    EXPECT_EQ(HoverName(control, {0.02, 0.04, 0}), "Surface"); // 20 pixels off
}

// A line part scaled on screen is picked on its stored geometry with the tolerance divided by
// its scale (parallel views) or by four (perspective views): its reach on screen stays two
// apertures at any scale in parallel views, and is half an aperture once scaled in perspective.
TEST_F(PickTest, LineReachOnScreenFollowsTheScaledTolerance) {
    AddLineHandle(root, {"Curve"}, {-0.1, 0, 0}, {0.1, 0, 0});
    ASSERT_NE(control = CreateWritten("scaled_line.qvw"), nullptr);
    const struct {
        bool perspective;
        double unitsPerPixel, scale, reach;
    } cases[] = {{false, 0.002, 1, Reach},
                 {false, 0.006, 2, Reach},
                 {true, 0.002, 1, Reach},
                 {true, 0.006, 2, Aperture / 2.0}};
    for (const auto& c : cases) {
        Look(KvViewTop, c.perspective, c.unitsPerPixel, {0, 0, 0});
        EXPECT_NEAR(InfoOf(kvViewportElements(vp).front()).viewMatrix.m[0], c.scale, 1e-9);
        EXPECT_EQ(HoverName(control, {0.03, 0, 0}, 0.8 * c.reach), "Curve") << c.unitsPerPixel;
        EXPECT_EQ(HoverName(control, {0.03, 0, 0}, 1.25 * c.reach), "") << c.unitsPerPixel;
    }
}
