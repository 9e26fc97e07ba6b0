#pragma once
// The eight report definitions written when the report definition file does
// not exist yet, in the order the report list shows them.

#include <vector>

#include "ReportDefinition.h"

namespace reports {

std::vector<ReportDefinition> DefaultReportDefinitions();

}  // namespace reports
