// The main window's menus, tool bar and body, and the commands of the
// Options and Help menus: formats, fonts, colours, screen size.

#include "MainWindow.h"

#include <QAction>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "ColorConfigDialog.h"
#include "DateFormats.h"
#include "GridDelegate.h"
#include "HelpWindow.h"
#include "ItemGridModel.h"
#include "PickListDialog.h"
#include "QtUiServices.h"
#include "Settings.h"
#include "FilterBox.h"
#include "TipOfDay.h"
#include "WindowLayout.h"

namespace shell {
namespace {

using common::AppSettings;
using common::Ui;

const QString kCaption = "Halvenor Inventory 95";
const QString kErrorTitle = "Error";

QIcon FallbackIcon(const QString& letters) {
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f("Arial");
    f.setPixelSize(letters.size() > 1 ? 9 : 13);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0, 0, 128));
    p.drawText(pm.rect(), Qt::AlignCenter, letters);
    return QIcon(pm);
}

}  // namespace

// ---------------------------------------------------------------- building

QAction* MainWindow::AddCommand(QMenu* menu, const QString& caption, const QKeySequence& shortcut,
                           const std::function<void()>& command) {
    QAction* a = menu->addAction(caption);
    if (!shortcut.isEmpty()) a->setShortcut(shortcut);
    connect(a, &QAction::triggered, this, [this, command] { Guard(command); });
    m_actions.emplace_back(caption, a);
    return a;
}

QAction* MainWindow::Action(const QString& caption) const {
    for (const auto& [c, a] : m_actions)
        if (c == caption) return a;
    return nullptr;
}

