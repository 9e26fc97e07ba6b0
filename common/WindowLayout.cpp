#include "WindowLayout.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableView>
#include <QTextEdit>
#include <QWidget>

#include "Settings.h"

namespace common {
namespace {

double g_factor = 1.0;

// Widgets that compound controls build inside themselves (a combo box's
// line edit and popup list, a table's headers) belong to that control and
// are not controls of the window.
bool IsInsideControl(const QWidget* widget, const QWidget* window) {
    for (const QWidget* p = widget->parentWidget(); p && p != window; p = p->parentWidget()) {
        if (qobject_cast<const QComboBox*>(p) || qobject_cast<const QAbstractSpinBox*>(p) ||
            qobject_cast<const QAbstractItemView*>(p) || qobject_cast<const QTextEdit*>(p) ||
            qobject_cast<const QPlainTextEdit*>(p))
            return true;
    }
    return false;
}

std::vector<QWidget*> Controls(QWidget& window) {
    std::vector<QWidget*> out;
    for (QWidget* w : window.findChildren<QWidget*>())
        if (!w->isWindow() && !IsInsideControl(w, &window)) out.push_back(w);
    return out;
}

const QFont* SharedFontFor(const QWidget* w, const DisplayScheme& scheme) {
    if (qobject_cast<const QLabel*>(w) || qobject_cast<const QListView*>(w) || qobject_cast<const QCheckBox*>(w) ||
        qobject_cast<const QRadioButton*>(w) || qobject_cast<const QGroupBox*>(w))
        return &scheme.labelFont;
    if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) || qobject_cast<const QTableView*>(w) ||
        qobject_cast<const QAbstractSpinBox*>(w))
        return &scheme.editFont;
    if (qobject_cast<const QPushButton*>(w)) return &scheme.buttonFont;
    return nullptr;
}

int Scaled(int value, int percent) { return qRound(value * percent / 100.0); }

QFont ScaledFont(QFont font, double factor) {
    if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * factor);
    else if (font.pixelSize() > 0) font.setPixelSize(qRound(font.pixelSize() * factor));
    return font;
}

QRect ScreenOf(const QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 640, 480);
}

void SetColors(QWidget& w, QPalette::ColorRole backRole, const QColor& back, QPalette::ColorRole textRole,
               const QColor& text) {
    QPalette pal = w.palette();
    pal.setColor(backRole, back);
    pal.setColor(textRole, text);
    w.setPalette(pal);
}

}  // namespace

double FactorForWindowSize(int preset) {
    switch (preset) {
    case 800: return 1.25;
    case 1024: return 1.6;
    case 1280: return 2.0;
    default: return 1.0;
    }
}

double WindowSizeFactor() { return g_factor; }
void SetWindowSizeFactor(double factor) { g_factor = factor; }

void DesignLayout::Record(const QWidget& window) {
    m_size = window.size();
    m_font = window.font();
    m_controls.clear();
    for (QWidget* w : Controls(const_cast<QWidget&>(window))) m_controls.push_back({w, w->geometry(), w->font()});
    m_recorded = true;
}

void DesignLayout::Restore(QWidget& window) const {
    if (!m_recorded) return;
    window.setFont(m_font);
    for (const Control& c : m_controls) {
        if (!c.widget) continue;
        c.widget->setFont(c.font);
        const QWidget* parent = c.widget->parentWidget();
        if (!parent || !parent->layout()) c.widget->setGeometry(c.geometry);
    }
    window.resize(m_size);
}

void WindowLayout::ApplyFonts(QWidget& window, const DisplayScheme& scheme) {
    for (QWidget* w : Controls(window)) {
        const QFont* shared = SharedFontFor(w, scheme);
        if (!shared) continue;
        QFont font = w->font();
        font.setFamily(shared->family());
        font.setBold(shared->bold());
        font.setItalic(shared->italic());
        w->setFont(font);
    }
}

