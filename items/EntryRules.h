#pragma once
// How the item editor reads what was typed into its number and date boxes.
// Validation is strict (a whole decimal number, a whole integer, a date in
// the current short date format) because the text goes to the table as it
// stands; the running totals are lenient and count whatever valid number a
// box begins with, so that half-typed values never interrupt the user.

#include <QString>
#include <optional>

#include "DateFormat.h"

namespace items {

class EntryRules {
public:
    // A complete decimal number: optional sign, digits with an optional
    // "." and optional exponent; no separators, signs of currency or blanks
    // inside. Empty text is not a number.
    static std::optional<double> Amount(const QString& trimmed);
    // A complete whole number with an optional sign that fits in 32 bits.
    static std::optional<int> WholeNumber(const QString& trimmed);
    // The value of the longest valid number the text begins with (after
    // leading blanks); 0 when there is none.
    static double LeadingAmount(const QString& text);

    // True when a trimmed date-box text means no date: empty, or only the
    // separators of an empty box under "/", "-" or ".".
    static bool IsNoDate(const QString& trimmed);
    // The date a trimmed date-box text holds in the current short date
    // format; empty when it is none or not a date.
    static std::optional<store::Date> DateOf(const QString& trimmed);
    // What a date box shows for a date: two-digit day and month, four-digit
    // year, so nothing is lost whatever the year form of the date format.
    static QString ShowDate(const store::Date& date);

    // quantity x amount in the amount format, followed by one blank. A
    // total wider than the widest the window shows (more than a field can
    // hold) takes a short scientific form, so 1E300 shows as "1.00E+300 ".
    static QString Total(int quantity, double amount);
    // The widest total in the amount format: the room a total label needs.
    static QString WidestTotal();

    // What the item editor says of a value it will not take for the field
    // at a schema position (1 to 22; the text trimmed); null when it takes
    // it. Only amounts, Quantity and the two dates have rules of their own.
    static const char* Refusal(int position, const QString& trimmed);
    static const char* const kInvalidWarrantyDate;
    static const char* const kInvalidPurchaseDate;
    static const char* const kInvalidCost;
    static const char* const kInvalidValue;
    static const char* const kInvalidReplacementCost;
    static const char* const kInvalidQuantity;
};

}  // namespace items
