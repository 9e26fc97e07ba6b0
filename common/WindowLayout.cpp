#include "WindowLayout.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTableView>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>
#include <map>

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

// True when a layout places the widget.
bool IsLaidOut(const QWidget& w) {
    const QWidget* parent = w.parentWidget();
    return parent && parent->layout();
}

bool HasFixingLayout(const QWidget& window) {
    return window.layout() && window.layout()->sizeConstraint() == QLayout::SetFixedSize;
}

QFont ExplicitFont(const QWidget& w) { return w.testAttribute(Qt::WA_SetFont) ? w.font() : QFont(); }

// The layouts of the window's own controls (not those inside compound
// controls such as combo boxes or lists), the window's layout included.
std::vector<QLayout*> Layouts(QWidget& window) {
    std::vector<QLayout*> out;
    for (QLayout* l : window.findChildren<QLayout*>()) {
        const QWidget* owner = l->parentWidget();
        if (!owner || owner->window() != &window) continue;
        if (owner != &window && (owner->isWindow() || IsInsideControl(owner, &window))) continue;
        if (owner != &window && (qobject_cast<const QComboBox*>(owner) || qobject_cast<const QAbstractItemView*>(owner)))
            continue;
        out.push_back(l);
    }
    return out;
}

// Horizontal and vertical spacing; -1 where the layout has none of its own.
std::pair<int, int> SpacingOf(const QLayout& l) {
    if (auto* grid = qobject_cast<const QGridLayout*>(&l)) return {grid->horizontalSpacing(), grid->verticalSpacing()};
    return {l.spacing(), l.spacing()};
}

void SetSpacing(QLayout& l, int horizontal, int vertical) {
    if (auto* grid = qobject_cast<QGridLayout*>(&l)) {
        grid->setHorizontalSpacing(horizontal);
        grid->setVerticalSpacing(vertical);
    } else if (horizontal >= 0) {
        l.setSpacing(horizontal);
    }
}

// Styles draw check-box and option-button indicators at a fixed size,
// whatever the font: this style grows them by a percentage so that they
// keep their proportion to the grown captions. The style draws the mark in
// the rectangle its metrics give, so a larger metric is a larger box.
class IndicatorStyle : public QProxyStyle {
public:
    explicit IndicatorStyle(int percent) : QProxyStyle(QApplication::style()->name()), m_percent(percent) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        switch (metric) {
        case PM_IndicatorWidth:
        case PM_IndicatorHeight:
        case PM_ExclusiveIndicatorWidth:
        case PM_ExclusiveIndicatorHeight: return Scaled(value, m_percent);
        default: return value;
        }
    }

private:
    int m_percent;
};

// One style per percentage for the whole run; widgets only borrow it.
QStyle* IndicatorStyleFor(int percent) {
    static std::map<int, QPointer<QStyle>> styles;
    QPointer<QStyle>& style = styles[percent];
    if (!style) {
        style = new IndicatorStyle(percent);
        style->setParent(qApp);
    }
    return style;
}

// Indicators of the window's check boxes and option buttons at the
// percentage; at 100 they go back to the application's style.
void ScaleIndicators(QWidget& window, int percent) {
    for (QWidget* w : Controls(window)) {
        if (!qobject_cast<QCheckBox*>(w) && !qobject_cast<QRadioButton*>(w)) continue;
        QStyle* wanted = percent == 100 ? nullptr : IndicatorStyleFor(percent);
        const bool borrowed = dynamic_cast<IndicatorStyle*>(w->style()) != nullptr;
        if (wanted ? w->style() != wanted : borrowed) w->setStyle(wanted);
    }
}

// Holds the design layout that a dialog records at its first showing.
class DesignHolder : public QObject {
public:
    explicit DesignHolder(QObject* parent) : QObject(parent) {}
    DesignLayout design;
};

