#pragma once
// The rows of a spreadsheet, whatever file holds them: a CSV file's values
// are all text; a workbook's cells also hold numbers, dates and truth values
// as such, so that an amount or a date need not be read back from text.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "StandardCsv.h"

namespace exchange {

enum class CellKind { Text, Number, Date, Boolean };

struct SheetCell {
    // Text: the value. Number: the shortest decimal text of number ("12.5").
    // Date: "yyyy-mm-dd". Boolean: "TRUE" or "FALSE".
    std::string text;
    double number = 0;  // Number and Date (the day number as stored)
    CellKind kind = CellKind::Text;
};

// A cell as a row holds it while the next is read: its text where the
// source keeps it.
struct CellView {
    std::string_view text;
    double number = 0;
    CellKind kind = CellKind::Text;
    CellView() = default;
    CellView(const SheetCell& cell) : text(cell.text), number(cell.number), kind(cell.kind) {}
    CellView(std::string_view t) : text(t) {}
};

enum class SheetFormat { Csv, Xlsx };

struct SheetSource {
    std::string path;
    SheetFormat format = SheetFormat::Csv;
    CsvDialect dialect;  // CSV
    std::string sheet;   // workbook: the sheet by name; empty for the first
};

class SheetRows {
public:
    enum class Status { Row, End, Failed };
    virtual ~SheetRows() = default;
    // The next row's cells, from the first column on (missing cells
    // empty). Failed: the source cannot be read on; Error() says why.
    virtual Status Next(std::vector<SheetCell>& cells) = 0;
    // The same cells, valid until the next call: a source that holds its
    // rows' text already hands it out without a copy.
    virtual Status NextInPlace(std::vector<CellView>& cells);
    // The row Next() delivered last, as the source numbers it (from 1).
    virtual uint64_t RowNumber() const = 0;
    virtual const std::string& Error() const = 0;
    // Progress through the source, in bytes.
    virtual uint64_t Done() const = 0;
    virtual uint64_t Total() const = 0;

private:
    std::vector<SheetCell> m_cells;  // the row NextInPlace hands out
};

// Empty, with *error set, when the source cannot be opened.
std::unique_ptr<SheetRows> OpenSheetRows(const SheetSource& source, std::string* error);

}  // namespace exchange
