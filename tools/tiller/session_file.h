// The session file of `tiller play`: a profile, a selection, a viewport, the control's
// settings and the host's steps. Read and checked whole before anything runs.
#ifndef TILLER_TOOLS_SESSION_FILE_H
#define TILLER_TOOLS_SESSION_FILE_H

#include "korvex/math.h"
#include "tiller/tiller.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace tiller::tools {

using Matrix16 = std::array<double, 16>;

struct SelectionSpec {
    enum class Kind { Box, File, Model } kind = Kind::Box;
    KvPoint boxMin{0, 0, 0};
    KvPoint boxMax{1, 1, 1};
    std::string path;               // File: a drawing or CAD file, relative to the session file
    std::vector<std::string> parts; // File: the parts selected by name; all when empty
    double deflection = 0;          // File: relative tessellation deviation; 0 the host's
    std::string model;              // Model: a sample model by name
    int line = 0;                   // of the selection in the session file
};

struct ViewportSpec {
    int width = 800;
    int height = 600;
    bool perspective = false;
    std::string view = "iso"; // preset, unless eye/target are given
    std::optional<KvPoint> eye, target;
    KvPoint up{0, 0, 1};
    std::optional<double> unitsPerPixel; // parallel; fitted to the selection when missing
    double fovY = 45.0;                  // perspective, degrees
};

struct ViewChange {
    std::optional<double> zoom;                 // > 1 zooms in
    std::optional<std::array<double, 2>> orbit; // degrees about the target: azimuth, elevation
    std::optional<std::array<double, 2>> pan;   // pixels
    std::optional<std::string> preset;
};

struct SetupSpec {
    std::optional<Matrix16> controlCS, rotbarCS, selectionCS;
    std::optional<std::array<KvPoint, 2>> extents, extents2;
    std::optional<KvPoint> refPoint;
    bool alignToSelection = false; // frames along the selected part's axes, not the world's
};

struct SnapSpec {
    double move = 0, rotateDegrees = 0, scale = 0;
};

struct Step {
    enum class Action {
        Setup,
        Show,
        Render,
        Hover,
        Press,
        Drag,
        Transform,
        Release,
        View,
        Hide,
        Unhide,
        Report
    } action = Action::Setup;
    int line = 0; // line of the step in the session file
    SetupSpec setup;
    int showMode = 1;
    std::string file; // render, report
    std::array<double, 2> pixel{0, 0};
    uint16_t keys = 0;
    bool uniform = false, fromCenter = false, keepSelectionCS = false;
    std::optional<SnapSpec> snap;
    Matrix16 matrix{};
    ViewChange view;
    std::string handleName; // hide, unhide
};

struct Session {
    std::string name;      // the session file's path, for messages; empty for text
    std::string directory; // of the session file, for relative paths
    std::string profile;
    std::string control = "main";
    SelectionSpec selection;
    ViewportSpec viewport;
    GControlProperties settings; // the defaults, with the fields the file names
    std::vector<Step> steps;
};

// Reads and checks a session file. On failure answers false with "line N: reason" in *error.
bool ReadSessionFile(const std::string& path, Session* session, std::string* error);
// The same from text (path only names the directory for relative files).
bool ParseSessionText(const std::string& text, const std::string& directory, Session* session,
                      std::string* error);

} // namespace tiller::tools

#endif
