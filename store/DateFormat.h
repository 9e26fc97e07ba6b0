#pragma once
// Calendar dates and the program-wide short date format. The engine shows
// and reads dates as text in the current format (separator, day/month order,
// two- or four-digit year); the date format menu changes it for everyone.

#include <optional>
#include <string>
#include <string_view>

namespace store {

struct Date {
    int year = 0;
    int month = 0;
    int day = 0;

    bool operator==(const Date&) const = default;
    auto operator<=>(const Date&) const = default;

    static bool IsValid(int year, int month, int day);
    // Days since 1970-01-01 (negative before), for arithmetic and ordering.
    long DayNumber() const;
    static Date FromDayNumber(long days);
    static Date Today();
    // "YYYYMMDD", the dBASE storage and DTOS form.
    std::string ToStorage() const;
    // "YYYY-MM-DD" (ISO 8601), as spreadsheets and JSON write a day.
    std::string IsoText() const;
    // The same eight characters written to out, without a string.
    void ToStorage(char* out) const;
    static std::optional<Date> FromStorage(std::string_view eight);
};

class DateFormat {
public:
    enum class Order { MonthDayYear, DayMonthYear, YearMonthDay };

    DateFormat() = default;
    DateFormat(char separator, Order order, bool fourDigitYear)
        : m_separator(separator), m_order(order), m_fourDigitYear(fourDigitYear) {}
    // From a short format such as "m/d/y" or "d/m/yyyy"; "/" in it stands
    // for the separator given.
    static DateFormat FromPattern(std::string_view pattern, char separator);

    char Separator() const { return m_separator; }
    Order DateOrder() const { return m_order; }
    bool FourDigitYear() const { return m_fourDigitYear; }
    std::string Pattern() const;  // "m/d/y" style, "/" as written in menus

    // Month and day without leading zeros, year in two or four digits.
    std::string Format(const Date& d) const;
    // Month and day with two digits and a four-digit year, the form that
    // fills a "99/99/9999" edit template.
    std::string FormatPadded(const Date& d) const;
    // Three numbers in the format's order, split at the separator, blanks
    // around each ignored. A year of one or two digits falls in the window
    // that ends 20 years after the current year. Empty on anything else.
    std::optional<Date> Parse(std::string_view text) const;

    bool operator==(const DateFormat&) const = default;

private:
    char m_separator = '/';
    Order m_order = Order::MonthDayYear;
    bool m_fourDigitYear = false;
};

// The program-wide format used by every text form of a date.
const DateFormat& CurrentDateFormat();
void SetCurrentDateFormat(const DateFormat& format);

// Year for a one- or two-digit year: the window ends 20 years after the
// current year.
int ExpandTwoDigitYear(int yy);

}  // namespace store
