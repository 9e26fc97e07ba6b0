// Any text as a key expression, compiled against a record layout with every
// field type the engine reads, then evaluated on fixed records and on one
// record of fuzzed bytes. A bad expression or a value it cannot take is an
// engine error; nothing else may happen, and a key once computed for a
// record is the same every time.

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "EngineError.h"
#include "Expression.h"
#include "FuzzSupport.h"
#include "ItemSchema.h"
#include "RecordLayout.h"

namespace {

const store::RecordLayout& EveryTypeLayout() {
    static const store::RecordLayout layout(
        {{"NAME", 'C', 12, 0}, {"COUNT", 'N', 6, 0}, {"PRICE", 'N', 10, 2}, {"RATE", 'F', 8, 3},
         {"BOUGHT", 'D', 8, 0}, {"OK", 'L', 1, 0}, {"NUM", 'I', 4, 0}, {"MONEY", 'Y', 8, 0},
         {"REAL", 'O', 8, 0}, {"STAMP", 'T', 8, 0}, {"NOTES", 'M', 10, 0}, {"ODD", 'X', 3, 0}},
        1252);
    return layout;
}

const store::RecordLayout& ItemLayout() {
    static const store::RecordLayout layout(store::ItemTableFieldDefs(), 1252);
    return layout;
}

std::vector<std::string> FixedRecords(const store::RecordLayout& layout) {
    const size_t len = size_t(layout.RecordLength());
    std::vector<std::string> out;
    out.emplace_back(len, ' ');                 // all blank
    out.emplace_back(len, '\0');                // all zero bytes
    out.emplace_back(len, '9');                 // all nines
    std::string mixed(len, ' ');
    for (size_t i = 0; i < len; ++i) mixed[i] = "20240229 -1.5e3Tx\xff"[i % 18];
    out.push_back(mixed);
    return out;
}

void Evaluate(const store::Expression& e, const store::RecordLayout& layout, const std::string& record) {
    const store::RecordView view(record.data(), layout);
    std::string key, again;
    try {
        (void)e.Evaluate(view);
        e.Key(view, key);
    } catch (const store::EngineError&) {
        return;
    }
    e.Key(view, again);
    fuzzsupport::Require(key == again, "the same record gave two different keys");
}

void Try(std::string_view source, const store::RecordLayout& layout, std::string_view recordBytes) {
    std::optional<store::Expression> e;
    try {
        e.emplace(source, layout);
    } catch (const store::EngineError&) {
        return;
    }
    for (const std::string& r : FixedRecords(layout)) Evaluate(*e, layout, r);
    std::string fuzzed(size_t(layout.RecordLength()), ' ');
    if (!recordBytes.empty()) std::memcpy(fuzzed.data(), recordBytes.data(), std::min(fuzzed.size(), recordBytes.size()));
    Evaluate(*e, layout, fuzzed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The expression up to the first line end, then a record's bytes.
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const size_t cut = all.find('\n');
    const std::string_view source = all.substr(0, cut);
    const std::string_view record = cut == std::string_view::npos ? std::string_view() : all.substr(cut + 1);
    Try(source, EveryTypeLayout(), record);
    Try(source, ItemLayout(), record);
    return 0;
}
