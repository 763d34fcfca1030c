// The text report of a control: its settings, a summary of its handles, the highlighted handle,
// every handle with its properties, geometry, state and parts, then the built-in reference.

#include "tiller/report/report.h"

#include "tiller/control/gcontrol.h"
#include "tiller/geometry/geometry.h"
#include "tiller/handle/ghandle.h"
#include "tiller/handle/vocabulary.h"
#include "tiller/host/korvex.h"
#include "tiller/part/ghandlepart.h"
#include "tiller/profile/drawing_profile.h"
#include "tiller/report/reference.h"
#include "tiller/report/report_text.h"

#include <charconv>
#include <cmath>

namespace tiller {
namespace {

constexpr const char* kSeparator = "______________________________________________________";
constexpr const char* kLevelStep = "   ";

const char* BoolText(bool value) {
    return value ? "true" : "false";
}

// The record is the host's to read in place, so a value may lie outside the vocabulary; such a
// value prints as its number rather than reading past the table.
std::string EnumText(const EnumVocabulary& vocabulary, uint32_t value) {
    if (value >= vocabulary.texts.size()) return std::to_string(value);
    return EnumToText(vocabulary, value);
}

void WriteMatrixBlock(ReportText& out, const char* label, const MatrixStruct* matrix,
                      const std::string& indent) {
    out << indent << label;
    if (!matrix) {
        out << "NULL\n";
        return;
    }
    if (MatrixIsIdentity(matrix)) {
        out << "1\n";
        return;
    }
    out << '\n';
    // Each printed row is one stored column: the matrix as it reads in column-vector algebra.
    for (int r = 0; r < 4; ++r) {
        out << indent << indent;
        for (int c = 0; c < 4; ++c)
            out << FormatReportNumber(matrix->m[4 * c + r], true) << ' ';
        out << '\n';
    }
    out << '\n';
}

void WriteExtentsBlock(ReportText& out, const char* label, const ExtentsStruct* extents,
                       const std::string& indent) {
    out << indent << label << '\n';
    if (!extents) {
        out << "NULL\n";
        return;
    }
    out << indent << indent << "x1 = " << FormatReportNumber(ExtentsGetX1(extents), true)
        << "y1 = " << FormatReportNumber(ExtentsGetY1(extents), true)
        << "z1 = " << FormatReportNumber(ExtentsGetZ1(extents), true) << '\n';
    out << indent << indent << "x2 = " << FormatReportNumber(ExtentsGetX2(extents), true)
        << "y2 = " << FormatReportNumber(ExtentsGetY2(extents), true)
        << "z2 = " << FormatReportNumber(ExtentsGetZ2(extents), true) << '\n';
}

// An empty slot is a hyphen that ends the label's line; a part starts on the next line.
void WritePartBlock(ReportText& out, const GHandlePart* part, const std::string& indent) {
    if (!part) {
        out << '-';
        return;
    }
    const bool displayable = part->PartIsDisplayable();
    out << '\n';
    out << indent << "Type = " << EnumText(PartVocabulary(), part->PartGetType()) << '\n';
    out << indent << "Loaded = " << BoolText(part->PartIsLoaded()) << '\n';
    out << indent << "Geometry = " << BoolText(displayable) << '\n';
    out << indent << "Visible = " << BoolText(part->PartIsVisible() && displayable) << '\n';
    out << indent << "Transparency = " << FormatReportNumber(part->PartGetTransparency(), false)
        << '\n';
    out << indent << "Extents = ";
    if (part->PartGetExtents() && displayable)
        WriteExtentsBlock(out, "", part->PartGetExtents(), indent);
    else
        out << "NULL\n";
    out << indent << "Extents center in WCS: ";
    if (part->PartGetCenter() && displayable) {
        const VertexStruct& center = *part->PartGetCenter();
        out << "x = " << FormatReportNumber(center.x, false)
            << ", y = " << FormatReportNumber(center.y, false)
            << ", z = " << FormatReportNumber(center.z, false);
    } else {
        out << "NULL";
    }
    out << '\n';
}

void WriteHandleBlock(ReportText& out, const GHandle& handle, const std::string& in) {
    out << in << "Name = " << handle.csName << '\n';
    out << in << "TransformType = " << EnumText(TransformVocabulary(), handle.TransformType)
        << '\n';
    out << in << "PositionType = " << EnumText(PositionVocabulary(), handle.PositionType) << '\n';
    out << in << "OrientationType = " << EnumText(OrientationVocabulary(), handle.OrientationType)
        << '\n';
    out << in << "MovementType = " << EnumText(MovementVocabulary(), handle.MovementType) << '\n';
    out << in << "ExtentsType = " << EnumText(ExtentsVocabulary(), handle.ExtentsType) << '\n';
    out << in << "SelectorHandleID = " << handle.SelectorHandleID << '\n';
    out << in << "Priority = " << handle.Priority << '\n';
    out << in << "Priority_Diff_ifExtents0 = " << handle.Priority_Diff_ifExtents0 << '\n';
    out << in << "SnapCursorToCenter = " << BoolText(handle.SnapCursorToCenter) << '\n';
    out << in << "MultiView = " << BoolText(handle.MultiView) << '\n';
    out << in << "PositionAbsolute = " << BoolText(handle.PositionAbsolute) << '\n';
    out << in << "AutohideMouseoverPart = " << BoolText(handle.AutohideMouseoverPart) << '\n';
    out << in << "AutohideRefpointWhiledrag = " << BoolText(handle.AutohideRefpointWhiledrag)
        << '\n';
    out << in << "HideStaticPartsWhiledrag = " << BoolText(handle.HideStaticPartsWhiledrag) << '\n';
    out << in << "HideIfSelection2D = " << BoolText(handle.HideIfSelection2D) << '\n';
    out << in << "Disable_if_view_by_x = " << BoolText(handle.Disable_if_view_by_x) << '\n';
    out << in << "Disable_if_view_by_y = " << BoolText(handle.Disable_if_view_by_y) << '\n';
    out << in << "Disable_if_view_by_z = " << BoolText(handle.Disable_if_view_by_z) << '\n';
    out << in << "xCenter = " << FormatReportNumber(handle.xCenter, false) << '\n';
    out << in << "yCenter = " << FormatReportNumber(handle.yCenter, false) << '\n';
    out << in << "zCenter = " << FormatReportNumber(handle.zCenter, false) << '\n';

    WriteMatrixBlock(out, "mDrag = ", handle.mDrag, in);
    WriteMatrixBlock(out, "HandleCS = ", handle.mHandleCS, in);
    WriteMatrixBlock(out, "CoordSystem = ", handle.mCoordSystem, in);
    out << in << "Macros = \"" << handle.strMacros << "\"\n";

    const bool hasGeometry = handle.HasGeometry();
    out << '\n';
    out << in << "Loaded = " << BoolText(handle.IsLoaded()) << '\n';
    out << in << "Geometry = " << BoolText(hasGeometry) << '\n';
    out << in << "Visible = " << BoolText(handle.IsEnabled() && hasGeometry) << '\n';
    out << in << '\n';
    out << in << "Parts: \n";

    static constexpr struct {
        PartSlot slot;
        const char* label;
    } kSlots[] = {
        {SlotMouseout, "Part MouseOut: "},
        {SlotMouseover, "Part Mouseover: "},
        {SlotCoordsystem, "Part CordSystem: "},
        {SlotActive, "Part Active: "},
        {SlotStatic, "Part Static: "},
        {SlotHighlightArea, "Part HighlightArea: "},
        {SlotVisibilityArea, "Part VisibilityArea: "},
    };
    const std::string partIndent = in + kLevelStep;
    for (const auto& entry : kSlots) {
        out << in << entry.label;
        WritePartBlock(out, handle.Part(entry.slot), partIndent);
        out << '\n';
    }
}

// What the summary sections need from one pass over the handle list.
struct HandleCensus {
    int statics = 0;
    int moves = 0;
    int rotates = 0;
    int scales = 0;
    bool hasBoundingBox = false;
    bool hasReferencePoint = false;
    int highlightedPosition = -1; // among the non-empty entries
};

HandleCensus TakeCensus(const GControl& control) {
    HandleCensus census;
    int position = 0;
    for (const GHandle* handle : control.handles) {
        if (!handle) continue;
        switch (handle->TransformType) {
        case TransformNone:
            ++census.statics;
            break;
        case TransformMove:
            ++census.moves;
            break;
        case TransformScale:
        case TransformScale2:
            ++census.scales;
            break;
        case TransformRotate:
            ++census.rotates;
            break;
        default:
            break;
        }
        if (handle->csName == BoundingBoxName) census.hasBoundingBox = true;
        if (handle->csName == ReferencePointName) census.hasReferencePoint = true;
        if (handle == control.highlightedHandle) census.highlightedPosition = position;
        ++position;
    }
    return census;
}

// The contents lines end in tab runs that line them up in a tab-stop viewer.
std::string Tabs(int count) {
    return std::string(count, '\t');
}

void WriteContents(ReportText& out, const std::string& l0, const std::string& l1) {
    out << Tabs(13) << '\n';
    out << l0 << "Content:" << Tabs(10) << '\n';
    out << l1 << "1. GControl properties." << Tabs(5) << '\n';
    out << l1 << "2. Handles summary." << Tabs(6) << '\n';
    out << l1 << "3. Highlighted handle." << Tabs(5) << '\n';
    out << l1 << "4. List of the handles." << Tabs(5) << '\n';
    out << Tabs(13) << '\n';
    out << l1 << "5. Appendix A (GControl reference.)" << Tabs(2) << '\n';
    out << l1 << "6. Appendix B (Handle reference.)" << Tabs(2) << '\n';
    out << l1 << "7. Appendix C (Part reference.)" << Tabs(3) << '\n';
    out << Tabs(13) << '\n';
}

void WriteSettings(ReportText& out, const GControl& control, const std::string& l1,
                   const std::string& l2) {
    const GControlProperties& p = control.properties;
    out << '\n' << kSeparator << '\n';
    out << l1 << "1. GControl Properties.\n";
    out << l2 << "QVW Profile = "
        << (control.profile ? utf8::Narrow(control.profile->Path()).value_or("") : "") << '\n';
    out << l2 << "Show_Handles_RotBar_Move = " << BoolText(p.Show_Handles_RotBar_Move) << '\n';
    out << l2 << "Show_Handles_RotBar_Scale = " << BoolText(p.Show_Handles_RotBar_Scale) << '\n';
    out << l2 << "Show_Handles_RotBar_Rotate = " << BoolText(p.Show_Handles_RotBar_Rotate) << '\n';
    out << l2 << "Show_BoundaryBox = " << BoolText(p.Show_BoundaryBox) << '\n';
    out << l2 << "ScreenSize_Min = " << p.ScreenSize_Min << '\n';
    out << l2 << "ScreenSize_Max = " << p.ScreenSize_Max << '\n';
    out << l2 << "Light_Type = " << p.Light_Type << '\n';
    out << l2 << "Light_Affect_Diffuse = " << p.Light_Affect_Diffuse << '\n';
    out << l2 << "Light_Affect_Specular = " << p.Light_Affect_Specular << '\n';
    out << '\n';
}

void WriteSummary(ReportText& out, const GControl& control, const HandleCensus& census,
                  const std::string& l1, const std::string& l2) {
    out << kSeparator << '\n';
    out << l1 << "2. Handles summary.\n";
    out << l2 << "Total = " << control.handles.size() << '\n';
    out << l2 << "Static handles = " << census.statics << '\n';
    out << l2 << "Move handles = " << census.moves << '\n';
    out << l2 << "Rotate handles = " << census.rotates << '\n';
    out << l2 << "Scale handles = " << census.scales << '\n';
    out << '\n';
    out << l2 << "Bounding box = " << BoolText(census.hasBoundingBox) << '\n';
    out << l2 << "Reference point = " << BoolText(census.hasReferencePoint) << '\n';
    out << '\n';
}

void WriteHighlighted(ReportText& out, const GControl& control, const HandleCensus& census,
                      const std::string& l1, const std::string& l2) {
    out << kSeparator << '\n';
    out << l1 << "3. Highlighted handle.\n";
    if (census.highlightedPosition < 0) {
        out << l2 << "NULL\n";
    } else {
        out << l2 << "Number = " << census.highlightedPosition + 1 << '\n';
        out << l2 << "Name = " << control.highlightedHandle->csName << '\n';
    }
    out << '\n';
}

void WriteHandleList(ReportText& out, const GControl& control, const std::string& l0,
                     const std::string& l1, const std::string& l3) {
    out << kSeparator << '\n';
    out << l1 << "4. List of the handles.\n";
    int number = 0;
    for (const GHandle* handle : control.handles) {
        if (!handle) continue;
        out << l1 << ++number << ". " << handle->csName << '\n';
        out << l0;
        WriteHandleBlock(out, *handle, l3);
        out << '\n';
    }
}

} // namespace

std::string FormatReportNumber(double value, bool padded) {
    double rounded = RoundTo8(value);
    // Also turns a negative zero into a plain zero.
    if (std::fabs(rounded) <= 1e-7) rounded = 0.0;
    // Six significant digits as a stream prints a double by default, without the stream:
    // to_chars follows neither the host's locale nor the stream's state.
    char digits[32];
    const auto end =
        std::to_chars(digits, digits + sizeof digits, rounded, std::chars_format::general, 6).ptr;
    std::string text;
    text.reserve(16);
    if (rounded >= 0) text += ' ';
    text.append(digits, end);
    if (padded && end - digits < 12) text.append(12 - (end - digits), ' ');
    if (rounded < 0) text += ' ';
    return text;
}

void HandleReportText(const GHandle* handle, std::string& out, const std::string& indent) {
    ReportText text;
    if (handle) WriteHandleBlock(text, *handle, indent);
    out = text.str();
}

void GControlReport(const GControl* control, std::string& out, const std::string& indent) {
    out.clear();
    if (!control) return;
    const std::string& l0 = indent;
    const std::string l1 = l0 + kLevelStep;
    const std::string l2 = l1 + kLevelStep;
    const std::string l3 = l2 + kLevelStep;
    const HandleCensus census = TakeCensus(*control);

    ReportText text;
    WriteContents(text, l0, l1);
    WriteSettings(text, *control, l1, l2);
    WriteSummary(text, *control, census, l1, l2);
    WriteHighlighted(text, *control, census, l1, l2);
    WriteHandleList(text, *control, l0, l1, l3);
    WriteReferenceAppendices(text, l0);
    out = text.str();
}

} // namespace tiller
