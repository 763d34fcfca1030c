// `tiller view`'s host without the browser (so also under the sanitizers): the items the page
// draws rebuild the host's model where the host measures the selection, each geometry is sent
// once, malformed requests change nothing, and the watched profile reloads or keeps the last
// good one.
#include "viewer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using tiller::tools::Viewer;

class ViewerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::copy_file(TILLER_BUILD_DIR "/GCtrlProfiles/UniversalCtrl.qvw", profile_,
                      fs::copy_options::overwrite_existing);
        tiller::tools::ViewSource source;
        std::string error;
        ASSERT_TRUE(tiller::tools::ReadViewSource(TILLER_SOURCE_DIR "/examples/bracket.json",
                                                  profile_.string(), &source, &error))
            << error;
        viewer_ = Viewer::Open(source, &error);
        ASSERT_TRUE(viewer_) << error;
        Record(Ask("open", {{"width", 800}, {"height", 600}}));
    }
    void TearDown() override {
        viewer_.reset();
        fs::remove(profile_);
    }

    Json Ask(const std::string& name, const nlohmann::json& request = nlohmann::json::object()) {
        const Viewer::Answer answer = viewer_->Handle(name, request);
        EXPECT_EQ(answer.status, 200) << name << ": " << answer.body.dump();
        return answer.body;
    }

    // Keeps what the page would: geometry by id, fails on geometry sent twice.
    Json Record(Json frame) {
        for (const Json& item : frame.value("add", Json::array()))
            EXPECT_TRUE(geometry_.emplace(item["id"], item["geometry"]).second) << item["id"];
        const Json looks = frame.value("looks", Json::object());
        for (const auto& [id, look] : looks.items())
            looks_[id] = look;
        return frame;
    }

    // The centre of the model pieces' triangles carried by their matrices into the world.
    std::array<double, 3> ModelCentre() {
        std::array<double, 3> lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
        for (const auto& [id, g] : geometry_) {
            if (id[0] != 'm') continue;
            const Json& m = looks_[id]["matrix"];
            const Json& t = g["triangles"];
            for (size_t i = 0; i < t.size(); i += 3)
                for (int r = 0; r < 3; ++r) {
                    const double w = m[r].get<double>() * t[i].get<double>() +
                                     m[4 + r].get<double>() * t[i + 1].get<double>() +
                                     m[8 + r].get<double>() * t[i + 2].get<double>() +
                                     m[12 + r].get<double>();
                    lo[r] = std::min(lo[r], w), hi[r] = std::max(hi[r], w);
                }
        }
        return {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
    }

    // Hovers outwards from the reference point along a world direction until `name` lights.
    std::array<double, 2> FindHandle(const std::string& name, std::array<double, 3> direction) {
        const Json ref = Ask("state")["selection"]["refPoint"];
        Json tip = ref;
        for (int i = 0; i < 3; ++i)
            tip[i] = ref[i].get<double>() + direction[i];
        const Json px = Ask("pixels", {{"points", {ref, tip}}})["pixels"];
        const double dx = px[1][0].get<double>() - px[0][0].get<double>(),
                     dy = px[1][1].get<double>() - px[0][1].get<double>(), len = std::hypot(dx, dy);
        for (double d = 8; d < 400; d += 2) {
            const std::array<double, 2> p{std::floor(px[0][0].get<double>() + dx / len * d),
                                          std::floor(px[0][1].get<double>() + dy / len * d)};
            const Json status =
                Record(Ask("pointer", {{"type", "move"}, {"x", p[0]}, {"y", p[1]}}))["status"];
            if (status["handle"] == name) return p;
        }
        ADD_FAILURE() << "no pixel shows " << name;
        return {0, 0};
    }

    void Rewrite(const std::string& text) {
        std::ofstream(profile_.string() + ".new") << text;
        fs::rename(profile_.string() + ".new", profile_);
    }

    fs::path profile_ =
        fs::temp_directory_path() / ("tiller-viewer-" + std::to_string(::getpid()) + ".qvw");
    std::unique_ptr<Viewer> viewer_;
    std::map<std::string, Json> geometry_;
    std::map<std::string, Json> looks_;
};

