#pragma once
// Composes a report straight onto the printer. The pages are laid out on
// the printer's paper size. With no printer on the system a
// job is refused with "No printers are defined, aborting print job." (a
// printer writing to a PDF file needs none). The printer document starts
// with the first page that is output, so a range that outputs nothing
// prints no blank sheet.

#include <QPainter>
#include <memory>

#include "PrinterChoice.h"
#include "CanvasPageEngine.h"

namespace reports::engine {

class PrinterPageEngine : public CanvasPageEngine {
public:
    explicit PrinterPageEngine(QObject* parent = nullptr);
    ~PrinterPageEngine() override;

    // Not owned; nullptr: the system's default printer.
    void SetPrinter(QPrinter* printer);
    QPrinter& Printer() { return m_printer.Get(); }

    DeviceNames Devices() const override;

protected:
    QSizeF DevicePaperSize() const override;
    void RefreshDevice() override { m_printer.Refresh(); }
    bool JobCanStart() override;
    void BeginOutput() override;
    void BeginOutputPage(bool skipped) override;
    void EndOutputPage() override;
    void EndOutput(bool aborted) override;

private:
    PrinterChoice m_printer;
    QPainter m_painter;
    bool m_sheetUsed = false;
};

}  // namespace reports::engine
