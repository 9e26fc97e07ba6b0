#pragma once
// The printer an engine object prints or composes for: the one its owner
// handed over (after a printer set-up, or a printer writing to a PDF file),
// else the system's default printer, made when first needed.
//
// Whether the system has a printer is asked of the print service once and
// kept until Refresh (every job refreshes at its start): a page asks for its
// paper many times, and each question to the print service is a round trip.

#include <QMarginsF>
#include <QSizeF>
#include <memory>
#include <optional>

#include "ReportTypes.h"
#include "PageEngine.h"

class QPrinter;

namespace reports::engine {

class PrinterChoice {
public:
    PrinterChoice();
    ~PrinterChoice();
    PrinterChoice(const PrinterChoice&) = delete;
    PrinterChoice& operator=(const PrinterChoice&) = delete;

    // Not owned; nullptr returns to the system's default printer.
    void Set(QPrinter* printer) {
        m_given = printer;
        m_usable.reset();
    }
    QPrinter* Given() const { return m_given; }
    // The given printer or the default one.
    QPrinter& Get() const;
    // A printer writing to a file needs no system printer; any other needs
    // the system to have one.
    bool Usable() const;
    // The next Usable asks the print service again.
    void Refresh() { m_usable.reset(); }

    // The paper of the printer as the orientation turns it, in inches.
    static QSizeF PaperInches(const QPrinter& printer, Orientation orientation);
    static QMarginsF UnprintableInches(const QPrinter& printer, Orientation orientation);
    static DeviceNames Names(const QPrinter& printer);
    // Readies the printer for a document: title, full-page coordinates (the
    // paper's corner is the origin), orientation unless poDefault.
    static void Prepare(QPrinter& printer, const QString& title, Orientation orientation);

private:
    QPrinter* m_given = nullptr;
    mutable std::unique_ptr<QPrinter> m_default;
    mutable std::optional<bool> m_usable;
};

}  // namespace reports::engine
