// Sample models a session can select by name, so that a demo shows the manipulator over
// something that looks like a part rather than a plain box.
#ifndef TILLER_TOOLS_SAMPLE_MODELS_H
#define TILLER_TOOLS_SAMPLE_MODELS_H

#include "korvex/session.h"

#include <string>
#include <vector>

namespace tiller::tools {

// The names AddSampleModel knows.
const std::vector<std::string>& SampleModelNames();
// Adds the named model to the scene's model and selects it. False for an unknown name or
// when the host cannot make its records.
bool AddSampleModel(KvScene* scene, const std::string& name);

} // namespace tiller::tools

#endif
