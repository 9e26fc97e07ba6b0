#pragma once
// The main window: it opens the item table at start, shows its items in the
// Inventory Viewer grid with their count, and reaches every function of the
// program through one set of commands, each shared by its menu item, speed
// button and lettered button. It owns the item table, the check table and
// the create table, the search flag and the sort expression, and lends them
// to the other windows through MainContext.

#include <QMainWindow>
#include <QPrinter>
#include <array>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "AttachmentStore.h"
#include "MainContext.h"
#include "MainWindowSteps.h"
#include "RecordNavigator.h"
#include "Settings.h"

class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QTableView;
class QToolButton;
class QHBoxLayout;
class QVBoxLayout;

namespace find {
class FilterBox;
class Locator;
class SearchWindow;
}

namespace items {
class ItemEditor;
}

namespace reports {
class ReportsWindow;
}

namespace overview {
class OverviewWindow;
}

namespace shell {

class HelpWindow;
class ItemGridModel;

class MainWindow : public QMainWindow, public common::MainContext {
    Q_OBJECT

public:
    // Runs the start-up steps. screen overrides the display's size (tests).
    explicit MainWindow(std::optional<QSize> screen = std::nullopt, QWidget* parent = nullptr);
    ~MainWindow() override;

    // False when no item table could be opened or created: the program ends.
    bool Created() const { return m_created; }

    // MainContext
    QWidget* Window() override { return this; }
    store::Table& ItemTable() override { return m_itemTable; }
    store::Table& CheckTable() override { return m_checkTable; }
    attachments::AttachmentStore* Attachments() override { return &m_attachments; }
    store::Table& CreateTable() override { return m_createTable; }
    int& EditorMode() override { return m_editorMode; }
    bool SearchOn() const override { return m_searchFlag; }
    void SetSearchTest(RecordTest test) override;
    RecordTest SearchTest() const override { return m_searchTest; }
    void EnableEndSearch() override;
    void DisableEndSearch() override;
    void DoEndSearch() override;
    const std::string& SortExpression() const override { return m_sortExpression; }
    void BuildSortString() override;
    void SetViewerOptions() override;
    void DisplayCount() override;
    void RefreshGrid() override;
    QStringList& GridPickList(common::PickList list) override;

    // Window events of the start-up and close sequence.
    void PrepareToShow();
    void ShowTipsOnFirstActivation();
    void StoreOnClose();
    void SetButtonBar();

    // Commands.
    void DoOpen();
    // The table named on the program's command line (relative to the start
    // directory), opened after the same checks as a table chosen with Open;
    // a refusal leaves the table shown before.
    void OpenFromCommandLine(const QString& path);
    void DoNew();
    void OpenSaveFile(const QString& path);
    void DoLastFiles(const QString& previous, const QString& current);
    void SetMenuLastFiles();
    void DoAdd();
    void DoEdit();
    void DoCopy();
    void DoDelete();
    void DoImport();
    void DoExport();
    void DoSearch();
    void DoFind();
    void DoFindNext();
    void DoReports();
    void DoViewer();
    // Shows the Overview (made at its first use) and counts its figures.
    void DoOverview();
    void DoSortOrder();
    void DoBackup();
    void DoRestore();
    void DoSearchAndReplace();
    // Many items at once: the rows selected in the grid (the current row
    // when none is).
    void DoSelectAll();
    void DoEditSelected();
    void DoDeleteSelected();
    std::vector<uint32_t> SelectedRecords() const;
    // Saved searches: the one of that name applied, and the list of them.
    void ApplySavedSearch(const QString& name);
    void ManageSavedSearches();
    QMenu* SavedSearchMenu() const { return m_savedMenu; }
    void FillSavedSearchMenu();
    // Puts back what the last edit, delete, bulk edit or import changed.
    void DoUndo();
    QAction* UndoAction() const { return m_undoAction; }
    void PackDatabase();
    void RebuildIndexes();
    // Gives files of damaged or replaced lists back to their items.
    void RecoverAttachments();
    void PrinterSetup();
    void ChooseScreenSize(int preset);
    void ChooseAccessMode(int mode);
    void ColorMenu(int target);
    void FontMenu(int which);  // 1 label, 2 edit, 3 button
    void ChooseCurrencyFormat(int format);
    void ChooseNumericFormat(int format);
    void ChooseDateFormat(int number);
    void EditAList(common::PickList list);
    void HelpContents();
    void ShowTips();
    void About();
    void OtherProducts();

