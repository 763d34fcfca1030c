// `tiller play` end to end on the demo session: the handles the pointer finds, the drag
// matrices of a move, a snapped rotation and a grip scale, the pictures and the report; and
// `tiller report` on good and broken profiles.
#include "play.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using tiller::tools::Session;

class DemoSessionTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Session session;
        std::string error;
        ASSERT_TRUE(tiller::tools::ReadSessionFile(TILLER_SOURCE_DIR "/examples/bracket.json",
                                                   &session, &error))
            << error;
        out_ = fs::temp_directory_path() / ("tiller-play-" + std::to_string(::getpid()));
        std::ostringstream log, errors;
        ASSERT_EQ(tiller::tools::PlaySession(session, out_.string(), log, errors), 0)
            << errors.str();
        std::istringstream lines(log.str());
        for (std::string line; std::getline(lines, line);)
            lines_.push_back(json::parse(line));
    }
    static void TearDownTestSuite() { fs::remove_all(out_); }

    // The lines of one action, in order.
    static std::vector<json> Of(const std::string& action) {
        std::vector<json> found;
        for (const json& l : lines_)
            if (l["action"] == action) found.push_back(l);
        return found;
    }

    static inline fs::path out_;
    static inline std::vector<json> lines_;
};

TEST_F(DemoSessionTest, EveryStepIsPlayedAndEveryExportSucceeds) {
    ASSERT_GT(lines_.size(), 1u);
    EXPECT_EQ(lines_[0]["handles"], 27);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        EXPECT_EQ(lines_[i]["step"], i);
        for (const char* key : {"result", "applied", "setup", "show", "snapped"}) {
            if (!lines_[i].contains(key)) continue;
            EXPECT_EQ(lines_[i][key], 1) << lines_[i].dump();
        }
    }
}

TEST_F(DemoSessionTest, PointerFindsAndDragsTheArrowTheRingAndTheTopGrip) {
    const auto hovers = Of("hover"), presses = Of("press"), drags = Of("drag");
    ASSERT_EQ(presses.size(), 3u);
    ASSERT_EQ(drags.size(), 6u);
    const char* names[] = {"AxisX", "RotateZ", "ScaleGripZPlus"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(hovers[i]["handle"], names[i]);
        EXPECT_EQ(hovers[i]["changed"], 1);
        EXPECT_EQ(presses[i]["handle"], names[i]);
    }
    // The arrow: a translation along world X, growing with the pointer.
    for (int i = 0; i < 2; ++i) {
        const json& m = drags[i]["mDrag"];
        EXPECT_EQ(m[0], 1.0);
        EXPECT_EQ(m[13], 0.0);
        EXPECT_EQ(m[14], 0.0);
    }
    EXPECT_GT(drags[0]["mDrag"][12].get<double>(), 0);
    EXPECT_NEAR(drags[1]["mDrag"][12].get<double>(), 2 * drags[0]["mDrag"][12].get<double>(), 1e-9);
    // The ring: a turn about world Z by whole 15 degree steps.
    for (int i = 2; i < 4; ++i) {
        const json& m = drags[i]["mDrag"];
        const double degrees = std::atan2(m[1].get<double>(), m[0].get<double>()) * 180 / M_PI;
        EXPECT_NE(std::lround(degrees), 0);
        EXPECT_NEAR(degrees / 15, std::nearbyint(degrees / 15), 1e-9) << degrees;
        EXPECT_NEAR(m[10].get<double>(), 1, 1e-12);
    }
    // The top grip: height stretched from the bottom face, which lies on the ground.
    const json& scale = drags[5]["mDrag"];
    EXPECT_GT(scale[10].get<double>(), drags[4]["mDrag"][10].get<double>());
    EXPECT_GT(drags[4]["mDrag"][10].get<double>(), 1);
    EXPECT_NEAR(scale[0].get<double>(), 1, 1e-12);
    EXPECT_NEAR(scale[14].get<double>(), 0, 1e-9);
}

TEST_F(DemoSessionTest, PicturesAndTheReportAreWritten) {
    const auto renders = Of("render");
    ASSERT_EQ(renders.size(), 8u);
    for (const json& r : renders) {
        std::ifstream png(r["file"].get<std::string>(), std::ios::binary);
        char signature[8] = {};
        png.read(signature, 8);
        EXPECT_EQ(std::string(signature + 1, 3), "PNG") << r["file"];
    }
    const auto reports = Of("report");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_GT(reports[0]["lines"].get<int>(), 100);
    EXPECT_GT(fs::file_size(reports[0]["file"].get<std::string>()), 1000u);
}

TEST(ProfileReportTest, PrintsAShippedProfileAndSaysWhyABrokenOneFails) {
    std::ostringstream out, errors;
    EXPECT_EQ(tiller::tools::PrintProfileReport("UniversalCtrlSimple.qvw", out, errors), 0);
    EXPECT_NE(out.str().find("Handles summary"), std::string::npos);

    const fs::path broken = fs::temp_directory_path() / "tiller-broken-profile.qvw";
    std::ofstream(broken) << "{\"format\": ";
    std::ostringstream none, why;
    EXPECT_EQ(tiller::tools::PrintProfileReport(broken.string(), none, why), 1);
    EXPECT_NE(why.str().find("not JSON"), std::string::npos) << why.str();
    EXPECT_TRUE(none.str().empty());
    fs::remove(broken);

    std::ostringstream missing;
    EXPECT_EQ(tiller::tools::PrintProfileReport("NoSuchProfile.qvw", none, missing), 1);
    EXPECT_NE(missing.str().find("no such file"), std::string::npos) << missing.str();

    std::ostringstream folder;
    EXPECT_EQ(tiller::tools::PrintProfileReport(fs::temp_directory_path(), none, folder), 1);
    EXPECT_NE(folder.str().find("is a directory"), std::string::npos) << folder.str();
}

TEST(PlayTest, AFileTheSessionCannotWriteFailsThePlay) {
    Session session;
    std::string error;
    ASSERT_TRUE(tiller::tools::ParseSessionText(
        R"({"profile": "UniversalCtrl.qvw", "steps": [{"report": "missing/r.txt"}]})", ".",
        &session, &error))
        << error;
    const fs::path out = fs::temp_directory_path() / ("tiller-nowrite-" + std::to_string(getpid()));
    std::ostringstream log, errors;
    EXPECT_EQ(tiller::tools::PlaySession(session, out.string(), log, errors), 1);
    EXPECT_NE(errors.str().find("cannot write"), std::string::npos) << errors.str();
    fs::remove_all(out);
}

} // namespace
