#include "DateFormat.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace store {
namespace {

DateFormat g_current;

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

bool Date::IsValid(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int limit = kDays[month - 1];
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && leap) limit = 29;
    return day <= limit;
}

long Date::DayNumber() const {
    // Civil-from-days inverse (proleptic Gregorian).
    const int y = year - (month <= 2 ? 1 : 0);
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long mp = (month + 9) % 12;
    const long doy = (153 * mp + 2) / 5 + day - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

Date Date::FromDayNumber(long z) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const int d = int(doy - (153 * mp + 2) / 5 + 1);
    const int m = int(mp < 10 ? mp + 3 : mp - 9);
    const int y = int(yoe + era * 400 + (m <= 2 ? 1 : 0));
    return Date{y, m, d};
}

Date Date::Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string Date::IsoText() const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
    return buf;
}

std::string Date::ToStorage() const {
    char buf[8];
    ToStorage(buf);
    return std::string(buf, 8);
}

void Date::ToStorage(char* out) const {
    // Runs for every date a record is given: no formatting machinery.
    auto put = [](char* at, int v, int digits) {
        for (int i = digits - 1; i >= 0; --i, v /= 10) at[i] = char('0' + v % 10);
    };
    put(out, ((year % 10000) + 10000) % 10000, 4);
    put(out + 4, ((month % 100) + 100) % 100, 2);
    put(out + 6, ((day % 100) + 100) % 100, 2);
}

std::optional<Date> Date::FromStorage(std::string_view s) {
    if (s.size() != 8 || !AllDigits(s)) return std::nullopt;
    auto digits = [&](size_t from, size_t n) {
        int v = 0;
        for (size_t i = from; i < from + n; ++i) v = v * 10 + (s[i] - '0');
        return v;
    };
    const int y = digits(0, 4);
    const int m = digits(4, 2);
    const int d = digits(6, 2);
    if (!IsValid(y, m, d)) return std::nullopt;
    return Date{y, m, d};
}

DateFormat DateFormat::FromPattern(std::string_view pattern, char separator) {
    Order order = Order::MonthDayYear;
    for (char c : pattern) {
        if (c == 'm' || c == 'M') { order = Order::MonthDayYear; break; }
        if (c == 'd' || c == 'D') { order = Order::DayMonthYear; break; }
        if (c == 'y' || c == 'Y') { order = Order::YearMonthDay; break; }
    }
    int ys = 0;
    for (char c : pattern)
        if (c == 'y' || c == 'Y') ++ys;
    return DateFormat(separator, order, ys >= 3);
}

std::string DateFormat::Pattern() const {
    const std::string y = m_fourDigitYear ? "yyyy" : "y";
    switch (m_order) {
    case Order::MonthDayYear: return "m/d/" + y;
    case Order::DayMonthYear: return "d/m/" + y;
    case Order::YearMonthDay: return y + "/m/d";
    }
    return "m/d/" + y;
}

std::string DateFormat::Format(const Date& d) const {
    // Built by hand: this runs for every date the grid, reports and exports show.
    char buf[16];
    char* p = buf;
    auto number = [&p](int v, int minDigits) {
        char tmp[8];
        int n = 0;
        do {
            tmp[n++] = char('0' + v % 10);
            v /= 10;
        } while (v > 0 || n < minDigits);
        while (n > 0) *p++ = tmp[--n];
    };
    auto year = [&] {
        if (m_fourDigitYear) number(d.year % 10000, 4);
        else number(d.year % 100, 2);
    };
    switch (m_order) {
    case Order::MonthDayYear: number(d.month, 1); *p++ = m_separator; number(d.day, 1); *p++ = m_separator; year(); break;
    case Order::DayMonthYear: number(d.day, 1); *p++ = m_separator; number(d.month, 1); *p++ = m_separator; year(); break;
    case Order::YearMonthDay: year(); *p++ = m_separator; number(d.month, 1); *p++ = m_separator; number(d.day, 1); break;
    }
    return std::string(buf, p);
}

std::string DateFormat::FormatPadded(const Date& d) const {
    char buf[32];
    const char s = m_separator;
    switch (m_order) {
    case Order::DayMonthYear:
        std::snprintf(buf, sizeof buf, "%02d%c%02d%c%04d", d.day % 100, s, d.month % 100, s, d.year % 10000);
        break;
    case Order::YearMonthDay:
        std::snprintf(buf, sizeof buf, "%04d%c%02d%c%02d", d.year % 10000, s, d.month % 100, s, d.day % 100);
        break;
    default:
        std::snprintf(buf, sizeof buf, "%02d%c%02d%c%04d", d.month % 100, s, d.day % 100, s, d.year % 10000);
        break;
    }
    return buf;
}

std::optional<Date> DateFormat::Parse(std::string_view text) const {
    std::string_view parts[3];
    int n = 0;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == m_separator) {
            if (n == 3) return std::nullopt;
            parts[n++] = TrimBlanks(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (n != 3) return std::nullopt;
    int values[3];
    for (int i = 0; i < 3; ++i) {
        if (!AllDigits(parts[i]) || parts[i].size() > 4) return std::nullopt;
        values[i] = 0;
        for (char c : parts[i]) values[i] = values[i] * 10 + (c - '0');
    }
    int y = 0, m = 0, d = 0;
    size_t yearDigits = 0;
    switch (m_order) {
    case Order::MonthDayYear: m = values[0]; d = values[1]; y = values[2]; yearDigits = parts[2].size(); break;
    case Order::DayMonthYear: d = values[0]; m = values[1]; y = values[2]; yearDigits = parts[2].size(); break;
    case Order::YearMonthDay: y = values[0]; m = values[1]; d = values[2]; yearDigits = parts[0].size(); break;
    }
    if (yearDigits <= 2) y = ExpandTwoDigitYear(y);
    if (!Date::IsValid(y, m, d)) return std::nullopt;
    return Date{y, m, d};
}

const DateFormat& CurrentDateFormat() { return g_current; }
void SetCurrentDateFormat(const DateFormat& format) { g_current = format; }

int ExpandTwoDigitYear(int yy) {
    const int windowEnd = Date::Today().year + 20;
    int year = windowEnd - windowEnd % 100 + yy;
    if (year > windowEnd) year -= 100;
    return year;
}

}  // namespace store
