// The built-in reference of the profile format that closes every report: the structure of a
// control, a handle and a part, and every property with its description, default and range.
// The texts are data; a small writer lays them out at the report's indentation levels.
#include "tiller/report/reference.h"

#include <string_view>

namespace tiller {
namespace {

enum class Level { None, L1, L2 };

// One or more lines of text written at one level; every line ends with a line feed.
struct Block {
    Level level;
    std::string_view text;
};

// One property of the reference: five lines, then the line that separates it from the next.
struct PropertyEntry {
    std::string_view name; // the quoted name as printed
    std::string_view description;
    std::string_view defaultText;
    std::string_view range; // later lines carry their own alignment blanks
    std::string_view note;
    const Block* after; // null: nothing follows
};

constexpr std::string_view kSeparator = "______________________________________________________";

// Lines of blanks with no indent separate the sections and some of the part entries.
constexpr std::string_view kBlankLine = "                                                      "
                                        "                                                      ";
static_assert(kBlankLine.size() == 108);
constexpr std::string_view kNarrowBlankLine = kBlankLine.substr(0, 91);

constexpr Block kWideBlank{Level::None, kBlankLine};
constexpr Block kNarrowBlank{Level::None, kNarrowBlankLine};
constexpr Block kEmptyL2{Level::L2, ""};

constexpr std::string_view kControlDiagram =
    R"(      +-------------+         +---------------------+
      | GControl    +---------+ GControl Properties |
      +-------------+         +---------------------+
          |
          |     +----------+
          +-----+ Handle 1 |
          |     +----------+
          |
          |     +----------+
          +-----+ Handle 2 | (optional)
                +----------+
          +
          +

          |     +----------+
          +-----+ Handle N | (optional)
                +----------+)";

constexpr std::string_view kStaticHandleDiagram =
    R"(        +-----------------------+          +-------------------+
        | Static Handle (group) +----------+ Handle Properties | (TransformType = none)
        +-----------------------+          +-------------------+
            |
            |     +---------------+
            +-----+ Static part 1 |
            |     +---------------+
            |
            |     +---------------+
            +-----+ Static part 2 | (optional)
                  +---------------+
            +
            +

            |     +---------------+
            +-----+ Static part N | (optional)
                  +---------------+)";

constexpr std::string_view kInteractiveHandleDiagram =
    R"(          +----------------------------+     +-------------------+
          | Interactive Handle (group) +-----+ Handle Properties | (TransformType != none)
          +---+------------------------+     +-------------------+
              |
              |     +-----------------+
              +-----+ Part 'mouseout' |
              |     +-----------------+
              |
              |     +-----------------+
              +-----+ Part 'mouseover'|
                    +-----------------+
              |
              |     +-----------------+
              +-----+ Part 'active'   | (optional)
              |     +-----------------+
              |
              |     +--------------------+
              +-----+ Part 'coordsystem' |
              |     +--------------------+
              |
              |     +----------------------+
              +-----+ Part 'highlight_area'| (optional)
              |     +----------------------+
              |
              |
              |     +---------------+
              +-----+ Static part 1 | (optional)
              |     +---------------+
              |
              |     +---------------+
              +-----+ Static part 2 | (optional)
                    +---------------+
              +
              +

              |     +---------------+
              +-----+ Static part N | (optional)
                    +---------------+)";

constexpr std::string_view kPartDiagram =
    R"(            +--------------+          +-----------------+
            | Part (group) +----------+ Part Properties |
            +--------------+          +-----------------+
                |
                |     +-----------+
                +-----+ Graphic 1 |
                |     +-----------+
                |
                |     +-----------+
                +-----+ Graphic 2 | (optional)
                      +-----------+
                +
                +

                |     +-----------+
                +-----+ Graphic N | (optional)
                      +-----------+)";

