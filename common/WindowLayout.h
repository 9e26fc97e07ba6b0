#pragma once
// What every dialog does when it is shown: take the shared fonts by control
// kind, grow by the window-size factor, centre itself on the screen, and
// take its colour group's colours. Persistent dialogs also keep their
// design layout so that each showing scales from the design size again
// instead of compounding the previous scaling.

#include <QColor>
#include <QFont>
#include <QMargins>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <vector>

#include "ColorGroup.h"
#include "DisplayScheme.h"

class QLayout;
class QWidget;

namespace common {

// The window-size factor from the screen size preset: 640 gives 1.0, 800
// 1.25, 1024 1.6, 1280 2.0, anything else 1.0.
double FactorForWindowSize(int preset);
// The factor in force for the run (set by start-up and the screen size menu).
double WindowSizeFactor();
void SetWindowSizeFactor(double factor);

// A dialog's design sizes, fonts, positions and layout spacing, recorded
// once and put back before each showing, so that scaling always starts from
// the design and never compounds.
class DesignLayout {
public:
    void Record(const QWidget& window);
    void Restore(QWidget& window) const;
    bool IsRecorded() const { return m_recorded; }

private:
    struct Control {
        QPointer<QWidget> widget;
        QRect geometry;
        QSize minimum;
        QSize maximum;
    };
    struct FontOf {
        QPointer<QWidget> widget;
        QFont font;  // a default font when the widget inherits its font
    };
    struct Spacing {
        QPointer<QLayout> layout;
        QMargins margins;
        int horizontal;
        int vertical;
    };
    bool m_recorded = false;
    QSize m_size;
    std::vector<Control> m_controls;
    std::vector<FontOf> m_fonts;
    std::vector<Spacing> m_spacings;
};

class WindowLayout {
public:
    // Labels, list boxes, check boxes, radio buttons and group boxes take
    // the label font's typeface, bold and italic; line edits, combo boxes,
    // tables and spin boxes the edit font's; push buttons the button
    // font's. Each control keeps its own size and colour; other controls
    // are left alone.
    static void ApplyFonts(QWidget& window, const DisplayScheme& scheme);
    // The whole window grows by the factor (percentage = factor x 100,
    // rounded): every font, check-box and option-button indicators, the
    // geometry of controls that no layout places, the least and greatest
    // sizes the design gives controls, and the margins and spacing of
    // layouts. A window whose layout fixes its size takes the size its
    // grown contents need; any other window at least that size.
    static void Scale(QWidget& window, double factor);
    // Left = (screen width - window width) / 2, top likewise, halves
    // rounded toward zero.
    static QPoint CentredPosition(const QRect& screen, const QSize& window);
    // Centres the window for the size it has now.
    static void Centre(QWidget& window);
    // Moves the window up by 10 pixels when its top edge lies more than 10
    // pixels below the top of the screen.
    static void MoveUpIfLow(QWidget& window);

    // Colours controls by kind: the window's background, edit boxes, combo
    // boxes, lists and tables, radio buttons and check boxes. Titles are
    // the window's own business (SetTextColor with the title colours).
    static void ApplyColors(QWidget& window, const ColorGroup& group);
    static void SetBackground(QWidget& widget, const QColor& color);
    static void SetTextColor(QWidget& widget, const QColor& color);

    // The showing sequence of every dialog: restore the design layout (the
    // one given, or one the dialog records at its first showing), apply the
    // shared fonts of the settings, scale by the window-size factor and
    // centre.
    static void PrepareDialog(QWidget& window, const DesignLayout* layout = nullptr);
    // The last step of showing, once captions and contents are in place:
    // the window takes its final size, is centred for it, and (when asked)
    // moves up by 10 pixels when it lies low.
    static void FinishShowing(QWidget& window, bool moveUpIfLow);

    // Menu bars, tool bars, tab bars and push and tool buttons keep the
    // system's colours whatever colour group the window around them has, so
    // their text and glyphs stay visible.
    static void KeepSystemColors(QWidget& widget);

    // Alt with a letter is a command key (a button's or menu's mnemonic),
    // never typing: the edit box (or a cell editor) ignores it, also when no
    // enabled command answers to it.
    static void IgnoreAltTyping(QWidget& edit);
};

}  // namespace common
