#include "ReportLayoutRows.h"

#include <QMouseEvent>
#include <QPainter>

#include "ItemSchema.h"
#include "Settings.h"
#include "WindowLayout.h"

namespace reports {
namespace {

constexpr int kMargin = 4;
constexpr int kRowGap = 3;
constexpr int kDesignWidth = 560;

// Cuts characters from the end until the text fits.
QString Fitted(const QString& text, const QFontMetrics& metrics, int width, bool* cut) {
    QString out = text;
    while (!out.isEmpty() && metrics.horizontalAdvance(out) > width) out.chop(1);
    *cut = out.size() != text.size();
    return out;
}

}  // namespace

ReportLayoutRows::ReportLayoutRows(bool totals, QWidget* parent) : QWidget(parent), m_totals(totals) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ReportLayoutRows::SetLines(std::vector<const ReportLine*> lines, int reportWidth) {
    m_lines = std::move(lines);
    m_reportWidth = reportWidth > 0 ? reportWidth : 90;
    updateGeometry();
    update();
}

QFont ReportLayoutRows::ItemFont() const {
    QFont f("Arial");
    f.setPointSizeF(8.0 * common::WindowSizeFactor());
    return f;
}

int ReportLayoutRows::RowHeight() const { return QFontMetrics(ItemFont()).height() + 6; }

QSize ReportLayoutRows::sizeHint() const {
    const int width = int(kDesignWidth * common::WindowSizeFactor());
    return {width, 2 * kMargin + RowCount() * (RowHeight() + kRowGap)};
}

QSize ReportLayoutRows::minimumSizeHint() const { return {200, sizeHint().height()}; }

int ReportLayoutRows::DrawnItems(int row) const { return std::max(1, LineItemCount(*m_lines[size_t(row)])); }

QRect ReportLayoutRows::RowRect(int row) const {
    return {kMargin, kMargin + row * (RowHeight() + kRowGap), width() - 2 * kMargin, RowHeight()};
}

QRect ReportLayoutRows::ItemRect(int row, int item) const {
    const QRect r = RowRect(row);
    const ReportLine& line = *m_lines[size_t(row)];
    const int drawn = DrawnItems(row);
    auto rightEdge = [&](int i) {  // of item i, 1-based
        if (i == kItemsPerLine || i == drawn) return r.left() + r.width();
        long sum = 0;
        for (int k = 0; k < i; ++k) sum += line[size_t(k)].width;
        const long x = r.left() + long(r.width()) * sum / m_reportWidth;
        return int(std::min<long>(x, r.left() + r.width()));
    };
    const int left = item == 1 ? r.left() : rightEdge(item - 1);
    return QRect(left, r.top(), std::max(0, rightEdge(item) - left), r.height());
}

QString ReportLayoutRows::ItemText(int row, int item) const {
    const ReportItem& it = (*m_lines[size_t(row)])[size_t(item - 1)];
    if (it.IsFiller()) return "Filler";
    if (it.IsLabel()) return QString::fromStdString(it.label);
    if (!m_totals && it.number >= 1 && it.number <= store::kItemFieldCount)
        return common::AppSettings().Field(it.number).title;
    return QString::fromStdString(it.text);
}

std::optional<std::pair<int, int>> ReportLayoutRows::ItemAt(const QPoint& point) const {
    for (int row = 0; row < RowCount(); ++row) {
        if (!RowRect(row).contains(point)) continue;
        for (int item = 1; item <= DrawnItems(row); ++item)
            if (ItemRect(row, item).contains(point)) return std::make_pair(row, item);
    }
    return std::nullopt;
}

void ReportLayoutRows::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(ItemFont());
    const QFontMetrics metrics(p.font());
    for (int row = 0; row < RowCount(); ++row) {
        p.fillRect(RowRect(row), Qt::white);
        for (int item = 1; item <= DrawnItems(row); ++item) {
            const QRect r = ItemRect(row, item);
            if (r.width() <= 0) continue;
            p.setPen(Qt::black);
            p.drawRect(r.adjusted(0, 0, -1, -1));
            const ReportItem& it = (*m_lines[size_t(row)])[size_t(item - 1)];
            Qt::Alignment align = Qt::AlignLeft;
            QColor color = Qt::black;
            if (it.IsFiller()) {
                align = Qt::AlignHCenter;
                color = Qt::darkGreen;
            } else if (it.IsLabel()) {
                align = Qt::AlignRight;
                color = Qt::red;
            }
            const QRect inner = r.adjusted(2, 0, -2, 0);
            bool cut = false;
            const QString text = Fitted(ItemText(row, item), metrics, inner.width(), &cut);
            if (cut) align = Qt::AlignLeft;
            p.setPen(color);
            p.drawText(inner, int(align | Qt::AlignVCenter), text);
        }
    }
}

void ReportLayoutRows::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton ? ItemAt(event->position().toPoint()) : std::nullopt;
}

void ReportLayoutRows::mouseReleaseEvent(QMouseEvent* event) {
    const auto pressed = m_pressed;
    m_pressed.reset();
    if (event->button() != Qt::LeftButton || !pressed) return;
    if (ItemAt(event->position().toPoint()) == pressed && m_clicked) m_clicked(pressed->first, pressed->second);
}

}  // namespace reports
