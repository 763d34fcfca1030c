// `tiller lint` on the shipped profiles, which must be clean, and on a corpus of broken
// profiles: a small good profile with one mistake made in each, and the exact messages and
// exit status each must give. Every finding the library's load steps can report is made by
// at least one entry. And `tiller gallery`: every handle drawn in each of its looks.
#include "gallery.h"
#include "lint.h"

#include "tiller/profile/diagnostics.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using tiller::tools::LintProfile;

// One move arrow along X: a mesh mouseout, a mesh mouseover and the axis lines.
const char* const GoodProfile = R"({"format": "qvw", "version": 1, "root": {"kind": 7,
  "children": [{"kind": 7, "layer": 1,
    "properties": [["handle_name", "AxisX"], ["handle_transform", "move"],
      ["handle_position", "refpoint"], ["handle_orientation", "gctrl_rotbar_cs"],
      ["handle_movement", "rotbar_cs_x"], ["handle_priority", "1"]],
    "children": [
      {"kind": 7, "properties": [["handle_part", "mouseout"]], "children": [{"kind": 18,
        "vertices": [[0.05, -0.01, 0], [0.3, 0, 0], [0.05, 0.01, 0]], "faces": [[0, 1, 2]]}]},
      {"kind": 7, "properties": [["handle_part", "mouseover"]], "children": [{"kind": 18,
        "vertices": [[0.05, -0.015, 0], [0.31, 0, 0], [0.05, 0.015, 0]], "faces": [[0, 1, 2]]}]},
      {"kind": 7, "properties": [["handle_part", "coordsystem"]], "children": [
        {"kind": 2, "pen": "0x0000FF", "vertices": [[0, 0, 0], [1, 0, 0]]},
        {"kind": 2, "pen": "0x00FF00", "vertices": [[0, 0, 0], [0, 1, 0]]},
        {"kind": 2, "pen": "0xFF0000", "vertices": [[0, 0, 0], [0, 0, 1]]}]}]}]}})";

json& Arrow(json& p) {
    return p["root"]["children"][0];
}
json& Part(json& p, int i) {
    return Arrow(p)["children"][i];
}
json& AxisLine(json& p, int axis) {
    return Part(p, 2)["children"][axis];
}
void Set(json& g, const std::string& key, json value) {
    for (json& pair : g["properties"])
        if (pair[0] == key) return void(pair[1] = std::move(value));
    g["properties"].push_back({key, std::move(value)});
}
void Erase(json& g, const std::string& key) {
    json& properties = g["properties"];
    for (size_t i = 0; i < properties.size(); ++i)
        if (properties[i][0] == key) return properties.erase(i);
}
void Add(json& g, const std::string& key, json value) {
    g["properties"].push_back({key, std::move(value)});
}
json Pair(const std::string& key, const std::string& value) {
    return json::array({key, value});
}
json NewPart(const std::string& type, json children) {
    return {{"kind", 7},
            {"properties", json::array({Pair("handle_part", type)})},
            {"children", std::move(children)}};
}
json StaticBox(const std::string& name) {
    json line = {{"kind", 2}, {"vertices", {{0, 0, 0}, {1, 0, 0}}}};
    return {{"kind", 7},
            {"properties",
             json::array({Pair("handle_name", name), Pair("handle_transform", "none"),
                          Pair("handle_position", "extents_center"),
                          Pair("handle_orientation", "gctrl_cs"), Pair("handle_movement", "none"),
                          Pair("handle_extents", "by_selection")})},
            {"children", json::array({NewPart("static", json::array({line}))})}};
}

struct BrokenProfile {
    const char* name;
    std::function<void(json&)> mistake;
    std::vector<std::string> messages;
    int status;
};

