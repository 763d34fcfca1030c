// Drags of the shipped profile's handles through the exports, driven as a host drives them: a
// hover that picks the handle, a press that grabs a point of it, pointer samples of the host
// application, and the drag matrix read back with dbGHandleGetParams. Every case runs in a
// parallel and a perspective view. The expected matrices come from where the pointer is put:
// the pixel of a chosen world point, whose sight line meets the handle's axis or plane there.
#include "control/control_fixture.h"
#include "support/math3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

// Componentwise: factors along the world axes.
KvPoint operator*(KvPoint f, KvPoint a) {
    return {f.x * a.x, f.y * a.y, f.z * a.z};
}
MatrixStruct After(const MatrixStruct& a, const MatrixStruct& b) {
    MatrixStruct r{};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row)
            for (int k = 0; k < 4; ++k)
                r.m[col * 4 + row] += a.m[k * 4 + row] * b.m[col * 4 + k];
    return r;
}

const KvPoint X{1, 0, 0}, Y{0, 1, 0}, Z{0, 0, 1};
// The fixture's box is (-0.1, -0.1, 0)..(0.1, 0.1, 0.1): the reference point and the box
// handles' origin is its centre.
const KvPoint Centre{0, 0, 0.05};
const KvPoint Corners[2] = {{-0.1, -0.1, 0}, {0.1, 0.1, 0.1}};
// Seen from the front right above, no handle is edge-on or end-on.
const KvPoint Oblique{1, -1.3, 0.8};
// 0.002 drawing units per pixel at the centre: the fixed-size handles are drawn at their
// authored size in both projections.
constexpr double UnitsPerPixel = 0.002, FovY = 40;

} // namespace

class DragExportsTest : public ControlFixture, public testing::WithParamInterface<bool> {
  protected:
    bool Perspective() const { return GetParam(); }
    // The tolerance of a result of the given size: the perspective routines measure through
    // normalized projection space.
    double Tol(double size = 1) const { return size * (Perspective() ? 1e-6 : 1e-9); }

    void Open(ExtentsCallback callback = kvSelectionExtents) {
        control = dbGCtrlCreate("UniversalCtrl.qvw", "drag", drawing, callback);
        ASSERT_NE(control, nullptr);
        Look(Oblique);
    }
    // Looks at the centre along -direction and sets the control up for that view.
    void Look(KvPoint direction, KvPoint up = Z) {
        const double distance = UnitsPerPixel * 600 / (2 * std::tan(FovY * M_PI / 360));
        kvViewportSetCamera(vp, Centre + Unit(direction) * distance, Centre, up);
        if (Perspective())
            kvViewportSetPerspective(vp, FovY);
        else
            kvViewportSetParallel(vp, UnitsPerPixel);
        ASSERT_EQ(SetupOverSelection(control, props), 1);
        ASSERT_EQ(dbGCtrlShow(control, 1, 0), 1);
    }

    // Presses on the pixel of a world point of the named handle. Alone, the handle is the only
    // one shown (as a host may hide handles), so that the hover before the press picks it and
    // the press grabs a point of it, however close other handles are drawn.
    GHandle* Grab(const char* name, KvPoint at, bool alone = true) {
        GHandle* h = Named(control, name);
        for (GHandle* other : Handles(control))
            dbGHandleSetVisible(control, other, !alone || other == h);
        pressPixel = PixelOf(at);
        if (alone) {
            EXPECT_EQ(PointerMove(control, pressPixel[0], pressPixel[1]), h);
        }
        EXPECT_EQ(Press(control, h, pressPixel[0], pressPixel[1]), 1);
        EXPECT_EQ(kvSceneGrabbedPoint(scene, &grabbed), 1);
        atPress = ElementMatrices();
        return h;
    }
    // One drag step to the pixel of a world point: the dragged handle's drag matrix after it.
    MatrixStruct DragTo(GHandle* h, KvPoint at, uint32_t keepSelectionCS = 0) {
        const std::array<double, 2> px = PixelOf(at);
        changed = 0;
        EXPECT_EQ(PointerMove(control, px[0], px[1], &changed, 0, 0, 0, keepSelectionCS), h);
        return *dbGHandleGetParams(control, h)->mDrag;
    }
    // Back at the press sample every routine gives the identity; then the drag ends.
    void ReturnAndRelease(GHandle* h) {
        EXPECT_EQ(PointerMove(control, pressPixel[0], pressPixel[1]), h);
        ExpectMatrixNear(*dbGHandleGetParams(control, h)->mDrag, Identity, Tol());
        EndDrag();
    }

