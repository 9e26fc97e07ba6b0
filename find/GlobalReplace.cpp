#include "GlobalReplace.h"

#include <cmath>

#include "ItemSchema.h"
#include "RecordLayout.h"
#include "Table.h"

namespace find {

const char* const GlobalReplace::kNoFieldMessage = "No field has been selected.";
const char* const GlobalReplace::kBadSearchValueMessage = "Invalid search value entered.  Please correct.";
const char* const GlobalReplace::kBadReplacementValueMessage = "Invalid replacement value entered.  Please correct.";
const char* const GlobalReplace::kBadSearchDateMessage = "Invalid search date entered.  Please correct.";
const char* const GlobalReplace::kBadReplacementDateMessage = "Invalid replacement date entered.  Please correct.";
const char* const GlobalReplace::kFractionalQuantityMessage =
    "The quantity must be a whole number.  Please correct the replacement value.";

namespace {

std::string TrimSpaces(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string UpperAZ(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return text;
}

// A date box nobody typed in still holds its two separators.
bool UntouchedDate(const std::string& text) { return text == "/  /" || text == "-  -" || text == ".  ."; }

std::optional<store::Date> ReadDate(const std::string& text) {
    if (text.empty() || UntouchedDate(text)) return std::nullopt;
    return store::CurrentDateFormat().Parse(text);
}

}  // namespace

std::optional<GlobalReplace::Refusal> GlobalReplace::Prepare(int position, const std::string& searchText,
                                                             const std::string& replacementText) {
    if (position < 1 || position > store::kItemFieldCount) return Refusal{Focus::FieldList, kNoFieldMessage};
    const store::SchemaField& field = store::SchemaAt(position);
    const std::string search = TrimSpaces(searchText);
    const std::string replacement = TrimSpaces(replacementText);
    if (field.kind == 'N') {
        const auto s = store::ParseNumber(search);
        if (!s) return Refusal{Focus::SearchBox, kBadSearchValueMessage};
        const auto r = store::ParseNumber(replacement);
        if (!r || !std::isfinite(*r)) return Refusal{Focus::ReplacementBox, kBadReplacementValueMessage};
        // The integer field would round the value silently.
        if (field.typeCode == 2 && *r != std::floor(*r))
            return Refusal{Focus::ReplacementBox, kFractionalQuantityMessage};
        m_searchNumber = *s;
    } else if (field.kind == 'D') {
        const auto s = ReadDate(search);
        if (!s) return Refusal{Focus::SearchBox, kBadSearchDateMessage};
        const auto r = ReadDate(replacement);
        if (!r) return Refusal{Focus::ReplacementBox, kBadReplacementDateMessage};
        m_searchDate = *s;
        m_replacementDate = *r;
    }
    m_position = position;
    m_kind = field.kind;
    m_search = field.kind == 'C' ? UpperAZ(search) : search;
    m_replacement = replacement;
    return std::nullopt;
}

bool GlobalReplace::Matches(const store::Table& table, int field) const {
    switch (m_kind) {
    case 'N': return table.GetNumber(field) == m_searchNumber;
    case 'D': return table.GetDate(field) == m_searchDate;
    default: return UpperAZ(table.GetText(field)) == m_search;
    }
}

void GlobalReplace::Run(store::Table& table, const Confirm& confirm, const Progress& progress) {
    m_count = {};
    const int field = table.NeedField(store::SchemaAt(m_position).name);
    auto tell = [&] {
        if (progress) progress(m_count);
    };
    for (table.First(); !table.Eof(); table.Next()) {
        if (Matches(table, field)) {
            if (confirm && !confirm(table.GetText("Item"))) {
                ++m_count.found;
                tell();
            } else {
                table.Edit();
                try {
                    if (m_kind == 'D')
                        table.SetDate(field, m_replacementDate);
                    else
                        table.SetText(field, m_replacement);
                    table.Post();
                } catch (...) {
                    table.Cancel();
                    throw;
                }
                ++m_count.found;
                ++m_count.changed;
                tell();
            }
        }
        ++m_count.processed;
        tell();
    }
}

}  // namespace find
