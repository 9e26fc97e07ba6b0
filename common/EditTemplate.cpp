#include "EditTemplate.h"

#include <QLineEdit>

#include "DateFormat.h"

namespace common {

EditTemplate::EditTemplate(const QString& templateText) {
    qsizetype i = 0;
    bool escaped = false;
    // The mask part ends at the first ";" that is not escaped.
    for (; i < templateText.size(); ++i) {
        const QChar c = templateText[i];
        if (escaped) {
            m_positions.push_back({Position::Literal, c});
            escaped = false;
            continue;
        }
        if (c == u';') break;
        switch (c.unicode()) {
        case '\\': escaped = true; break;
        case '!': m_leadingBlanks = true; break;
        case '9': m_positions.push_back({Position::OptionalDigit, c}); break;
        case '0': m_positions.push_back({Position::RequiredDigit, c}); break;
        case 'c': m_positions.push_back({Position::AnyChar, c}); break;
        case '/': m_positions.push_back({Position::DateSeparator, c}); break;
        default: m_positions.push_back({Position::Literal, c}); break;
        }
    }
    if (i >= templateText.size()) return;
    const QStringList parts = templateText.mid(i + 1).split(u';');
    m_keepLiterals = parts.value(0) == QLatin1String("1");
    if (parts.size() > 1 && !parts[1].isEmpty()) m_blank = parts[1][0];
}

QString EditTemplate::InputMask(QChar dateSeparator) const {
    QString mask;
    for (const Position& p : m_positions) {
        switch (p.kind) {
        case Position::OptionalDigit: mask += u'0'; break;
        case Position::RequiredDigit: mask += u'9'; break;
        case Position::AnyChar: mask += u'x'; break;
        case Position::DateSeparator: mask += u'\\'; mask += dateSeparator; break;
        case Position::Literal: mask += u'\\'; mask += p.literal; break;
        }
    }
    return mask + u';' + m_blank;
}

QString EditTemplate::InputMask() const { return InputMask(QChar::fromLatin1(store::CurrentDateFormat().Separator())); }

void EditTemplate::Apply(QLineEdit& edit) const { edit.setInputMask(InputMask()); }

QString EditTemplate::Text(const QLineEdit& edit) const { return TextFromDisplay(edit.displayText()); }

QString EditTemplate::TextFromDisplay(const QString& display) const {
    QString out;
    QString run;
    int blanks = 0;
    auto flush = [&] {
        const QString pad(blanks, u' ');
        out += m_leadingBlanks ? pad + run : run + pad;
        run.clear();
        blanks = 0;
    };
    for (size_t k = 0; k < m_positions.size(); ++k) {
        const QChar shown = qsizetype(k) < display.size() ? display[qsizetype(k)] : m_blank;
        const Position& p = m_positions[k];
        if (p.kind == Position::Literal || p.kind == Position::DateSeparator) {
            flush();
            if (m_keepLiterals) out += shown;
            continue;
        }
        if (shown == m_blank || shown == u' ') ++blanks;
        else run += shown;
    }
    flush();
    return out;
}

}  // namespace common
