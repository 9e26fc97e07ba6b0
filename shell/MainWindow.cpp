#include "MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "AppPaths.h"
#include "ColorGroup.h"
#include "DateFormats.h"
#include "ExclusiveUse.h"
#include "GridDelegate.h"
#include "HelpWindow.h"
#include "ItemGridModel.h"
#include "ItemSchema.h"
#include "ItemTable.h"
#include "LegacyConversion.h"
#include "PickListFile.h"
#include "QtUiServices.h"
#include "ReportStartup.h"
#include "ReportCommands.h"
#include "ReportsWindow.h"
#include "Settings.h"
#include "SortExpression.h"
#include "ColorConfigDialog.h"
#include "ImportFormatDialog.h"
#include "BackupRestore.h"
#include "BackupDialog.h"
#include "ItemEditor.h"
#include "PickListDialog.h"
#include "ExportDialog.h"
#include "Locator.h"
#include "RestoreDialog.h"
#include "SortOrderDialog.h"
#include "SearchAndReplaceDialog.h"
#include "ViewerConfigDialog.h"
#include "SearchWindow.h"
#include "TextRules.h"
#include "TipOfDay.h"
#include "UiServices.h"
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

QString ToQ(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

MainWindow::MainWindow(std::optional<QSize> screen, QWidget* parent) : QMainWindow(parent) {
    if (screen) {
        m_screen = *screen;
    } else if (const QScreen* s = QGuiApplication::primaryScreen()) {
        m_screen = s->size();
    } else {
        m_screen = QSize(640, 480);
    }
    BuildMenus();
    BuildBody();
    m_created = OpenAtStart();
    // The item editor lives from start to exit; creating it loads the pick
    // lists into its combo boxes and the grid's lists.
    if (m_created) m_editor = std::make_unique<items::ItemEditor>(*this, this);
}

MainWindow::~MainWindow() = default;

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
    AddCommand(records, "&Import", QKeySequence("Ctrl+M"), [this] { DoImport(); });
    AddCommand(records, "E&xport", QKeySequence("Ctrl+T"), [this] { DoExport(); });

    QMenu* navigate = bar->addMenu("Navi&gate");
    AddCommand(navigate, "&Search (Query)", QKeySequence("Ctrl+S"), [this] { DoSearch(); });
    m_endSearchAction = AddCommand(navigate, "&End Search", QKeySequence("Ctrl+I"), [this] { DoEndSearch(); });
    navigate->addSeparator();
    AddCommand(navigate, "&Locate", QKeySequence("Ctrl+L"), [this] { DoFind(); });
    AddCommand(navigate, "Locate &Next", QKeySequence("Ctrl+N"), [this] { DoFindNext(); });
    navigate->addSeparator();
    AddCommand(navigate, "&Reports", QKeySequence("Ctrl+R"), [this] { DoReports(); });
    AddCommand(navigate, "&Viewer", QKeySequence("Ctrl+V"), [this] { DoViewer(); });

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
    viewer->addWidget(m_grid, 1);
    root->addWidget(m_viewerBevel, 1);

    m_help = new HelpWindow(this);
    if (auto* qtUi = dynamic_cast<common::QtUiServices*>(&Ui()))
        qtUi->SetHelpHandler([this](const QString& keyword) { m_help->ShowKeyword(keyword); });
}

// ---------------------------------------------------------------- start-up

