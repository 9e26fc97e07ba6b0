#pragma once
// Running one report, without any window: to the printer, into a recorded
// report (for the preview), into a text file, or into a PDF file. The
// Report Status Screen runs a ReportJob and shows its progress; a command
// line calls the functions at the end of this file with progress on its
// own terms and an exit code from the result.
//
// Headless use (a QGuiApplication must exist, fonts are measured with Qt):
//
//     reports::ReportSettings settings;          // titles, sort, insurance, styles
//     settings.sortFields = {12, 0, 0, 0};       // grouped by Category
//     const auto result = reports::WritePdfReport(definition, table, settings, "out.pdf",
//                                                 [](const reports::ReportProgress& p) {
//                                                     return true;  // false cancels
//                                                 });
//     if (!result.error.isEmpty()) ...            // says why, for the user
//
// The table must be open; the report covers the records it delivers, in its
// active index order, through its record filter. Dates follow the engine's
// current short date format. Nothing is shown: the page engine's own
// messages (no printer, a report that cannot be read) come back in the
// result as well.

#include <QString>
#include <memory>

#include "ReportWriter.h"

class QIODevice;
class QPrinter;

namespace reports {

namespace engine {
class PageEngine;
}

struct ReportResult {
    bool completed = false;  // every item and the end block were written
    bool cancelled = false;
    int pages = 0;           // pages composed (recorded, printed or written)
    int items = 0;           // items written
    QString error;           // why the report failed; empty when it did not
    // One line the user is told after a report that was written: figures
    // too wide for their columns (ReportWriter::Notice); empty when none.
    QString notice;
};

class ReportJob {
public:
    // The definition and the settings are copied; the table must outlive the job.
    ReportJob(const ReportDefinition& def, store::Table& table, const ReportSettings& settings, OutputMode mode);
    ~ReportJob();
    ReportJob(const ReportJob&) = delete;
    ReportJob& operator=(const ReportJob&) = delete;

    // Text file mode: the file written (replaced only when complete).
    void SetTextFile(const QString& path) { m_textFile = path; }
    // View mode: the stream the recorded report goes into (not owned,
    // emptied first; a QBuffer serves).
    void SetStream(QIODevice* stream) { m_stream = stream; }
    // The printer composed for (not owned); nullptr: the system's default,
    // when there is one. A printer writing to a PDF file needs no system
    // printer.
    void SetPrinter(QPrinter* printer) { m_printer = printer; }
    void SetProgress(ProgressCallback progress) { m_progress = std::move(progress); }
    // Receives each status line of the engine ("Printing Page 3" ...).
    void SetStatus(std::function<void(const QString&)> status) { m_status = std::move(status); }

    // Runs the report; a job runs once, a second call returns the first result.
    ReportResult Run();
    bool Running() const { return m_running; }
    bool HasRun() const { return m_ran; }
    // Stops the report after the page being composed.
    void Cancel();

    // The engine of the run (valid from Run on).
    engine::PageEngine* Engine() const { return m_engine.get(); }

    // The print job title of reports run from the Report Status Screen.
    static const char* const kJobTitle;

private:
    const ReportDefinition m_def;
    store::Table& m_table;
    const ReportSettings m_settings;
    OutputMode m_mode;
    QString m_textFile;
    QIODevice* m_stream = nullptr;
    QPrinter* m_printer = nullptr;
    ProgressCallback m_progress;
    std::function<void(const QString&)> m_status;
    std::unique_ptr<engine::PageEngine> m_engine;
    bool m_running = false;
    bool m_ran = false;
    bool m_cancelRequested = false;
    ReportResult m_result;
};

// View mode without a window: the recorded report into stream.
ReportResult RecordReport(const ReportDefinition& def, store::Table& table, const ReportSettings& settings,
                          QIODevice& stream, const ProgressCallback& progress = {}, QPrinter* layoutPrinter = nullptr);
// The text file of the report at path.
ReportResult WriteTextReport(const ReportDefinition& def, store::Table& table, const ReportSettings& settings,
                             const QString& path, const ProgressCallback& progress = {},
                             QPrinter* layoutPrinter = nullptr);
// The report recorded, then every recorded page written to a PDF file at
// path (replaced only when complete).
ReportResult WritePdfReport(const ReportDefinition& def, store::Table& table, const ReportSettings& settings,
                            const QString& path, const ProgressCallback& progress = {},
                            QPrinter* layoutPrinter = nullptr);
// The report composed straight onto the printer (nullptr: the default one).
ReportResult PrintReport(const ReportDefinition& def, store::Table& table, const ReportSettings& settings,
                         QPrinter* printer = nullptr, const ProgressCallback& progress = {});

}  // namespace reports
