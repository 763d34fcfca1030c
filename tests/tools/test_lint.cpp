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
#include <iterator>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using tiller::tools::LintProfile;

// One good profile (a move arrow along X: a mesh mouseout, a mesh mouseover and the axis lines)
// and the corpus of broken ones: each the good one with one mistake made in it (a JSON patch),
// with the messages and the exit status it must give.
json Corpus() {
    std::ifstream in(TILLER_SOURCE_DIR "/tests/tools/lint_corpus.json");
    return json::parse(in);
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
    const json corpus = Corpus();
    std::set<std::string> codes;
    {
        std::ofstream(dir / "good.qvw") << corpus["good"].dump(1);
        const auto good = LintProfile((dir / "good.qvw").string());
        EXPECT_EQ(Messages(good, "good.qvw"), std::vector<std::string>{});
        ASSERT_EQ(good.groups.size(), 1u);
        EXPECT_EQ(good.groups[0].handle["parts"].size(), 3u);
    }
    for (const json& entry : corpus["broken"]) {
        const std::string name = entry["name"], file = name + ".qvw";
        std::ofstream(dir / file) << corpus["good"].patch(entry["mistake"]).dump(1);
        const auto report = LintProfile((dir / file).string());
        EXPECT_EQ(Messages(report, file), entry["messages"].get<std::vector<std::string>>())
            << name;
        EXPECT_EQ(report.Status(), entry["status"].get<int>()) << name;
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
