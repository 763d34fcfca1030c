// The shipped profile set up over a selection and shown: the on-screen size of screen-sized
// handles over a wide zoom range, what a rendered frame shows where the handles are drawn, and
// setups with a missing argument.
#include "control/control_fixture.h"
#include "support/math3d.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The extent the on-screen limits are stated for: a profile's handles span about this much.
constexpr double ProfileSpan = 0.6;

// Where the element draws a point of its own geometry: its matrix after its view-dependent one.
KvPoint Drawn(CRedUIElement* e, KvPoint p) {
    const KvElementInfo info = InfoOf(e);
    return Apply(info.matrix, Apply(info.viewMatrix, p));
}

using Rgb = std::array<int, 3>;

bool Dominant(const Rgb& p, int channel) {
    return p[channel] > p[(channel + 1) % 3] + 60 && p[channel] > p[(channel + 2) % 3] + 60;
}

} // namespace

class DisplayTest : public ControlFixture {
  protected:
    void SetUp() override {
        ControlFixture::SetUp();
        control = Create("UniversalCtrl.qvw");
        ASSERT_NE(control, nullptr);
        ASSERT_EQ(SetupOverSelection(control, props), 1);
        ASSERT_EQ(dbGCtrlShow(control, 1, 1), 1);
    }
    // The element a handle shows while idle: the one that goes hidden with the handle.
    CRedUIElement* ShownElementOf(const char* name) {
        const std::vector<size_t> own = ShownElementsOf(control, name);
        return own.empty() ? nullptr : kvViewportElements(vp)[own.back()];
    }
    // A view straight down onto the reference point, where handles lying in the world XY plane
    // are seen at one depth, starting at `unitsPerPixel` there.
    void LookDown(bool perspective, double unitsPerPixel) {
        const double fovY = 40, distance = unitsPerPixel * 600 / (2 * std::tan(fovY * M_PI / 360));
        kvViewportSetCamera(vp, {0, 0, 0.05 + distance}, {0, 0, 0.05}, {0, 1, 0});
        if (perspective)
            kvViewportSetPerspective(vp, fovY);
        else
            kvViewportSetParallel(vp, unitsPerPixel);
    }
    // The pixel where a point inside the head of the arrow along `axis` is drawn.
    std::array<double, 2> HeadPixel(CRedUIElement* arrow, KvPoint axis) {
        const KvPoint far = InfoOf(arrow).extentsMax;
        return PixelOf(
            Drawn(arrow, {0.85 * far.x * axis.x, 0.85 * far.y * axis.y, 0.85 * far.z * axis.z}));
    }
    Rgb PixelAt(const std::vector<uint8_t>& rgba, std::array<double, 2> px) {
        const size_t i = (static_cast<size_t>(px[1]) * 800 + static_cast<size_t>(px[0])) * 4;
        return {rgba[i], rgba[i + 1], rgba[i + 2]};
    }
    std::vector<uint8_t> Render() {
        std::vector<uint8_t> rgba;
        EXPECT_EQ(kvRenderViewport(vp, &rgba), 1);
        return rgba;
    }
    GControl* control = nullptr;
    GControlProperties props;
};

