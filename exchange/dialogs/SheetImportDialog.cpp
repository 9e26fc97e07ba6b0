#include "SheetImportDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ExportChoices.h"
#include "HeaderMapping.h"
#include "ItemSchema.h"
#include "MainContext.h"
#include "Settings.h"
#include "UiServices.h"
#include "Workbook.h"
#include "WindowLayout.h"

namespace exchange {
namespace {

using common::AppSettings;
using common::Ui;

constexpr size_t kSampleRows = 200;  // read for the matches and the decimal mark
constexpr size_t kPreviewRows = 8;
const char* const kNotImported = "(not imported)";

QString Text(const std::string& s) { return QString::fromStdString(s); }

QString Plural(uint64_t n, const char* one, const char* many) {
    return QString::number(n) + " " + (n == 1 ? one : many);
}

}  // namespace

SheetImportDialog::SheetImportDialog(common::MainContext& context, const QString& path, QWidget* parent)
    : RunDialog(parent ? parent : context.Window()), m_context(context), m_path(path) {
    m_workbook = QFileInfo(path).suffix().compare("xlsx", Qt::CaseInsensitive) == 0;
    setWindowTitle(m_workbook ? "Workbook Import" : "CSV Import");
    setObjectName("SheetImportDialog");

    FileLabel = new QLabel(QFileInfo(path).fileName(), this);
    FileLabel->setToolTip(path);
    SheetChoice = new QComboBox(this);
    SeparatorChoice = new QComboBox(this);
    SeparatorChoice->addItem("Comma", ',');
    SeparatorChoice->addItem("Semicolon", ';');
    SeparatorChoice->addItem("Tab", '\t');
    EncodingChoice = new QComboBox(this);
    EncodingChoice->addItem("UTF-8");
    EncodingChoice->addItem("Windows-1252");
    DecimalChoice = new QComboBox(this);
    DecimalChoice->addItem("Point (1,234.50)");
    DecimalChoice->addItem("Comma (1.234,50)");
    HeaderCheck = new QCheckBox("First row holds the column titles", this);
    HeaderCheck->setChecked(true);

    auto* sheetLabel = new QLabel("&Sheet:", this);
    sheetLabel->setBuddy(SheetChoice);
    auto* separatorLabel = new QLabel("Se&parator:", this);
    separatorLabel->setBuddy(SeparatorChoice);
    auto* encodingLabel = new QLabel("&Encoding:", this);
    encodingLabel->setBuddy(EncodingChoice);
    auto* decimalLabel = new QLabel("&Decimal mark:", this);
    decimalLabel->setBuddy(DecimalChoice);
    for (QWidget* w : std::initializer_list<QWidget*>{sheetLabel, SheetChoice}) w->setVisible(m_workbook);
    for (QWidget* w : std::initializer_list<QWidget*>{separatorLabel, SeparatorChoice, encodingLabel, EncodingChoice})
        w->setVisible(!m_workbook);

    ColumnGrid = NewFieldList(0, {"COLUMN", "GOES TO", "FIRST VALUE"}, this);
    ColumnGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ColumnGrid->horizontalHeader()->setStretchLastSection(true);
    PreviewGrid = NewFieldList(0, {}, this);
    PreviewGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    PreviewGrid->verticalHeader()->setVisible(true);
    ProblemList = new QListWidget(this);
    ProblemList->setWordWrap(true);
    ProblemList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SummaryLabel = new QLabel(this);
    SummaryLabel->setWordWrap(true);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setRange(0, 1000);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    StartButton = new QPushButton("&Start Import", this);
    StartButton->setDefault(true);
    CancelButton = new QPushButton("&Cancel", this);
    CancelButton->setEnabled(false);
    CancelButton->setToolTip("Stops the import; the table stays as it was.");
    CloseButton = new QPushButton("C&lose", this);
    HelpButton = new QPushButton("&Help", this);

    auto* source = new QGridLayout;
    source->addWidget(new QLabel("File:", this), 0, 0);
    source->addWidget(FileLabel, 0, 1, 1, 3);
    source->addWidget(sheetLabel, 1, 0);
    source->addWidget(SheetChoice, 1, 1);
    source->addWidget(separatorLabel, 1, 0);
    source->addWidget(SeparatorChoice, 1, 1);
    source->addWidget(encodingLabel, 1, 2);
    source->addWidget(EncodingChoice, 1, 3);
    source->addWidget(decimalLabel, 2, 0);
    source->addWidget(DecimalChoice, 2, 1);
    source->addWidget(HeaderCheck, 2, 2, 1, 2);
    source->setColumnStretch(1, 1);
    source->setColumnStretch(3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ProgressBar, 1);
    buttons->addWidget(StartButton);
    buttons->addWidget(CancelButton);
    buttons->addWidget(CloseButton);
    buttons->addWidget(HelpButton);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(8, 8, 8, 8);
    root->addLayout(source);
    root->addWidget(Heading("Columns", this));
    root->addWidget(ColumnGrid, 4);
    root->addWidget(Heading("As they will be stored", this));
    root->addWidget(PreviewGrid, 3);
    root->addWidget(Heading("Problems", this));
    root->addWidget(ProblemList, 2);
    root->addWidget(SummaryLabel);
    root->addLayout(buttons);

    if (m_workbook) {
        std::string error;
        for (const std::string& name : WorkbookSheets(path.toStdString(), &error)) SheetChoice->addItem(Text(name));
    } else {
        std::string error;
        if (const auto dialect = GuessCsvDialect(path.toStdString(), &error)) {
            SeparatorChoice->setCurrentIndex(std::max(0, SeparatorChoice->findData(dialect->separator)));
            EncodingChoice->setCurrentIndex(dialect->encoding == CsvEncoding::Utf8 ? 0 : 1);
        }
    }
    ReadSource();

    for (QComboBox* box : {SheetChoice, SeparatorChoice, EncodingChoice})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { ReadSource(); });
    connect(HeaderCheck, &QCheckBox::toggled, this, [this] { ReadSource(); });
    connect(DecimalChoice, &QComboBox::currentIndexChanged, this, [this] { ShowPreview(); });
    connect(StartButton, &QPushButton::clicked, this, [this] { StartImport(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { Cancel(); });
    connect(CloseButton, &QPushButton::clicked, this, [this] { CloseWindow(); });
    connect(HelpButton, &QPushButton::clicked, this, [this] { ShowHelp(); });
}

SheetImportDialog::~SheetImportDialog() = default;

void SheetImportDialog::showEvent(QShowEvent* event) {
    PrepareToShow();
    QDialog::showEvent(event);
}

// Columns and rows as wide and high as the fonts of the moment need.
void SheetImportDialog::FitGrids() {
    for (QTableWidget* grid : {ColumnGrid, PreviewGrid}) {
        grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 8);
        grid->horizontalHeader()->setMinimumSectionSize(0);
    }
    ColumnGrid->resizeColumnToContents(0);
    ColumnGrid->setColumnWidth(1, int(160 * common::WindowSizeFactor()));
    PreviewGrid->resizeColumnsToContents();
}

void SheetImportDialog::PrepareToShow() {
    common::WindowLayout::PrepareDialog(*this);
    FitGrids();
    const common::ColorGroup& g = AppSettings().scheme.Group(common::WindowGroup::Configure);
    common::WindowLayout::ApplyColors(*this, g);
    const double factor = common::WindowSizeFactor();
    resize(int(620 * factor), int(460 * factor));
    common::WindowLayout::FinishShowing(*this, true);
}

QComboBox* SheetImportDialog::FieldChoice(int column) const {
    return qobject_cast<QComboBox*>(ColumnGrid->cellWidget(column, 1));
}

std::vector<int> SheetImportDialog::Map() const {
    std::vector<int> map;
    for (int c = 0; c < ColumnGrid->rowCount(); ++c) map.push_back(FieldChoice(c)->currentData().toInt());
    return map;
}

SheetImportRequest SheetImportDialog::Request() const {
    SheetImportRequest request;
    request.source.path = m_path.toStdString();
    if (m_workbook) {
        request.source.format = SheetFormat::Xlsx;
        request.source.sheet = SheetChoice->currentText().toStdString();
    } else {
        request.source.dialect.separator = char(SeparatorChoice->currentData().toInt());
        request.source.dialect.encoding = EncodingChoice->currentIndex() == 0 ? CsvEncoding::Utf8 : CsvEncoding::Windows1252;
    }
    request.headerRow = HeaderCheck->isChecked();
    request.decimalMark = DecimalChoice->currentIndex() == 1 ? DecimalMark::Comma : DecimalMark::Point;
    request.titles = ImportTitles(AppSettings());
    request.map = Map();
    return request;
}

void SheetImportDialog::ReadSource() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_sample = SampleSheet(Request().source, kSampleRows);
    QApplication::restoreOverrideCursor();
    FillColumns();
    ShowPreview();
}

