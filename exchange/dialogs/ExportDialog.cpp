#include "ExportDialog.h"

#include <QCheckBox>
#include <algorithm>
#include <QGridLayout>
#include <QHeaderView>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "AttachmentFolderCopy.h"
#include "AttachmentStore.h"
#include "ExportChoices.h"
#include "ExportEngine.h"
#include "ItemSchema.h"
#include "MainContext.h"
#include "Settings.h"
#include "UiServices.h"
#include "WindowLayout.h"

namespace exchange {
namespace {

using common::AppSettings;
using common::Ui;

constexpr int kFields = store::kItemFieldCount;
constexpr int kTitleWidth = 200;
constexpr int kFlagWidth = 100;
constexpr int kListMargin = 20;

const char* const kTextFilter = "Ascii Delimited Text (*.TXT)|*.TXT";
const char* const kDbfFilter = "DBase (*.DBF)|*.DBF";
const char* const kWorkbookFilter = "Workbook (*.XLSX)|*.XLSX";

}  // namespace

ExportDialog::ExportDialog(common::MainContext& context, QWidget* parent)
    : RunDialog(parent ? parent : context.Window()), m_context(context) {
    setWindowTitle("Export");
    setObjectName("ExportDialog");

    FieldList = NewFieldList(kFields, {"FIELD", "EXPORT IT"}, this);

    FieldLabel = Heading("Field", this);
    OrderingLabel = Heading("Ordering", this);
    UpButton = new QPushButton("&Up", this);
    DownButton = new QPushButton("&Down", this);
    DefaultsButton = new QPushButton("D&efaults", this);
    NotesTitle = Heading("NOTES", this);
    NotesText = new QLabel(
        "Choose Yes to include a field in the export and No to leave it out.  Double click a field's Yes or No to "
        "switch between the two.",
        this);
    NotesText->setWordWrap(true);

    WhatLabel = Heading("What to Export", this);
    auto* whatBox = new QGroupBox(this);
    EntireOption = new QRadioButton("Export Entire Database", whatBox);
    SearchOption = new QRadioButton("Export Search Criteria", whatBox);
    auto* whatLayout = new QVBoxLayout(whatBox);
    whatLayout->addWidget(EntireOption);
    whatLayout->addWidget(SearchOption);

    HowLabel = Heading("How To Export", this);
    auto* howBox = new QGroupBox(this);
    TextOption = new QRadioButton("Ascii Delimited Text File", howBox);
    DbfOption = new QRadioButton("DBase File (DBF)", howBox);
    WorkbookOption = new QRadioButton("Workbook (XLSX)", howBox);
    FirstRowCheck = new QCheckBox("&First Record Contains Field Names", howBox);
    auto* howLayout = new QVBoxLayout(howBox);
    howLayout->addWidget(TextOption);
    howLayout->addWidget(DbfOption);
    howLayout->addWidget(WorkbookOption);
    howLayout->addWidget(FirstRowCheck);

    StartButton = new QPushButton("&Start Export", this);
    QFont startFont("Arial");
    startFont.setPixelSize(20);
    StartButton->setFont(startFont);
    ExitButton = new QPushButton("E&xit", this);
    HelpButton = new QPushButton("&Help", this);
    ProgressLabel = Heading("Export Progress", this);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setTextVisible(true);
    ProgressBar->setFormat("%p%");
    ProgressBar->setStyleSheet("QProgressBar { border: 1px solid gray; text-align: center; }"
                               "QProgressBar::chunk { background-color: red; }");
    CancelButton = new QPushButton("&Cancel", this);
    CancelButton->setEnabled(false);
    CancelButton->setToolTip("Stops the export; no file is written.");

    // Field list on the left; ordering, notes and choices on the right.
    // The field list with the progress under it on the left; ordering,
    // notes and choices on the right. It all fits a 640 x 480 screen.
    auto* ordering = new QGridLayout;
    ordering->addWidget(FieldLabel, 0, 0, Qt::AlignHCenter);
    ordering->addWidget(OrderingLabel, 0, 1, Qt::AlignHCenter);
    ordering->addWidget(UpButton, 1, 0);
    ordering->addWidget(DownButton, 1, 1);
    ordering->addWidget(DefaultsButton, 1, 2);
    for (QGroupBox* box : {whatBox, howBox}) {
        box->layout()->setContentsMargins(6, 2, 6, 2);
        box->layout()->setSpacing(0);
    }
    auto* right = new QVBoxLayout;
    right->setSpacing(4);
    right->addLayout(ordering);
    right->addSpacing(4);
    right->addWidget(NotesTitle);
    right->addWidget(NotesText);
    right->addSpacing(4);
    right->addWidget(WhatLabel);
    right->addWidget(whatBox);
    right->addWidget(HowLabel);
    right->addWidget(howBox);
    right->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(StartButton, 1);
    buttons->addWidget(ExitButton);
    buttons->addWidget(HelpButton);
    right->addLayout(buttons);
    auto* progress = new QHBoxLayout;
    progress->addWidget(ProgressLabel);
    progress->addWidget(ProgressBar, 1);
    progress->addWidget(CancelButton);
    auto* left = new QVBoxLayout;
    left->addWidget(FieldList, 1);
    left->addLayout(progress);
    auto* root = new QHBoxLayout(this);
    root->setContentsMargins(8, 8, 8, 8);
    root->addLayout(left);
    root->addLayout(right, 1);
    connect(FieldList, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int column) { ToggleFieldExported(row, column); });
    connect(UpButton, &QPushButton::clicked, this, [this] { MoveFieldUp(); });
    connect(DownButton, &QPushButton::clicked, this, [this] { MoveFieldDown(); });
    connect(DefaultsButton, &QPushButton::clicked, this, [this] { RestoreDefaultOrder(); });
    connect(TextOption, &QRadioButton::clicked, this, [this] { ChooseTextFile(); });
    connect(DbfOption, &QRadioButton::clicked, this, [this] { ChooseDbfFile(); });
    connect(WorkbookOption, &QRadioButton::clicked, this, [this] { ChooseWorkbookFile(); });
    connect(FirstRowCheck, &QCheckBox::clicked, this, [this] { StoreFirstRowChoice(); });
    connect(StartButton, &QPushButton::clicked, this, [this] { StartExport(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { Cancel(); });
    connect(ExitButton, &QPushButton::clicked, this, [this] { CloseWindow(); });
    connect(HelpButton, &QPushButton::clicked, this, [this] { ShowHelp(); });

    // The choices as the settings and the search state leave them.
    const common::Settings& s = AppSettings();
    FillList();
    FitList();
    const bool searching = m_context.SearchOn();
    SearchOption->setEnabled(searching);
    (searching ? SearchOption : EntireOption)->setChecked(true);
    ShowFileKind(s.exportWorkbook ? FileKind::Workbook : s.exportFileType == 2 ? FileKind::Dbase : FileKind::Text);
    FirstRowCheck->setChecked(s.exportFirstRow);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

ExportDialog::~ExportDialog() = default;

void ExportDialog::showEvent(QShowEvent* event) {
    PrepareToShow();
    QDialog::showEvent(event);
}

void ExportDialog::PrepareToShow() {
    common::WindowLayout::PrepareDialog(*this);
    FitList();
    ApplyGroupColors();
    common::WindowLayout::FinishShowing(*this, true);
}

void ExportDialog::FitList() {
    const double factor = common::WindowSizeFactor();
    auto scaled = [factor](int width) { return int(width * factor + 0.5); };
    FieldList->setColumnWidth(0, scaled(kTitleWidth));
    FieldList->setColumnWidth(1, scaled(kFlagWidth));
    FieldList->setFixedWidth(scaled(kTitleWidth + kFlagWidth) + kListMargin);
    FieldList->verticalHeader()->setDefaultSectionSize(FieldList->fontMetrics().height() + 6);
    FieldList->setMinimumHeight(scaled(300));
    NotesText->setFixedWidth(scaled(280));
}

void ExportDialog::ApplyGroupColors() {
    const common::ColorGroup& g = AppSettings().scheme.Group(common::WindowGroup::Configure);
    common::WindowLayout::ApplyColors(*this, g);
    for (QLabel* l : {FieldLabel, OrderingLabel, NotesTitle, WhatLabel, HowLabel, ProgressLabel})
        common::WindowLayout::SetTextColor(*l, g[common::ColorSlot::MinorTitle]);
}

void ExportDialog::FillList() {
    const std::vector<ExportRow> rows = ExportRows(AppSettings());
    for (int row = 0; row < kFields; ++row) SetRow(row, rows[size_t(row)].position, rows[size_t(row)].exported);
}

void ExportDialog::SetRow(int row, int position, bool exported) {
    QTableWidgetItem* title = FixedCell(AppSettings().Field(position).title);
    title->setData(Qt::UserRole, position);
    FieldList->setItem(row, 0, title);
    FieldList->setItem(row, 1, FixedCell(exported ? "Yes" : "No"));
}

void ExportDialog::ShowFileKind(FileKind kind) {
    const bool text = kind == FileKind::Text;
    (text ? TextOption : kind == FileKind::Dbase ? DbfOption : WorkbookOption)->setChecked(true);
    // A workbook always has its row of titles.
    FirstRowCheck->setVisible(text);
    FirstRowCheck->setEnabled(text);
}

ExportDialog::FileKind ExportDialog::ChosenKind() const {
    return TextOption->isChecked() ? FileKind::Text : DbfOption->isChecked() ? FileKind::Dbase : FileKind::Workbook;
}

// ---------------------------------------------------------------- handlers

void ExportDialog::ToggleFieldExported(int row, int column) {
    if (column != 1 || row < 0 || row >= kFields) return;
    QTableWidgetItem* item = FieldList->item(row, 1);
    item->setText(item->text() == "Yes" ? "No" : "Yes");
}

void ExportDialog::MoveFieldUp() { MoveCurrentRow(*FieldList, -1, 0, 1); }

void ExportDialog::MoveFieldDown() { MoveCurrentRow(*FieldList, 1, 0, 1); }

void ExportDialog::RestoreDefaultOrder() {
    if (Ui().Ask("Re-Order", "This will set the order of fields to the program defaults.  Continue?",
                 common::Buttons::YesNo, common::Answer::No) != common::Answer::Yes)
        return;
    for (int p = 1; p <= kFields; ++p) SetRow(p - 1, p, true);
}

void ExportDialog::ChooseTextFile() { ShowFileKind(FileKind::Text); }

void ExportDialog::ChooseDbfFile() { ShowFileKind(FileKind::Dbase); }

void ExportDialog::ChooseWorkbookFile() { ShowFileKind(FileKind::Workbook); }

void ExportDialog::StoreFirstRowChoice() { AppSettings().exportFirstRow = FirstRowCheck->isChecked(); }

void ExportDialog::StoreList() {
    common::Settings& s = AppSettings();
    for (int row = 0; row < kFields; ++row) {
        const int position = FieldList->item(row, 0)->data(Qt::UserRole).toInt();
        if (position < 1 || position > kFields) continue;
        s.Field(position).exportOrder = row + 1;
        s.Field(position).exported = FieldList->item(row, 1)->text() == "Yes";
    }
}

std::vector<int> ExportDialog::SelectedFields() const {
    std::vector<int> fields;
    for (int row = 0; row < kFields; ++row)
        if (FieldList->item(row, 1)->text() == "Yes") fields.push_back(FieldList->item(row, 0)->data(Qt::UserRole).toInt());
    return fields;
}

void ExportDialog::StartExport() {
    if (Running()) return;
    StoreList();
    const std::vector<int> fields = SelectedFields();
    if (fields.empty()) {
        Ui().Message("Error", "No fields selected for export.", common::MessageIcon::Error);
        return;
    }
    const FileKind kind = ChosenKind();
    const bool text = kind == FileKind::Text;
    common::FileRequest request;
    request.title = "Export Data";
    request.filter = text ? kTextFilter : kind == FileKind::Dbase ? kDbfFilter : kWorkbookFilter;
    request.defaultExtension = text ? "TXT" : kind == FileKind::Dbase ? "DBF" : "XLSX";
    request.askOverwrite = true;
    const auto path = Ui().SaveFile(request);
    if (!path) return;
    // A table or workbook under another name would open in no program.
    const QString extension = kind == FileKind::Dbase ? ".DBF" : ".XLSX";
    if (!text && !path->toUpper().endsWith(extension)) {
        Ui().Message("Error", "Invalid file type selected.", common::MessageIcon::Error);
        return;
    }
    RunExport(kind, *path, fields);
}

void ExportDialog::RunExport(FileKind kind, const QString& path, const std::vector<int>& fields) {
    store::Table& table = m_context.ItemTable();
    ExportRequest request;
    request.path = path.toStdString();
    request.positions = fields;
    if ((kind == FileKind::Text && AppSettings().exportFirstRow) || kind == FileKind::Workbook)
        request.titles = ExportTitles(AppSettings(), table, fields);
    const bool searchEnded = EntireOption->isChecked() && m_context.SearchOn();
    if (searchEnded) m_context.DisableEndSearch();
    // The exported items' photos and documents may go along, into a folder
    // beside the new file; record k of the new file is records[k] here.
    const std::vector<uint32_t> records = table.DeliveredRecords();
    attachments::AttachmentStore* store = m_context.Attachments();
    bool copyAttachments = false;
    if (store && store->Attached() &&
        std::any_of(records.begin(), records.end(), [store](uint32_t r) { return store->CountOf(r) > 0; })) {
        const common::Answer answer =
            Ui().Ask("Export",
                     "Copy the photos and documents of the exported items into a folder beside the exported file?",
                     common::Buttons::YesNoCancel, common::Answer::Yes, common::MessageIcon::Question);
        if (answer == common::Answer::Cancel || answer == common::Answer::None) {
            if (searchEnded) m_context.EnableEndSearch();
            return;
        }
        copyAttachments = answer == common::Answer::Yes;
    }
    ProgressBar->setRange(0, int(std::max<uint32_t>(1, table.RecordCount())));
    ProgressBar->setValue(0);
    const RunResult result = RunEngine(
        CancelButton, [this](const Progress& p) { ProgressBar->setValue(int(p.done)); },
        [&](const ProgressFn& progress) {
            switch (kind) {
            case FileKind::Text: return ExportText(table, request, progress);
            case FileKind::Dbase: return ExportDbf(table, request, progress);
            case FileKind::Workbook: break;
            }
            return ExportXlsx(table, request, progress);
        });
    if (searchEnded) {
        m_context.EnableEndSearch();
        m_context.RefreshGrid();
    }
    ProgressBar->setValue(ProgressBar->maximum());
    switch (result.outcome) {
    case Outcome::Completed:
        if (copyAttachments) {
            attachments::AttachmentFolderCopy copy;
            std::string reason;
            if (copy.StageRecords(*store, records, attachments::AttachmentFolderFor(request.path), {}, &reason) &&
                copy.Commit(&reason)) {
                if (!copy.Skipped().empty())
                    Ui().Message("Export",
                                 QString::fromStdString("The items were exported, but some of their files are not "
                                                        "files and were not copied.\n" + copy.Skipped().front()),
                                 common::MessageIcon::Warning);
            } else {
                Ui().Message("Error",
                             QString::fromStdString("The items were exported, but their photos and documents could "
                                                    "not be copied.  " + reason),
                             common::MessageIcon::Error);
            }
        }
        Ui().Message("Ok", "Export Complete.", common::MessageIcon::Information);
        ProgressBar->setValue(0);
        accept();
        return;
    case Outcome::Cancelled:
        ProgressBar->setValue(0);
        return;
    case Outcome::Failed:
        ProgressBar->setValue(0);
        Ui().Message("Error", QString::fromStdString(result.message), common::MessageIcon::Error);
        return;
    }
}

void ExportDialog::CloseWindow() { reject(); }

void ExportDialog::ShowHelp() { Ui().OpenHelp("Export Window"); }

void ExportDialog::StoreOnClose() {
    StoreList();
    // The file type other programs read stays 1 or 2; the workbook choice
    // is kept beside it.
    AppSettings().exportWorkbook = WorkbookOption->isChecked();
    if (!WorkbookOption->isChecked()) AppSettings().exportFileType = TextOption->isChecked() ? 1 : 2;
}

}  // namespace exchange
