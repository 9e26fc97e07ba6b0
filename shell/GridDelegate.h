#pragma once
// Draws the grid's cells with the lines the viewer options ask for (between
// columns, between rows, both or none) and edits cells in place: the five
// pick-list fields through combo boxes holding the grid's pick lists, every
// other field through a line edit limited to the field's width.

#include <QPointer>
#include <QStyledItemDelegate>

namespace common {
class MainContext;
}

namespace shell {

class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    GridDelegate(common::MainContext& context, QObject* parent);

    void SetLines(bool columnLines, bool rowLines);

    // The cell editor open at the moment, if any; the navigator's post and
    // cancel act on it.
    QWidget* OpenEditor() const { return m_editor; }
    // Writes what the open editor holds to the record and closes it.
    void CommitOpenEditor();
    // Closes the open editor without writing.
    void CancelOpenEditor();

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

private:
    common::MainContext& m_context;
    bool m_columnLines = true;
    bool m_rowLines = true;
    mutable QPointer<QWidget> m_editor;
};

}  // namespace shell
