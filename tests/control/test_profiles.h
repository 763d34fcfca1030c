// Small profile drawings built in code for the handle, part and control tests: handle groups
// with their custom properties, part groups holding a square mesh, coordsystem parts with
// optional flaws, and a writer into the test's temporary folder.
#ifndef TILLER_TESTS_CONTROL_TEST_PROFILES_H
#define TILLER_TESTS_CONTROL_TEST_PROFILES_H

#include "korvex/drawing.h"
#include "korvex/math.h"

#include <filesystem>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace testprofile {

using Props = std::vector<std::pair<std::string, std::string>>;

inline GraphicStruct* AddGroup(GraphicStruct* parent, const Props& props) {
    GraphicStruct* group = kvGraphicNew(GraphicKindGroup);
    for (const auto& [name, value] : props)
        kvGraphicAddTextProperty(group, name.c_str(), value.c_str());
    kvGraphicAddChild(parent, group);
    return group;
}

// A square mesh in the plane z = c.z, of half size `half`, centred at c.
inline GraphicStruct* AddSquare(GraphicStruct* parent, KvPoint c, double half) {
    GraphicStruct* mesh = kvGraphicNew(GraphicKindMesh);
    kvGraphicAddVertex(mesh, c.x - half, c.y - half, c.z);
    kvGraphicAddVertex(mesh, c.x + half, c.y - half, c.z);
    kvGraphicAddVertex(mesh, c.x + half, c.y + half, c.z);
    kvGraphicAddVertex(mesh, c.x - half, c.y + half, c.z);
    kvGraphicAddFace(mesh, 0, 1, 2);
    kvGraphicAddFace(mesh, 0, 2, 3);
    kvGraphicAddChild(parent, mesh);
    return mesh;
}

inline GraphicStruct* AddLine(GraphicStruct* parent, KvPoint a, KvPoint b, uint32_t pen) {
    GraphicStruct* line = kvGraphicNew(GraphicKindLine);
    kvGraphicAddVertex(line, a.x, a.y, a.z);
    kvGraphicAddVertex(line, b.x, b.y, b.z);
    kvGraphicSetPen(line, pen);
    kvGraphicAddChild(parent, line);
    return line;
}

// A part group of `type` holding a square at c.
inline GraphicStruct* AddSquarePart(GraphicStruct* handle, const char* type, KvPoint c, double half,
                                    Props extra = {}) {
    extra.insert(extra.begin(), {"handle_part", type});
    GraphicStruct* part = AddGroup(handle, extra);
    AddSquare(part, c, half);
    return part;
}

enum class Flaw { None, FourthLine, TwoRed, BlueElsewhere };

// Red X, green Y and blue Z axis lines of length 0.1 from `origin`.
inline GraphicStruct* AddCoordsystem(GraphicStruct* handle, KvPoint o = {0, 0, 0},
                                     Flaw flaw = Flaw::None) {
    GraphicStruct* part = AddGroup(handle, {{"handle_part", "coordsystem"}});
    AddLine(part, o, {o.x + 0.1, o.y, o.z}, 0x0000FF);
    AddLine(part, o, {o.x, o.y + 0.1, o.z}, flaw == Flaw::TwoRed ? 0x0000FF : 0x00FF00);
    const KvPoint zStart = flaw == Flaw::BlueElsewhere ? KvPoint{o.x + 0.05, o.y, o.z} : o;
    AddLine(part, zStart, {o.x, o.y, o.z + 0.1}, 0xFF0000);
    if (flaw == Flaw::FourthLine) AddLine(part, o, {o.x + 0.1, o.y + 0.1, o.z}, 0x00FFFF);
    return part;
}

struct HandleDesc {
    HandleDesc(std::string name, std::string transform = "move", std::string position = "refpoint",
               std::string orientation = "gctrl_cs", std::string movement = "rotbar_cs_x",
               Props extra = {})
        : name(std::move(name)), transform(std::move(transform)), position(std::move(position)),
          orientation(std::move(orientation)), movement(std::move(movement)),
          extra(std::move(extra)) {}
    std::string name, transform, position, orientation, movement;
    Props extra;
};

inline GraphicStruct* AddHandleGroup(GraphicStruct* root, const HandleDesc& desc) {
    Props props = {{"handle_name", desc.name},
                   {"handle_transform", desc.transform},
                   {"handle_position", desc.position},
                   {"handle_orientation", desc.orientation},
                   {"handle_movement", desc.movement}};
    props.insert(props.end(), desc.extra.begin(), desc.extra.end());
    return AddGroup(root, props);
}

// An interactive handle: mouseout and mouseover squares at c and a sound coordsystem.
inline GraphicStruct* AddInteractive(GraphicStruct* root, const HandleDesc& desc, KvPoint c,
                                     double half = 0.05) {
    GraphicStruct* handle = AddHandleGroup(root, desc);
    AddSquarePart(handle, "mouseout", c, half);
    AddSquarePart(handle, "mouseover", c, half);
    AddCoordsystem(handle);
    return handle;
}

// An interactive handle picked on a line from a to b (its mouseout part, with the part's
// `partExtra` properties), with a mouseover square at the line's middle and a sound coordsystem.
inline GraphicStruct* AddLineHandle(GraphicStruct* root, const HandleDesc& desc, KvPoint a,
                                    KvPoint b, Props partExtra = {}) {
    GraphicStruct* handle = AddHandleGroup(root, desc);
    partExtra.insert(partExtra.begin(), {"handle_part", "mouseout"});
    AddLine(AddGroup(handle, partExtra), a, b, 0xFFFFFF);
    AddSquarePart(handle, "mouseover", {(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2}, 0.05);
    AddCoordsystem(handle);
    return handle;
}

// A static handle (transform none) showing a square at c.
inline GraphicStruct* AddStatic(GraphicStruct* root, const std::string& name, KvPoint c,
                                Props extra = {}) {
    GraphicStruct* handle =
        AddHandleGroup(root, {name, "none", "refpoint", "gctrl_cs", "none", std::move(extra)});
    AddSquarePart(handle, "static", c, 0.05);
    return handle;
}

// Written into the temporary folder under a name of this process, so parallel runs never meet.
inline std::string WriteProfile(DrawingStruct* drawing, const std::string& fileName) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / (std::to_string(getpid()) + "_" + fileName);
    std::string reason;
    if (!kvWriteDrawingFile(drawing, path.string().c_str(), &reason)) return {};
    return path.string();
}

} // namespace testprofile

#endif
