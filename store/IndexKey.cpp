#include "IndexKey.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sys/mman.h>

#include "DbfFile.h"
#include "EngineError.h"
#include "InTwoHalves.h"

namespace store {

int CompareKeys(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    if (const int c = std::memcmp(a.data(), b.data(), n)) return c;
    const std::string_view rest = a.size() > n ? a.substr(n) : b.substr(n);
    const int sign = a.size() > n ? 1 : -1;
    for (char ch : rest) {
        const auto u = static_cast<unsigned char>(ch);
        if (u != ' ') return u > ' ' ? sign : -sign;
    }
    return 0;
}

void KeyOf(const Expression& e, const RecordView& v, std::string& out) {
    try {
        e.Key(v, out);
    } catch (const EngineError&) {
        out.clear();
    }
}

std::vector<size_t> KeyFieldLines(const Expression& e, const RecordLayout& layout) {
    std::vector<size_t> lines;
    for (int field : e.Fields()) {
        const size_t first = size_t(layout.Offset(field)), last = first + size_t(layout.Field(field).length) - 1;
        for (size_t at = first; at < last; at += 64) lines.push_back(at);
        lines.push_back(last);
    }
    return lines;
}

namespace {

// A block of many keys is read in an index's order, anywhere in it: on
// large pages most of those reads find their page without a walk through
// the page tables, and far fewer pages are faulted in as it is filled.
char* NewKeyBlock(size_t bytes) {
    char* const block = new char[std::max<size_t>(bytes, 1)];
    constexpr uintptr_t kPage = 4096;
    constexpr size_t kWorthIt = size_t(4) << 20;  // two large pages
    if (bytes >= kWorthIt) {
        const uintptr_t from = (uintptr_t(block) + kPage - 1) & ~(kPage - 1);
        const uintptr_t to = (uintptr_t(block) + bytes) & ~(kPage - 1);
        (void)::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);  // advice only
    }
    return block;
}

}  // namespace

KeyRun KeysInFileOrder(const Expression& e, const DbfFile& file, uint32_t from, uint32_t to, char* firstBytes) {
    const uint32_t count = to > from ? to - from : 0;
    const RecordLayout& layout = file.Layout();
    KeyRun run;
    if (e.CopiesKey()) {
        // Copied keys never fail: made in two halves at once, each into its
        // own part of one block.
        run.width = e.CopiedKeyLength();
        run.longest = count > 0 ? run.width : 0;
        run.block.reset(NewKeyBlock(size_t(count) * run.width));
        InTwoHalves(count, [&](uint32_t first, uint32_t last) {
            char* const out = run.block.get();
            file.ForEachRecord(from + first, from + last, [&](uint32_t r, const char* record) {
                e.CopyKey(record, out + size_t(r - from) * run.width);
                if (firstBytes) firstBytes[r - from] = record[0];
            });
        });
        return run;
    }
    run.offsets.assign(size_t(count) + 1, 0);
    std::string key;
    bool sameLength = true;
    file.ForEachRecord(from, to, [&](uint32_t r, const char* record) {
        const uint32_t i = r - from;
        if (firstBytes) firstBytes[i] = record[0];
        KeyOf(e, RecordView(record, layout), key);
        if (i == 0) run.text.reserve(key.size() * count);
        else if (key.size() != run.offsets[1]) sameLength = false;
        run.longest = std::max(run.longest, key.size());
        run.text += key;
        run.offsets[i + 1] = uint32_t(run.text.size());
    });
    if (sameLength) {
        run.width = run.longest;
        std::vector<uint32_t>().swap(run.offsets);
    }
    return run;
}

std::string CheckKeyOrder(const DbfFile& file, const Expression& e, const std::vector<uint32_t>& order,
                          std::vector<char>* firstBytes) {
    const uint32_t count = file.RecordCount();
    if (order.size() != count)
        return "it orders " + std::to_string(order.size()) + " records, the table has " + std::to_string(count) + ".";
    std::vector<uint8_t> seen(count, 0);
    for (uint32_t r : order) {
        if (r >= count || seen[r]) return "record " + std::to_string(r + 1) + " is listed twice or does not exist.";
        seen[r] = 1;
    }
    // The keys are made in file order, where the records lie one after the
    // other, and compared in the order's: a key is a few bytes of one
    // block, where a record would be three cache lines anywhere in the file.
    // Each half of the order finds its own first disagreement; the first
    // half's is the one reported.
    if (firstBytes) firstBytes->resize(count);
    const KeyRun keys = KeysInFileOrder(e, file, 0, count, firstBytes ? firstBytes->data() : nullptr);
    uint32_t wrong[2] = {count, count};
    InTwoHalves(count, [&](uint32_t first, uint32_t last) {
        constexpr uint32_t kAhead = 16;
        for (uint32_t i = std::max(first, 1u); i < last; ++i) {
            if (i + kAhead < last) __builtin_prefetch(keys.At(order[i + kAhead]).data());
            if (!keys.Before(order[i - 1], order[i])) {
                wrong[first == 0 ? 0 : 1] = i;
                return;
            }
        }
    });
    const uint32_t i = std::min(wrong[0], wrong[1]);
    if (i == count) return {};
    return "record " + std::to_string(order[i] + 1) + " is out of order (after record " + std::to_string(order[i - 1] + 1) +
           ").";
}

}  // namespace store
