// Workbooks, two ways: any bytes as a whole .xlsx file (the zip library
// and the reader behind it), and, far more often, well-formed archives
// whose parts the fuzzer writes: the sheet, the shared texts, the styles
// and the workbook part, separated in the input by a line "--part--". Every
// sheet the workbook names is read to its end or to a message; rows come
// in rising order, no row is wider than its limit, every date is a day.

#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>
#include <zip.h>

#include "FuzzSupport.h"
#include "Workbook.h"

namespace {

const char* const kContentTypes =
    "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>";
const char* const kRootRels =
    "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
const char* const kWorkbookRels =
    "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" "
    "Target=\"worksheets/sheet1.xml\"/></Relationships>";
const char* const kWorkbook =
    "<?xml version=\"1.0\"?><workbook><sheets><sheet name=\"One\" r:id=\"rId1\"/></sheets></workbook>";

void Add(zipFile zip, const char* name, std::string_view bytes) {
    zip_fileinfo info{};
    if (zipOpenNewFileInZip(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 1) != ZIP_OK) return;
    zipWriteInFileInZip(zip, bytes.data(), unsigned(bytes.size()));
    zipCloseFileInZip(zip);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::Clear();
    const std::string path = fuzzsupport::ScratchPath("book.xlsx");
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input.substr(0, 2) == "PK") {
        fuzzsupport::WriteFile(path, data, size);
    } else {
        std::vector<std::string_view> parts;
        size_t from = 0;
        for (;;) {
            const size_t at = input.find("\n--part--\n", from);
            parts.push_back(input.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
            if (at == std::string_view::npos) break;
            from = at + 10;
        }
        parts.resize(4);
        zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
        fuzzsupport::Require(zip != nullptr, "the scratch workbook could not be made");
        Add(zip, "[Content_Types].xml", kContentTypes);
        Add(zip, "_rels/.rels", kRootRels);
        Add(zip, "xl/_rels/workbook.xml.rels", kWorkbookRels);
        Add(zip, "xl/workbook.xml", parts[3].empty() ? std::string_view(kWorkbook) : parts[3]);
        Add(zip, "xl/worksheets/sheet1.xml", parts[0]);
        if (!parts[1].empty()) Add(zip, "xl/sharedStrings.xml", parts[1]);
        if (!parts[2].empty()) Add(zip, "xl/styles.xml", parts[2]);
        zipClose(zip, nullptr);
    }
    std::string error;
    std::vector<std::string> sheets = exchange::WorkbookSheets(path, &error);
    fuzzsupport::Require(!sheets.empty() || !error.empty(), "no sheet and no reason");
    if (sheets.empty()) sheets.push_back({});
    if (sheets.size() > 3) sheets.resize(3);
    for (const std::string& sheet : sheets) {
        exchange::WorkbookReader reader;
        if (!reader.Open(path, sheet, &error)) {
            fuzzsupport::Require(!error.empty(), "a workbook refused without a reason");
            continue;
        }
        std::vector<exchange::SheetCell> cells;
        uint64_t last = 0;
        for (;;) {
            const exchange::SheetRows::Status status = reader.Next(cells);
            if (status == exchange::SheetRows::Status::End) break;
            if (status == exchange::SheetRows::Status::Failed) {
                fuzzsupport::Require(!reader.Error().empty(), "a read failed without a message");
                break;
            }
            fuzzsupport::Require(reader.RowNumber() > last, "rows out of order");
            last = reader.RowNumber();
            fuzzsupport::Require(cells.size() <= exchange::kMaxCsvValues, "a row past its columns");
            for (const exchange::SheetCell& c : cells) {
                fuzzsupport::Require(c.text.size() <= exchange::kMaxCsvValueBytes, "a cell past its limit");
                if (c.kind == exchange::CellKind::Number) fuzzsupport::Require(std::isfinite(c.number), "a number that is none");
            }
            fuzzsupport::Require(reader.Done() <= reader.Total() || reader.Total() == 0, "read past the part");
        }
    }
    return 0;
}
