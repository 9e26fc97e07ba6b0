#include "ViewerConfigDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ColorGroup.h"
#include "ItemSchema.h"
#include "MainContext.h"
#include "Settings.h"
#include "UiServices.h"
#include "ViewerRules.h"
#include "WindowLayout.h"

namespace appearance {
namespace {

using common::AppSettings;
using common::ColorSlot;
using common::Ui;

constexpr int kFields = store::kItemFieldCount;
constexpr int kTitleColumnWidth = 200;
constexpr int kValueColumnWidth = 100;
constexpr int kNameColumnWidth = 200;
constexpr int kListMargin = 20;

QString FontText(const QFont& font) {
    const int size = font.pointSize() > 0 ? font.pointSize() : font.pixelSize();
    return QString("%1pt %2").arg(size).arg(font.family());
}

QFrame* NewSample(QWidget* parent) {
    auto* sample = new QFrame(parent);
    sample->setFrameShape(QFrame::Box);
    sample->setFixedSize(60, 24);
    sample->setAutoFillBackground(true);
    return sample;
}

void PaintSample(QFrame& sample, const QColor& color) {
    QPalette pal = sample.palette();
    pal.setColor(QPalette::Window, color);
    sample.setPalette(pal);
}

QTableWidgetItem* FixedItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

QTableWidgetItem* EditableItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
    return item;
}

QTableWidget* NewList(QWidget* parent, const QStringList& headers) {
    auto* list = new QTableWidget(kFields, int(headers.size()), parent);
    list->setHorizontalHeaderLabels(headers);
    list->verticalHeader()->setVisible(false);
    list->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->horizontalHeader()->setHighlightSections(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return list;
}

}  // namespace

ViewerConfigDialog::ViewerConfigDialog(common::MainContext& context, QWidget* parent)
    : QDialog(parent ? parent : context.Window()), m_context(context) {
    setWindowTitle("Viewer Configuration");
    auto* root = new QVBoxLayout(this);
    Notebook = new QTabWidget(this);
    // Every page's tab stays in sight: the notebook grows to hold them all.
    Notebook->tabBar()->setUsesScrollButtons(false);
    Notebook->tabBar()->setExpanding(false);
    Notebook->addTab(BuildTitlePage(), "&Title");
    Notebook->addTab(BuildLookPage(), "&Look and Feel");
    Notebook->addTab(BuildShowPage(), "Fields to &Show");
    Notebook->addTab(BuildWidthsPage(), "Field &Widths");
    Notebook->addTab(BuildOrderPage(), "Field &Order");
    Notebook->addTab(BuildNamesPage(), "Field &Names");
    root->addWidget(Notebook, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    ExitButton = new QPushButton("E&xit", this);
    HelpButton = new QPushButton("&Help", this);
    buttons->addWidget(ExitButton);
    buttons->addWidget(HelpButton);
    root->addLayout(buttons);
    connect(ExitButton, &QPushButton::clicked, this, [this] { CloseWindow(); });
    connect(HelpButton, &QPushButton::clicked, this, [this] { ShowHelp(); });

    // Check boxes and option buttons fill with the button colour unless told
    // otherwise; here they take the group's radio and check backgrounds.
    for (QAbstractButton* b : findChildren<QAbstractButton*>())
        if (qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b)) b->setBackgroundRole(QPalette::Window);
    FillControls();
    FitLists();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

QString ViewerConfigDialog::HelpKeyword(int page) {
    static const char* const kKeywords[kPageCount] = {
        "Viewer Configuration Title",  "Viewer Configuration Look",  "Viewer Configuration Show",
        "Viewer Configuration Widths", "Viewer Configuration Order", "Viewer Configuration Names"};
    return page >= 0 && page < kPageCount ? QString(kKeywords[page]) : QString();
}

// ---------------------------------------------------------------- pages

void ViewerConfigDialog::AddHeading(QGridLayout& grid, const QString& text, int row) {
    auto* label = new QLabel(text, grid.parentWidget());
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    m_majorTitles.push_back(label);
    grid.addWidget(label, row, 0, 1, 3);
}

QWidget* ViewerConfigDialog::BuildTitlePage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    auto heading = [&](const QString& text, int row) { AddHeading(*grid, text, row); };
    heading("Title Font", 0);
    TitleFontEdit = new QLineEdit(page);
    TitleFontEdit->setReadOnly(true);
    TitleFontButton = new QPushButton("New &Font", page);
    grid->addWidget(TitleFontEdit, 1, 0, 1, 2);
    grid->addWidget(TitleFontButton, 1, 2);
    heading("Background", 2);
    TitleColorSample = NewSample(page);
    TitleColorButton = new QPushButton("New &Color", page);
    grid->addWidget(TitleColorSample, 3, 0);
    grid->addWidget(TitleColorButton, 3, 2);
    heading("Alignment", 4);
    auto* group = new QButtonGroup(page);
    const char* captions[3] = {"Left Justify", "Center", "Right Justify"};
    for (int i = 0; i < 3; ++i) {
        AlignmentRadios[size_t(i)] = new QRadioButton(captions[i], page);
        group->addButton(AlignmentRadios[size_t(i)]);
        grid->addWidget(AlignmentRadios[size_t(i)], 5 + i, 0, 1, 3, Qt::AlignLeft);
        connect(AlignmentRadios[size_t(i)], &QRadioButton::clicked, this, [this, i] { ChooseTitleAlignment(i + 1); });
    }
    ShowTitlesCheck = new QCheckBox("Show Column Titles", page);
    grid->addWidget(ShowTitlesCheck, 8, 0, 1, 3, Qt::AlignLeft);
    grid->setRowStretch(9, 1);
    grid->setColumnStretch(1, 1);
    connect(TitleFontButton, &QPushButton::clicked, this, [this] { ChooseTitleFont(); });
    connect(TitleColorButton, &QPushButton::clicked, this, [this] { ChooseTitleColor(); });
    connect(ShowTitlesCheck, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_filling) AppSettings().gridShowTitles = on;
    });
    return page;
}