    // Runs a command; an engine error the command did not expect is shown
    // and the command abandoned.
    void Guard(const std::function<void()>& command);

    // What tests and other windows look at.
    QLabel* CountLabel() const { return m_countLabel; }
    QLabel* SearchOnLabel() const { return m_searchOnLabel; }
    QLabel* ViewerLabel() const { return m_viewerLabel; }
    QLabel* NavigatorLabel() const { return m_navigatorLabel; }
    QFrame* SpeedPanel() const { return m_speedPanel; }
    RecordNavigator* Navigator() const { return m_navigator; }
    QTableView* Grid() const { return m_grid; }
    find::FilterBox* Filter() const { return m_filterBox; }
    // Puts the keyboard in the filter box, its words selected.
    void FocusFilter();
    ItemGridModel* GridModel() const { return m_model; }
    const std::vector<QToolButton*>& SpeedButtons() const { return m_speedButtons; }
    const std::vector<QPushButton*>& LetteredButtons() const { return m_letterButtons; }
    const std::vector<QFrame*>& ButtonBevels() const { return m_bevels; }
    QAction* Action(const QString& caption) const;
    // The item editor, created once at start (null when start-up failed).
    items::ItemEditor* Editor() const { return m_editor.get(); }
    find::SearchWindow* SearchWindow() const { return m_search; }
    reports::ReportsWindow* ReportsWindow() const { return m_reports; }
    overview::OverviewWindow* Overview() const { return m_overview; }
    find::Locator* Locate() const { return m_locate.get(); }
    HelpWindow* Help() const { return m_help; }
    double Factor() const;
    QString IndexFilePath() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool OpenAtStart();
    void BuildMenus();
    void BuildBody();
    QAction* AddCommand(QMenu* menu, const QString& caption, const QKeySequence& shortcut,
                        const std::function<void()>& command);
    void ApplyMainColors();
    // False when the table could not be opened: the previous one is back.
    // A restored table has its sort tag built afresh and leaves the recent
    // files as they were.
    bool SwitchTo(const QString& path, bool restored = false);
    void SwitchEndingSearch(const QString& path);
    // Tells what the open table's engine has to say (read-only, order kept
    // in memory), once per table.
    void TellTableNotice();
    // Opens the item table shared; the sort tag is used as it is when it
    // matches the sort expression, or built afresh when asked.
    // Reads the attachments of the table just opened.
    void AttachTable();
    void OpenItemTable(bool rebuildSortTag = false);
    // What backup and restore need of this window around their copies.
    exchange::MainWindowSteps BackupSteps();
    void SyncGridToTable();
    void FollowGridRow(int row);
    void NavigatorClicked(RecordNavigator::Button button);
    void LoadGridPickLists();
    void OpenEditor(int mode);
    void SetCaptionFor(const QString& path);
    bool CheckDBaseFormat(const QString& path);
    // Open's checks and switch for a chosen file.
    void OpenChosen(const QString& path);
    void RestoreScreenSize();
    void UpdateScreenChecks();
    void CheckForConversion();
    // Pack and reindex: asks, takes the table for this program alone (or
    // shows the refusal), does the work and hands the table back shared.
    // confirmed, when given, runs after a Yes and may still end the command.
    // Runs a command that can be undone: what it changes in the item table
    // becomes the undo step named what ("Edit", "Import", ...), replacing the
    // one before; a command that changed nothing leaves that one.
    void RecordStep(const QString& what, const std::function<void()>& command);
    // Edit Selected's and Delete Selected's change as one undo step; the
    // grid and the count follow however it ends.
    void ChangeItems(const QString& what, const std::function<void()>& change);
    // Nothing to undo any more (the table was packed or another opened).
    void DropUndo();
    void RunWithSoleUse(const QString& question, const QString& refusal, const std::function<void()>& work,
                        const std::function<bool()>& confirmed = {});

