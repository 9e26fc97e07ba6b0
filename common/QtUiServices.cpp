#include "QtUiServices.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include "FontChooser.h"

namespace common {
namespace {

QWidget* DialogParent() { return QApplication::activeWindow(); }

QMessageBox::Icon ToQt(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton ToQt(Answer answer) {
    switch (answer) {
    case Answer::Ok: return QMessageBox::Ok;
    case Answer::Cancel: return QMessageBox::Cancel;
    case Answer::Yes: return QMessageBox::Yes;
    case Answer::No: return QMessageBox::No;
    case Answer::None: break;
    }
    return QMessageBox::NoButton;
}

QString CaseBlindPattern(const QString& pattern) {
    QString out;
    for (QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper()) out += u'[' + c.toLower() + c.toUpper() + u']';
        else out += c;
    }
    return out;
}

std::optional<QString> RunFileDialog(const FileRequest& request, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(DialogParent(), request.title, request.directory);
    dialog.setAcceptMode(mode);
    // Qt's own dialog honours the bracket patterns that make filters blind
    // to letter case; native dialogs may not.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.askOverwrite);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen && request.mustExist ? QFileDialog::ExistingFile
                                                                           : QFileDialog::AnyFile);
    const QStringList filters = QtUiServices::NameFilters(request.filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!request.defaultExtension.isEmpty()) dialog.setDefaultSuffix(request.defaultExtension);
    if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

}  // namespace

void QtUiServices::Message(const QString& title, const QString& text, MessageIcon icon) {
    QMessageBox box(ToQt(icon), title, text, QMessageBox::Ok, DialogParent());
    box.exec();
}

Answer QtUiServices::Ask(const QString& title, const QString& text, Buttons buttons, Answer defaultAnswer,
                         MessageIcon icon) {
    QMessageBox::StandardButtons qtButtons;
    switch (buttons) {
    case Buttons::Ok: qtButtons = QMessageBox::Ok; break;
    case Buttons::OkCancel: qtButtons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case Buttons::YesNo: qtButtons = QMessageBox::Yes | QMessageBox::No; break;
    case Buttons::YesNoCancel: qtButtons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    }
    QMessageBox box(ToQt(icon), title, text, qtButtons, DialogParent());
    if (defaultAnswer != Answer::None) box.setDefaultButton(ToQt(defaultAnswer));
    switch (box.exec()) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Cancel: return Answer::Cancel;
    default: break;
    }
    // Closed with Escape or the close box.
    return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
}

void QtUiServices::Beep() { QApplication::beep(); }

std::optional<QString> QtUiServices::OpenFile(const FileRequest& request) {
    return RunFileDialog(request, QFileDialog::AcceptOpen);
}

std::optional<QString> QtUiServices::SaveFile(const FileRequest& request) {
    auto path = RunFileDialog(request, QFileDialog::AcceptSave);
    if (path) *path = WithDefaultExtension(*path, request.defaultExtension);
    return path;
}

std::optional<QString> QtUiServices::ChooseFolder(const QString& title, const QString& directory) {
    const QString dir = QFileDialog::getExistingDirectory(DialogParent(), title, directory,
                                                          QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (dir.isEmpty()) return std::nullopt;
    return dir;
}

std::optional<QColor> QtUiServices::ChooseColor(const QColor& initial) {
    const QColor color = QColorDialog::getColor(initial, DialogParent());
    if (!color.isValid()) return std::nullopt;
    return color;
}

std::optional<FontChoice> QtUiServices::ChooseFont(const FontChoice& initial, bool withEffects) {
    FontChooser dialog(initial, withEffects, DialogParent());
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Choice();
}

bool QtUiServices::SetupPrinter(QPrinter& printer) {
    // With no printer there is nothing to set up; the caller decides what
    // the user is told.
    if (QPrinterInfo::availablePrinterNames().isEmpty()) return false;
    QPrintDialog dialog(&printer, DialogParent());
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    return dialog.exec() == QDialog::Accepted;
}

int QtUiServices::ShowModal(QDialog& dialog) { return dialog.exec(); }

void QtUiServices::OpenHelp(const QString& keyword) {
    if (m_help) m_help(keyword);
}

QStringList QtUiServices::NameFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(u';', Qt::SkipEmptyParts))
            patterns << CaseBlindPattern(p.trimmed());
        // Qt reads the patterns from the last parentheses; with the details
        // hidden the user sees only the description as the window gives it.
        out << parts[i] + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return out;
}

QString QtUiServices::WithDefaultExtension(const QString& path, const QString& extension) {
    if (extension.isEmpty() || path.isEmpty()) return path;
    if (!QFileInfo(path).suffix().isEmpty()) return path;
    return path + u'.' + extension;
}

}  // namespace common
