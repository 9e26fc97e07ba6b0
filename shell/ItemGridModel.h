#pragma once
// The grid's model: the records the item table delivers (its active index
// order, through the record filter) as rows, and the fields the viewer
// settings show as columns. Rows are read from the table on demand, so a
// table of a million items opens and scrolls without reading them all.
// Warranty is a check box holding "Yes" or "No".

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <functional>
#include <vector>

#include "Table.h"

namespace shell {

class ItemGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit ItemGridModel(store::Table& table, QObject* parent = nullptr);

    // Columns as field positions 1 to 22 with their captions.
    void SetColumns(std::vector<int> positions, QStringList titles);
    const std::vector<int>& Columns() const { return m_columns; }
    void SetCellLook(const QFont& font, const QColor& text, const QColor& background);
    void SetTitleAlignment(Qt::Alignment alignment);
    void SetEditable(bool editable);
    bool Editable() const { return m_editable; }
    // The row of the current record shown in the row indicator.
    void SetIndicatorRow(int row);

    // Re-reads the delivered records (after a change, a new filter or order).
    void Reload();
    int RowOfRecord(uint32_t recno) const;
    uint32_t RecordOfRow(int row) const { return m_rows[size_t(row)]; }
    // Position (1 to 22) of a column.
    int PositionOfColumn(int column) const {
        return column >= 0 && size_t(column) < m_columns.size() ? m_columns[size_t(column)] : 0;
    }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // Why a cell value cannot go into the field at a position ("" when it
    // can): integers must be whole numbers, floats numbers and dates dates in
    // the current date format. Blank is always allowed. The engine refuses
    // the rest (too long, characters its code page lacks).
    static QString CheckValue(int position, const QString& title, const QString& text);

    // Runs the writing of an edited cell (so that it can be undone); without
    // one the cell is written directly.
    using PostRunner = std::function<void(const std::function<void()>& post)>;
    void SetPostRunner(PostRunner runner) { m_postRunner = std::move(runner); }

signals:
    // A value that was refused; the record is left as it was.
    void EditRefused(const QString& message);
    // A cell's value was written to the record and posted.
    void RecordPosted(uint32_t recno);

private:
    int FieldIndex(int position) const;

    store::Table& m_table;
    std::vector<uint32_t> m_rows;
    std::vector<int> m_columns;
    QStringList m_titles;
    std::vector<int> m_fieldIndex;  // table field index per schema position
    QFont m_font;
    QColor m_text = Qt::black;
    QColor m_background = Qt::white;
    Qt::Alignment m_titleAlignment = Qt::AlignCenter;
    bool m_editable = false;
    int m_indicatorRow = -1;
    PostRunner m_postRunner;
};

}  // namespace shell
