#include "RecordedReportPrinter.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

#include "EngineServices.h"
#include "PageRenderer.h"

namespace reports::engine {

namespace {

QPageLayout LayoutOf(const ReportHeader& header) {
    const double w = header.paperWidth, h = header.paperHeight;
    const QPageSize size(QSizeF(std::min(w, h), std::max(w, h)), QPageSize::Inch, QString(), QPageSize::FuzzyMatch);
    return QPageLayout(size, w > h ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(0, 0, 0, 0));
}

}  // namespace

RecordedReportPrinter::RecordedReportPrinter(QObject* parent) : CanvasPageEngine(parent) {}

RecordedReportPrinter::~RecordedReportPrinter() = default;

QSizeF RecordedReportPrinter::DevicePaperSize() const {
    if (m_recordedPaper) return *m_recordedPaper;
    return CanvasPageEngine::DevicePaperSize();
}

DeviceNames RecordedReportPrinter::Devices() const {
    if (!m_printer.Usable()) return CanvasPageEngine::Devices();
    return PrinterChoice::Names(m_printer.Get());
}

bool RecordedReportPrinter::OpenReport(ReportStreamReader& reader) {
    try {
        if (!m_stream) throw ReportError("There is no recorded report to show or print.");
        reader.Open(*m_stream);
    } catch (const ReportError& e) {
        ShowMessage(QStringLiteral("Error"), QString::fromStdString(e.what()));
        return false;
    }
    const ReportHeader& header = reader.Header();
    m_recordedPaper = QSizeF(header.paperWidth, header.paperHeight);
    return true;
}

void RecordedReportPrinter::DrawPage(const ReportStreamReader& reader, int index, QPainter& painter, double dpiX, double dpiY,
                            double zoom, bool monochrome) {
    BeginCanvas(painter, dpiX, dpiY, zoom, {}, monochrome);
    try {
        reader.ReplayPage(index, *Renderer());
    } catch (...) {
        EndCanvas();
        throw;
    }
    EndCanvas();
}

std::pair<int, int> RecordedReportPrinter::PageRange(int first, int last, int pageCount) {
    if (first < 1) first = 1;
    if (last < 1 || last >= pageCount) last = pageCount;
    return {first - 1, last - 1};
}

bool RecordedReportPrinter::RunJob() { return PrintPages(0, 0, 0); }

bool RecordedReportPrinter::PrintPages(int first, int last, int copies) {
    if (Printing()) return false;
    m_printer.Refresh();
    if (!m_printer.Usable()) {
        ShowMessage(QStringLiteral("Error"), QString::fromLatin1(kNoPrintersMessage));
        return false;
    }
    ReportStreamReader reader;
    if (!OpenReport(reader)) return false;
    if (copies > 0) SetCopies(copies);
    const auto [from, to] = PageRange(first, last, reader.PageCount());
    if (from > to) return true;

    WaitCursor wait;
    KeepPageBuffers();
    QPrinter& printer = m_printer.Get();
    PrinterChoice::Prepare(printer, Title(), Orientation::poDefault);
    printer.setPageLayout(LayoutOf(reader.Header()));
    printer.setFullPage(true);
    printer.setCopyCount(std::max(1, Copies()));
    // A printer that cannot make copies itself gets the pages again.
    const int rounds = printer.supportsMultipleCopies() ? 1 : std::max(1, Copies());

    SetAborted(false);
    SetPrinting(true);
    QPainter painter;
    bool ok = painter.begin(&printer);
    QString failure = QStringLiteral("The printer could not be started.");
    try {
        bool firstSheet = true;
        const int pages = rounds * (to - from + 1);
        int done = 0;
        for (int round = 0; ok && round < rounds && !Aborted(); ++round)
            for (int page = from; page <= to && !Aborted(); ++page) {
                if (OnReplayProgress && !OnReplayProgress(done++, pages)) {
                    CancelJob();
                    break;
                }
                if (!firstSheet && !printer.newPage()) {
                    failure = QStringLiteral("The printer did not take the next page.");
                    ok = false;
                    break;
                }
                firstSheet = false;
                SetCurrentPage(page + 1);
                DrawPage(reader, page, painter, printer.resolution(), printer.resolution());
            }
    } catch (const ReportError& e) {
        failure = QString::fromStdString(e.what());
        ok = false;
    }
    if (painter.isActive()) {
        if (Aborted() || !ok) printer.abort();
        painter.end();
    }
    SetPrinting(false);
    if (!ok) ShowMessage(QStringLiteral("Error"), failure);
    return ok;
}

bool RecordedReportPrinter::WritePdf(const QString& fileName, int first, int last) {
    if (Printing()) return false;
    ReportStreamReader reader;
    if (!OpenReport(reader)) return false;
    if (reader.PageCount() == 0) {
        ShowMessage(QStringLiteral("Error"), QStringLiteral("The report has no pages to write."));
        return false;
    }
    const auto [from, to] = PageRange(first, last, reader.PageCount());
    if (from > to) {
        ShowMessage(QStringLiteral("Error"), QStringLiteral("The report has no page %1.").arg(from + 1));
        return false;
    }

    WaitCursor wait;
    KeepPageBuffers();
    SetAborted(false);
    SetPrinting(true);
    QSaveFile file(fileName);
    QString failure;
    if (!file.open(QIODevice::WriteOnly)) {
        failure = file.errorString();
    } else {
        QPdfWriter pdf(&file);
        pdf.setResolution(kPdfResolution);
        pdf.setTitle(Title());
        pdf.setCreator(QStringLiteral("Halvenor Inventory"));
        pdf.setPageLayout(LayoutOf(reader.Header()));
        QPainter painter;
        if (!painter.begin(&pdf)) {
            failure = QStringLiteral("the PDF could not be started");
        } else {
            try {
                for (int page = from; page <= to; ++page) {
                    if (OnReplayProgress && !OnReplayProgress(page - from, to - from + 1)) {
                        CancelJob();
                        break;
                    }
                    if (page > from) pdf.newPage();
                    SetCurrentPage(page + 1);
                    DrawPage(reader, page, painter, kPdfResolution, kPdfResolution);
                }
            } catch (const ReportError& e) {
                failure = QString::fromStdString(e.what());
            }
            painter.end();
        }
        if (Aborted()) file.cancelWriting();
        else if (failure.isEmpty() && !file.commit()) failure = file.errorString();
    }
    SetPrinting(false);
    if (Aborted()) return false;
    if (!failure.isEmpty()) {
        ShowMessage(QStringLiteral("Error"), QStringLiteral("The PDF file %1 could not be written: %2").arg(fileName, failure));
        return false;
    }
    return true;
}

}  // namespace reports::engine