TEST_F(ViewerTest, ItemsFollowTheSelectionThroughADragItsUndoAndAnEsc) {
    const Json start = Ask("state")["selection"]["refPoint"];
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(ModelCentre()[i], start[i].get<double>(), 1e-9);
    EXPECT_EQ(Ask("frame"), Json({{"status", Ask("state")}})) << "nothing changed, nothing sent";

    const std::array<double, 2> arrow = FindHandle("AxisX", {1, 0, 0});
    const auto pointer = [&](const char* type, double dx) {
        return Record(
            Ask("pointer", {{"type", type}, {"x", arrow[0] + dx}, {"y", arrow[1] + dx / 2}}));
    };
    pointer("press", 0);
    pointer("move", 30);
    const Json cancelled = Record(Ask("pointer", {{"type", "cancel"}}))["status"];
    EXPECT_FALSE(cancelled["dragging"]);
    EXPECT_EQ(cancelled["selection"]["refPoint"], start);

    pointer("press", 0);
    const Json dragging = pointer("move", 40)["status"];
    ASSERT_TRUE(dragging["mDrag"].is_array());
    const double dragged = dragging["mDrag"][12];
    EXPECT_GT(dragged, 0);
    EXPECT_NEAR(ModelCentre()[0], start[0].get<double>() + dragged, 1e-9) << "the model follows";
    const Json released = pointer("release", 40)["status"];
    EXPECT_EQ(released["undo"], 1);
    EXPECT_NEAR(released["selection"]["refPoint"][0].get<double>(),
                start[0].get<double>() + dragged, 1e-9);
    EXPECT_NEAR(ModelCentre()[0], start[0].get<double>() + dragged, 1e-9);

    const Json undone = Record(Ask("undo"))["status"];
    EXPECT_EQ(undone["undo"], 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(undone["selection"]["refPoint"][i].get<double>(), start[i].get<double>(), 1e-9);
        EXPECT_NEAR(ModelCentre()[i], start[i].get<double>(), 1e-9);
    }
}

TEST_F(ViewerTest, MalformedRequestsAnswerAReasonAndChangeNothing) {
    const Json before = Ask("state");
    const struct {
        const char* name;
        nlohmann::json request;
        int status;
    } cases[] = {
        {"pointer", {{"type", "press"}, {"x", "a"}, {"y", 1}}, 400},
        {"pointer", {{"type", "jump"}, {"x", 1}, {"y", 1}}, 400},
        {"pointer", {{"type", "press"}, {"x", 1e300}, {"y", 1}}, 400},
        {"pointer", {{"type", "move"}, {"x", 1}}, 400},
        {"pointer", {{"type", "cancel"}, {"button", 1}}, 400},
        {"view", {{"zoom", -1}}, 400},
        {"view", {{"preset", "sideways"}}, 400},
        {"view", {{"width", 0}, {"height", 10}}, 400},
        {"view", {{"width", 100}}, 400},
        {"view", {{"orbit", {1}}}, 400},
        {"settings", {{"settings", {{"Show_Nothing", 1}}}}, 400},
        {"settings", {{"settings", {{"Show_Axes", "yes"}}}}, 400},
        {"settings", {{"snap", {{"rotate", -15}}}}, 400},
        {"pixels", {{"points", {{1, 2}}}}, 400},
        {"open", nlohmann::json::array(), 400},
        {"undo", {{"steps", 2}}, 400},
        {"teleport", nlohmann::json::object(), 404},
    };
    for (const auto& c : cases) {
        const Viewer::Answer answer = viewer_->Handle(c.name, c.request);
        EXPECT_EQ(answer.status, c.status) << c.name << " " << c.request.dump();
        const std::string reason = answer.body.value("error", "");
        EXPECT_TRUE(!reason.empty() && reason.find('\n') == std::string::npos) << reason;
    }
    EXPECT_EQ(Ask("frame"), Json({{"status", before}}));
}

