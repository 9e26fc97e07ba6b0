#pragma once
// Where each field lies inside a record of a table, and read access to one
// record's bytes. A RecordView is what a record filter and an index key
// expression see: the fields of one record, decoded on demand, without
// moving any cursor.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CodePage.h"
#include "DateFormat.h"
#include "FieldDef.h"

namespace store {

class RecordLayout {
public:
    RecordLayout() = default;
    RecordLayout(std::vector<FieldDef> fields, int codePage);

    const std::vector<FieldDef>& Fields() const { return m_fields; }
    int FieldCount() const { return int(m_fields.size()); }
    const FieldDef& Field(int i) const { return m_fields[size_t(i)]; }
    int Offset(int i) const { return m_offsets[size_t(i)]; }
    int RecordLength() const { return m_recordLength; }
    const CodePage& Page() const { return m_page; }
    // Index of a field by name, letter case ignored; -1 when none.
    int FieldIndex(std::string_view name) const;

private:
    std::vector<FieldDef> m_fields;
    std::vector<int> m_offsets;  // from the start of the record, after the deletion flag
    int m_recordLength = 1;
    CodePage m_page;
};

class RecordView {
public:
    RecordView(const char* record, const RecordLayout& layout) : m_record(record), m_layout(&layout) {}

    const RecordLayout& Layout() const { return *m_layout; }
    bool IsDeleted() const { return m_record[0] == '*'; }
    // The record's bytes, the layout's record length of them.
    const char* Data() const { return m_record; }
    // The field's bytes as stored, in the table's code page.
    std::string_view Raw(int field) const;
    // True when the field holds nothing: all blanks, or a memo without text.
    bool IsBlank(int field) const;

    // Text forms: strings without trailing blanks; integers as digits;
    // floats in shortest round-trip decimal form (1234.5); dates in the
    // current short date format; empty fields as "". A number or date the
    // field cannot hold (for example "NotAYear") throws EngineError.
    std::string Text(int field) const;
    // As Text, but malformed content comes back as the stored characters
    // instead of an error: for display only.
    std::string DisplayText(int field) const;
    // Numeric value; an empty field gives 0. Throws on malformed content.
    double Number(int field) const;
    // Date value; empty for an empty field. Throws on malformed content.
    std::optional<Date> DateValue(int field) const;

private:
    const char* m_record;
    const RecordLayout* m_layout;
};

// Shortest decimal text that reads back as the same double, never with an
// exponent (1234.5, 0.1, 1000000).
std::string FormatNumber(double value);
// The number as a message shows it: FormatNumber while that stays short,
// otherwise six significant digits with an exponent (1e+300), so that a
// huge value never fills a message with hundreds of digits.
std::string ShortNumberText(double value);
// A complete decimal number: optional blanks around, optional sign, digits
// with an optional "." and an optional exponent. Nothing else.
std::optional<double> ParseNumber(std::string_view text);

}  // namespace store
