#include "SheetValues.h"

#include <cctype>
#include <charconv>
#include <array>
#include <cmath>

#include "RecordLayout.h"

namespace exchange {

namespace {

std::string_view Trimmed(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    return t;
}

bool AllDigits(std::string_view t) {
    if (t.empty()) return false;
    for (char c : t)
        if (c < '0' || c > '9') return false;
    return true;
}

int Number(std::string_view t) {
    int v = 0;
    std::from_chars(t.data(), t.data() + t.size(), v);
    return v;
}

// Three runs of digits split at sep: the numbers, or empty.
std::optional<std::array<std::string_view, 3>> Parts(std::string_view t, char sep) {
    const size_t a = t.find(sep);
    if (a == std::string_view::npos) return std::nullopt;
    const size_t b = t.find(sep, a + 1);
    if (b == std::string_view::npos) return std::nullopt;  // a fourth part fails the digits below
    std::array<std::string_view, 3> p = {t.substr(0, a), t.substr(a + 1, b - a - 1), t.substr(b + 1)};
    for (std::string_view s : p)
        if (!AllDigits(s) || s.size() > 4) return std::nullopt;
    return p;
}

std::optional<store::Date> Checked(int y, int m, int d) {
    if (!store::Date::IsValid(y, m, d)) return std::nullopt;
    return store::Date{y, m, d};
}

// Upper-case ASCII letters of a currency code.
bool IsCurrencyCode(std::string_view t) {
    if (t.size() != 3) return false;
    for (char c : t)
        if (!std::isalpha(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

std::optional<store::Date> ReadSheetDate(std::string_view text, const store::DateFormat& current) {
    const std::string_view t = Trimmed(text);
    if (t.empty()) return std::nullopt;
    if (AllDigits(t)) {
        // A spreadsheet's serial number of days.
        if (t.size() > 7) return std::nullopt;
        const long serial = Number(t);
        if (serial < 1 || serial == 60) return std::nullopt;
        const long days = serial < 60 ? serial + 1 : serial;  // the 1900 leap day that never was
        const store::Date d = store::Date::FromDayNumber(store::Date{1899, 12, 30}.DayNumber() + days);
        return d.year <= 9999 ? std::optional<store::Date>(d) : std::nullopt;
    }
    if (const auto iso = Parts(t, '-'); iso && (*iso)[0].size() == 4)
        return Checked(Number((*iso)[0]), Number((*iso)[1]), Number((*iso)[2]));
    if (const auto dotted = Parts(t, '.'); dotted && (*dotted)[2].size() == 4)
        return Checked(Number((*dotted)[2]), Number((*dotted)[1]), Number((*dotted)[0]));
    return current.Parse(t);
}

// Most amounts are digits and a decimal mark alone: read at once.
static std::optional<double> PlainAmount(std::string_view t, char decimal) {
    if (t.empty() || t.size() > 24) return std::nullopt;
    char plain[32];
    size_t n = 0, digits = 0;
    bool seenDecimal = false;
    for (size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') ++digits;
        else if (c == decimal && !seenDecimal) seenDecimal = true;
        else if (!(c == '-' && i == 0)) return std::nullopt;
        plain[n++] = c == decimal ? '.' : c;
    }
    if (digits == 0) return std::nullopt;
    return store::ParseNumber(std::string_view(plain, n));
}

std::optional<double> ReadAmount(std::string_view text, DecimalMark mark) {
    std::string_view t = Trimmed(text);
    if (const auto plain = PlainAmount(t, mark == DecimalMark::Comma ? ',' : '.')) return plain;
    bool negative = false;
    if (t.size() >= 2 && t.front() == '(' && t.back() == ')') {
        negative = true;
        t = Trimmed(t.substr(1, t.size() - 2));
    }
    // A currency sign or code at either end.
    static const std::string_view kSigns[] = {"$", "\xE2\x82\xAC", "\xC2\xA3", "\xC2\xA5"};
    for (int pass = 0; pass < 2; ++pass) {
        if (!t.empty() && t.front() == '-' && !negative) {
            negative = true;
            t = Trimmed(t.substr(1));
        }
        for (std::string_view sign : kSigns) {
            if (t.substr(0, sign.size()) == sign) t = Trimmed(t.substr(sign.size()));
            if (t.size() >= sign.size() && t.substr(t.size() - sign.size()) == sign)
                t = Trimmed(t.substr(0, t.size() - sign.size()));
        }
        if (t.size() > 3 && IsCurrencyCode(t.substr(0, 3)) && !std::isalpha(static_cast<unsigned char>(t[3])))
            t = Trimmed(t.substr(3));
        if (t.size() > 3 && IsCurrencyCode(t.substr(t.size() - 3)) &&
            !std::isalpha(static_cast<unsigned char>(t[t.size() - 4])))
            t = Trimmed(t.substr(0, t.size() - 3));
    }
    const char decimal = mark == DecimalMark::Comma ? ',' : '.';
    const char thousands = mark == DecimalMark::Comma ? '.' : ',';
    std::string plain;
    bool seenDecimal = false, seenDigit = false;
    for (char c : t) {
        if (c >= '0' && c <= '9') {
            plain += c;
            seenDigit = true;
        } else if (c == decimal && !seenDecimal) {
            plain += '.';
            seenDecimal = true;
        } else if ((c == thousands || c == ' ' || c == '\'') && !seenDecimal && seenDigit) {
            continue;
        } else {
            return std::nullopt;
        }
    }
    if (!seenDigit) return std::nullopt;
    double value = 0;
    const auto r = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (r.ec != std::errc() || r.ptr != plain.data() + plain.size() || !std::isfinite(value)) return std::nullopt;
    return negative ? -value : value;
}

DecimalMark GuessDecimalMark(const std::vector<std::string>& amounts) {
    // The later of a point and a comma is the decimal mark; a lone one is
    // too unless three digits follow it ("1,234" may be either).
    int point = 0, comma = 0;
    for (const std::string& a : amounts) {
        const size_t p = a.rfind('.'), c = a.rfind(',');
        if (p != std::string::npos && c != std::string::npos) {
            ++(p > c ? point : comma);
            continue;
        }
        const size_t at = p != std::string::npos ? p : c;
        if (at == std::string::npos) continue;
        size_t digits = 0;
        while (at + 1 + digits < a.size() && std::isdigit(static_cast<unsigned char>(a[at + 1 + digits]))) ++digits;
        if (digits != 3) ++(at == p ? point : comma);
    }
    return comma > point ? DecimalMark::Comma : DecimalMark::Point;
}

std::optional<bool> ReadYesNo(std::string_view text) {
    std::string t(Trimmed(text));
    for (char& c : t) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (t == "YES" || t == "Y" || t == "TRUE" || t == "1") return true;
    if (t == "NO" || t == "N" || t == "FALSE" || t == "0") return false;
    return std::nullopt;
}

}  // namespace exchange
