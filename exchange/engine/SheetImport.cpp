#include "SheetImport.h"

#include <cmath>
#include <optional>

#include "DateFormat.h"
#include "EngineError.h"
#include "ImportEngine.h"

namespace exchange {

namespace {

constexpr uint64_t kProgressRows = 2048;
constexpr uint64_t kProgressBytes = 1024 * 1024;
const char* const kAsBefore = "  The table is as it was before the import.";

bool Blank(std::string_view v) { return v.find_first_not_of(" \t") == std::string_view::npos; }

bool AllBlank(const std::vector<CellView>& cells) {
    for (const CellView& c : cells)
        if (!Blank(c.text)) return false;
    return true;
}

// A value as a problem names it: on one line, and no longer than a line.
std::string Quoted(std::string_view v) {
    constexpr size_t kShown = 60;
    std::string out = "\"";
    size_t chars = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(v[i]);
        if ((c & 0xC0) != 0x80 && ++chars > kShown) {
            out += "...";
            break;
        }
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else out += char(c);
    }
    return out + "\"";
}

std::string Title(const SheetImportRequest& request, int position) {
    const std::string& own = request.titles[size_t(position - 1)];
    return own.empty() ? std::string(store::SchemaAt(position).defaultTitle) : own;
}

// Converts one row's values into the new item record the table holds.
class RowConverter {
public:
    RowConverter(store::Table& items, const SheetImportRequest& request) : m_items(items), m_request(request) {
        m_warranty = store::SchemaPosition("Warranty");
        for (int p = 1; p <= store::kItemFieldCount; ++p) {
            m_fields[size_t(p - 1)] = items.FieldIndex(store::SchemaAt(p).name);
            m_kinds[size_t(p - 1)] = store::SchemaAt(p).typeCode;
        }
    }

    // Why the map cannot be used, or empty.
    std::string MapProblem() const {
        const auto& map = m_request.map;
        if (map.empty() || map.size() > kMaxCsvValues)
            return "An import needs 1 to " + std::to_string(kMaxCsvValues) + " source columns.";
        std::array<bool, store::kItemFieldCount + 1> taken{};
        bool any = false;
        for (int p : map) {
            if (p == 0) continue;
            if (p < 0 || p > store::kItemFieldCount) return "Field number " + std::to_string(p) + " is not an item field.";
            if (m_fields[size_t(p - 1)] < 0) return "The item table has no field " + std::string(store::SchemaAt(p).name) + ".";
            if (taken[size_t(p)]) return "Two columns go to the item field " + Title(m_request, p) + ".";
            taken[size_t(p)] = true;
            any = true;
        }
        if (!any) return "No column goes to an item field.";
        return {};
    }

    // Fills a new record; the problems found are added to out.
    void Convert(const std::vector<CellView>& values, uint64_t row, std::vector<SheetProblem>& out) {
        // A row shorter than the others holds empty values at its end.
        static const CellView kNone;
        for (size_t i = 0; i < m_request.map.size(); ++i) {
            const int position = m_request.map[i];
            if (position == 0) continue;
            try {
                if (Store(position, i < values.size() ? values[i] : kNone)) continue;
            } catch (const store::EngineError& e) {
                m_reason = e.what();
            }
            out.push_back({row, int(i) + 1, position, std::move(m_reason)});
        }
    }

private:
    // True when stored, else m_reason says why not. Empty dates and texts
    // stay blank.
    bool Store(int position, const CellView& cell) {
        const int field = m_fields[size_t(position - 1)];
        const std::string_view value = cell.text;
        if (position == m_warranty) {
            if (Blank(value)) return true;
            const auto yes = ReadYesNo(value);
            if (!yes) return Problem(Quoted(value) + " is not Yes or No.");
            m_items.SetText(field, *yes ? "Yes" : "No");
            return true;
        }
        const int kind = m_kinds[size_t(position - 1)];
        switch (kind) {
        case 2:
        case 3: {
            if (Blank(value)) {
                // A text file's empty value is 0, as the quoted import
                // stores it; a workbook's empty cell stays empty.
                if (m_request.source.format == SheetFormat::Csv) m_items.SetNumber(field, 0);
                return true;
            }
            // A workbook's number is one already; a text is read by the mark.
            const bool typed = cell.kind == CellKind::Number || cell.kind == CellKind::Date;
            const auto amount = typed ? std::optional<double>(cell.number) : ReadAmount(value, m_request.decimalMark);
            const bool whole = kind == 2;
            if (!amount) return Problem(Quoted(value) + (whole ? " is not a whole number." : " is not an amount."));
            if (whole && std::floor(*amount) != *amount) return Problem(Quoted(value) + " is not a whole number.");
            m_items.SetNumber(field, *amount);
            return true;
        }
        case 4: {
            if (Blank(value)) return true;
            const store::DateFormat& format = store::CurrentDateFormat();
            // A number in a date column is a spreadsheet's day number, its
            // time of day aside.
            const auto date = cell.kind == CellKind::Number && cell.number >= 1 && cell.number < 1e7
                                  ? ReadSheetDate(std::to_string(long(std::floor(cell.number))), format)
                                  : ReadSheetDate(value, format);
            if (!date)
                return Problem(Quoted(value) + " is not a date in the form " + DateFormatName(format) +
                               ", yyyy-mm-dd or dd.mm.yyyy, nor a spreadsheet's day number.");
            m_items.SetDate(field, date);
            return true;
        }
        default:
            // A date goes into text as the program shows dates.
            if (cell.kind == CellKind::Date) {
                if (const auto date = ReadSheetDate(value, store::CurrentDateFormat())) {
                    m_items.SetText(field, store::CurrentDateFormat().Format(*date));
                    return true;
                }
            }
            // A new record's text fields are blank already.
            if (!value.empty()) m_items.SetText(field, value);
            return true;
        }
    }

