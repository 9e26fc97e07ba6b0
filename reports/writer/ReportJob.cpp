#include "ReportJob.h"

#include <QBuffer>
#include <QStringList>
#include <limits>

#include "EngineServices.h"
#include "RecordedReportPrinter.h"
#include "ReportRecorder.h"
#include "PrinterPageEngine.h"

namespace reports {

namespace {

// Collects the page engine's messages while it lives, instead of showing
// them: a job hands them back in its result.
class MessageCapture {
public:
    MessageCapture() {
        m_previous = engine::SetMessageHandler([this](const QString&, const QString& text) { m_texts << text; });
    }
    ~MessageCapture() { engine::SetMessageHandler(std::move(m_previous)); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    QString Text() const { return m_texts.join(QLatin1Char('\n')); }

private:
    engine::MessageHandler m_previous;
    QStringList m_texts;
};

}  // namespace

const char* const ReportJob::kJobTitle = "Test Report";

ReportJob::ReportJob(const ReportDefinition& def, store::Table& table, const ReportSettings& settings, OutputMode mode)
    : m_def(def), m_table(table), m_settings(settings), m_mode(mode) {}

ReportJob::~ReportJob() = default;

void ReportJob::Cancel() {
    m_cancelRequested = true;
    if (m_engine) m_engine->CancelJob();
}

ReportResult ReportJob::Run() {
    if (m_ran) return m_result;
    m_ran = true;
    m_running = true;

    engine::ReportRecorder* filer = nullptr;
    if (m_mode == OutputMode::Print) {
        auto printer = std::make_unique<engine::PrinterPageEngine>();
        printer->SetPrinter(m_printer);
        m_engine = std::move(printer);
    } else {
        auto recorder = std::make_unique<engine::ReportRecorder>();
        recorder->SetPrinter(m_printer);
        // Text files need the pages only to know where they break.
        if (m_mode == OutputMode::View) recorder->SetStream(m_stream);
        else recorder->SetStreamMode(engine::StreamMode::smMemory);
        filer = recorder.get();
        m_engine = std::move(recorder);
    }
    engine::PageEngine& e = *m_engine;
    e.SetTitle(QString::fromLatin1(kJobTitle));
    // Every page is output, however long the report.
    e.SetLastPage(std::numeric_limits<int>::max());
    e.SetOrientation(m_def.landscape ? engine::Orientation::poLandScape : engine::Orientation::poPortrait);
    e.OnStatus = m_status;

    ReportWriter writer(m_def, m_table, m_settings, m_mode, m_textFile);
    writer.Attach(e);
    writer.SetProgress([this](const ReportProgress& progress) {
        // Cancel, called from within the progress report, stops the engine.
        return !m_progress || m_progress(progress);
    });
    if (m_cancelRequested) e.CancelJob();

    bool ran = false;
    {
        MessageCapture capture;
        try {
            ran = e.RunJob();
        } catch (const std::exception& failure) {
            m_result.error = QString::fromUtf8(failure.what());
        }
        if (!ran && m_result.error.isEmpty()) m_result.error = capture.Text();
        if (!ran && m_result.error.isEmpty()) m_result.error = QStringLiteral("The report could not be run.");
    }
    // The writer goes with this call: the engine must not call it any more.
    e.OnBeforePrint = nullptr;
    e.OnPrintHeader = nullptr;
    e.OnPrintPage = nullptr;
    e.OnPrintFooter = nullptr;
    e.OnAfterPrint = nullptr;

    m_result.cancelled = m_result.error.isEmpty() && (e.Aborted() || m_cancelRequested);
    m_result.completed = m_result.error.isEmpty() && !m_result.cancelled && writer.Completed();
    m_result.pages = filer ? filer->PageCount() : (ran ? e.CurrentPage() : 0);
    m_result.items = int(writer.ItemsWritten());
    if (m_result.error.isEmpty()) m_result.notice = writer.Notice();
    m_running = false;
    return m_result;
}

ReportResult RecordReport(const ReportDefinition& def, store::Table& table, const ReportSettings& settings,
                          QIODevice& stream, const ProgressCallback& progress, QPrinter* layoutPrinter) {
    ReportJob job(def, table, settings, OutputMode::View);
    job.SetStream(&stream);
    job.SetPrinter(layoutPrinter);
    job.SetProgress(progress);
    return job.Run();
}

ReportResult WriteTextReport(const ReportDefinition& def, store::Table& table, const ReportSettings& settings,
                             const QString& path, const ProgressCallback& progress, QPrinter* layoutPrinter) {
    ReportJob job(def, table, settings, OutputMode::TextFile);
    job.SetTextFile(path);
    job.SetPrinter(layoutPrinter);
    job.SetProgress(progress);
    return job.Run();
}

ReportResult WritePdfReport(const ReportDefinition& def, store::Table& table, const ReportSettings& settings,
                            const QString& path, const ProgressCallback& progress, QPrinter* layoutPrinter) {
    QBuffer recorded;
    ReportResult result = RecordReport(def, table, settings, recorded, progress, layoutPrinter);
    if (!result.completed) return result;
    engine::RecordedReportPrinter pdf;
    pdf.SetStream(&recorded);
    if (progress)
        pdf.OnReplayProgress = [&](int done, int count) {
            ReportProgress p;
            p.stage = ReportProgress::Stage::WritingPdf;
            p.page = done + 1;
            p.pageCount = count;
            p.itemsDone = p.itemCount = size_t(std::max(0, result.items));
            return progress(p);
        };
    MessageCapture capture;
    if (!pdf.WritePdf(path)) {
        result.completed = false;
        if (pdf.Aborted()) {
            result.cancelled = true;
            return result;
        }
        result.error = capture.Text();
        if (result.error.isEmpty()) result.error = QStringLiteral("The PDF file %1 could not be written.").arg(path);
    }
    return result;
}

ReportResult PrintReport(const ReportDefinition& def, store::Table& table, const ReportSettings& settings,
                         QPrinter* printer, const ProgressCallback& progress) {
    ReportJob job(def, table, settings, OutputMode::Print);
    job.SetPrinter(printer);
    job.SetProgress(progress);
    return job.Run();
}

}  // namespace reports