QWidget* ViewerConfigDialog::BuildLookPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    auto heading = [&](const QString& text, int row) { AddHeading(*grid, text, row); };
    heading("Grid Options", 0);
    common::Settings& s = AppSettings();
    struct Option {
        QCheckBox** check;
        const char* caption;
        bool* setting;
    };
    const Option options[4] = {{&ColumnLinesCheck, "Show lines between columns", &s.gridColumnLines},
                               {&RowLinesCheck, "Show lines between rows", &s.gridRowLines},
                               {&RowIndicatorCheck, "Show current row indicator", &s.gridRowIndicator},
                               {&FieldEditingCheck, "Allow field editing", &s.gridFieldEditing}};
    for (int i = 0; i < 4; ++i) {
        *options[i].check = new QCheckBox(options[i].caption, page);
        grid->addWidget(*options[i].check, 1 + i, 0, 1, 3, Qt::AlignLeft);
        // The settings record lives for the whole run.
        connect(*options[i].check, &QCheckBox::toggled, this, [this, setting = options[i].setting](bool on) {
            if (!m_filling) *setting = on;
        });
    }
    heading("Cell Color", 5);
    CellColorSample = NewSample(page);
    CellColorButton = new QPushButton("New &Color", page);
    grid->addWidget(CellColorSample, 6, 0);
    grid->addWidget(CellColorButton, 6, 2);
    heading("Cell Font", 7);
    CellFontEdit = new QLineEdit(page);
    CellFontEdit->setReadOnly(true);
    CellFontButton = new QPushButton("New &Font", page);
    grid->addWidget(CellFontEdit, 8, 0, 1, 2);
    grid->addWidget(CellFontButton, 8, 2);
    grid->setRowStretch(9, 1);
    grid->setColumnStretch(1, 1);
    connect(CellColorButton, &QPushButton::clicked, this, [this] { ChooseCellColor(); });
    connect(CellFontButton, &QPushButton::clicked, this, [this] { ChooseCellFont(); });
    return page;
}