void MainWindow::BuildMenus() {
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu("&File");
    AddCommand(file, "&New Database", QKeySequence("Ctrl+W"), [this] { DoNew(); });
    AddCommand(file, "&Open Database", QKeySequence("Ctrl+O"), [this] { DoOpen(); });
    file->addSeparator();
    AddCommand(file, "&Back Up Data", QKeySequence("Ctrl+B"), [this] { DoBackup(); });
    AddCommand(file, "&Restore Data", QKeySequence("Ctrl+Y"), [this] { DoRestore(); });
    file->addSeparator();
    AddCommand(file, "&Print", QKeySequence("Ctrl+P"), [this] { DoReports(); });
    AddCommand(file, "Printer &Setup", QKeySequence("Ctrl+U"), [this] { PrinterSetup(); });
    file->addSeparator();
    AddCommand(file, "E&xit", QKeySequence("Ctrl+X"), [this] { close(); });
    m_recentSeparator = file->addSeparator();
    for (int i = 0; i < common::kRecentFileCount; ++i) {
        QAction* a = file->addAction(QString("&%1").arg(i + 1));
        connect(a, &QAction::triggered, this, [this, i] {
            Guard([this, i] { OpenSaveFile(AppSettings().lastFiles[size_t(i)]); });
        });
        m_recentActions[size_t(i)] = a;
        m_actions.emplace_back(QString("&%1").arg(i + 1), a);
    }

    QMenu* records = bar->addMenu("&Records");
    AddCommand(records, "&Add", QKeySequence("Ctrl+A"), [this] { DoAdd(); });
    AddCommand(records, "&Edit", QKeySequence("Ctrl+E"), [this] { DoEdit(); });
    AddCommand(records, "&Copy", QKeySequence("Ctrl+C"), [this] { DoCopy(); });
    AddCommand(records, "&Delete", QKeySequence("Ctrl+D"), [this] { DoDelete(); });
    records->addSeparator();
    AddCommand(records, "Select Al&l", QKeySequence("Ctrl+Shift+A"), [this] { DoSelectAll(); });
    AddCommand(records, "Edit &Selected...", QKeySequence("Ctrl+Shift+E"), [this] { DoEditSelected(); });
    AddCommand(records, "Delete Selec&ted", QKeySequence("Ctrl+Shift+D"), [this] { DoDeleteSelected(); });
    m_undoAction = AddCommand(records, "&Undo", QKeySequence("Ctrl+Z"), [this] { DoUndo(); });
    m_undoAction->setEnabled(false);
    records->addSeparator();
    AddCommand(records, "&Import", QKeySequence("Ctrl+M"), [this] { DoImport(); });
    AddCommand(records, "E&xport", QKeySequence("Ctrl+T"), [this] { DoExport(); });

    QMenu* navigate = bar->addMenu("Navi&gate");
    AddCommand(navigate, "&Search (Query)", QKeySequence("Ctrl+S"), [this] { DoSearch(); });
    m_endSearchAction = AddCommand(navigate, "&End Search", QKeySequence("Ctrl+I"), [this] { DoEndSearch(); });
    AddCommand(navigate, "&Filter Items", QKeySequence("Ctrl+K"), [this] { FocusFilter(); })
        ->setShortcuts({QKeySequence("Ctrl+K"), QKeySequence("/")});
    m_savedMenu = navigate->addMenu("Sa&ved Searches");
    connect(m_savedMenu, &QMenu::aboutToShow, this, [this] { FillSavedSearchMenu(); });
    FillSavedSearchMenu();
    navigate->addSeparator();
    AddCommand(navigate, "&Locate", QKeySequence("Ctrl+L"), [this] { DoFind(); });
    AddCommand(navigate, "Locate &Next", QKeySequence("Ctrl+N"), [this] { DoFindNext(); });
    navigate->addSeparator();
    AddCommand(navigate, "&Reports", QKeySequence("Ctrl+R"), [this] { DoReports(); });
    AddCommand(navigate, "&Viewer", QKeySequence("Ctrl+V"), [this] { DoViewer(); });
    AddCommand(navigate, "&Overview", QKeySequence("Ctrl+Shift+O"), [this] { DoOverview(); });

    QMenu* options = bar->addMenu("&Options");
    AddCommand(options, "Sort &Order", QKeySequence("Ctrl+Q"), [this] { DoSortOrder(); });
    QMenu* size = options->addMenu("Screen Si&ze");
    const int presets[4] = {640, 800, 1024, 1280};
    const char* sizeNames[4] = {"640 x 480", "800 x 600", "1024 x 768", "1280 x 1024"};
    for (int i = 0; i < 4; ++i) {
        m_screenActions[size_t(i)] = AddCommand(size, sizeNames[i], QKeySequence(QString("Shift+F%1").arg(i + 1)),
                                                [this, p = presets[i]] { ChooseScreenSize(p); });
        m_screenActions[size_t(i)]->setCheckable(true);
    }
    QMenu* access = options->addMenu("&Screen Access");
    const char* accessNames[3] = {"&Speed Buttons", "&Lettered Buttons", "&None"};
    for (int i = 0; i < 3; ++i) {
        m_accessActions[size_t(i)] = AddCommand(access, accessNames[i], QKeySequence(QString("Ctrl+F%1").arg(i + 1)),
                                                [this, i] { ChooseAccessMode(i + 1); });
        m_accessActions[size_t(i)]->setCheckable(true);
    }
    QMenu* color = options->addMenu("&Color");
    const char* colorNames[6] = {"&Main Window Color", "&Edit Window Color", "&Search Window Color",
                                 "&Report Window Color", "&Configure Window Color", "&ALL Windows Color"};
    for (int i = 0; i < 6; ++i)
        AddCommand(color, colorNames[i], QKeySequence(QString("Ctrl+F%1").arg(i + 4)), [this, i] { ColorMenu(i + 1); });
    QMenu* lists = options->addMenu("List &Maintenance");
    AddCommand(lists, "Brand", {}, [this] { EditAList(common::PickList::Brand); });
    AddCommand(lists, "Location", {}, [this] { EditAList(common::PickList::Location); });
    AddCommand(lists, "Purchased From", {}, [this] { EditAList(common::PickList::Bought); });
    AddCommand(lists, "Category", {}, [this] { EditAList(common::PickList::Category); });
    AddCommand(lists, "Owner", {}, [this] { EditAList(common::PickList::Owner); });
    options->addSeparator();
    QMenu* currency = options->addMenu("Report C&urrency Format");
    m_currencyActions[0] = AddCommand(currency, "&U.S. Dollars", {}, [this] { ChooseCurrencyFormat(1); });
    m_currencyActions[1] = AddCommand(currency, "&Windows Setting", {}, [this] { ChooseCurrencyFormat(2); });
    QMenu* numeric = options->addMenu("&Report Numeric Format");
    m_numericActions[0] = AddCommand(numeric, "&U.S. Format", {}, [this] { ChooseNumericFormat(1); });
    m_numericActions[1] = AddCommand(numeric, "&Windows Setting", {}, [this] { ChooseNumericFormat(2); });
    for (QAction* a : m_currencyActions) a->setCheckable(true);
    for (QAction* a : m_numericActions) a->setCheckable(true);
    QMenu* dates = options->addMenu("&Date Format");
    for (const auto& choice : common::DateFormats::Choices()) {
        QAction* a = AddCommand(dates, choice.menuText, {}, [this, n = choice.number] { ChooseDateFormat(n); });
        a->setCheckable(true);
        m_dateActions[size_t(choice.number - 1)] = a;
    }
    options->addSeparator();
    AddCommand(options, "&Label Font", QKeySequence("Shift+F8"), [this] { FontMenu(1); });
    AddCommand(options, "&Edit Font", QKeySequence("Shift+F9"), [this] { FontMenu(2); });
    AddCommand(options, "&Button Font", QKeySequence("Shift+F10"), [this] { FontMenu(3); });

    QMenu* tools = bar->addMenu("&Tools");
    AddCommand(tools, "&Search and Replace", QKeySequence("Ctrl+F"), [this] { DoSearchAndReplace(); });
    tools->addSeparator();
    AddCommand(tools, "&Rebuild Indexes", {}, [this] { RebuildIndexes(); });
    AddCommand(tools, "&Pack Database", {}, [this] { PackDatabase(); });
    AddCommand(tools, "Recover &Attachments", {}, [this] { RecoverAttachments(); });

    QMenu* help = bar->addMenu("&Help");
    AddCommand(help, "&Contents", QKeySequence("Ctrl+H"), [this] { HelpContents(); });
    AddCommand(help, "&Review \"Tips of the Day\"", {}, [this] { ShowTips(); });
    help->addSeparator();
    AddCommand(help, "&About", {}, [this] { About(); });
    AddCommand(help, "Other &Products", {}, [this] { OtherProducts(); });
}

