#pragma once
// The rows of Specify Report Layout: one row per line, each item of a line a
// rectangle as wide as its share of the report width, with the item's field
// title (black, left), label text (red, right) or "Filler" (dark green,
// centred). Pressing and releasing the mouse on the same item reports that
// item; a click anywhere else does nothing.

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "ReportDefinition.h"

namespace reports {

class ReportLayoutRows : public QWidget {
    Q_OBJECT

public:
    // row 0 .. lines-1, item 1 to 20.
    using ItemClicked = std::function<void(int row, int item)>;

    // The lines are not owned; totals rows show totals names.
    ReportLayoutRows(bool totals, QWidget* parent = nullptr);

    void SetLines(std::vector<const ReportLine*> lines, int reportWidth);
    void SetItemClicked(ItemClicked handler) { m_clicked = std::move(handler); }

    int RowCount() const { return int(m_lines.size()); }
    // Items drawn on a row: those of the line, or item 1 alone across the
    // row when the line has none (so that it can still be edited).
    int DrawnItems(int row) const;
    QRect RowRect(int row) const;
    QRect ItemRect(int row, int item) const;
    // The text an item shows, before it is cut to fit.
    QString ItemText(int row, int item) const;
    std::optional<std::pair<int, int>> ItemAt(const QPoint& point) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QFont ItemFont() const;
    int RowHeight() const;

    bool m_totals;
    std::vector<const ReportLine*> m_lines;
    int m_reportWidth = 90;
    std::optional<std::pair<int, int>> m_pressed;
    ItemClicked m_clicked;
};

}  // namespace reports
