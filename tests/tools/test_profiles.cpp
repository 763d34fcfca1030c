// The shipped profiles as a profile reader sees them: every handle group carries valid
// behaviour properties and the parts its kind needs, coordsystem parts are well formed, the
// specially treated names are there, and the geometry keeps the authoring rules.
#include "korvex/drawing.h"
#include "support/live_records.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string ProfileFolder = std::string(TILLER_BUILD_DIR) + "/GCtrlProfiles/";

const std::map<std::string, std::set<std::string>> Vocabulary = {
    {"handle_transform", {"none", "move", "scale", "scale2", "rotate"}},
    {"handle_position", {"refpoint", "extents_center", "selection_cs", "gctrl_cs_origin"}},
    {"handle_orientation", {"gctrl_cs", "gctrl_rotbar_cs", "selection_cs"}},
    {"handle_movement",
     {"none", "rotbar_cs_x", "rotbar_cs_xy", "rotbar_cs_xyz", "scene_cs_x", "scene_cs_xy",
      "scene_cs_xyz", "scene_cs_diag", "handle_cs_x", "wp_cs_xy"}},
    {"handle_extents", {"by_screen_resolution", "by_selection"}},
};
const std::set<std::string> PartTypes = {"mouseout",       "mouseover",   "active",
                                         "static",         "coordsystem", "highlight_area",
                                         "visibility_area"};

// A box as lo x, y, z then hi x, y, z.
using Box = std::array<double, 6>;

struct Part {
    GraphicStruct* group = nullptr;
    bool hasBox = false;
    Box box{};
};

void measure(Part* part) {
    ExtentsStruct* e = ExtentsNewEx();
    part->hasBox = GraphicGetGeometricExtents(part->group, e, 0, 1, 0, 0);
    part->box = {ExtentsGetX1(e), ExtentsGetY1(e), ExtentsGetZ1(e),
                 ExtentsGetX2(e), ExtentsGetY2(e), ExtentsGetZ2(e)};
    ExtentsDispose(&e);
}

struct Handle {
    std::map<std::string, std::string> props; // first value of each key, as the library reads
    std::map<std::string, Part> parts;
    GraphicStruct* group = nullptr;

    std::string operator[](const std::string& key) const {
        const auto it = props.find(key);
        return it == props.end() ? "" : it->second;
    }
    bool fixedSize() const { return (*this)["handle_extents"] != "by_selection"; }
};

// Text properties, first occurrence of each key; a non-text value is recorded as missing.
std::map<std::string, std::string> textProperties(GraphicStruct* g) {
    std::map<std::string, std::string> props;
    KvProperty p;
    for (int i = 0; kvGraphicGetProperty(g, i, &p); ++i)
        if (!props.count(p.name)) props[p.name] = p.isText ? p.value : "(not text)";
    return props;
}

std::vector<GraphicStruct*> children(GraphicStruct* g) {
    std::vector<GraphicStruct*> list;
    GraphicPosition pos;
    for (GraphicStruct* c = GraphicFirst(g, &pos, 1, 1); c; c = GraphicNext(g, &pos, 1, 1))
        list.push_back(c);
    return list;
}

class ProfilesTest : public LiveRecordsTest {
  protected:
    void ReleaseAll() override {
        for (DrawingStruct*& d : drawings)
            DrawingDispose(&d);
    }

    std::vector<Handle> Load(const std::string& file) {
        std::string reason;
        DrawingStruct* d = kvReadDrawingFile((ProfileFolder + file).c_str(), &reason);
        EXPECT_NE(d, nullptr) << file << ": " << reason;
        if (!d) return {};
        drawings.push_back(d);
        std::vector<Handle> handles;
        for (GraphicStruct* g : children(DrawingGetModelRoot(d))) {
            EXPECT_EQ(g->kind, GraphicKindGroup);
            Handle h{textProperties(g), {}, g};
            for (GraphicStruct* p : children(g)) {
                const std::string type = textProperties(p)["handle_part"];
                EXPECT_TRUE(p->kind == GraphicKindGroup && PartTypes.count(type))
                    << h["handle_name"] << ": part '" << type << "'";
                EXPECT_FALSE(h.parts.count(type)) << h["handle_name"] << ": two " << type;
                Part& part = h.parts[type];
                part.group = p;
                measure(&part);
            }
            handles.push_back(h);
        }
        return handles;
    }

    std::vector<DrawingStruct*> drawings;
};