QWidget* ViewerConfigDialog::BuildShowPage() {
    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    ShowGrid = NewList(page, {"FIELD", "DISPLAY IT"});
    ShowGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    box->addWidget(ShowGrid, 1, Qt::AlignHCenter);
    auto* note = new QLabel("Yes shows the field in the viewer, No hides it.  Double click the DISPLAY IT column "
                            "of a field to switch between them.",
                            page);
    note->setWordWrap(true);
    box->addWidget(note);
    connect(ShowGrid, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int column) { ToggleFieldShown(row, column); });
    return page;
}

QWidget* ViewerConfigDialog::BuildWidthsPage() {
    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    WidthGrid = NewList(page, {"FIELD", "WIDTH"});
    box->addWidget(WidthGrid, 1, Qt::AlignHCenter);
    return page;
}

QWidget* ViewerConfigDialog::BuildOrderPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    auto* fieldLabel = new QLabel("Field", page);
    auto* orderingLabel = new QLabel("Ordering", page);
    m_minorTitles = {fieldLabel, orderingLabel};
    OrderList = new QListWidget(page);
    OrderList->setSelectionMode(QAbstractItemView::SingleSelection);
    OrderList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    UpButton = new QPushButton("&Up", page);
    DownButton = new QPushButton("&Down", page);
    DefaultsButton = new QPushButton("D&efaults", page);
    grid->addWidget(fieldLabel, 0, 0);
    grid->addWidget(orderingLabel, 0, 1);
    grid->addWidget(OrderList, 1, 0, 4, 1);
    grid->addWidget(UpButton, 1, 1);
    grid->addWidget(DownButton, 2, 1);
    grid->addWidget(DefaultsButton, 3, 1);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(2, 1);
    connect(UpButton, &QPushButton::clicked, this, [this] { MoveFieldUp(); });
    connect(DownButton, &QPushButton::clicked, this, [this] { MoveFieldDown(); });
    connect(DefaultsButton, &QPushButton::clicked, this, [this] { RestoreDefaultOrder(); });
    return page;
}

QWidget* ViewerConfigDialog::BuildNamesPage() {
    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    NameGrid = NewList(page, {"FIELD", "NAME TO USE"});
    box->addWidget(NameGrid, 1, Qt::AlignHCenter);
    connect(NameGrid, &QTableWidget::cellChanged, this, [this](int row, int column) { ApplyTitleEdit(row, column); });
    return page;
}

void ViewerConfigDialog::FillControls() {
    m_filling = true;
    const common::Settings& s = AppSettings();
    const common::DisplayScheme& scheme = s.scheme;
    TitleFontEdit->setText(FontText(scheme.gridTitleFont));
    PaintSample(*TitleColorSample, s.gridTitleBackground);
    for (int i = 0; i < 3; ++i) AlignmentRadios[size_t(i)]->setChecked(s.gridTitleAlignment == i + 1);
    ShowTitlesCheck->setChecked(s.gridShowTitles);
    ColumnLinesCheck->setChecked(s.gridColumnLines);
    RowLinesCheck->setChecked(s.gridRowLines);
    RowIndicatorCheck->setChecked(s.gridRowIndicator);
    FieldEditingCheck->setChecked(s.gridFieldEditing);
    PaintSample(*CellColorSample, s.gridCellColor);
    CellFontEdit->setText(FontText(scheme.gridFont));
    for (int p = 1; p <= kFields; ++p) {
        const common::FieldSettings& f = s.Field(p);
        const int row = p - 1;
        ShowGrid->setItem(row, 0, FixedItem(f.title));
        ShowGrid->setItem(row, 1, FixedItem(f.display ? "Yes" : "No"));
        WidthGrid->setItem(row, 0, FixedItem(f.title));
        WidthGrid->setItem(row, 1, EditableItem(QString::number(f.width)));
        NameGrid->setItem(row, 0, FixedItem(QString::fromUtf8(store::SchemaAt(p).name)));
        NameGrid->setItem(row, 1, EditableItem(f.title));
    }
    OrderList->clear();
    for (int j = 1; j <= kFields; ++j) {
        const int p = ViewerRules::FieldAtPosition(s, j);
        auto* item = new QListWidgetItem(s.Field(p).title, OrderList);
        item->setData(Qt::UserRole, p);
    }
    m_filling = false;
}

