// The session file reader: a well-formed session reads into typed steps; a malformed one is
// rejected whole with the line of the fault.
#include "session_file.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using tiller::tools::ParseSessionText;
using tiller::tools::Session;
using tiller::tools::Step;

namespace {

std::string Reject(const std::string& text) {
    Session session;
    std::string error;
    EXPECT_FALSE(ParseSessionText(text, ".", &session, &error)) << text;
    return error;
}

const char* kSession = R"({
  "profile": "UniversalCtrl.qvw",
  "selection": {"box": [[0, 0, 0], [2, 1, 0.5]]},
  "viewport": {"width": 640, "height": 480, "projection": "perspective", "view": "top",
               "fovY": 50},
  "properties": {"Show_BoundaryBox": 0, "ScreenSize_Min": 150},
  "steps": [
    {"setup": {}},
    {"show": 1},
    {"hover": [412, 300]},
    {"drag": [480, 300], "keys": 4, "uniform": 1, "snap": {"move": 0.1, "rotate": 15}},
    {"transform": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0.5,0,0,1]},
    {"view": {"zoom": 2.0, "orbit": [30, 10]}},
    {"hide": "Bounding_box"},
    {"report": "report.txt"}
  ]
})";

TEST(SessionFile, ReadsEveryPartOfAWellFormedSession) {
    Session s;
    std::string error;
    ASSERT_TRUE(ParseSessionText(kSession, "/tmp", &s, &error)) << error;
    EXPECT_EQ(s.profile, "UniversalCtrl.qvw");
    EXPECT_EQ(s.control, "main");
    EXPECT_EQ(s.selection.boxMax.x, 2.0);
    EXPECT_TRUE(s.viewport.perspective);
    EXPECT_EQ(s.viewport.view, "top");
    EXPECT_EQ(s.viewport.width, 640);
    EXPECT_EQ(s.settings.ScreenSize_Min, 150);
    EXPECT_EQ(s.settings.Show_BoundaryBox, 0);
    EXPECT_EQ(s.settings.Show_Axes, 1);
    ASSERT_EQ(s.steps.size(), 8u);
    EXPECT_EQ(s.steps[2].action, Step::Action::Hover);
    EXPECT_EQ(s.steps[2].line, 10);
    const Step& drag = s.steps[3];
    EXPECT_EQ(drag.action, Step::Action::Drag);
    EXPECT_EQ(drag.keys, 4);
    EXPECT_TRUE(drag.uniform);
    EXPECT_FALSE(drag.fromCenter);
    ASSERT_TRUE(drag.snap.has_value());
    EXPECT_EQ(drag.snap->rotateDegrees, 15);
    EXPECT_EQ(drag.snap->scale, 0);
    EXPECT_EQ(s.steps[4].matrix[12], 0.5);
    EXPECT_EQ(*s.steps[5].view.zoom, 2.0);
    EXPECT_EQ(s.steps[6].handleName, "Bounding_box");
}

// Each malformed session is rejected whole, naming the line of its fault. Numbers out of range
// are refused before they are converted.
TEST(SessionFile, RejectsEachFaultWithItsLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"{\"profile\": \"p\",\n \"steps\": [\n {\"show\": 1},\n {\"fly\": 2}\n]}",
         "line 4: unknown key \"fly\" in step"},
        {"{\"profile\": \"p\",\n \"steps\": [\n {\"hover\": [1]}]}",
         "line 3: hover must be an array of 2 numbers"},
        {R"({"profile": "p", "steps": [{"show": 1, "hover": [1, 2]}]})",
         "line 1: a step must name exactly one action"},
        {R"({"profile": "p", "steps": [{"hover": [1, 2], "keys": 1}]})",
         "line 1: only drag steps take keys, uniform, fromCenter, keepSelectionCS and snap"},
        {R"({"steps": []})", "line 1: missing \"profile\""},
        {"{\"profile\": \"p\",\n\"viewport\": {\"projection\": \"fisheye\"},\n\"steps\": []}",
         "line 2: projection must be \"parallel\" or \"perspective\""},
        {"{\"profile\": \"p\",\n\n\"properties\": {\"Show_Everything\": 1},\"steps\": []}",
         "line 3: unknown control property \"Show_Everything\""},
        {R"({"profile": "p", "selection": {"box": [[1,0,0],[0,1,1]]}, "steps": []})",
         "line 1: selection box corners must be ordered min, max"},
        {R"({"profile": "p"})", "line 1: \"steps\" must be an array"},
        {"{\"profile\": \"p\",\n\"steps\": [\n{\"show\": 1,}\n]}", "line 3: syntax error"},
        {R"({"profile": "p", "steps": [{"show": 1e400}]})", "number overflow"},
        {R"({"profile": "p", "viewport": {"width": 1e300}, "steps": []})",
         "line 1: viewport size must lie between 16 and 8192 pixels"},
        {R"({"profile": "p", "properties": {"ScreenSize_Min": 3e9}, "steps": []})",
         "line 1: ScreenSize_Min must be a whole number of 32 bits"},
        {R"({"profile": "p", "steps": [{"show": 1e19}]})", "line 1: show takes a mode from 0 to 3"},
        {R"({"profile": "p", "profile": "q", "steps": []})",
         "the key 'profile' appears twice in one object"},
        {R"({"profile": "p", "steps": [{"render": "../up.png"}]})",
         "line 1: render must name a file inside the output folder"},
        {R"({"profile": "p", "steps": [{"report": "/tmp/r.txt"}]})",
         "line 1: report must name a file inside the output folder"},
        {R"({"profile": "p", "steps": [{"drag": [1, 2], "keys": 70000}]})",
         "line 1: keys must be a 16-bit whole number"},
        {R"({"profile": "p", "steps": [{"drag": [1, 2], "uniform": 2}]})",
         "line 1: uniform must be 0 or 1"},
        {R"({"profile": "p", "steps": [{"drag": [1, 2], "snap": {"move": -1}}]})",
         "line 1: snap steps must not be negative"},
    };
    for (const auto& [text, error] : cases) {
        const std::string reason = Reject(text);
        const bool exact = std::string(error).rfind("line ", 0) == 0 &&
                           std::string(error).find("syntax") == std::string::npos;
        if (exact)
            EXPECT_EQ(reason, error) << text;
        else
            EXPECT_NE(reason.find(error), std::string::npos) << text << " -> " << reason;
    }
}

TEST(SessionFile, RefusesWhatIsNotAPlainFileAtOnce) {
    const std::string fifo = ::testing::TempDir() + "session-fifo-" + std::to_string(getpid());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero"), ::testing::TempDir()}) {
        Session session;
        std::string error;
        EXPECT_FALSE(tiller::tools::ReadSessionFile(path, &session, &error));
        EXPECT_EQ(error, path + " is not a regular file");
    }
    std::remove(fifo.c_str());
}

} // namespace
