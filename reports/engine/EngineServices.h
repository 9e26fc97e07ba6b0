#pragma once
// What the page engine needs from the program around it, kept behind small
// hooks so that the engine itself links only Qt Gui and PrintSupport:
//
// - messages: the engine reports a refusal or a failure ("No printers are
//   defined, aborting print job.", a recorded report that cannot be read)
//   through one handler. The program installs one that shows a message box
//   through its user-interface services; tests install one that records.
//   Until a handler is installed, messages go to the Qt warning log.
// - whether the system has a printer: asked of Qt's printer list (a round
//   trip to the print service), unless a test fixes the answer. The engine
//   asks once per job; the count of questions shows what a job costs.
// - the wait cursor, shown while pages are rendered or printed when there
//   is a GUI application.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace reports::engine {

using MessageHandler = std::function<void(const QString& title, const QString& text)>;

// Installs the handler and returns the previous one; an empty handler
// restores the warning log.
MessageHandler SetMessageHandler(MessageHandler handler);
void ShowMessage(const QString& title, const QString& text);

// The message shown when a job needs a printer and the system has none.
extern const char* const kNoPrintersMessage;

bool PrintersAvailable();
// Fixes the answer of PrintersAvailable (std::nullopt asks Qt again).
void SetPrintersAvailableOverride(std::optional<bool> available);
// How often PrintersAvailable was asked since the program started.
uint64_t PrinterLookups();

// Before pages are written into a PDF (a PDF file, or a printer, which
// takes PDF too): the PDF writer compresses every page through two 10 MB
// buffers it allocates and frees again, which the C library by default hands
// back to the system and maps afresh for the next page, a page fault for
// every 4 KB touched. Buffers of that size are kept in the heap instead.
void KeepPageBuffers();

// Shows the wait cursor for its lifetime when a GUI application runs.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_shown = false;
};

}  // namespace reports::engine
