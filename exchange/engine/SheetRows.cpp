#include "SheetRows.h"

#include "Workbook.h"

namespace exchange {

SheetRows::Status SheetRows::NextInPlace(std::vector<CellView>& cells) {
    const Status status = Next(m_cells);
    cells.assign(m_cells.begin(), m_cells.end());
    return status;
}

namespace {

// A CSV file's records as rows of text cells, numbered as they come.
class CsvRows : public SheetRows {
public:
    bool Open(const SheetSource& source, std::string* error) { return m_reader.Open(source.path, source.dialect, error); }

    Status Next(std::vector<SheetCell>& cells) override {
        const Status status = Read();
        cells.resize(m_values.size());
        for (size_t i = 0; i < m_values.size(); ++i) {
            cells[i].text.assign(m_values[i]);
            cells[i].number = 0;
            cells[i].kind = CellKind::Text;
        }
        return status;
    }
    Status NextInPlace(std::vector<CellView>& cells) override {
        const Status status = Read();
        cells.assign(m_values.begin(), m_values.end());
        return status;
    }
    uint64_t RowNumber() const override { return m_row; }
    const std::string& Error() const override { return m_reader.Error(); }
    uint64_t Done() const override { return m_reader.BytesRead(); }
    uint64_t Total() const override { return m_reader.Size(); }

private:
    Status Read() {
        switch (m_reader.Next(m_values)) {
        case CsvReader::Status::EndOfFile: return Status::End;
        case CsvReader::Status::Failed: return Status::Failed;
        case CsvReader::Status::Record: break;
        }
        ++m_row;
        return Status::Row;
    }

    CsvReader m_reader;
    std::vector<std::string_view> m_values;
    uint64_t m_row = 0;
};

}  // namespace

std::unique_ptr<SheetRows> OpenSheetRows(const SheetSource& source, std::string* error) {
    if (source.format == SheetFormat::Xlsx) {
        auto reader = std::make_unique<WorkbookReader>();
        if (!reader->Open(source.path, source.sheet, error)) return nullptr;
        return reader;
    }
    auto reader = std::make_unique<CsvRows>();
    if (!reader->Open(source, error)) return nullptr;
    return reader;
}

}  // namespace exchange
