#include "SearchWindow.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "EngineError.h"
#include "ItemSchema.h"
#include "MainContext.h"
#include "SavedSearchDialogs.h"
#include "SearchCellDelegate.h"
#include "SearchFilter.h"
#include "Settings.h"
#include "SearchOperatorList.h"
#include "UiServices.h"

namespace find {

namespace {

constexpr int kRows = store::kItemFieldCount + 1;
constexpr int kDesignWidths[3] = {200, 20, 378};
constexpr int kDesignRowHeight = 24;
// Rows visible without scrolling at factor 1.
constexpr int kVisibleRows = 16;
const QColor kOptionCellColor(128, 128, 128);

const char* const kErrorTitle = "Error";

bool HasOptionCell(const store::SchemaField& f) { return f.kind == 'N' || f.kind == 'D' || f.pickList; }

std::optional<common::PickList> PickListOf(int position) {
    switch (position) {
    case 2: return common::PickList::Brand;
    case 5: return common::PickList::Location;
    case 7: return common::PickList::Bought;
    case 12: return common::PickList::Category;
    case 17: return common::PickList::Owner;
    default: return std::nullopt;
    }
}

// Restores the normal cursor however Doit ends.
struct Hourglass {
    Hourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~Hourglass() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

SearchWindow::SearchWindow(common::MainContext& context, QWidget* parent) : QDialog(parent), m_context(context) {
    setWindowTitle("Search");
    auto* root = new QVBoxLayout(this);
    // Narrow margins: the grid alone is nearly as wide as a 640 x 480 screen.
    root->setContentsMargins(4, 4, 4, 4);
    auto* buttons = new QHBoxLayout;
    OkButton = new QPushButton("&Ok", this);
    ExitButton = new QPushButton("E&xit", this);
    ClearButton = new QPushButton("&Clear Search", this);
    MoreButton = new QPushButton("&Find More", this);
    HelpButton = new QPushButton("&Help", this);
    SaveAsButton = new QPushButton("Save &As...", this);
    for (QPushButton* b : {OkButton, ExitButton, ClearButton, MoreButton, SaveAsButton, HelpButton}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    root->addLayout(buttons);

    SearchGrid = new QTableWidget(kRows, 3, this);
    SearchGrid->setObjectName("SearchGrid");
    // The title row stays in sight while the field rows scroll: the grid's
    // own first row is hidden and the column titles show its texts.
    QHeaderView* titles = SearchGrid->horizontalHeader();
    titles->setVisible(true);
    titles->setSectionsClickable(false);
    titles->setHighlightSections(false);
    titles->setSectionResizeMode(QHeaderView::Fixed);
    titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SearchGrid->verticalHeader()->setVisible(false);
    SearchGrid->setShowGrid(true);
    SearchGrid->setTabKeyNavigation(true);
    SearchGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    SearchGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
    SearchGrid->setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::AnyKeyPressed |
                                QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                                QAbstractItemView::EditKeyPressed);
    SearchGrid->horizontalHeader()->setStretchLastSection(false);
    SearchGrid->setItemDelegateForColumn(
        2, new SearchCellDelegate([this](int row) { return row >= 1 && row < kRows ? CellTemplate(row) : QString(); },
                                  SearchGrid));
    root->addWidget(SearchGrid, 1);

    connect(OkButton, &QPushButton::clicked, this, [this] { ApplySearch(); });
    connect(ExitButton, &QPushButton::clicked, this, [this] { CloseWindow(); });
    connect(ClearButton, &QPushButton::clicked, this, [this] { ClearCriteria(); });
    connect(MoreButton, &QPushButton::clicked, this, [this] { AddLevel(); });
    connect(HelpButton, &QPushButton::clicked, this, [this] { ShowHelp(); });
    connect(SaveAsButton, &QPushButton::clicked, this, [this] { SaveAs(); });
    connect(SearchGrid, &QTableWidget::cellPressed, this, [this](int r, int c) { RememberPressedCell(r, c); });
    // Qt reports a click only when the button comes up over the cell it went
    // down on.
    connect(SearchGrid, &QTableWidget::cellClicked, this, [this](int r, int c) { ChooseOperatorOfReleasedCell(r, c); });

    // Operator choices start at "equal" and last for the run.
    m_choices.fill(kChoiceEqual);
    SetUpGrid();
    ApplyGridSizes();
    m_design.Record(*this);
}

QString SearchWindow::LevelTitle(int level) { return " SEARCH CRITERIA    (Level " + QString::number(level) + ")"; }

QString SearchWindow::CellTemplate(int position) const {
    const store::SchemaField& f = store::SchemaAt(position);
    if (f.kind == 'C') return QString(f.width, u'c');
    static const char* const kNumber[4] = {"= ccccccccc;1", "\\> ccccccccc;1", "\\< ccccccccc;1",
                                           "\\> ccccccccc \\A\\ND \\< cccccccc"};
    static const char* const kDate[4] = {"= 99/99/0000;1", "\\> 99/99/0000;1", "\\< 99/99/0000;1",
                                         "\\> 99/99/0000 \\A\\ND \\< 99/99/0000;1"};
    const int choice = std::clamp(m_choices[size_t(position - 1)], 1, 4);
    return QString::fromLatin1(f.kind == 'D' ? kDate[choice - 1] : kNumber[choice - 1]);
}

void SearchWindow::showEvent(QShowEvent* event) {
    PrepareToShow();
    QDialog::showEvent(event);
}

void SearchWindow::PrepareToShow() {
    common::WindowLayout::PrepareDialog(*this, &m_design);
    // 2. A fresh list on the window; the search in force is not touched.
    m_criteria.Clear();
    MoreButton->setEnabled(true);
    SetUpGrid();
    ApplyGridSizes();
    adjustSize();
    const common::ColorGroup& g = common::AppSettings().scheme.Group(common::WindowGroup::Search);
    common::WindowLayout::ApplyColors(*this, g);
    SearchGrid->setFocus();
    SearchGrid->setCurrentCell(1, 2);
    common::WindowLayout::FinishShowing(*this, true);
}

void SearchWindow::SetTitle(int column, const QString& text) {
    SearchGrid->item(0, column)->setText(text);
    auto* title = new QTableWidgetItem(text);
    QFont bold = SearchGrid->font();
    bold.setBold(true);
    title->setFont(bold);
    SearchGrid->setHorizontalHeaderItem(column, title);
}

void SearchWindow::ApplyGridSizes() {
    const double factor = common::WindowSizeFactor();
    for (int c = 0; c < 3; ++c) SearchGrid->setColumnWidth(c, int(kDesignWidths[c] * factor + 0.5));
    const int rowHeight = std::max(int(kDesignRowHeight * factor + 0.5), SearchGrid->fontMetrics().height() + 6);
    SearchGrid->verticalHeader()->setMinimumSectionSize(1);
    SearchGrid->verticalHeader()->setDefaultSectionSize(rowHeight);
    for (int r = 0; r < kRows; ++r) SearchGrid->setRowHeight(r, rowHeight);
    SearchGrid->horizontalHeader()->setFixedHeight(rowHeight);
    const int frame = 2 * SearchGrid->frameWidth();
    SearchGrid->setFixedWidth(int(600 * factor + 0.5) + 20);
    SearchGrid->setMinimumHeight(std::min(kRows, kVisibleRows) * rowHeight + frame);
}

void SearchWindow::SetUpGrid() {
    const common::Settings& s = common::AppSettings();
    const QColor fixedColor = palette().color(QPalette::Button);
    auto fixedItem = [&](const QString& text) {
        auto* item = new QTableWidgetItem(text);
        item->setFlags(Qt::ItemIsEnabled);
        item->setBackground(fixedColor);
        return item;
    };
    SearchGrid->setRowCount(kRows);
    SearchGrid->setColumnCount(3);
    for (int c = 0; c < 3; ++c) SearchGrid->setItem(0, c, fixedItem(QString()));
    SearchGrid->setRowHidden(0, true);
    SetTitle(0, " FIELD");
    SetTitle(1, QString());
    SetTitle(2, LevelTitle(m_criteria.Level()));
    for (int position = 1; position <= store::kItemFieldCount; ++position) {
        const store::SchemaField& f = store::SchemaAt(position);
        SearchGrid->setItem(position, 0, fixedItem(" " + s.Field(position).title));
        auto* option = fixedItem(HasOptionCell(f) ? QStringLiteral("...") : QString());
        if (HasOptionCell(f)) {
            option->setBackground(kOptionCellColor);
            option->setTextAlignment(Qt::AlignCenter);
        }
        SearchGrid->setItem(position, 1, option);
        auto* criterion = new QTableWidgetItem(QString());
        criterion->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        SearchGrid->setItem(position, 2, criterion);
    }
}

void SearchWindow::EmptyCriterionCells() {
    for (int position = 1; position <= store::kItemFieldCount; ++position)
        SearchGrid->item(position, 2)->setText(QString());
}

void SearchWindow::RememberPressedCell(int row, int column) { m_pressedCell = std::pair{row, column}; }

void SearchWindow::ChooseOperatorOfReleasedCell(int row, int column) {
    const bool sameCell = m_pressedCell && *m_pressedCell == std::pair{row, column};
    m_pressedCell.reset();
    if (!sameCell || column != 1 || row < 1 || row > store::kItemFieldCount) return;
    ChooseOption(row);
}

void SearchWindow::ChooseOption(int position) {
    const store::SchemaField& f = store::SchemaAt(position);
    const QString title = common::AppSettings().Field(position).title;
    if (f.kind == 'N' || f.kind == 'D') {
        int& choice = m_choices[size_t(position - 1)];
        SearchOperatorList options(title, {" = ", " > ", " < ", " > X < "}, choice - 1, this);
        if (common::Ui().ShowModal(options) != QDialog::Accepted) return;
        const int selected = options.SelectedRow();
        if (selected < 0) return;
        choice = selected + 1;
        // The cell editor takes its template when it opens, so leave the row
        // first when it is the one being edited.
        if (SearchGrid->currentRow() == position)
            SearchGrid->setCurrentCell(position == store::kItemFieldCount ? position - 1 : position + 1, 2);
        SearchGrid->setCurrentCell(position, 2);
        return;
    }
    const auto list = PickListOf(position);
    if (!f.pickList || !list) return;
    SearchOperatorList options(title, m_context.GridPickList(*list), -1, this);
    if (common::Ui().ShowModal(options) != QDialog::Accepted) return;
    if (options.SelectedRow() >= 0) SearchGrid->item(position, 2)->setText(options.SelectedText());
    SearchGrid->setCurrentCell(position, 2);
}

bool SearchWindow::SaveFields() {
    CellTexts cells;
    for (int position = 1; position <= store::kItemFieldCount; ++position)
        cells[size_t(position - 1)] = SearchGrid->item(position, 2)->text().toStdString();
    const SearchCriteria::SaveResult result = m_criteria.SaveFields(cells, m_choices, store::CurrentDateFormat());
    switch (result.outcome) {
    case SearchCriteria::Outcome::Saved:
        return true;
    case SearchCriteria::Outcome::TooMany:
        common::Ui().Message(kErrorTitle, QString::fromStdString(result.message), common::MessageIcon::Error);
        ClearSearch();
        return false;
    case SearchCriteria::Outcome::Invalid:
        common::Ui().Message(kErrorTitle, QString::fromStdString(result.message), common::MessageIcon::Error);
        SearchGrid->setCurrentCell(result.position, 2);
        return false;
    case SearchCriteria::Outcome::NoCriteria:
        common::Ui().Message(kErrorTitle, QString::fromStdString(result.message), common::MessageIcon::Error);
        SearchGrid->setFocus();
        return false;
    }
    return false;
}

void SearchWindow::ApplySearch() {
    MoreButton->setEnabled(true);
    if (!SaveFields()) return;
    RunCollected();
}

void SearchWindow::SaveAs() {
    MoreButton->setEnabled(true);
    const SearchCriteria before = m_criteria;
    if (!SaveFields()) return;
    const auto name = saved_searches::AskName("Save Search", QString(), this);
    if (!name || !saved_searches::Keep(*name, m_criteria.Items())) {
        m_criteria = before;
        return;
    }
    RunCollected();
}

void SearchWindow::ApplyCriteria(const std::vector<SearchCriterion>& criteria) {
    m_criteria.Assign(criteria);
    const std::optional<bool> matched = Run();
    m_criteria.Clear();
    if (matched == false) TellNoMatches();
}

void SearchWindow::RunCollected() {
    const std::optional<bool> matched = Run();
    if (!matched) return;
    if (*matched) {
        accept();
        return;
    }
    TellNoMatches();
    ClearSearch();
}

std::optional<bool> SearchWindow::Run() {
    try {
        return Doit();
    } catch (const store::EngineError& e) {
        common::Ui().Message(kErrorTitle, QString::fromUtf8(e.what()), common::MessageIcon::Error);
        return std::nullopt;
    }
}

void SearchWindow::TellNoMatches() {
    common::Ui().Message("Notice", "No valid matches found.  Search criteria will be cleared.",
                         common::MessageIcon::Information);
}

void SearchWindow::AddLevel() {
    if (SaveFields()) {
        EmptyCriterionCells();
        m_criteria.NextLevel();
        SetTitle(2, LevelTitle(m_criteria.Level()));
        if (m_criteria.Level() > kMaxLevels - 1) MoreButton->setEnabled(false);
    }
    SearchGrid->setFocus();
}

void SearchWindow::ClearCriteria() { ClearSearch(); }

void SearchWindow::ClearSearch() {
    EmptyCriterionCells();
    m_criteria.Clear();
    MoreButton->setEnabled(true);
    SetTitle(2, LevelTitle(1));
    SearchGrid->setFocus();
}

void SearchWindow::CloseWindow() {
    MoreButton->setEnabled(true);
    reject();
}

void SearchWindow::ShowHelp() { common::Ui().OpenHelp("Search Window"); }

bool SearchWindow::Doit() {
    const Hourglass hourglass;
    store::Table& table = m_context.ItemTable();
    if (!table.IsOpen()) return false;
    const bool wasActive = m_context.SearchOn();
    if (wasActive) {
        table.Close();
        table.Open();
    }
    // The compiled criteria are a copy: what the window does afterwards
    // cannot change the search in force.
    m_context.SetSearchTest(SearchFilter::MakeTest(m_criteria.Items(), table.Layout()));
    m_context.EnableEndSearch();
    if (wasActive) m_context.SetViewerOptions();  // refreshes the grid as well
    else m_context.RefreshGrid();
    if (!table.HasCurrent() || table.RecordCount() == 0) {
        m_context.DoEndSearch();
        return false;
    }
    return true;
}

}  // namespace find
