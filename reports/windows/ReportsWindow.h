#pragma once
// The Reports window: the list of report definitions, what to print (the
// items of the search in force or the entire database), the current sort
// order, and the commands that print, preview or write the chosen report to
// a text file, edit the insurance details, and create or change report
// definitions. Created once at start and shown by the main window's Reports
// command; the entry selected when it closes is selected again next time.
//
// Running a report: the chosen definition becomes the current one, a search
// is suspended when the entire database is wanted, the Report Status Screen
// runs the report, a recorded report opens in the preview, and the search
// is switched on again afterwards.

#include <QDialog>

#include "ReportWriter.h"
#include "WindowLayout.h"

class QLabel;
class QListWidget;
class QPrinter;
class QPushButton;
class QRadioButton;

namespace common {
class MainContext;
}

namespace reports {

// The program's settings as a report takes them: column titles, sort
// order, insurance details, number and currency styles, today's date.
ReportSettings AppReportSettings();

class ReportsWindow : public QDialog {
    Q_OBJECT

public:
    // printer: the printer set-up's printer, shared with the main window
    // (not owned; may be null).
    ReportsWindow(common::MainContext& context, QPrinter* printer, QWidget* parent = nullptr);

    void PrepareToShow();
    void ViewReport() { RunReport(OutputMode::View); }
    void PrintReport() { RunReport(OutputMode::Print); }
    void PrintReportToFile();
    void EditInsuranceInformation();
    void AddNewReport();
    void ModifySelectedReport();
    void ShowHelp();
    void CloseWindow();
    // Runs the selected report; textFile is the file of the text mode.
    void RunReport(OutputMode mode, const QString& textFile = {});

    // "No Sort Order Selected", or the titles of the sort fields.
    static QString SortOrderText();

    QRadioButton* PrintSearchCriteria = nullptr;
    QRadioButton* PrintEntireDatabase = nullptr;
    QListWidget* ReportList = nullptr;
    QLabel* SortOrderPanel = nullptr;
    QPushButton* ViewButton = nullptr;
    QPushButton* PrintButton = nullptr;
    QPushButton* PrintToFileButton = nullptr;
    QPushButton* InsuranceButton = nullptr;
    QPushButton* NewReportButton = nullptr;
    QPushButton* ModifyReportButton = nullptr;
    QPushButton* HelpButton = nullptr;
    QPushButton* ExitButton = nullptr;

public slots:
    // However the window closes, the selected entry is kept.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();

    common::MainContext& m_context;
    QPrinter* m_printer;
    common::DesignLayout m_design;
};

}  // namespace reports
