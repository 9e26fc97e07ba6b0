#include "IndexKey.h"

#include <algorithm>
#include <cstring>

#include "DbfFile.h"
#include "EngineError.h"

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

std::string CheckKeyOrder(const DbfFile& file, const Expression& e, const std::vector<uint32_t>& order) {
    const uint32_t count = file.RecordCount();
    if (order.size() != count)
        return "it orders " + std::to_string(order.size()) + " records, the table has " + std::to_string(count) + ".";
    std::vector<uint8_t> seen(count, 0);
    std::string previous, key;
    // The records come in key order, scattered over the file: the bytes of
    // their key fields are asked for a few records ahead.
    const RecordLayout& layout = file.Layout();
    const std::vector<size_t> lines = KeyFieldLines(e, layout);
    constexpr size_t kAhead = 24;
    for (size_t i = 0; i < order.size(); ++i) {
        const uint32_t r = order[i];
        if (i + kAhead < order.size() && order[i + kAhead] < count) {
            const char* ahead = file.Record(order[i + kAhead]);
            for (size_t at : lines) __builtin_prefetch(ahead + at);
        }
        if (r >= count || seen[r]) return "record " + std::to_string(r + 1) + " is listed twice or does not exist.";
        seen[r] = 1;
        KeyOf(e, RecordView(file.Record(r), file.Layout()), key);
        if (i > 0) {
            const int c = CompareKeys(previous, key);
            if (c > 0 || (c == 0 && order[i - 1] > r))
                return "record " + std::to_string(r + 1) + " is out of order (after record " +
                       std::to_string(order[i - 1] + 1) + ").";
        }
        previous.swap(key);
    }
    return {};
}

}  // namespace store
