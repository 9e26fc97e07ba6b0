#include "ReportDialogSupport.h"

#include <QBoxLayout>
#include <QPrinter>
#include <QPushButton>
#include <QWidget>
#include <cmath>

#include "ColorGroup.h"
#include "EngineServices.h"
#include "Settings.h"
#include "WindowLayout.h"

namespace reports {

QString FontSummary(const ReportFont& font) {
    return QString::fromStdString(font.name) + ' ' + QString::number(font.size) + "pt";
}

common::FontChoice ToFontChoice(const ReportFont& font) {
    QFont f(QString::fromStdString(font.name));
    if (font.size > 0) f.setPointSize(font.size);
    f.setBold(font.bold);
    f.setItalic(font.italic);
    f.setUnderline(font.underline);
    f.setStrikeOut(font.strikeout);
    return {f, common::ColorGroup::FromWindowsColor(int(font.color & 0x00FFFFFF))};
}

void StoreFontChoice(const common::FontChoice& choice, ReportFont& font) {
    const QFont& f = choice.font;
    font.name = f.family().left(kFontNameCapacity).toStdString();
    // A font given in pixels keeps the size it had.
    if (f.pointSizeF() > 0) font.size = std::max(1, int(std::lround(f.pointSizeF())));
    font.bold = f.bold();
    font.italic = f.italic();
    font.underline = f.underline();
    font.strikeout = f.strikeOut();
    font.color = uint32_t(common::ColorGroup::ToWindowsColor(choice.color));
}

void Refuse(const QString& title, const QString& text, common::MessageIcon icon, QWidget* control) {
    common::Ui().Beep();
    common::Ui().Message(title, text, icon);
    if (control) control->setFocus();
}

bool CheckStorable(const QString& text, const QString& what, QWidget* control) {
    if (Storable(text.toStdString())) return true;
    Refuse("Error", what + " holds a character that cannot be stored in a report definition.  Please correct.",
           common::MessageIcon::Warning, control);
    return false;
}

void AddOkCancel(QBoxLayout& root, QWidget* owner, QPushButton*& ok, QPushButton*& cancel) {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    ok = new QPushButton("&Ok", owner);
    cancel = new QPushButton("&Cancel", owner);
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    root.addLayout(buttons);
}

void PrepareReportDialog(QWidget& dialog) {
    common::WindowLayout::PrepareDialog(dialog);
    common::WindowLayout::ApplyColors(dialog, common::AppSettings().scheme.Group(common::WindowGroup::Report));
    common::WindowLayout::FinishShowing(dialog, false);
}

QPrinter* ReportPrinter(QPrinter* given) {
    if (given && given->outputFormat() == QPrinter::NativeFormat && engine::PrintersAvailable()) return given;
    if (given && given->outputFormat() == QPrinter::PdfFormat && !given->outputFileName().isEmpty()) return given;
    return nullptr;
}

bool NoPrinterFor(QPrinter* given) { return !ReportPrinter(given) && !engine::PrintersAvailable(); }

void ShowPdfHint(bool fromPreview) {
    const QString how = fromPreview ? QStringLiteral("choose \"Save as PDF...\" from the File menu.")
                                    : QStringLiteral("press \"View\", then choose \"Save as PDF...\" from the File "
                                                     "menu of the report viewing window.");
    common::Ui().Message("Notice", "The report can be kept as a PDF file instead, to print later or elsewhere: " + how,
                         common::MessageIcon::Information);
}

}  // namespace reports
