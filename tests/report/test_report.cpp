// Whole reports compared line by line with texts composed by hand from the report's layout
// (tests/report/expected/), plus the number format on its own.
#include "control/test_profiles.h"
#include "report/report_text.h"
#include "support/scene_fixture.h"
#include "tiller/control/gcontrol.h"
#include "tiller/handle/ghandle.h"
#include "tiller/part/ghandlepart.h"
#include "tiller/profile/drawing_profile.h"
#include "tiller/report/report.h"

#include <algorithm>
#include <string>

namespace {

using tiller::GHandlePart;

// A quarter turn about Z, then a move: every stored element differs from its transpose.
MatrixStruct* TurnAndMove() {
    MatrixStruct* m = MatrixSingle();
    const double values[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 10, -2.5, 0.123456789, 1};
    std::copy(values, values + 16, m->m);
    return m;
}

class ReportTest : public SceneFixture {
  protected:
    // A handle built without a group: it does not load and keeps its initial properties, which
    // the test then sets as a loaded handle would hold them.
    GHandle* AddHandle(GControl& control, const char* name, uint32_t transform) {
        auto* handle = new GHandle(&control, nullptr, nullptr, nullptr, nullptr);
        handle->csName = name;
        handle->TransformType = transform;
        control.handles.push_back(handle);
        return handle;
    }

    // A part of the handle made from a part group of the profile drawing; without one it keeps
    // its records but does not load.
    GHandlePart* AddPart(GControl& control, GHandle* handle, tiller::PartSlot slot, uint32_t type,
                         double transparency, GraphicStruct* graphic = nullptr) {
        auto* part = new GHandlePart(vp, root, graphic, drawing, type, &control, handle,
                                     transparency, 0.1, 0.75, 0.0, 0);
        handle->parts[slot] = part;
        return part;
    }