// The arrows lie in the XY plane: their drawn length in pixels, scaled to the profile's span,
// is the manipulator's on-screen size. It follows the view between the two limits and stops
// at them, over a 100x zoom range in both projections.
TEST_F(DisplayTest, ScreenSizedHandlesStayWithinTheirLimitsOverAWideZoomRange) {
    CRedUIElement* arrows[] = {ShownElementOf("AxisX"), ShownElementOf("AxisY")};
    ASSERT_TRUE(arrows[0] && arrows[1]);
    const KvPoint refPoint{0, 0, 0.05};
    struct Limits {
        int minPx, maxPx, drawnMax;
    };
    for (const Limits limits :
         {Limits{200, 450, 450}, Limits{100, 300, 300}, Limits{60, 1200, 1000}}) {
        props.ScreenSize_Min = limits.minPx;
        props.ScreenSize_Max = limits.maxPx;
        ASSERT_EQ(SetupOverSelection(control, props), 1);
        for (const bool perspective : {false, true}) {
            LookDown(perspective, 0.05);
            for (int step = 0; step <= 10; ++step, kvViewportZoom(vp, std::pow(10, 0.2))) {
                const double expected =
                    std::clamp(ProfileSpan / kvViewportUnitsPerPixelAt(vp, refPoint),
                               double(limits.minPx), double(limits.drawnMax));
                for (CRedUIElement* arrow : arrows) {
                    const KvElementInfo info = InfoOf(arrow);
                    const KvPoint tip{info.extentsMax.x, info.extentsMax.y, 0};
                    const auto base = PixelOf(Drawn(arrow, {0, 0, 0}));
                    const auto end = PixelOf(Drawn(arrow, tip));
                    const double size = std::hypot(end[0] - base[0], end[1] - base[1]) *
                                        ProfileSpan / std::hypot(tip.x, tip.y);
                    SCOPED_TRACE(testing::Message()
                                 << limits.minPx << " " << perspective << " " << step);
                    EXPECT_NEAR(size, expected, 1e-6 * expected);
                    // Every arrow grows from the reference point.
                    const auto centre = PixelOf(refPoint);
                    EXPECT_NEAR(std::hypot(base[0] - centre[0], base[1] - centre[1]), 0, 1e-6);
                }
            }
        }
    }
}

// In an oblique view of either projection each arrow's head is drawn in its colour where it
// projects; hidden, the handle leaves what lies behind it.
TEST_F(DisplayTest, RenderedFrameShowsHandlesWhereTheyProject) {
    // Red, green and blue, in the order of a pixel's channels.
    const char* arrows[] = {"AxisX", "AxisY", "AxisZ"};
    kvViewportSetPreset(vp, KvViewIso);
    for (const bool perspective : {false, true}) {
        if (perspective) kvViewportSetPerspective(vp, 40);
        ASSERT_EQ(dbGCtrlShow(control, 0, 0), 1);
        const std::vector<uint8_t> bare = Render();
        ASSERT_EQ(dbGCtrlShow(control, 1, 0), 1);
        for (int axis = 0; axis < 3; ++axis) {
            SCOPED_TRACE(testing::Message() << arrows[axis] << " perspective " << perspective);
            CRedUIElement* e = ShownElementOf(arrows[axis]);
            ASSERT_NE(e, nullptr);
            const auto head =
                HeadPixel(e, {double(axis == 0), double(axis == 1), double(axis == 2)});
            EXPECT_TRUE(Dominant(PixelAt(Render(), head), axis));
            dbGHandleSetVisible(control, Named(control, arrows[axis]), 0);
            EXPECT_EQ(PixelAt(Render(), head), PixelAt(bare, head));
            dbGHandleSetVisible(control, Named(control, arrows[axis]), 1);
        }
    }
}

class MissingArgumentTest : public DisplayTest {
  protected:
    enum Argument { NoneMissing, ControlCS, Extents, RefPoint, RotbarCS, SelectionCS, Extents2 };

    void SetUp() override {
        DisplayTest::SetUp();
        ASSERT_TRUE(kvSceneSetupGeometry(scene, &g));
        // The rotation bar turned by 30 degrees about Z, so that its frame shows in placements.
        g.rotbarCS.m[0] = g.rotbarCS.m[5] = std::cos(M_PI / 6);
        g.rotbarCS.m[1] = std::sin(M_PI / 6);
        g.rotbarCS.m[4] = -g.rotbarCS.m[1];
        extents = ExtentsNewEx();
        ExtentsSet(extents, g.extentsMin.x, g.extentsMin.y, g.extentsMin.z, g.extentsMax.x,
                   g.extentsMax.y, g.extentsMax.z);
        ref = VertexNewEx(g.refPoint.x, g.refPoint.y, g.refPoint.z);
    }
    void ReleaseAll() override {
        ExtentsDispose(&extents);
        VertexDispose(&ref);
        DisplayTest::ReleaseAll();
    }
    int SetupWithout(Argument missing, const GControlProperties* settings, ViewportStruct* view) {
        auto given = [missing](Argument a, auto* value) { return a == missing ? nullptr : value; };
        return dbGCtrlSetup(control, settings, view, given(ControlCS, &g.controlCS),
                            given(Extents, extents), given(RefPoint, ref),
                            given(RotbarCS, &g.rotbarCS), given(SelectionCS, &g.selectionCS),
                            given(Extents2, extents));
    }

