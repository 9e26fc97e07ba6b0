#pragma once
// The criteria of a search as the search window collects them: a list of up
// to 75 criteria in entry order, grouped into levels of which the last
// criterion carries the level end. A record is shown when it meets every
// criterion of at least one level (see SearchFilter).
//
// SaveFields turns one level of the window's 22 criterion cells, read with
// their operator characters, into criteria. It knows nothing of widgets so
// that the rules of every field kind and operator choice can be checked
// directly; the window shows the message and moves the focus.

#include <array>
#include <string>
#include <vector>

#include "DateFormat.h"
#include "ItemSchema.h"

namespace find {

inline constexpr int kMaxCriteria = 75;
inline constexpr int kMaxLevels = 10;

// Test codes.
inline constexpr int kTestEqual = 1;
inline constexpr int kTestGreater = 2;
inline constexpr int kTestLess = 3;
inline constexpr int kTestContains = 5;

// Operator choices of numeric and date fields.
inline constexpr int kChoiceEqual = 1;
inline constexpr int kChoiceGreater = 2;
inline constexpr int kChoiceLess = 3;
inline constexpr int kChoiceRange = 4;

struct SearchCriterion {
    std::string text;    // "contains": trimmed and upper-cased (a to z), UTF-8
    double number = 0;   // numeric comparisons
    store::Date date;    // date comparisons
    int position = 0;    // field position 1 to 22
    int test = 0;        // kTestEqual ... kTestContains
    bool levelEnd = false;
    bool dateFlag = false;

    bool operator==(const SearchCriterion&) const = default;
};

using CellTexts = std::array<std::string, store::kItemFieldCount>;
using OperatorChoices = std::array<int, store::kItemFieldCount>;

class SearchCriteria {
public:
    enum class Outcome { Saved, TooMany, Invalid, NoCriteria };

    struct SaveResult {
        Outcome outcome = Outcome::Saved;
        int position = 0;     // the offending field for Invalid
        std::string message;  // the text of the "Error" message box; empty when saved
    };

    static const char* const kTooManyMessage;
    static const char* const kInvalidMessage;
    static const char* const kNoCriteriaMessage;

    // Appends the criteria of one level read from the 22 cells (position p
    // at index p - 1). TooMany empties the whole list and sets the level
    // back to 1; Invalid drops what this call added; NoCriteria changes
    // nothing. Dates are read in the format given.
    SaveResult SaveFields(const CellTexts& cells, const OperatorChoices& choices, const store::DateFormat& dates);

    // After a level was saved with "Find More".
    void NextLevel() { ++m_level; }
    // Takes criteria made elsewhere (a saved search), every level closed.
    void Assign(std::vector<SearchCriterion> items);
    void Clear();

    const std::vector<SearchCriterion>& Items() const { return m_items; }
    int Count() const { return int(m_items.size()); }
    int Level() const { return m_level; }

private:
    // False when the list is full (the list is then cleared).
    bool Add(SearchCriterion criterion);

    std::vector<SearchCriterion> m_items;
    int m_level = 1;
};

// Trims space characters at both ends.
std::string TrimBlanks(std::string_view text);
// Upper-cases the letters a to z only.
std::string UpperAZ(std::string_view text);

}  // namespace find