    // Ends the drag and sets the control up again, as a host does once it has applied the drag
    // to its selection (which here stays as it was): every handle is placed anew.
    void EndDrag() {
        EXPECT_EQ(Release(control), 1);
        EXPECT_EQ(SetupOverSelection(control, props), 1);
    }

    std::vector<MatrixStruct> ElementMatrices() {
        std::vector<MatrixStruct> matrices;
        for (CRedUIElement* e : kvViewportElements(vp))
            matrices.push_back(InfoOf(e).matrix);
        return matrices;
    }
    // The indices of a handle's static parts shown while idle: the elements its hiding hides
    // that are drawn with lines only (the shipped profile's interactive parts are meshes).
    std::set<size_t> StaticsOf(const char* name) {
        std::set<size_t> own;
        for (size_t i : ShownElementsOf(control, name))
            if (InfoOf(kvViewportElements(vp)[i]).triangles == 0) own.insert(i);
        return own;
    }
    // The elements whose matrix differs from the press.
    std::set<size_t> MovedSincePress() {
        const std::vector<MatrixStruct> now = ElementMatrices();
        std::set<size_t> moved;
        for (size_t i = 0; i < now.size(); ++i)
            if (!MatrixEqual(&now[i], &atPress[i])) moved.insert(i);
        return moved;
    }
    // Each of these elements now draws with `m` applied after its matrix at the press.
    void ExpectFollowed(const std::set<size_t>& elements, const MatrixStruct& m) {
        const std::vector<MatrixStruct> now = ElementMatrices();
        for (size_t i : elements)
            ExpectMatrixNear(now[i], After(m, atPress[i]), 1e-12);
    }

    GControlProperties props;
    GControl* control = nullptr;
    std::array<double, 2> pressPixel{};
    KvPoint grabbed{};
    std::vector<MatrixStruct> atPress;
    uint32_t changed = 0;
};

// The arrow's point under the pressed pixel stays under the cursor: moved to the pixel of
// another point of the axis, the selection moves by their distance along the axis; moved across
// the axis (within the plane the drag is measured in) it does not move.
TEST_P(DragExportsTest, MoveArrowFollowsTheCursorAlongItsAxisOnly) {
    Open();
    const struct {
        const char* name;
        KvPoint axis;
    } arrows[] = {{"AxisX", X}, {"AxisY", Y}, {"AxisZ", Z}};
    for (const auto& [name, axis] : arrows) {
        SCOPED_TRACE(name);
        const KvPoint pressed = Centre + axis * 0.2;
        GHandle* h = Grab(name, pressed);
        for (double along : {0.1, -0.05}) {
            ExpectMatrixNear(DragTo(h, pressed + axis * along), Translation(axis * along),
                             Tol(0.1));
        }
        const KvPoint eye = kvViewportInfo(vp).eye;
        const KvPoint seen = Perspective() ? eye - pressed : eye - Centre;
        ExpectMatrixNear(DragTo(h, pressed + Unit(Cross(axis, seen)) * 0.05), Identity, Tol(0.1));
        ReturnAndRelease(h);
    }
}

// In a plane the selection moves from the grabbed point to where the cursor's sight line meets
// the handle's plane; the reference point moves it on the work plane through the grabbed point.
TEST_P(DragExportsTest, PlaneMovesFollowTheCursorHitOnThePlane) {
    Open();
    const struct {
        const char* name;
        KvPoint at, offset;
    } rows[] = {{"PlaneXY", {0.12, 0.09, 0.05}, {0.05, -0.03, 0}},
                {"PlaneYZ", {0, 0.11, 0.14}, {0, -0.04, 0.06}},
                {"PlaneZX", {0.12, 0, 0.14}, {-0.03, 0, 0.05}},
                {"Reference_point", Centre, {0.04, -0.02, 0}}};
    for (const auto& [name, at, offset] : rows) {
        SCOPED_TRACE(name);
        GHandle* h = Grab(name, at);
        ExpectMatrixNear(DragTo(h, grabbed + offset), Translation(offset), Tol(0.1));
        ReturnAndRelease(h);
    }
}

