#pragma once
// Replays pages of a recorded report (see ReportRecorder) onto the printer,
// or into a PDF file in which every recorded page is one PDF page and text
// stays text (selectable and searchable). Pages are numbered 1 to the number
// of recorded pages, in the order they were recorded.
//
// The recorded report is checked whole before anything is printed: a
// damaged one is refused with a message, never half printed.

#include <QPainter>
#include <functional>

#include "PrinterChoice.h"
#include "ReportStream.h"
#include "CanvasPageEngine.h"

namespace reports::engine {

class RecordedReportPrinter : public CanvasPageEngine {
public:
    explicit RecordedReportPrinter(QObject* parent = nullptr);
    ~RecordedReportPrinter() override;

    // Called before each page is printed or written into a PDF file, with
    // the pages done so far and the pages of the job; returning false
    // cancels the job (a printer document is abandoned, a PDF file not
    // written) and sets Aborted.
    std::function<bool(int done, int count)> OnReplayProgress;

    // The recorded report (not owned), read from its start.
    void SetStream(QIODevice* stream) { m_stream = stream; }
    QIODevice* Stream() const { return m_stream; }
    // Not owned; nullptr: the system's default printer.
    void SetPrinter(QPrinter* printer) { m_printer.Set(printer); }
    QPrinter& Printer() { return m_printer.Get(); }

    // Prints the recorded pages first to last: first 0 (or below) means 1;
    // last below 1 or not below the page count means the last page; copies
    // above 0 sets Copies. Refused with "No printers are defined, aborting
    // print job." when the system has no printer. A cancelled job (CancelJob)
    // stops after the page being printed and the document is abandoned.
    // False when refused or failed (with a message).
    bool PrintPages(int first, int last, int copies);
    // All pages: PrintPages(0, 0, 0).
    bool RunJob() override;
    // Writes recorded pages first to last (as PrintPages counts them) to a
    // PDF file, replacing it only when the whole file is written. False,
    // with a message, when the report cannot be read or the file written;
    // false without one when cancelled.
    bool WritePdf(const QString& fileName, int first = 0, int last = 0);

    DeviceNames Devices() const override;

    // The resolution PDF files are drawn at, in dots per inch.
    static constexpr int kPdfResolution = 1200;

protected:
    // The recorded paper once a recorded report has been read.
    QSizeF DevicePaperSize() const override;
    // Reads and checks the recorded report; says why and returns false
    // when it cannot be used.
    bool OpenReport(ReportStreamReader& reader);
    // Draws the page at index with the painter at dpi pixels per inch.
    void DrawPage(const ReportStreamReader& reader, int index, QPainter& painter, double dpiX, double dpiY,
                  double zoom = 1.0, bool monochrome = false);

private:
    // The range of PrintPages, as 0-based indexes; empty when first > last.
    static std::pair<int, int> PageRange(int first, int last, int pageCount);

    QIODevice* m_stream = nullptr;
    PrinterChoice m_printer;
    std::optional<QSizeF> m_recordedPaper;
};

}  // namespace reports::engine
