#include "RunDialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <algorithm>

namespace exchange {

RunDialog::RunDialog(QWidget* parent) : QDialog(parent) {}

RunDialog::~RunDialog() = default;

void RunDialog::Cancel() {
    if (m_feedback) m_feedback->Cancel();
}

void RunDialog::done(int result) {
    if (m_feedback) {
        m_feedback->Cancel();
        return;
    }
    if (!m_closed) {
        m_closed = true;
        StoreOnClose();
    }
    QDialog::done(result);
}

RunResult RunDialog::RunEngine(QWidget* cancel, RunFeedback::Draw draw,
                               const std::function<RunResult(const ProgressFn&)>& work) {
    RunResult result;
    try {
        m_feedback = std::make_unique<RunFeedback>(*this, cancel, std::move(draw));
        result = work(m_feedback->Callback());
    } catch (const std::exception& e) {
        result = {Outcome::Failed, 0, e.what()};
    }
    m_feedback.reset();
    return result;
}

QTableWidget* RunDialog::NewFieldList(int rows, const QStringList& headers, QWidget* parent) {
    auto* list = new QTableWidget(rows, int(headers.size()), parent);
    list->setHorizontalHeaderLabels(headers);
    list->verticalHeader()->setVisible(false);
    list->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->horizontalHeader()->setHighlightSections(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectItems);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return list;
}

QTableWidgetItem* RunDialog::FixedCell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

QLabel* RunDialog::Heading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

void RunDialog::MoveCurrentRow(QTableWidget& list, int by, int first, int last) {
    const int a = list.currentRow();
    const int b = a + by;
    if (a < 0 || b < 0 || b >= list.rowCount()) return;
    for (int column = first; column <= last; ++column) {
        QTableWidgetItem* from = list.takeItem(a, column);
        QTableWidgetItem* to = list.takeItem(b, column);
        list.setItem(a, column, to);
        list.setItem(b, column, from);
    }
    list.setCurrentCell(b, std::max(0, list.currentColumn()));
}

}  // namespace exchange