bool MainWindow::OpenAtStart() {
    // 1. The filter stays installed; it accepts everything until a search.
    m_itemTable.SetFilter([this](const store::RecordView& record) {
        return !m_searchFlag || !m_searchTest || m_searchTest(record);
    });
    DisableEndSearch();
    // 2.
    setWindowTitle(kCaption);
    m_viewerLabel->setText("Inventory Viewer");
    // 3. Program and start directories.
    common::AppPaths::RecordStartDirectory();
    const QString programDir = common::AppPaths::DataDir();
    // A backup or restore killed midway is finished before any of its
    // files is read.
    exchange::FinishInterruptedCopies(programDir.toStdString());
    // 5.
    reports::EnsureReportDefinitionFile();
    common::LoadAppSettings();
    common::Settings& s = AppSettings();
    if (!s.loadProblem.isEmpty()) Ui().Message("Notice", s.loadProblem, common::MessageIcon::Warning);
    // 6.
    move(s.mainWindowLeft, s.mainWindowTop);
    resize(s.mainWindowWidth, s.mainWindowHeight);
    BuildSortString();
    // 7.
    if (common::DateFormats::Apply(s.dateFormat))
        for (int i = 0; i < 12; ++i) m_dateActions[size_t(i)]->setChecked(i + 1 == s.dateFormat);
    m_currencyActions[0]->setChecked(s.currencyFormat == 1);
    m_currencyActions[1]->setChecked(s.currencyFormat == 2);
    m_numericActions[0]->setChecked(s.numericFormat == 1);
    m_numericActions[1]->setChecked(s.numericFormat == 2);
    // 8. The table to open.
    QString path = s.lastDatabase;
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        path = common::AppPaths::Join(programDir, "MASTER.DBF");
        if (!QFileInfo::exists(path)) {
            try {
                if (!store::MakeNewDB(m_createTable, m_checkTable, path.toStdString(), nullptr)) return false;
            } catch (const store::EngineError&) {
                return false;
            }
        }
        s.lastDatabase = path;
    }
    // 9 and 10.
    bool valid = false;
    try {
        valid = CheckDBaseFormat(path);
    } catch (const store::EngineError& e) {
        Ui().Message(kErrorTitle, QString::fromUtf8(e.what()), common::MessageIcon::Error);
    }
    if (valid) {
        Guard([this, path] {
            store::PointAt(m_itemTable, path.toStdString());
            OpenItemTable();
            SetCaptionFor(path);
        });
    } else {
        Ui().Message(kErrorTitle,
                     "The last database used as recorded in the INI file is not a valid Halvenor Inventory 95 file.  "
                     "You will need to choose a new file.",
                     common::MessageIcon::Error);
        for (;;) {
            Guard([this] { DoOpen(); });
            bool ok = false;
            Guard([this, &ok, &s] { ok = CheckDBaseFormat(s.lastDatabase); });
            if (ok && m_itemTable.IsOpen()) break;
        }
    }
    // 11.
    SetButtonBar();
    RestoreScreenSize();
    // 12.
    reports::ReadRegionalSettings();
    reports::InstallEngineMessages();
    SetMenuLastFiles();
    CheckForConversion();
    TellTableNotice();
    // 13.
    m_locate = std::make_unique<find::Locator>(*this);
    m_reports = new reports::ReportsWindow(*this, &m_printer, this);
    m_search = new find::SearchWindow(*this, this);
    return true;
}

void MainWindow::RestoreScreenSize() {
    const int preset = AppSettings().windowSize;
    const int w = m_screen.width(), h = m_screen.height();
    int index = 0;
    if (preset == 800 && w >= 800 && h >= 600) index = 1;
    else if (preset == 1024 && w >= 1024 && h >= 768) index = 2;
    else if (preset == 1280 && w >= 1280 && h >= 1024) index = 3;
    const double factors[4] = {1.0, 1.25, 1.6, 2.0};
    common::SetWindowSizeFactor(factors[index]);
    m_screenIndex = index;
    UpdateScreenChecks();
}

void MainWindow::UpdateScreenChecks() {
    for (int i = 0; i < 4; ++i) m_screenActions[size_t(i)]->setChecked(i == m_screenIndex);
}

double MainWindow::Factor() const { return common::WindowSizeFactor(); }

void MainWindow::CheckForConversion() {
    struct Old {
        const char* file;
        const char* version;
        bool (*check)(store::Table&, const std::string&);
        void (*convert)(store::Table&, store::Table&, const std::string&);
    };
    const Old olds[2] = {{store::kVersion2File, "2.X", store::CheckDBaseFormatV2, store::ConvertV2},
                         {store::kVersion1File, "1.X", store::CheckDBaseFormatV1, store::ConvertV1}};
    for (const Old& old : olds) {
        const QString path = common::AppPaths::Join(common::AppPaths::DataDir(), old.file);
        if (!QFileInfo::exists(path) || !old.check(m_checkTable, path.toStdString())) continue;
        const QString text = QString("A database from a previous version (%1) has been detected.  Would you like to "
                                     "convert it now?  NOTE: After conversion the old file will be deleted.  You may "
                                     "wish to make a copy of \"%2\" first.")
                                 .arg(old.version, old.file);
        if (Ui().Ask("Convert", text, common::Buttons::YesNo, common::Answer::No) != common::Answer::Yes) continue;
        // The old file goes only when every record reached the item table.
        Guard([&] {
            if (!m_itemTable.IsOpen()) return;
            old.convert(m_checkTable, m_itemTable, path.toStdString());
            QFile::remove(path);
        });
        if (m_itemTable.IsOpen()) m_itemTable.Refresh();
    }
}

bool MainWindow::CheckDBaseFormat(const QString& path) {
    std::string message;
    const bool ok = store::CheckDBaseFormat(m_checkTable, path.toStdString(), &message);
    if (!ok) Ui().Message(kErrorTitle, QString::fromStdString(message), common::MessageIcon::Error);
    return ok;
}

void MainWindow::SetCaptionFor(const QString& path) {
    setWindowTitle(kCaption + " (" + ToQ(store::TableNameOf(path.toStdString())) + ")");
}

QString MainWindow::IndexFilePath() const { return ToQ(m_itemTable.IndexFilePath()); }

void MainWindow::OpenItemTable(bool rebuildSortTag) {
    m_insertedRecord.reset();  // a record number means nothing in another table
    find::OpenInSortOrder(m_itemTable, m_sortExpression, rebuildSortTag);
    m_itemTable.SetFiltered(m_searchFlag);
    m_itemTable.First();
    AttachTable();
}