// Seen along its axis (eye on the axis, so the height of the grabbed point above the ring's
// plane does not change the angle), a ring turned a quarter counter-clockwise turns the
// selection by +90 degrees about that axis: u goes to axis x u.
TEST_P(DragExportsTest, RotationRingTurnsAQuarterByTheRightHandRule) {
    Open();
    const struct {
        const char* name;
        KvPoint axis, u;
    } rings[] = {{"RotateX", X, Y}, {"RotateY", Y, Z}, {"RotateZ", Z, X}};
    constexpr double Radius = 0.175;
    for (const auto& [name, axis, u] : rings) {
        SCOPED_TRACE(name);
        Look(axis, u);
        const KvPoint v = Cross(axis, u);
        auto onRing = [&](double degrees) {
            const double a = degrees * M_PI / 180;
            return Centre + (u * std::cos(a) + v * std::sin(a)) * Radius;
        };
        GHandle* h = Grab(name, onRing(30));
        for (double turn : {90, -90}) {
            const MatrixStruct m = DragTo(h, onRing(30 + turn));
            EXPECT_POINT_NEAR(Apply(m, Centre), Centre, Tol(0.1));
            EXPECT_POINT_NEAR(Apply(m, Centre + u), Centre + v * (turn > 0 ? 1 : -1), Tol());
            EXPECT_POINT_NEAR(Apply(m, Centre + axis), Centre + axis, Tol());
        }
        ReturnAndRelease(h);
    }
}

namespace {

// Where a scale routine measures its ratio from: the handle's origin, the pressed point mirrored
// through it, the anchor, or the grabbed point mirrored through the selection centre (which is
// then the anchor too).
enum From { Origin, MirrorOfPress, Anchor, MirrorOfGrab };
struct ScaleRow {
    const char* name;
    KvPoint press;
    From from;
    KvPoint anchor;
    KvPoint factors, pastReference;
};
// The axis scale tips point along the negative axes and hold the face at the other end; the
// grips hold the opposite face; the plane grips hold the box corner (x1, y1).
const ScaleRow ScaleRows[] = {
    {"ScaleX", {-0.22, 0, 0.05}, Origin, {0.1, 0, 0.05}, {1.5, 1, 1}, {-1, 1, 1}},
    {"ScaleY", {0, -0.22, 0.05}, Origin, {0, 0.1, 0.05}, {1, 1.5, 1}, {1, -1, 1}},
    {"ScaleZ", {0, 0, -0.17}, Origin, {0, 0, 0.1}, {1, 1, 1.5}, {1, 1, -1}},
    {"Scale2X", {-0.27, 0, 0.05}, Origin, Centre, {1.5, 1, 1}, {-1, 1, 1}},
    {"ScalePlaneXY", {0.21, 0.21, 0.05}, Origin, {-0.1, -0.1, 0.05}, {1.5, 2, 1}, {-1, 0.5, 1}},
    {"ScaleGripXPlus", {0.1008, 0, 0.05}, Anchor, {-0.1, 0, 0.05}, {1.5, 1, 1}, {-0.5, 1, 1}},
    {"ScaleGripYMinus", {0, -0.1008, 0.05}, Anchor, {0, 0.1, 0.05}, {1, 1.5, 1}, {1, -0.5, 1}},
    {"ScaleSelectionXY",
     {0.105, 0.105, 0.05},
     MirrorOfPress,
     {-0.1, -0.1, 0.05},
     {1.5, 2, 1},
     {-1, 0.5, 1}},
    {"ScaleDiagonal", {0.1, -0.1, 0.1}, MirrorOfGrab, {}, {1.5, 1.5, 1.5}, {-0.5, -0.5, -0.5}},

};

} // namespace

// The cursor is put where the ratio of its distance from the routine's reference to the
// pressed point's is the factor; the selection then scales by it about the anchor, mirrored
// past the reference. The diagonal holds the point opposite the grabbed one.
TEST_P(DragExportsTest, ScaleRoutinesScaleByTheDistanceRatioAboutTheirAnchor) {
    Open();
    for (const ScaleRow& row : ScaleRows) {
        SCOPED_TRACE(row.name);
        GHandle* h = Grab(row.name, row.press);
        const KvPoint start = row.from == MirrorOfGrab ? grabbed : row.press;
        const KvPoint reference = row.from == Origin          ? Centre
                                  : row.from == MirrorOfPress ? Centre * 2 - row.press
                                  : row.from == Anchor        ? row.anchor
                                                              : Centre * 2 - grabbed;
        const KvPoint anchor = row.from == MirrorOfGrab ? reference : row.anchor;
        for (KvPoint f : {row.factors, row.pastReference}) {
            const MatrixStruct m = DragTo(h, reference + f * (start - reference));
            for (KvPoint p : {Corners[0], Corners[1], anchor})
                EXPECT_POINT_NEAR(Apply(m, p), anchor + f * (p - anchor), Tol());
        }
        ReturnAndRelease(h);
    }
}