const std::vector<BrokenProfile>& Corpus() {
    static const std::vector<BrokenProfile> corpus = {
        {"version-2",
         [](json& p) { p["version"] = 2; },
         {"version-2.qvw: error: the file cannot be read: version: version 2 is not supported "
          "(this reader reads version 1)"},
         2},
        {"no-properties",
         [](json& p) { Arrow(p).erase("properties"); },
         {"no-properties.qvw:5: group 1: error: the group has no properties, so it is not a handle "
          "and is dropped"},
         2},
        {"no-name",
         [](json& p) { Erase(Arrow(p), "handle_name"); },
         {"no-name.qvw:5: group 1: error: the group has no handle_name, so it is dropped"},
         2},
        {"empty-name",
         [](json& p) { Set(Arrow(p), "handle_name", ""); },
         {"empty-name.qvw:5: group 1: error: handle_name is empty, so the group is dropped"},
         2},
        {"no-movement",
         [](json& p) { Erase(Arrow(p), "handle_movement"); },
         {"no-movement.qvw:5: group \"AxisX\": error: the required key handle_movement is missing, "
          "so the group is dropped"},
         2},
        {"capital-word",
         [](json& p) { Set(Arrow(p), "handle_transform", "Move"); },
         {"capital-word.qvw:5: group \"AxisX\": error: handle_transform \"Move\" is not one of "
          "none, move, scale, scale2, rotate (write \"move\": the words are case-sensitive), so "
          "the group is dropped"},
         2},
        {"extents-typo",
         [](json& p) { Set(Arrow(p), "handle_extents", "by_selecton"); },
         {"extents-typo.qvw:5: group \"AxisX\": warning: handle_extents \"by_selecton\" is not one "
          "of by_screen_resolution, by_selection (did you mean \"by_selection\"?), so "
          "by_screen_resolution is used"},
         1},
        {"number-priority",
         [](json& p) { Set(Arrow(p), "handle_priority", 1); },
         {"number-priority.qvw:5: group \"AxisX\": error: the value of handle_priority is not text "
          "and only text is read, so the key counts as missing (write it in quotes)"},
         2},
        {"misspelt-key",
         [](json& p) { Add(Arrow(p), "handle_snap_to_centre", "yes"); },
         {"misspelt-key.qvw:5: group \"AxisX\": warning: the key \"handle_snap_to_centre\" is not "
          "read here (did you mean \"handle_snap_to_center\"?)"},
         1},
        {"repeated-key",
         [](json& p) { Add(Arrow(p), "handle_priority", "2"); },
         {"repeated-key.qvw:5: group \"AxisX\": warning: handle_priority is given more than once, "
          "and only the first value counts"},
         1},
        {"flag-true",
         [](json& p) { Add(Arrow(p), "handle_multi_view", "true"); },
         {"flag-true.qvw:5: group \"AxisX\": warning: handle_multi_view \"true\" is neither yes "
          "nor no, so it reads as no"},
         1},
        {"word-priority",
         [](json& p) { Set(Arrow(p), "handle_priority", "high"); },
         {"word-priority.qvw:5: group \"AxisX\": warning: handle_priority \"high\" is not a number "
          "the loader reads, so the default stands"},
         1},
        {"priority-unit",
         [](json& p) { Set(Arrow(p), "handle_priority", "2px"); },
         {"priority-unit.qvw:5: group \"AxisX\": warning: handle_priority \"2px\" is read as 2 and "
          "the rest of the text is ignored"},
         1},
        {"priority-low",
         [](json& p) { Set(Arrow(p), "handle_priority", "-5"); },
         {"priority-low.qvw:5: group \"AxisX\": warning: handle_priority \"-5\" is below -1, the "
          "lowest priority, and is read as -1"},
         1},
        {"untyped-part",
         [](json& p) {
             Arrow(p)["children"].push_back({{"kind", 7}, {"children", json::array()}});
         },
         {"untyped-part.qvw:142: group \"AxisX\", part 4: warning: the child group has no "
          "handle_part, so it is not a part and is ignored"},
         1},
        {"part-typo",
         [](json& p) { Arrow(p)["children"].push_back(NewPart("activ", json::array())); },
         {"part-typo.qvw:142: group \"AxisX\", part 4 (activ): error: handle_part \"activ\" is not "
          "one of mouseout, mouseover, active, static, coordsystem, highlight_area, "
          "visibility_area (did you mean \"active\"?), so the group is not a part and is ignored"},
         2},
        {"two-mouseovers",
         [](json& p) { Arrow(p)["children"].push_back(Part(p, 1)); },
         {"two-mouseovers.qvw:142: group \"AxisX\", part 4 (mouseover): warning: a second "
          "mouseover part replaces the earlier one"},
         1},
        {"empty-active",
         [](json& p) { Arrow(p)["children"].push_back(NewPart("active", json::array())); },
         {"empty-active.qvw:142: group \"AxisX\", part 4 (active): error: the part holds no "
          "geometry with extents, so it is not loaded"},
         2},
        {"fourth-axis",
         [](json& p) { Part(p, 2)["children"].push_back(AxisLine(p, 0)); },
         {"fourth-axis.qvw:83: group \"AxisX\", part 3 (coordsystem): error: a coordsystem part "
          "holds exactly three axis lines, and this one holds another number of graphics",
          "fourth-axis.qvw:83: group \"AxisX\", part 3 (coordsystem): error: the handle's "
          "transform needs this coordsystem part, which could not be loaded, so the handle is "
          "dropped"},
         2},
        {"two-red-axes",
         [](json& p) { AxisLine(p, 1)["pen"] = "0x0000FF"; },
         {"two-red-axes.qvw:83: group \"AxisX\", part 3 (coordsystem): error: the axis lines must "
          "be one red (X), one green (Y) and one blue (Z) line, and a colour is missing, repeated "
          "or another colour",
          "two-red-axes.qvw:83: group \"AxisX\", part 3 (coordsystem): error: the handle's "
          "transform needs this coordsystem part, which could not be loaded, so the handle is "
          "dropped"},
         2},
        {"axis-polyline",
         [](json& p) {
             AxisLine(p, 2)["vertices"].push_back({0, 1, 1});
         },
         {"axis-polyline.qvw:83: group \"AxisX\", part 3 (coordsystem): error: the Z axis graphic "
          "is not a line of two points",
          "axis-polyline.qvw:83: group \"AxisX\", part 3 (coordsystem): error: the handle's "
          "transform needs this coordsystem part, which could not be loaded, so the handle is "
          "dropped"},
         2},
        {"axes-apart",
         [](json& p) {
             AxisLine(p, 2)["vertices"][0] = {0.5, 0, 0};
         },
         {"axes-apart.qvw:83: group \"AxisX\", part 3 (coordsystem): error: the three axis lines "
          "do not start at one common point",
          "axes-apart.qvw:83: group \"AxisX\", part 3 (coordsystem): error: the handle's transform "
          "needs this coordsystem part, which could not be loaded, so the handle is dropped"},
         2},
        {"no-mouseover",
         [](json& p) { Arrow(p)["children"].erase(1); },
         {"no-mouseover.qvw:5: group \"AxisX\": error: the handle's transform needs a mouseover "
          "part and there is none, so the handle is dropped"},
         2},
        {"zero-axis",
         [](json& p) {
             AxisLine(p, 2)["vertices"][1] = {0, 0, 0};
         },
         {"zero-axis.qvw:83: group \"AxisX\", part 3 (coordsystem): error: the Z axis line has no "
          "length, so the handle has no frame and is dropped"},
         2},
        {"parallel-axes",
         [](json& p) {
             AxisLine(p, 1)["vertices"][1] = {1, 0, 0};
         },
         {"parallel-axes.qvw:83: group \"AxisX\", part 3 (coordsystem): error: the Y axis line is "
          "parallel to the X axis line, so the handle has no frame and is dropped"},
         2},
        {"two-boxes",
         [](json& p) {
             p["root"]["children"].push_back(StaticBox("Bounding_box"));
             p["root"]["children"].push_back(StaticBox("Bounding_box"));
         },
         {"two-boxes.qvw:229: group \"Bounding_box\": error: only the first \"Bounding_box\" group "
          "becomes a handle, so this one is dropped"},
         2},
        {"two-arrows",
         [](json& p) { p["root"]["children"].push_back(Arrow(p)); },
         {"two-arrows.qvw:172: group \"AxisX\": warning: the name is also used on line 5; both "
          "load, and the host finds this later one by name"},
         1},
        {"origin-off",
         [](json& p) {
             for (json& line : Part(p, 2)["children"])
                 for (json& v : line["vertices"])
                     v[0] = v[0].get<double>() + 0.1;
         },
         {"origin-off.qvw:5: group \"AxisX\": warning: the coordsystem origin lies 0.1 units from "
          "the point the handle scales about on screen (the profile origin, or the group's "
          "reference point when zoomable), and drags other than the axis scale assume them equal"},
         1},
        {"highlight-fixed",
         [](json& p) {
             Arrow(p)["children"].push_back(NewPart("highlight_area", Part(p, 0)["children"]));
         },
         {"highlight-fixed.qvw:142: group \"AxisX\", part 4 (highlight_area): warning: a "
          "highlight_area part does not follow the on-screen scale of a fixed-size handle and is "
          "picked at the wrong size: use it only with handle_extents by_selection"},
         1},
        {"line-mouseout",
         [](json& p) { Part(p, 0)["children"] = json::array({AxisLine(p, 0)}); },
         {"line-mouseout.qvw:7: group \"AxisX\", part 1 (mouseout): warning: the mouseout part of "
          "a fixed-size handle holds only lines, which perspective views pick with a quarter of "
          "the pick radius: give it meshes (tubes, cones, quads)"},
         1},
        {"not-dragged",
         [](json& p) { Set(Arrow(p), "handle_movement", "scene_cs_x"); },
         {"not-dragged.qvw:5: group \"AxisX\": warning: handle_movement \"scene_cs_x\" has no drag "
          "with handle_transform \"move\", so dragging the handle changes nothing"},
         1},
        {"unplaced",
         [](json& p) { Set(Arrow(p), "handle_position", "gctrl_cs_origin"); },
         {"unplaced.qvw:5: group \"AxisX\": warning: handle_position \"gctrl_cs_origin\" adds no "
          "translation, so the handle stays at the world origin: use refpoint, extents_center or "
          "selection_cs"},
         1},
        {"ring-highlight",
         [](json& p) {
             Set(Arrow(p), "handle_transform", "rotate");
             Set(Arrow(p), "handle_movement", "rotbar_cs_xy");
             Set(Arrow(p), "handle_extents", "by_selection");
             Arrow(p)["children"].push_back(NewPart("highlight_area", Part(p, 0)["children"]));
         },
         {"ring-highlight.qvw:142: group \"AxisX\", part 4 (highlight_area): warning: a rotation "
          "ring measures its plane from the point its mouseout part is picked at, so a "
          "highlight_area takes that away: pick rings on their mouseout part"},
         1},
        {"metre-arrow",
         [](json& p) {
             for (json& v : Part(p, 0)["children"][0]["vertices"])
                 v[0] = v[0].get<double>() * 1000;
         },
         {"metre-arrow.qvw:7: group \"AxisX\", part 1 (mouseout): warning: the handle is 250 units "
          "across while screen-sized handles are authored about 0.6 across, so it is drawn between "
          "20833.3 and 416667 pixels at any setting"},
         1},
    };
    return corpus;
}