void WindowLayout::Scale(QWidget& window, double factor) {
    const int percent = qRound(factor * 100);
    if (percent == 100) return;
    // Take every font before changing any, since children inherit fonts
    // from their parents and would otherwise grow twice.
    struct Item {
        QWidget* widget;
        QFont font;
        QRect geometry;
    };
    std::vector<Item> items;
    items.push_back({&window, window.font(), window.geometry()});
    for (QWidget* w : window.findChildren<QWidget*>())
        if (!w->isWindow()) items.push_back({w, w->font(), w->geometry()});
    for (const Item& item : items) item.widget->setFont(ScaledFont(item.font, percent / 100.0));
    for (size_t i = 1; i < items.size(); ++i) {
        QWidget* w = items[i].widget;
        const QWidget* parent = w->parentWidget();
        if (parent && parent->layout()) continue;
        const QRect g = items[i].geometry;
        if (w->minimumSize() == w->maximumSize()) w->setFixedSize(Scaled(g.width(), percent), Scaled(g.height(), percent));
        w->setGeometry(Scaled(g.x(), percent), Scaled(g.y(), percent), Scaled(g.width(), percent),
                       Scaled(g.height(), percent));
    }
    const QSize size = items[0].geometry.size();
    const QSize scaled(Scaled(size.width(), percent), Scaled(size.height(), percent));
    if (window.minimumSize() == window.maximumSize()) window.setFixedSize(scaled);
    window.resize(scaled);
}

QPoint WindowLayout::CentredPosition(const QRect& screen, const QSize& window) {
    return {screen.x() + (screen.width() - window.width()) / 2, screen.y() + (screen.height() - window.height()) / 2};
}

void WindowLayout::Centre(QWidget& window) {
    window.move(CentredPosition(ScreenOf(window), window.frameGeometry().size()));
}

void WindowLayout::MoveUpIfLow(QWidget& window) {
    const QRect screen = ScreenOf(window);
    const QPoint pos = window.pos();
    if (pos.y() - screen.y() > 10) window.move(pos.x(), pos.y() - 10);
}

void WindowLayout::SetBackground(QWidget& widget, const QColor& color) {
    QPalette pal = widget.palette();
    pal.setColor(QPalette::Window, color);
    widget.setPalette(pal);
    widget.setAutoFillBackground(true);
}

void WindowLayout::SetTextColor(QWidget& widget, const QColor& color) {
    QPalette pal = widget.palette();
    pal.setColor(QPalette::WindowText, color);
    pal.setColor(QPalette::Text, color);
    pal.setColor(QPalette::ButtonText, color);
    widget.setPalette(pal);
}

void WindowLayout::ApplyColors(QWidget& window, const ColorGroup& group) {
    SetBackground(window, group[ColorSlot::MainBackground]);
    for (QWidget* w : Controls(window)) {
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QTextEdit*>(w) ||
            qobject_cast<QPlainTextEdit*>(w)) {
            SetColors(*w, QPalette::Base, group[ColorSlot::EditBackground], QPalette::Text, group[ColorSlot::EditText]);
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            SetColors(*combo, QPalette::Base, group[ColorSlot::ComboBackground], QPalette::Text,
                      group[ColorSlot::ComboText]);
            SetColors(*combo, QPalette::Button, group[ColorSlot::ComboBackground], QPalette::ButtonText,
                      group[ColorSlot::ComboText]);
        } else if (qobject_cast<QAbstractItemView*>(w)) {
            SetColors(*w, QPalette::Base, group[ColorSlot::ListBoxBackground], QPalette::Text,
                      group[ColorSlot::ListBoxText]);
        } else if (qobject_cast<QRadioButton*>(w)) {
            SetColors(*w, QPalette::Window, group[ColorSlot::RadioBackground], QPalette::WindowText,
                      group[ColorSlot::RadioText]);
            // Buttons fill with the button colour unless told otherwise.
            w->setBackgroundRole(QPalette::Window);
            w->setAutoFillBackground(true);
        } else if (qobject_cast<QCheckBox*>(w)) {
            SetColors(*w, QPalette::Window, group[ColorSlot::CheckBackground], QPalette::WindowText,
                      group[ColorSlot::CheckText]);
            w->setBackgroundRole(QPalette::Window);
            w->setAutoFillBackground(true);
        }
    }
}

void WindowLayout::PrepareDialog(QWidget& window, const DesignLayout* layout) {
    if (layout) layout->Restore(window);
    ApplyFonts(window, AppSettings().scheme);
    Scale(window, WindowSizeFactor());
    Centre(window);
}

}  // namespace common