void MainWindow::BuildBody() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* root = new QVBoxLayout(central);
    root->setContentsMargins(4, 2, 4, 2);
    root->setSpacing(3);

    // Top bar: speed buttons or lettered buttons, then the navigator.
    m_topBar = new QWidget(central);
    m_topLayout = new QHBoxLayout(m_topBar);
    m_topLayout->setContentsMargins(0, 0, 0, 0);
    m_topLayout->setSpacing(4);

    m_speedPanel = new QFrame(m_topBar);
    m_speedPanel->setObjectName("SpeedPanel");
    m_speedPanel->setFrameShape(QFrame::Box);
    m_speedPanel->setFixedHeight(31);
    auto* speedLayout = new QHBoxLayout(m_speedPanel);
    speedLayout->setContentsMargins(2, 2, 2, 2);
    speedLayout->setSpacing(0);
    struct Speed {
        const char* hint;
        const char* icon;
        const char* letters;
        std::function<void()> command;
        bool gapBefore;
    };
    const std::vector<Speed> speeds = {
        {"New Database", "document-new", "N", [this] { DoNew(); }, false},
        {"Open Database", "document-open", "O", [this] { DoOpen(); }, false},
        {"Add Record", "list-add", "+", [this] { DoAdd(); }, true},
        {"Edit Record", "document-edit", "E", [this] { DoEdit(); }, false},
        {"Copy Record", "edit-copy", "C", [this] { DoCopy(); }, false},
        {"Delete Record", "edit-delete", "-", [this] { DoDelete(); }, false},
        {"Import Records", "document-import", "Im", [this] { DoImport(); }, false},
        {"Export Records", "document-export", "Ex", [this] { DoExport(); }, false},
        {"Search Records", "edit-find", "S", [this] { DoSearch(); }, true},
        {"End Search", "edit-clear", "X", [this] { DoEndSearch(); }, false},
        {"Locate Record", "edit-find-replace", "L", [this] { DoFind(); }, false},
        {"Locate Next Record", "go-next", "LN", [this] { DoFindNext(); }, false},
        {"Reports", "document-print", "R", [this] { DoReports(); }, false},
        {"Viewer Configuration", "view-list-details", "V", [this] { DoViewer(); }, false},
        {"Color Setup", "preferences-desktop-theme", "Co", [this] { ColorMenu(6); }, false},
        {"Set Sorting Order", "view-sort-ascending", "So", [this] { DoSortOrder(); }, false},
        {"Help", "help-contents", "?", [this] { HelpContents(); }, true},
    };
    for (const auto& s : speeds) {
        if (s.gapBefore) speedLayout->addSpacing(4);
        auto* b = new QToolButton(m_speedPanel);
        b->setIcon(QIcon::fromTheme(s.icon, FallbackIcon(s.letters)));
        b->setToolTip(s.hint);
        b->setFixedSize(25, 25);
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, this, [this, c = s.command] { Guard(c); });
        speedLayout->addWidget(b);
        m_speedButtons.push_back(b);
    }
    m_endSearchSpeed = m_speedButtons[9];
    speedLayout->addStretch();
    m_topLayout->addWidget(m_speedPanel, 1);

    // Lettered buttons in four raised boxes.
    m_letterBox = new QWidget(m_topBar);
    auto* letterLayout = new QHBoxLayout(m_letterBox);
    letterLayout->setContentsMargins(0, 0, 0, 0);
    letterLayout->setSpacing(3);
    struct Letter {
        const char* caption;
        std::function<void()> command;
    };
    const std::vector<std::vector<Letter>> boxes = {
        {{"&Add", [this] { DoAdd(); }}, {"&Edit", [this] { DoEdit(); }}, {"&Copy", [this] { DoCopy(); }},
         {"&Delete", [this] { DoDelete(); }}},
        {{"&Search", [this] { DoSearch(); }}, {"E&nd Srch", [this] { DoEndSearch(); }}},
        {{"&Reports", [this] { DoReports(); }}, {"&Viewer", [this] { DoViewer(); }}},
        {{"He&lp", [this] { HelpContents(); }}, {"E&xit", [this] { close(); }}},
    };
    for (const auto& box : boxes) {
        auto* bevel = new QFrame(m_letterBox);
        bevel->setFrameShape(QFrame::Panel);
        bevel->setFrameShadow(QFrame::Raised);
        bevel->setLineWidth(2);
        auto* grid = new QGridLayout(bevel);
        grid->setContentsMargins(4, 4, 4, 4);
        grid->setSpacing(3);
        for (size_t i = 0; i < box.size(); ++i) {
            auto* b = new QPushButton(box[i].caption, bevel);
            b->setFixedSize(69, 33);
            connect(b, &QPushButton::clicked, this, [this, c = box[i].command] { Guard(c); });
            // Two columns in the first box (Add, Copy / Edit, Delete), one elsewhere.
            const int col = box.size() == 4 ? int(i) / 2 : 0;
            const int row = box.size() == 4 ? int(i) % 2 : int(i);
            grid->addWidget(b, row, col);
            m_letterButtons.push_back(b);
        }
        letterLayout->addWidget(bevel);
        m_bevels.push_back(bevel);
    }
    m_endSearchButton = m_letterButtons[5];
    m_topLayout->addWidget(m_letterBox);
    m_topLayout->addStretch();

    m_navBox = new QWidget(m_topBar);
    m_navBoxLayout = new QVBoxLayout(m_navBox);
    m_navBoxLayout->setContentsMargins(0, 0, 0, 0);
    m_navigatorLabel = new QLabel("Navigation Controls", m_navBox);
    m_navigatorLabel->setAlignment(Qt::AlignCenter);
    m_navigator = new RecordNavigator(m_navBox);
    m_navBoxLayout->addWidget(m_navigatorLabel);
    m_navBoxLayout->addWidget(m_navigator, 0, Qt::AlignHCenter);
    m_topLayout->addWidget(m_navBox);
    connect(m_navigator, &RecordNavigator::Clicked, this,
            [this](RecordNavigator::Button b) { Guard([this, b] { NavigatorClicked(b); }); });
    root->addWidget(m_topBar);

    // The viewer.
    m_viewerBevel = new QFrame(central);
    m_viewerBevel->setObjectName("ViewerBevel");
    m_viewerBevel->setFrameShape(QFrame::Panel);
    m_viewerBevel->setFrameShadow(QFrame::Raised);
    m_viewerBevel->setLineWidth(2);
    auto* viewer = new QVBoxLayout(m_viewerBevel);
    viewer->setContentsMargins(6, 3, 6, 4);
    viewer->setSpacing(3);
    m_headerLayout = new QHBoxLayout;
    m_searchOnLabel = new QLabel("SEARCH ON", m_viewerBevel);
    QFont searchFont("Arial");
    searchFont.setPixelSize(18);
    searchFont.setBold(true);
    m_searchOnLabel->setFont(searchFont);
    m_searchOnLabel->setStyleSheet("color: #c00000;");
    m_searchOnLabel->setMinimumWidth(120);
    m_searchOnLabel->setVisible(false);
    auto* countBox = new QVBoxLayout;
    countBox->setSpacing(0);
    m_countLabel = new QLabel("0", m_viewerBevel);
    m_count2Label = new QLabel("Items", m_viewerBevel);
    QFont small("Arial");
    small.setPixelSize(11);
    for (QLabel* l : {m_countLabel, m_count2Label}) {
        l->setFont(small);
        l->setAlignment(Qt::AlignCenter);
        l->setMinimumWidth(57);
        countBox->addWidget(l);
    }
    m_viewerLabel = new QLabel("Inventory Viewer", m_viewerBevel);
    QFont title("Arial");
    title.setPixelSize(23);
    title.setBold(true);
    m_viewerLabel->setFont(title);
    m_viewerLabel->setAlignment(Qt::AlignCenter);
    // The search label keeps its room while hidden so the title stays centred.
    QSizePolicy keep = m_searchOnLabel->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_searchOnLabel->setSizePolicy(keep);
    m_headerLayout->addWidget(m_searchOnLabel);
    m_headerLayout->addLayout(countBox);
    m_headerLayout->addStretch(1);
    m_headerLayout->addWidget(m_viewerLabel);
    m_headerLayout->addStretch(1);
    // As wide as the search and count labels, so the title stays centred.
    m_headerBalance = new QWidget(m_viewerBevel);
    m_headerBalance->setFixedWidth(m_searchOnLabel->minimumWidth() + 57);
    m_headerLayout->addWidget(m_headerBalance);
    viewer->addLayout(m_headerLayout);

    m_filterBox = new find::FilterBox(*this, m_viewerBevel);
    viewer->addWidget(m_filterBox);
    m_grid = new QTableView(m_viewerBevel);
    m_grid->setObjectName("ViewerGrid");
    m_model = new ItemGridModel(m_itemTable, this);
    m_grid->setModel(m_model);
    m_grid->setItemDelegate(new GridDelegate(*this, m_grid));
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(20);
    m_grid->verticalHeader()->setFixedWidth(14);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The titles keep the title font: a selected row must not embolden them.
    m_grid->horizontalHeader()->setHighlightSections(false);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_grid->setWordWrap(false);
    // The selection model lives as long as the model: one connection serves every reload.
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { FollowGridRow(current.row()); });
    connect(m_model, &ItemGridModel::EditRefused, this,
            [](const QString& message) { Ui().Message(kErrorTitle, message, common::MessageIcon::Error); });
    // An edited record takes its place in the sort order (or leaves the
    // search) once the user leaves its row, not while typing along it.
    connect(m_model, &ItemGridModel::RecordPosted, this, [this](uint32_t recno) { m_postedRecord = recno; });
    m_model->SetPostRunner([this](const std::function<void()>& post) { RecordStep("Edit", post); });
    viewer->addWidget(m_grid, 1);
    root->addWidget(m_viewerBevel, 1);

    m_help = new HelpWindow(this);
    if (auto* qtUi = dynamic_cast<common::QtUiServices*>(&Ui()))
        qtUi->SetHelpHandler([this](const QString& keyword) { m_help->ShowKeyword(keyword); });
}