void MainWindow::AttachTable() {
    // Another table, or the same one again (reopened for sole use, or after
    // a restore): its attachments are read and their links checked.
    attachments::LinkReport report;
    if (m_attachments.Attached() &&
        m_attachments.Folder() == attachments::AttachmentFolderFor(m_itemTable.DataFilePath()))
        report = m_attachments.Refresh();
    else
        report = m_attachments.Attach(m_itemTable);
    const std::string message = report.Message();
    if (!message.empty()) m_attachmentNotice = QString::fromStdString(message);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        PrepareToShow();
        QTimer::singleShot(0, this, [this] { ShowTipsOnFirstActivation(); });
    }
}

void MainWindow::PrepareToShow() {
    common::WindowLayout::ApplyFonts(*this, AppSettings().scheme);
    SetViewerOptions();
    ApplyMainColors();
    LoadGridPickLists();
    DisplayCount();
}

void MainWindow::ShowTipsOnFirstActivation() {
    if (m_activated) return;
    m_activated = true;
    if (AppSettings().showTips) appearance::ShowTipOfDay(this);
}

void MainWindow::ApplyMainColors() {
    const common::ColorGroup& g = AppSettings().scheme.Group(common::WindowGroup::Main);
    common::WindowLayout::SetBackground(*centralWidget(), g[common::ColorSlot::MainBackground]);
    // The speed buttons sit on a button-face panel, so their glyphs show
    // whatever the window's background.
    common::WindowLayout::KeepSystemColors(*m_speedPanel);
    m_speedPanel->setAutoFillBackground(true);
    for (QWidget* w : {static_cast<QWidget*>(m_viewerLabel), static_cast<QWidget*>(m_navigatorLabel)})
        common::WindowLayout::SetBackground(*w, g[common::ColorSlot::MainBackground]);
    common::WindowLayout::SetTextColor(*m_viewerLabel, g[common::ColorSlot::MajorTitle]);
    common::WindowLayout::SetTextColor(*m_navigatorLabel, g[common::ColorSlot::MinorTitle]);
    // The count sits on the same background: it takes the title colour so a
    // dark scheme does not hide it.
    common::WindowLayout::SetTextColor(*m_countLabel, g[common::ColorSlot::MinorTitle]);
    common::WindowLayout::SetTextColor(*m_count2Label, g[common::ColorSlot::MinorTitle]);
}

void MainWindow::LoadGridPickLists() {
    for (const items::PickListInfo& info : items::PickListFile::All())
        GridPickList(info.list) = items::PickListFile::Read(items::PickListFile::PathOf(info.list));
}

QStringList& MainWindow::GridPickList(common::PickList list) { return m_gridPickLists[size_t(int(list) - 1)]; }

void MainWindow::closeEvent(QCloseEvent* event) {
    StoreOnClose();
    event->accept();
}

void MainWindow::StoreOnClose() {
    m_searchFlag = false;
    common::Settings& s = AppSettings();
    s.mainWindowLeft = x();
    s.mainWindowTop = y();
    s.mainWindowWidth = width();
    s.mainWindowHeight = height();
    common::SaveAppSettings();
    m_itemTable.Close();
    if (m_help) m_help->close();
}

// ---------------------------------------------------------------- layout

void MainWindow::SetButtonBar() {
    const int mode = AppSettings().buttonBar;
    if (mode < 1 || mode > 3) return;
    for (int i = 0; i < 3; ++i) m_accessActions[size_t(i)]->setChecked(i + 1 == mode);
    // Hide before showing: for a moment both bars would count, and a window
    // grows to fit what its layout needs.
    if (mode != 1) m_speedPanel->setVisible(false);
    if (mode != 2) m_letterBox->setVisible(false);
    if (mode == 3) m_topBar->setVisible(false);
    for (QPushButton* b : m_letterButtons) b->setEnabled(mode == 2);
    for (QPushButton* b : m_letterButtons) b->setVisible(mode == 2);
    for (QFrame* f : m_bevels) f->setVisible(mode == 2);
    m_letterBox->setVisible(mode == 2);
    m_speedPanel->setVisible(mode == 1);
    m_speedPanel->setEnabled(mode == 1);
    m_navigatorLabel->setVisible(mode == 2);
    // The navigator sits in the top bar, except with no bar at all, where it
    // moves into the viewer's title row and balances the count on the left.
    if (mode == 3) {
        m_headerBalance->setVisible(false);
        m_headerLayout->addWidget(m_navigator);
    } else {
        m_navBoxLayout->addWidget(m_navigator, 0, Qt::AlignHCenter);
        m_headerBalance->setVisible(true);
        m_topBar->setVisible(true);
    }
    m_navigator->setVisible(true);
    if (m_endSearchButton) m_endSearchButton->setEnabled(mode == 2 && m_searchFlag);
}

void MainWindow::ChooseAccessMode(int mode) {
    AppSettings().buttonBar = mode;
    SetButtonBar();
}

// ---------------------------------------------------------------- grid

