#pragma once
// Select Report Part: changes one item of a line of the layout being edited
// (a filler, a label with its text, or a field or total) and its width. Ok
// checks the entry, stores the item, makes the line's widths sum to the
// report width again and puts the line back; Cancel leaves the line alone.

#include <QDialog>

#include "ReportDefinition.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace reports {

class ReportPartDialog : public QDialog {
    Q_OBJECT

public:
    // lineNumber 1 to 12 for a body line, 0 for the totals line; item 1 to
    // 20. The line is changed only by Ok.
    ReportPartDialog(ReportLine& line, int lineNumber, int item, int reportWidth, QWidget* parent = nullptr);

    // Handlers.
    void EnableChosenKind();
    void StorePart();
    void Cancel();

    QLabel* PartLabel = nullptr;  // the "Selected Part" panel
    QRadioButton* FillerRadio = nullptr;
    QRadioButton* LabelRadio = nullptr;
    QRadioButton* FieldRadio = nullptr;
    QListWidget* FieldList = nullptr;
    QLineEdit* WidthEdit = nullptr;
    QLineEdit* LabelEdit = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool Totals() const { return m_lineNumber == 0; }
    // The schema field name (or totals name) of list entry row.
    QString EntryName(int row) const;

    ReportLine& m_line;
    int m_lineNumber;
    int m_item;
    int m_reportWidth;
};

}  // namespace reports
