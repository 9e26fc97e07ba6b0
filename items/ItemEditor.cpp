#include "ItemEditor.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ColorGroup.h"
#include "EditTemplate.h"
#include "EngineError.h"
#include "EntryRules.h"
#include "ItemSchema.h"
#include "PhotosPage.h"
#include "PickListFile.h"
#include "Settings.h"
#include "TextRules.h"
#include "UiServices.h"

namespace items {

namespace {

using common::Answer;
using common::Buttons;
using common::MessageIcon;
using common::PickList;
using common::Ui;

const QString kErrorTitle = QStringLiteral("Error");
const QString kWarningTitle = QStringLiteral("Warning");
const QString kDateTemplate = QStringLiteral("!99/99/9999;1;_");
// Room an edit box needs beside its text on each side (frame and margin).
constexpr int kBoxMargin = 6;

QLabel* AddRow(QGridLayout* grid, int row, const QString& caption, QWidget* control) {
    auto* label = new QLabel(caption);
    label->setBuddy(control);
    grid->addWidget(label, row, 0);
    grid->addWidget(control, row, 1);
    return label;
}

QComboBox* NewCombo() {
    auto* combo = new QComboBox;
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setDuplicatesEnabled(true);
    combo->setMinimumContentsLength(20);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return combo;
}

QString Title(int position) { return common::AppSettings().Field(position).title; }

}  // namespace

ItemEditor::ItemEditor(common::MainContext& context, QWidget* parent) : QDialog(parent), m_context(context) {
    // 1. A fixed border, no minimise or maximise button; the close box stays.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Edit"));
    BuildControls();
    BuildMenu();
    // 2.
    adjustSize();
    m_design.Record(*this);
    // 3.
    LoadAllList();
    // 4.
    SetTypingLimits();
}

ItemEditor::~ItemEditor() = default;

// ---------------------------------------------------------------- building

void ItemEditor::BuildControls() {
    auto* root = new QVBoxLayout(this);
    root->setSizeConstraint(QLayout::SetFixedSize);
    Notebook = new QTabWidget(this);
    root->addWidget(Notebook);

    // Description page.
    DescriptionPage = new QWidget;
    {
        auto* grid = new QGridLayout(DescriptionPage);
        Item = new QLineEdit;
        Brand = NewCombo();
        Model = new QLineEdit;
        Serial = new QLineEdit;
        IDMarks = new QLineEdit;
        Comments = new QLineEdit;
        Category = NewCombo();
        Location = NewCombo();
        TheOwner = NewCombo();
        Item->setMinimumWidth(320);
        Comments->setMinimumWidth(420);
        IDMarks->setMinimumWidth(380);
        ItemLab = AddRow(grid, 0, "Item", Item);
        BrandLab = AddRow(grid, 1, "Brand", Brand);
        ModelLab = AddRow(grid, 2, "Model", Model);
        SerialLab = AddRow(grid, 3, "Serial Number", Serial);
        IDMarksLab = AddRow(grid, 4, "ID Marks", IDMarks);
        CommentsLab = AddRow(grid, 5, "Comments", Comments);
        CategoryLab = AddRow(grid, 6, "Category", Category);
        LocationLab = AddRow(grid, 7, "Location", Location);
        OwnerLab = AddRow(grid, 8, "Owner", TheOwner);
        for (QWidget* w : {static_cast<QWidget*>(Brand), static_cast<QWidget*>(Model), static_cast<QWidget*>(Serial),
                           static_cast<QWidget*>(Category), static_cast<QWidget*>(Location),
                           static_cast<QWidget*>(TheOwner)})
            grid->setAlignment(w, Qt::AlignLeft);
        grid->setColumnStretch(1, 1);
        grid->setRowStretch(9, 1);
    }
    Notebook->addTab(DescriptionPage, QStringLiteral("De&scription"));

    // Worth page.
    WorthPage = new QWidget;
    {
        auto* page = new QVBoxLayout(WorthPage);
        auto* grid = new QGridLayout;
        Quantity = new QLineEdit;
        Value = new QLineEdit;
        Cost = new QLineEdit;
        RepCost = new QLineEdit;
        for (QLineEdit* e : {Quantity, Value, Cost, RepCost}) e->setMaximumWidth(130);
        TotLabel = new QLabel(QStringLiteral("Totals"));
        QFont bold = TotLabel->font();
        bold.setBold(true);
        TotLabel->setFont(bold);
        TotLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        TotValueLabel = new QLabel;
        TotCostLabel = new QLabel;
        TotRepCostLabel = new QLabel;
        for (QLabel* l : {TotValueLabel, TotCostLabel, TotRepCostLabel})
            l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(TotLabel, 0, 2);
        QuantityLab = AddRow(grid, 1, "Quantity", Quantity);
        ValueLab = AddRow(grid, 2, "Value", Value);
        CostLab = AddRow(grid, 3, "Cost", Cost);
        RepCostLab = AddRow(grid, 4, "Replacement Cost", RepCost);
        grid->addWidget(TotValueLabel, 2, 2);
        grid->addWidget(TotCostLabel, 3, 2);
        grid->addWidget(TotRepCostLabel, 4, 2);
        grid->setColumnStretch(3, 1);
        page->addLayout(grid);
        page->addStretch(1);
        WorthItem = new QLabel;
        page->addWidget(WorthItem);
    }
    Notebook->addTab(WorthPage, QStringLiteral("&Worth"));

    // Warranty page.
    WarrantyPage = new QWidget;
    {
        auto* page = new QVBoxLayout(WarrantyPage);
        auto* grid = new QGridLayout;
        Warranty = new QCheckBox(QStringLiteral("Warranty"));
        WarDate = new QLineEdit;
        WarNotes = new QLineEdit;
        PurchDate = new QLineEdit;
        Bought = NewCombo();
        Bought->setMinimumContentsLength(30);
        for (QLineEdit* e : {WarDate, PurchDate}) e->setMaximumWidth(110);
        BlankWarDate = new QPushButton(QStringLiteral("Blank Date"));
        BlankPurchDate = new QPushButton(QStringLiteral("Blank Date"));
        // Each date box with its Blank Date button beside it.
        auto dateRow = [](QLineEdit* box, QPushButton* blank) {
            auto* row = new QWidget;
            auto* h = new QHBoxLayout(row);
            h->setContentsMargins(0, 0, 0, 0);
            h->addWidget(box);
            h->addWidget(blank);
            h->addStretch(1);
            return row;
        };
        grid->addWidget(Warranty, 0, 1, Qt::AlignLeft);
        auto* warRow = dateRow(WarDate, BlankWarDate);
        WarDateLab = AddRow(grid, 1, "Warranty Date", warRow);
        WarDateLab->setBuddy(WarDate);
        WarNotesLab = AddRow(grid, 2, "Warranty Notes", WarNotes);
        auto* purchRow = dateRow(PurchDate, BlankPurchDate);
        PurchDateLab = AddRow(grid, 3, "Purchase Date", purchRow);
        PurchDateLab->setBuddy(PurchDate);
        BoughtLab = AddRow(grid, 4, "Purchased From", Bought);
        grid->setColumnStretch(2, 1);
        page->addLayout(grid);
        page->addStretch(1);
        WarrantyItem = new QLabel;
        page->addWidget(WarrantyItem);
    }
    Notebook->addTab(WarrantyPage, QStringLiteral("W&arranty"));

    // Other page.
    OtherPage = new QWidget;
    {
        auto* page = new QVBoxLayout(OtherPage);
        auto* grid = new QGridLayout;
        for (int i = 0; i < 4; ++i) {
            UserDef[size_t(i)] = new QLineEdit;
            UserDef[size_t(i)]->setMinimumWidth(320);
            UserDefLab[size_t(i)] = AddRow(grid, i, QStringLiteral("User Defined %1").arg(i + 1), UserDef[size_t(i)]);
        }
        grid->setColumnStretch(2, 1);
        page->addLayout(grid);
        page->addStretch(1);
        OtherItem = new QLabel;
        page->addWidget(OtherItem);
    }
    Notebook->addTab(OtherPage, QStringLiteral("&Other"));

    // Photos and documents of the item, kept beside the table.
    PhotosTab = new PhotosPage(m_context);
    Notebook->addTab(PhotosTab, QStringLiteral("Pho&tos"));

    // Buttons, left to right, the two moves inside a raised frame.
    auto* buttons = new QHBoxLayout;
    UpdateExitButton = new QPushButton(QStringLiteral("&Update && Exit"));
    UpdateButton = new QPushButton(QStringLiteral("Up&date"));
    ClearButton = new QPushButton(QStringLiteral("C&lear"));
    CancelButton = new QPushButton(QStringLiteral("E&xit"));
    for (QPushButton* b : {UpdateExitButton, UpdateButton, ClearButton, CancelButton}) buttons->addWidget(b);
    buttons->addStretch(1);
    auto* moves = new QFrame;
    moves->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* movesLayout = new QHBoxLayout(moves);
    movesLayout->setContentsMargins(4, 4, 4, 4);
    PrevButton = new QPushButton(QStringLiteral("&Previous"));
    NextButton = new QPushButton(QStringLiteral("&Next"));
    movesLayout->addWidget(PrevButton);
    movesLayout->addWidget(NextButton);
    buttons->addWidget(moves);
    root->addLayout(buttons);

    // Enter never presses a button: it moves along the focus chain.
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    connect(UpdateExitButton, &QPushButton::clicked, this, [this] { Guard([this] { SaveItemAndClose(); }); });
    connect(UpdateButton, &QPushButton::clicked, this, [this] { Guard([this] { SaveItem(); }); });
    connect(ClearButton, &QPushButton::clicked, this, [this] { Guard([this] { ClearEntries(); }); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { Guard([this] { Cancel(); }); });
    connect(PrevButton, &QPushButton::clicked, this, [this] { Guard([this] { ShowPreviousItem(); }); });
    connect(NextButton, &QPushButton::clicked, this, [this] { Guard([this] { ShowNextItem(); }); });
    connect(BlankWarDate, &QPushButton::clicked, this, [this] { ClearWarrantyDate(); });
    connect(BlankPurchDate, &QPushButton::clicked, this, [this] { ClearPurchaseDate(); });

    m_chain = {Item,     Brand,  Model, Serial,  IDMarks,  Comments,  Category,   Location,   TheOwner,   Quantity,  Value,
               Cost,     RepCost, WarDate, WarNotes, PurchDate, Bought, UserDef[0], UserDef[1], UserDef[2], UserDef[3]};

    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
}

void ItemEditor::BuildMenu() {
    MainMenu = new QMenuBar(this);
    layout()->setMenuBar(MainMenu);
    auto add = [this](QMenu* menu, const QString& caption, const QKeySequence& key, std::function<void()> command) {
        QAction* a = menu->addAction(caption);
        if (!key.isEmpty()) a->setShortcut(key);
        connect(a, &QAction::triggered, this, [this, command] { Guard(command); });
        return a;
    };
    QMenu* file = MainMenu->addMenu(QStringLiteral("&File"));
    add(file, "N&ew Record", QKeySequence("Ctrl+E"), [this] { StartNewItem(); });
    add(file, "&Clear Record", QKeySequence("Ctrl+L"), [this] { ClearEntries(); });
    add(file, "Up&date Record", QKeySequence("Ctrl+R"), [this] { SaveItem(); });
    add(file, "&Update && Exit", QKeySequence("Ctrl+U"), [this] { SaveItemAndClose(); });
    file->addSeparator();
    add(file, "&Previous Record", QKeySequence("Ctrl+P"), [this] { ShowPreviousItem(); });
    add(file, "&Next Record", QKeySequence("Ctrl+N"), [this] { ShowNextItem(); });
    file->addSeparator();
    add(file, "E&xit", {}, [this] { Cancel(); });
    QMenu* edit = MainMenu->addMenu(QStringLiteral("&Edit"));
    add(edit, "Cu&t", QKeySequence("Ctrl+X"), [this] { CutText(); });
    add(edit, "&Copy", QKeySequence("Ctrl+C"), [this] { CopyText(); });
    add(edit, "&Paste", QKeySequence("Ctrl+V"), [this] { PasteText(); });
    add(edit, "&Delete", QKeySequence("Ctrl+D"), [this] { DeleteSelectedText(); });
    // Help acts at once from the menu bar.
    QAction* help = MainMenu->addAction(QStringLiteral("&Help"));
    help->setShortcut(QKeySequence("Ctrl+H"));
    addAction(help);
    connect(help, &QAction::triggered, this, [this] { ShowHelp(); });
}

void ItemEditor::SetTypingLimits() {
    auto w = [](int position) { return store::SchemaAt(position).width; };
    m_limits = {{Item, w(1)},          {Brand->lineEdit(), w(2)},     {Model, w(3)},
                {Serial, w(4)},        {IDMarks, w(8)},               {Comments, w(6)},
                {Category->lineEdit(), w(12)}, {Location->lineEdit(), w(5)}, {TheOwner->lineEdit(), w(17)},
                {Value, w(18)},        {Cost, w(11)},                 {RepCost, w(13)},
                {WarNotes, w(16)},     {Bought->lineEdit(), w(7)},    {UserDef[0], w(19)},
                {UserDef[1], w(20)},   {UserDef[2], w(21)},           {UserDef[3], w(22)}};
    for (const auto& [edit, limit] : m_limits) edit->setMaxLength(limit);
}

// ---------------------------------------------------------------- showing

void ItemEditor::showEvent(QShowEvent* event) {
    PrepareToShow();
    QDialog::showEvent(event);
}

void ItemEditor::PrepareToShow() {
    // 1.
    common::WindowLayout::PrepareDialog(*this, &m_design);
    // 3.
    SetCaptions();
    // 4.
    Notebook->setCurrentWidget(DescriptionPage);
    // 5.
    SetColors();
    // The date separator follows the date format menu.
    const common::EditTemplate dates(kDateTemplate);
    dates.Apply(*WarDate);
    dates.Apply(*PurchDate);
    // 6.
    const int mode = m_context.EditorMode();
    if (mode == 2 || mode == 3) LoadInData();
    else DoClear();
    PhotosTab->ApplyScale(common::WindowSizeFactor());
    ShowPhotos();
    // 7.
    SaveValues();
    Item->setFocus();
    FitToContents();
    // 2. Centred (and moved up) once captions and contents have given the
    // window its final size.
    common::WindowLayout::FinishShowing(*this, true);
}

void ItemEditor::FitToContents() {
    // The date boxes show a whole date and the totals the widest amount in
    // the fonts they show, so neither clips nor grows the window with what
    // is typed.
    for (QLineEdit* box : {WarDate, PurchDate}) {
        const int width = box->fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000")) + 2 * kBoxMargin;
        box->setMinimumWidth(width);
        box->setMaximumWidth(std::max(width, box->maximumWidth()));
    }
    for (QLabel* l : {TotValueLabel, TotCostLabel, TotRepCostLabel})
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance(EntryRules::WidestTotal()) + l->margin() * 2);
}

void ItemEditor::ShowPhotos() {
    store::Table& table = m_context.ItemTable();
    if (m_context.EditorMode() == 2 && table.IsOpen() && table.HasCurrent()) PhotosTab->ShowRecord(table.RecNo());
    else PhotosTab->ShowNew();
}

void ItemEditor::SetCaptions() {
    const std::pair<QLabel*, int> labels[] = {
        {ItemLab, 1},      {BrandLab, 2},     {ModelLab, 3},      {SerialLab, 4},    {IDMarksLab, 8},
        {CommentsLab, 6},  {CategoryLab, 12}, {LocationLab, 5},   {OwnerLab, 17},    {ValueLab, 18},
        {CostLab, 11},     {RepCostLab, 13},  {WarDateLab, 15},   {WarNotesLab, 16}, {PurchDateLab, 10},
        {BoughtLab, 7},    {UserDefLab[0], 19}, {UserDefLab[1], 20}, {UserDefLab[2], 21}, {UserDefLab[3], 22}};
    for (const auto& [label, position] : labels) label->setText(Title(position));
    Warranty->setText(Title(14));
}

void ItemEditor::SetColors() {
    using common::ColorSlot;
    using common::WindowLayout;
    const common::ColorGroup& g = common::AppSettings().scheme.Group(common::WindowGroup::Edit);
    WindowLayout::ApplyColors(*this, g);
    for (QWidget* page : {DescriptionPage, WorthPage, WarrantyPage, OtherPage, static_cast<QWidget*>(PhotosTab)})
        WindowLayout::SetBackground(*page, g[ColorSlot::MainBackground]);
    for (QLabel* label : findChildren<QLabel*>()) {
        WindowLayout::SetTextColor(*label, g[ColorSlot::MinorTitle]);
        WindowLayout::SetBackground(*label, g[ColorSlot::MainBackground]);
    }
    WindowLayout::SetTextColor(*TotLabel, g[ColorSlot::MajorTitle]);
}

// ---------------------------------------------------------------- fields

std::vector<ItemEditor::Field> ItemEditor::Fields() const {
    return {{"Item", Item, DescriptionPage},         {"Brand", Brand, DescriptionPage},
            {"Model", Model, DescriptionPage},       {"Serial", Serial, DescriptionPage},
            {"Location", Location, DescriptionPage}, {"Descriptio", Comments, DescriptionPage},
            {"BoughtFrom", Bought, WarrantyPage},    {"IDMarks", IDMarks, DescriptionPage},
            {"Category", Category, DescriptionPage}, {"WarNotes", WarNotes, WarrantyPage},
            {"Owner", TheOwner, DescriptionPage},    {"WarDate", WarDate, WarrantyPage},
            {"PurchDate", PurchDate, WarrantyPage},  {"Cost", Cost, WorthPage},
            {"Value", Value, WorthPage},             {"RepCost", RepCost, WorthPage},
            {"Quantity", Quantity, WorthPage},       {"Warranty", Warranty, WarrantyPage},
            {"UserDef1", UserDef[0], OtherPage},     {"UserDef2", UserDef[1], OtherPage},
            {"UserDef3", UserDef[2], OtherPage},     {"UserDef4", UserDef[3], OtherPage}};
}

QString ItemEditor::DateText(const QLineEdit& box) { return common::EditTemplate(kDateTemplate).Text(box); }

QString ItemEditor::ControlText(const QWidget* control) const {
    if (control == WarDate || control == PurchDate)
        return common::TextRules::TrimSpaces(DateText(*static_cast<const QLineEdit*>(control)));
    if (auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
    if (auto* combo = qobject_cast<const QComboBox*>(control)) return combo->currentText();
    if (auto* check = qobject_cast<const QCheckBox*>(control)) return common::TextRules::YesNo(check->isChecked());
    return {};
}

void ItemEditor::SetControlText(QWidget* control, const QString& text) {
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        control = combo->lineEdit();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        // A stored value longer than the typing limit (a wider field in a
        // table from elsewhere) is shown whole, never cut.
        for (const auto& [limited, limit] : m_limits)
            if (limited == edit) edit->setMaxLength(std::max<int>(limit, int(text.size())));
        edit->setText(text);
    }
}

// ---------------------------------------------------------------- loading and clearing

void ItemEditor::LoadInData() {
    store::Table& table = m_context.ItemTable();
    const bool open = table.IsOpen();
    for (const Field& f : Fields()) {
        const int index = open ? table.FieldIndex(f.name) : -1;
        if (f.control == Warranty) {
            Warranty->setChecked(index >= 0 && table.GetText(index) == "Yes");
        } else if (f.control == WarDate || f.control == PurchDate) {
            const auto date = index >= 0 ? table.GetDate(index) : std::nullopt;
            auto* box = static_cast<QLineEdit*>(f.control);
            if (date) box->setText(EntryRules::ShowDate(*date));
            else box->clear();
        } else {
            SetControlText(f.control, index >= 0 ? QString::fromStdString(table.GetText(index)) : QString());
        }
    }
    ShowItemLine();
    CalcTotals();
}

void ItemEditor::DoClear() {
    for (const auto& [edit, limit] : m_limits) edit->setMaxLength(limit);
    for (QLineEdit* e : {Item, Model, Serial, IDMarks, Comments, WarNotes}) e->clear();
    for (QComboBox* c : {Brand, Category, Location, TheOwner, Bought}) c->setEditText(QString());
    WarDate->clear();
    PurchDate->clear();
    Warranty->setChecked(false);
    Cost->setText(QStringLiteral("0"));
    Value->setText(QStringLiteral("0"));
    RepCost->setText(QStringLiteral("0"));
    Quantity->setText(QStringLiteral("1"));
    CalcTotals();
}

void ItemEditor::SaveValues() {
    m_snapshot.clear();
    for (const Field& f : Fields()) m_snapshot.push_back(ControlText(f.control));
    m_snapshotWarranty = Warranty->isChecked();
}

bool ItemEditor::HasUnsavedChanges() const {
    const auto fields = Fields();
    if (m_snapshot.size() != fields.size()) return true;
    for (size_t i = 0; i < fields.size(); ++i)
        if (ControlText(fields[i].control) != m_snapshot[i]) return true;
    // Files added to a new item are lost unless it is updated.
    return Warranty->isChecked() != m_snapshotWarranty || PhotosTab->HasPending();
}

void ItemEditor::ShowItemLine() {
    const QString line = Title(1) + QStringLiteral(": ") + Item->text();
    for (QLabel* l : {WorthItem, WarrantyItem, OtherItem}) l->setText(line);
}

void ItemEditor::CalcTotals() {
    const int quantity = common::TextRules::ReadInteger(common::TextRules::TrimSpaces(Quantity->text()));
    TotCostLabel->setText(EntryRules::Total(quantity, EntryRules::LeadingAmount(Cost->text())));
    TotRepCostLabel->setText(EntryRules::Total(quantity, EntryRules::LeadingAmount(RepCost->text())));
    TotValueLabel->setText(EntryRules::Total(quantity, EntryRules::LeadingAmount(Value->text())));
}

// ---------------------------------------------------------------- update

void ItemEditor::Refuse(const QString& message, QWidget* page, QWidget* control) {
    Ui().Message(kErrorTitle, message, MessageIcon::Error);
    Notebook->setCurrentWidget(page);
    control->setFocus();
}

bool ItemEditor::DoUpdate() {
    using common::TextRules;
    // 1. Dates.
    const std::pair<QLineEdit*, const char*> dates[] = {
        {WarDate, EntryRules::kInvalidWarrantyDate},
        {PurchDate, EntryRules::kInvalidPurchaseDate}};
    for (const auto& [box, message] : dates) {
        const QString text = TextRules::TrimSpaces(DateText(*box));
        if (!EntryRules::IsNoDate(text) && !EntryRules::DateOf(text)) {
            Refuse(QString::fromLatin1(message), WarrantyPage, box);
            return false;
        }
    }
    // 2. Money.
    const std::pair<QLineEdit*, const char*> amounts[] = {
        {Cost, EntryRules::kInvalidCost},
        {Value, EntryRules::kInvalidValue},
        {RepCost, EntryRules::kInvalidReplacementCost}};
    for (const auto& [box, message] : amounts) {
        if (!EntryRules::Amount(TextRules::TrimSpaces(box->text()))) {
            Refuse(QString::fromLatin1(message), WorthPage, box);
            return false;
        }
    }
    // 3. Quantity.
    if (!EntryRules::WholeNumber(TextRules::TrimSpaces(Quantity->text()))) {
        Refuse(QString::fromLatin1(EntryRules::kInvalidQuantity), WorthPage, Quantity);
        return false;
    }
    // 4. Pick lists, both copies.
    for (const PickListInfo& info : PickListFile::All()) {
        QComboBox* combo = ListCombo(info.list);
        const QString text = combo->currentText();
        AddToList(*combo, text);
        AddToListGrid(m_context.GridPickList(info.list), text);
    }
    // 5. An edit of a table without a current record (an empty table)
    // starts a new record, so that what was typed is not lost.
    store::Table& table = m_context.ItemTable();
    int& mode = m_context.EditorMode();
    try {
        if (mode == 1 || mode == 3 || !table.HasCurrent()) table.Insert();
        else table.Edit();
    } catch (const store::EngineError& e) {
        table.Cancel();
        Ui().Message(kErrorTitle, QString::fromUtf8(e.what()), MessageIcon::Error);
        return false;
    }
    // 6. Every field, in the order of the record's fields as written. A
    // value the table cannot hold leaves the record unwritten and points
    // the user at the box.
    for (const Field& f : Fields()) {
        QString text;
        if (f.control == Warranty) {
            text = TextRules::YesNo(Warranty->isChecked());
        } else {
            text = TextRules::TrimSpaces(ControlText(f.control));
            if ((f.control == WarDate || f.control == PurchDate) && EntryRules::IsNoDate(text)) text.clear();
        }
        try {
            table.SetText(f.name, text.toStdString());
        } catch (const store::EngineError& e) {
            table.Cancel();
            Refuse(QString::fromUtf8(e.what()), f.page, f.control);
            return false;
        }
    }
    // 7. The mode turns to edit only once the record exists, so a failed
    // first update never turns into an edit of the record copied from.
    try {
        table.Post();
    } catch (const store::EngineError& e) {
        table.Cancel();
        Ui().Message(kErrorTitle, QString::fromUtf8(e.what()), MessageIcon::Error);
        return false;
    }
    mode = 2;
    // Files added to a new item are attached to the record just written; when
    // they cannot be, the record stays written and they keep waiting.
    if (PhotosTab->HasPending()) PhotosTab->SavePending(table.RecNo());
    return true;
}

// ---------------------------------------------------------------- commands

void ItemEditor::Guard(const std::function<void()>& command) {
    try {
        command();
    } catch (const store::EngineError& e) {
        m_context.ItemTable().Cancel();
        Ui().Message(kErrorTitle, QString::fromUtf8(e.what()), MessageIcon::Error);
    }
}

void ItemEditor::SaveItem() {
    if (DoUpdate()) SaveValues();
}

void ItemEditor::SaveItemAndClose() {
    if (DoUpdate()) accept();
}

void ItemEditor::ClearEntries() { DoClear(); }

void ItemEditor::Cancel() {
    if (HasUnsavedChanges()) {
        Ui().Beep();
        if (Ui().Ask(kWarningTitle, QStringLiteral("Data has changed.  Do you want to exit without updating?"),
                     Buttons::YesNo, Answer::No, MessageIcon::Question) != Answer::Yes)
            return;
    }
    reject();
}

void ItemEditor::StartNewItem() {
    if (HasUnsavedChanges()) {
        Ui().Beep();
        const Answer answer =
            Ui().Ask(kWarningTitle, QStringLiteral("Data has changed.  Update this record before creating new one?"),
                     Buttons::YesNoCancel, Answer::No, MessageIcon::Question);
        if (answer == Answer::Cancel || answer == Answer::None) return;
        if (answer == Answer::Yes && !DoUpdate()) return;
    }
    DoClear();
    m_context.EditorMode() = 1;
    ShowPhotos();
    SaveValues();
}

bool ItemEditor::Move(bool forward) {
    const QString direction = forward ? QStringLiteral("next") : QStringLiteral("previous");
    const int mode = m_context.EditorMode();
    QString question;
    if (mode == 1 || mode == 3)
        question = "This record has not been updated yet.  Update this record before moving to the " + direction +
                   " record?";
    else if (HasUnsavedChanges())
        question = "Data has changed.  Update this record before moving to the " + direction + " record?";
    if (!question.isEmpty()) {
        Ui().Beep();
        const Answer answer = Ui().Ask(kWarningTitle, question, Buttons::YesNoCancel, Answer::No, MessageIcon::Question);
        if (answer == Answer::Cancel || answer == Answer::None) return false;
        if (answer == Answer::Yes && !DoUpdate()) return false;
    }
    store::Table& table = m_context.ItemTable();
    if (forward) table.Next();
    else table.Prior();
    LoadInData();
    SaveValues();
    m_context.EditorMode() = 2;
    ShowPhotos();
    return true;
}

void ItemEditor::ShowNextItem() { Move(true); }
void ItemEditor::ShowPreviousItem() { Move(false); }

void ItemEditor::ClearWarrantyDate() { WarDate->clear(); }
void ItemEditor::ClearPurchaseDate() { PurchDate->clear(); }

QLineEdit* ItemEditor::EditOf(QWidget* control) const {
    if (!control) return nullptr;
    if (auto* combo = qobject_cast<QComboBox*>(control)) return combo->lineEdit();
    auto* edit = qobject_cast<QLineEdit*>(control);
    if (!edit || edit == WarDate || edit == PurchDate) return nullptr;
    return edit;
}

void ItemEditor::CutText() {
    if (QLineEdit* e = EditOf(focusWidget())) e->cut();
}

void ItemEditor::CopyText() {
    if (QLineEdit* e = EditOf(focusWidget())) e->copy();
}

void ItemEditor::PasteText() {
    if (QLineEdit* e = EditOf(focusWidget())) e->paste();
}

void ItemEditor::DeleteSelectedText() {
    if (QLineEdit* e = EditOf(focusWidget()); e && e->hasSelectedText()) e->del();
}

void ItemEditor::ShowHelp() { Ui().OpenHelp(QStringLiteral("Input Window")); }

// ---------------------------------------------------------------- keys and focus

QWidget* ItemEditor::ChainMember(QWidget* widget) const {
    // A combo box's edit line stands for the combo box.
    for (QWidget* w = widget; w && w != this; w = w->parentWidget())
        if (std::find(m_chain.begin(), m_chain.end(), w) != m_chain.end()) return w;
    return nullptr;
}

void ItemEditor::FocusNextInChain(QWidget* control) {
    QWidget* member = ChainMember(control);
    if (!member) return;
    auto it = std::find(m_chain.begin(), m_chain.end(), member);
    ++it;
    QWidget* next = it == m_chain.end() ? m_chain.front() : *it;
    for (QWidget* page : {DescriptionPage, WorthPage, WarrantyPage, OtherPage})
        if (page->isAncestorOf(next) && Notebook->currentWidget() != page) Notebook->setCurrentWidget(page);
    next->setFocus();
    if (auto* edit = EditOf(next)) edit->selectAll();
}

bool ItemEditor::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->window() == this) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                !qobject_cast<QMenuBar*>(widget) && !qobject_cast<QMenu*>(widget)) {
                FocusNextInChain(widget);
                return true;
            }
        } else if (event->type() == QEvent::ShortcutOverride) {
            // Edit boxes claim some Ctrl keys for themselves (Ctrl+U empties
            // the line); the editor's menu shortcuts come first.
            auto* key = static_cast<QKeyEvent*>(event);
            static const int kMenuKeys[] = {Qt::Key_E, Qt::Key_L, Qt::Key_R, Qt::Key_U,
                                            Qt::Key_P, Qt::Key_N, Qt::Key_D, Qt::Key_H};
            if (key->modifiers() == Qt::ControlModifier &&
                std::find(std::begin(kMenuKeys), std::end(kMenuKeys), key->key()) != std::end(kMenuKeys))
                return true;
        } else if (event->type() == QEvent::FocusOut) {
            if (widget == Item || std::find(UserDef.begin(), UserDef.end(), widget) != UserDef.end()) ShowItemLine();
            else if (widget == Quantity || widget == Value || widget == Cost || widget == RepCost) CalcTotals();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ItemEditor::keyPressEvent(QKeyEvent* event) {
    // Escape is the Exit command, with its question about unsaved typing.
    if (event->key() == Qt::Key_Escape) {
        Guard([this] { Cancel(); });
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
    QDialog::keyPressEvent(event);
}

void ItemEditor::done(int result) {
    SaveAllLists();
    QDialog::done(result);
}

// ---------------------------------------------------------------- pick lists

QComboBox* ItemEditor::ListCombo(PickList list) const {
    switch (list) {
    case PickList::Brand: return Brand;
    case PickList::Location: return Location;
    case PickList::Bought: return Bought;
    case PickList::Category: return Category;
    case PickList::Owner: return TheOwner;
    }
    return Brand;
}

QStringList ItemEditor::ListEntries(PickList list) const {
    const QComboBox* combo = ListCombo(list);
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i) entries << combo->itemText(i);
    return entries;
}

void ItemEditor::SetListEntries(PickList list, const QStringList& entries) {
    QComboBox* combo = ListCombo(list);
    const QString text = combo->currentText();
    combo->clear();
    combo->addItems(entries);
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
}

void ItemEditor::AddToList(QComboBox& combo, const QString& value) {
    QStringList entries;
    for (int i = 0; i < combo.count(); ++i) entries << combo.itemText(i);
    if (!PickListFile::AddToList(entries, value)) return;
    // Adding to an empty list would otherwise replace the typed text.
    const QString text = combo.currentText();
    const int index = combo.currentIndex();
    combo.addItem(entries.back());
    combo.setCurrentIndex(index);
    combo.setEditText(text);
}

void ItemEditor::AddToListGrid(QStringList& list, const QString& value) { PickListFile::AddToList(list, value); }

void ItemEditor::LoadList(PickList list) {
    const QStringList entries = PickListFile::Read(PickListFile::PathOf(list));
    SetListEntries(list, entries);
    m_context.GridPickList(list) = entries;
}

void ItemEditor::LoadAllList() {
    for (const PickListInfo& info : PickListFile::All()) LoadList(info.list);
}

void ItemEditor::SaveList(PickList list) { PickListFile::Write(PickListFile::PathOf(list), ListEntries(list)); }

void ItemEditor::SaveAllLists() {
    for (const PickListInfo& info : PickListFile::All()) SaveList(info.list);
}

}  // namespace items
