// The main window's commands on items and databases: open, new, switch,
// add, edit, copy, delete, import, export, search, reports, backup,
// restore, pack and rebuild.

#include "MainWindow.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QTableView>

#include "AppPaths.h"
#include "BackupDialog.h"
#include "BulkEdit.h"
#include "EditSelectedDialog.h"
#include "ExclusiveUse.h"
#include "OverviewWindow.h"
#include "ExportDialog.h"
#include "ImportFormatDialog.h"
#include "ItemGridModel.h"
#include "ItemEditor.h"
#include "ItemTable.h"
#include "Locator.h"
#include "PickListFile.h"
#include "ReportCommands.h"
#include "ReportsWindow.h"
#include "RestoreDialog.h"
#include "SavedSearchDialogs.h"
#include "SearchAndReplaceDialog.h"
#include "SearchWindow.h"
#include "Settings.h"
#include "SortOrderDialog.h"
#include "ViewerConfigDialog.h"

namespace shell {
namespace {

using common::AppSettings;
using common::Ui;

const QString kCaption = "Halvenor Inventory 95";
const QString kErrorTitle = "Error";

// Changes of many items are refused before their dialog on a table that
// cannot be written.
void RefuseReadOnly(const store::Table& table) {
    if (!table.Writable()) throw store::EngineError("The table " + table.TableName() + " is open read-only.");
}

QString ToQ(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

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
    DropUndo();
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
    if (m_editor) RecordStep(mode == 2 ? "Edit" : "Add", [this] { Ui().ShowModal(*m_editor); });
    DisplayCount();
    RefreshGrid();
}

void MainWindow::DoOverview() {
    if (!m_overview) {
        m_overview = new overview::OverviewWindow(
            *this,
            [this](uint32_t recno) {
                Guard([this, recno] {
                    m_itemTable.GoTo(recno);
                    SyncGridToTable();
                    DoEdit();
                });
            },
            this);
        m_overview->setWindowFlag(Qt::Window);
    }
    m_overview->show();
    m_overview->raise();
    m_overview->activateWindow();
    m_overview->Refresh();
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
            RecordStep("Delete", [this] { m_itemTable.Delete(); });
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
        RecordStep("Import", [&] { Ui().ShowModal(dialog); });
        RefreshGrid();
    }
    DisplayCount();
}

// ---------------------------------------------------------------- many items, undo

std::vector<uint32_t> MainWindow::SelectedRecords() const {
    std::vector<uint32_t> records;
    if (!m_itemTable.IsOpen()) return records;
    const int rows = m_model->rowCount();
    std::vector<uint8_t> taken(size_t(rows), 0);
    for (const QItemSelectionRange& range : m_grid->selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom() && row < rows; ++row) taken[size_t(row)] = 1;
    for (int row = 0; row < rows; ++row)
        if (taken[size_t(row)]) records.push_back(m_model->RecordOfRow(row));
    if (records.empty() && m_itemTable.HasCurrent()) records.push_back(m_itemTable.RecNo());
    return records;
}

void MainWindow::DoSelectAll() {
    if (m_model->rowCount() == 0) return;
    m_grid->selectionModel()->select(
        QItemSelection(m_model->index(0, 0), m_model->index(m_model->rowCount() - 1, m_model->columnCount() - 1)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void MainWindow::DoEditSelected() {
    if (!m_itemTable.IsOpen()) return;
    RefuseReadOnly(m_itemTable);
    const find::Selection chosen = find::Select(m_itemTable, SelectedRecords());
    if (chosen.Size() == 0) return;
    EditSelectedDialog dialog(m_itemTable, chosen.Size(), this);
    if (Ui().ShowModal(dialog) != QDialog::Accepted) return;
    ChangeItems("Edit Selected", [&] { find::SetFields(m_itemTable, chosen, dialog.Values()); });
}

void MainWindow::DoDeleteSelected() {
    if (!m_itemTable.IsOpen()) return;
    RefuseReadOnly(m_itemTable);
    const find::Selection chosen = find::Select(m_itemTable, SelectedRecords());
    if (chosen.Size() == 0) return;
    const QString question = chosen.Size() == 1 ? QString("Delete the selected item?")
                                                : QString("Delete the %L1 selected items?").arg(qulonglong(chosen.Size()));
    if (Ui().Ask("Confirm", question, common::Buttons::YesNo, common::Answer::No) != common::Answer::Yes) return;
    m_insertedRecord.reset();
    ChangeItems("Delete Selected", [&] { find::DeleteRecords(m_itemTable, chosen); });
}

void MainWindow::ChangeItems(const QString& what, const std::function<void()>& change) {
    // The grid's reload also ends the selection.
    try {
        RecordStep(what, change);
    } catch (...) {
        RefreshGrid();
        DisplayCount();
        throw;
    }
    RefreshGrid();
    DisplayCount();
}

void MainWindow::RecordStep(const QString& what, const std::function<void()>& command) {
    auto log = std::make_unique<store::ChangeLog>();
    auto keep = [&] {
        m_itemTable.SetChangeLog(nullptr);
        if (log->Empty() || !m_itemTable.IsOpen()) return;
        log->Seal(m_itemTable);
        m_undo = std::move(log);
        m_undoWhat = what;
        m_undoAction->setText("&Undo " + what);
        m_undoAction->setEnabled(true);
    };
    m_itemTable.SetChangeLog(log.get());
    try {
        command();
    } catch (...) {
        keep();
        throw;
    }
    keep();
}

void MainWindow::DropUndo() {
    m_undo.reset();
    m_undoWhat.clear();
    if (!m_undoAction) return;
    m_undoAction->setText("&Undo");
    m_undoAction->setEnabled(false);
}

void MainWindow::DoUndo() {
    if (!m_undo || !m_itemTable.IsOpen()) return;
    const std::unique_ptr<store::ChangeLog> step = std::move(m_undo);
    const QString what = m_undoWhat;
    DropUndo();
    try {
        find::Undo(m_itemTable, *step);
    } catch (const store::EngineError& e) {
        RefreshGrid();
        DisplayCount();
        Ui().Message(kErrorTitle, "Cannot undo " + what + ": " + QString::fromUtf8(e.what()), common::MessageIcon::Error);
        return;
    }
    RefreshGrid();
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

void MainWindow::ApplySavedSearch(const QString& name) {
    if (m_search) find::saved_searches::Apply(*this, *m_search, name);
    DisplayCount();
}

void MainWindow::ManageSavedSearches() {
    if (!m_search) return;
    find::SavedSearchesDialog dialog(*this, *m_search, this);
    Ui().ShowModal(dialog);
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
        [&] {
            // Record numbers change: nothing can be undone after a pack.
            DropUndo();
            attachments::PackTable(m_itemTable, &m_attachments, removeUnreferenced);
        },
        askAboutLooseFiles);
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

}  // namespace shell
