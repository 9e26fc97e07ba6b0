#include "TextRules.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace common {

int TextRules::ReadInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    bool hex = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    }
    const int base = hex ? 16 : 10;
    // Hexadecimal may use all 32 bits (colours with flag bytes); decimal is
    // limited to the int range, and a digit that would overflow ends the
    // number like any other stray character.
    const uint64_t limit = hex ? 0xFFFFFFFFull : uint64_t(std::numeric_limits<int>::max()) + (negative ? 1 : 0);
    uint64_t value = 0;
    size_t digits = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) break;
        const uint64_t next = value * base + d;
        if (next > limit) break;
        value = next;
        ++digits;
    }
    if (digits == 0) return 0;
    const bool whole = i == text.size();
    if (hex) {
        const int32_t bits = int32_t(uint32_t(value));
        return whole && negative ? -bits : bits;
    }
    if (whole && negative) return int(-int64_t(value));
    // Without the sign; the one value that only fits negated is clamped.
    return value > uint64_t(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(value);
}

int TextRules::ReadInteger(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return ReadInteger(std::string_view(bytes.constData(), size_t(bytes.size())));
}

QString TextRules::FormatAmount(double value) {
    // Room for every digit of the largest double (309 before the point).
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.2f", std::fabs(value));
    const QString plain = QString::fromLatin1(buf);
    const qsizetype point = plain.indexOf(u'.');
    const QString whole = plain.left(point);
    QString grouped;
    for (qsizetype k = 0; k < whole.size(); ++k) {
        if (k > 0 && (whole.size() - k) % 3 == 0) grouped += u',';
        grouped += whole[k];
    }
    QString out = grouped + plain.mid(point);
    // A value that rounds to zero shows no sign.
    if (value < 0 && out != QStringLiteral("0.00")) out.prepend(u'-');
    return out;
}

QString TextRules::FormatAmountWithin(double value, int maxLength) {
    if (!std::isfinite(value)) return QStringLiteral("Overflow");
    // The amount format of a value needs about a third more characters than
    // its digits; only values that could fit are formatted in full.
    if (std::fabs(value) < 1e30) {
        const QString amount = FormatAmount(value);
        if (amount.size() <= maxLength) return amount;
    }
    return QString::number(value, 'E', 2);
}

QString TextRules::TrimSpaces(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin] == u' ') ++begin;
    while (end > begin && text[end - 1] == u' ') --end;
    return text.mid(begin, end - begin);
}

QString TextRules::UpperAZ(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - 'a' + 'A');
    return out;
}

bool TextRules::IsYes(const QString& text) { return UpperAZ(text) == QStringLiteral("YES"); }

QString TextRules::YesNo(bool value) { return value ? QStringLiteral("Yes") : QStringLiteral("No"); }

}  // namespace common