void MainWindow::FillSavedSearchMenu() {
    m_savedMenu->clear();
    for (const auto& [name, text] : AppSettings().savedSearches) {
        // An "&" in a name is a letter, not a mnemonic.
        QAction* a = m_savedMenu->addAction(QString(name).replace("&", "&&"));
        connect(a, &QAction::triggered, this, [this, name = name] { Guard([this, name] { ApplySavedSearch(name); }); });
    }
    if (AppSettings().savedSearches.empty()) m_savedMenu->addAction("(none saved yet)")->setEnabled(false);
    m_savedMenu->addSeparator();
    QAction* manage = m_savedMenu->addAction("&Manage Saved Searches...");
    connect(manage, &QAction::triggered, this, [this] { Guard([this] { ManageSavedSearches(); }); });
}

void MainWindow::EditAList(common::PickList list) {
    if (!m_editor) return;
    items::PickListDialog box(*m_editor, *this, list, this);
    Ui().ShowModal(box);
}

void MainWindow::ColorMenu(int target) {
    appearance::ColorConfigDialog dialog(target, this);
    if (Ui().ShowModal(dialog) == QDialog::Accepted && (target == 1 || target == 6)) ApplyMainColors();
}

void MainWindow::PrinterSetup() {
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        Ui().Message("Notice", "No printers are defined.", common::MessageIcon::Information);
        return;
    }
    Ui().SetupPrinter(m_printer);
}

