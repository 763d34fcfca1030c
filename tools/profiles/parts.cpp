// Handle and part groups of a profile drawing.
#include "parts.h"

#include "korvex/drawing.h"

#include <cstdio>

namespace profiles {

namespace {

std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

void addText(GraphicStruct* g, const char* key, const std::string& value) {
    kvGraphicAddTextProperty(g, key, value.c_str());
}

// Flags are written only when set: a missing flag reads as off.
void addFlag(GraphicStruct* g, const char* key, bool on) {
    if (on) addText(g, key, "yes");
}

GraphicStruct* addGroup(GraphicStruct* parent) {
    GraphicStruct* group = kvGraphicNew(GraphicKindGroup);
    GraphicSetLayer(group, 1);
    kvGraphicAddChild(parent, group);
    return group;
}

} // namespace

GraphicStruct* addHandle(GraphicStruct* root, const HandleSpec& desc) {
    GraphicStruct* handle = addGroup(root);
    addText(handle, "handle_name", desc.name);
    addText(handle, "handle_transform", desc.transform);
    addText(handle, "handle_position", desc.position);
    addText(handle, "handle_orientation", desc.orientation);
    addText(handle, "handle_movement", desc.movement);
    addText(handle, "handle_extents", desc.extents);
    if (desc.priority >= 0) addText(handle, "handle_priority", numberText(desc.priority));
    if (desc.priorityIncIfSize0 != 0)
        addText(handle, "handle_priority_inc_if_size_0", numberText(desc.priorityIncIfSize0));
    addFlag(handle, "handle_snap_to_center", desc.snapToCenter);
    addFlag(handle, "handle_position_zoomable", desc.positionZoomable);
    addFlag(handle, "handle_hide_refpoint_whiledrag", desc.hideRefpointWhileDrag);
    addFlag(handle, "handle_hide_if_selection2D", desc.hideIfSelection2D);
    addFlag(handle, "handle_disable_if_view_by_x", desc.disableIfViewByX);
    addFlag(handle, "handle_disable_if_view_by_y", desc.disableIfViewByY);
    addFlag(handle, "handle_disable_if_view_by_z", desc.disableIfViewByZ);
    return handle;
}

GraphicStruct* addPart(GraphicStruct* handle, const char* type, const PartLook& look) {
    GraphicStruct* part = addGroup(handle);
    addText(part, "handle_part", type);
    addText(part, "part_transparency", numberText(look.transparency));
    addText(part, "part_ambient", numberText(look.ambient));
    addText(part, "part_diffuse", numberText(look.diffuse));
    addText(part, "part_specular", numberText(look.specular));
    return part;
}

void addMesh(GraphicStruct* part, const Mesh& mesh, uint32_t pen) {
    GraphicStruct* g = meshGraphic(mesh, pen);
    GraphicSetLayer(g, 1);
    kvGraphicAddChild(part, g);
}

void addLine(GraphicStruct* part, KvPoint a, KvPoint b, uint32_t pen) {
    GraphicStruct* g = lineGraphic(a, b, pen);
    GraphicSetLayer(g, 1);
    kvGraphicAddChild(part, g);
}

void addCoordsystem(GraphicStruct* handle, const Frame& frame) {
    GraphicStruct* part = addGroup(handle);
    addText(part, "handle_part", "coordsystem");
    addLine(part, frame.origin, frame.origin + frame.x, Red);
    addLine(part, frame.origin, frame.origin + frame.y, Green);
    addLine(part, frame.origin, frame.origin + frame.z, Blue);
}

} // namespace profiles
