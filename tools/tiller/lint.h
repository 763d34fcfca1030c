// `tiller lint`: explains every group and part of a profile drawing as the library loads it —
// the handle each group became or why it was dropped — and the authoring mistakes that load
// silently: misspelt keys, words outside a vocabulary, numbers read in part, and handles that
// load but pick, place or size badly.
#ifndef TILLER_TOOLS_LINT_H
#define TILLER_TOOLS_LINT_H

#include "tiller/profile/diagnostics.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <vector>

namespace tiller::tools {

struct LintMessage {
    int line = 0;         // of the graphic in the file; 0 when the file could not be read
    std::string subject;  // `group "AxisX", part 3 (coordsystem)`; empty for the whole file
    bool error = false;   // otherwise a warning
    std::string code;     // a stable short name, e.g. "value-refused"
    std::string sentence; // what is wrong and what it does to the handle
};

struct LintedGroup {
    int line = 0;
    std::string subject; // `group 1 "AxisX"`
    bool loaded = false;
    nlohmann::ordered_json handle; // what the handle became, when loaded
    std::vector<LintMessage> messages;
};

struct LintReport {
    std::string file;
    std::vector<LintedGroup> groups;   // in the order of the file
    std::vector<LintMessage> messages; // about the whole file
    // 0 clean, 1 warnings only, 2 errors.
    int Status() const;
    std::vector<const LintMessage*> AllMessages() const;
};

LintReport LintProfile(const std::string& path);
// The short name a load-step finding is reported under.
const char* LintCodeName(DiagnosticCode code);

// `FILE:LINE: SUBJECT: SEVERITY: SENTENCE`, the form editors and compilers use.
std::string FormatLintMessage(const std::string& file, const LintMessage& message);
void PrintLintText(const LintReport& report, std::ostream& out);
nlohmann::ordered_json LintJson(const LintReport& report);

} // namespace tiller::tools

#endif
