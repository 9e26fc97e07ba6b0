#pragma once
// Checks what a user sees of a shown window: every caption, box text and
// cell shown whole in the font it is drawn with, every control inside the
// control or window that holds it, and the window centred for the size it
// really has.

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QTabWidget>
#include <climits>
#include <cstdlib>
#include <map>
#include <utility>
#include <vector>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QImage>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QTableWidget>
#include <QWidget>

#include "WindowLayout.h"

namespace window_fit {

inline int TextWidth(const QFont& font, const QString& text) {
    return QFontMetrics(font).size(Qt::TextShowMnemonic, text).width();
}

inline QString Describe(const QWidget* w, const QString& text) {
    return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(w->metaObject()->className()), text);
}

// A line of what is cut; empty when all is well.
inline QString TooNarrow(const QWidget* w, const QString& text, int needed, int has) {
    if (needed <= has) return {};
    return Describe(w, text) + QStringLiteral(" needs %1 pixels, has %2").arg(needed).arg(has);
}

// Cells of a list or grid that are cut by their column or by the view.
inline QStringList CutCells(QAbstractItemView* view) {
    QStringList out;
    if (auto* table = qobject_cast<QTableWidget*>(view)) {
        for (int c = 0; c < table->columnCount(); ++c) {
            if (table->isColumnHidden(c)) continue;
            const int width = table->columnWidth(c);
            if (table->horizontalHeader()->isVisible()) {
                if (QTableWidgetItem* h = table->horizontalHeaderItem(c)) {
                    const QFont font = h->data(Qt::FontRole).isValid() ? h->font() : table->horizontalHeader()->font();
                    const QString cut = TooNarrow(table, h->text(), TextWidth(font, h->text()) + 4, width);
                    if (!cut.isEmpty()) out << cut;
                }
            }
            for (int r = 0; r < table->rowCount(); ++r) {
                QTableWidgetItem* item = table->item(r, c);
                if (!item || table->isRowHidden(r) || item->text().isEmpty()) continue;
                const QFont font = item->data(Qt::FontRole).isValid() ? item->font() : table->font();
                const QString cut = TooNarrow(table, item->text(), TextWidth(font, item->text()) + 4, width);
                if (!cut.isEmpty()) out << cut;
            }
        }
        if (table->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff) {
            int total = 0;
            for (int c = 0; c < table->columnCount(); ++c)
                if (!table->isColumnHidden(c)) total += table->columnWidth(c);
            const QString cut = TooNarrow(table, QStringLiteral("all columns"), total, table->viewport()->width());
            if (!cut.isEmpty()) out << cut;
        }
    } else if (auto* list = qobject_cast<QListWidget*>(view)) {
        for (int r = 0; r < list->count(); ++r) {
            const QListWidgetItem* item = list->item(r);
            const QString cut =
                TooNarrow(list, item->text(), TextWidth(list->font(), item->text()) + 6, list->viewport()->width());
            if (!cut.isEmpty()) out << cut;
        }
    }
    return out;
}

// The controls a user reads or works: what a window lays out side by side.
// Their own parts (the edit line of a combo box, the cells of a view) and
// what stands in a view are left out.
inline bool IsControl(const QWidget* w) {
    return qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w) ||
           qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractScrollArea*>(w) ||
           qobject_cast<const QGroupBox*>(w) || qobject_cast<const QProgressBar*>(w) ||
           qobject_cast<const QTabWidget*>(w);
}