void MainWindow::SetViewerOptions() {
    const common::Settings& s = AppSettings();
    const common::DisplayScheme& scheme = s.scheme;
    m_grid->setTabKeyNavigation(true);
    m_grid->horizontalHeader()->setSectionsMovable(false);
    m_grid->verticalHeader()->setVisible(s.gridRowIndicator);
    m_grid->horizontalHeader()->setVisible(s.gridShowTitles);
    m_grid->setShowGrid(false);  // the delegate draws the lines the options ask for
    if (auto* d = dynamic_cast<GridDelegate*>(m_grid->itemDelegate())) d->SetLines(s.gridColumnLines, s.gridRowLines);
    if (s.gridFieldEditing) {
        m_grid->setSelectionBehavior(QAbstractItemView::SelectItems);
        m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
        m_grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    } else {
        m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
        m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
    m_model->SetEditable(s.gridFieldEditing);
    m_navigator->SetEditingAllowed(s.gridFieldEditing);

    m_grid->setFont(scheme.gridFont);
    QPalette pal = m_grid->palette();
    pal.setColor(QPalette::Base, s.gridCellColor);
    pal.setColor(QPalette::Text, scheme.gridFontColor);
    m_grid->setPalette(pal);
    m_model->SetCellLook(scheme.gridFont, scheme.gridFontColor, s.gridCellColor);
    const int a = s.gridTitleAlignment;
    if (a >= 1 && a <= 3) {
        const Qt::Alignment align = a == 1 ? Qt::AlignLeft : (a == 2 ? Qt::AlignHCenter : Qt::AlignRight);
        m_model->SetTitleAlignment(align);
        m_grid->horizontalHeader()->setDefaultAlignment(align | Qt::AlignVCenter);
    }
    QFont titleFont = scheme.gridTitleFont;
    m_grid->horizontalHeader()->setFont(titleFont);
    m_grid->horizontalHeader()->setStyleSheet(
        QString("QHeaderView::section { background-color: %1; color: %2; border: 1px solid #808080; padding: 1px; }")
            .arg(s.gridTitleBackground.name(), scheme.gridTitleFontColor.name()));

    std::vector<int> columns;
    QStringList titles;
    for (int j = 1; j <= store::kItemFieldCount; ++j) {
        int position = 1;
        for (int p = 1; p <= store::kItemFieldCount; ++p)
            if (s.Field(p).order == j) { position = p; break; }
        if (!s.Field(position).display) continue;
        columns.push_back(position);
        titles << s.Field(position).title;
    }
    m_model->SetColumns(columns, titles);
    const QFontMetrics metrics(scheme.gridFont);
    const int charWidth = std::max(1, metrics.averageCharWidth());
    for (size_t c = 0; c < columns.size(); ++c)
        m_grid->setColumnWidth(int(c), charWidth * std::clamp(s.Field(columns[c]).width, 1, 255) + 6);
    m_grid->verticalHeader()->setDefaultSectionSize(metrics.height() + 6);
    RefreshGrid();
}

void MainWindow::RefreshGrid() {
    if (m_itemTable.IsOpen()) m_itemTable.Refresh();
    m_model->Reload();
    SyncGridToTable();
}

void MainWindow::SyncGridToTable() {
    if (!m_itemTable.IsOpen() || !m_itemTable.HasCurrent()) {
        m_model->SetIndicatorRow(-1);
        return;
    }
    const int row = m_model->RowOfRecord(m_itemTable.RecNo());
    m_model->SetIndicatorRow(row);
    if (row < 0) return;
    const int column = std::max(0, m_grid->currentIndex().column());
    const QModelIndex index = m_model->index(row, std::min(column, std::max(0, m_model->columnCount() - 1)));
    if (m_grid->currentIndex().row() != row) {
        const QSignalBlocker block(m_grid->selectionModel());
        m_grid->setCurrentIndex(index);
        m_grid->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect |
                                                    (m_model->Editable() ? QItemSelectionModel::NoUpdate
                                                                         : QItemSelectionModel::Rows));
    }
    m_grid->scrollTo(index);
}

void MainWindow::FollowGridRow(int row) {
    if (row < 0 || row >= m_model->rowCount() || !m_itemTable.IsOpen()) return;
    Guard([this, row] {
        const uint32_t recno = m_model->RecordOfRow(row);
        // Leaving a new record keeps it.
        if (m_insertedRecord && *m_insertedRecord != recno) m_insertedRecord.reset();
        m_itemTable.GoTo(recno);
        m_model->SetIndicatorRow(row);
        if (m_postedRecord && *m_postedRecord != recno) {
            m_postedRecord.reset();
            QTimer::singleShot(0, this, [this] { Guard([this] { RefreshGrid(); }); });
        }
    });
}