// The coordsystem part's basis: origin and the three axis vectors by pen colour; empty
// when the part is not three two-vertex lines of the three axis colours from one point.
std::vector<std::array<double, 3>> basisOf(GraphicStruct* part) {
    std::map<uint32_t, std::array<double, 3>> axes;
    std::array<double, 3> origin{};
    for (GraphicStruct* line : children(part)) {
        if (line->kind != GraphicKindLine || GraphicVertexCount(line, 0, 0xFFFF) != 2) return {};
        GraphicPosition pos;
        const VertexStruct* a = GraphicVertexFirst(line, &pos, 0, 0xFFFF);
        const VertexStruct* b = GraphicVertexNext(line, &pos, 0, 0xFFFF);
        if (!axes.empty() && (a->x != origin[0] || a->y != origin[1] || a->z != origin[2]))
            return {};
        origin = {a->x, a->y, a->z};
        axes[GraphicGetPenColor(line)] = {b->x - a->x, b->y - a->y, b->z - a->z};
    }
    if (axes.size() != 3 || children(part).size() != 3 || !axes.count(0x0000FF) ||
        !axes.count(0x00FF00) || !axes.count(0xFF0000))
        return {};
    return {origin, axes[0x0000FF], axes[0x00FF00], axes[0xFF0000]};
}

double dot(const std::array<double, 3>& a, const std::array<double, 3>& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

double diagonalOf(const Box& b) {
    return (b[3] - b[0]) + (b[4] - b[1]) + (b[5] - b[2]);
}

void expectValidHandle(const Handle& h) {
    const std::string name = h["handle_name"];
    EXPECT_FALSE(name.empty());
    for (const auto& [key, texts] : Vocabulary) {
        if (key != "handle_extents" || h.props.count(key)) {
            EXPECT_TRUE(texts.count(h[key])) << name << ": " << key << " '" << h[key] << "'";
        }
    }
    for (const auto& [key, value] : h.props) {
        if (key.find("handle_disable_if_view_by_") == 0 || key == "handle_snap_to_center" ||
            key.find("handle_hide_") == 0 || key == "handle_position_zoomable") {
            EXPECT_EQ(value, "yes") << name << ": " << key;
        }
    }
    if (h.props.count("handle_priority")) {
        EXPECT_GE(std::stod(h["handle_priority"]), 0) << name;
    }

    const bool interactive = h["handle_transform"] != "none";
    const std::vector<std::string> required =
        interactive ? std::vector<std::string>{"mouseout", "mouseover", "coordsystem", "active"}
                    : std::vector<std::string>{"static"};
    for (const std::string& type : required)
        EXPECT_TRUE(h.parts.count(type)) << name << " lacks its " << type << " part";
    if (h.parts.count("highlight_area")) {
        EXPECT_FALSE(h.fixedSize()) << name << ": highlight_area on a fixed-size handle";
    }
    if (!interactive) return;

    const auto basis = basisOf(h.parts.at("coordsystem").group);
    ASSERT_EQ(basis.size(), 4u) << name << ": malformed coordsystem";
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            EXPECT_NEAR(dot(basis[i], basis[j]), i == j, 1e-12) << name << " axes " << i << j;
    const double handedness =
        dot(basis[3], {basis[1][1] * basis[2][2] - basis[1][2] * basis[2][1],
                       basis[1][2] * basis[2][0] - basis[1][0] * basis[2][2],
                       basis[1][0] * basis[2][1] - basis[1][1] * basis[2][0]});
    EXPECT_NEAR(handedness, 1, 1e-12) << name << ": left-handed coordsystem";
    EXPECT_EQ(basis[0], (std::array<double, 3>{0, 0, 0})) << name << ": origin off the profile's";

    const Part &out = h.parts.at("mouseout"), &over = h.parts.at("mouseover");
    EXPECT_NE(GraphicGetPenColor(children(out.group)[0]),
              GraphicGetPenColor(children(over.group)[0]))
        << name << ": mouseover looks like mouseout";
    if (h.fixedSize()) {
        for (GraphicStruct* g : children(out.group))
            EXPECT_EQ(g->kind, GraphicKindMesh) << name << ": fixed-size parts pick on meshes";
        EXPECT_GT(diagonalOf(over.box), diagonalOf(out.box)) << name << ": mouseover is not larger";
    }
}

// The handle of that name; a failure and an empty handle when there is none.
const Handle& named(const std::vector<Handle>& handles, const std::string& name) {
    static const Handle none;
    for (const Handle& h : handles)
        if (h["handle_name"] == name) return h;
    ADD_FAILURE() << "no handle named " << name;
    return none;
}

} // namespace

