#pragma once
// Specify Report Layout: shows the body lines and the totals line of a
// definition as rows of items and opens Select Report Part for the item the
// user clicks. It works on a copy of the definition's lines: Ok puts them
// back, Cancel forgets every change.

#include <QDialog>

#include "ReportDefinition.h"

class QLabel;
class QPushButton;

namespace reports {

class ReportLayoutRows;

class ReportLayoutDialog : public QDialog {
    Q_OBJECT

public:
    // showTotals: whether "Use Totals" is ticked in Report Definition.
    ReportLayoutDialog(ReportDefinition& target, bool showTotals, QWidget* parent = nullptr);

    const ReportDefinition& Copy() const { return m_copy; }

    // Handlers. lineNumber 1 to 12, or 0 for the totals line; item 1 to 20.
    void EditItem(int lineNumber, int item);
    void StoreLayout();
    void Cancel();

    QLabel* ReportPanel = nullptr;
    QLabel* NoteLabel = nullptr;
    QLabel* BodyCaption = nullptr;
    QLabel* TotalsCaption = nullptr;
    ReportLayoutRows* BodyRows = nullptr;
    ReportLayoutRows* TotalsRows = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    ReportDefinition& m_target;
    ReportDefinition m_copy;
};

}  // namespace reports
