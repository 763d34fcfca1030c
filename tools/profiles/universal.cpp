// The handles of the shipped profiles, one small function per handle.
//
// Two families:
//   * Fixed-size handles sit at the reference point, turn with the rotation bar and keep
//     their size on screen. Their geometry spans about 0.6 drawing units, the size the
//     on-screen limits assume, and their coordsystem origin is the profile origin, the point
//     they scale about on screen. They are picked on their mouseout meshes.
//   * Box handles sit at the centre of the selection's extents and are stretched by its size:
//     they are authored on the unit cube centred at the origin (-0.5 .. 0.5).
//
// Priorities (0 highest): the reference point 0; arrows, plane squares and the grips at the
// reference point 1; rings and box grips 2; the box's move edges 3; its facets 4. A box
// handle collapsed to a point (a selection without size) drops by 3 more.
#include "universal.h"

#include "builders.h"
#include "korvex/drawing.h"
#include "parts.h"

#include <string>

namespace profiles {

namespace {

// [SECTION] Sizes ---------------------------------------------------------------------------

constexpr double ArrowStart = 0.045, ArrowHeadStart = 0.24, ArrowTip = 0.31;
constexpr double ShaftRadius = 0.007, HeadRadius = 0.022;
constexpr double PlaneSquareCentre = 0.1, PlaneSquareHalf = 0.03;
constexpr double RingRadius = 0.175, RingTube = 0.006;
constexpr double TipStemStart = 0.045, TipCentre = 0.22, TipHalf = 0.015, StemRadius = 0.005;
constexpr double Scale2Centre = 0.27, Scale2Radius = 0.016;
constexpr double PlaneGripNear = 0.17, PlaneGripFar = 0.23;
constexpr double CentreRadius = 0.022, CrossHalf = 0.045;
constexpr double TripodLength = 0.1;
// Mouseover parts are this much thicker.
constexpr double Grow = 1.3;

constexpr double BoxHalf = 0.5;
constexpr double CornerHalf = 0.035, FaceGripHalf = 0.07, FaceGripLift = 0.004;
constexpr double EdgeGripHalf = 0.05;

constexpr int RoundSegments = 16, RingSegments = 40, RingTubeSegments = 8;

// [SECTION] Frames --------------------------------------------------------------------------

// An axis handle's frame turns its local X onto the world axis.
struct Axis {
    char letter;
    Frame frame;
    uint32_t color;
};
const Axis AxisX{'X', {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, Red};
const Axis AxisY{'Y', {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}}, Green};
const Axis AxisZ{'Z', {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}, Blue};

// A plane handle's frame lays its local XY plane on the world plane; local Z is the normal,
// the axis a ring in that plane turns about, and gives the colour.
struct Plane {
    const char* name;
    Frame frame;
    uint32_t color;
};
const Plane PlaneXY{"XY", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, Blue};
const Plane PlaneYZ{"YZ", {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, Red};
const Plane PlaneZX{"ZX", {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}, Green};

const Frame World{};

// [SECTION] Handle kinds --------------------------------------------------------------------

HandleSpec atReferencePoint(const std::string& name, const char* transform, const char* movement,
                            double priority) {
    HandleSpec desc{name, transform, "refpoint", "gctrl_rotbar_cs", movement};
    desc.priority = priority;
    return desc;
}

HandleSpec onSelectionBox(const std::string& name, const char* transform, const char* movement,
                          double priority) {
    HandleSpec desc{name, transform, "extents_center", "gctrl_cs", movement, "by_selection"};
    desc.priority = priority;
    desc.priorityIncIfSize0 = 3;
    return desc;
}

// The looks of an interactive handle: its shape in its colour, a thicker shape in yellow
// under the cursor, and its shape in orange while it is dragged.
void addLooks(GraphicStruct* handle, const Mesh& shape, const Mesh& thicker, uint32_t color,
              const PartLook& look = Solid) {
    addMesh(addPart(handle, "mouseout", look), shape, color);
    addMesh(addPart(handle, "mouseover", Glowing), thicker, Yellow);
    addMesh(addPart(handle, "active", Glowing), shape, Orange);
}

// [SECTION] Fixed-size handles --------------------------------------------------------------

Mesh arrow(double thickness) {
    Mesh mesh = cylinder(ArrowStart, ArrowHeadStart, ShaftRadius * thickness, RoundSegments);
    mesh.append(cone(ArrowHeadStart, ArrowTip, HeadRadius * thickness, RoundSegments));
    return mesh;
}

// Seen end-on an arrow offers no direction to drag along: it is disabled then.
void moveAlongAxis(GraphicStruct* root, const Axis& axis) {
    HandleSpec desc = atReferencePoint(std::string("Axis") + axis.letter, "move", "rotbar_cs_x", 1);
    desc.disableIfViewByX = true;
    GraphicStruct* handle = addHandle(root, desc);
    addLooks(handle, arrow(1).transformed(axis.frame), arrow(Grow).transformed(axis.frame),
             axis.color);
    addCoordsystem(handle, axis.frame);
}

Mesh planeSquare(double half) {
    return square({PlaneSquareCentre, PlaneSquareCentre, 0}, {1, 0, 0}, {0, 1, 0}, half);
}

// A square seen edge-on, looking along either of its plane's axes, is disabled.
void moveInPlane(GraphicStruct* root, const Plane& plane) {
    HandleSpec desc =
        atReferencePoint(std::string("Plane") + plane.name, "move", "rotbar_cs_xy", 1);
    desc.disableIfViewByX = desc.disableIfViewByY = true;
    GraphicStruct* handle = addHandle(root, desc);
    addLooks(handle, planeSquare(PlaneSquareHalf).transformed(plane.frame),
             planeSquare(PlaneSquareHalf * 1.15).transformed(plane.frame), plane.color,
             Translucent);
    addCoordsystem(handle, plane.frame);
}

// Drags the selection on the work plane through the grabbed point; the cursor snaps to its
// centre. Its static cross marks the reference point, hidden while a ring turns.
void referencePoint(GraphicStruct* root) {
    HandleSpec desc = atReferencePoint("Reference_point", "move", "wp_cs_xy", 0);
    desc.snapToCenter = true;
    GraphicStruct* handle = addHandle(root, desc);
    GraphicStruct* mouseout = addPart(handle, "mouseout");
    kvGraphicSetReferencePoint(mouseout, 0, 0, 0);
    addMesh(mouseout, sphere({}, CentreRadius, RoundSegments, 10), White);
    addMesh(addPart(handle, "mouseover", Glowing),
            sphere({}, CentreRadius * Grow, RoundSegments, 10), Yellow);
    addMesh(addPart(handle, "active", Glowing), sphere({}, CentreRadius, RoundSegments, 10),
            Orange);
    GraphicStruct* cross = addPart(handle, "static");
    addLine(cross, {-CrossHalf, 0, 0}, {CrossHalf, 0, 0}, LightGrey);
    addLine(cross, {0, -CrossHalf, 0}, {0, CrossHalf, 0}, LightGrey);
    addLine(cross, {0, 0, -CrossHalf}, {0, 0, CrossHalf}, LightGrey);
    addCoordsystem(handle, World);
}

// A ring turns about its local Z axis. It is picked on its mouseout torus, whose hit point
// gives the height of the plane the angle is measured in; seen edge-on it is disabled.
void rotateAboutAxis(GraphicStruct* root, const Plane& plane, char axisLetter) {
    HandleSpec desc =
        atReferencePoint(std::string("Rotate") + axisLetter, "rotate", "rotbar_cs_xy", 2);
    desc.hideRefpointWhileDrag = true;
    desc.disableIfViewByX = desc.disableIfViewByY = true;
    GraphicStruct* handle = addHandle(root, desc);
    addLooks(
        handle,
        torus(RingRadius, RingTube, RingSegments, RingTubeSegments).transformed(plane.frame),
        torus(RingRadius, RingTube * 1.5, RingSegments, RingTubeSegments).transformed(plane.frame),
        plane.color);
    addCoordsystem(handle, plane.frame);
}

Mesh scaleTip(double thickness) {
    Mesh mesh = cylinder(TipStemStart, TipCentre - TipHalf, StemRadius * thickness, RoundSegments);
    mesh.append(cube({TipCentre, 0, 0}, TipHalf * thickness));
    return mesh;
}

// The cube tips point along the negative axes, with the handle's local X turned that way:
// dragging a tip outwards stretches the selection towards it while the opposite face of
// the selection stays in place.
void scaleAlongAxis(GraphicStruct* root, const Axis& axis, bool hideIfFlat) {
    HandleSpec desc =
        atReferencePoint(std::string("Scale") + axis.letter, "scale", "rotbar_cs_x", 1);
    desc.disableIfViewByX = true;
    desc.hideIfSelection2D = hideIfFlat;
    GraphicStruct* handle = addHandle(root, desc);
    const Frame frame = axis.frame.flipped();
    addLooks(handle, scaleTip(1).transformed(frame), scaleTip(Grow).transformed(frame), axis.color);
    addCoordsystem(handle, frame);
}

// Stretches the selection symmetrically about its centre along X: a ball beyond the X tip.
void scaleSymmetricAlongX(GraphicStruct* root) {
    HandleSpec desc = atReferencePoint("Scale2X", "scale2", "rotbar_cs_x", 1);
    desc.disableIfViewByX = true;
    GraphicStruct* handle = addHandle(root, desc);
    const Frame frame = AxisX.frame.flipped();
    addLooks(handle,
             sphere({Scale2Centre, 0, 0}, Scale2Radius, RoundSegments, 8).transformed(frame),
             sphere({Scale2Centre, 0, 0}, Scale2Radius * Grow, RoundSegments, 8).transformed(frame),
             AxisX.color);
    addCoordsystem(handle, frame);
}

Mesh planeGrip(double grow) {
    const double near = PlaneGripFar - (PlaneGripFar - PlaneGripNear) * grow;
    return {{{near, PlaneGripFar, 0}, {PlaneGripFar, near, 0}, {PlaneGripFar, PlaneGripFar, 0}},
            {{0, 1, 2}}};
}

// Scales in the XY plane from the selection's far corner: a triangle pointing outwards
// between the X and Y arrows.
void scaleInPlaneXY(GraphicStruct* root) {
    HandleSpec desc = atReferencePoint("ScalePlaneXY", "scale", "rotbar_cs_xy", 1);
    desc.disableIfViewByX = desc.disableIfViewByY = true;
    GraphicStruct* handle = addHandle(root, desc);
    addLooks(handle, planeGrip(1), planeGrip(1.2), Cyan);
    addCoordsystem(handle, PlaneXY.frame);
}

// A static tripod on the selection's own coordinate system, centred on its origin at every
// zoom.
void selectionCoordinateSystem(GraphicStruct* root) {
    HandleSpec desc{"SelectionCS", "none", "selection_cs", "selection_cs", "none"};
    desc.positionZoomable = true;
    GraphicStruct* handle = addHandle(root, desc);
    kvGraphicSetReferencePoint(handle, 0, 0, 0);
    GraphicStruct* tripod = addPart(handle, "static");
    addLine(tripod, {}, {TripodLength, 0, 0}, Red);
    addLine(tripod, {}, {0, TripodLength, 0}, Green);
    addLine(tripod, {}, {0, 0, TripodLength}, Blue);
}

// [SECTION] Box handles ---------------------------------------------------------------------

const KvPoint BoxMin{-BoxHalf, -BoxHalf, -BoxHalf}, BoxMax{BoxHalf, BoxHalf, BoxHalf};

// The wire box around the selection; it follows every drag, scaling ones included.
void boundingBox(GraphicStruct* root) {
    HandleSpec desc{"Bounding_box", "none", "extents_center", "gctrl_cs", "none", "by_selection"};
    GraphicStruct* wire = addPart(addHandle(root, desc), "static");
    for (const auto& [a, b] : boxEdges(BoxMin, BoxMax))
        addLine(wire, a, b, LightGrey);
}

// The box's faces, shaded lightly: grabbing one drags the selection on the work plane.
void boundingBoxFacets(GraphicStruct* root) {
    HandleSpec desc = onSelectionBox("Bounding_box_facets", "move", "wp_cs_xy", 4);
    desc.priorityIncIfSize0 = 0;
    GraphicStruct* handle = addHandle(root, desc);
    const Mesh faces = box(BoxMin, BoxMax);
    addMesh(addPart(handle, "mouseout", {0.85, 0.5, 0.6, 0}), faces, PaleBlue);
    addMesh(addPart(handle, "mouseover", {0.7, 0.6, 0.6, 0}), box(1.01 * BoxMin, 1.01 * BoxMax),
            Yellow);
    addMesh(addPart(handle, "active", {0.8, 0.5, 0.6, 0}), faces, Orange);
    addMesh(addPart(handle, "highlight_area"), faces, PaleBlue);
    addCoordsystem(handle, World);
}

// The box's edges: dragging one moves the selection in the plane of the box's middle.
void boundingBoxMove(GraphicStruct* root) {
    HandleSpec desc = onSelectionBox("Bounding_box_Move", "move", "rotbar_cs_xy", 3);
    desc.disableIfViewByX = desc.disableIfViewByY = true;
    GraphicStruct* handle = addHandle(root, desc);
    for (const auto& [type, color] :
         {std::pair{"mouseout", LightGrey}, std::pair{"mouseover", Yellow},
          std::pair{"active", Orange}}) {
        GraphicStruct* part = addPart(handle, type);
        for (const auto& [a, b] : boxEdges(BoxMin, BoxMax))
            addLine(part, a, b, color);
    }
    addCoordsystem(handle, World);
}

Mesh cornerCubes(double half) {
    Mesh mesh;
    for (int i = 0; i < 8; ++i)
        mesh.append(cube(
            {i & 1 ? BoxHalf : -BoxHalf, i & 2 ? BoxHalf : -BoxHalf, i & 4 ? BoxHalf : -BoxHalf},
            half));
    return mesh;
}

// Cubes on the box's corners scale the selection uniformly, keeping the corner opposite the
// grabbed one in place.
void scaleAlongDiagonal(GraphicStruct* root) {
    GraphicStruct* handle =
        addHandle(root, onSelectionBox("ScaleDiagonal", "scale", "scene_cs_diag", 2));
    addLooks(handle, cornerCubes(CornerHalf), cornerCubes(CornerHalf * Grow), White);
    addCoordsystem(handle, World);
}

// A square on the face the handle's local X points out of: dragging it scales the selection
// along that axis from the opposite face.
void scaleFaceGrip(GraphicStruct* root, const Axis& axis, bool positive) {
    const Frame frame = positive ? axis.frame : axis.frame.flipped();
    HandleSpec desc =
        onSelectionBox(std::string("ScaleGrip") + axis.letter + (positive ? "Plus" : "Minus"),
                       "scale", "handle_cs_x", 2);
    desc.disableIfViewByX = true;
    desc.hideIfSelection2D = axis.letter == 'Z';
    GraphicStruct* handle = addHandle(root, desc);
    const KvPoint centre{BoxHalf + FaceGripLift, 0, 0};
    addLooks(handle, square(centre, {0, 1, 0}, {0, 0, 1}, FaceGripHalf).transformed(frame),
             square(centre, {0, 1, 0}, {0, 0, 1}, FaceGripHalf * 1.15).transformed(frame),
             axis.color);
    addCoordsystem(handle, frame);
}

// A square on the box's vertical edge at its far X and Y corner scales the selection in
// its XY plane.
void scaleSelectionXY(GraphicStruct* root) {
    GraphicStruct* handle =
        addHandle(root, onSelectionBox("ScaleSelectionXY", "scale", "scene_cs_xy", 2));
    const KvPoint corner{BoxHalf, BoxHalf, 0};
    addLooks(handle, square(corner, {1, 0, 0}, {0, 1, 0}, EdgeGripHalf),
             square(corner, {1, 0, 0}, {0, 1, 0}, EdgeGripHalf * 1.15), Cyan);
    addCoordsystem(handle, World);
}

DrawingStruct* newProfile(GraphicStruct** root) {
    DrawingStruct* d = kvDrawingNew();
    *root = d ? DrawingGetModelRoot(d) : nullptr;
    return d;
}

} // namespace

// Handles later in the list win ties in picking, so the box comes first and the reference
// point last.
DrawingStruct* buildUniversalProfile() {
    GraphicStruct* root = nullptr;
    DrawingStruct* d = newProfile(&root);
    if (!d) return nullptr;
    boundingBox(root);
    boundingBoxFacets(root);
    boundingBoxMove(root);
    scaleAlongDiagonal(root);
    for (const Axis* axis : {&AxisX, &AxisY, &AxisZ})
        for (const bool positive : {true, false})
            scaleFaceGrip(root, *axis, positive);
    scaleSelectionXY(root);
    selectionCoordinateSystem(root);
    rotateAboutAxis(root, PlaneYZ, 'X');
    rotateAboutAxis(root, PlaneZX, 'Y');
    rotateAboutAxis(root, PlaneXY, 'Z');
    scaleAlongAxis(root, AxisX, false);
    scaleAlongAxis(root, AxisY, false);
    scaleAlongAxis(root, AxisZ, true);
    scaleSymmetricAlongX(root);
    scaleInPlaneXY(root);
    for (const Plane* plane : {&PlaneXY, &PlaneYZ, &PlaneZX})
        moveInPlane(root, *plane);
    for (const Axis* axis : {&AxisX, &AxisY, &AxisZ})
        moveAlongAxis(root, *axis);
    referencePoint(root);
    return d;
}

DrawingStruct* buildUniversalSimpleProfile() {
    GraphicStruct* root = nullptr;
    DrawingStruct* d = newProfile(&root);
    if (!d) return nullptr;
    scaleAlongDiagonal(root);
    rotateAboutAxis(root, PlaneYZ, 'X');
    rotateAboutAxis(root, PlaneZX, 'Y');
    rotateAboutAxis(root, PlaneXY, 'Z');
    for (const Axis* axis : {&AxisX, &AxisY, &AxisZ})
        moveAlongAxis(root, *axis);
    return d;
}

} // namespace profiles