void MainWindow::NavigatorClicked(RecordNavigator::Button button) {
    switch (button) {
    case RecordNavigator::First: m_itemTable.First(); break;
    case RecordNavigator::Prior: m_itemTable.Prior(); break;
    case RecordNavigator::Next: m_itemTable.Next(); break;
    case RecordNavigator::Last: m_itemTable.Last(); break;
    case RecordNavigator::Delete: DoDelete(); return;
    case RecordNavigator::Refresh: RefreshGrid(); DisplayCount(); return;
    case RecordNavigator::Insert: {
        if (auto* delegate = qobject_cast<GridDelegate*>(m_grid->itemDelegate())) delegate->CommitOpenEditor();
        // A new record starts as a new item does in the editor: one of it,
        // nothing paid, no warranty.
        m_itemTable.Append();
        m_itemTable.SetText("Quantity", "1");
        for (const char* money : {"Cost", "RepCost", "Value"}) m_itemTable.SetText(money, "0");
        m_itemTable.SetText("Warranty", "No");
        m_itemTable.Post();
        m_insertedRecord = m_itemTable.RecNo();
        RefreshGrid();
        DisplayCount();
        const QModelIndex index = m_grid->currentIndex();
        if (index.isValid()) {
            const QModelIndex first = index.siblingAtColumn(0);
            m_grid->setCurrentIndex(first);
            if (m_model->flags(first) & Qt::ItemIsEditable) m_grid->edit(first);
        }
        return;
    }
    case RecordNavigator::Edit:
        if (m_grid->currentIndex().isValid()) m_grid->edit(m_grid->currentIndex());
        return;
    case RecordNavigator::Post:
        if (auto* delegate = qobject_cast<GridDelegate*>(m_grid->itemDelegate())) delegate->CommitOpenEditor();
        m_insertedRecord.reset();
        m_grid->setFocus();
        return;
    case RecordNavigator::Cancel:
        if (auto* delegate = qobject_cast<GridDelegate*>(m_grid->itemDelegate())) delegate->CancelOpenEditor();
        m_grid->setFocus();
        // Cancelling right after an insert takes the new record away again.
        if (m_insertedRecord && m_model->RowOfRecord(*m_insertedRecord) >= 0) {
            const uint32_t recno = *m_insertedRecord;
            m_insertedRecord.reset();
            m_itemTable.GoTo(recno);
            m_itemTable.Delete();
            RefreshGrid();
            DisplayCount();
            return;
        }
        m_insertedRecord.reset();
        m_model->Reload();
        SyncGridToTable();
        return;
    }
    SyncGridToTable();
}

// ---------------------------------------------------------------- search state

void MainWindow::SetSearchTest(RecordTest test) { m_searchTest = std::move(test); }

void MainWindow::EnableEndSearch() {
    m_searchFlag = true;
    m_endSearchAction->setEnabled(true);
    m_endSearchButton->setEnabled(AppSettings().buttonBar == 2);
    m_endSearchSpeed->setEnabled(true);
    m_searchOnLabel->setVisible(true);
    m_itemTable.SetFiltered(true);
}

void MainWindow::DisableEndSearch() {
    m_searchFlag = false;
    m_endSearchAction->setEnabled(false);
    m_endSearchButton->setEnabled(false);
    m_endSearchSpeed->setEnabled(false);
    m_searchOnLabel->setVisible(false);
    m_itemTable.SetFiltered(false);
}

void MainWindow::DoEndSearch() {
    DisableEndSearch();
    if (m_itemTable.IsOpen()) {
        m_itemTable.Close();
        m_itemTable.Open();
    }
    SetViewerOptions();
    DisplayCount();
}

void MainWindow::BuildSortString() { m_sortExpression = find::BuildSortString(AppSettings().sortFields); }

void MainWindow::DisplayCount() {
    m_countLabel->setText(m_itemTable.IsOpen() ? QString::number(m_itemTable.RecordCount()) : QString("0"));
    // Every command ends here: a table that went read-only on the way
    // says so now, once.
    TellTableNotice();
}

// ---------------------------------------------------------------- commands

void MainWindow::Guard(const std::function<void()>& command) {
    try {
        command();
    } catch (const store::EngineError& e) {
        m_itemTable.Cancel();
        Ui().Message(kErrorTitle, QString::fromUtf8(e.what()), common::MessageIcon::Error);
    } catch (const std::exception& e) {
        m_itemTable.Cancel();
        Ui().Message(kErrorTitle, QString::fromUtf8(e.what()), common::MessageIcon::Error);
    }
}

