#pragma once
// What start-up does to the report files before the first report is used:
// write the default reports when KELDOR.URP does not exist, set a damaged
// file aside and keep what can be kept of it, and convert the older report
// file HOME.URP into KELDOR.URP. Nothing here shows a window; the caller
// shows the messages.

#include <span>
#include <string>
#include <vector>

#include "ReportDefinition.h"

namespace reports {

inline constexpr int kOldRecordSize = 20365;

struct SetupResult {
    std::vector<std::string> notices;  // what was repaired, for the user
    std::vector<std::string> errors;   // what failed
    int converted = 0;                 // definitions taken over from HOME.URP
    int skipped = 0;                   // HOME.URP definitions the defaults replace
};

// Runs every step in the folder that holds the report files.
SetupResult PrepareReportFiles(const std::string& dir);

// One record of HOME.URP (kOldRecordSize bytes) as a current definition:
// field items take their field number from their field name, an item whose
// name is no field becomes a filler.
ReportDefinition ConvertOldRecord(std::span<const uint8_t> bytes);
// Whether an older definition of this name is left out, because a default
// report takes its place.
bool ReplacedByDefault(const std::string& oldName);

}  // namespace reports
