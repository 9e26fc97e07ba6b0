#include "SearchOperatorList.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "WindowLayout.h"

namespace find {

SearchOperatorList::SearchOperatorList(const QString& fieldTitle, const QStringList& entries, int selected, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Search Options");
    auto* root = new QVBoxLayout(this);
    FieldNameLabel = new QLabel(fieldTitle, this);
    FieldNameLabel->setObjectName("FieldNameLabel");
    OptionsList = new QListWidget(this);
    OptionsList->addItems(entries);
    if (selected >= 0 && selected < OptionsList->count()) OptionsList->setCurrentRow(selected);
    else OptionsList->setCurrentRow(-1);
    OkButton = new QPushButton("&Ok", this);
    CancelButton = new QPushButton("&Cancel", this);
    OkButton->setDefault(true);
    root->addWidget(FieldNameLabel);
    root->addWidget(OptionsList, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    root->addLayout(buttons);
    resize(260, 220);
    connect(OkButton, &QPushButton::clicked, this, [this] { ChooseOperator(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { Cancel(); });
    connect(OptionsList, &QListWidget::itemDoubleClicked, this, [this] { ChooseOperator(); });
}

void SearchOperatorList::showEvent(QShowEvent* event) {
    common::WindowLayout::PrepareDialog(*this);
    common::WindowLayout::FinishShowing(*this, false);
    QDialog::showEvent(event);
}

int SearchOperatorList::SelectedRow() const {
    const auto selected = OptionsList->selectedItems();
    return selected.isEmpty() ? -1 : OptionsList->row(selected.front());
}

QString SearchOperatorList::SelectedText() const {
    const int row = SelectedRow();
    return row < 0 ? QString() : OptionsList->item(row)->text();
}

void SearchOperatorList::ChooseOperator() { accept(); }

void SearchOperatorList::Cancel() { reject(); }

}  // namespace find