// Every two visible controls of the window that cover one another: a
// control put in a taken cell, or left out of its layout, lies on another.
// A control and what it holds (a group box and its boxes) are not a pair.
inline QStringList Overlapping(QWidget& window) {
    std::vector<std::pair<QWidget*, QRect>> controls;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != &window || !IsControl(w)) continue;
        bool part = false;
        for (QWidget* p = w->parentWidget(); p && p != &window; p = p->parentWidget())
            if (IsControl(p) && !qobject_cast<QGroupBox*>(p) && !qobject_cast<QTabWidget*>(p)) part = true;
        if (part) continue;
        controls.emplace_back(w, QRect(w->mapTo(&window, QPoint(0, 0)), w->size()));
    }
    QStringList out;
    // Inside a group box, below its title and within its frame.
    for (const auto& [w, at] : controls)
        if (auto* box = qobject_cast<QGroupBox*>(w->parentWidget()); box && !box->contentsRect().contains(w->geometry()))
            out << Describe(w, w->objectName()) + QStringLiteral(" lies on the title or frame of the group box \"%1\"").arg(box->title());
    for (size_t i = 0; i < controls.size(); ++i)
        for (size_t j = i + 1; j < controls.size(); ++j) {
            QWidget* a = controls[i].first;
            QWidget* b = controls[j].first;
            if (a->isAncestorOf(b) || b->isAncestorOf(a)) continue;
            const QRect both = controls[i].second & controls[j].second;
            if (both.isEmpty()) continue;
            auto name = [](QWidget* w) {
                if (auto* l = qobject_cast<QLabel*>(w)) return Describe(w, l->text());
                if (auto* b = qobject_cast<QAbstractButton*>(w)) return Describe(w, b->text());
                if (auto* g = qobject_cast<QGroupBox*>(w)) return Describe(w, g->title());
                return Describe(w, w->objectName());
            };
            out << QStringLiteral("%1 and %2 overlap by %3 x %4")
                       .arg(name(a), name(b))
                       .arg(both.width())
                       .arg(both.height());
        }
    return out;
}

// Every visible control of the window that shows less than its text, or
// lies partly outside what holds it.
inline QStringList Clipped(QWidget& window) {
    QStringList out;
    auto add = [&out](const QString& line) {
        if (!line.isEmpty()) out << line;
    };
    QStyle* style = window.style();
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != &window) continue;
        bool insideView = false;
        for (QWidget* p = w->parentWidget(); p && p != &window; p = p->parentWidget())
            if (qobject_cast<QAbstractScrollArea*>(p)) insideView = true;  // a view or what scrolls in it
        if (insideView && !qobject_cast<QLineEdit*>(w)) continue;
        // Inside what holds it.
        if (QWidget* parent = w->parentWidget(); parent && !insideView && !parent->rect().contains(w->geometry()))
            add(Describe(w, w->objectName()) +
                QStringLiteral(" lies outside its %1").arg(QString::fromLatin1(parent->metaObject()->className())));
        const QFont font = w->font();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->text().isEmpty()) continue;
            if (label->wordWrap()) {
                if (label->heightForWidth(label->width()) > label->height())
                    add(Describe(w, label->text()) + QStringLiteral(" is cut at the bottom"));
            } else {
                const QSize needed = QFontMetrics(font).size(Qt::TextShowMnemonic, label->text());
                const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                                                  -label->margin());
                add(TooNarrow(w, label->text(), needed.width(), room.width()));
                add(TooNarrow(w, label->text() + QStringLiteral(" (height)"), needed.height(), room.height()));
            }
        } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
            const int needed = w->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
                               w->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w) +
                               TextWidth(font, check->text());
            add(TooNarrow(w, check->text(), needed, w->width()));
        } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
            const int needed = w->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, w) +
                               w->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, w) +
                               TextWidth(font, radio->text());
            add(TooNarrow(w, radio->text(), needed, w->width()));
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            if (button->text().isEmpty()) continue;
            add(TooNarrow(w, button->text(), TextWidth(font, button->text()) + 6, w->width()));
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            const QString text = edit->displayText().isEmpty() ? edit->placeholderText() : edit->displayText();
            const int frame = edit->hasFrame() ? 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w) : 0;
            const QMargins margins = edit->textMargins();
            add(TooNarrow(w, text, TextWidth(font, text) + frame + 4 + margins.left() + margins.right(), w->width()));
            add(TooNarrow(w, text + QStringLiteral(" (height)"), QFontMetrics(font).height(), w->height()));
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            if (combo->isEditable()) continue;  // its edit line is checked as an edit box
            const int arrow = style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, w);
            add(TooNarrow(w, combo->currentText(), TextWidth(font, combo->currentText()) + arrow + 8, w->width()));
        } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < tabs->count(); ++i)
                add(TooNarrow(w, tabs->tabText(i), TextWidth(font, tabs->tabText(i)), tabs->tabRect(i).width()));
        } else if (auto* view = qobject_cast<QAbstractItemView*>(w)) {
            out << CutCells(view);
        }
    }
    return out;
}