// One row per column of the source, matched to an item field by its header.
void SheetImportDialog::FillColumns() {
    m_filling = true;
    size_t columns = 0;
    for (const auto& row : m_sample.rows) columns = std::max(columns, row.size());
    const bool header = HeaderCheck->isChecked();
    std::vector<std::string> headers = RowTexts(m_sample, 0);
    headers.resize(columns);
    std::vector<int> map(columns, 0);
    if (header) {
        const auto titles = ImportTitles(AppSettings());
        map = MapByHeader(headers, std::vector<std::string>(titles.begin(), titles.end()));
    } else {
        for (size_t c = 0; c < columns && c < size_t(store::kItemFieldCount); ++c) map[c] = int(c) + 1;
    }
    ColumnGrid->setRowCount(int(columns));
    for (int c = 0; c < int(columns); ++c) {
        const QString name = header && !headers[size_t(c)].empty() ? Text(headers[size_t(c)]) : "Column " + QString::number(c + 1);
        ColumnGrid->setItem(c, 0, FixedCell(name));
        auto* choice = new QComboBox(ColumnGrid);
        choice->addItem(kNotImported, 0);
        for (int p = 1; p <= store::kItemFieldCount; ++p) choice->addItem(AppSettings().Field(p).title, p);
        choice->setCurrentIndex(std::max(0, choice->findData(map[size_t(c)])));
        connect(choice, &QComboBox::currentIndexChanged, this, [this] { ShowPreview(); });
        ColumnGrid->setCellWidget(c, 1, choice);
        const size_t first = header ? 1 : 0;
        const bool any = first < m_sample.rows.size() && size_t(c) < m_sample.rows[first].size();
        ColumnGrid->setItem(c, 2, FixedCell(any ? Text(m_sample.rows[first].at(size_t(c)).text).simplified() : QString()));
    }
    FitGrids();
    if (header)
        DecimalChoice->setCurrentIndex(GuessSheetDecimalMark(m_sample, map, true) == DecimalMark::Comma ? 1 : 0);
    m_filling = false;
}

