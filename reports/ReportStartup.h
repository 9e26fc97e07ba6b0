#pragma once
// What the report subsystem does at program start: make sure the report
// definition file exists (writing the default reports, converting the older
// file) and read the regional number settings the reports use.

namespace reports {

void EnsureReportDefinitionFile();
void ReadRegionalSettings();

}  // namespace reports
