#pragma once
// The work of search and replace without its window: checking the search
// and replacement values for the chosen field, and the walk over the item
// table that changes every record whose field equals the search value.
// Text fields match on the whole value with the letters a to z compared
// without regard to case; number and date fields match on their value.

#include <functional>
#include <optional>
#include <string>

#include "DateFormat.h"

namespace store {
class Table;
}

namespace find {

class GlobalReplace {
public:
    enum class Focus { FieldList, SearchBox, ReplacementBox };
    struct Refusal {
        Focus focus;
        std::string message;
    };
    struct Counters {
        int processed = 0;
        int found = 0;
        int changed = 0;
    };
    // Asked for each match when confirmation is on; the text of the
    // record's Item field is given. False leaves the record alone.
    using Confirm = std::function<bool(const std::string& item)>;
    // Told after every change of a counter.
    using Progress = std::function<void(const Counters&)>;

    // Takes the field (schema position 1 to 22, anything else is no field)
    // and the two texts as typed; blanks around them do not count. Returns
    // the first objection, or nothing when the run can start.
    std::optional<Refusal> Prepare(int position, const std::string& searchText, const std::string& replacementText);

    // Walks the whole table from its first record in the order it delivers
    // them, changing and posting each match. Engine errors (a value the
    // field cannot hold) are thrown with the pending edit cancelled; the
    // counters then tell how far the run got.
    void Run(store::Table& table, const Confirm& confirm, const Progress& progress);

    // Whether the table's current record matches. Needs Prepare first.
    bool Matches(const store::Table& table, int field) const;

    const Counters& Count() const { return m_count; }
    int Position() const { return m_position; }

    static const char* const kNoFieldMessage;
    static const char* const kBadSearchValueMessage;
    static const char* const kBadReplacementValueMessage;
    static const char* const kBadSearchDateMessage;
    static const char* const kBadReplacementDateMessage;
    static const char* const kFractionalQuantityMessage;

private:
    int m_position = 0;
    char m_kind = 'C';
    std::string m_search;       // upper case for text fields
    std::string m_replacement;  // as typed, blanks around removed
    double m_searchNumber = 0;
    store::Date m_searchDate;
    store::Date m_replacementDate;
    Counters m_count;
};

}  // namespace find
