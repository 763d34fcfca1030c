// The built-in reference of the profile format, written at the end of every control report.
#ifndef TILLER_REPORT_REFERENCE_H
#define TILLER_REPORT_REFERENCE_H

#include "tiller/report/report_text.h"

#include <string>

namespace tiller {

// Appendices A (control), B (handle) and C (part), at levels built from `indent`.
void WriteReferenceAppendices(ReportText& out, const std::string& indent);

} // namespace tiller

#endif
