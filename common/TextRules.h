#pragma once
// The small text rules every window shares: reading an integer the way the
// settings file and the item editor do, the amount form of money values,
// trimming and upper-casing for comparisons. They are deliberately narrower
// than Qt's own (spaces only, letters a to z only) so that comparisons give
// the same answers the stored data was built with.

#include <QString>
#include <string_view>

namespace common {

class TextRules {
public:
    // Leading blanks are skipped; then an optional "-" or "+", or a "$" that
    // makes the digits hexadecimal. A text that is a whole number throughout
    // gives its value, sign included. Otherwise the digits read before the
    // first other character give the value without the sign ("-12abc" is
    // 12); no digits at all give 0.
    static int ReadInteger(std::string_view text);
    static int ReadInteger(const QString& text);

    // Two decimals, "." as decimal point, "," between groups of three:
    // 3703.5 gives "3,703.50", -123.45 gives "-123.45".
    static QString FormatAmount(double value);
    // The amount format while it stays within maxLength characters (the
    // width a window gives an amount); beyond that a short scientific form
    // with two decimals, 1E300 giving "1.00E+300"; "Overflow" for a value
    // beyond the largest number.
    static QString FormatAmountWithin(double value, int maxLength);

    // Removes leading and trailing space characters (not tabs or newlines).
    static QString TrimSpaces(const QString& text);
    // Upper-cases the letters a to z only.
    static QString UpperAZ(const QString& text);
    // "Yes" in any mix of letter case.
    static bool IsYes(const QString& text);
    static QString YesNo(bool value);
};

}  // namespace common