    bool Problem(std::string reason) {
        m_reason = std::move(reason);
        return false;
    }

    store::Table& m_items;
    const SheetImportRequest& m_request;
    std::string m_reason;  // why the last value was not stored
    std::array<int, store::kItemFieldCount> m_fields{};
    std::array<int, store::kItemFieldCount> m_kinds{};  // the schema's type code of each position
    int m_warranty = 0;
};

SheetImportResult Ended(SheetImportResult result, Outcome outcome, std::string message) {
    result.run = {outcome, 0, std::move(message)};
    return result;
}

}  // namespace

SheetSample SampleSheet(const SheetSource& source, size_t rows) {
    SheetSample sample;
    const std::unique_ptr<SheetRows> reader = OpenSheetRows(source, &sample.message);
    if (!reader) return sample;
    std::vector<SheetCell> cells;
    while (sample.rows.size() < rows) {
        const SheetRows::Status status = reader->Next(cells);
        if (status == SheetRows::Status::Failed) {
            sample.message = reader->Error();
            sample.rows.clear();
            sample.rowNumbers.clear();
            return sample;
        }
        if (status == SheetRows::Status::End) {
            sample.complete = true;
            break;
        }
        sample.rows.push_back(cells);
        sample.rowNumbers.push_back(reader->RowNumber());
    }
    sample.ok = true;
    return sample;
}

std::vector<std::string> RowTexts(const SheetSample& sample, size_t row) {
    std::vector<std::string> texts;
    if (row < sample.rows.size())
        for (const SheetCell& c : sample.rows[row]) texts.push_back(c.text);
    return texts;
}

DecimalMark GuessSheetDecimalMark(const SheetSample& sample, const std::vector<int>& map, bool headerRow) {
    std::vector<std::string> amounts;
    for (size_t r = headerRow ? 1 : 0; r < sample.rows.size(); ++r) {
        const auto& row = sample.rows[r];
        for (size_t c = 0; c < row.size() && c < map.size(); ++c) {
            const int p = map[c];
            if (p > 0 && p <= store::kItemFieldCount && store::SchemaAt(p).typeCode == 3 && row[c].kind == CellKind::Text)
                amounts.push_back(row[c].text);
        }
    }
    return GuessDecimalMark(amounts);
}

std::vector<PreviewRow> PreviewSheet(store::Table& items, const SheetImportRequest& request, const SheetSample& sample,
                                     size_t rows) {
    std::vector<PreviewRow> preview;
    RowConverter converter(items, request);
    if (!converter.MapProblem().empty()) return preview;
    std::vector<CellView> cells;
    for (size_t r = request.headerRow ? 1 : 0; r < sample.rows.size() && preview.size() < rows; ++r) {
        cells.assign(sample.rows[r].begin(), sample.rows[r].end());
        if (AllBlank(cells)) continue;
        PreviewRow row;
        row.row = sample.rowNumbers[r];
        try {
            items.Append();
            converter.Convert(cells, row.row, row.problems);
            for (int p : request.map)
                if (p > 0) row.texts[size_t(p - 1)] = items.GetText(items.FieldIndex(store::SchemaAt(p).name));
            items.Cancel();
        } catch (const store::EngineError& e) {
            if (items.CurrentState() == store::Table::State::Insert) items.Cancel();
            row.problems.push_back({row.row, 0, 0, e.what()});
        }
        preview.push_back(std::move(row));
    }
    return preview;
}

