// Any bytes as the index file beside a fixed item table. Opening the table
// for writing either fails with an engine error or gives tags that order
// exactly the live records by their keys (an index that does not fit is
// rebuilt, another program's is left alone), and the table opens again
// afterwards with the same records.

#include "FuzzSupport.h"
#include "IndexHarnessTable.h"
#include "TableInvariants.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::Clear();
    fuzzsupport::WriteIndexHarnessTable();
    const std::string index = fuzzsupport::ScratchPath("I.MDX");
    fuzzsupport::WriteFile(index, data, size);
    (void)store::ProbeIndexFile(index);
    (void)store::ReadIndexFile(index);

    store::Table t;
    t.SetDirectory(fuzzsupport::Scratch());
    t.SetTableName("I.DBF");
    try {
        t.Open();
    } catch (const store::EngineError&) {
        return 0;
    }
    try {
        const uint32_t live = t.RecordCount();
        fuzzsupport::Require(live == 37, "the index changed which records are live");
        fuzzsupport::RequireNone(testsupport::TagOrderProblem(t));
        t.Close();
        t.Open();
        fuzzsupport::Require(t.RecordCount() == live, "records went astray across reopening");
        fuzzsupport::RequireNone(testsupport::TagOrderProblem(t));
    } catch (const store::EngineError& e) {
        std::fprintf(stderr, "a table that opened failed later: %s\n", e.what());
        std::abort();
    }
    return 0;
}