    // A part group holding one line between two corners of the box it spans.
    GraphicStruct* Diagonal(KvPoint from, KvPoint to) {
        GraphicStruct* group = testprofile::AddGroup(root, {});
        testprofile::AddLine(group, from, to, 0xFFFFFF);
        return group;
    }
};

TEST_F(ReportTest, ControlWithoutHandlesGivesEmptySectionsAndTheAppendices) {
    tiller::DrawingProfile profile(L"/nonexistent/Custom.qvw");
    GControl control(&profile, L"Ctrl", nullptr, nullptr);
    std::string report;
    tiller::GControlReport(&control, report, "");
    ExpectSameLines(report, ReadExpected("no_handles.txt") + ReadExpected("appendices.txt"));
}

TEST_F(ReportTest, HandlesPartsMatricesAndSettingsArePrintedInFull) {
    GControl control(nullptr, L"Ctrl", nullptr, nullptr);
    control.properties.Show_Handles_RotBar_Scale = 0;
    control.properties.Show_Handles_RotBar_Rotate = 0;
    control.properties.ScreenSize_Min = 120;
    control.properties.ScreenSize_Max = 900;
    control.properties.Light_Type = 1;
    control.properties.Light_Affect_Diffuse = 0.25;
    control.properties.Light_Affect_Specular = 2.5;

    GHandle* box = AddHandle(control, "Bounding_box", TransformNone);
    box->mDrag = MatrixSingle();
    control.handles.push_back(nullptr); // counted in the total, skipped everywhere else

    GHandle* move = AddHandle(control, "Move_X", TransformMove);
    move->PositionType = PositionExtentsRibX10;
    move->OrientationType = OrientationGCtrlRotbarCS;
    move->MovementType = MovementWorkPlaneXY;
    move->ExtentsType = ExtentsBySelection;
    move->SelectorHandleID = 7;
    move->Priority = 0.5;
    move->Priority_Diff_ifExtents0 = -3;
    move->SnapCursorToCenter = 1;
    move->PositionAbsolute = 1;
    move->AutohideMouseoverPart = 0;
    move->AutohideRefpointWhiledrag = 1;
    move->HideIfSelection2D = 1;
    move->Disable_if_view_by_y = 1;
    move->xCenter = 1e-9;
    move->yCenter = -2.5;
    move->zCenter = 0.123456789;
    move->mHandleCS = TurnAndMove();
    move->mCoordSystem = MatrixSingle();
    move->strMacros = "{CTRL}m";
    move->isLoaded = 1;
    AddPart(control, move, tiller::SlotMouseout, PartMouseout, 0.25);
    AddPart(control, move, tiller::SlotCoordsystem, PartCoordsystem, 0.0,
            testprofile::AddCoordsystem(root));
    AddPart(control, move, tiller::SlotStatic, PartStatic, -0.5,
            Diagonal({-1.5, 0, 2}, {1e-9, 0.123456789, 1e8}))
        ->PartSetVisible(true);
    control.highlightedHandle = move;

    GHandle* refPoint = AddHandle(control, "Reference_point", TransformRotate);
    refPoint->isLoaded = 1;
    refPoint->DisableMask = tiller::DisabledBySettings;
    // Parts are made hidden; this one stays so.
    AddPart(control, refPoint, tiller::SlotStatic, PartStatic, 1.0,
            Diagonal({1.5, -0.25, -1e-9}, {2, 0.75, 3}));

    AddHandle(control, "Grip", TransformScale2);
    AddHandle(control, "Stretch", TransformScale);

    std::string report;
    tiller::GControlReport(&control, report, "");
    ExpectSameLines(report, ReadExpected("handles.txt") + ReadExpected("appendices.txt"));
}

TEST_F(ReportTest, IndentPrefixesTheLevelsButNotTheUnindentedLines) {
    GControl control(nullptr, L"Ctrl", nullptr, nullptr);
    AddHandle(control, "Solo", TransformNone);
    std::string report;
    tiller::GControlReport(&control, report, "> ");
    const auto lines = SplitLines(report);
    auto contains = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    const std::string l0 = "> ", l1 = l0 + "   ", l2 = l1 + "   ", l3 = l2 + "   ";
    EXPECT_EQ(lines[0], std::string(13, '\t'));
    EXPECT_EQ(lines[1], l0 + "Content:" + std::string(10, '\t'));
    EXPECT_TRUE(contains(l1 + "1. GControl Properties."));
    EXPECT_TRUE(contains(l2 + "Total = 1"));
    EXPECT_TRUE(contains(l1 + "1. Solo"));
    // The report writes its own indent before the handle block, whose lines are at level 3.
    EXPECT_TRUE(contains(l0 + l3 + "Name = Solo"));
    EXPECT_TRUE(contains(l3 + "Priority_Diff_ifExtents0 = 0"));
    EXPECT_TRUE(contains(l3 + "Part Static: -"));
    EXPECT_TRUE(contains(l1 + "5. Appendix A (GControl reference)."));
    EXPECT_TRUE(contains(l2 + "'strMacros'"));
    EXPECT_TRUE(contains(l1 + "3. Part Properties.\t"));
    EXPECT_TRUE(contains(l2 + "      +-------------+         +---------------------+"));
    // Blank lines and separators carry no indent.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(108, ' ')), 12);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(91, ' ')), 3);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(54, '_')), 7);
}

TEST_F(ReportTest, HandleTextIsTheHandleBlockAtTheGivenIndent) {
    GControl control(nullptr, L"Ctrl", nullptr, nullptr);
    AddHandle(control, "Bounding_box", TransformNone)->mDrag = MatrixSingle();
    std::string block;
    tiller::HandleReportText(control.handles.front(), block, std::string(9, ' '));
    const std::string expected = ReadExpected("handles.txt");
    const std::string first = std::string(9, ' ') + "Name = Bounding_box\n";
    const std::size_t begin = expected.find(first);
    const std::size_t end = expected.find("   2. Move_X\n");
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    // The report adds the line feed that leaves an empty line after the block.
    ExpectSameLines(block + "\n", expected.substr(begin, end - begin));
}

TEST_F(ReportTest, ValueOutsideItsVocabularyPrintsAsNumber) {
    GControl control(nullptr, L"Ctrl", nullptr, nullptr);
    AddHandle(control, "Odd", 6)->PositionType = 31;
    std::string block;
    tiller::HandleReportText(control.handles.front(), block, "");
    const auto lines = SplitLines(block);
    ASSERT_GT(lines.size(), 2u);
    EXPECT_EQ(lines[1], "TransformType = 6");
    EXPECT_EQ(lines[2], "PositionType = 31");
}

TEST(FormatReportNumber, RoundsToEightDecimalsAndAlignsBySign) {
    struct Case {
        double value;
        bool padded;
        const char* text;
    } const cases[] = {
        {1e-9, false, " 0"},           {-5e-9, false, " 0"},
        {-0.0, false, " 0"},           {1e-7, false, " 0"},
        {1.5e-7, false, " 1.5e-07"},   {0.123456789, false, " 0.123457"},
        {1e8, false, " 1e+08"},        {-1.5, false, "-1.5 "},
        {-2.5, true, "-2.5         "}, {1.5, true, " 1.5         "},
        {0.0, true, " 0           "},  {-123456789.0, true, "-1.23457e+08 "},
        {2.000000004, false, " 2"},    {-1.999999995, false, "-2 "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tiller::FormatReportNumber(c.value, c.padded), c.text)
            << c.value << (c.padded ? " padded" : "");
}

} // namespace
