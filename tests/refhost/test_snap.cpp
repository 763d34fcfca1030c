// Snapping drag matrices in the host application: each kind of transformation rounded in a
// turned, stretched handle frame with its fixed parts kept, and matrices it leaves alone.
#include "korvex/session.h"
#include "support/math3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

namespace {

using V = KvPoint;
// The affine map p -> lin(p) + t as a host matrix, built from the images of the world axes.
template <class Linear> MatrixStruct Matrix(Linear lin, V t) {
    return Frame(lin(V{1, 0, 0}), lin(V{0, 1, 0}), lin(V{0, 0, 1}), t);
}
// Rotation by `angle` about the unit axis a through c (Rodrigues).
MatrixStruct Rotation(V a, double angle, V c) {
    auto lin = [&](V p) {
        return p * std::cos(angle) + Cross(a, p) * std::sin(angle) +
               a * (Dot(a, p) * (1 - std::cos(angle)));
    };
    return Matrix(lin, c + lin(c) * -1);
}
// Factors f along the unit axes e about c.
MatrixStruct Scaling(const V (&e)[3], V f, V c) {
    auto lin = [&](V p) {
        return e[0] * (f.x * Dot(p, e[0])) + e[1] * (f.y * Dot(p, e[1])) +
               e[2] * (f.z * Dot(p, e[2]));
    };
    return Matrix(lin, c + lin(c) * -1);
}

// A handle frame turned 30 degrees about Z, its axes stretched by the selection's size.
const double C30 = std::cos(M_PI / 6), S30 = std::sin(M_PI / 6);
const V Axes[3] = {{C30, S30, 0}, {-S30, C30, 0}, {0, 0, 1}};
const MatrixStruct HandleFrame = Matrix(
    [](V p) { return Axes[0] * (0.2 * p.x) + Axes[1] * (0.4 * p.y) + Axes[2] * (0.1 * p.z); },
    {5, -3, 1});
const KvSnapSteps Steps{0.1, 15, 0.25};

} // namespace

TEST(Snap, TranslationAndScaleRoundAlongTheFrameAxes) {
    const auto identity = [](V p) { return p; };
    const V centre{2, 1, -1};
    const MatrixStruct drags[2][2] = {
        {Matrix(identity, Axes[0] * 0.26 + Axes[1] * 0.04 + Axes[2] * -0.149),
         Matrix(identity, Axes[0] * 0.3 + Axes[2] * -0.1)},
        {Scaling(Axes, {1.37, 1, -0.52}, centre), Scaling(Axes, {1.25, 1, -0.5}, centre)}};
    for (const auto& [drag, snapped] : drags) {
        MatrixStruct out;
        ASSERT_EQ(kvSnapDragMatrix(&drag, &HandleFrame, &Steps, &out), 1);
        ExpectMatrixNear(out, snapped, 1e-9);
    }
}

// Rotation matrices hold the angle modulo a full turn: 200 degrees reads as 160 about the
// opposite axis and still snaps to 195, and a half turn is read from the symmetric part.
TEST(Snap, RotationKeepsAxisAndPointAndRoundsTheAngle) {
    const V axis{1.0 / 3, 2.0 / 3, 2.0 / 3}, centre{1, -2, 0.5};
    const double degrees[][2] = {{47, 45}, {-97, -90}, {200, 195}, {179, 180}, {187, 180}, {7, 0}};
    for (const auto& [angle, snapped] : degrees) {
        SCOPED_TRACE(angle);
        const MatrixStruct drag = Rotation(axis, angle * M_PI / 180, centre);
        MatrixStruct out;
        ASSERT_EQ(kvSnapDragMatrix(&drag, &HandleFrame, &Steps, &out), 1);
        ExpectMatrixNear(out, Rotation(axis, snapped * M_PI / 180, centre), 1e-9);
    }
}

// A shear, a screw (a turn with a slide along its axis), a scale with a slide along an axis it
// keeps, and kinds whose step is not set are handed back as they are.
TEST(Snap, OtherMatricesAndUnsetStepsAreLeftAlone) {
    const V axis{0, 0, 1};
    MatrixStruct screw = Rotation(axis, 0.7, {1, 1, 0}),
                 slidingScale = Scaling(Axes, {1.3, 1, 1}, {});
    screw.m[14] = 0.5;
    slidingScale.m[13] += 0.2;
    const MatrixStruct shear = Matrix([](V p) { return V{p.x + 0.3 * p.y, p.y, p.z}; }, {});
    const MatrixStruct move = Matrix([](V p) { return p; }, {0.26, 0, 0});
    const KvSnapSteps rotateOnly{0, 15, 0}, none{};
    for (const auto& [drag, steps] : {std::pair{shear, Steps},
                                      {screw, Steps},
                                      {slidingScale, Steps},
                                      {move, rotateOnly},
                                      {move, none}}) {
        MatrixStruct out{};
        EXPECT_EQ(kvSnapDragMatrix(&drag, &HandleFrame, &steps, &out), 0);
        ExpectMatrixNear(out, drag, 1e-9);
    }
}
