#include "ReportCommands.h"

#include <QDialog>
#include <QListWidget>

#include "AppPaths.h"
#include "ReportDialogSupport.h"
#include "ReportFile.h"
#include "ReportDefinitionDialog.h"

namespace reports {

using common::MessageIcon;

std::string AppReportFilePath() { return ReportFile::PathIn(common::AppPaths::DataDir().toStdString()); }

void FillReportList(QListWidget& list) {
    list.clear();
    try {
        for (const std::string& name : ReportFile(AppReportFilePath()).Names())
            list.addItem(QString::fromStdString(name));
    } catch (const ReportFileError& e) {
        Refuse("Error", QString::fromStdString(e.what()), MessageIcon::Error, nullptr);
    }
}

bool ReadCurrentReport(int k) {
    DecodedDefinition read;
    try {
        read = ReportFile(AppReportFilePath()).Read(k);
    } catch (const ReportFileError& e) {
        Refuse("Error", QString::fromStdString(e.what()), MessageIcon::Error, nullptr);
        return false;
    }
    if (!read.problems.empty()) {
        QString text = QString("The report definition \"%1\" held values that cannot be used.  They were corrected:")
                           .arg(QString::fromStdString(read.definition.name));
        for (const std::string& p : read.problems) text += "\n" + QString::fromStdString(p);
        Refuse("Notice", text, MessageIcon::Warning, nullptr);
    }
    CurrentReport() = read.definition;
    return true;
}

int NewReport(QListWidget& list, QWidget* parent) {
    CurrentReport() = NewReportDefinition();
    ReportDefinitionDialog dialog(ReportMode::New, -1, &list, parent);
    return common::Ui().ShowModal(dialog);
}

int ModifyReport(QListWidget& list, QWidget* parent) {
    const int k = list.currentRow();
    if (k < 0) {
        Refuse("Error", "No Report has been selected.  Please choose one.", MessageIcon::Warning, &list);
        return QDialog::Rejected;
    }
    if (ReportFile(AppReportFilePath()).Exists() && !ReadCurrentReport(k)) return QDialog::Rejected;
    ReportDefinitionDialog dialog(ReportMode::Modify, k, &list, parent);
    return common::Ui().ShowModal(dialog);
}

}  // namespace reports
