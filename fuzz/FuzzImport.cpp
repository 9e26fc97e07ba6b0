// Any bytes as an import source, delimited text or a dBASE table. The
// source is examined as the import dialog does; when it is accepted, it is
// imported into an item table. The run completes or stops with a message;
// either way the records it says it imported are in the table, and the
// table opens again with the same records.

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzSupport.h"
#include "ImportEngine.h"
#include "ItemSchema.h"
#include "Table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::Clear();
    if (size == 0) return 0;
    const bool dbf = data[0] & 1;
    const bool byName = data[0] & 2;
    const bool skipFirst = data[0] & 4;
    const std::string source = fuzzsupport::ScratchPath(dbf ? "SOURCE.DBF" : "source.txt");
    fuzzsupport::WriteFile(source, data + 1, size - 1);

    const exchange::Examination exam = dbf ? exchange::ExamineDbfSource(source) : exchange::ExamineTextSource(source);
    fuzzsupport::Require(exam.accepted || !exam.message.empty(), "a source was refused without a reason");
    if (!exam.accepted) return 0;

    store::Table items;
    items.SetDirectory(fuzzsupport::Scratch());
    items.SetTableName("MASTER");
    items.Create(store::ItemTableFieldDefs());
    items.Open();
    items.AddIndex("CATEGORY", "UPPER(CATEGORY)+UPPER(ITEM)");

    exchange::ImportRequest request;
    request.path = source;
    request.skipFirst = skipFirst;
    if (byName) {
        request.map = exchange::MapByName(exam.names);
    } else {
        for (size_t i = 0; i < exam.names.size(); ++i) request.map.push_back(int(i % (store::kItemFieldCount + 1)));
    }
    const exchange::RunResult result = dbf ? exchange::ImportDbf(items, request, {}) : exchange::ImportText(items, request, {});
    fuzzsupport::Require(result.outcome != exchange::Outcome::Cancelled, "an import nobody cancelled was cancelled");
    fuzzsupport::Require(result.outcome == exchange::Outcome::Completed || !result.message.empty(),
                         "an import failed without a message");
    items.SetActiveIndex("");
    fuzzsupport::Require(items.RecordCount() == result.records, "the table does not hold what the import counted");
    items.Close();
    items.SetActiveIndex("CATEGORY");
    items.Open();
    fuzzsupport::Require(items.RecordCount() == result.records, "imported records went astray across reopening");
    return 0;
}
