#pragma once
// The cell editor of the search grid's criterion column: a line edit
// restricted by the edit template of the row's field and operator choice.
// What is typed goes into the cell at once, operator characters and the
// word AND included, so the cell always holds what the user sees.

#include <QStyledItemDelegate>
#include <functional>

namespace find {

class SearchCellDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    // templateOf gives the edit template of a grid row; an empty template
    // leaves the cell without an editor.
    SearchCellDelegate(std::function<QString(int row)> templateOf, QObject* parent);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

    // The cell text of an editor under a template: literals always kept,
    // unfilled positions as blanks.
    static QString CellText(const QString& templateText, const QString& display);

private:
    std::function<QString(int row)> m_templateOf;
};

}  // namespace find
