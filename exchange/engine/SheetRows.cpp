#include "SheetRows.h"

#include "Workbook.h"

namespace exchange {

namespace {

// A CSV file's records as rows of text cells, numbered as they come.
class CsvRows : public SheetRows {
public:
    bool Open(const SheetSource& source, std::string* error) { return m_reader.Open(source.path, source.dialect, error); }

    Status Next(std::vector<SheetCell>& cells) override {
        switch (m_reader.Next(m_values)) {
        case CsvReader::Status::EndOfFile: return Status::End;
        case CsvReader::Status::Failed: return Status::Failed;
        case CsvReader::Status::Record: break;
        }
        ++m_row;
        cells.resize(m_values.size());
        for (size_t i = 0; i < m_values.size(); ++i) {
            cells[i].text.swap(m_values[i]);  // the strings' buffers go round, never reallocated
            cells[i].kind = CellKind::Text;
            cells[i].number = 0;
        }
        return Status::Row;
    }
    uint64_t RowNumber() const override { return m_row; }
    const std::string& Error() const override { return m_reader.Error(); }
    uint64_t Done() const override { return m_reader.BytesRead(); }
    uint64_t Total() const override { return m_reader.Size(); }

private:
    CsvReader m_reader;
    std::vector<std::string> m_values;
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