void MainWindow::ChooseScreenSize(int preset) {
    common::Settings& s = AppSettings();
    UpdateScreenChecks();
    if (preset == s.windowSize) return;
    const int presets[4] = {640, 800, 1024, 1280};
    const int heights[4] = {480, 600, 768, 1024};
    const double factors[4] = {1.0, 1.25, 1.6, 2.0};
    int index = 0;
    while (index < 4 && presets[index] != preset) ++index;
    if (index == 4) return;
    if (index > 0 && (m_screen.width() < presets[index] || m_screen.height() < heights[index])) {
        Ui().Message(kErrorTitle,
                     QString("Your current screen resolution does not support %1 x %2 pixels.")
                         .arg(presets[index])
                         .arg(heights[index]),
                     common::MessageIcon::Error);
        return;
    }
    m_screenIndex = index;
    UpdateScreenChecks();
    s.windowSize = preset;
    common::SetWindowSizeFactor(factors[index]);
}

void MainWindow::FontMenu(int which) {
    common::DisplayScheme& scheme = AppSettings().scheme;
    QFont& font = which == 1 ? scheme.labelFont : (which == 2 ? scheme.editFont : scheme.buttonFont);
    const auto chosen = Ui().ChooseFont({font, Qt::black}, false);
    if (!chosen) return;
    font.setFamily(chosen->font.family());
    font.setBold(chosen->font.bold());
    font.setItalic(chosen->font.italic());
    common::WindowLayout::ApplyFonts(*this, scheme);
}