    bool m_created = false;
    bool m_activated = false;
    bool m_shown = false;
    store::Table m_itemTable;
    store::Table m_checkTable;
    store::Table m_createTable;
    // Follows the item table's edits: goes before the table does.
    attachments::AttachmentStore m_attachments;
    // What reading the attachments found, told once at the end of the command.
    QString m_attachmentNotice;
    int m_editorMode = 1;
    bool m_searchFlag = false;
    RecordTest m_searchTest;
    // The record the navigator's insert just added, until the user posts or
    // leaves it; cancel removes it again.
    std::optional<uint32_t> m_insertedRecord;
    std::string m_sortExpression;
    std::set<std::string> m_toldNotices;
    std::optional<uint32_t> m_postedRecord;
    std::unique_ptr<store::ChangeLog> m_undo;
    QString m_undoWhat;
    QAction* m_undoAction = nullptr;
    QMenu* m_savedMenu = nullptr;  // edited in the grid, not yet put in its place
    QSize m_screen;
    int m_screenIndex = 0;  // the checked screen size: 640, 800, 1024, 1280
    std::array<QStringList, common::kPickListCount> m_gridPickLists;
    std::unique_ptr<find::Locator> m_locate;
    std::unique_ptr<items::ItemEditor> m_editor;
    find::SearchWindow* m_search = nullptr;  // created once, shown for every search
    reports::ReportsWindow* m_reports = nullptr;  // created once, shown by Reports
    overview::OverviewWindow* m_overview = nullptr;  // created at its first use, then kept
    QPrinter m_printer;
    HelpWindow* m_help = nullptr;

    // Controls.
    QWidget* m_topBar = nullptr;
    QFrame* m_speedPanel = nullptr;
    QWidget* m_letterBox = nullptr;
    QWidget* m_navBox = nullptr;
    QVBoxLayout* m_navBoxLayout = nullptr;
    QHBoxLayout* m_topLayout = nullptr;
    QHBoxLayout* m_headerLayout = nullptr;
    QWidget* m_headerBalance = nullptr;
    std::vector<QToolButton*> m_speedButtons;
    std::vector<QPushButton*> m_letterButtons;
    std::vector<QFrame*> m_bevels;
    QLabel* m_navigatorLabel = nullptr;
    RecordNavigator* m_navigator = nullptr;
    QFrame* m_viewerBevel = nullptr;
    QLabel* m_viewerLabel = nullptr;
    QLabel* m_searchOnLabel = nullptr;
    QLabel* m_countLabel = nullptr;
    QLabel* m_count2Label = nullptr;
    QTableView* m_grid = nullptr;
    find::FilterBox* m_filterBox = nullptr;
    ItemGridModel* m_model = nullptr;
    QPushButton* m_endSearchButton = nullptr;
    QToolButton* m_endSearchSpeed = nullptr;

    // Menu items with check marks or that come and go.
    std::vector<std::pair<QString, QAction*>> m_actions;
    QAction* m_endSearchAction = nullptr;
    std::array<QAction*, 4> m_screenActions{};
    std::array<QAction*, 3> m_accessActions{};
    std::array<QAction*, 2> m_currencyActions{};
    std::array<QAction*, 2> m_numericActions{};
    std::array<QAction*, 12> m_dateActions{};
    std::array<QAction*, common::kRecentFileCount> m_recentActions{};
    QAction* m_recentSeparator = nullptr;
};

}  // namespace shell
