#include "MainWindow.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "AppPaths.h"
#include "BackupRestore.h"
#include "ColorGroup.h"
#include "DateFormats.h"
#include "GridDelegate.h"
#include "HelpWindow.h"
#include "ItemEditor.h"
#include "ItemGridModel.h"
#include "ItemTable.h"
#include "LegacyConversion.h"
#include "FilterBox.h"
#include "Locator.h"
#include "PickListFile.h"
#include "ReportStartup.h"
#include "ReportsWindow.h"
#include "SearchWindow.h"
#include "Settings.h"
#include "SortExpression.h"
#include "OverviewWindow.h"
#include "TipOfDay.h"
#include "UiServices.h"
#include "WindowLayout.h"

namespace shell {
namespace {

using common::AppSettings;
using common::Ui;

const QString kCaption = "Halvenor Inventory 95";
const QString kErrorTitle = "Error";

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
    if (AppSettings().warrantyNotice && m_itemTable.IsOpen()) {
        size_t ending = 0;
        Guard([&] { ending = overview::WarrantiesEndingWithin(m_itemTable, 30); });
        if (ending > 0) Ui().Message("Warranties", overview::WarrantyNotice(ending, 30), common::MessageIcon::Information);
    }
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
        m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
        m_grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    } else {
        m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
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
    // Another program changed the table: the menu stops offering an undo.
    if (m_undo && m_itemTable.ForeignChanges() != m_undo->ForeignMark()) DropUndo();
    m_model->Reload();
    SyncGridToTable();
    // The filter box's words are looked for again in what changed.
    if (m_filterBox->Active()) m_filterBox->Refilter();
    // An open Overview follows what the grid shows.
    if (m_overview && m_overview->isVisible()) m_overview->Refresh();
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

void MainWindow::FocusFilter() {
    m_filterBox->setFocus(Qt::ShortcutFocusReason);
    m_filterBox->selectAll();
}

void MainWindow::DisplayCount() {
    if (!m_itemTable.IsOpen()) m_countLabel->setText("0");
    else if (m_filterBox->Active() && m_itemTable.ChosenRecords())
        m_countLabel->setText(QString("%1 of %2").arg(m_itemTable.RecordCount()).arg(m_filterBox->Among()));
    else m_countLabel->setText(QString::number(m_itemTable.RecordCount()));
    // Every command ends here: a table that went read-only on the way
    // says so now, once.
    TellTableNotice();
}

}  // namespace shell
