// The Backup and Restore dialogs against a real main window: their choices,
// the main window's table given back as it was (search included) after a
// backup and after every restore that does not complete, the restored
// database opened with its sort tag built afresh, and the pick lists and
// report list read again after a restore.

#include <QDate>
#include <QDir>
#include <QListWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QLabel>
#include <QtTest>

#include "AppPaths.h"
#include "AttachmentStore.h"
#include "BackupRestore.h"
#include "ExchangeTestSupport.h"
#include "FileSizeLimit.h"
#include "ItemTable.h"
#include "ScriptedUiServices.h"
#include "Settings.h"
#include "ReportCommands.h"
#include "MainWindow.h"
#include "ReportsWindow.h"
#include "BackupDialog.h"
#include "ItemEditor.h"
#include "RestoreDialog.h"
#include "TableHolder.h"

using common::AppSettings;
using common::ScriptedUiServices;
using exchange::BackupDialog;
using exchange::RestoreDialog;
using namespace exchange::messages;
using namespace exchangetest;

class BackupDialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<shell::MainWindow> m_main;
    std::unique_ptr<ScriptedUiServices> m_ui;
    QString m_master;

    store::Table& Items() { return m_main->ItemTable(); }
    QString Saved(const QString& name) const { return m_home.filePath("backup/" + name); }
    QString Data(const QString& name) const { return common::AppPaths::Join(common::AppPaths::DataDir(), name); }

    void SearchFor(const std::string& wanted) {
        const int f = Items().NeedField("Item");
        m_main->SetSearchTest([f, wanted](const store::RecordView& v) { return v.Text(f) == wanted; });
        m_main->EnableEndSearch();
        m_main->RefreshGrid();
    }

    // The table the test began with, open shared, its search on and one
    // item of three shown.
    void VerifyAsBefore() {
        QVERIFY(Items().IsOpen());
        QVERIFY(!Items().Exclusive());
        QCOMPARE(QString::fromStdString(Items().DataFilePath()), m_master);
        QCOMPARE(m_main->windowTitle(), QString("Halvenor Inventory 95 (MASTER)"));
        QVERIFY(m_main->SearchOn());
        QCOMPARE(m_main->CountLabel()->text(), QString("1"));
        QCOMPARE(QDir(common::AppPaths::DataDir()).entryList(QDir::Files | QDir::Hidden).filter(".part").size(), 0);
    }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
        QVERIFY(QDir().mkpath(m_home.filePath("backup")));
        ScriptedUiServices quiet;
        quiet.AllowBeeps(true);
        m_main = std::make_unique<shell::MainWindow>(QSize(1024, 768));
        QVERIFY(m_main->Created());
        m_master = QString::fromStdString(Items().DataFilePath());
    }

    void init() {
        m_ui = std::make_unique<ScriptedUiServices>();
        if (m_main->SearchOn()) m_main->DoEndSearch();
        if (QString::fromStdString(Items().DataFilePath()) != m_master) m_main->OpenSaveFile(m_master);
        while (Items().RecordCount() > 0) {
            Items().First();
            Items().Delete();
        }
        AddItems(Items(), {{{"Item", "Lamp"}}, {{"Item", "Chair"}}, {{"Item", "Clock"}}});
        SearchFor("Chair");
        m_main->DisplayCount();
    }

    void cleanup() {
        HALVENOR_VERIFY_UI(*m_ui);
        m_ui.reset();
    }

    void cleanupTestCase() { m_main.reset(); }

    void dialogsOfferTheirChoices() {
        BackupDialog backup(*m_main, {});
        QCOMPARE(backup.windowTitle(), QString("Backup"));
        QVERIFY(backup.DatabaseOption->isChecked());
        QCOMPARE(backup.ListsOption->text(), QString("Back Up Lists (*.LST)"));
        QCOMPARE(backup.FolderEdit->text(), common::AppPaths::StartDirectory());
        m_ui->ExpectChooseFolder("Where To Back Up To", Saved(""));
        backup.ChooseFolderButton->click();  // the button asks, as the function does
        QCOMPARE(backup.FolderEdit->text(), Saved(""));
        m_ui->ExpectChooseFolder("Where To Back Up To", std::nullopt);
        backup.ChooseFolder();
        QCOMPARE(backup.FolderEdit->text(), Saved(""));
        m_ui->ExpectHelp("Backup and Restore");
        backup.ShowHelp();

        // Each kind asks for its file; a cancelled file dialog does nothing.
        RestoreDialog restore(*m_main, {});
        QCOMPARE(restore.ReportsOption->text(), QString("Restore Report Definitions (*.URP)"));
        for (QRadioButton* option : {restore.DatabaseOption, restore.ListsOption, restore.ReportsOption}) {
            option->setChecked(true);
            m_ui->ExpectOpenFile(RestoreDialog::FileRequestFor(restore.ChosenKind()).title, std::nullopt);
            restore.StartRestore();
        }
        QStringList filters;
        for (const auto& call : m_ui->Calls())
            if (call.kind == "OpenFile") filters << call.title + ": " + call.text;
        QCOMPARE(filters, QStringList({"Restore DBF File: DBase Files (*.DBF) | *.DBF",
                                       "Restore LST Files: List Files (*.LST) | *.LST",
                                       "Restore URP File: Reports Files (*.URP) | *.URP"}));
        QCOMPARE(RestoreDialog::FileRequestFor(exchange::CopyKind::Reports).fileName, QString("KELDOR.URP"));
        VerifyAsBefore();
    }

    // Refused for another holder, refused for want of room, then done: each
    // time the table comes back as it was, its search on again.
    void databaseBackupGivesTheTableBack() {
        m_ui->ExpectModal("Backup", [this](QDialog& d) {
            auto& dialog = static_cast<BackupDialog&>(d);
            dialog.FolderEdit->setText(Saved(""));
            {
                const testsupport::TableHolder other(m_master.toStdString());
                m_ui->ExpectMessage("Error", kBackupInUse);
                dialog.StartBackup();
            }
            VerifyAsBefore();
            dialog.SetFreeSpace([](const std::string&) { return std::optional<uint64_t>(0); });
            m_ui->ExpectMessage("Error", kBackupNoRoom);
            dialog.StartBackup();
            VerifyAsBefore();
            QVERIFY(!QFile::exists(Saved("MASTER.DBF")));
            dialog.SetFreeSpace({});
            m_ui->ExpectMessage("Notice", "Backup completed successfully.");
            dialog.StartBackup();
            QVERIFY(dialog.isVisible());
            QCOMPARE(dialog.CancelButton->text(), QString("&Close"));
            QVERIFY(dialog.CancelButton->isEnabled());
        });
        m_main->DoBackup();
        VerifyAsBefore();
        QByteArray table = ReadAll(m_master);
        table[28] = 0;  // the copy goes without its index file
        QCOMPARE(ReadAll(Saved("MASTER.DBF")), table);
    }

    void listsBackupSavesTheEditorsListsFirst() {
        m_main->Editor()->SetListEntries(common::PickList::Brand, {"Acme", "Zeta"});
        m_ui->ExpectModal("Backup", [this](QDialog& d) {
            auto& dialog = static_cast<BackupDialog&>(d);
            dialog.FolderEdit->setText(Saved(""));
            dialog.ListsOption->setChecked(true);
            m_ui->ExpectMessage("Notice", "Backup completed successfully.");
            dialog.StartBackup();
        });
        m_main->DoBackup();
        QCOMPARE(ReadAll(Saved("BRAND.LST")), QByteArray("Acme\r\nZeta\r\n"));

        // Lists the editor could not write are not backed up from the old files.
        exchange::MainWindowSteps failing;
        failing.savePickLists = [] { return false; };
        BackupDialog refused(*m_main, failing);
        refused.FolderEdit->setText(m_home.filePath("elsewhere"));
        QVERIFY(QDir().mkpath(m_home.filePath("elsewhere")));
        refused.ListsOption->setChecked(true);
        m_ui->ExpectMessage("Error", "An error occurred during backup.  Backup not completed.");
        refused.StartBackup();
        QVERIFY(QDir(m_home.filePath("elsewhere")).isEmpty());
    }

    void restoreOpensTheCopyWithItsSortTagBuiltAfresh() {
        store::Table other;
        CreateItemTable(other, m_home.filePath("backup"), "OTHER");
        AddItems(other, {{{"Item", "Vase"}}, {{"Item", "Bed"}}, {{"Item", "Desk"}}});
        other.AddIndex("NewIndex", "UPPER(Serial)");  // a tag that is not the sort order
        other.Close();
        QFile::remove(Saved("OTHER.MDX"));
        AppSettings().sortFields = {1, 0, 0, 0};
        m_main->BuildSortString();
        // An older table of that name whose index file holds the sort tag:
        // it describes the records the restore replaces.
        CreateItemTable(other, common::AppPaths::DataDir(), "OTHER");
        AddItems(other, {{{"Item", "Anvil"}}, {{"Item", "Zither"}}});
        other.AddIndex("NewIndex", m_main->SortExpression());
        other.Close();
        m_ui->ExpectModal("Restore", [this](QDialog& d) {
            auto& dialog = static_cast<RestoreDialog&>(d);
            m_ui->ExpectOpenFile("Restore DBF File", Saved("OTHER.DBF"));
            m_ui->ExpectMessage("Notice", "Restore completed successfully.");
            dialog.StartRestore();
            QCOMPARE(dialog.CancelButton->text(), QString("&Close"));
        });
        m_main->DoRestore();
        QCOMPARE(m_main->windowTitle(), QString("Halvenor Inventory 95 (OTHER)"));
        QCOMPARE(AppSettings().lastDatabase, Data("OTHER.DBF"));
        QVERIFY(!m_main->SearchOn());
        QCOMPARE(Items().ActiveIndex(), std::string("NewIndex"));
        QCOMPARE(Items().IndexExpression("NewIndex"), m_main->SortExpression());
        QCOMPARE(Column(Items(), "Item"), QStringList({"Bed", "Desk", "Vase"}));
        QCOMPARE(m_main->CountLabel()->text(), QString("3"));
        AppSettings().sortFields = {0, 0, 0, 0};
        m_main->BuildSortString();
    }

    // Another holder, a write refused halfway, and a cancel: the previous
    // table stays open as it was, with its search.
    void aRestoreThatDoesNotCompleteChangesNothing() {
        const QByteArray before = ReadAll(m_master);
        store::Table copy;
        CreateItemTable(copy, m_home.filePath("backup"), "MASTER");
        AddItems(copy, std::vector<Item>(4000, Item{{"Item", "thing"}, {"Descriptio", std::string(60, 'x')}}));
        copy.Close();
        m_ui->ExpectModal("Restore", [this](QDialog& d) {
            auto& dialog = static_cast<RestoreDialog&>(d);
            {
                const testsupport::TableHolder other(m_master.toStdString());
                m_ui->ExpectOpenFile("Restore DBF File", Saved("MASTER.DBF"));
                m_ui->ExpectMessage("Halvenor Inventory", kRestoreInUse);
                dialog.StartRestore();
            }
            VerifyAsBefore();
            {
                const testsupport::FileSizeLimit limit(1 << 20);
                m_ui->ExpectOpenFile("Restore DBF File", Saved("MASTER.DBF"));
                m_ui->ExpectMessage("Error", kRestoreFailed);
                dialog.StartRestore();
            }
            VerifyAsBefore();
            m_ui->ExpectOpenFile("Restore DBF File", Saved("MASTER.DBF"));
            QTimer::singleShot(0, &dialog, [&dialog] { dialog.reject(); });
            dialog.StartRestore();
            QVERIFY(dialog.isVisible());
            QCOMPARE(dialog.CancelButton->text(), QString("&Cancel"));
        });
        m_main->DoRestore();
        VerifyAsBefore();
        QCOMPARE(ReadAll(m_master), before);
    }

    void restoredListsAndDefinitionsAreReadAgain() {
        for (const char* name : exchange::kListFileNames)
            WriteAll(Saved(name), QByteArray("restored ") + name + "\r\n");
        QFile::remove(Saved("CATEGORY.LST"));
        m_ui->ExpectModal("Restore", [this](QDialog& d) {
            auto& dialog = static_cast<RestoreDialog&>(d);
            dialog.ListsOption->setChecked(true);
            m_ui->ExpectOpenFile("Restore LST Files", Saved("OWNER.LST"));
            m_ui->ExpectMessage("Warning", ListMissing("CATEGORY.LST").c_str());
            m_ui->ExpectMessage("Notice", kListsMissing);
            dialog.StartRestore();
        });
        m_main->DoRestore();
        QCOMPARE(m_main->Editor()->ListEntries(common::PickList::Owner), QStringList{"restored OWNER.LST"});
        QCOMPARE(m_main->GridPickList(common::PickList::Brand), QStringList{"restored BRAND.LST"});

        // The report window's list follows the restored definitions at once.
        const QByteArray definitions = ReadAll(Data("KELDOR.URP"));
        WriteAll(Saved("KELDOR.URP"), definitions.left(2 * 20622));
        QListWidget& reportList = *m_main->ReportsWindow()->ReportList;
        reports::FillReportList(reportList);
        QCOMPARE(reportList.count(), 8);
        m_ui->ExpectModal("Restore", [this](QDialog& d) {
            auto& dialog = static_cast<RestoreDialog&>(d);
            dialog.ReportsOption->setChecked(true);
            m_ui->ExpectOpenFile("Restore URP File", Saved("OTHER.URP"));
            m_ui->ExpectMessage("Notice", "Restore completed successfully.");
            dialog.StartRestore();
        });
        m_main->DoRestore();
        QCOMPARE(reportList.count(), 2);
        WriteAll(Data("KELDOR.URP"), definitions);
    }

    // A copy of the data file alone emptied the photos folder, silently.
    void restoreOfACopyWithoutPhotosKeepsThemAndSaysWhere() {
        WriteAll(m_home.filePath("lamp.jpg"), "lamp photo");
        m_main->Attachments()->Add(0, {{m_home.filePath("lamp.jpg").toStdString(), attachments::Kind::Photo, {}}});
        const QString stored = QString::fromStdString(m_main->Attachments()->Of(0)[0].stored);
        store::Table copy;  // made by hand: the chair, no lamp
        CreateItemTable(copy, m_home.filePath("backup"), "MASTER");
        AddItems(copy, {{{"Item", "Chair"}}});
        copy.Close();
        const QString kept = Data("MASTER.files/replaced-" + QDate::currentDate().toString("yyyy-MM-dd"));
        m_ui->ExpectModal("Restore", [&](QDialog& d) {
            auto& dialog = static_cast<RestoreDialog&>(d);
            m_ui->ExpectOpenFile("Restore DBF File", Saved("MASTER.DBF"));
            m_ui->ExpectMessage("Notice", "Restore completed successfully.  The attachments that the restored items do "
                                          "not name were kept in \"" + kept + "\".");
            dialog.StartRestore();
        });
        m_main->DoRestore();
        QCOMPARE(ReadAll(kept + "/" + stored), QByteArray("lamp photo"));
        QCOMPARE(Column(Items(), "Item"), QStringList({"Chair"}));
    }
};

QTEST_MAIN(BackupDialogsTest)
#include "BackupDialogsTest.moc"