fs::path TempDir() {
    const fs::path dir = fs::temp_directory_path() / ("tiller-lint-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

std::vector<std::string> Messages(const tiller::tools::LintReport& report,
                                  const std::string& file) {
    std::vector<std::string> lines;
    for (const auto* message : report.AllMessages())
        lines.push_back(tiller::tools::FormatLintMessage(file, *message));
    return lines;
}

// The shipped profiles and the authoring guide's worked example.
TEST(Lint, TheShippedProfilesAreClean) {
    for (const std::string path : {TILLER_BUILD_DIR "/GCtrlProfiles/UniversalCtrl.qvw",
                                   TILLER_BUILD_DIR "/GCtrlProfiles/UniversalCtrlSimple.qvw",
                                   TILLER_SOURCE_DIR "/docs/examples/FatArrow.qvw"}) {
        const auto report = LintProfile(path);
        EXPECT_EQ(report.Status(), 0) << path;
        EXPECT_EQ(Messages(report, path), std::vector<std::string>{});
        for (const auto& group : report.groups)
            EXPECT_TRUE(group.loaded) << path << ": " << group.subject;
    }
}

TEST(Lint, EachBrokenProfileGetsItsMessagesAndStatus) {
    const fs::path dir = TempDir();
    std::set<std::string> codes;
    {
        std::ofstream(dir / "good.qvw") << json::parse(GoodProfile).dump(1);
        const auto good = LintProfile((dir / "good.qvw").string());
        EXPECT_EQ(Messages(good, "good.qvw"), std::vector<std::string>{});
        ASSERT_EQ(good.groups.size(), 1u);
        EXPECT_EQ(good.groups[0].handle["parts"].size(), 3u);
    }
    for (const BrokenProfile& entry : Corpus()) {
        json profile = json::parse(GoodProfile);
        entry.mistake(profile);
        const std::string file = std::string(entry.name) + ".qvw";
        std::ofstream(dir / file) << profile.dump(1);
        const auto report = LintProfile((dir / file).string());
        EXPECT_EQ(Messages(report, file), entry.messages) << entry.name;
        EXPECT_EQ(report.Status(), entry.status) << entry.name;
        for (const auto* message : report.AllMessages())
            codes.insert(message->code);
    }
    for (int code = 0; code < static_cast<int>(tiller::DiagnosticCode::Count); ++code) {
        const char* name = tiller::tools::LintCodeName(static_cast<tiller::DiagnosticCode>(code));
        EXPECT_EQ(codes.count(name), 1u) << "no corpus entry reaches " << name;
    }
    fs::remove_all(dir);
}

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Each look of a handle must show on screen: its three pictures in a view all differ.
TEST(Gallery, DrawsEveryHandleInEachLookAndView) {
    const fs::path dir = TempDir() / "gallery";
    std::ostringstream errors;
    ASSERT_EQ(tiller::tools::WriteGallery("UniversalCtrlSimple.qvw", dir.string(), errors), 0)
        << errors.str();
    const std::string sheet = FileText(dir / "index.html");
    for (const char* handle : {"ScaleDiagonal", "RotateX", "AxisZ"}) {
        for (const char* view : {"iso", "axis"}) {
            const std::string stem = std::string(handle) + "-" + view + "-";
            const std::string out = FileText(dir / (stem + "mouseout.png"));
            ASSERT_FALSE(out.empty()) << stem;
            EXPECT_NE(out, FileText(dir / (stem + "mouseover.png"))) << stem;
            EXPECT_NE(out, FileText(dir / (stem + "active.png"))) << stem;
            EXPECT_NE(sheet.find("src=\"" + stem + "active.png\""), std::string::npos) << stem;
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 7 * 6 + 1);
    fs::remove_all(dir.parent_path());
}

} // namespace
