#include "ReportStartup.h"

namespace reports {

// The report definition file and its default reports arrive with the report
// subsystem; until then start-up has nothing to prepare.
void EnsureReportDefinitionFile() {}

void ReadRegionalSettings() {}

}  // namespace reports