void SheetImportDialog::ShowPreview() {
    if (m_filling) return;
    ProblemList->clear();
    SummaryLabel->clear();
    PreviewGrid->clear();
    const SheetImportRequest request = Request();
    std::vector<int> positions;
    for (int p : request.map)
        if (p > 0) positions.push_back(p);
    StartButton->setEnabled(m_sample.ok && !positions.empty());
    if (!m_sample.ok) {
        SummaryLabel->setText(Text(m_sample.message));
        PreviewGrid->setRowCount(0);
        PreviewGrid->setColumnCount(0);
        return;
    }
    QStringList titles;
    for (int p : positions) titles << AppSettings().Field(p).title;
    PreviewGrid->setColumnCount(int(positions.size()));
    PreviewGrid->setHorizontalHeaderLabels(titles);
    std::vector<PreviewRow> rows;
    try {
        rows = PreviewSheet(m_context.ItemTable(), request, m_sample, kPreviewRows);
    } catch (const store::EngineError& e) {
        SummaryLabel->setText(e.what());
    }
    PreviewGrid->setRowCount(int(rows.size()));
    QStringList rowNames;
    for (int r = 0; r < int(rows.size()); ++r) {
        rowNames << QString::number(rows[size_t(r)].row);
        for (int c = 0; c < int(positions.size()); ++c)
            PreviewGrid->setItem(r, c, FixedCell(Text(rows[size_t(r)].texts[size_t(positions[size_t(c)] - 1)])));
        for (const SheetProblem& p : rows[size_t(r)].problems) {
            ProblemList->addItem(Text(DescribeProblem(p, request)));
            for (int c = 0; c < int(positions.size()); ++c)
                if (positions[size_t(c)] == p.position) {
                    PreviewGrid->item(r, c)->setText("?");
                    PreviewGrid->item(r, c)->setToolTip(Text(p.reason));
                }
        }
    }
    PreviewGrid->setVerticalHeaderLabels(rowNames);
    FitGrids();
    if (positions.empty()) SummaryLabel->setText("No column goes to an item field: choose one under GOES TO.");
    else if (!m_sample.complete) SummaryLabel->setText("The first rows; Start Import reads them all.");
}

