#include "BulkEdit.h"

#include <algorithm>
#include <cstring>

#include "ChangeLog.h"
#include "EngineError.h"
#include "Table.h"

namespace find {

Selection Select(const store::Table& table, std::vector<uint32_t> recnos) {
    std::sort(recnos.begin(), recnos.end());
    recnos.erase(std::unique(recnos.begin(), recnos.end()), recnos.end());
    const size_t length = size_t(table.Layout().RecordLength());
    Selection s;
    s.recnos.reserve(recnos.size());
    s.bytes.reserve(recnos.size() * length);
    for (uint32_t r : recnos) {
        if (r >= table.PhysicalCount()) continue;
        const char* rec = table.ViewOf(r).Data();
        if (rec[0] != ' ') continue;
        s.recnos.push_back(r);
        s.bytes.insert(s.bytes.end(), rec, rec + length);
    }
    return s;
}

size_t SetFields(store::Table& table, const Selection& selection, const std::vector<FieldValue>& values) {
    const size_t length = size_t(table.Layout().RecordLength());
    const size_t n = selection.Size();
    if (n == 0) return 0;
    // The first record takes the values (or refuses one); the others get
    // the same bytes of those fields.
    std::vector<char> first(selection.bytes.begin(), selection.bytes.begin() + long(length));
    for (const FieldValue& v : values) table.FormatField(v.field, v.text, first.data());
    // Records that already hold the values stay as they are.
    std::vector<uint32_t> changed;
    std::vector<size_t> changedAt;  // their places in the selection
    std::vector<char> after;
    changed.reserve(n);
    after.reserve(n * length);
    for (size_t i = 0; i < n; ++i) {
        const char* before = selection.bytes.data() + i * length;
        const size_t at = after.size();
        after.insert(after.end(), before, before + length);
        for (const FieldValue& v : values) {
            const size_t offset = size_t(table.Layout().Offset(v.field));
            std::memcpy(after.data() + at + offset, first.data() + offset, size_t(table.Layout().Field(v.field).length));
        }
        if (std::memcmp(before, after.data() + at, length) == 0) {
            after.resize(at);
            continue;
        }
        changed.push_back(selection.recnos[i]);
        changedAt.push_back(i);
    }
    // What the changed records must hold: the selection's bytes as they
    // are when every record changes.
    std::vector<char> expected;
    if (changed.size() < n)
        for (size_t i : changedAt)
            expected.insert(expected.end(), selection.bytes.data() + i * length, selection.bytes.data() + (i + 1) * length);
    table.Rewrite(changed, changed.size() == n ? selection.bytes.data() : expected.data(), after.data());
    return changed.size();
}

void DeleteRecords(store::Table& table, const Selection& selection) {
    const size_t length = size_t(table.Layout().RecordLength());
    std::vector<char> after = selection.bytes;
    for (size_t i = 0; i < selection.Size(); ++i) after[i * length] = '*';
    table.Rewrite(selection.recnos, selection.bytes.data(), after.data());
}

const char* const kChangedSinceMessage = "Another program has changed the table since; nothing was undone.";

void Undo(store::Table& table, const store::ChangeLog& log) {
    table.Refresh();
    if (table.ForeignChanges() != log.ForeignMark()) throw store::EngineError(kChangedSinceMessage);
    const size_t length = size_t(table.Layout().RecordLength());
    // The added records go back to deleted, a slice at a time so that an
    // import of a million does not hold them all twice; a slice that fails
    // puts back the slices before it and the edited records.
    constexpr uint32_t kSlice = 65536;
    auto slice = [&](uint32_t from, uint32_t to, bool undo) {
        std::vector<uint32_t> recnos;
        std::vector<char> now, marked;
        for (uint32_t r = from; r < to; ++r) {
            const char* rec = table.ViewOf(r).Data();
            recnos.push_back(r);
            now.insert(now.end(), rec, rec + length);
            marked.insert(marked.end(), rec, rec + length);
            marked[marked.size() - length] = undo ? '*' : ' ';
        }
        table.Rewrite(recnos, now.data(), marked.data());
    };
    // The edited records as they are now, which the write finds unchanged
    // (another program's change in the meantime stops it).
    std::vector<char> now;
    now.reserve(log.Records().size() * length);
    for (uint32_t r : log.Records()) {
        if (r >= table.PhysicalCount()) throw store::EngineError("Record " + std::to_string(r + 1) + " does not exist.");
        const char* rec = table.ViewOf(r).Data();
        now.insert(now.end(), rec, rec + length);
    }
    table.Rewrite(log.Records(), now.data(), log.Restore().data());
    const uint32_t first = log.AppendedFirst(), end = first + log.AppendedCount();
    uint32_t done = first;
    try {
        for (; done < end; done = std::min(end, done + kSlice)) slice(done, std::min(end, done + kSlice), true);
    } catch (...) {
        try {
            for (uint32_t r = first; r < done; r = std::min(done, r + kSlice)) slice(r, std::min(done, r + kSlice), false);
            table.Rewrite(log.Records(), log.Restore().data(), now.data());
        } catch (...) {
            // The first failure is the one to tell.
        }
        throw;
    }
}

}  // namespace find
