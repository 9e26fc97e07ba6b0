#pragma once
// The numeric value of a field read straight from its stored digits, the
// way the search and locate tests need it for every record: no allocation,
// no locale. Text-number fields ("N", "F") are parsed here; anything else,
// and digits this quick reader does not take, go through the engine's own
// reading. An empty field is 0; content that is no number gives nothing.

#include <charconv>
#include <optional>

#include "EngineError.h"
#include "RecordLayout.h"

namespace find {

inline std::optional<double> FieldNumber(const store::RecordView& record, int field) {
    const char type = record.Layout().Field(field).type;
    if (type == 'N' || type == 'F') {
        std::string_view t = record.Raw(field);
        while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
        while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
        if (t.empty()) return 0.0;
        if (t.front() == '+') t.remove_prefix(1);
        double value = 0;
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
        if (ec == std::errc() && end == t.data() + t.size()) return value;
    }
    try {
        return record.Number(field);
    } catch (const store::EngineError&) {
        return std::nullopt;
    }
}

}  // namespace find
