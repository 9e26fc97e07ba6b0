#include "LocateSearch.h"

#include <algorithm>

#include "EngineError.h"
#include "FieldNumber.h"
#include "SearchCriteria.h"

namespace find {

LocateSearch::LocateSearch(const store::RecordLayout& layout, int field, bool caseSensitive, int matchType,
                           std::string_view value)
    : m_field(field), m_matchType(matchType), m_caseSensitive(caseSensitive), m_kind(layout.Field(field).Kind()) {
    if (m_matchType < kExact || m_matchType > kPartialAnywhere) m_matchType = kExact;
    m_value = caseSensitive ? std::string(value) : UpperAZ(value);
    if (m_kind == store::FieldKind::String) {
        // Text fields are compared in their stored bytes: no decoding per record.
        const auto encoded = layout.Page().Encode(m_value);
        m_unencodable = !encoded;
        if (encoded) m_rawValue = *encoded;
    }
    if (m_kind == store::FieldKind::Float && m_matchType == kExact) m_number = store::ParseNumber(value);
}

bool LocateSearch::TextMatches(std::string_view text) const {
    const std::string_view value = m_kind == store::FieldKind::String ? m_rawValue : m_value;
    switch (m_matchType) {
    case kExact: return text == value;
    case kPartialAtBeginning: return text.substr(0, value.size()) == value;
    default: return text.find(value) != std::string_view::npos;
    }
}

bool LocateSearch::Matches(const store::RecordView& record) const {
    try {
        if (m_kind == store::FieldKind::Float && m_matchType == kExact) {
            if (!m_number) return false;
            const auto number = FieldNumber(record, m_field);
            return number && *number == *m_number;
        }
        if (m_kind == store::FieldKind::String) {
            if (m_unencodable) return false;
            std::string_view raw = record.Raw(m_field);
            while (!raw.empty() && raw.back() == ' ') raw.remove_suffix(1);
            if (m_caseSensitive) return TextMatches(raw);
            char small[256];
            std::string large;
            char* upper = small;
            if (raw.size() > sizeof small) {
                large.resize(raw.size());
                upper = large.data();
            }
            for (size_t i = 0; i < raw.size(); ++i) {
                const char c = raw[i];
                upper[i] = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
            }
            return TextMatches(std::string_view(upper, raw.size()));
        }
        const std::string text = record.Text(m_field);
        return TextMatches(m_caseSensitive ? text : UpperAZ(text));
    } catch (const store::EngineError&) {
        return false;  // content that cannot be read as its type matches nothing
    }
}

std::optional<uint32_t> LocateSearch::Find(store::Table& table, bool fromFirst) const {
    const std::vector<uint32_t>& records = table.DeliveredRecords();
    size_t start = 0;
    if (!fromFirst) {
        if (!table.HasCurrent()) return std::nullopt;
        const uint32_t current = table.RecNo();
        const auto at = std::find(records.begin(), records.end(), current);
        if (at != records.end()) {
            start = size_t(at - records.begin()) + 1;
        } else {
            // The current record no longer passes the filter: go on from the
            // record the table itself would move to.
            table.Next();
            const bool moved = table.HasCurrent() && table.RecNo() != current;
            start = moved ? size_t(std::find(records.begin(), records.end(), table.RecNo()) - records.begin())
                          : records.size();
            table.GoTo(current);
        }
    }
    for (size_t i = start; i < records.size(); ++i)
        if (Matches(table.ViewOf(records[i]))) return records[i];
    return std::nullopt;
}

}  // namespace find
