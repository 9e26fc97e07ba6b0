// Any bytes as a .DBF file: opening it read-only either fails with an
// engine error or gives a table whose every record and field can be read
// in every form the program uses (text, display text, number, date) without
// reading outside the file. The checks that decide whether a file is an
// item table, or a data file of an earlier program generation, only read.

#include <cstring>

#include "FuzzSupport.h"
#include "ItemTable.h"
#include "LegacyConversion.h"
#include "Table.h"

namespace {

void ReadEveryField(store::Table& t) {
    const int fields = t.FieldCount();
    const uint32_t count = t.PhysicalCount();
    for (uint32_t r = 0; r < count && r < 4096; ++r) {
        const store::RecordView v = t.ViewOf(r);
        for (int f = 0; f < fields; ++f) {
            (void)v.Raw(f);
            (void)v.IsBlank(f);
            (void)v.DisplayText(f);
            try { (void)v.Text(f); } catch (const store::EngineError&) {}
            const store::FieldKind kind = t.Field(f).Kind();
            if (kind == store::FieldKind::Integer || kind == store::FieldKind::Float) {
                try { (void)v.Number(f); } catch (const store::EngineError&) {}
            }
            if (kind == store::FieldKind::Date) {
                try { (void)v.DateValue(f); } catch (const store::EngineError&) {}
            }
        }
    }
    // The delivered records, navigation and the current record's values.
    uint32_t delivered = t.RecordCount();
    fuzzsupport::Require(delivered <= count, "more records delivered than the file holds");
    uint32_t walked = 0;
    for (t.First(); !t.Eof() && walked < 4096; t.Next(), ++walked)
        for (int f = 0; f < fields; ++f) {
            try { (void)t.GetText(f); } catch (const store::EngineError&) {}
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::Clear();
    const std::string path = fuzzsupport::ScratchPath("T.DBF");
    fuzzsupport::WriteFile(path, data, size);
    {
        store::Table t;
        t.SetDirectory(fuzzsupport::Scratch());
        t.SetTableName("T.DBF");
        t.SetReadOnly(true);
        try {
            t.Open();
            ReadEveryField(t);
        } catch (const store::EngineError&) {
        }
    }
    store::Table check;
    std::string message;
    try { (void)store::CheckDBaseFormat(check, path, &message); } catch (const store::EngineError&) {}
    try { (void)store::CheckDBaseFormatV1(check, path); } catch (const store::EngineError&) {}
    try { (void)store::CheckDBaseFormatV2(check, path); } catch (const store::EngineError&) {}
    return 0;
}
