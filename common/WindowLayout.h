#pragma once
// What every dialog does when it is shown: take the shared fonts by control
// kind, grow by the window-size factor, centre itself on the screen, and
// take its colour group's colours. Persistent dialogs also keep their
// design layout so that each showing scales from the design size again
// instead of compounding the previous scaling.

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <vector>

#include "ColorGroup.h"
#include "DisplayScheme.h"

class QWidget;

namespace common {

// The window-size factor from the screen size preset: 640 gives 1.0, 800
// 1.25, 1024 1.6, 1280 2.0, anything else 1.0.
double FactorForWindowSize(int preset);
// The factor in force for the run (set by start-up and the screen size menu).
double WindowSizeFactor();
void SetWindowSizeFactor(double factor);

// A persistent dialog's design sizes, fonts and positions, recorded once
// when it is created and put back before each showing.
class DesignLayout {
public:
    void Record(const QWidget& window);
    void Restore(QWidget& window) const;
    bool IsRecorded() const { return m_recorded; }

private:
    struct Control {
        QPointer<QWidget> widget;
        QRect geometry;
        QFont font;
    };
    bool m_recorded = false;
    QSize m_size;
    QFont m_font;
    std::vector<Control> m_controls;
};

class WindowLayout {
public:
    // Labels, list boxes, check boxes, radio buttons and group boxes take
    // the label font's typeface, bold and italic; line edits, combo boxes,
    // tables and spin boxes the edit font's; push buttons the button
    // font's. Each control keeps its own size and colour; other controls
    // are left alone.
    static void ApplyFonts(QWidget& window, const DisplayScheme& scheme);
    // Fonts and size of the window, and the geometry of controls that no
    // layout places, grow by the factor (percentage = factor x 100, rounded).
    static void Scale(QWidget& window, double factor);
    // Left = (screen width - window width) / 2, top likewise, halves
    // rounded toward zero.
    static QPoint CentredPosition(const QRect& screen, const QSize& window);
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

    // The showing sequence of every dialog: restore the design layout when
    // one is given, apply the shared fonts of the settings, scale by the
    // window-size factor and centre.
    static void PrepareDialog(QWidget& window, const DesignLayout* layout = nullptr);
};

}  // namespace common
