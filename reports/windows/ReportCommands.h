#pragma once
// What the report selection dialog does with report definitions: fill its
// report list from the file, read the chosen definition into the current
// one, and the New Report and Modify Report commands that open Report
// Definition. Messages go through the user-interface services.

#include <QString>
#include <string>

class QListWidget;
class QWidget;

namespace reports {

// KELDOR.URP in the data folder.
std::string AppReportFilePath();

// Every report name in file order; a missing file gives an empty list, an
// unreadable one an error message and an empty list.
void FillReportList(QListWidget& list);

// Reads definition k into the current report definition. What had to be
// corrected in a damaged record is told in a notice; a failure is shown and
// gives false (the current definition is then unchanged).
bool ReadCurrentReport(int k);

// "&New Report": the current definition starts afresh and Report
// Definition opens in new mode. Returns the dialog's result.
int NewReport(QListWidget& list, QWidget* parent = nullptr);
// "&Modify Report": the selected definition is read and Report Definition
// opens in modify mode at its position. When the file is missing the
// dialog opens with the definition as it is in memory. Returns the
// dialog's result, or QDialog::Rejected when nothing was opened.
int ModifyReport(QListWidget& list, QWidget* parent = nullptr);

}  // namespace reports
