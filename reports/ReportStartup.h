#pragma once
// What the report subsystem does at program start: make sure the report
// definition file exists (writing the default reports, repairing a damaged
// file, converting the older file) and read the regional number settings
// the reports use.

namespace reports {

// Shows what was repaired or failed; the program starts in every case.
void EnsureReportDefinitionFile();
void ReadRegionalSettings();

}  // namespace reports
