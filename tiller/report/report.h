// The text report of a control, with the built-in reference of the profile format.
#ifndef TILLER_REPORT_REPORT_H
#define TILLER_REPORT_REPORT_H

#include "tiller/tiller.h"

#include <string>

namespace tiller {

void GControlReport(const GControl* control, std::string& out, const std::string& indent);
void HandleReportText(const GHandle* handle, std::string& out, const std::string& indent);
std::string FormatReportNumber(double value, bool padded);

} // namespace tiller

#endif