    KvSetupGeometry g{};
    ExtentsStruct* extents = nullptr;
    VertexStruct* ref = nullptr;
};

// After a full setup, each geometry argument left out in turn: the handles that depend on it
// lose what it gave, a frame or a position, and keep the rest. A box handle keeps the size of
// the previous setup when the extents are missing.
TEST_F(MissingArgumentTest, HandlesArePlacedByWhatIsGiven) {
    const double turned = std::cos(M_PI / 6), boxWidth = g.extentsMax.x - g.extentsMin.x;
    struct Row {
        Argument missing;
        const char* handle;
        KvPoint origin; // where the handle's shown part is drawn from
        double xScale;  // its drawn matrix's first element
    };
    const Row rows[] = {
        {NoneMissing, "AxisX", {0, 0, 0.05}, turned},
        {NoneMissing, "ScaleDiagonal", {0, 0, 0.05}, boxWidth},
        {NoneMissing, "SelectionCS", {-0.1, -0.1, 0}, 1},
        {ControlCS, "ScaleDiagonal", {0, 0, 0}, boxWidth},
        {Extents, "ScaleDiagonal", {0, 0, 0}, boxWidth},
        {RefPoint, "AxisX", {0, 0, 0}, turned},
        {RotbarCS, "AxisX", {0, 0, 0.05}, 1},
        {SelectionCS, "SelectionCS", {0, 0, 0}, 1},
        {Extents2, "AxisX", {0, 0, 0.05}, turned},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "missing " << row.missing << " " << row.handle);
        ASSERT_EQ(SetupWithout(NoneMissing, &props, vp), 1);
        ASSERT_EQ(SetupWithout(row.missing, &props, vp), 1);
        CRedUIElement* shown = ShownElementOf(row.handle);
        ASSERT_NE(shown, nullptr);
        const MatrixStruct m = InfoOf(shown).matrix;
        EXPECT_NEAR(m.m[12], row.origin.x, 1e-12);
        EXPECT_NEAR(m.m[13], row.origin.y, 1e-12);
        EXPECT_NEAR(m.m[14], row.origin.z, 1e-12);
        EXPECT_NEAR(m.m[0], row.xScale, 1e-12);
    }
}

// Without settings nothing is set up; without a viewport the control is drawn nowhere until a
// setup gives one again, which shows every element as it was.
TEST_F(MissingArgumentTest, ViewportGivenBackRestoresTheDisplay) {
    ASSERT_EQ(SetupWithout(NoneMissing, &props, vp), 1);
    EXPECT_EQ(SetupWithout(NoneMissing, nullptr, vp), 0);
    const std::vector<CRedUIElement*> elements = kvViewportElements(vp);
    std::vector<KvElementInfo> before;
    for (CRedUIElement* e : elements)
        before.push_back(InfoOf(e));
    const int visible = VisibleElements();
    ASSERT_EQ(SetupWithout(NoneMissing, &props, nullptr), 1);
    EXPECT_EQ(VisibleElements(), 0);
    ASSERT_EQ(SetupWithout(NoneMissing, &props, vp), 1);
    ASSERT_EQ(kvViewportElements(vp), elements);
    EXPECT_EQ(VisibleElements(), visible);
    for (size_t i = 0; i < elements.size(); ++i) {
        const KvElementInfo after = InfoOf(elements[i]);
        EXPECT_TRUE(MatrixEqual(&after.matrix, &before[i].matrix)) << i;
        EXPECT_TRUE(MatrixEqual(&after.viewMatrix, &before[i].viewMatrix)) << i;
    }
}
