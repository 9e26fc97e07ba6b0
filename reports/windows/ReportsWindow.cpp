#include "ReportsWindow.h"

#include <QBuffer>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "MainContext.h"
#include "ReportCommands.h"
#include "ReportDialogSupport.h"
#include "ReportFile.h"
#include "ReportPhotos.h"
#include "Settings.h"
#include "InsuranceDialog.h"
#include "ReportViewer.h"
#include "ReportStatusWindow.h"

namespace reports {

using common::AppSettings;
using common::MessageIcon;
using common::Ui;

ReportSettings AppReportSettings() {
    const common::Settings& s = AppSettings();
    ReportSettings settings;
    for (int p = 1; p <= store::kItemFieldCount; ++p)
        if (!s.Field(p).title.isEmpty()) settings.fieldTitles[size_t(p - 1)] = s.Field(p).title;
    settings.sortFields = s.sortFields;
    InsuranceDetails& ins = settings.insurance;
    ins.company = s.insuranceCompany;
    ins.policy = s.policyNumber;
    ins.yourName = s.yourName;
    ins.printCompany = s.printInsuranceCompany;
    ins.printPolicy = s.printPolicyNumber;
    ins.printStatement = s.printStatement;
    settings.numbers.builtInNumbers = s.numericFormat == 1;
    settings.numbers.builtInCurrency = s.currencyFormat == 1;
    settings.numbers.regional = Regional();
    settings.today = store::Date::Today();
    return settings;
}

ReportsWindow::ReportsWindow(common::MainContext& context, QPrinter* printer, QWidget* parent)
    : QDialog(parent), m_context(context), m_printer(printer) {
    setWindowTitle("Reports");
    BuildControls();
    // The design size is what the controls need, not a default window size.
    adjustSize();
    m_design.Record(*this);
}

void ReportsWindow::BuildControls() {
    auto* root = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    root->addLayout(left, 1);

    auto* what = new QGroupBox("What to Print", this);
    auto* whatLayout = new QHBoxLayout(what);
    PrintSearchCriteria = new QRadioButton("Print Search Criteria", what);
    PrintEntireDatabase = new QRadioButton("Print Entire Database", what);
    whatLayout->addWidget(PrintSearchCriteria);
    whatLayout->addWidget(PrintEntireDatabase);
    left->addWidget(what);

    auto* selection = new QGroupBox("Report Selection", this);
    ReportList = new QListWidget(selection);
    ReportList->setMinimumSize(300, 150);
    (new QVBoxLayout(selection))->addWidget(ReportList);
    left->addWidget(selection, 1);
    connect(ReportList, &QListWidget::itemDoubleClicked, this, [this] { ViewReport(); });

    auto* sortBox = new QGroupBox("Current Sort Order", this);
    SortOrderPanel = new QLabel(sortBox);
    SortOrderPanel->setFrameShape(QFrame::Panel);
    SortOrderPanel->setFrameShadow(QFrame::Sunken);
    SortOrderPanel->setAlignment(Qt::AlignCenter);
    SortOrderPanel->setWordWrap(true);
    (new QVBoxLayout(sortBox))->addWidget(SortOrderPanel);
    left->addWidget(sortBox);

    auto* buttons = new QVBoxLayout;
    root->addLayout(buttons);
    auto add = [&](QPushButton*& button, const char* caption, void (ReportsWindow::*handler)()) {
        button = new QPushButton(caption, this);
        button->setAutoDefault(false);
        buttons->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    add(ViewButton, "&View", &ReportsWindow::ViewReport);
    add(PrintButton, "&Print", &ReportsWindow::PrintReport);
    add(PrintToFileButton, "Print To &File", &ReportsWindow::PrintReportToFile);
    add(InsuranceButton, "&Insurance", &ReportsWindow::EditInsuranceInformation);
    add(NewReportButton, "&New Report", &ReportsWindow::AddNewReport);
    add(ModifyReportButton, "&Modify Report", &ReportsWindow::ModifySelectedReport);
    add(HelpButton, "&Help", &ReportsWindow::ShowHelp);
    buttons->addStretch(1);
    add(ExitButton, "E&xit", &ReportsWindow::CloseWindow);
    ViewButton->setDefault(true);
}

QString ReportsWindow::SortOrderText() {
    const common::Settings& s = AppSettings();
    QStringList names;
    for (int field : s.sortFields)
        if (field >= 1 && field <= store::kItemFieldCount) names << s.Field(field).title;
    return names.isEmpty() ? QStringLiteral("No Sort Order Selected") : names.join(QStringLiteral(", "));
}

void ReportsWindow::showEvent(QShowEvent* event) {
    PrepareToShow();
    QDialog::showEvent(event);
}

void ReportsWindow::PrepareToShow() {
    common::WindowLayout::PrepareDialog(*this, &m_design);
    common::WindowLayout::ApplyColors(*this, AppSettings().scheme.Group(common::WindowGroup::Report));
    const bool searching = m_context.SearchOn();
    PrintSearchCriteria->setEnabled(searching);
    (searching ? PrintSearchCriteria : PrintEntireDatabase)->setChecked(true);
    SortOrderPanel->setText(SortOrderText());
    FillReportList(*ReportList);
    const int last = std::clamp(AppSettings().lastReport, 0, std::max(0, ReportList->count() - 1));
    if (ReportList->count() > 0) ReportList->setCurrentRow(last);
    ReportList->setFocus();
    adjustSize();
    common::WindowLayout::FinishShowing(*this, false);
}

void ReportsWindow::done(int result) {
    if (ReportList->currentRow() >= 0) AppSettings().lastReport = ReportList->currentRow();
    QDialog::done(result);
}

void ReportsWindow::CloseWindow() { reject(); }

void ReportsWindow::ShowHelp() { Ui().OpenHelp("Report Window"); }

void ReportsWindow::EditInsuranceInformation() {
    InsuranceDialog dialog(this);
    Ui().ShowModal(dialog);
}

void ReportsWindow::AddNewReport() { NewReport(*ReportList, this); }

void ReportsWindow::ModifySelectedReport() { ModifyReport(*ReportList, this); }

void ReportsWindow::PrintReportToFile() {
    // A report has to be chosen before its file is.
    if (ReportList->currentRow() < 0) {
        Refuse("Error", "No Report has been selected.  Please choose one.", MessageIcon::Warning, ReportList);
        return;
    }
    common::FileRequest request;
    request.title = "Save Report As a Text File";
    request.filter = "Text Files (*.TXT)|*.TXT";
    request.defaultExtension = "TXT";
    request.askOverwrite = true;
    if (const auto path = Ui().SaveFile(request)) RunReport(OutputMode::TextFile, *path);
}

void ReportsWindow::RunReport(OutputMode mode, const QString& textFile) {
    // 1. and 2.
    const int k = ReportList->currentRow();
    if (k < 0) {
        Refuse("Error", "No Report has been selected.  Please choose one.", MessageIcon::Warning, ReportList);
        return;
    }
    if (!ReportFile(AppReportFilePath()).Exists()) {
        Refuse("Error", "Report format could not be located.", MessageIcon::Warning, ReportList);
        return;
    }
    if (!ReadCurrentReport(k)) return;

    // 3. The search is back on afterwards, whatever happens in between.
    const bool suspended = m_context.SearchOn() && PrintEntireDatabase->isChecked();
    struct SearchBack {
        common::MainContext& context;
        bool on;
        ~SearchBack() {
            if (!on) return;
            context.EnableEndSearch();
            context.RefreshGrid();
            context.DisplayCount();
        }
    } searchBack{m_context, suspended};
    if (suspended) m_context.DoEndSearch();

    // 4.
    const ReportDefinition def = CurrentReport();
    ReportSettings settings = AppReportSettings();
    settings.photos = PhotosOf(m_context.Attachments());
    QBuffer recorded;
    bool aborted = true;
    {
        ReportStatusWindow form(mode, def, m_context.ItemTable(), settings, this);
        form.SetPrinter(m_printer);
        if (mode == OutputMode::TextFile) form.SetTextFile(textFile);
        if (mode == OutputMode::View) form.SetStream(&recorded);
        Ui().ShowModal(form);
        aborted = form.Aborted();
    }
    // 5. and 6.
    if (mode == OutputMode::View && !aborted) {
        ReportViewer preview(QString::fromStdString(def.name), &recorded, m_printer, this);
        Ui().ShowModal(preview);
    }
}

}  // namespace reports
