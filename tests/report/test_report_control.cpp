// Reports of controls built from the shipped profiles, through the exported functions: the
// simple profile set up over fixed geometry, then hovered and dragged, compared whole with
// texts composed by hand (tests/report/expected/simple_setup.txt and the lines that hover and
// drag change), and the summary of the full one.
#include "control/control_fixture.h"
#include "report/report_text.h"
#include "support/math3d.h"

#include <algorithm>
#include <filesystem>

namespace {

// The selected box: centre (0.3, -0.1, 0.15), size 0.2 x 0.4 x 0.1.
constexpr KvPoint BoxMin{0.2, -0.3, 0.1}, BoxMax{0.4, 0.1, 0.2}, Centre{0.3, -0.1, 0.15};

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

class SimpleReportTest : public ControlFixture {
  protected:
    void SetUp() override {
        ControlFixture::SetUp();
        kvSceneAddBox(scene, BoxMin, BoxMax, 0x808080);
        // Between the on-screen limits of 200 and 450 pixels for 0.6 units (0.0013 .. 0.003
        // units per pixel) the handles keep their authored size: every number is plain geometry.
        kvViewportSetParallel(vp, 0.002);
        control = Create("UniversalCtrlSimple.qvw");
        ASSERT_NE(control, nullptr);
        props.Show_BoundaryBox = 0;
        props.Light_Type = 0;
        props.Light_Affect_Diffuse = 0.5;
        props.Light_Affect_Specular = 2.25;
        ASSERT_EQ(SetupAtBox(), 1);
        ASSERT_EQ(dbGCtrlShow(control, 1, 0), 1);
    }

    // The control and rotation-bar frames are the world axes at the box's centre, which is the
    // reference point; the extents are the box's, measured in that frame.
    int SetupAtBox() {
        MatrixStruct frame = Translation(Centre);
        ExtentsStruct* extents = ExtentsNewEx();
        ExtentsSet(extents, -0.1, -0.2, -0.05, 0.1, 0.2, 0.05);
        VertexStruct* ref = VertexNewEx(Centre.x, Centre.y, Centre.z);
        const int done =
            dbGCtrlSetup(control, &props, vp, &frame, extents, ref, &frame, nullptr, nullptr);
        VertexDispose(&ref);
        ExtentsDispose(&extents);
        return done;
    }

    // The hand-written sections after setup with the changes of `changes` (none: ""), the
    // profile's full path put in, and the appendices.
    static std::string Expected(const std::string& changes) {
        const auto profile = std::filesystem::canonical(std::string(TILLER_BUILD_DIR) +
                                                        "/GCtrlProfiles/UniversalCtrlSimple.qvw");
        std::string sections = ReadExpected("simple_setup.txt");
        if (!changes.empty()) sections = WithChanges(sections, ReadExpected(changes));
        return ReplaceAll(sections, "@PROFILE@", profile.string()) + ReadExpected("appendices.txt");
    }

    // A pixel on the X arrow's shaft, 0.15 units out from the reference point.
    std::array<double, 2> OnArrowX() { return PixelOf({Centre.x + 0.15, Centre.y, Centre.z}); }

    // Presses on the X arrow and shows the control in its drag state, as a host does.
    void PressArrowX() {
        GHandle* arrow = Named(control, "AxisX");
        const auto px = OnArrowX();
        ASSERT_EQ(Press(control, arrow, px[0], px[1]), 1);
        ASSERT_EQ(dbGCtrlShow(control, 1, 0), 1);
    }

    // Drags the X arrow 50 pixels (0.1 units) to the right.
    void DragArrowX() {
        PressArrowX();
        const auto px = OnArrowX();
        ASSERT_EQ(PointerMove(control, px[0] + 50, px[1]), Named(control, "AxisX"));
    }

    GControlProperties props;
    GControl* control = nullptr;
};

TEST_F(SimpleReportTest, SetupReportsSettingsPlacementsAndShownParts) {
    ExpectSameLines(dbGCtrlToString(control), Expected(""));
}

TEST_F(SimpleReportTest, HoverNamesTheHighlightedHandleAndSwapsItsLooks) {
    const auto px = OnArrowX();
    ASSERT_EQ(PointerMove(control, px[0], px[1]), Named(control, "AxisX"));
    ExpectSameLines(dbGCtrlToString(control), Expected("simple_hover.changes"));
}

TEST_F(SimpleReportTest, DragPrintsTheDragMatrixAndTheMovedActiveLook) {
    DragArrowX();
    ExpectSameLines(dbGCtrlToString(control), Expected("simple_drag.changes"));
}

// A drag that has ended keeps its matrix; the next press on that handle resets it to the
// identity, while handles never dragged have none.
TEST_F(SimpleReportTest, NewDragOfADraggedHandlePrintsIdentity) {
    DragArrowX();
    ASSERT_EQ(Release(control), 1);
    PressArrowX();
    const auto lines = SplitLines(dbGCtrlToString(control));
    const std::string in(9, ' ');
    EXPECT_EQ(std::count(lines.begin(), lines.end(), in + "mDrag = 1"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), in + "mDrag = NULL"), 6);
}

using FullReportTest = ControlFixture;

TEST_F(FullReportTest, SummaryCountsEveryKindAndFindsTheNamedHandles) {
    GControl* control = Create("UniversalCtrl.qvw");
    ASSERT_NE(control, nullptr);
    const std::string report = dbGCtrlToString(control);
    const std::string l2(6, ' ');
    const std::string summary = l2 + "Total = 27\n" + l2 + "Static handles = 2\n" + l2 +
                                "Move handles = 9\n" + l2 + "Rotate handles = 3\n" + l2 +
                                "Scale handles = 13\n\n" + l2 + "Bounding box = true\n" + l2 +
                                "Reference point = true\n\n";
    EXPECT_NE(report.find("   2. Handles summary.\n" + summary), std::string::npos);
}
