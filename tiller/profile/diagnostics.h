// The load steps' account of what they refuse or read differently from what was written. The
// library never shows it to a host: an authoring tool installs a listener for the time it loads
// a profile and receives one record per finding. With no listener a report is a test of one
// thread-local pointer, so the load steps pay nothing for it.
#ifndef TILLER_PROFILE_DIAGNOSTICS_H
#define TILLER_PROFILE_DIAGNOSTICS_H

#include "tiller/host/korvex.h"

#include <functional>
#include <string>
#include <string_view>

namespace tiller {

enum class DiagnosticCode {
    GroupWithoutProperties, // a handle group has no properties at all; dropped
    NameMissing,            // no text handle_name; dropped
    NameEmpty,              // handle_name is empty; dropped
    KeyMissing,             // a required key is missing (key); dropped
    ValueRefused,           // a required key's value is not a word of its vocabulary; dropped
    ValueDefaulted,         // an optional key's value is not a word of its vocabulary
    ValueNotText,           // the first value of a key read as text is not text (key)
    KeyUnknown,             // a key the loader does not read (key)
    KeyRepeated,            // a key given twice: only the first counts (key)
    FlagNotYesNo,           // a yes/no key whose value is neither (reads as no)
    NumberRefused,          // no number could be read; the default stands (key, value)
    NumberPartlyRead,       // text follows the number and is ignored (key, value)
    NumberClipped,          // the number lies below the smallest allowed (key, value)
    PartWithoutType,        // a child group without handle_part: not a part
    PartTypeRefused,        // handle_part is not a part type (value): not a part
    PartReplaced,           // a later part of the same type replaces this one (value: type)
    PartNoGeometry,         // the part holds nothing with extents
    AxisLineCount,          // a coordsystem part does not hold exactly three graphics
    AxisColours,            // its lines are not one red, one green and one blue
    AxisNotLine,            // an axis graphic is not a line of two points (value: axis)
    AxisOrigins,            // the axis lines do not start at one point
    PartMissing,            // a part the transform needs is missing (value: type); dropped
    PartUnusable,           // a part the transform needs failed to load (value: type); dropped
    FrameAxisZero,          // an axis of the handle frame has no length (value: axis); dropped
    FrameAxesParallel,      // two axes are parallel, or all three in one plane; dropped
    BoundingBoxRepeated,    // a second "Bounding_box" group; dropped
    Count
};

struct Diagnostic {
    DiagnosticCode code;
    GraphicStruct* group = nullptr; // the handle group being read
    GraphicStruct* part = nullptr;  // the part group being read, if any
    std::string key;
    std::string value;
};

using DiagnosticsListener = std::function<void(const Diagnostic&)>;

// Installs a listener for the current thread while it lives; the previous one comes back after.
class ListenToDiagnostics {
  public:
    explicit ListenToDiagnostics(DiagnosticsListener listener);
    ~ListenToDiagnostics();
    ListenToDiagnostics(const ListenToDiagnostics&) = delete;
    ListenToDiagnostics& operator=(const ListenToDiagnostics&) = delete;

  private:
    DiagnosticsListener listener_;
    const DiagnosticsListener* previous_;
};

// Names the graphics reports are about while it lives (a null part: the group itself).
class DiagnosticsSubject {
  public:
    DiagnosticsSubject(GraphicStruct* group, GraphicStruct* part);
    ~DiagnosticsSubject();
    DiagnosticsSubject(const DiagnosticsSubject&) = delete;
    DiagnosticsSubject& operator=(const DiagnosticsSubject&) = delete;

  private:
    GraphicStruct* previousGroup_;
    GraphicStruct* previousPart_;
};

bool DiagnosticsListening();
void ReportDiagnostic(DiagnosticCode code, std::string_view key = {}, std::string_view value = {});

// Why a handle frame cannot be inverted: FrameAxisZero with the axis letter, or
// FrameAxesParallel with the axes concerned ("X Y", or "X Y Z" for three in one plane).
void ReportSingularFrame(const MatrixStruct* frame);

} // namespace tiller

#endif
