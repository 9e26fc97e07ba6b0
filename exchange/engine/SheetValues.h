#pragma once
// Values as spreadsheets and other inventory programs write them, read for
// the item fields: dates in several forms and as spreadsheet serial
// numbers, amounts with currency signs and thousands separators, and the
// words a warranty column holds.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DateFormat.h"

namespace exchange {

// A date in the program's current format, as ISO "2024-03-31", as
// "31.03.2024", or as a spreadsheet serial number (whole days from
// 1899-12-30; serial 60, a 29 February 1900 that never was, is refused).
// Empty when the text is none of these or names no real day.
std::optional<store::Date> ReadSheetDate(std::string_view text, const store::DateFormat& current);

enum class DecimalMark { Point, Comma };

// An amount: blanks around it, a currency sign or code before or after it
// ("$", "€", "£", "¥", "EUR", "USD" ...), thousands separators, the
// decimal mark given, a minus sign or parentheses for a negative one.
// Empty when anything else is left.
std::optional<double> ReadAmount(std::string_view text, DecimalMark mark);

// The decimal mark a column's amounts most likely use, judged by which of a
// point and a comma comes last in each, or stands alone without three
// digits after it: a comma when more of them say so than say a point.
DecimalMark GuessDecimalMark(const std::vector<std::string>& amounts);

// Yes, No, True, False, Y, N, 1, 0 in any letter case; empty otherwise.
std::optional<bool> ReadYesNo(std::string_view text);

}  // namespace exchange
