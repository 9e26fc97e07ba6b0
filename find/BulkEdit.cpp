#include "BulkEdit.h"

#include <algorithm>
#include <cstring>

#include "ChangeLog.h"
#include "Table.h"

namespace find {

namespace {

void Order(std::vector<uint32_t>& recnos) {
    std::sort(recnos.begin(), recnos.end());
    recnos.erase(std::unique(recnos.begin(), recnos.end()), recnos.end());
}

// The live records among recnos and their present bytes.
std::vector<char> LiveBytes(const store::Table& table, std::vector<uint32_t>& recnos) {
    const size_t length = size_t(table.Layout().RecordLength());
    std::vector<uint32_t> live;
    std::vector<char> bytes;
    live.reserve(recnos.size());
    bytes.reserve(recnos.size() * length);
    for (uint32_t r : recnos) {
        if (r >= table.PhysicalCount()) continue;
        const char* rec = table.ViewOf(r).Data();
        if (rec[0] != ' ') continue;
        live.push_back(r);
        bytes.insert(bytes.end(), rec, rec + length);
    }
    recnos = std::move(live);
    return bytes;
}

}  // namespace

size_t SetFields(store::Table& table, std::vector<uint32_t> recnos, const std::vector<FieldValue>& values) {
    Order(recnos);
    const std::vector<char> before = LiveBytes(table, recnos);
    std::vector<char> after = before;
    const size_t length = size_t(table.Layout().RecordLength());
    if (recnos.empty()) return 0;
    // The first record takes the values (or refuses one); the others get
    // the same bytes of those fields.
    for (const FieldValue& v : values) table.FormatField(v.field, v.text, after.data());
    for (const FieldValue& v : values) {
        const size_t at = size_t(table.Layout().Offset(v.field));
        const size_t width = size_t(table.Layout().Field(v.field).length);
        for (size_t i = 1; i < recnos.size(); ++i) std::memcpy(after.data() + i * length + at, after.data() + at, width);
    }
    // Records that already hold the values stay as they are.
    std::vector<uint32_t> changed;
    std::vector<char> expected, bytes;
    for (size_t i = 0; i < recnos.size(); ++i) {
        if (std::memcmp(before.data() + i * length, after.data() + i * length, length) == 0) continue;
        changed.push_back(recnos[i]);
        expected.insert(expected.end(), before.data() + i * length, before.data() + (i + 1) * length);
        bytes.insert(bytes.end(), after.data() + i * length, after.data() + (i + 1) * length);
    }
    table.Rewrite(changed, expected.data(), bytes.data());
    return changed.size();
}

size_t DeleteRecords(store::Table& table, std::vector<uint32_t> recnos) {
    Order(recnos);
    const std::vector<char> before = LiveBytes(table, recnos);
    std::vector<char> after = before;
    const size_t length = size_t(table.Layout().RecordLength());
    for (size_t i = 0; i < recnos.size(); ++i) after[i * length] = '*';
    table.Rewrite(recnos, before.data(), after.data());
    return recnos.size();
}

void Undo(store::Table& table, const store::ChangeLog& log) {
    table.Rewrite(log.Records(), log.Expected().data(), log.Restore().data());
}

}  // namespace find
