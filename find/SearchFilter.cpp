#include "SearchFilter.h"

#include <cstring>

#include "EngineError.h"
#include "FieldNumber.h"

namespace find {

SearchFilter::SearchFilter(const std::vector<SearchCriterion>& criteria, const store::RecordLayout& layout) {
    Level level;
    for (const SearchCriterion& c : criteria) {
        level.criteria.push_back(Compiled{c, -1, {}, false});
        if (c.levelEnd) {
            m_levels.push_back(std::move(level));
            level = {};
        }
    }
    // Criteria after the last level end belong to no level and decide nothing.
    Resolve(layout);
}

void SearchFilter::Resolve(const store::RecordLayout& layout) const {
    for (Level& level : m_levels) {
        for (Compiled& c : level.criteria) {
            const int position = c.source.position;
            c.field = position >= 1 && position <= store::kItemFieldCount
                          ? layout.FieldIndex(store::SchemaAt(position).name)
                          : -1;
            if (c.source.test == kTestContains) {
                // A character the table cannot hold cannot occur in it either.
                const auto encoded = layout.Page().Encode(c.source.text);
                c.unencodable = !encoded;
                c.needle = encoded ? *encoded : std::string();
            }
        }
    }
    m_layout = &layout;
}

namespace {

template <class T>
bool Compare(int test, const T& field, const T& value) {
    switch (test) {
    case kTestEqual: return field == value;
    case kTestGreater: return field > value;
    case kTestLess: return field < value;
    default: return false;
    }
}

bool ContainsUpper(std::string_view raw, const std::string& needle) {
    while (!raw.empty() && raw.back() == ' ') raw.remove_suffix(1);
    if (needle.size() > raw.size()) return false;
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
    return std::string_view(upper, raw.size()).find(needle) != std::string_view::npos;
}

}  // namespace

bool SearchFilter::Holds(const Compiled& c, const store::RecordView& record) {
    if (c.field < 0) return false;
    try {
        if (c.source.test == kTestContains) {
            if (c.unencodable) return false;
            return ContainsUpper(record.Raw(c.field), c.needle);
        }
        if (c.source.dateFlag) {
            const auto date = record.DateValue(c.field);
            if (!date) return c.source.test == kTestLess;
            return Compare(c.source.test, *date, c.source.date);
        }
        const auto number = FieldNumber(record, c.field);
        return number && Compare(c.source.test, *number, c.source.number);
    } catch (const store::EngineError&) {
        return false;
    }
}

bool SearchFilter::BuildFilter(const store::RecordView& record) const {
    if (&record.Layout() != m_layout) Resolve(record.Layout());
    for (const Level& level : m_levels) {
        bool all = true;
        for (const Compiled& c : level.criteria) {
            if (!Holds(c, record)) {
                all = false;
                break;
            }
        }
        if (all) return true;
    }
    return false;
}

std::function<bool(const store::RecordView&)> SearchFilter::MakeTest(const std::vector<SearchCriterion>& criteria,
                                                                     const store::RecordLayout& layout) {
    auto filter = std::make_shared<const SearchFilter>(criteria, layout);
    return [filter](const store::RecordView& record) { return filter->BuildFilter(record); };
}

}  // namespace find