constexpr Block kAppendixA[] = {
    kWideBlank,
    {Level::None, kSeparator},
    {Level::L1, "5. Appendix A (GControl reference)."},
    kWideBlank,
    {Level::L1, "1. Structure"},
    kEmptyL2,
    {Level::L2, kControlDiagram},
    kEmptyL2,
    kEmptyL2,
    kEmptyL2,
    {Level::L1, "2. GControl Properties"},
    kEmptyL2,
    {Level::L2, "    QVW Profile = Full path to QVW file"},
    kEmptyL2,
    {Level::L2, R"(    // Handle's visibility
    bool Show_Handles_RotBar_Move;     // = true by default
    bool Show_Handles_RotBar_Scale;    // = true by default
    bool Show_Handles_RotBar_Rotate;   // = true by default
    bool Show_BoundaryBox;      // = false by default)"},
    kEmptyL2,
    {Level::L2, R"(    // Size on screen  in pixels
    int ScreenSize_Min;            // = 200 pix by default; Range [ 50 - 1000 ]
    int ScreenSize_Max;            // = 350 pix by default; Range [ 50 - 1000 ])"},
    kEmptyL2,
    {Level::L2, R"(    // Lighting    (Ambient(0)/Headlight(1)/Compaund Headlight()2;)
    int Light_Type;                  // = 2 by default;
    double nLight_Affect_Diffuse;    // = 1.0 by default Range [ 0.0 - 10 ]
    double nLight_Affect_Specular;   // = 1.0 by default Range [ 0.0 - 10 ])"},
};

constexpr Block kAppendixBHead[] = {
    kWideBlank,
    {Level::None, kSeparator},
    {Level::L1, "6. Appendix B (Handle reference.)"},
    kWideBlank,
    {Level::L1, "1. Static (non interactive) handle structure."},
    kEmptyL2,
    {Level::L2, kStaticHandleDiagram},
    kEmptyL2,
    kEmptyL2,
    {Level::L1, "2. Interactive handle structure"},
    kEmptyL2,
    {Level::L2, kInteractiveHandleDiagram},
    kEmptyL2,
    {Level::L1, "3. Handle's predefined names"},
    kEmptyL2,
    {Level::L2, R"('Bounding_box'         - The name of boundary box handle
'Bounding_box_facets'  - The name of boundary box shading handle
'Bounding_box_Move'    - The name of boundary box move handle
'Reference_point'      - The name of reference point handle
'SelectionCS'          - The name of selection CS handle)"},
    kEmptyL2,
    {Level::L1, "4. Handle Properties"},
    kEmptyL2,
};

constexpr std::string_view kRequired = "custom property, required";
constexpr std::string_view kOptional = "custom properties, optional";
constexpr std::string_view kGeometry = "geometry properties";
constexpr std::string_view kFlagRange = "[ false, true ]";

constexpr PropertyEntry kHandleProperties[] = {
    {"'csName'", "The name of the handle.", "''", "-", kRequired, &kEmptyL2},
    {"'TransformType'", "The type of the transformation.", "undefined",
     "[ undefined,  none, move, scale, scale2, rotate ]", kRequired, &kEmptyL2},
    {"'PositionType'", "The type of the position.", "undefined", R"([     undefined,
                refpoint,
                extents_center,
                selection_cs,
                gctrl_cs_origin, ])",
     kRequired, &kEmptyL2},
    {"'OrientationType'", "The type of the orientation.", "undefined",
     "[ undefined, gctrl_cs, gctrl_rotbar_cs, selection_cs]", kRequired, &kEmptyL2},
    {"'MovementType'", "The type of the movement while drag (transform).", "undefined",
     R"([     undefined,
                none,
                rotbar_cs_x,
                rotbar_cs_xy,
                rotbar_cs_xyz,
                scene_cs_x,
                scene_cs_xy,
                scene_cs_xyz,
                scene_cs_diag,
                handle_cs_x,
                wp_cs_xy ])",
     kRequired, &kEmptyL2},
    {"'ExtentsType'", "Specifies how the handle`s extents set.", "undefined",
     "[ undefined, by_screen_resolution, by_selection ]", kOptional, &kEmptyL2},
    {"'SelectorHandleID'", "For the compatibility with selector`s handles ID.", "0", "[ 0, inf ]",
     kOptional, &kEmptyL2},
    {"'Priority'", "The priority of the handle (0.0 = highest priority).", "-1.0 (lowest priority)",
     "[ -1.0 ], [ 0.0, inf ]", kOptional, &kEmptyL2},
    {"'Priority_Diff_ifExtents0'",
     "The magnitude of the 'Priority' property changing when the handle's extents are zero.", "0",
     "[ 0, inf ]", kOptional, &kEmptyL2},
    {"'SnapCursorToCenter'", "Switch whether the cursor should snap to handle's centre on or not.",
     "false", kFlagRange, kOptional, &kEmptyL2},
    {"'MultiView'", "Switch whether the paint should be on all the views or only on active view.",
     "false  (only on active view)", kFlagRange, kOptional, &kEmptyL2},
    {"'PositionAbsolute'",
     "Switch whether the handle's position should be independent from zoom or not.", "false",
     kFlagRange, kOptional, &kEmptyL2},
    {"'AutohideMouseoverPart'",
     "Switch whether the mouseover part should be hide while drag or not.", "true", kFlagRange,
     kOptional, &kEmptyL2},
    {"'AutohideRefpointWhiledrag'",
     "Switch whether the refpoint and all linked handles should be hide while drag (transform) "
     "or not.",
     "false", kFlagRange, kOptional, &kEmptyL2},
    {"'HideStaticPartsWhiledrag'",
     "Switch whether all staic parts should be hide while drag (transform) or not.", "false",
     kFlagRange, kOptional, &kEmptyL2},
    {"'HideIfSelection2D'", "Hide the handle if selection is 2D. Switch on or off", "false",
     kFlagRange, kOptional, &kEmptyL2},
    {"'Disable_if_view_by_x' //",
     "Disable the handle if view direction by handle's axis X. Switch on or off", "false",
     kFlagRange, kOptional, &kEmptyL2},
    {"'Disable_if_view_by_y'",
     "Disable the handle if view direction by handle's axis Y. Switch on or off", "false",
     kFlagRange, kOptional, &kEmptyL2},
    {"'Disable_if_view_by_z'",
     "Disable the handle if view direction by handle's axis Z. Switch on or off", "false",
     kFlagRange, kOptional, &kEmptyL2},
    {"'xCenter'", "Center X of the handle (using to snap cursor in WCS).", "-", "-", kGeometry,
     &kEmptyL2},
    {"'yCenter'", "Center Y of the handle (using to snap cursor in WCS).", "-", "-", kGeometry,
     &kEmptyL2},
    {"'zCenter'", "Center Z of the handle (using to snap cursor in WCS).", "-", "-", kGeometry,
     &kEmptyL2},
    {"'mDrag'", "Matrix of the handle's coordinate system while drag.", "-", "-", kGeometry,
     &kEmptyL2},
    {"'mHandleCS'", "Amount matrix of handle's coordinate system in world coordinate system.", "-",
     "-", kGeometry, &kEmptyL2},
    {"'mCoordSystem'", "Matrix of handle's coordinate system loaded from QVW profile.", "-", "-",
     kGeometry, &kEmptyL2},
    {"'strMacros'", "keystroke macros", "''", "-", "optional parameter", nullptr},
};

