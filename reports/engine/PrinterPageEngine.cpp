#include "PrinterPageEngine.h"

#include <QPrinter>

#include "EngineServices.h"

namespace reports::engine {

PrinterPageEngine::PrinterPageEngine(QObject* parent) : CanvasPageEngine(parent) {
    SetStatusFormat(QStringLiteral("Printing Page %p"));
}

PrinterPageEngine::~PrinterPageEngine() {
    if (m_painter.isActive()) m_painter.end();
}

void PrinterPageEngine::SetPrinter(QPrinter* printer) {
    m_printer.Set(printer);
}

QSizeF PrinterPageEngine::DevicePaperSize() const {
    if (!m_printer.Usable()) return ReferencePaper();
    return PrinterChoice::PaperInches(m_printer.Get(), GetOrientation());
}

DeviceNames PrinterPageEngine::Devices() const {
    if (!m_printer.Usable()) return CanvasPageEngine::Devices();
    return PrinterChoice::Names(m_printer.Get());
}

bool PrinterPageEngine::JobCanStart() {
    if (m_printer.Usable()) return true;
    ShowMessage(QStringLiteral("Error"), QString::fromLatin1(kNoPrintersMessage));
    return false;
}

void PrinterPageEngine::BeginOutput() {
    KeepPageBuffers();
    PrinterChoice::Prepare(m_printer.Get(), Title(), GetOrientation());
    if (Copies() > 0) m_printer.Get().setCopyCount(Copies());
    m_sheetUsed = false;
}

void PrinterPageEngine::BeginOutputPage(bool skipped) {
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

void PrinterPageEngine::EndOutputPage() { EndCanvas(); }

void PrinterPageEngine::EndOutput(bool aborted) {
    EndCanvas();
    if (m_painter.isActive()) {
        if (aborted) m_printer.Get().abort();
        m_painter.end();
    }
    m_sheetUsed = false;
}

}  // namespace reports::engine
