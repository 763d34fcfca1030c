// `tiller lint` on the shipped profiles, which must be clean, and on a corpus of broken
// profiles: a small good profile with one mistake made in each, and the exact messages and
// exit status each must give. Every finding the library's load steps can report is made by
// at least one entry.
#include "lint.h"

#include "tiller/profile/diagnostics.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

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
json NewPart(const std::string& type, json children) {
    return {{"kind", 7}, {"properties", {{"handle_part", type}}}, {"children", std::move(children)}};
}
json StaticBox(const std::string& name) {
    return {{"kind", 7},
            {"properties",
             {{"handle_name", name}, {"handle_transform", "none"},
              {"handle_position", "extents_center"}, {"handle_orientation", "gctrl_cs"},
              {"handle_movement", "none"}, {"handle_extents", "by_selection"}}},
            {"children",
             {NewPart("static", {{{"kind", 2}, {"vertices", {{0, 0, 0}, {1, 0, 0}}}}})}}};
}

struct BrokenProfile {
    const char* name;
    std::function<void(json&)> mistake;
    std::vector<std::string> messages;
    int status;
};

const std::vector<BrokenProfile>& Corpus() {
    static const std::vector<BrokenProfile> corpus = {
        {"version-2", [](json& p) { p["version"] = 2; }, {}, 2},
        {"no-properties", [](json& p) { Arrow(p).erase("properties"); }, {}, 2},
        {"no-name", [](json& p) { Erase(Arrow(p), "handle_name"); }, {}, 2},
        {"empty-name", [](json& p) { Set(Arrow(p), "handle_name", ""); }, {}, 2},
        {"no-movement", [](json& p) { Erase(Arrow(p), "handle_movement"); }, {}, 2},
        {"capital-word", [](json& p) { Set(Arrow(p), "handle_transform", "Move"); }, {}, 2},
        {"extents-typo", [](json& p) { Set(Arrow(p), "handle_extents", "by_selecton"); }, {}, 1},
        {"number-priority", [](json& p) { Set(Arrow(p), "handle_priority", 1); }, {}, 2},
        {"misspelt-key", [](json& p) { Add(Arrow(p), "handle_snap_to_centre", "yes"); }, {}, 1},
        {"repeated-key", [](json& p) { Add(Arrow(p), "handle_priority", "2"); }, {}, 1},
        {"flag-true", [](json& p) { Add(Arrow(p), "handle_multi_view", "true"); }, {}, 1},
        {"word-priority", [](json& p) { Set(Arrow(p), "handle_priority", "high"); }, {}, 1},
        {"priority-unit", [](json& p) { Set(Arrow(p), "handle_priority", "2px"); }, {}, 1},
        {"priority-low", [](json& p) { Set(Arrow(p), "handle_priority", "-5"); }, {}, 1},
        {"untyped-part",
         [](json& p) { Arrow(p)["children"].push_back({{"kind", 7}, {"children", json::array()}}); },
         {}, 1},
        {"part-typo", [](json& p) { Arrow(p)["children"].push_back(NewPart("activ", json::array())); },
         {}, 2},
        {"two-mouseovers", [](json& p) { Arrow(p)["children"].push_back(Part(p, 1)); }, {}, 1},
        {"empty-active",
         [](json& p) { Arrow(p)["children"].push_back(NewPart("active", json::array())); }, {}, 2},
        {"fourth-axis", [](json& p) { Part(p, 2)["children"].push_back(AxisLine(p, 0)); }, {}, 2},
        {"two-red-axes", [](json& p) { AxisLine(p, 1)["pen"] = "0x0000FF"; }, {}, 2},
        {"axis-polyline", [](json& p) { AxisLine(p, 2)["vertices"].push_back({0, 1, 1}); }, {}, 2},
        {"axes-apart", [](json& p) { AxisLine(p, 2)["vertices"][0] = {0.5, 0, 0}; }, {}, 2},
        {"no-mouseover", [](json& p) { Arrow(p)["children"].erase(1); }, {}, 2},
        {"zero-axis", [](json& p) { AxisLine(p, 2)["vertices"][1] = {0, 0, 0}; }, {}, 2},
        {"parallel-axes", [](json& p) { AxisLine(p, 1)["vertices"][1] = {1, 0, 0}; }, {}, 2},
        {"two-boxes",
         [](json& p) {
             p["root"]["children"].push_back(StaticBox("Bounding_box"));
             p["root"]["children"].push_back(StaticBox("Bounding_box"));
         },
         {}, 2},
        {"two-arrows", [](json& p) { p["root"]["children"].push_back(Arrow(p)); }, {}, 1},
        {"origin-off",
         [](json& p) {
             for (json& line : Part(p, 2)["children"])
                 for (json& v : line["vertices"])
                     v[0] = v[0].get<double>() + 0.1;
         },
         {}, 1},
        {"highlight-fixed",
         [](json& p) { Arrow(p)["children"].push_back(NewPart("highlight_area", Part(p, 0)["children"])); },
         {}, 1},
        {"line-mouseout", [](json& p) { Part(p, 0)["children"] = json::array({AxisLine(p, 0)}); }, {}, 1},
        {"unplaced", [](json& p) { Set(Arrow(p), "handle_position", "gctrl_cs_origin"); }, {}, 1},
        {"ring-highlight",
         [](json& p) {
             Set(Arrow(p), "handle_transform", "rotate");
             Set(Arrow(p), "handle_extents", "by_selection");
             Arrow(p)["children"].push_back(NewPart("highlight_area", Part(p, 0)["children"]));
         },
         {}, 1},
        {"metre-arrow",
         [](json& p) {
             for (json& v : Part(p, 0)["children"][0]["vertices"])
                 v[0] = v[0].get<double>() * 1000;
         },
         {}, 1},
    };
    return corpus;
}

fs::path TempDir() {
    const fs::path dir = fs::temp_directory_path() / ("tiller-lint-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

std::vector<std::string> Messages(const tiller::tools::LintReport& report, const std::string& file) {
    std::vector<std::string> lines;
    for (const auto* message : report.AllMessages())
        lines.push_back(tiller::tools::FormatLintMessage(file, *message));
    return lines;
}

TEST(Lint, TheShippedProfilesAreClean) {
    for (const char* name : {"UniversalCtrl.qvw", "UniversalCtrlSimple.qvw"}) {
        const auto report = LintProfile(std::string(TILLER_BUILD_DIR "/GCtrlProfiles/") + name);
        EXPECT_EQ(report.Status(), 0) << name;
        EXPECT_EQ(Messages(report, name), std::vector<std::string>{}) << name;
        for (const auto& group : report.groups)
            EXPECT_TRUE(group.loaded) << name << ": " << group.subject;
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

} // namespace