std::string DescribeProblem(const SheetProblem& problem, const SheetImportRequest& request) {
    std::string where = "Row " + std::to_string(problem.row);
    if (problem.column > 0) where += ", column " + std::to_string(problem.column);
    if (problem.position > 0) where += " (" + Title(request, problem.position) + ")";
    return where + ": " + problem.reason;
}

SheetImportResult ImportSheet(store::Table& items, const SheetImportRequest& request, const ProgressFn& progress) {
    SheetImportResult result;
    RowConverter converter(items, request);
    if (std::string why = converter.MapProblem(); !why.empty()) return Ended(result, Outcome::Failed, why);
    std::string error;
    const std::unique_ptr<SheetRows> reader = OpenSheetRows(request.source, &error);
    if (!reader) return Ended(result, Outcome::Failed, error);
    try {
        if (request.checkOnly) {
            if (items.CurrentState() != store::Table::State::Browse) items.Post();
        } else {
            items.BeginBulkAppend(true);
        }
    } catch (const store::EngineError& e) {
        return Ended(result, Outcome::Failed, e.what());
    }
    // Whatever ends the run early drops what it collected.
    auto abandon = [&](Outcome outcome, const std::string& message) {
        if (request.checkOnly) items.Cancel();
        else items.DiscardBulkAppend();
        return Ended(result, outcome, message + (request.checkOnly ? "" : kAsBefore));
    };
    std::vector<CellView> values;
    std::vector<SheetProblem> problems;
    uint64_t posted = 0, reportedRows = 0, reportedBytes = 0;
    bool first = true;
    for (;;) {
        const SheetRows::Status status = reader->NextInPlace(values);
        if (status == SheetRows::Status::End) break;
        if (status == SheetRows::Status::Failed)
            return abandon(Outcome::Failed, "The import stopped: " + reader->Error());
        const uint64_t row = reader->RowNumber();
        const bool header = first && request.headerRow;
        first = false;
        if (header || AllBlank(values)) continue;
        ++result.rows;
        problems.clear();
        try {
            items.Append();
            converter.Convert(values, row, problems);
            if (!problems.empty() || request.checkOnly) {
                items.Cancel();
            } else {
                items.Post();
                ++posted;
            }
        } catch (const store::EngineError& e) {
            return abandon(Outcome::Failed, "The import stopped at row " + std::to_string(row) + ": " + e.what());
        }
        if (!problems.empty()) {
            ++result.rowsLeftOut;
            result.problemCount += problems.size();
            for (SheetProblem& p : problems)
                if (result.problems.size() < kListedSheetProblems) result.problems.push_back(std::move(p));
        }
        if (result.rows - reportedRows >= kProgressRows || reader->Done() - reportedBytes >= kProgressBytes) {
            reportedRows = result.rows;
            reportedBytes = reader->Done();
            if (progress && !progress({posted, reader->Done(), reader->Total()}))
                return abandon(Outcome::Cancelled, request.checkOnly ? "The check was cancelled." : "The import was cancelled.");
        }
    }
    std::string notice;
    if (result.rowsLeftOut > 0)
        notice = std::to_string(result.rowsLeftOut) + " of " + std::to_string(result.rows) + " rows " +
                 (request.checkOnly ? "cannot be imported" : result.rowsLeftOut == 1 ? "was left out" : "were left out") +
                 " for the problems listed.";
    result.run = {Outcome::Completed, 0, {}, notice};
    if (!request.checkOnly && request.confirm && !request.confirm(result))
        return abandon(Outcome::Cancelled, "The import was cancelled.");
    if (!request.checkOnly) {
        try {
            items.EndBulkAppend();
        } catch (const store::EngineError& e) {
            items.DiscardBulkAppend();
            return Ended(result, Outcome::Failed, std::string("The import failed: ") + e.what() + kAsBefore);
        }
    }
    result.run.records = posted;
    return result;
}

}  // namespace exchange