// Without an extents callback only the symmetric axis scale and the diagonal can scale: every
// other routine fails, and a failed step leaves the drag matrix the identity and every element
// where it was, reporting no change.
TEST_P(DragExportsTest, ScaleRoutinesNeedingTheCallbackFailWithoutIt) {
    Open(nullptr);
    for (const ScaleRow& row : ScaleRows) {
        SCOPED_TRACE(row.name);
        GHandle* h = Grab(row.name, row.press);
        const MatrixStruct m = DragTo(h, Centre + (row.press - Centre) * 1.5);
        const std::string name = row.name;
        if (name == "Scale2X" || name == "ScaleDiagonal") {
            EXPECT_FALSE(MatrixEqual(&m, &Identity));
            EXPECT_EQ(changed, 1u);
        } else {
            EXPECT_TRUE(MatrixIsIdentity(&m));
            EXPECT_EQ(changed, 0u);
            EXPECT_TRUE(MovedSincePress().empty());
        }
        EndDrag();
    }
}

// A scale moves only the box wire (with the drag matrix) and the dragged handle; a move takes
// the static parts of the reference point and the selection's tripod along, the tripod staying
// when the host keeps the selection frame still.
TEST_P(DragExportsTest, HandlesThatFollowADrag) {
    Open();
    const std::set<size_t> box = StaticsOf("Bounding_box"), cross = StaticsOf("Reference_point"),
                           tripod = StaticsOf("SelectionCS");
    ASSERT_TRUE(!box.empty() && !cross.empty() && !tripod.empty());
    GHandle* tip = Grab("ScaleX", ScaleRows[0].press, false);
    ExpectFollowed(box, DragTo(tip, Centre + (ScaleRows[0].press - Centre) * 1.5));
    std::set<size_t> others = MovedSincePress();
    for (size_t i : box)
        EXPECT_EQ(others.erase(i), 1u);
    EXPECT_EQ(others.size(), 1u); // the tip's own active part
    EndDrag();

    for (uint32_t keep : {0u, 1u}) {
        GHandle* arrow = Grab("AxisX", Centre + X * 0.2, false);
        const MatrixStruct m = DragTo(arrow, Centre + X * 0.3, keep);
        ExpectFollowed(box, m);
        ExpectFollowed(cross, m);
        if (keep)
            for (size_t i : tripod)
                EXPECT_EQ(MovedSincePress().count(i), 0u);
        else
            ExpectFollowed(tripod, m);
        EndDrag();
    }
}

// Outside a drag the identity is accepted as doing nothing and any other matrix is refused.
// During one, the host's snapped matrix replaces the drag matrix and every following element is
// carried by it from where it was at the press.
TEST_P(DragExportsTest, HostImposesItsSnappedMatrixOnTheDrag) {
    Open();
    MatrixStruct identity = Identity, shifted = Identity;
    shifted.m[12] = 0.1;
    EXPECT_EQ(dbGCtrlTransform(control, &identity), 1);
    EXPECT_EQ(dbGCtrlTransform(control, &shifted), 0);

    GHandle* arrow = Grab("AxisY", Centre + Y * 0.2, false);
    const MatrixStruct frame = *dbGHandleGetParams(control, arrow)->mHandleCS;
    const MatrixStruct m = DragTo(arrow, Centre + Y * 0.337);
    const std::set<size_t> moved = MovedSincePress();
    const KvSnapSteps steps{0.05, 15, 0.25};
    MatrixStruct snapped;
    ASSERT_EQ(kvSnapDragMatrix(&m, &frame, &steps, &snapped), 1);
    EXPECT_POINT_NEAR(Apply(snapped, Centre), Centre + Y * 0.15, 1e-12);
    EXPECT_EQ(dbGCtrlTransform(control, &snapped), 1);
    ExpectMatrixNear(*dbGHandleGetParams(control, arrow)->mDrag, snapped, 0);
    EXPECT_GE(moved.size(), 4u);
    EXPECT_EQ(MovedSincePress(), moved);
    ExpectFollowed(moved, snapped);
    EndDrag();
}

INSTANTIATE_TEST_SUITE_P(Views, DragExportsTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& view) {
                             return view.param ? "Perspective" : "Parallel";
                         });