TEST_F(ProfilesTest, EveryHandleOfBothProfilesIsWellFormed) {
    for (const char* file : {"UniversalCtrl.qvw", "UniversalCtrlSimple.qvw"}) {
        const std::vector<Handle> handles = Load(file);
        EXPECT_FALSE(handles.empty()) << file;
        for (const Handle& h : handles)
            expectValidHandle(h);
    }
}

TEST_F(ProfilesTest, UniversalHoldsEveryRoutineAndEverySpeciallyTreatedName) {
    const std::vector<Handle> handles = Load("UniversalCtrl.qvw");
    for (const char* name : {"AxisX", "AxisY", "AxisZ", "Bounding_box", "Bounding_box_facets",
                             "Bounding_box_Move", "Reference_point", "SelectionCS"})
        named(handles, name);
    std::set<std::pair<std::string, std::string>> routines;
    for (const Handle& h : handles)
        routines.insert({h["handle_transform"], h["handle_movement"]});
    for (const auto& pair :
         std::vector<std::pair<std::string, std::string>>{{"move", "rotbar_cs_x"},
                                                          {"move", "rotbar_cs_xy"},
                                                          {"move", "wp_cs_xy"},
                                                          {"scale", "rotbar_cs_x"},
                                                          {"scale", "rotbar_cs_xy"},
                                                          {"scale", "handle_cs_x"},
                                                          {"scale", "scene_cs_xy"},
                                                          {"scale", "scene_cs_diag"},
                                                          {"scale2", "rotbar_cs_x"},
                                                          {"rotate", "rotbar_cs_xy"}})
        EXPECT_TRUE(routines.count(pair)) << pair.first << " " << pair.second;

    const Handle& facets = named(handles, "Bounding_box_facets");
    EXPECT_EQ(facets["handle_extents"], "by_selection");
    EXPECT_TRUE(facets.parts.count("highlight_area"));
    EXPECT_EQ(named(handles, "Reference_point")["handle_snap_to_center"], "yes");
    EXPECT_EQ(named(handles, "SelectionCS")["handle_position"], "selection_cs");
    for (const char* name : {"AxisX", "PlaneXY"})
        EXPECT_LT(std::stod(named(handles, name)["handle_priority"]),
                  std::stod(facets["handle_priority"]))
            << name << " must beat the facets";
}

TEST_F(ProfilesTest, SimpleHoldsArrowsRingsAndOneUniformScaleGrip) {
    const std::vector<Handle> handles = Load("UniversalCtrlSimple.qvw");
    std::multiset<std::string> kinds;
    for (const Handle& h : handles)
        kinds.insert(h["handle_transform"]);
    EXPECT_EQ(kinds, (std::multiset<std::string>{"move", "move", "move", "rotate", "rotate",
                                                 "rotate", "scale"}));
    for (const char* name : {"AxisX", "AxisY", "AxisZ"})
        named(handles, name);
}

// Arrows point along their world axis with local X; rings turn about local Z; the fixed-size
// manipulator spans about 0.6 units and the box handles the unit cube.
TEST_F(ProfilesTest, HandleFramesAndSizesFollowTheAuthoringRules) {
    const std::vector<Handle> handles = Load("UniversalCtrl.qvw");
    const std::map<std::string, std::pair<int, int>> axisOf = {
        {"AxisX", {1, 0}},   {"AxisY", {1, 1}},   {"AxisZ", {1, 2}},
        {"RotateX", {3, 0}}, {"RotateY", {3, 1}}, {"RotateZ", {3, 2}}};
    for (const auto& [name, which] : axisOf) {
        const Handle& h = named(handles, name);
        ASSERT_TRUE(h.parts.count("coordsystem")) << name;
        const auto basis = basisOf(h.parts.at("coordsystem").group);
        ASSERT_EQ(basis.size(), 4u) << name;
        EXPECT_EQ(basis[which.first][which.second], 1) << name;
        EXPECT_EQ(h["handle_disable_if_view_by_x"], "yes") << name;
    }
    double lo = 0, hi = 0, boxLo = 0, boxHi = 0;
    for (const Handle& h : handles)
        for (const auto& [type, part] : h.parts) {
            if (type == "coordsystem" || !part.hasBox) continue;
            for (double v : part.box) {
                (h.fixedSize() ? lo : boxLo) = std::min(h.fixedSize() ? lo : boxLo, v);
                (h.fixedSize() ? hi : boxHi) = std::max(h.fixedSize() ? hi : boxHi, v);
            }
        }
    EXPECT_NEAR(hi - lo, 0.6, 0.05);
    EXPECT_NEAR(boxLo, -0.5, 0.06);
    EXPECT_NEAR(boxHi, 0.5, 0.06);
}
