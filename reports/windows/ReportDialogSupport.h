#pragma once
// What the report definition dialogs share: the font summaries, the step
// from a report font to a Qt font and back, and the way these windows refuse
// input (a beep, one message box, the offending control focused).

#include <QFont>
#include <QString>

#include "ReportDefinition.h"
#include "UiServices.h"

class QBoxLayout;
class QPrinter;
class QPushButton;
class QWidget;

namespace reports {

// Name, a blank, size and "pt": "Arial 8pt".
QString FontSummary(const ReportFont& font);
common::FontChoice ToFontChoice(const ReportFont& font);
// The chosen name (cut to its field), size, colour and the four styles.
void StoreFontChoice(const common::FontChoice& choice, ReportFont& font);

// A beep, then the message; the control (when given) takes the focus.
void Refuse(const QString& title, const QString& text, common::MessageIcon icon, QWidget* control);
// Refuses a text the report file cannot hold; true when it can.
bool CheckStorable(const QString& text, const QString& what, QWidget* control);

// The "&Ok" (default) and "&Cancel" buttons at the right of a row at the
// end of the layout.
void AddOkCancel(QBoxLayout& root, QWidget* owner, QPushButton*& ok, QPushButton*& cancel);

// Colours, fonts, size and place every report definition dialog takes when
// it is shown.
void PrepareReportDialog(QWidget& dialog);

// The printer reports go to: the one given when it is a real printer (the
// printer set-up's choice), else nullptr, which the page engine takes for
// the system's default printer, or for none when there is no printer.
QPrinter* ReportPrinter(QPrinter* given);
// Whether printing to that printer has to be refused for want of a printer.
bool NoPrinterFor(QPrinter* given);
// Follows the page engine's "No printers are defined" message: the report
// can still be kept as a PDF file from the preview.
void ShowPdfHint(bool fromPreview);

}  // namespace reports
