#pragma once
// Export: writes the records the item table delivers (in its current order,
// through its record filter as it stands) to a new delimited text file or a
// new dBASE table, with the chosen fields in the chosen order. The file is
// written under a temporary name and takes the chosen name only when it is
// complete; a run that fails or is cancelled leaves no file behind.
//
// Values are the fields' text as the engine gives it for editing: numbers
// with "." as decimal point whatever the system's conventions, dates in the
// current date format's order and separator but always with a four-digit
// year, so that a file imported again gives back the same values.

#include <string>
#include <vector>

#include "ExchangeRun.h"
#include "FieldDef.h"
#include "Table.h"

namespace exchange {

struct ExportRequest {
    std::string path;             // the file to create (replaced when it exists)
    std::vector<int> positions;   // item fields (schema positions 1 to 22) in the order written
    // Text only: when given, a first line holding these values, one per position.
    std::vector<std::string> titles;
};

// Preconditions for both: the item table is open; each position appears
// once. Refusals (a field the table lacks, a target that is the item table
// itself or that another program holds) come back as Failed.
RunResult ExportText(store::Table& items, const ExportRequest& request, const ProgressFn& progress);
RunResult ExportDbf(store::Table& items, const ExportRequest& request, const ProgressFn& progress);
// A workbook (.xlsx) of one sheet: a bold, frozen first row of titles (the
// request's, else the fields' own), amounts as numbers with two decimals,
// Quantity as whole numbers, dates as dates, texts with their line breaks.
RunResult ExportXlsx(store::Table& items, const ExportRequest& request, const ProgressFn& progress);
// Delimited text written as it goes to a descriptor the caller owns (a
// pipe, standard output) instead of a file: request.path is not used, and
// what was written before a failure or a cancel stays written.
RunResult ExportTextTo(int fd, store::Table& items, const ExportRequest& request, const ProgressFn& progress);

// The fields of an exported table: schema names, text fields with their
// schema width, integer, float and date fields of their kinds.
std::vector<store::FieldDef> ExportFieldDefs(const std::vector<int>& positions);

// The current date format with a four-digit year.
store::DateFormat ExportDateFormat();

}  // namespace exchange
