#include "PrinterChoice.h"

#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>

#include "EngineServices.h"

namespace reports::engine {

namespace {

QPageLayout OrientedLayout(const QPrinter& printer, Orientation orientation) {
    QPageLayout layout = printer.pageLayout();
    if (orientation == Orientation::poPortrait) layout.setOrientation(QPageLayout::Portrait);
    if (orientation == Orientation::poLandScape) layout.setOrientation(QPageLayout::Landscape);
    return layout;
}

}  // namespace

PrinterChoice::PrinterChoice() = default;
PrinterChoice::~PrinterChoice() = default;

QPrinter& PrinterChoice::Get() const {
    if (m_given) return *m_given;
    if (!m_default) m_default = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_default;
}

bool PrinterChoice::Usable() const {
    if (m_given && m_given->outputFormat() == QPrinter::PdfFormat) return true;
    if (!m_usable) m_usable = PrintersAvailable();
    return *m_usable;
}

QSizeF PrinterChoice::PaperInches(const QPrinter& printer, Orientation orientation) {
    return OrientedLayout(printer, orientation).fullRect(QPageLayout::Inch).size();
}

QMarginsF PrinterChoice::UnprintableInches(const QPrinter& printer, Orientation orientation) {
    QPageLayout layout = OrientedLayout(printer, orientation);
    layout.setUnits(QPageLayout::Inch);
    return layout.minimumMargins();
}

DeviceNames PrinterChoice::Names(const QPrinter& printer) {
    DeviceNames names;
    names.device = printer.printerName();
    names.driver = QPrinterInfo(printer).makeAndModel();
    names.port = printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
    if (names.device.isEmpty() && printer.outputFormat() == QPrinter::PdfFormat) names.device = QStringLiteral("PDF");
    return names;
}

void PrinterChoice::Prepare(QPrinter& printer, const QString& title, Orientation orientation) {
    printer.setDocName(title);
    printer.setFullPage(true);
    if (orientation == Orientation::poPortrait) printer.setPageOrientation(QPageLayout::Portrait);
    if (orientation == Orientation::poLandScape) printer.setPageOrientation(QPageLayout::Landscape);
}

}  // namespace reports::engine
