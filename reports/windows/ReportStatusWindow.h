#pragma once
// The Report Status Screen: runs one report (to the printer, into a
// recorded report for the preview, or into a text file) when it first
// becomes active, and shows which page is being composed and how many
// items are done. While the report runs its one button cancels it; the
// window stays responsive, and closing it cancels as well. When the report
// ends the button becomes OK and the status says whether it completed.
// Afterwards the caller asks Aborted(): a cancelled or failed report gives
// nothing to preview.
//
// The report itself is a ReportJob, which knows nothing of this window.

#include <QDialog>

#include "ReportJob.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace reports {

class ReportStatusWindow : public QDialog {
    Q_OBJECT

public:
    // The table must outlive the window.
    ReportStatusWindow(OutputMode mode, const ReportDefinition& def, store::Table& table, const ReportSettings& settings,
                QWidget* parent = nullptr);
    ~ReportStatusWindow() override;

    // Text file mode: the file written.
    void SetTextFile(const QString& path) { m_job.SetTextFile(path); }
    // View mode: the stream the recorded report goes into (not owned).
    void SetStream(QIODevice* stream) { m_job.SetStream(stream); }
    // The printer composed for (not owned; may be null).
    void SetPrinter(QPrinter* printer) { m_printer = printer; }

    OutputMode Mode() const { return m_mode; }
    // Runs the report the first time the window becomes active; later
    // activations do nothing.
    void StartReport();
    // The one button: Cancel while the report runs, OK (close) afterwards.
    void CancelOrClose();
    // True when the report did not complete (cancelled, refused or failed).
    bool Aborted() const { return !m_result.completed; }
    const ReportResult& Result() const { return m_result; }
    bool Running() const { return m_job.Running(); }

    QLabel* StatusLabel = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPushButton* Button = nullptr;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowStatus(const QString& status);
    void ShowAsCancel(bool cancel);

    OutputMode m_mode;
    ReportJob m_job;
    QPrinter* m_printer = nullptr;
    ReportResult m_result;
};

}  // namespace reports