bool MainWindow::SwitchTo(const QString& path, bool restored) {
    // All or nothing: either the new table is open and shown, or the one
    // open before is open and shown again with the caption, the last
    // database and the recent list as they were, and one message says why.
    common::Settings& s = AppSettings();
    const QString previous = s.lastDatabase;
    const QString previousCaption = windowTitle();
    const std::string previousDirectory = m_itemTable.Directory();
    const std::string previousName = m_itemTable.TableName();
    // A restore closed the previous table for its copy.
    const bool previousOpen = m_itemTable.IsOpen() || restored;
    m_itemTable.Close();
    try {
        store::PointAt(m_itemTable, path.toStdString());
        // The index file checks itself against the data file, so a tag built
        // from the current sort expression is used as it is; only a missing
        // or different one is built again. A restored file is not the one
        // the index file beside it described: its tag is built afresh.
        OpenItemTable(restored);
    } catch (const std::exception& e) {
        QString why = QString::fromUtf8(e.what());
        m_itemTable.Close();
        m_itemTable.SetDirectory(previousDirectory);
        m_itemTable.SetTableName(previousName);
        if (previousOpen) {
            try {
                OpenItemTable();
            } catch (const std::exception& again) {
                why += "  " + QString::fromUtf8(again.what());
            }
        }
        setWindowTitle(previousCaption);
        SetViewerOptions();
        Ui().Message(kErrorTitle, why, common::MessageIcon::Error);
        return false;
    }
    s.lastDatabase = path;
    SetCaptionFor(path);
    m_toldNotices.clear();  // another table: what concerns it is told anew
    SetViewerOptions();
    if (!restored) DoLastFiles(previous, path);
    return true;
}

void MainWindow::TellTableNotice() {
    if (!m_attachmentNotice.isEmpty()) {
        const QString notice = std::exchange(m_attachmentNotice, QString());
        Ui().Message("Notice", notice, common::MessageIcon::Information);
    }
    if (!m_itemTable.IsOpen() || m_itemTable.Notice().empty()) return;
    if (!m_toldNotices.insert(m_itemTable.Notice()).second) return;
    Ui().Message("Notice", QString::fromStdString(m_itemTable.Notice()), common::MessageIcon::Information);
}

// Ends a search before a switch; a switch that fails puts it back on.
void MainWindow::SwitchEndingSearch(const QString& path) {
    const bool searchWasOn = m_searchFlag;
    if (searchWasOn) DoEndSearch();
    if (!SwitchTo(path) && searchWasOn) {
        EnableEndSearch();
        RefreshGrid();
    }
}

void MainWindow::DoOpen() {
    common::FileRequest request;
    request.title = "Open Database File";
    request.filter = "Database Files (*.DBF)|*.DBF";
    request.defaultExtension = "DBF";
    request.mustExist = true;
    request.directory = QFileInfo(AppSettings().lastDatabase).absolutePath();
    const auto chosen = Ui().OpenFile(request);
    if (chosen) OpenChosen(*chosen);
    DisplayCount();
}

void MainWindow::OpenChosen(const QString& path) {
    if (!path.right(4).toUpper().endsWith(".DBF")) {
        Ui().Message(kErrorTitle, "Invalid file type selected.", common::MessageIcon::Error);
    } else if (CheckDBaseFormat(path)) {
        SwitchEndingSearch(path);
    }
}

void MainWindow::OpenFromCommandLine(const QString& path) {
    const QString absolute = QDir::cleanPath(QDir(common::AppPaths::StartDirectory()).absoluteFilePath(path));
    Guard([this, absolute] {
        if (!QFileInfo::exists(absolute)) {
            Ui().Message(kErrorTitle, "The database \"" + absolute + "\" does not exist.", common::MessageIcon::Error);
        } else if (m_itemTable.IsOpen() && QFileInfo(absolute) == QFileInfo(AppSettings().lastDatabase)) {
            return;  // the table shown already
        } else {
            OpenChosen(absolute);
        }
    });
    DisplayCount();
}

void MainWindow::DoNew() {
    common::FileRequest request;
    request.title = "New Database File";
    request.filter = "Database Files (*.DBF)|*.DBF";
    request.defaultExtension = "DBF";
    request.askOverwrite = true;
    request.directory = QFileInfo(AppSettings().lastDatabase).absolutePath();
    const auto chosen = Ui().SaveFile(request);
    if (chosen) {
        if (!chosen->right(4).toUpper().endsWith(".DBF")) {
            if (m_searchFlag) DoEndSearch();
            Ui().Message(kErrorTitle, "Invalid file type selected.", common::MessageIcon::Error);
        } else {
            std::string message;
            if (store::MakeNewDB(m_createTable, m_checkTable, chosen->toStdString(), &message)) {
                SwitchEndingSearch(*chosen);
            } else {
                if (m_searchFlag) DoEndSearch();
                if (!message.empty())
                    Ui().Message(kErrorTitle, QString::fromStdString(message), common::MessageIcon::Error);
            }
        }
    }
    DisplayCount();
}

void MainWindow::OpenSaveFile(const QString& path) {
    if (!path.isEmpty() && !QFileInfo::exists(path)) {
        Ui().Message(kErrorTitle, "The database \"" + path + "\" no longer exists.", common::MessageIcon::Error);
    } else if (CheckDBaseFormat(path)) {
        SwitchEndingSearch(path);
    }
    DisplayCount();
}

