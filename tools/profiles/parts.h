// The vocabulary of a profile drawing as building blocks: a handle group with its behaviour
// properties, part groups with their display properties, and the coordsystem part.
#ifndef TILLER_TOOLS_PROFILES_PARTS_H
#define TILLER_TOOLS_PROFILES_PARTS_H

#include "builders.h"

#include <string>

namespace profiles {

// Colours, 0x00BBGGRR.
constexpr uint32_t Red = 0x0000FF;
constexpr uint32_t Green = 0x00FF00;
constexpr uint32_t Blue = 0xFF0000;
constexpr uint32_t Yellow = 0x00FFFF;
constexpr uint32_t Orange = 0x0099FF;
constexpr uint32_t Cyan = 0xFFFF00;
constexpr uint32_t White = 0xFFFFFF;
constexpr uint32_t LightGrey = 0xD0D0D0;
constexpr uint32_t PaleBlue = 0xFFC890;

// The behaviour of a handle: the group's properties. Texts are the profile vocabulary.
struct HandleSpec {
    std::string name;
    std::string transform;   // none, move, scale, scale2, rotate
    std::string position;    // refpoint, extents_center, selection_cs, ...
    std::string orientation; // gctrl_cs, gctrl_rotbar_cs, selection_cs
    std::string movement;    // none, rotbar_cs_x, rotbar_cs_xy, wp_cs_xy, ...
    std::string extents = "by_screen_resolution";
    double priority = -1;          // 0 is the highest; -1 none
    double priorityIncIfSize0 = 0; // added when the mouseout part shrinks to a point
    bool snapToCenter = false;
    bool positionZoomable = false;
    bool hideRefpointWhileDrag = false;
    bool hideIfSelection2D = false;
    bool disableIfViewByX = false, disableIfViewByY = false, disableIfViewByZ = false;
};

// The display values of a part.
struct PartLook {
    double transparency = 0;
    double ambient = 0.35;
    double diffuse = 0.7;
    double specular = 0.25;
};

constexpr PartLook Solid{};
constexpr PartLook Glowing{0, 0.65, 0.5, 0.4};
constexpr PartLook Translucent{0.35, 0.35, 0.7, 0.25};

// A new handle group appended to the model root.
GraphicStruct* addHandle(GraphicStruct* root, const HandleSpec& desc);
// A new part group of `type` (mouseout, mouseover, active, static, highlight_area) in the
// handle.
GraphicStruct* addPart(GraphicStruct* handle, const char* type, const PartLook& look = Solid);
void addMesh(GraphicStruct* part, const Mesh& mesh, uint32_t pen);
void addLine(GraphicStruct* part, KvPoint a, KvPoint b, uint32_t pen);
// The coordsystem part: three unit lines from the frame's origin along its axes, pens red,
// green and blue for X, Y and Z.
void addCoordsystem(GraphicStruct* handle, const Frame& frame);

} // namespace profiles

#endif
