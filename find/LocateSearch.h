#pragma once
// The record test and the walk of Locate: does one field of a record match
// a typed value (exactly, at its beginning or anywhere, with or without
// regard to letter case), and which is the next such record in the order
// and through the filter of the table. The locate component adds the
// cursor, the messages and the hourglass.
//
// The field is compared in its text form (strings as stored, integers in
// digits, floats in plain decimals, dates in the current short date
// format), except that an exact match on a float field compares numbers, so
// that 12.50 finds 12.5 and a value that is no number finds nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "RecordLayout.h"
#include "Table.h"

namespace find {

class LocateSearch {
public:
    enum MatchType { kExact = 0, kPartialAtBeginning = 1, kPartialAnywhere = 2 };

    // field: index in the layout. value: UTF-8 as typed.
    LocateSearch(const store::RecordLayout& layout, int field, bool caseSensitive, int matchType,
                 std::string_view value);

    bool Matches(const store::RecordView& record) const;

    // The first matching record among those the table delivers, from the
    // first one (fromFirst) or after the current one. The cursor is left
    // where it was.
    std::optional<uint32_t> Find(store::Table& table, bool fromFirst) const;

private:
    bool TextMatches(std::string_view text) const;

    int m_field;
    int m_matchType;
    bool m_caseSensitive;
    store::FieldKind m_kind;
    std::string m_value;       // upper-cased unless case-sensitive; UTF-8
    std::string m_rawValue;    // the same in the table's code page, for text fields
    bool m_unencodable = false;
    std::optional<double> m_number;  // exact match on float fields
};

}  // namespace find
