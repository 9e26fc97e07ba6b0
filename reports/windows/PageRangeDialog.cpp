#include "PageRangeDialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ReportDialogSupport.h"

namespace reports {

namespace {

// A whole number, blanks around it trimmed; 0 for anything else, which
// every check refuses.
int PageNumber(const QLineEdit& edit) {
    bool ok = false;
    const int n = edit.text().trimmed().toInt(&ok);
    return ok ? n : 0;
}

}  // namespace

PageRangeDialog::PageRangeDialog(int pageCount, QWidget* parent) : QDialog(parent), m_pageCount(pageCount) {
    setWindowTitle("Page Printing");
    auto* root = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    root->addLayout(form);
    StartingPage = new QLineEdit("1", this);
    EndingPage = new QLineEdit(QString::number(pageCount), this);
    for (QLineEdit* e : {StartingPage, EndingPage}) {
        e->setMaxLength(3);
        e->setFixedWidth(e->fontMetrics().horizontalAdvance("0000") + 12);
    }
    form->addRow("Starting Page", StartingPage);
    form->addRow("Ending Page", EndingPage);
    auto* row = new QHBoxLayout;
    PrintButton = new QPushButton("&Print", this);
    CancelButton = new QPushButton("&Cancel", this);
    PrintButton->setDefault(true);
    row->addStretch(1);
    row->addWidget(PrintButton);
    row->addWidget(CancelButton);
    root->addLayout(row);
    connect(PrintButton, &QPushButton::clicked, this, [this] { PrintRange(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { Cancel(); });
}

void PageRangeDialog::showEvent(QShowEvent* event) {
    PrepareReportDialog(*this);
    QDialog::showEvent(event);
}

void PageRangeDialog::PrintRange() {
    const int first = PageNumber(*StartingPage);
    if (first <= 0 || first > m_pageCount) {
        Refuse("Error", "Invalid Starting Page specified. Please correct.", common::MessageIcon::Error, StartingPage);
        return;
    }
    const int last = PageNumber(*EndingPage);
    if (last < first || last > m_pageCount) {
        Refuse("Error", "Invalid Ending Page specified.  Please correct.", common::MessageIcon::Error, EndingPage);
        return;
    }
    m_first = first;
    m_last = last;
    accept();
}

}  // namespace reports
