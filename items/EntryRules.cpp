#include "EntryRules.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

#include "TextRules.h"

namespace items {

namespace {

// Length of the longest number at the front of text (from pos), or 0.
qsizetype NumberPrefix(const QString& text, qsizetype pos) {
    qsizetype i = pos;
    const qsizetype n = text.size();
    if (i < n && (text[i] == u'+' || text[i] == u'-')) ++i;
    qsizetype digits = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) { ++i; ++digits; }
    if (i < n && text[i] == u'.') {
        qsizetype j = i + 1, fraction = 0;
        while (j < n && text[j].isDigit() && text[j].unicode() < 128) { ++j; ++fraction; }
        if (digits + fraction > 0) {
            i = j;
            digits += fraction;
        }
    }
    if (digits == 0) return 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-')) ++j;
        qsizetype expDigits = 0;
        while (j < n && text[j].isDigit() && text[j].unicode() < 128) { ++j; ++expDigits; }
        if (expDigits > 0) i = j;
    }
    return i - pos;
}

}  // namespace

std::optional<double> EntryRules::Amount(const QString& trimmed) {
    if (trimmed.isEmpty() || NumberPrefix(trimmed, 0) != trimmed.size()) return std::nullopt;
    bool ok = false;
    const double v = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<int> EntryRules::WholeNumber(const QString& trimmed) {
    static const QRegularExpression whole(QStringLiteral("^[+-]?[0-9]+$"));
    if (!whole.match(trimmed).hasMatch()) return std::nullopt;
    bool ok = false;
    const int v = trimmed.toInt(&ok);
    if (!ok) return std::nullopt;
    return v;
}

double EntryRules::LeadingAmount(const QString& text) {
    qsizetype start = 0;
    while (start < text.size() && text[start] == u' ') ++start;
    const qsizetype length = NumberPrefix(text, start);
    if (length == 0) return 0;
    bool ok = false;
    const double v = text.mid(start, length).toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

bool EntryRules::IsNoDate(const QString& trimmed) {
    return trimmed.isEmpty() || trimmed == QLatin1String("/  /") || trimmed == QLatin1String("-  -") ||
           trimmed == QLatin1String(".  .");
}

std::optional<store::Date> EntryRules::DateOf(const QString& trimmed) {
    if (IsNoDate(trimmed)) return std::nullopt;
    return store::CurrentDateFormat().Parse(trimmed.toStdString());
}

QString EntryRules::ShowDate(const store::Date& date) {
    return QString::fromStdString(store::CurrentDateFormat().FormatPadded(date));
}

QString EntryRules::Total(int quantity, double amount) {
    return common::TextRules::FormatAmountWithin(double(quantity) * amount, int(WidestTotal().size()) - 1) + u' ';
}

QString EntryRules::WidestTotal() { return QStringLiteral("-999,999,999,999,999.99 "); }

const char* const EntryRules::kInvalidWarrantyDate = "Invalid warranty date specified.  Please correct.";
const char* const EntryRules::kInvalidPurchaseDate = "Invalid purchase date specified.  Please correct.";
const char* const EntryRules::kInvalidCost = "Invalid cost specified.  Please correct.";
const char* const EntryRules::kInvalidValue = "Invalid value specified.  Please correct.";
const char* const EntryRules::kInvalidReplacementCost = "Invalid replacement cost specified.  Please correct.";
const char* const EntryRules::kInvalidQuantity = "Invalid quantity specified.  Please correct.";

const char* EntryRules::Refusal(int position, const QString& trimmed) {
    switch (position) {
    case 9: return WholeNumber(trimmed) ? nullptr : kInvalidQuantity;
    case 10: return IsNoDate(trimmed) || DateOf(trimmed) ? nullptr : kInvalidPurchaseDate;
    case 15: return IsNoDate(trimmed) || DateOf(trimmed) ? nullptr : kInvalidWarrantyDate;
    case 11: return Amount(trimmed) ? nullptr : kInvalidCost;
    case 13: return Amount(trimmed) ? nullptr : kInvalidReplacementCost;
    case 18: return Amount(trimmed) ? nullptr : kInvalidValue;
    default: return nullptr;
    }
}

}  // namespace items
