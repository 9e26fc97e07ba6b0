#include "PickListDialog.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "ColorGroup.h"
#include "PickListFile.h"
#include "Settings.h"
#include "ItemEditor.h"
#include "TextRules.h"
#include "WindowLayout.h"

namespace items {

PickListDialog::PickListDialog(ItemEditor& editor, common::MainContext& context, common::PickList list, QWidget* parent)
    : QDialog(parent), m_editor(editor), m_context(context), m_list(list) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    auto* root = new QVBoxLayout(this);
    root->setSizeConstraint(QLayout::SetFixedSize);
    auto* frame = new QFrame;
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* grid = new QGridLayout(frame);
    AddInfo = new QLineEdit;
    AddButton = new QPushButton(QStringLiteral("&Add"));
    TheList = new QListWidget;
    DeleteButton = new QPushButton(QStringLiteral("&Delete"));
    AddInfo->setMinimumWidth(260);
    TheList->setMinimumHeight(200);
    grid->addWidget(AddInfo, 0, 0);
    grid->addWidget(AddButton, 0, 1);
    grid->addWidget(TheList, 1, 0, 1, 2);
    grid->addWidget(DeleteButton, 2, 0, 1, 2, Qt::AlignHCenter);
    root->addWidget(frame);
    auto* buttons = new QHBoxLayout;
    OkButton = new QPushButton(QStringLiteral("&Ok"));
    CancelButton = new QPushButton(QStringLiteral("&Cancel"));
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    buttons->addStretch(1);
    root->addLayout(buttons);
    // Enter in the entry box adds what was typed rather than closing.
    for (QPushButton* b : {AddButton, DeleteButton, OkButton, CancelButton}) b->setAutoDefault(false);
    connect(AddInfo, &QLineEdit::returnPressed, this, [this] { AddEntry(); });
    connect(AddButton, &QPushButton::clicked, this, [this] { AddEntry(); });
    connect(DeleteButton, &QPushButton::clicked, this, [this] { DeleteEntry(); });
    connect(OkButton, &QPushButton::clicked, this, [this] { StoreList(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { Cancel(); });

    // 1 to 3 of the maintenance steps.
    TheList->addItems(editor.ListEntries(list));
    setWindowTitle(QStringLiteral("Edit \"") + PickListFile::Info(list).caption + QStringLiteral("\" List"));
    AddInfo->setMaxLength(PickListFile::EntryLimit(list));
    AddInfo->clear();
}

QStringList PickListDialog::Entries() const {
    QStringList entries;
    for (int i = 0; i < TheList->count(); ++i) entries << TheList->item(i)->text();
    return entries;
}

void PickListDialog::showEvent(QShowEvent* event) {
    PrepareToShow();
    QDialog::showEvent(event);
}

void PickListDialog::PrepareToShow() {
    common::WindowLayout::PrepareDialog(*this);
    const common::ColorGroup& g = common::AppSettings().scheme.Group(common::WindowGroup::Configure);
    common::WindowLayout::ApplyColors(*this, g);
    TheList->setFocus();
    if (TheList->count() > 0) TheList->setCurrentRow(0);
    common::WindowLayout::FinishShowing(*this, false);
}

void PickListDialog::AddEntry() {
    const QString text = common::TextRules::TrimSpaces(AddInfo->text());
    if (!text.isEmpty()) TheList->addItem(text);
    AddInfo->clear();
    AddInfo->setFocus();
}

void PickListDialog::DeleteEntry() {
    const int row = TheList->currentRow();
    if (row < 0 || !TheList->currentItem() || !TheList->currentItem()->isSelected()) return;
    delete TheList->takeItem(row);
    if (TheList->count() == 0) {
        TheList->setCurrentRow(-1);
        return;
    }
    TheList->setCurrentRow(std::min(row, TheList->count() - 1));
}

void PickListDialog::StoreList() {
    const QStringList entries = Entries();
    m_editor.SetListEntries(m_list, entries);
    m_context.GridPickList(m_list) = entries;
    accept();
}

void PickListDialog::Cancel() { reject(); }

}  // namespace items
