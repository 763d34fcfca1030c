// `tiller play`: plays the host's side of a session against the exported functions.
#ifndef TILLER_TOOLS_PLAY_H
#define TILLER_TOOLS_PLAY_H

#include "session_file.h"

#include <ostream>
#include <string>

namespace tiller::tools {

// Builds the session's scene, viewport and control, then plays its steps in order, writing
// pictures and reports under `outDir` and one JSON line per step to `log` (the first line is
// the control's creation). Answers 0 when the steps were played, 1 when the scene could not be
// built (the reason on `errors`).
int PlaySession(const Session& session, const std::string& outDir, std::ostream& log,
                std::ostream& errors);

// Prints the report of a control built from `profile` (a shipped name or a path) and set up
// over a unit box seen in an isometric view. Answers 0, or 1 when no control could be built.
int PrintProfileReport(const std::string& profile, std::ostream& out, std::ostream& errors);

} // namespace tiller::tools

#endif
