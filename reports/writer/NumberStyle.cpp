#include "NumberStyle.h"

#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace reports {

namespace {

RegionalNumbers& RegionalStore() {
    static RegionalNumbers numbers;
    return numbers;
}

// The digits of |value| rounded to the decimals, as "123456.78": the
// shortest text that reads back as value, rounded on its decimal digits.
std::string RoundedDigits(double value, int decimals) {
    value = std::fabs(value);
    char buffer[400];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    std::string text = ec == std::errc() ? std::string(buffer, end) : std::string("0");
    std::string whole = text, fraction;
    if (const size_t dot = text.find('.'); dot != std::string::npos) {
        whole = text.substr(0, dot);
        fraction = text.substr(dot + 1);
    }
    const bool roundUp = fraction.size() > size_t(decimals) && fraction[size_t(decimals)] >= '5';
    fraction.resize(size_t(decimals), '0');
    std::string digits = whole + fraction;
    if (roundUp) {
        size_t i = digits.size();
        while (i > 0) {
            --i;
            if (digits[i] == '9') {
                digits[i] = '0';
                continue;
            }
            ++digits[i];
            break;
        }
        if (digits.empty() || (i == 0 && digits[0] == '0')) digits.insert(digits.begin(), '1');
    }
    const size_t wholeLength = digits.size() - size_t(decimals);
    if (decimals == 0) return digits;
    return digits.substr(0, wholeLength) + "." + digits.substr(wholeLength);
}

}  // namespace

QString FormatFixed(double value, int decimals, const QString& decimal, const QString& thousand) {
    decimals = std::clamp(decimals, 0, 20);
    if (!std::isfinite(value)) value = 0;
    const std::string digits = RoundedDigits(value, decimals);
    const size_t dot = digits.find('.');
    const std::string whole = dot == std::string::npos ? digits : digits.substr(0, dot);
    QString out;
    out.reserve(int(digits.size() + digits.size() / 3 + 2));
    // A value that rounds to nothing carries no sign.
    const bool negative = value < 0 && digits.find_first_not_of("0.") != std::string::npos;
    if (negative) out += QLatin1Char('-');
    for (size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) out += thousand;
        out += QLatin1Char(whole[i]);
    }
    if (dot != std::string::npos) {
        out += decimal;
        out += QLatin1String(digits.c_str() + dot + 1);
    }
    return out;
}

QString NumberStyles::Number(double value, int decimals) const {
    if (builtInNumbers) return FormatFixed(value, decimals, QStringLiteral("."), QStringLiteral(","));
    return FormatFixed(value, decimals, regional.decimal, regional.thousand);
}

QString NumberStyles::Currency(double value) const {
    if (builtInCurrency) return FormatFixed(value, 2, QStringLiteral("."), QStringLiteral(","));
    return FormatFixed(value, regional.currencyDigits, regional.decimal, regional.thousand);
}

RegionalNumbers SystemRegionalNumbers() {
    const QLocale locale = QLocale::system();
    RegionalNumbers numbers;
    numbers.decimal = locale.decimalPoint();
    if (numbers.decimal.isEmpty()) numbers.decimal = QStringLiteral(".");
    numbers.thousand = locale.groupSeparator();
    if (numbers.thousand.isEmpty()) numbers.thousand = QStringLiteral(" ");
    // The currency's decimals are the digits after the decimal point in one
    // unit of money written the locale's way.
    const QString money = locale.toCurrencyString(1.0, QStringLiteral("#"));
    const qsizetype point = money.lastIndexOf(numbers.decimal);
    int digits = 0;
    if (point >= 0)
        for (qsizetype i = point + numbers.decimal.size(); i < money.size() && money[i].isDigit(); ++i) ++digits;
    numbers.currencyDigits = point >= 0 ? digits : (money.contains(QLatin1Char('1')) ? 0 : 2);
    return numbers;
}

const RegionalNumbers& Regional() { return RegionalStore(); }

void SetRegionalNumbers(const RegionalNumbers& numbers) { RegionalStore() = numbers; }

}  // namespace reports
