#include "SearchCriteria.h"

#include <optional>

#include "RecordLayout.h"

namespace find {

const char* const SearchCriteria::kTooManyMessage =
    "More than 75 search items have been entered.  This exceeds the maximum allowable.  Search criteria will be "
    "cleared.";
const char* const SearchCriteria::kInvalidMessage = "Invalid search criteria entered.  Please correct.";
const char* const SearchCriteria::kNoCriteriaMessage = "No search criteria entered.";

std::string TrimBlanks(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    return std::string(text.substr(b, e - b));
}

std::string UpperAZ(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return out;
}

namespace {

void RemoveFirst(std::string& text, char c) {
    const size_t at = text.find(c);
    if (at != std::string::npos) text.erase(at, 1);
}

// An untouched date template reads as its separators and blanks ("/  /"),
// whatever the separator was when it was typed.
bool IsEmptyDatePart(const std::string& part, char separator) {
    int separators = 0;
    for (char c : part) {
        if (c == '/' || c == '-' || c == '.' || c == separator) ++separators;
        else if (c != ' ') return false;
    }
    return separators == 0 || separators == 2;
}

struct Value {
    double number = 0;
    store::Date date;
};

// A non-empty part as a number or a date; empty on bad input.
std::optional<Value> ReadPart(const std::string& part, bool isDate, const store::DateFormat& dates) {
    Value v;
    if (isDate) {
        const auto d = dates.Parse(part);
        if (!d) return std::nullopt;
        v.date = *d;
    } else {
        const auto n = store::ParseNumber(part);
        if (!n) return std::nullopt;
        v.number = *n;
    }
    return v;
}

}  // namespace

void SearchCriteria::Clear() {
    m_items.clear();
    m_level = 1;
}

bool SearchCriteria::Add(SearchCriterion criterion) {
    if (int(m_items.size()) + 1 > kMaxCriteria) {
        Clear();
        return false;
    }
    m_items.push_back(std::move(criterion));
    return true;
}

SearchCriteria::SaveResult SearchCriteria::SaveFields(const CellTexts& cells, const OperatorChoices& choices,
                                                      const store::DateFormat& dates) {
    const size_t start = m_items.size();
    const auto tooMany = [] { return SaveResult{Outcome::TooMany, 0, kTooManyMessage}; };
    const auto invalid = [this, start](int position) {
        m_items.resize(start);
        return SaveResult{Outcome::Invalid, position, kInvalidMessage};
    };

    for (int position = 1; position <= store::kItemFieldCount; ++position) {
        const store::SchemaField& field = store::SchemaAt(position);
        std::string text = TrimBlanks(cells[size_t(position - 1)]);
        if (field.kind == 'C') {
            if (text.empty()) continue;
            SearchCriterion c;
            c.text = UpperAZ(text);
            c.position = position;
            c.test = kTestContains;
            if (!Add(std::move(c))) return tooMany();
            continue;
        }

        const bool isDate = field.kind == 'D';
        const auto isEmpty = [&](const std::string& part) {
            return part.empty() || (isDate && IsEmptyDatePart(part, dates.Separator()));
        };
        int choice = choices[size_t(position - 1)];
        if (choice < kChoiceEqual || choice > kChoiceRange) choice = kChoiceEqual;

        if (choice != kChoiceRange) {
            RemoveFirst(text, choice == kChoiceEqual ? '=' : (choice == kChoiceGreater ? '>' : '<'));
            text = TrimBlanks(text);
            if (isEmpty(text)) continue;
            const auto value = ReadPart(text, isDate, dates);
            if (!value) return invalid(position);
            SearchCriterion c;
            c.number = value->number;
            c.date = value->date;
            c.position = position;
            c.test = choice;
            c.dateFlag = isDate;
            if (!Add(std::move(c))) return tooMany();
            continue;
        }

        RemoveFirst(text, '<');
        RemoveFirst(text, '>');
        text = TrimBlanks(text);
        const size_t split = text.find("AND");
        const std::string low = TrimBlanks(std::string_view(text).substr(0, split));
        const std::string high =
            split == std::string::npos ? std::string() : TrimBlanks(std::string_view(text).substr(split + 3));
        const bool lowEmpty = isEmpty(low), highEmpty = isEmpty(high);
        if (lowEmpty && highEmpty) continue;
        if (lowEmpty || highEmpty) return invalid(position);
        const auto lowValue = ReadPart(low, isDate, dates);
        const auto highValue = ReadPart(high, isDate, dates);
        if (!lowValue || !highValue) return invalid(position);
        for (const auto& [value, test] : {std::pair{*lowValue, kTestGreater}, std::pair{*highValue, kTestLess}}) {
            SearchCriterion c;
            c.number = value.number;
            c.date = value.date;
            c.position = position;
            c.test = test;
            c.dateFlag = isDate;
            if (!Add(std::move(c))) return tooMany();
        }
    }

    if (m_items.size() == start) return {Outcome::NoCriteria, 0, kNoCriteriaMessage};
    m_items.back().levelEnd = true;
    return {};
}

void SearchCriteria::Assign(std::vector<SearchCriterion> items) {
    m_items = std::move(items);
    m_level = 1;
    for (const SearchCriterion& c : m_items)
        if (c.levelEnd) ++m_level;
}

}  // namespace find
