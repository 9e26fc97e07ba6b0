#pragma once
// The record test of an applied search. The criteria are compiled once when
// the search is applied: each criterion's field is resolved to its index in
// the table, "contains" texts are put into the table's code page, numbers
// and dates are already typed. BuildFilter then reads the record's bytes
// directly, which keeps a search over a million items well under a second.
//
// A record passes when every criterion of at least one level holds. An
// empty numeric field counts as 0 and an empty date as earlier than any
// date, so "less than" criteria match them. A field whose content cannot be
// read as its type meets no criterion.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RecordLayout.h"
#include "SearchCriteria.h"

namespace find {

class SearchFilter {
public:
    // An empty list rejects every record.
    SearchFilter(const std::vector<SearchCriterion>& criteria, const store::RecordLayout& layout);

    bool BuildFilter(const store::RecordView& record) const;

    // The filter as the item table's search test; copies share the compiled
    // criteria.
    static std::function<bool(const store::RecordView&)> MakeTest(const std::vector<SearchCriterion>& criteria,
                                                                  const store::RecordLayout& layout);

private:
    struct Compiled {
        SearchCriterion source;
        int field = -1;          // index in the table; -1: never met
        std::string needle;      // "contains" text in the table's code page
        bool unencodable = false;
    };
    struct Level {
        std::vector<Compiled> criteria;
    };

    void Resolve(const store::RecordLayout& layout) const;
    static bool Holds(const Compiled& c, const store::RecordView& record);

    // Resolved again when records of another layout arrive (the table was
    // reopened), hence mutable.
    mutable std::vector<Level> m_levels;
    // The layout the field indexes belong to.
    mutable const store::RecordLayout* m_layout = nullptr;
};

}  // namespace find
