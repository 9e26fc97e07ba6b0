// Any bytes as a data file of an earlier generation of the program (first
// input byte chooses which). The silent check only reads; when it accepts
// the file, the conversion appends one item per old record and either
// converts every live record or stops at one with a message naming it,
// keeping exactly the records converted before it.

#include <string>

#include "FuzzSupport.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "LegacyConversion.h"
#include "Table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::Clear();
    if (size == 0) return 0;
    const bool first = data[0] & 1;
    const std::string path = fuzzsupport::ScratchPath(first ? store::kVersion1File : store::kVersion2File);
    fuzzsupport::WriteFile(path, data + 1, size - 1);

    store::Table check;
    if (!(first ? store::CheckDBaseFormatV1(check, path) : store::CheckDBaseFormatV2(check, path))) return 0;

    // The live records of the old file, in the order the conversion walks them.
    std::vector<uint32_t> live;
    {
        store::Table old;
        store::PointAt(old, path);
        old.SetReadOnly(true);
        try {
            old.Open();
            live = old.DeliveredRecords();
        } catch (const store::EngineError&) {
            return 0;
        }
    }
    store::Table items;
    items.SetDirectory(fuzzsupport::Scratch());
    items.SetTableName("MASTER");
    items.Create(store::ItemTableFieldDefs());
    items.Open();
    try {
        if (first) store::ConvertV1(check, items, path);
        else store::ConvertV2(check, items, path);
        fuzzsupport::Require(items.RecordCount() == live.size(), "a conversion that completed lost records");
    } catch (const store::EngineError& e) {
        const std::string message = e.what();
        const std::string prefix = "Record ";
        fuzzsupport::Require(message.rfind(prefix, 0) == 0, "a stopped conversion does not name its record");
        const uint32_t stoppedAt = uint32_t(std::stoul(message.substr(prefix.size()))) - 1;
        size_t before = 0;
        while (before < live.size() && live[before] < stoppedAt) ++before;
        fuzzsupport::Require(items.RecordCount() == before, "a stopped conversion did not keep exactly the records before it");
    }
    return 0;
}
