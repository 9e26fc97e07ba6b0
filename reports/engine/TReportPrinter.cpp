#include "TReportPrinter.h"

#include <QPrinter>

#include "EngineServices.h"

namespace reports::engine {

TReportPrinter::TReportPrinter(QObject* parent) : TCanvasReport(parent) {
    SetStatusFormat(QStringLiteral("Printing Page %p"));
}

TReportPrinter::~TReportPrinter() {
    if (m_painter.isActive()) m_painter.end();
}

void TReportPrinter::SetPrinter(QPrinter* printer) {
    m_printer.Set(printer);
}

QSizeF TReportPrinter::DevicePaperSize() const {
    if (!m_printer.Usable()) return ReferencePaper();
    return PrinterChoice::PaperInches(m_printer.Get(), GetOrientation());
}

DeviceNames TReportPrinter::Devices() const {
    if (!m_printer.Usable()) return TCanvasReport::Devices();
    return PrinterChoice::Names(m_printer.Get());
}

bool TReportPrinter::JobCanStart() {
    if (m_printer.Usable()) return true;
    ShowMessage(QStringLiteral("Error"), QString::fromLatin1(kNoPrintersMessage));
    return false;
}

void TReportPrinter::BeginOutput() {
    KeepPageBuffers();
    PrinterChoice::Prepare(m_printer.Get(), Title(), GetOrientation());
    if (Copies() > 0) m_printer.Get().setCopyCount(Copies());
    m_sheetUsed = false;
}

void TReportPrinter::BeginOutputPage(bool skipped) {
    if (skipped) return;
    QPrinter& printer = m_printer.Get();
    if (!m_painter.isActive()) {
        if (!m_painter.begin(&printer)) throw ReportError("The printer could not be started.");
    } else if (m_sheetUsed && !printer.newPage()) {
        throw ReportError("The printer did not take the next page.");
    }
    m_sheetUsed = true;
    BeginCanvas(m_painter, printer.resolution(), printer.resolution());
}

void TReportPrinter::EndOutputPage() { EndCanvas(); }

void TReportPrinter::EndOutput(bool aborted) {
    EndCanvas();
    if (m_painter.isActive()) {
        if (aborted) m_printer.Get().abort();
        m_painter.end();
    }
    m_sheetUsed = false;
}

}  // namespace reports::engine
