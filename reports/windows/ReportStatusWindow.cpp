#include "ReportStatusWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "ReportDialogSupport.h"
#include "EngineServices.h"
#include "WindowLayout.h"

namespace reports {

ReportStatusWindow::ReportStatusWindow(OutputMode mode, const ReportDefinition& def, store::Table& table,
                         const ReportSettings& settings, QWidget* parent)
    : QDialog(parent), m_mode(mode), m_job(def, table, settings, mode) {
    setWindowTitle("Report Status Screen");
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(16, 12, 16, 12);
    root->setSpacing(10);
    StatusLabel = new QLabel("Printing Status", this);
    QFont bold = StatusLabel->font();
    bold.setBold(true);
    StatusLabel->setFont(bold);
    StatusLabel->setAlignment(Qt::AlignCenter);
    StatusLabel->setMinimumWidth(260);
    // Three status lines: the page and the two lines the format may add.
    StatusLabel->setMinimumHeight(StatusLabel->fontMetrics().lineSpacing() * 3 + 4);
    root->addWidget(StatusLabel);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setRange(0, 1);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(true);
    root->addWidget(ProgressBar);
    Button = new QPushButton(this);
    Button->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(Button);
    row->addStretch(1);
    root->addLayout(row);
    connect(Button, &QPushButton::clicked, this, [this] { CancelOrClose(); });
    ShowAsCancel(true);
}

ReportStatusWindow::~ReportStatusWindow() = default;

void ReportStatusWindow::ShowAsCancel(bool cancel) {
    Button->setText(cancel ? "Cancel" : "OK");
    Button->setIcon(QIcon::fromTheme(cancel ? "process-stop" : "emblem-default"));
}

void ReportStatusWindow::ShowStatus(const QString& status) {
    // The status format separates its lines with carriage returns.
    QString text = status;
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    StatusLabel->setText(text);
}

void ReportStatusWindow::showEvent(QShowEvent* event) {
    PrepareReportDialog(*this);
    // Centred on the main window, whichever dialog opened it.
    QWidget* owner = parentWidget();
    while (owner && owner->parentWidget()) owner = owner->parentWidget();
    if (owner) move(owner->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    QDialog::showEvent(event);
    // The report starts once the window is on the screen and its event
    // loop runs, so that it paints and takes the Cancel button.
    QTimer::singleShot(0, this, [this] { StartReport(); });
}

void ReportStatusWindow::StartReport() {
    if (m_job.HasRun()) return;
    m_job.SetPrinter(ReportPrinter(m_printer));
    m_job.SetStatus([this](const QString& status) { ShowStatus(status); });
    m_job.SetProgress([this](const ReportProgress& progress) {
        const int count = int(std::min<size_t>(progress.itemCount, 1u << 30));
        ProgressBar->setRange(0, std::max(1, count));
        ProgressBar->setValue(int(std::min<size_t>(progress.itemsDone, size_t(count))));
        // Lets the window repaint and the Cancel button be pressed.
        QCoreApplication::processEvents();
        return true;  // a Cancel pressed meanwhile stops the job itself
    });
    const bool noPrinter = m_mode == OutputMode::Print && NoPrinterFor(m_printer);
    ShowAsCancel(true);
    m_result = m_job.Run();
    if (m_result.completed) ProgressBar->setValue(ProgressBar->maximum());
    ShowStatus(m_result.completed ? "\rReport Completed!" : "\rReport Canceled!");
    ShowAsCancel(false);
    if (!m_result.error.isEmpty()) {
        common::Ui().Beep();
        common::Ui().Message("Error", m_result.error, common::MessageIcon::Error);
        if (noPrinter) ShowPdfHint(false);
    } else if (m_result.completed && !m_result.notice.isEmpty()) {
        common::Ui().Beep();
        common::Ui().Message("Notice", m_result.notice, common::MessageIcon::Warning);
    }
}

void ReportStatusWindow::CancelOrClose() {
    if (m_job.Running()) {
        m_job.Cancel();
        return;
    }
    accept();
}

void ReportStatusWindow::reject() {
    // Closing while the report runs cancels it; the window closes with OK.
    if (m_job.Running()) {
        m_job.Cancel();
        return;
    }
    QDialog::reject();
}

void ReportStatusWindow::closeEvent(QCloseEvent* event) {
    if (m_job.Running()) {
        m_job.Cancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

}  // namespace reports
