#include "GridDelegate.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPainter>

#include "ItemGridModel.h"
#include "ItemSchema.h"
#include "MainContext.h"
#include "WindowLayout.h"

namespace shell {
namespace {

// The pick list of a schema position, if it has one.
std::optional<common::PickList> PickListOf(int position) {
    switch (position) {
    case 2: return common::PickList::Brand;
    case 5: return common::PickList::Location;
    case 7: return common::PickList::Bought;
    case 12: return common::PickList::Category;
    case 17: return common::PickList::Owner;
    default: return std::nullopt;
    }
}

int PositionOf(const QModelIndex& index) {
    const auto* model = qobject_cast<const ItemGridModel*>(index.model());
    return model ? model->PositionOfColumn(index.column()) : 0;
}

}  // namespace

GridDelegate::GridDelegate(common::MainContext& context, QObject* parent)
    : QStyledItemDelegate(parent), m_context(context) {}

void GridDelegate::SetLines(bool columnLines, bool rowLines) {
    m_columnLines = columnLines;
    m_rowLines = rowLines;
}

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(QColor(128, 128, 128));
    const QRect r = option.rect;
    if (m_columnLines) painter->drawLine(r.topRight(), r.bottomRight());
    if (m_rowLines) painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->restore();
}

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const {
    const int position = PositionOf(index);
    if (position < 1) return nullptr;
    const int width = store::SchemaAt(position).width;
    if (const auto list = PickListOf(position)) {
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->addItems(m_context.GridPickList(*list));
        combo->lineEdit()->setMaxLength(width);
        common::WindowLayout::IgnoreAltTyping(*combo->lineEdit());
        m_editor = combo;
        return combo;
    }
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(store::SchemaAt(position).typeCode == 3 ? 20 : width + (position == 10 || position == 15 ? 2 : 0));
    common::WindowLayout::IgnoreAltTyping(*edit);
    m_editor = edit;
    return edit;
}

void GridDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
    if (m_editor == editor) m_editor = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
}

void GridDelegate::CommitOpenEditor() {
    if (QWidget* editor = m_editor) {
        m_editor = nullptr;
        emit commitData(editor);
        emit closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void GridDelegate::CancelOpenEditor() {
    if (QWidget* editor = m_editor) {
        m_editor = nullptr;
        emit closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    }
}

void GridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    const QString text = index.data(Qt::EditRole).toString();
    if (auto* combo = qobject_cast<QComboBox*>(editor)) combo->setEditText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(editor)) edit->setText(text);
}

void GridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    QString text;
    if (auto* combo = qobject_cast<QComboBox*>(editor)) text = combo->currentText();
    else if (auto* edit = qobject_cast<QLineEdit*>(editor)) text = edit->text();
    else return;
    if (text == index.data(Qt::EditRole).toString()) return;
    model->setData(index, text, Qt::EditRole);
}

}  // namespace shell
