#pragma once
// The font dialog of the program: Qt's font choice (typeface, style, size,
// and with effects underline and strikeout) with a text colour beside it,
// and a sample that shows the choice in its colour. The grid's fonts carry
// a colour of their own, which Qt's dialog alone cannot choose.
//
// A typeface the user does not touch stays as it was stored, even when this
// machine shows it in another face ("Arial" drawn with a look-alike stays
// "Arial"), so that pressing OK without a change changes nothing.

#include <QDialog>

#include "UiServices.h"

class QComboBox;
class QFontDialog;
class QLabel;
class QPushButton;

namespace common {

class FontChooser : public QDialog {
    Q_OBJECT

public:
    // Without effects the dialog offers neither underline, strikeout nor
    // colour, and the choice keeps those of the initial font.
    FontChooser(const FontChoice& initial, bool withEffects, QWidget* parent = nullptr);

    // What the dialog shows now, as it would be returned on OK.
    FontChoice Choice() const;

    // The colours the list offers, in order: the sixteen basic colours.
    static const QList<std::pair<QString, QColor>>& BasicColors();

    // Controls, for tests and the keyboard.
    QFontDialog* Fonts = nullptr;
    QComboBox* ColorCombo = nullptr;
    QPushButton* OtherColorButton = nullptr;
    QLabel* Sample = nullptr;

    void SetColor(const QColor& color);
    // "Other Color...": the colour dialog, starting from the current colour.
    void ChooseOtherColor();

private:
    void UpdateSample();

    FontChoice m_initial;
    bool m_withEffects;
    QFont m_shown;  // the font as the dialog first showed it
};

}  // namespace common
