#include "ImportDialog.h"

#include <QCheckBox>
#include <algorithm>
#include <QGridLayout>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ExportChoices.h"
#include "ImportEngine.h"
#include "ItemSchema.h"
#include "MainContext.h"
#include "Settings.h"
#include "UiServices.h"
#include "WindowLayout.h"

namespace exchange {
namespace {

using common::AppSettings;
using common::Ui;

constexpr int kItemFields = store::kItemFieldCount;
constexpr int kItemColumn = 179;
constexpr int kSourceColumn = 179;
constexpr int kUseColumn = 38;
constexpr int kGridWidth = 400;
constexpr int kGridMargin = 20;
const char* const kEmpty = "<EMPTY>";

}  // namespace

ImportDialog::ImportDialog(common::MainContext& context, SourceKind kind, const QString& path, const QStringList& names,
                     QWidget* parent)
    : RunDialog(parent ? parent : context.Window()), m_context(context), m_kind(kind), m_path(path), m_names(names) {
    setWindowTitle(kind == SourceKind::Text ? "Ascii Delimited Text Import" : "DBase File Import");
    setObjectName("ImportDialog");

    const int rows = std::max<int>(kItemFields, int(names.size()));
    Grid = NewFieldList(rows, {"HALVENOR FIELDS", "IMPORT FIELDS", "USE"}, this);
    for (int row = 0; row < rows; ++row) {
        Grid->setItem(row, 0, FixedCell(row < kItemFields ? AppSettings().Field(row + 1).title : QString()));
        const bool source = row < names.size();
        Grid->setItem(row, 1, FixedCell(source ? names[row] : (row < kItemFields ? kEmpty : QString())));
        Grid->setItem(row, 2, FixedCell(source ? "Yes" : ""));
    }

    FieldLabel = Heading("Field", this);
    AlignmentLabel = Heading("Alignment", this);
    UpButton = new QPushButton("&Up", this);
    DownButton = new QPushButton("&Down", this);
    NoteText = new QLabel(
        "Use Up and Down to move each import field beside the Halvenor field that is to receive it.  Choose Yes "
        "under USE to include a field and No to leave it out: double click the USE cell to switch between the two.",
        this);
    NoteText->setWordWrap(true);
    ImportLabel = Heading("Import", this);
    CountLabel = Heading("Count", this);
    for (QLabel* label : {FieldLabel, AlignmentLabel, ImportLabel, CountLabel}) label->setAlignment(Qt::AlignHCenter);
    CountValue = new QLabel("0", this);
    CountValue->setAlignment(Qt::AlignHCenter);
    QFont countFont = CountValue->font();
    countFont.setBold(true);
    countFont.setPixelSize(20);
    CountValue->setFont(countFont);
    SkipFirstCheck = new QCheckBox("Skip First Record", this);
    SkipFirstCheck->setChecked(AppSettings().importSkipFirst);
    const bool text = kind == SourceKind::Text;
    SkipFirstCheck->setVisible(text);
    SkipFirstCheck->setEnabled(text);
    StartButton = new QPushButton("&Start Import", this);
    QFont startFont("Arial");
    startFont.setPixelSize(20);
    StartButton->setFont(startFont);
    CancelButton = new QPushButton("&Cancel", this);
    CancelButton->setEnabled(false);
    CancelButton->setToolTip("Stops the import; the records imported so far stay.");
    ExitButton = new QPushButton("E&xit", this);
    HelpButton = new QPushButton("&Help", this);

    // The grid on the left, everything else in a narrow column beside it,
    // so that the dialog fits a 640 x 480 screen.
    auto* alignment = new QGridLayout;
    alignment->addWidget(FieldLabel, 0, 0);
    alignment->addWidget(AlignmentLabel, 0, 1);
    alignment->addWidget(UpButton, 1, 0);
    alignment->addWidget(DownButton, 1, 1);
    auto* count = new QGridLayout;
    count->addWidget(ImportLabel, 0, 0);
    count->addWidget(CountLabel, 0, 1);
    count->addWidget(CountValue, 1, 0);
    count->addWidget(CancelButton, 1, 1);
    auto* right = new QVBoxLayout;
    right->setSpacing(4);
    right->addLayout(alignment);
    right->addSpacing(4);
    right->addWidget(NoteText);
    right->addSpacing(4);
    right->addLayout(count);
    right->addSpacing(4);
    right->addWidget(SkipFirstCheck);
    right->addStretch(1);
    right->addWidget(StartButton);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ExitButton);
    buttons->addWidget(HelpButton);
    right->addLayout(buttons);
    auto* root = new QHBoxLayout(this);
    root->setContentsMargins(8, 8, 8, 8);
    root->addWidget(Grid);
    root->addLayout(right);
    FitGrid();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(Grid, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) { ToggleFieldImported(row, column); });
    connect(UpButton, &QPushButton::clicked, this, [this] { MoveFieldUp(); });
    connect(DownButton, &QPushButton::clicked, this, [this] { MoveFieldDown(); });
    connect(SkipFirstCheck, &QCheckBox::clicked, this, [this] { StoreSkipFirstChoice(); });
    connect(StartButton, &QPushButton::clicked, this, [this] { StartImport(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { Cancel(); });
    connect(ExitButton, &QPushButton::clicked, this, [this] { CloseWindow(); });
    connect(HelpButton, &QPushButton::clicked, this, [this] { ShowHelp(); });
}

ImportDialog::~ImportDialog() = default;

void ImportDialog::showEvent(QShowEvent* event) {
    PrepareToShow();
    QDialog::showEvent(event);
}

void ImportDialog::PrepareToShow() {
    common::WindowLayout::PrepareDialog(*this);
    FitGrid();
    const common::ColorGroup& g = AppSettings().scheme.Group(common::WindowGroup::Configure);
    common::WindowLayout::ApplyColors(*this, g);
    for (QLabel* l : {FieldLabel, AlignmentLabel, ImportLabel, CountLabel, CountValue})
        common::WindowLayout::SetTextColor(*l, g[common::ColorSlot::MinorTitle]);
    common::WindowLayout::FinishShowing(*this, true);
}

void ImportDialog::FitGrid() {
    const double factor = common::WindowSizeFactor();
    auto scaled = [factor](int width) { return int(width * factor + 0.5); };
    Grid->setColumnWidth(0, scaled(kItemColumn));
    Grid->setColumnWidth(1, scaled(kSourceColumn));
    Grid->setColumnWidth(2, scaled(kUseColumn));
    Grid->setFixedWidth(scaled(kGridWidth) + kGridMargin);
    Grid->verticalHeader()->setDefaultSectionSize(Grid->fontMetrics().height() + 6);
    Grid->setMinimumHeight(scaled(300));
    NoteText->setFixedWidth(scaled(180));
}

void ImportDialog::DrawCount(uint64_t count) {
    CountValue->setText(QString::number(count));
    CountValue->repaint();
}

// ---------------------------------------------------------------- handlers

void ImportDialog::ToggleFieldImported(int row, int column) {
    if (column != 2 || row < 0 || row >= Grid->rowCount()) return;
    QTableWidgetItem* item = Grid->item(row, 2);
    if (item->text() == "Yes") item->setText("No");
    else if (item->text() == "No") item->setText("Yes");
}

// Columns 1 and 2 move; the item fields stay where they are.
void ImportDialog::MoveFieldUp() { MoveCurrentRow(*Grid, -1, 1, 2); }

void ImportDialog::MoveFieldDown() { MoveCurrentRow(*Grid, 1, 1, 2); }

void ImportDialog::StoreSkipFirstChoice() { AppSettings().importSkipFirst = SkipFirstCheck->isChecked(); }

std::vector<int> ImportDialog::FieldMap() const {
    std::vector<int> map;
    for (const QString& name : m_names) {
        int position = 0;
        for (int row = 0; row < kItemFields; ++row) {
            if (Grid->item(row, 1)->text() != name) continue;
            position = Grid->item(row, 2)->text() == "Yes" ? row + 1 : 0;
            break;
        }
        map.push_back(position);
    }
    return map;
}

void ImportDialog::StartImport() {
    if (Running()) return;
    ImportRequest request;
    request.path = m_path.toStdString();
    request.map = FieldMap();
    request.skipFirst = SkipFirstCheck->isChecked();
    request.titles = ImportTitles(AppSettings());
    DrawCount(0);
    store::Table& table = m_context.ItemTable();
    const RunResult result = RunEngine(
        CancelButton, [this](const Progress& p) { DrawCount(p.records); },
        [&](const ProgressFn& progress) {
            return m_kind == SourceKind::Text ? ImportText(table, request, progress)
                                              : ImportDbf(table, request, progress);
        });
    DrawCount(result.records);
    switch (result.outcome) {
    case Outcome::Completed:
        if (result.notice.empty())
            Ui().Message("Ok", "Import Complete.", common::MessageIcon::Information);
        else
            Ui().Message("Ok", "Import Complete.  " + QString::fromStdString(result.notice), common::MessageIcon::Warning);
        accept();
        return;
    case Outcome::Cancelled:
        Ui().Message("Notice", QString::fromStdString(result.message), common::MessageIcon::Information);
        return;
    case Outcome::Failed:
        Ui().Message("Error", QString::fromStdString(result.message), common::MessageIcon::Error);
        return;
    }
}

void ImportDialog::CloseWindow() { reject(); }

void ImportDialog::ShowHelp() { Ui().OpenHelp("Import Window"); }

}  // namespace exchange