void MainWindow::DoLastFiles(const QString& previous, const QString& current) {
    auto& files = AppSettings().lastFiles;
    for (int k = 0; k < common::kRecentFileCount; ++k) {
        if (files[size_t(k)] == current) {
            for (int j = k; j + 1 < common::kRecentFileCount; ++j) files[size_t(j)] = files[size_t(j + 1)];
            files[common::kRecentFileCount - 1].clear();
            break;
        }
    }
    for (int j = common::kRecentFileCount - 1; j > 0; --j) files[size_t(j)] = files[size_t(j - 1)];
    files[0] = previous;
    SetMenuLastFiles();
}

void MainWindow::SetMenuLastFiles() {
    const auto& files = AppSettings().lastFiles;
    bool any = false;
    for (const auto& f : files) any = any || !f.isEmpty();
    m_recentSeparator->setVisible(any);
    for (int i = 0; i < common::kRecentFileCount; ++i) {
        QAction* a = m_recentActions[size_t(i)];
        const QString& f = files[size_t(i)];
        a->setText(QString("&%1   %2").arg(i + 1).arg(f));
        a->setVisible(any && !f.isEmpty());
    }
}

// The editor writes the item table itself; afterwards the count and the
// grid follow, the grid on the record last written or shown.
void MainWindow::OpenEditor(int mode) {
    m_editorMode = mode;
    if (m_editor) Ui().ShowModal(*m_editor);
    DisplayCount();
    RefreshGrid();
}

void MainWindow::DoAdd() { OpenEditor(1); }
void MainWindow::DoEdit() { OpenEditor(2); }
void MainWindow::DoCopy() { OpenEditor(3); }

void MainWindow::DoDelete() {
    const common::Answer answer =
        Ui().Ask("Confirm", "Delete this record?", common::Buttons::YesNo, common::Answer::No);
    try {
        if (answer == common::Answer::Yes) {
            m_insertedRecord.reset();
            m_itemTable.Delete();
            RefreshGrid();
        }
    } catch (...) {
        DisplayCount();
        throw;
    }
    DisplayCount();
}

// The import adds records: the grid and the count follow once it is over,
// however it ended.
void MainWindow::DoImport() {
    if (m_itemTable.IsOpen()) {
        exchange::ImportFormatDialog dialog(*this, this);
        Ui().ShowModal(dialog);
        RefreshGrid();
    }
    DisplayCount();
}

void MainWindow::DoExport() {
    if (!m_itemTable.IsOpen()) return;
    exchange::ExportDialog dialog(*this, this);
    Ui().ShowModal(dialog);
}
void MainWindow::DoSearch() {
    if (m_search) Ui().ShowModal(*m_search);
    DisplayCount();
}

void MainWindow::DoFind() {
    if (m_locate && m_locate->DoFind()) SyncGridToTable();
}

void MainWindow::DoFindNext() {
    if (m_locate && m_locate->DoFindNext()) SyncGridToTable();
}

void MainWindow::DoReports() {
    if (m_reports) Ui().ShowModal(*m_reports);
    DisplayCount();
}
void MainWindow::DoViewer() {
    appearance::ViewerConfigDialog dialog(*this);
    Ui().ShowModal(dialog);
}

void MainWindow::DoSortOrder() {
    find::SortOrderDialog dialog(*this, this);
    Ui().ShowModal(dialog);
    DisplayCount();
}
exchange::MainWindowSteps MainWindow::BackupSteps() {
    exchange::MainWindowSteps steps;
    steps.reopenShared = [this] { find::ExclusiveUse::ReopenShared(*this); };
    steps.openRestored = [this](const std::string& dataFile) { return SwitchTo(ToQ(dataFile), true); };
    // The editor holds the lists; a list that cannot be written fails the backup.
    steps.savePickLists = [this] {
        bool saved = true;
        for (const items::PickListInfo& info : items::PickListFile::All()) {
            if (!m_editor) break;
            const QString path = items::PickListFile::PathOf(info.list);
            saved = items::PickListFile::Write(path, m_editor->ListEntries(info.list)) && saved;
        }
        return saved;
    };
    steps.reloadPickLists = [this] {
        if (m_editor) m_editor->LoadAllList();
        else LoadGridPickLists();
    };
    // The report selection window lives as long as this one: its list
    // follows a restored definition file at once.
    steps.reloadReportList = [this] {
        if (m_reports) reports::FillReportList(*m_reports->ReportList);
    };
    return steps;
}

void MainWindow::DoBackup() {
    if (!m_itemTable.IsOpen()) return;
    exchange::BackupDialog dialog(*this, BackupSteps(), this);
    Ui().ShowModal(dialog);
    DisplayCount();
}

void MainWindow::DoRestore() {
    if (m_itemTable.IsOpen()) {
        exchange::RestoreDialog dialog(*this, BackupSteps(), this);
        Ui().ShowModal(dialog);
    }
    DisplayCount();
}
void MainWindow::DoSearchAndReplace() {
    find::SearchAndReplaceDialog dialog(*this, this);
    Ui().ShowModal(dialog);
    DisplayCount();
}