constexpr Block kAppendixCHead[] = {
    kWideBlank,
    {Level::None, kSeparator},
    {Level::L1, "7. Appendix C (Part reference.)"},
    kWideBlank,
    {Level::L1, "1. Part structure."},
    kWideBlank,
    {Level::L2, kPartDiagram},
    kWideBlank,
    {Level::L1, "2. Part types."},
    kWideBlank,
    {Level::L2,
     R"('mouseout'       - visible geometry when the cursor is outside the handle
'mouseover'      - visible geometry when the cursor is over the handle
'active'         - visible geometry while dragging (optional)
'static'         - visible geometry (optional)
'coordsystem'    - invisible geometry, defining the coordinate system of the handle
'highlight_area' - invisible geometry, turns on mouseover, when the cursor is over it.
                  If this part is absent, mouseout (optional) is used instead.
visibility_area' - reserved (optional))"},
    kWideBlank,
    {Level::L1, "3. Part Properties.\t"},
    kWideBlank,
};

constexpr std::string_view kPartRequired = "custom property, required";
constexpr std::string_view kPartOptional = "custom property, optional";
constexpr std::string_view kUnitRange = "[ 0.0, 1.0 ]";

constexpr PropertyEntry kPartProperties[] = {
    {"'handle_part'", "The type of the part.", "undefined",
     "[undefined, mouseout, mouseover, active, coordsystem]", kPartRequired, &kNarrowBlank},
    {"'part_transparency'", "The transparency of the part.", "0.0", kUnitRange, kPartOptional,
     &kNarrowBlank},
    {"'part_ambient'", "The ambient factor of the part.", "0.1", kUnitRange, kPartOptional,
     &kNarrowBlank},
    {"'part_diffuse'", "The diffuse factor of the part.", "0.75", kUnitRange, kPartOptional,
     &kEmptyL2},
    {"'part_specular'", "The specular factor of the part.", "0.5", kUnitRange, kPartOptional,
     &kWideBlank},
    {"'part_fixed_size'\t",
     "Size on screen in pixels. if '0', then GControl resolution will be used.", "0",
     "[ 0 ], [ 50, 1000 ]", kPartOptional, nullptr},
};

class ReferenceWriter {
  public:
    ReferenceWriter(ReportText& out, const std::string& indent)
        : out_(out), l1_(indent + "   "), l2_(l1_ + "   ") {}

    void Write(const Block& block) {
        const std::string_view indent = IndentOf(block.level);
        std::string_view text = block.text;
        for (;;) {
            const std::size_t end = text.find('\n');
            out_ << indent << text.substr(0, end) << '\n';
            if (end == std::string_view::npos) return;
            text.remove_prefix(end + 1);
        }
    }

    template <std::size_t N> void Write(const Block (&blocks)[N]) {
        for (const Block& block : blocks)
            Write(block);
    }

    template <std::size_t N> void Write(const PropertyEntry (&entries)[N]) {
        for (const PropertyEntry& entry : entries) {
            std::string text;
            text.append(entry.name).append("\n     Description: ").append(entry.description);
            text.append("\n     Default: ").append(entry.defaultText);
            text.append("\n     Range: ").append(entry.range);
            text.append("\n     Note: ").append(entry.note);
            Write(Block{Level::L2, text});
            if (entry.after) Write(*entry.after);
        }
    }

  private:
    std::string_view IndentOf(Level level) const {
        if (level == Level::L1) return l1_;
        if (level == Level::L2) return l2_;
        return {};
    }

    ReportText& out_;
    const std::string l1_;
    const std::string l2_;
};

} // namespace

void WriteReferenceAppendices(ReportText& out, const std::string& indent) {
    ReferenceWriter writer(out, indent);
    writer.Write(kAppendixA);
    writer.Write(kAppendixBHead);
    writer.Write(kHandleProperties);
    writer.Write(kAppendixCHead);
    writer.Write(kPartProperties);
}

} // namespace tiller
