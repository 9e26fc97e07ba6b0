#include "SearchCellDelegate.h"

#include <QLineEdit>

#include "EditTemplate.h"
#include "WindowLayout.h"

namespace find {

namespace {

// The criterion texts are read with their operator and AND, whether or not
// the template says that literals are kept.
QString ReadingTemplate(const QString& templateText) {
    QString t = templateText;
    int semicolon = -1;
    for (int i = 0; i < t.size(); ++i) {
        if (t[i] == u'\\') { ++i; continue; }
        if (t[i] == u';') { semicolon = i; break; }
    }
    if (semicolon < 0) return t + ";1";
    QStringList parts = t.mid(semicolon + 1).split(u';');
    parts[0] = "1";
    return t.left(semicolon + 1) + parts.join(u';');
}

}  // namespace

SearchCellDelegate::SearchCellDelegate(std::function<QString(int row)> templateOf, QObject* parent)
    : QStyledItemDelegate(parent), m_templateOf(std::move(templateOf)) {}

QString SearchCellDelegate::CellText(const QString& templateText, const QString& display) {
    return common::EditTemplate(ReadingTemplate(templateText)).TextFromDisplay(display);
}

QWidget* SearchCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const {
    const QString templateText = m_templateOf(index.row());
    if (templateText.isEmpty()) return nullptr;
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    // Alt with a letter is meant for a button; it never changes a criterion.
    common::WindowLayout::IgnoreAltTyping(*edit);
    common::EditTemplate(templateText).Apply(*edit);
    edit->setProperty("editTemplate", templateText);
    auto* self = const_cast<SearchCellDelegate*>(this);
    connect(edit, &QLineEdit::textEdited, self, [self, edit] { emit self->commitData(edit); });
    return edit;
}

void SearchCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* edit = qobject_cast<QLineEdit*>(editor);
    if (!edit) return;
    const QString text = index.data(Qt::EditRole).toString();
    if (edit->text() != text && CellText(edit->property("editTemplate").toString(), edit->displayText()) != text) {
        edit->setText(text);
        edit->setCursorPosition(0);
    }
}

void SearchCellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    auto* edit = qobject_cast<QLineEdit*>(editor);
    if (!edit) return;
    const QString templateText = edit->property("editTemplate").toString();
    // An editor that was only looked at leaves an empty cell empty.
    if (!edit->isModified() && index.data(Qt::EditRole).toString().isEmpty()) return;
    model->setData(index, CellText(templateText, edit->displayText()), Qt::EditRole);
}

}  // namespace find
