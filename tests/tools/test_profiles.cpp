// The authoring rules of the shipped profiles that loading and using them does not check: every
// handle carries the parts its kind needs, its mouseover look differs from its mouseout look,
// fixed-size handles pick on meshes, and the manipulator and the box handles have their sizes.
// That every group loads as a handle, and where each handle is found and how it drags, is
// checked through the exports (tests/part/test_hover.cpp, tests/kinematics/).
#include "korvex/drawing.h"
#include "support/live_records.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string ProfileFolder = std::string(TILLER_BUILD_DIR) + "/GCtrlProfiles/";

std::vector<GraphicStruct*> children(GraphicStruct* g) {
    std::vector<GraphicStruct*> list;
    GraphicPosition pos;
    for (GraphicStruct* c = GraphicFirst(g, &pos, 1, 1); c; c = GraphicNext(g, &pos, 1, 1))
        list.push_back(c);
    return list;
}

// The first text value of a property, as the library reads it.
std::string property(const GraphicStruct* g, const std::string& name) {
    KvProperty p;
    for (int i = 0; kvGraphicGetProperty(g, i, &p); ++i)
        if (p.name == name) return p.value;
    return "";
}

// A box as lo x, y, z then hi x, y, z; empty for a part without geometry.
using Box = std::vector<double>;

Box boxOf(GraphicStruct* part) {
    ExtentsStruct* e = ExtentsNewEx();
    Box box;
    if (GraphicGetGeometricExtents(part, e, 0, 1, 0, 0))
        box = {ExtentsGetX1(e), ExtentsGetY1(e), ExtentsGetZ1(e),
               ExtentsGetX2(e), ExtentsGetY2(e), ExtentsGetZ2(e)};
    ExtentsDispose(&e);
    return box;
}

double diagonalOf(const Box& b) {
    return (b[3] - b[0]) + (b[4] - b[1]) + (b[5] - b[2]);
}

class ProfilesTest : public LiveRecordsTest {
  protected:
    void ReleaseAll() override {
        for (DrawingStruct*& d : drawings)
            DrawingDispose(&d);
    }
    // The handle groups of a shipped profile.
    std::vector<GraphicStruct*> Load(const std::string& file) {
        std::string reason;
        DrawingStruct* d = kvReadDrawingFile((ProfileFolder + file).c_str(), &reason);
        EXPECT_NE(d, nullptr) << file << ": " << reason;
        if (!d) return {};
        drawings.push_back(d);
        return children(DrawingGetModelRoot(d));
    }

    std::vector<DrawingStruct*> drawings;
};

// The parts of a handle group by their type; a failure for a repeated type.
std::map<std::string, GraphicStruct*> partsOf(GraphicStruct* handle, const std::string& name) {
    std::map<std::string, GraphicStruct*> parts;
    for (GraphicStruct* p : children(handle))
        EXPECT_TRUE(parts.emplace(property(p, "handle_part"), p).second) << name << ": two parts";
    return parts;
}

void expectWellAuthored(GraphicStruct* handle) {
    const std::string name = property(handle, "handle_name");
    const std::map<std::string, GraphicStruct*> parts = partsOf(handle, name);
    const bool fixedSize = property(handle, "handle_extents") != "by_selection";
    if (property(handle, "handle_transform") == "none") {
        EXPECT_TRUE(parts.count("static")) << name;
        return;
    }
    for (const char* type : {"mouseout", "mouseover", "coordsystem", "active"})
        ASSERT_TRUE(parts.count(type)) << name << " lacks its " << type << " part";
    EXPECT_FALSE(fixedSize && parts.count("highlight_area")) << name;
    GraphicStruct* out = parts.at("mouseout");
    GraphicStruct* over = parts.at("mouseover");
    EXPECT_NE(GraphicGetPenColor(children(out)[0]), GraphicGetPenColor(children(over)[0]))
        << name << ": mouseover looks like mouseout";
    if (!fixedSize) return;
    for (GraphicStruct* g : children(out))
        EXPECT_EQ(g->kind, GraphicKindMesh) << name << ": fixed-size parts pick on meshes";
    EXPECT_GT(diagonalOf(boxOf(over)), diagonalOf(boxOf(out))) << name;
}

} // namespace

TEST_F(ProfilesTest, EveryHandleOfBothProfilesIsWellAuthored) {
    for (const char* file : {"UniversalCtrl.qvw", "UniversalCtrlSimple.qvw"}) {
        SCOPED_TRACE(file);
        const std::vector<GraphicStruct*> handles = Load(file);
        EXPECT_FALSE(handles.empty());
        for (GraphicStruct* h : handles)
            expectWellAuthored(h);
    }
    std::multiset<std::string> kinds;
    for (GraphicStruct* h : Load("UniversalCtrlSimple.qvw"))
        kinds.insert(property(h, "handle_transform"));
    EXPECT_EQ(kinds, (std::multiset<std::string>{"move", "move", "move", "rotate", "rotate",
                                                 "rotate", "scale"}));
}

// The fixed-size manipulator spans about 0.6 units and the box handles the unit cube; the arrows
// and planes rank before the box facets they lie in front of.
TEST_F(ProfilesTest, UniversalSizesAndPriorities) {
    double lo = 0, hi = 0, boxLo = 0, boxHi = 0;
    std::map<std::string, double> priority;
    for (GraphicStruct* h : Load("UniversalCtrl.qvw")) {
        const bool fixedSize = property(h, "handle_extents") != "by_selection";
        const std::string name = property(h, "handle_name");
        if (!property(h, "handle_priority").empty())
            priority[name] = std::stod(property(h, "handle_priority"));
        for (const auto& [type, part] : partsOf(h, name)) {
            const Box box = boxOf(part);
            if (type == "coordsystem" || box.empty()) continue;
            (fixedSize ? lo : boxLo) = std::min({fixedSize ? lo : boxLo, box[0], box[1], box[2]});
            (fixedSize ? hi : boxHi) = std::max({fixedSize ? hi : boxHi, box[3], box[4], box[5]});
        }
    }
    EXPECT_NEAR(hi - lo, 0.6, 0.05);
    EXPECT_NEAR(boxLo, -0.5, 0.06);
    EXPECT_NEAR(boxHi, 0.5, 0.06);
    for (const char* name : {"AxisX", "PlaneXY"})
        EXPECT_LT(priority[name], priority["Bounding_box_facets"]) << name;
}
