// The write path on a table the fuzzer chooses: a fresh item table or any
// bytes taken as a .DBF file, then a sequence of appends, edits, deletes,
// bulk appends, index tags, packs, reindexes and reopenings. Whatever the
// sequence, refusals are engine errors, the live records survive closing
// and reopening, every tag orders exactly the live records by its key, and
// a table this program wrote keeps its end mark after its last record.

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzSupport.h"
#include "ItemSchema.h"
#include "TableInvariants.h"

namespace {

using fuzzsupport::Require;

std::string FieldValue(FuzzedDataProvider& in, const store::FieldDef& f) {
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0: return in.ConsumeRandomLengthString(f.length + 2);
    case 1: return std::to_string(in.ConsumeIntegral<int32_t>());
    case 2: return std::to_string(in.ConsumeFloatingPoint<double>());
    case 3: {
        const int m = in.ConsumeIntegralInRange<int>(0, 13), d = in.ConsumeIntegralInRange<int>(0, 32);
        const int y = in.ConsumeIntegralInRange<int>(0, 10000);
        return std::to_string(m) + "/" + std::to_string(d) + "/" + std::to_string(y);
    }
    case 4: return "";
    default: return std::string(size_t(f.length), 'x');
    }
}

// A key expression over the table's fields, most of them well formed.
std::string Expression(FuzzedDataProvider& in, store::Table& t) {
    const int fields = t.FieldCount();
    const std::string a = t.Field(in.ConsumeIntegralInRange<int>(0, fields - 1)).name;
    const std::string b = t.Field(in.ConsumeIntegralInRange<int>(0, fields - 1)).name;
    switch (in.ConsumeIntegralInRange<int>(0, 8)) {
    case 0: return a;
    case 1: return "UPPER(" + a + ")";
    case 2: return a + "+" + b;
    case 3: return "DTOS(" + a + ")";
    case 4: return "STR(" + a + "," + std::to_string(in.ConsumeIntegralInRange<int>(-2, 30)) + ",2)";
    case 5: return "LEFT(" + a + "," + std::to_string(in.ConsumeIntegralInRange<int>(-2, 300)) + ")+" + b;
    case 6: return "UPPER(" + a + ")+DTOS(" + b + ")";
    case 7: return "TRIM(" + a + ")+STR(" + b + ")";
    default: return in.ConsumeRandomLengthString(80);
    }
}

void SetFields(FuzzedDataProvider& in, store::Table& t) {
    const int n = in.ConsumeIntegralInRange<int>(0, 4);
    for (int i = 0; i < n; ++i) {
        const int f = in.ConsumeIntegralInRange<int>(0, t.FieldCount() - 1);
        try {
            t.SetText(f, FieldValue(in, t.Field(f)));
        } catch (const store::EngineError&) {
        }
    }
}

void Reopen(store::Table& t, bool exclusive) {
    t.Close();
    t.SetExclusive(exclusive);
    t.Open();
}

// One operation; the live record count is kept up to date in *live.
void Step(FuzzedDataProvider& in, store::Table& t, uint32_t* live) {
    const uint32_t physical = t.PhysicalCount();
    auto someRecord = [&] { return physical == 0 ? 0u : in.ConsumeIntegralInRange<uint32_t>(0, physical - 1); };
    switch (in.ConsumeIntegralInRange<int>(0, 11)) {
    case 0:
        t.Append();
        SetFields(in, t);
        t.Post();
        ++*live;
        break;
    case 1:
        t.GoTo(someRecord());
        t.Edit();
        SetFields(in, t);
        if (in.ConsumeBool()) t.Post();
        else t.Cancel();
        break;
    case 2:
        t.GoTo(someRecord());
        t.Delete();
        --*live;
        break;
    case 3: {
        const int n = in.ConsumeIntegralInRange<int>(1, 300);
        t.BeginBulkAppend();
        for (int i = 0; i < n; ++i) {
            t.Append();
            SetFields(in, t);
            t.Post();
        }
        *live += t.EndBulkAppend();
        break;
    }
    case 4: t.AddIndex(in.ConsumeRandomLengthString(12), Expression(in, t)); break;
    case 5: {
        const auto names = t.IndexNames();
        if (!names.empty()) t.DeleteIndex(names[in.ConsumeIntegralInRange<size_t>(0, names.size() - 1)]);
        break;
    }
    case 6: {
        const auto names = t.IndexNames();
        t.SetActiveIndex(names.empty() || in.ConsumeBool() ? std::string()
                                                           : names[in.ConsumeIntegralInRange<size_t>(0, names.size() - 1)]);
        break;
    }
    case 7:
        Reopen(t, true);
        t.Pack();
        Reopen(t, false);
        break;
    case 8: t.RegenerateIndexes(); break;
    case 9: Reopen(t, false); break;
    case 10: {
        const int f = in.ConsumeIntegralInRange<int>(0, t.FieldCount() - 1);
        const std::string wanted = in.ConsumeRandomLengthString(4);
        t.SetFilter([f, wanted](const store::RecordView& v) { return v.DisplayText(f).find(wanted) != std::string::npos; });
        t.SetFiltered(in.ConsumeBool());
        for (t.First(); !t.Eof(); t.Next()) (void)t.RecNo();
        t.SetFiltered(false);
        break;
    }
    default:
        t.Append();
        SetFields(in, t);
        t.Cancel();
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::Clear();
    FuzzedDataProvider in(data, size);
    const bool ownTable = in.ConsumeBool();
    const std::string path = fuzzsupport::ScratchPath("T.DBF");
    store::Table t;
    t.SetDirectory(fuzzsupport::Scratch());
    t.SetTableName("T.DBF");
    uint32_t live = 0;
    try {
        if (ownTable) {
            t.Create(store::ItemTableFieldDefs());
        } else {
            const std::string table = in.ConsumeRandomLengthString(8192);
            fuzzsupport::WriteFile(path, table);
        }
        t.Open();
        live = t.RecordCount();
    } catch (const store::EngineError&) {
        return 0;
    }
    for (int steps = 0; in.remaining_bytes() > 0 && steps < 64; ++steps) {
        try {
            Step(in, t, &live);
        } catch (const store::EngineError&) {
            // Refused: the table stays as it was before the step.
            if (!t.IsOpen()) return 0;
            t.Cancel();
            live = t.RecordCount();
        }
    }
    try {
        t.SetFiltered(false);
        fuzzsupport::Require(t.RecordCount() == live, "the live record count went astray");
        fuzzsupport::RequireNone(testsupport::TagOrderProblem(t));
        t.Close();
        t.SetExclusive(false);
        t.SetActiveIndex("");
        t.Open();
    } catch (const store::EngineError& e) {
        // A table that opened and took changes opens again.
        std::fprintf(stderr, "reopening failed: %s\n", e.what());
        std::abort();
    }
    fuzzsupport::Require(t.RecordCount() == live, "records were lost or gained across closing and reopening");
    fuzzsupport::RequireNone(testsupport::TagOrderProblem(t));
    t.Close();
    if (ownTable) fuzzsupport::RequireNone(testsupport::FileShapeProblem(path, true));
    return 0;
}