void ViewerConfigDialog::FitLists() {
    const double factor = common::WindowSizeFactor();
    auto scaled = [factor](int width) { return int(width * factor + 0.5); };
    auto fit = [&](QTableWidget* list, int second) {
        list->setColumnWidth(0, scaled(kTitleColumnWidth));
        list->setColumnWidth(1, scaled(second));
        list->setFixedWidth(scaled(kTitleColumnWidth + second) + kListMargin);
        list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
    };
    fit(ShowGrid, kValueColumnWidth);
    fit(WidthGrid, kValueColumnWidth);
    fit(NameGrid, kNameColumnWidth);
    OrderList->setFixedWidth(scaled(kTitleColumnWidth) + kListMargin);
    for (QAbstractItemView* list : std::initializer_list<QAbstractItemView*>{ShowGrid, WidthGrid, NameGrid, OrderList})
        list->setMinimumHeight(scaled(300));
}

void ViewerConfigDialog::ApplyGroupColors() {
    const common::ColorGroup& g = AppSettings().scheme.Group(common::WindowGroup::Configure);
    common::WindowLayout::ApplyColors(*this, g);
    for (int i = 0; i < Notebook->count(); ++i)
        common::WindowLayout::SetBackground(*Notebook->widget(i), g[ColorSlot::MainBackground]);
    for (QLabel* l : m_majorTitles) common::WindowLayout::SetTextColor(*l, g[ColorSlot::MajorTitle]);
    for (QLabel* l : m_minorTitles) common::WindowLayout::SetTextColor(*l, g[ColorSlot::MinorTitle]);
}

void ViewerConfigDialog::showEvent(QShowEvent* event) {
    common::WindowLayout::PrepareDialog(*this);
    FitLists();
    ApplyGroupColors();
    common::WindowLayout::FinishShowing(*this, true);
    QDialog::showEvent(event);
}

// ---------------------------------------------------------------- handlers

void ViewerConfigDialog::ChooseTitleFont() {
    common::DisplayScheme& scheme = AppSettings().scheme;
    const auto chosen = Ui().ChooseFont({scheme.gridTitleFont, scheme.gridTitleFontColor}, true);
    if (!chosen) return;
    scheme.gridTitleFont = chosen->font;
    scheme.gridTitleFontColor = chosen->color;
    TitleFontEdit->setText(FontText(scheme.gridTitleFont));
}

void ViewerConfigDialog::ChooseTitleColor() {
    common::Settings& s = AppSettings();
    const auto chosen = Ui().ChooseColor(s.gridTitleBackground);
    if (!chosen) return;
    s.gridTitleBackground = *chosen;
    PaintSample(*TitleColorSample, *chosen);
}

void ViewerConfigDialog::ChooseTitleAlignment(int alignment) {
    if (alignment < 1 || alignment > 3) return;
    AppSettings().gridTitleAlignment = alignment;
    AlignmentRadios[size_t(alignment - 1)]->setChecked(true);
}

void ViewerConfigDialog::ChooseCellColor() {
    common::Settings& s = AppSettings();
    const auto chosen = Ui().ChooseColor(s.gridCellColor);
    if (!chosen) return;
    s.gridCellColor = *chosen;
    PaintSample(*CellColorSample, *chosen);
}

void ViewerConfigDialog::ChooseCellFont() {
    common::DisplayScheme& scheme = AppSettings().scheme;
    const auto chosen = Ui().ChooseFont({scheme.gridFont, scheme.gridFontColor}, true);
    if (!chosen) return;
    scheme.gridFont = chosen->font;
    scheme.gridFontColor = chosen->color;
    CellFontEdit->setText(FontText(scheme.gridFont));
}

