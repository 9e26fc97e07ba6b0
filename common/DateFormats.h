#pragma once
// The twelve date formats of the date format menu. Choosing one sets the
// table engine's program-wide short date format, which every text form of
// a date (grid, editors, search, import, reports) follows.

#include <QString>
#include <array>

#include "DateFormat.h"

namespace common {

struct DateFormatChoice {
    int number;              // 1 to 12, the "[Misc] Date Format" value
    const char* menuText;    // "mm/dd/yy" ...
    char separator;
    const char* shortFormat; // "m/d/y" ...; "/" stands for the separator
};

class DateFormats {
public:
    static const std::array<DateFormatChoice, 12>& Choices();
    // Numbers outside 1 to 12 give format 1.
    static const DateFormatChoice& Choice(int number);
    static store::DateFormat FormatFor(int number);
    // Makes the format the program-wide one. False (and nothing changed)
    // for a number outside 1 to 12.
    static bool Apply(int number);

    // Date as text in the current format, and back; an empty text or one
    // that is not a date gives no date.
    static QString Show(const store::Date& date);
    static std::optional<store::Date> Parse(const QString& text);
};

}  // namespace common