bool SheetImportDialog::Run(SheetImportRequest request, SheetImportResult& result) {
    bool declined = false;
    if (request.confirm) {
        auto ask = std::move(request.confirm);
        request.confirm = [&declined, ask](const SheetImportResult& r) { return ask(r) || !(declined = true); };
    }
    const RunResult run = RunEngine(
        CancelButton,
        [this](const Progress& p) { ProgressBar->setValue(p.total ? int(p.done * 1000 / p.total) : 0); },
        [&](const ProgressFn& progress) {
            result = ImportSheet(m_context.ItemTable(), request, progress);
            return result.run;
        });
    ProgressBar->setValue(run.outcome == Outcome::Completed ? 1000 : 0);
    result.run = run;
    if (run.outcome == Outcome::Failed) Ui().Message("Error", Text(run.message), common::MessageIcon::Error);
    // The user who said no to the question needs no word that nothing happened.
    if (run.outcome == Outcome::Cancelled && !declined)
        Ui().Message("Notice", Text(run.message), common::MessageIcon::Information);
    return run.outcome == Outcome::Completed;
}

void SheetImportDialog::ListProblems(const SheetImportResult& result, const SheetImportRequest& request) {
    ProblemList->clear();
    for (const SheetProblem& p : result.problems) ProblemList->addItem(Text(DescribeProblem(p, request)));
    if (result.problemCount > result.problems.size())
        ProblemList->addItem("... and " + QString::number(result.problemCount - result.problems.size()) + " more problems.");
    SummaryLabel->setText(Plural(result.rows, "row", "rows") + " read; " +
                          Plural(result.rowsLeftOut, "row", "rows") + " with problems.");
}

void SheetImportDialog::StartImport() {
    if (Running() || !StartButton->isEnabled()) return;
    SheetImportRequest request = Request();
    // Every row is read and converted before anything is written; the
    // problems are shown then, and the user decides.
    request.confirm = [this, &request](const SheetImportResult& check) {
        ListProblems(check, request);
        const uint64_t good = check.rows - check.rowsLeftOut;
        if (good == 0) {
            Ui().Message("Error",
                         check.rows == 0 ? QString("The file holds no rows to import.")
                                         : "No row can be imported for the problems listed.",
                         common::MessageIcon::Error);
            return false;
        }
        if (check.rowsLeftOut == 0) return true;
        return Ui().Ask("Import",
                        QString::number(check.rowsLeftOut) + " of " + Plural(check.rows, "row", "rows") +
                            " cannot be imported for the problems listed.  Import the other " +
                            Plural(good, "row", "rows") + "?",
                        common::Buttons::YesNo, common::Answer::No) == common::Answer::Yes;
    };
    SheetImportResult result;
    if (!Run(request, result)) return;
    QString text = "Import Complete.  " + Plural(result.run.records, "item was", "items were") + " imported.";
    if (!result.run.notice.empty()) text += "  " + Text(result.run.notice);
    Ui().Message("Ok", text, result.run.notice.empty() ? common::MessageIcon::Information : common::MessageIcon::Warning);
    accept();
}

void SheetImportDialog::CloseWindow() { reject(); }

void SheetImportDialog::ShowHelp() { Ui().OpenHelp("Spreadsheet Import"); }

}  // namespace exchange