void ViewerConfigDialog::ToggleFieldShown(int row, int column) {
    if (column != 1 || row < 0 || row >= kFields) return;
    QTableWidgetItem* item = ShowGrid->item(row, 1);
    item->setText(item->text() == "Yes" ? "No" : "Yes");
}

void ViewerConfigDialog::SwapOrderRows(int a, int b) {
    QListWidgetItem* first = OrderList->item(a);
    QListWidgetItem* second = OrderList->item(b);
    const QString text = first->text();
    const QVariant data = first->data(Qt::UserRole);
    first->setText(second->text());
    first->setData(Qt::UserRole, second->data(Qt::UserRole));
    second->setText(text);
    second->setData(Qt::UserRole, data);
    OrderList->setCurrentRow(b);
}

void ViewerConfigDialog::MoveFieldUp() {
    const int row = OrderList->currentRow();
    if (row > 0) SwapOrderRows(row, row - 1);
}

void ViewerConfigDialog::MoveFieldDown() {
    const int row = OrderList->currentRow();
    if (row >= 0 && row + 1 < OrderList->count()) SwapOrderRows(row, row + 1);
}

void ViewerConfigDialog::RestoreDefaultOrder() {
    if (Ui().Ask("Re-Order", "This will set the order of fields to the program defaults.  Continue?",
                 common::Buttons::YesNo, common::Answer::No) != common::Answer::Yes)
        return;
    for (int p = 1; p <= kFields; ++p) {
        QListWidgetItem* item = OrderList->item(p - 1);
        item->setText(ViewerRules::CutTitle(NameGrid->item(p - 1, 1)->text()));
        item->setData(Qt::UserRole, p);
    }
}

// A renamed field keeps its row on the other pages: the order list finds
// fields by their titles when the dialog closes.
void ViewerConfigDialog::ApplyTitleEdit(int row, int column) {
    if (m_filling || column != 1 || row < 0 || row >= kFields) return;
    const int position = row + 1;
    const QString title = ViewerRules::CutTitle(NameGrid->item(row, 1)->text());
    if (QTableWidgetItem* item = ShowGrid->item(row, 0)) item->setText(title);
    if (QTableWidgetItem* item = WidthGrid->item(row, 0)) item->setText(title);
    for (int k = 0; k < OrderList->count(); ++k)
        if (OrderList->item(k)->data(Qt::UserRole).toInt() == position) OrderList->item(k)->setText(title);
}

void ViewerConfigDialog::ShowHelp() { Ui().OpenHelp(HelpKeyword(Notebook->currentIndex())); }

void ViewerConfigDialog::CloseWindow() { accept(); }

void ViewerConfigDialog::done(int result) {
    StoreOnClose();
    QDialog::done(result);
}

void ViewerConfigDialog::StoreOnClose() {
    if (m_closed) return;
    m_closed = true;
    // A cell still being typed into belongs to the lists being stored.
    // Moving the current cell commits an open cell editor.
    for (QTableWidget* list : {WidthGrid, NameGrid}) list->setCurrentIndex(QModelIndex());
    common::Settings& s = AppSettings();
    FieldTitles titles;
    FieldPositions current;
    for (int p = 1; p <= kFields; ++p) {
        common::FieldSettings& f = s.Field(p);
        const int row = p - 1;
        f.title = ViewerRules::CutTitle(NameGrid->item(row, 1)->text());
        const QString widthText = WidthGrid->item(row, 1)->text();
        f.width = ViewerRules::ReadWidth(widthText);
        if (f.width == ViewerRules::kFallbackWidth) WidthGrid->item(row, 1)->setText(QString::number(f.width));
        f.display = ShowGrid->item(row, 1)->text() == "Yes";
        titles[size_t(row)] = f.title;
        current[size_t(row)] = f.order;
    }
    QStringList rows;
    for (int k = 0; k < OrderList->count(); ++k) rows << OrderList->item(k)->text();
    const FieldPositions positions = ViewerRules::Positions(titles, rows, current);
    for (int p = 1; p <= kFields; ++p) s.Field(p).order = positions[size_t(p - 1)];
    m_context.SetViewerOptions();
}

}  // namespace appearance
