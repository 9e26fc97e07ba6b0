#pragma once
// Import from a spreadsheet: a workbook's sheet, or a CSV file as
// spreadsheets and other inventory programs write it. Unlike the quoted format's import, every row
// is read and converted before anything is written: dates in several forms,
// amounts with currency signs and either decimal mark, Yes/No words for the
// warranty. A value that does not convert is a problem listed with its row,
// column and reason, and its row is left out; the rows that convert go into
// the item table as one change, so that a failure, a full disk or a cancel
// leaves the table as it was.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ExchangeRun.h"
#include "ItemSchema.h"
#include "SheetRows.h"
#include "SheetValues.h"
#include "Table.h"

namespace exchange {

// The first rows of a source, for lining its columns up with the item
// fields before the import.
struct SheetSample {
    bool ok = false;
    std::string message;                        // why the source cannot be read
    std::vector<std::vector<SheetCell>> rows;  // the first rows, the header row among them
    std::vector<uint64_t> rowNumbers;            // each one's number in the source
    bool complete = false;                       // rows holds the whole source
};
SheetSample SampleSheet(const SheetSource& source, size_t rows);
// The texts of a sample's row (its headers, for the first).
std::vector<std::string> RowTexts(const SheetSample& sample, size_t row);

// The decimal mark the amounts of the mapped amount columns most likely use.
DecimalMark GuessSheetDecimalMark(const SheetSample& sample, const std::vector<int>& map, bool headerRow);

struct SheetProblem {
    uint64_t row = 0;   // of the source, from 1 (a header row is row 1)
    int column = 0;     // of the source, from 1
    int position = 0;   // the item field the column goes to
    std::string reason;
};

struct SheetImportRequest {
    SheetSource source;
    // One entry per source column: the item field (1 to 22) that receives
    // it, or 0. Columns past its end are not imported.
    std::vector<int> map;
    bool headerRow = true;  // the first row names the columns
    DecimalMark decimalMark = DecimalMark::Point;
    // Item field titles for messages (index = position - 1); an empty entry
    // names the field by its default title.
    std::array<std::string, store::kItemFieldCount> titles;
    bool checkOnly = false;  // read and convert every row, write nothing
    // Asked once every row is read and converted, before anything is
    // written, with the rows and problems found: false leaves the table as
    // it was. Without it the rows that convert go in.
    std::function<bool(const struct SheetImportResult&)> confirm;
};

inline constexpr size_t kListedSheetProblems = 1000;

struct SheetImportResult {
    // records: the rows written (none for a check).
    RunResult run;
    uint64_t rows = 0;           // data rows read
    uint64_t rowsLeftOut = 0;    // rows with at least one problem
    uint64_t problemCount = 0;
    std::vector<SheetProblem> problems;  // the first kListedSheetProblems
};

// A row of the sample as the import would store it: the text of each item
// field as the table shows it (index = position - 1), and its problems.
struct PreviewRow {
    uint64_t row = 0;  // of the source, from 1
    std::array<std::string, store::kItemFieldCount> texts;
    std::vector<SheetProblem> problems;
};
// The first rows of the sample (after a header row, blank rows passed
// over). Nothing is written. Precondition: the item table is open for
// writing.
std::vector<PreviewRow> PreviewSheet(store::Table& items, const SheetImportRequest& request, const SheetSample& sample,
                                     size_t rows);

// Precondition: the item table is open for writing.
SheetImportResult ImportSheet(store::Table& items, const SheetImportRequest& request, const ProgressFn& progress);

// "Row 5, column 3 (Cost): "abc" is not an amount."
std::string DescribeProblem(const SheetProblem& problem, const SheetImportRequest& request);

}  // namespace exchange