TEST_F(ViewerTest, TheWatchedProfileReloadsAndABrokenOneKeepsTheLastGoodOne) {
    EXPECT_FALSE(viewer_->CheckProfileFile());
    // A drawing that does not read, and one that reads but holds no handle (its profile stays
    // loaded in the library, and must not be what a later edit is built from).
    for (const auto& [text, reason] :
         {std::pair{R"({"format": "qvw", "version": 2, "root": {"kind": 7}})", "version"},
          std::pair{R"({"format": "qvw", "version": 1, "root": {"kind": 7}})", "no handle"}}) {
        Rewrite(text);
        EXPECT_TRUE(viewer_->CheckProfileFile());
        const Json kept = Ask("frame");
        EXPECT_FALSE(kept.contains("shown")) << "the last good handles stay";
        EXPECT_NE(kept["status"]["profileError"].get<std::string>().find(reason),
                  std::string::npos);
    }
    FindHandle("AxisX", {1, 0, 0});

    nlohmann::json drawing =
        nlohmann::json::parse(std::ifstream(TILLER_BUILD_DIR "/GCtrlProfiles/UniversalCtrl.qvw"));
    // The arrow's meshes only: the coordinate-system lines name its axes by their colours.
    std::function<void(nlohmann::json&, bool)> recolour = [&](nlohmann::json& g, bool inArrow) {
        for (const nlohmann::json& p : g.value("properties", nlohmann::json::array()))
            inArrow = inArrow || p == nlohmann::json::array({"handle_name", "AxisX"});
        if (inArrow && g["kind"] == 18) g["pen"] = "0xFF00FF";
        if (g.contains("children"))
            for (nlohmann::json& child : g["children"])
                recolour(child, inArrow);
    };
    recolour(drawing["root"], false);
    Rewrite(drawing.dump());
    EXPECT_TRUE(viewer_->CheckProfileFile());
    const Json reloaded = Record(Ask("frame"));
    EXPECT_TRUE(reloaded["status"]["profileError"].is_null());
    EXPECT_EQ(reloaded["status"]["profileLoads"], 1);
    std::set<uint32_t> colours;
    for (const Json& item : reloaded["add"])
        for (const Json& c : item["geometry"]["triangleColors"])
            colours.insert(c.get<uint32_t>());
    EXPECT_TRUE(colours.count(0xFF00FF)) << "the recoloured arrow is drawn";
    FindHandle("AxisX", {1, 0, 0});
}

} // namespace

// A model file sent by the page replaces the model, the page dropping the old items; clicks on
// it select a part or nothing, and an undo selects again what it moves back. Other files
// change nothing.
TEST_F(ViewerTest, AnOpenedFileReplacesTheModelAndClicksSelectItsParts) {
    std::ifstream in(TILLER_SOURCE_DIR "/examples/assembly.step", std::ios::binary);
    const std::string step((std::istreambuf_iterator<char>(in)), {});
    const Json before = Ask("frame");
    for (const auto& [name, bytes, status] :
         {std::tuple{"notes.txt", step, 400}, std::tuple{"cut.step", step.substr(0, 999), 422},
          std::tuple{"big.stl", std::string(Viewer::kMaxModelFileBytes + 1, ' '), 413}}) {
        const Viewer::Answer refused = viewer_->OpenFile(name, bytes);
        EXPECT_EQ(refused.status, status) << refused.body.dump();
        EXPECT_EQ(refused.body["error"].get<std::string>().rfind(name, 0), 0u) << refused.body;
    }
    EXPECT_EQ(Ask("frame"), before);

    const Viewer::Answer opened = viewer_->OpenFile("assembly.step", step);
    ASSERT_EQ(opened.status, 200) << opened.body.dump();
    for (const Json& id : opened.body["remove"])
        EXPECT_EQ(geometry_.erase(id), 1u) << id;
    Record(opened.body);
    const Json whole = opened.body["status"]["selection"]["refPoint"];
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(ModelCentre()[i], whole[i].get<double>(), 0.5);

    const auto click = [&](const Json& pixel) {
        Ask("pointer", {{"type", "press"}, {"x", pixel[0]}, {"y", pixel[1]}});
        return Ask("pointer", {{"type", "release"}, {"x", pixel[0]}, {"y", pixel[1]}})["status"];
    };
    EXPECT_EQ(click({5, 5})["selected"]["count"], 0);
    const Json corner = Ask("pixels", {{"points", {{5, 5, 10}}}})["pixels"][0];
    EXPECT_EQ(click(corner)["selected"]["names"], Json({"bracket-assembly_1/base-plate_1"}));
    const Json plate = Ask("state")["selection"]["refPoint"];
    const std::array<double, 2> arrow = FindHandle("AxisX", {1, 0, 0});
    Ask("pointer", {{"type", "press"}, {"x", arrow[0]}, {"y", arrow[1]}});
    Ask("pointer", {{"type", "move"}, {"x", arrow[0] + 40}, {"y", arrow[1] + 20}});
    Ask("pointer", {{"type", "release"}, {"x", arrow[0] + 40}, {"y", arrow[1] + 20}});
    EXPECT_EQ(click({5, 5})["selected"]["count"], 0);
    const Json undone = Ask("undo")["status"];
    EXPECT_EQ(undone["selected"]["names"], Json({"bracket-assembly_1/base-plate_1"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(undone["selection"]["refPoint"][i].get<double>(), plate[i].get<double>(), 1e-9);
}
