#pragma once
// How reports write numbers: money in the currency style, quantities in the
// number style. Each style is either the built-in one (decimal point ".",
// "," between groups of three digits, money with two decimals) or the
// regional one, which takes the decimal point, the group separator and the
// number of money decimals from the system's locale. The user picks the
// style of each in the Options menu.
//
// Both styles write fixed-point digits rounded half away from zero on the
// number's shortest decimal form (2.675 gives 2.68, as typed), no currency
// symbol, no leading blanks, and never a separator straight after a minus
// sign (-123,456.00).

#include <QString>

namespace reports {

// The regional number values, read once at start-up.
struct RegionalNumbers {
    QString decimal = QStringLiteral(".");
    QString thousand = QStringLiteral(",");
    int currencyDigits = 2;

    bool operator==(const RegionalNumbers&) const = default;
};

// The values of the system's locale: its decimal point and group separator
// (an empty separator taken as a blank) and its currency's decimals (2 when
// the locale does not say).
RegionalNumbers SystemRegionalNumbers();

// The values in force for the run; built-in values until start-up reads the
// locale with SetRegionalNumbers.
const RegionalNumbers& Regional();
void SetRegionalNumbers(const RegionalNumbers& numbers);

struct NumberStyles {
    bool builtInNumbers = true;   // [Misc] Numeric Format "1"
    bool builtInCurrency = true;  // [Misc] Currency Format "1"
    RegionalNumbers regional;

    // A quantity: number style with the given decimals.
    QString Number(double value, int decimals) const;
    // Money: currency style, two decimals built in, the locale's regionally.
    QString Currency(double value) const;
};

// Fixed-point text of value with the decimals, "." as decimal point, the
// separator between groups of three digits left of it. Rounded half away
// from zero on the shortest decimal form of the value.
QString FormatFixed(double value, int decimals, const QString& decimal, const QString& thousand);

}  // namespace reports
