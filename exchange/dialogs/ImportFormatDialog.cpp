#include "ImportFormatDialog.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ImportEngine.h"
#include "MainContext.h"
#include "Settings.h"
#include "ImportDialog.h"
#include "SheetImportDialog.h"
#include "UiServices.h"
#include "WindowLayout.h"

namespace exchange {

using common::AppSettings;
using common::Ui;

ImportFormatDialog::ImportFormatDialog(common::MainContext& context, QWidget* parent)
    : QDialog(parent ? parent : context.Window()), m_context(context) {
    setWindowTitle("Import Format");
    setObjectName("ImportFormatDialog");
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    TextOption = new QRadioButton("Ascii Delimited File", panel);
    DbfOption = new QRadioButton("DBase File (DBF)", panel);
    SheetOption = new QRadioButton("Spreadsheet (CSV or XLSX)", panel);
    auto* options = new QVBoxLayout(panel);
    options->addWidget(TextOption);
    options->addWidget(DbfOption);
    options->addWidget(SheetOption);
    SelectFileButton = new QPushButton("Select &File", this);
    CancelButton = new QPushButton("&Cancel", this);
    SelectFileButton->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SelectFileButton);
    buttons->addWidget(CancelButton);
    auto* root = new QVBoxLayout(this);
    root->addWidget(panel);
    root->addLayout(buttons);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    (AppSettings().importSpreadsheet     ? SheetOption
     : AppSettings().importFileType == 2 ? DbfOption
                                         : TextOption)
        ->setChecked(true);
    connect(SelectFileButton, &QPushButton::clicked, this, [this] { ChooseSourceFile(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { Cancel(); });
}

void ImportFormatDialog::showEvent(QShowEvent* event) {
    PrepareToShow();
    QDialog::showEvent(event);
}

void ImportFormatDialog::PrepareToShow() {
    common::WindowLayout::PrepareDialog(*this);
    const common::ColorGroup& g = AppSettings().scheme.Group(common::WindowGroup::Configure);
    common::WindowLayout::ApplyColors(*this, g);
    for (QFrame* panel : findChildren<QFrame*>(Qt::FindDirectChildrenOnly))
        common::WindowLayout::SetBackground(*panel, g[common::ColorSlot::MainBackground]);
    common::WindowLayout::FinishShowing(*this, false);
}

void ImportFormatDialog::ChooseSourceFile() {
    if (SheetOption->isChecked()) {
        ChooseSpreadsheet();
        return;
    }
    const bool text = TextOption->isChecked();
    common::FileRequest request;
    request.title = "Import Data";
    request.filter = text ? "Ascii Delimited Text (*.TXT)|*.TXT" : "DBase  (*.DBF)|*.DBF";
    request.defaultExtension = text ? "TXT" : "DBF";
    request.mustExist = true;
    const auto path = Ui().OpenFile(request);
    if (!path) return;
    // A large text file is read through once to learn its encoding.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Examination ex = text ? ExamineTextSource(path->toStdString()) : ExamineDbfSource(path->toStdString());
    QApplication::restoreOverrideCursor();
    if (!ex.accepted) {
        Ui().Message("Error", QString::fromStdString(ex.message), common::MessageIcon::Error);
        return;
    }
    QStringList names;
    for (const auto& n : ex.names) names << QString::fromStdString(n);
    ImportDialog import(m_context, text ? SourceKind::Text : SourceKind::Dbase, *path, names, this);
    Ui().ShowModal(import);
    accept();
}

void ImportFormatDialog::ChooseSpreadsheet() {
    common::FileRequest request;
    request.title = "Import Data";
    request.filter = "Spreadsheets (*.CSV;*.XLSX)|*.CSV;*.XLSX|Text (*.TXT)|*.TXT";
    request.defaultExtension = "CSV";
    request.mustExist = true;
    const auto path = Ui().OpenFile(request);
    if (!path) return;
    SheetImportDialog import(m_context, *path, this);
    if (!import.Readable()) {
        Ui().Message("Error", import.Problem(), common::MessageIcon::Error);
        return;
    }
    Ui().ShowModal(import);
    accept();
}

void ImportFormatDialog::Cancel() { reject(); }

void ImportFormatDialog::done(int result) {
    // The file type other programs read stays 1 or 2; the spreadsheet
    // choice is kept beside it.
    AppSettings().importSpreadsheet = SheetOption->isChecked();
    if (!SheetOption->isChecked()) AppSettings().importFileType = DbfOption->isChecked() ? 2 : 1;
    QDialog::done(result);
}

}  // namespace exchange