void MainWindow::RunWithSoleUse(const QString& question, const QString& refusal, const std::function<void()>& work,
                           const std::function<bool()>& confirmed) {
    if (Ui().Ask("Confirm", question, common::Buttons::YesNo, common::Answer::No) != common::Answer::Yes) return;
    if (confirmed && !confirmed()) return;
    try {
        find::ExclusiveUse::OpenExclusive(*this);
    } catch (const store::EngineError&) {
        find::ExclusiveUse::ReopenShared(*this);
        Ui().Message(kErrorTitle, refusal, common::MessageIcon::Error);
        return;
    }
    // A pack or rebuild that fails (a full disk) leaves the old files whole;
    // say so instead of passing over it.
    std::optional<QString> failure;
    try {
        work();
    } catch (const store::EngineError& e) {
        failure = QString::fromUtf8(e.what());
    }
    find::ExclusiveUse::ReopenShared(*this);
    if (failure) Ui().Message(kErrorTitle, *failure, common::MessageIcon::Error);
    TellTableNotice();
}

void MainWindow::PackDatabase() {
    // Photos go only with the user's word: those of the deleted items are
    // named in the question, files that belong to no item are asked about.
    const attachments::AttachmentStore::PackPreview preview =
        m_attachments.Attached() ? m_attachments.PreviewPack() : attachments::AttachmentStore::PackPreview{};
    QString question =
        "Deleted items are not permanently removed from the database until packing occurs.  Packing simply removes "
        "them to free up space.  ";
    if (preview.filesOfDeleted > 0)
        question += preview.filesOfDeleted == 1
                        ? QString("The photo or document of the deleted items is removed with them.  ")
                        : QString("The %1 photos and documents of the deleted items are removed with them.  ")
                              .arg(preview.filesOfDeleted);
    question += "Continue?";
    bool removeUnreferenced = false;
    auto askAboutLooseFiles = [&] {
        if (preview.unreferenced == 0) return true;
        const common::Answer answer = Ui().Ask(
            "Confirm",
            QString("%1 in the attachments folder \"%2\" belong%3 to no item: the list of attachments was damaged, "
                    "or a command was cut short.  Remove %4 with the pack?  Choose No to keep %4; Tools > Recover "
                    "Attachments gives files back to the items it can find.")
                .arg(preview.unreferenced == 1 ? QString("1 file") : QString("%1 files").arg(preview.unreferenced),
                     QString::fromStdString(m_attachments.Folder()), preview.unreferenced == 1 ? "s" : "",
                     preview.unreferenced == 1 ? "it" : "them"),
            common::Buttons::YesNoCancel, common::Answer::No, common::MessageIcon::Question);
        if (answer == common::Answer::Cancel || answer == common::Answer::None) return false;
        removeUnreferenced = answer == common::Answer::Yes;
        return true;
    };
    RunWithSoleUse(
        question,
        "Unable to pack table.  Packing requires exclusive use of the DBase File.  Make sure that the DBase File is "
        "not in use by another program  or that no other users are running the software or that no other copies of "
        "the software are in use.",
        [&] { attachments::PackTable(m_itemTable, &m_attachments, removeUnreferenced); }, askAboutLooseFiles);
}

void MainWindow::RecoverAttachments() {
    if (!m_attachments.Attached()) return;
    attachments::AttachmentStore::Recovery r;
    try {
        r = m_attachments.RecoverAttachments();
    } catch (const attachments::AttachmentError& e) {
        Ui().Message(kErrorTitle, QString::fromUtf8(e.what()), common::MessageIcon::Error);
        return;
    }
    QString text = r.files == 0 ? QString("No photos or documents could be given back to their items.")
                                : QString("%1 given back to %2.")
                                      .arg(r.files == 1 ? QString("1 photo or document")
                                                        : QString("%1 photos and documents").arg(r.files),
                                           r.items == 1 ? QString("1 item") : QString("%1 items").arg(r.items));
    if (r.unmatched > 0)
        text += QString("  %1 named in the kept lists of attachments %2 not in the table, or could not be told "
                        "apart from another.")
                    .arg(r.unmatched == 1 ? QString("1 item") : QString("%1 items").arg(r.unmatched),
                         r.unmatched == 1 ? "is" : "are");
    if (r.unreferenced > 0)
        text += QString("  %1 in the attachments folder still belong%2 to no item.")
                    .arg(r.unreferenced == 1 ? QString("1 file") : QString("%1 files").arg(r.unreferenced),
                         r.unreferenced == 1 ? "s" : "");
    Ui().Message("Recover Attachments", text, common::MessageIcon::Information);
}

void MainWindow::RebuildIndexes() {
    RunWithSoleUse(
        "It is possible for your index files to become corrupted.  As a result, some items may not show up in the "
        "viewer or in reports.  This will rebuild your index files correctly.  Continue?",
        "Unable to reindex table.  Reindexing requires exclusive use of the DBase File.  Make sure that the DBase "
        "File is not in use by another program  or that no other users are running the software or that no other "
        "copies of the software are in use.",
        [this] { m_itemTable.RegenerateIndexes(); });
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
