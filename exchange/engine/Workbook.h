#pragma once
// Workbooks (.xlsx) as spreadsheet programs save them: a zip archive of XML
// parts. The reader takes one sheet's rows as the cells hold them: shared
// and inline texts, numbers, dates (numbers with a date style, or stored as
// dates), truth values and the texts of formulas' results.
//
// A workbook is read as it streams out of the archive: the shared texts are
// kept, the sheet is not. What a damaged or hostile file could cost is
// bounded: a part that says it inflates to more than kMaxWorkbookPartBytes
// (or more than kMaxInflation times its packed size, past the first
// megabytes; the zip library inflates no more than a part says), more
// shared texts than kMaxSharedTexts or than kMaxSharedTextBytes in all, a
// row past kMaxCsvValues columns and malformed XML are each refused with
// what was wrong and where.

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SheetRows.h"

namespace exchange {

inline constexpr uint64_t kMaxWorkbookPartBytes = uint64_t(1) << 30;
inline constexpr uint64_t kMaxInflation = 200;
inline constexpr size_t kMaxSharedTexts = size_t(1) << 24;
inline constexpr size_t kMaxSharedTextBytes = size_t(512) << 20;

// Whether a cell of number style id holds a date: one of the built-in date
// styles, or a format code of the file's own (code; empty for a built-in
// style) with letters of a date or time outside quotes and brackets.
bool IsDateStyle(int id, const QString& code);

// The names of a workbook's sheets in their order; empty, with *error set,
// when the file is no workbook this reader can read.
std::vector<std::string> WorkbookSheets(const std::string& path, std::string* error);

// The rows of a workbook's first sheet, counted as it streams out of the
// archive instead of read cell by cell; empty, with *error set, when the
// sheet does not end as a sheet ends (a workbook written short).
std::optional<uint64_t> CountSheetRows(const std::string& path, std::string* error);

class WorkbookReader : public SheetRows {
public:
    WorkbookReader();
    ~WorkbookReader() override;

    // sheet: by name (letter case ignored); empty for the first.
    bool Open(const std::string& path, const std::string& sheet, std::string* error);

    Status Next(std::vector<SheetCell>& cells) override;
    uint64_t RowNumber() const override;
    const std::string& Error() const override;
    uint64_t Done() const override;
    uint64_t Total() const override;

    struct State;

private:
    std::unique_ptr<State> m;
};

}  // namespace exchange
