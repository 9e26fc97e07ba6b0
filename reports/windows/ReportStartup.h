#pragma once
// What the report subsystem does at program start: make sure the report
// definition file exists (writing the default reports, repairing a damaged
// file, converting the older file), read the regional number settings the
// reports use, and have the page engine's messages shown in message boxes.

namespace reports {

// Shows what was repaired or failed; the program starts in every case.
void EnsureReportDefinitionFile();
// The system locale's decimal point, group separator and currency decimals.
void ReadRegionalSettings();
// The page engine's refusals and failures ("No printers are defined,
// aborting print job.") are shown with a beep in an error box.
void InstallEngineMessages();

}  // namespace reports
