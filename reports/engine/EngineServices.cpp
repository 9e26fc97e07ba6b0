#include "EngineServices.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPrinterInfo>
#include <QtDebug>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "ReportTypes.h"

namespace reports::engine {

namespace {

MessageHandler& Handler() {
    static MessageHandler handler;
    return handler;
}

std::optional<bool>& PrintersOverride() {
    static std::optional<bool> value;
    return value;
}

uint64_t g_printerLookups = 0;

}  // namespace

const char* const kNoPrintersMessage = "No printers are defined, aborting print job.";

MessageHandler SetMessageHandler(MessageHandler handler) {
    MessageHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

void ShowMessage(const QString& title, const QString& text) {
    if (Handler())
        Handler()(title, text);
    else
        qWarning().noquote() << title << ":" << text;
}

bool PrintersAvailable() {
    ++g_printerLookups;
    if (PrintersOverride()) return *PrintersOverride();
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

void SetPrintersAvailableOverride(std::optional<bool> available) { PrintersOverride() = available; }

uint64_t PrinterLookups() { return g_printerLookups; }

void KeepPageBuffers() {
#ifdef __GLIBC__
    static const bool kept = [] {
        // Blocks under 32 MB from the heap, and up to 64 MB free at its top
        // kept rather than given back.
        ::mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        ::mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
        return true;
    }();
    (void)kept;
#endif
}

WaitCursor::WaitCursor() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        m_shown = true;
    }
}

WaitCursor::~WaitCursor() {
    if (m_shown) QGuiApplication::restoreOverrideCursor();
}

ColourRef ToColourRef(const QColor& colour) {
    const QRgb rgb = colour.rgb();
    return ColourRef(qRed(rgb)) | ColourRef(qGreen(rgb)) << 8 | ColourRef(qBlue(rgb)) << 16;
}

QColor FromColourRef(ColourRef colour) {
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

}  // namespace reports::engine