// The caption a user reads for a box: the nearest visible label to its
// left on the same line of the window. Empty when there is none.
inline QString CaptionBeside(QWidget& control) {
    QWidget* window = control.window();
    const QRect box(control.mapTo(window, QPoint(0, 0)), control.size());
    QString caption;
    int nearest = INT_MAX;
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->isVisible()) continue;
        const QRect r(label->mapTo(window, QPoint(0, 0)), label->size());
        const int gap = box.left() - r.right();
        if (gap <= 0 || r.center().y() < box.top() || r.center().y() > box.bottom() || gap >= nearest) continue;
        nearest = gap;
        caption = label->text();
    }
    return caption;
}

// The most common colour of the image's area: the background.
inline QRgb Background(const QImage& image, const QRect& area) {
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) ++counts[image.pixel(x, y)];
    QRgb background = 0;
    int most = -1;
    for (const auto& [rgb, n] : counts)
        if (n > most) most = n, background = rgb;
    return background;
}

// The rectangle the ink of the image's area takes: the pixels whose grey
// differs from the background's by more than the threshold.
inline QRect InkBounds(const QImage& image, const QRect& area, int threshold = 40) {
    const int light = qGray(Background(image, area));
    QRect bounds;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (std::abs(qGray(image.pixel(x, y)) - light) > threshold) bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// Where the widget's text or drawing stands, in the coordinates of its
// window. Empty when nothing is drawn.
inline QRect InkIn(QWidget& w) {
    const QImage image = w.grab().toImage();
    const QRect ink = InkBounds(image, image.rect(), 60);
    if (ink.isNull()) return ink;
    const qreal ratio = image.devicePixelRatio();
    const QRect scaled(int(ink.x() / ratio), int(ink.y() / ratio), int(ink.width() / ratio), int(ink.height() / ratio));
    return scaled.translated(w.mapTo(w.window(), QPoint(0, 0)));
}

// Where the window should be: centred on its screen for the size it really
// has, and 10 pixels higher when it moves up while lying low. The frame a
// window system adds round it is not known before it first appears, so
// either its inside or its frame may stand where the centring put it.
inline QPoint ExpectedPosition(const QWidget& window, bool movesUp) {
    const QRect screen = window.screen()->geometry();
    QPoint p = common::WindowLayout::CentredPosition(screen, window.size());
    if (movesUp && p.y() - screen.y() > 10) p.ry() -= 10;
    return p;
}

inline bool IsCentred(const QWidget& window, bool movesUp) {
    const QPoint p = ExpectedPosition(window, movesUp);
    const QPoint inside = window.geometry().topLeft(), frame = window.frameGeometry().topLeft();
    return (inside.x() == p.x() || frame.x() == p.x()) && (inside.y() == p.y() || frame.y() == p.y());
}

inline QString Where(const QWidget& window, bool movesUp) {
    const QPoint p = ExpectedPosition(window, movesUp), at = window.geometry().topLeft();
    return QStringLiteral("at %1,%2 (size %3 x %4), centred would be %5,%6")
        .arg(at.x())
        .arg(at.y())
        .arg(window.width())
        .arg(window.height())
        .arg(p.x())
        .arg(p.y());
}

}  // namespace window_fit
