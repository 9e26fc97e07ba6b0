#pragma once
// Edit templates restrict what can be typed into an edit box or grid cell:
// "9" an optional digit, "0" a required digit, "c" an optional character of
// any kind, "/" the current date separator, "\" makes the next character a
// literal, "!" shows unfilled optional positions as leading rather than
// trailing blanks. After the first ";" comes "1" when the literals belong
// to the text, after the second the character shown for an empty position
// ("_" when absent). Every other character is a literal.
//
// Qt input masks look alike but differ ("9" and "0" are swapped, letters
// such as A, N, X and the signs > < ! are mask characters), so a template
// is always translated, never passed through.

#include <QChar>
#include <QString>
#include <vector>

class QLineEdit;

namespace common {

class EditTemplate {
public:
    explicit EditTemplate(const QString& templateText);

    // The Qt input mask with the date separator given ("/" resolves to it);
    // every literal escaped.
    QString InputMask(QChar dateSeparator) const;
    // With the program's current date separator.
    QString InputMask() const;

    bool KeepsLiterals() const { return m_keepLiterals; }
    bool LeadingBlanks() const { return m_leadingBlanks; }
    QChar BlankChar() const { return m_blank; }

    // Installs the mask on the edit box.
    void Apply(QLineEdit& edit) const;
    // The box's text as the template defines it: literals included when
    // kept, each run of input positions with its unfilled positions as
    // blanks, at the front of the run with "!" and at its end otherwise.
    QString Text(const QLineEdit& edit) const;
    // The same from what the box displays (blank characters included).
    QString TextFromDisplay(const QString& display) const;

private:
    struct Position {
        enum Kind { Literal, OptionalDigit, RequiredDigit, AnyChar, DateSeparator } kind;
        QChar literal;
    };
    std::vector<Position> m_positions;
    bool m_keepLiterals = false;
    bool m_leadingBlanks = false;
    QChar m_blank = u'_';
};

}  // namespace common