class AltTypingFilter : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->modifiers() & Qt::AltModifier) && !key->text().isEmpty()) {
                event->ignore();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

// Text in the scheme's colour; a disabled control's text fades most of the
// way to its background, as the system's own colours do, so that a control
// that cannot be used never reads as one that can.
void SetText(QPalette& pal, QPalette::ColorRole role, const QColor& text, const QColor& back) {
    pal.setColor(role, text);
    const auto mix = [](int t, int b) { return (2 * t + 3 * b) / 5; };
    pal.setColor(QPalette::Disabled, role,
                 QColor(mix(text.red(), back.red()), mix(text.green(), back.green()), mix(text.blue(), back.blue())));
}

void SetColors(QWidget& w, QPalette::ColorRole backRole, const QColor& back, QPalette::ColorRole textRole,
               const QColor& text) {
    QPalette pal = w.palette();
    pal.setColor(backRole, back);
    SetText(pal, textRole, text, back);
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
    QWidget& w = const_cast<QWidget&>(window);
    m_size = window.size();
    m_controls.clear();
    m_fonts.clear();
    m_spacings.clear();
    for (QWidget* c : Controls(w)) m_controls.push_back({c, c->geometry(), c->minimumSize(), c->maximumSize()});
    m_fonts.push_back({&w, ExplicitFont(w)});
    for (QWidget* c : w.findChildren<QWidget*>())
        if (!c->isWindow()) m_fonts.push_back({c, ExplicitFont(*c)});
    for (QLayout* l : Layouts(w)) {
        const auto [h, v] = SpacingOf(*l);
        m_spacings.push_back({l, l->contentsMargins(), h, v});
    }
    m_recorded = true;
}

void DesignLayout::Restore(QWidget& window) const {
    if (!m_recorded) return;
    for (const FontOf& f : m_fonts)
        if (f.widget) f.widget->setFont(f.font);
    for (const Control& c : m_controls) {
        if (!c.widget) continue;
        c.widget->setMinimumSize(c.minimum);
        c.widget->setMaximumSize(c.maximum);
        if (!IsLaidOut(*c.widget)) c.widget->setGeometry(c.geometry);
    }
    for (const Spacing& s : m_spacings) {
        if (!s.layout) continue;
        s.layout->setContentsMargins(s.margins);
        SetSpacing(*s.layout, s.horizontal, s.vertical);
    }
    if (!HasFixingLayout(window)) window.resize(m_size);
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
    ScaleIndicators(window, percent);
    if (percent == 100) return;
    // Take every font before changing any, since children inherit fonts
    // from their parents and would otherwise grow twice.
    struct Item {
        QWidget* widget;
        QFont font;
    };
    std::vector<Item> items;
    items.push_back({&window, window.font()});
    for (QWidget* w : window.findChildren<QWidget*>())
        if (!w->isWindow()) items.push_back({w, w->font()});
    for (const Item& item : items) item.widget->setFont(ScaledFont(item.font, percent / 100.0));
    for (QWidget* w : Controls(window)) {
        const QSize minimum = w->minimumSize(), maximum = w->maximumSize();
        auto grow = [percent](int v) { return v == QWIDGETSIZE_MAX ? v : Scaled(v, percent); };
        w->setMinimumSize(grow(minimum.width()), grow(minimum.height()));
        w->setMaximumSize(grow(maximum.width()), grow(maximum.height()));
        if (IsLaidOut(*w)) continue;
        const QRect g = w->geometry();
        w->setGeometry(Scaled(g.x(), percent), Scaled(g.y(), percent), Scaled(g.width(), percent),
                       Scaled(g.height(), percent));
    }
    for (QLayout* l : Layouts(window)) {
        const QMargins m = l->contentsMargins();
        l->setContentsMargins(Scaled(m.left(), percent), Scaled(m.top(), percent), Scaled(m.right(), percent),
                              Scaled(m.bottom(), percent));
        const auto [h, v] = SpacingOf(*l);
        SetSpacing(*l, h < 0 ? h : Scaled(h, percent), v < 0 ? v : Scaled(v, percent));
    }
    const QSize size = window.size();
    const QSize scaled(Scaled(size.width(), percent), Scaled(size.height(), percent));
    if (HasFixingLayout(window)) {
        window.layout()->activate();
    } else if (window.minimumSize() == window.maximumSize()) {
        window.setFixedSize(scaled);
    } else {
        if (window.layout()) window.layout()->activate();
        window.resize(scaled.expandedTo(window.sizeHint()));
    }
}

QPoint WindowLayout::CentredPosition(const QRect& screen, const QSize& window) {
    return {screen.x() + (screen.width() - window.width()) / 2, screen.y() + (screen.height() - window.height()) / 2};
}

void WindowLayout::Centre(QWidget& window) {
    // A layout that fixes the window's size applies it when activated; the
    // window is centred for the size it really takes.
    window.ensurePolished();
    if (QLayout* top = window.layout()) {
        // Changes deep inside (a caption set on a notebook page, a page not
        // on show) climb to the window's layout one posted request at a
        // time, and not at all from hidden pages: every control's size
        // hint is taken afresh now, so the window takes its final size.
        for (int depth = 0; depth < 8; ++depth) QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        for (QWidget* w : window.findChildren<QWidget*>())
            if (!w->isWindow()) w->updateGeometry();
        top->invalidate();
        top->activate();
    }
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
    // Text on the window's own background that no title colour claims takes
    // the minor title colour, which every scheme sets off from its background.
    QPalette pal = window.palette();
    SetText(pal, QPalette::WindowText, group[ColorSlot::MinorTitle], group[ColorSlot::MainBackground]);
    window.setPalette(pal);
    for (QWidget* w : Controls(window)) {
        if (qobject_cast<QMenuBar*>(w) || qobject_cast<QToolBar*>(w) || qobject_cast<QTabBar*>(w) ||
            qobject_cast<QPushButton*>(w) || qobject_cast<QToolButton*>(w)) {
            KeepSystemColors(*w);
        } else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QTextEdit*>(w) ||
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
    if (!layout) {
        // Recorded at the first showing, so a dialog shown again scales from
        // its design, not from its last showing.
        DesignHolder* holder = nullptr;
        for (QObject* child : window.children())
            if ((holder = dynamic_cast<DesignHolder*>(child))) break;
        if (!holder) {
            holder = new DesignHolder(&window);
            holder->design.Record(window);
        }
        layout = &holder->design;
    }
    layout->Restore(window);
    ApplyFonts(window, AppSettings().scheme);
    Scale(window, WindowSizeFactor());
    Centre(window);
    for (QLineEdit* edit : window.findChildren<QLineEdit*>()) IgnoreAltTyping(*edit);
}

void WindowLayout::FinishShowing(QWidget& window, bool moveUpIfLow) {
    Centre(window);
    if (moveUpIfLow) MoveUpIfLow(window);
}

void WindowLayout::KeepSystemColors(QWidget& widget) {
    // Every role set explicitly, so nothing is inherited from the window.
    const QPalette system = QApplication::palette(&widget);
    QPalette pal;
    for (int g = 0; g < QPalette::NColorGroups; ++g)
        for (int r = 0; r < QPalette::NColorRoles; ++r) {
            const auto group = QPalette::ColorGroup(g);
            const auto role = QPalette::ColorRole(r);
            pal.setBrush(group, role, system.brush(group, role));
        }
    widget.setPalette(pal);
}

void WindowLayout::IgnoreAltTyping(QWidget& edit) {
    static AltTypingFilter filter;
    edit.removeEventFilter(&filter);
    edit.installEventFilter(&filter);
}

}  // namespace common
