#pragma once
// What the report definition dialogs share: the font summaries, the step
// from a report font to a Qt font and back, and the way these windows refuse
// input (a beep, one message box, the offending control focused).

#include <QFont>
#include <QString>

#include "ReportDefinition.h"
#include "UiServices.h"

class QBoxLayout;
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

}  // namespace reports