void MainWindow::ChooseCurrencyFormat(int format) {
    AppSettings().currencyFormat = format;
    m_currencyActions[0]->setChecked(format == 1);
    m_currencyActions[1]->setChecked(format == 2);
}

void MainWindow::ChooseNumericFormat(int format) {
    AppSettings().numericFormat = format;
    m_numericActions[0]->setChecked(format == 1);
    m_numericActions[1]->setChecked(format == 2);
}

void MainWindow::ChooseDateFormat(int number) {
    common::Settings& s = AppSettings();
    for (int i = 0; i < 12; ++i) m_dateActions[size_t(i)]->setChecked(i + 1 == s.dateFormat);
    if (number == s.dateFormat || !common::DateFormats::Apply(number)) return;
    for (int i = 0; i < 12; ++i) m_dateActions[size_t(i)]->setChecked(i + 1 == number);
    s.dateFormat = number;
    m_model->Reload();
    SyncGridToTable();
}

void MainWindow::HelpContents() { Ui().OpenHelp({}); }

void MainWindow::ShowTips() { appearance::ShowTipOfDay(this); }

void MainWindow::About() {
    Ui().Message("About Halvenor Inventory",
                 "Halvenor Inventory 95\nVersion " + QString(HALVENOR_VERSION) +
                     "\n\nKeeps the inventory of a household's possessions: what each item is, where it is, "
                     "what it cost and what it is worth.",
                 common::MessageIcon::Information);
}

void MainWindow::OtherProducts() {
    Ui().Message("Other Products", "There are no other Halvenor products yet.", common::MessageIcon::Information);
}

}  // namespace shell
