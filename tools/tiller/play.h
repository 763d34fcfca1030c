// `tiller play`: plays the host's side of a session against the exported functions.
#ifndef TILLER_TOOLS_PLAY_H
#define TILLER_TOOLS_PLAY_H

#include "session_file.h"

#include "korvex/session.h"

#include <nlohmann/json.hpp>

#include <array>
#include <memory>
#include <ostream>
#include <string>

namespace tiller::tools {

// Builds the session's scene, viewport and control, then plays its steps in order, writing
// pictures and reports under `outDir` and one JSON line per step to `log` (the first line is
// the control's creation). Answers 0 when the steps were played, 1 when the scene could not be
// built (the reason on `errors`).
int PlaySession(const Session& session, const std::string& outDir, std::ostream& log,
                std::ostream& errors);

// Why a profile drawing that reads gives no control.
inline constexpr const char* kNoHandleReason =
    "the drawing reads, but holds no handle the library can use";

// Prints the report of a control built from `profile` (a shipped name or a path) and set up
// over a unit box seen in an isometric view. Answers 0, or 1 when no control could be built.
int PrintProfileReport(const std::string& profile, std::ostream& out, std::ostream& errors);

// A session's host kept open for a person at the controls: the scene, viewport and control
// built as PlaySession builds them (its steps are not played), then one step at a time, each
// answering the line `tiller play` would print for it.
class LiveSession {
  public:
    ~LiveSession();
    // Null, with the reason, when the scene cannot be built. A model file (the session's or
    // one opened later) of more than `maxTriangles` triangles is refused.
    static std::unique_ptr<LiveSession> Open(const Session& session, long maxTriangles,
                                             std::string* error);
    nlohmann::ordered_json Run(const Step& step);
    // Ends a drag in progress with nothing applied.
    nlohmann::ordered_json Cancel();
    // Builds the control again from the profile file `profile`, set up and shown as before,
    // and unloads the profile of the one it replaces; keeps the current control when the file
    // gives none. The answer's "control" says whether a new one was built.
    nlohmann::ordered_json Reload(const std::string& profile);
    // A click with no handle under the pointer: selects the part under the pixel, alone or
    // (add) toggled in the selection, or clears the selection over empty space. The control is
    // set up over the new selection, or hidden when nothing is selected.
    nlohmann::ordered_json Select(const std::array<double, 2>& pixel, bool add);
    // Replaces the model with a file's (any the host opens); "opened" 0 and the one-line
    // "reason" when it does not read, and then nothing changed.
    nlohmann::ordered_json OpenFile(const std::string& path);
    // The settings the next setup uses.
    GControlProperties& Settings();
    KvScene* Scene() const;
    ViewportStruct* Viewport() const;
    // Null when the profile gave no control.
    GControl* Control() const;
    // The dragged handle's mDrag; null outside a drag.
    const MatrixStruct* DragMatrix() const;

  private:
    LiveSession(const Session& session, long maxTriangles);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace tiller::tools

#endif
