// The export, import format and import dialogs against a real main window:
// what they show on opening, the list and grid behaviours, what reaches the
// settings, the messages, the search ended and switched on again, the
// commands of the main window, and a run stopped from the dialog.

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "ExchangeTestSupport.h"
#include "ScriptedUiServices.h"
#include "Settings.h"
#include "BackupDialog.h"
#include "ImportFormatDialog.h"
#include "RestoreDialog.h"
#include "MainWindow.h"
#include "WindowCases.h"
#include "ExportChoices.h"
#include "ExportDialog.h"
#include "ExchangeFeedback.h"
#include "AttachmentStore.h"
#include "ItemTable.h"
#include "ImportDialog.h"
#include "SheetImportDialog.h"
#include "Workbook.h"
#include <QComboBox>
#include <QListWidget>

using common::AppSettings;
using common::Answer;
using common::ScriptedUiServices;
using exchange::ImportFormatDialog;
using exchange::ExportDialog;
using exchange::ImportDialog;
using exchange::SheetImportDialog;
using namespace exchangetest;

namespace {

const QString kTextFilter = "Ascii Delimited Text (*.TXT)|*.TXT";

QStringList ListColumn(const QTableWidget& list, int column) {
    QStringList out;
    for (int row = 0; row < list.rowCount(); ++row) out << (list.item(row, column) ? list.item(row, column)->text() : "");
    return out;
}

template <class D>
D& As(QDialog& d) {
    return static_cast<D&>(d);
}

}  // namespace

class ExchangeDialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<shell::MainWindow> m_main;
    std::unique_ptr<ScriptedUiServices> m_ui;

    store::Table& Items() { return m_main->ItemTable(); }
    QString Path(const QString& name) const { return m_home.filePath(name); }

    void Search(const QString& brand) {
        const int f = Items().NeedField("Brand");
        const std::string wanted = brand.toStdString();
        m_main->SetSearchTest([f, wanted](const store::RecordView& v) { return v.Text(f) == wanted; });
        m_main->EnableEndSearch();
        m_main->RefreshGrid();
    }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
        ScriptedUiServices quiet;
        quiet.AllowBeeps(true);
        m_main = std::make_unique<shell::MainWindow>(QSize(1024, 768));
        QVERIFY(m_main->Created());
    }

    void init() {
        AppSettings() = common::Settings();
        if (m_main->SearchOn()) m_main->DoEndSearch();
        while (Items().RecordCount() > 0) {
            Items().First();
            Items().Delete();
        }
        m_main->SetViewerOptions();
        m_ui = std::make_unique<ScriptedUiServices>();
    }

    void cleanup() {
        HALVENOR_VERIFY_UI(*m_ui);
        m_ui.reset();
    }

    void cleanupTestCase() { m_main.reset(); }

    // Every control where it stood when the windows were last looked at.
    void windowsKeepTheirLayout() {
        bool notComparable = false;
        const QString differences = window_cases::CompareLayouts(*m_main, "exchange", &notComparable);
        if (notComparable) QSKIP(qPrintable(differences));
        QVERIFY2(differences.isEmpty(), qPrintable(differences));
    }

    // Every window of export, import, backup and restore as a user sees it at the smallest and the
    // largest size: no text cut off, no control lying on another.
    void windowsShowEveryControlWhole() {
        for (double factor : {1.0, 2.0}) {
            const QStringList faults = window_cases::FolderFaults(*m_main, "exchange", factor);
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
        }
    }

    // The headings of export, backup and restore take the title colours of
    // the configuration windows' scheme; the folder to back up to is chosen,
    // never typed.
    void headingsTakeTheSchemesTitleColours() {
        common::ColorGroup& g = AppSettings().scheme.Group(common::WindowGroup::Configure);
        g[common::ColorSlot::MajorTitle] = QColor(0x80, 0x00, 0x20);
        g[common::ColorSlot::MinorTitle] = QColor(0x00, 0x60, 0x30);
        auto colour = [](QLabel* l) { return l->palette().color(QPalette::WindowText).name(); };

        ExportDialog exporting(*m_main);
        exporting.show();
        for (QLabel* l : {exporting.FieldLabel, exporting.OrderingLabel, exporting.NotesTitle, exporting.WhatLabel,
                          exporting.HowLabel, exporting.ProgressLabel})
            QCOMPARE(colour(l), QString("#006030"));

        exchange::BackupDialog backup(*m_main, {});
        backup.show();
        QCOMPARE(colour(backup.WhatLabel), QString("#800020"));
        QCOMPARE(colour(backup.WhereLabel), QString("#800020"));
        QVERIFY(backup.FolderEdit->isReadOnly());
        exchange::RestoreDialog restore(*m_main, {});
        restore.show();
        QCOMPARE(colour(restore.WhatLabel), QString("#800020"));
    }

    // ---------------------------------------------------------------- export

    void exportDialogShowsTheSettings() {
        common::Settings& s = AppSettings();
        s.Field(1).exportOrder = 3;  // Item third
        s.Field(3).exportOrder = 1;  // Model first
        s.Field(11).exported = false;
        s.Field(11).title = "Price";
        s.exportFileType = 2;
        s.exportFirstRow = false;
        ExportDialog dialog(*m_main);
        const QStringList titles = ListColumn(*dialog.FieldList, 0);
        QCOMPARE(titles.mid(0, 3), QStringList({"Model", "Brand", "Item"}));
        QCOMPARE(titles[10], QString("Price"));
        QCOMPARE(ListColumn(*dialog.FieldList, 1)[10], QString("No"));
        QCOMPARE(ListColumn(*dialog.FieldList, 1).count("Yes"), 21);
        QVERIFY(dialog.DbfOption->isChecked());
        QVERIFY(dialog.FirstRowCheck->isHidden());
        QVERIFY(!dialog.FirstRowCheck->isChecked());
        QVERIFY(dialog.EntireOption->isChecked());
        QVERIFY(!dialog.SearchOption->isEnabled());
        // Choosing text shows the check box; the setting is untouched by it.
        dialog.TextOption->setChecked(true);
        dialog.ChooseTextFile();
        QVERIFY(!dialog.FirstRowCheck->isHidden());
        QCOMPARE(AppSettings().exportFirstRow, false);
        dialog.FirstRowCheck->setChecked(true);
        dialog.StoreFirstRowChoice();
        QCOMPARE(AppSettings().exportFirstRow, true);
    }

    // A workbook: its own file type, a name of another kind refused, the
    // titles always written, the choice kept beside the file type other
    // programs read.
    void exportWritesAWorkbook() {
        AppSettings().exportFileType = 2;
        AppSettings().exportFirstRow = false;
        ExportDialog dialog(*m_main);
        dialog.WorkbookOption->setChecked(true);
        dialog.ChooseWorkbookFile();
        QVERIFY(dialog.FirstRowCheck->isHidden());
        m_ui->ExpectSaveFile("Export Data", Path("items.txt"));
        m_ui->ExpectMessage("Error", "Invalid file type selected.");
        dialog.StartExport();
        QCOMPARE(m_ui->Calls()[0].text, QString("Workbook (*.XLSX)|*.XLSX"));
        m_ui->ExpectSaveFile("Export Data", Path("items.xlsx"));
        m_ui->ExpectMessage("Ok", "Export Complete.");
        dialog.StartExport();
        exchange::WorkbookReader reader;
        std::string error;
        QVERIFY2(reader.Open(Path("items.xlsx").toStdString(), {}, &error), error.c_str());
        std::vector<exchange::SheetCell> cells;
        QCOMPARE(int(reader.Next(cells)), int(exchange::SheetRows::Status::Row));
        QCOMPARE(QString::fromStdString(cells.at(0).text), AppSettings().Field(dialog.SelectedFields().front()).title);
        int rows = 0;
        while (reader.Next(cells) == exchange::SheetRows::Status::Row) ++rows;
        QCOMPARE(rows, int(Items().RecordCount()));
        QCOMPARE(AppSettings().exportFileType, 2);
        QVERIFY(AppSettings().exportWorkbook);
        ExportDialog again(*m_main);
        QVERIFY(again.WorkbookOption->isChecked());
    }

    // The export list's rows: a field's own place first; the others, and a
    // place out of range or already taken, fill the free rows in field order.
    void exportRowsFollowTheirPlaces() {
        common::Settings s;
        for (int p = 1; p <= store::kItemFieldCount; ++p) s.Field(p).exportOrder = 0;
        auto positions = [&s] {
            QList<int> out;
            for (const exchange::ExportRow& r : exchange::ExportRows(s)) out << r.position;
            return out;
        };
        QList<int> inOrder;
        for (int p = 1; p <= store::kItemFieldCount; ++p) inOrder << p;
        QCOMPARE(positions(), inOrder);
        s.Field(1).exportOrder = 22;
        s.Field(5).exportOrder = 1;
        s.Field(22).exportOrder = 1;  // taken by Location
        s.Field(7).exportOrder = 23;
        s.Field(8).exportOrder = -4;
        s.Field(3).exported = false;
        QList<int> expected{5, 2, 3, 4, 6, 7, 8};
        for (int p = 9; p <= 22; ++p) expected << p;
        expected << 1;
        QCOMPARE(positions(), expected);
        QCOMPARE(exchange::ExportRows(s)[2].exported, false);
        expected.removeAll(3);
        const std::vector<int> exported = exchange::ExportedPositions(exchange::ExportRows(s));
        QCOMPARE(QList<int>(exported.begin(), exported.end()), expected);
    }

    void exportOrderPositionsThatCollideStillShowEveryField() {
        AppSettings().Field(5).exportOrder = 1;  // Location claims Item's row
        AppSettings().Field(7).exportOrder = 99;
        ExportDialog dialog(*m_main);
        QStringList titles = ListColumn(*dialog.FieldList, 0);
        QCOMPARE(titles.removeDuplicates(), 0);
        QVERIFY(!titles.contains(""));
        QCOMPARE(titles.size(), store::kItemFieldCount);
    }

    void exportListEditsReachTheSettings() {
        AppSettings().Field(2).title = AppSettings().Field(1).title;  // two fields with one title
        {
            ExportDialog dialog(*m_main);
            QTableWidget& list = *dialog.FieldList;
            list.setCurrentCell(0, 1);
            dialog.MoveFieldUp();  // nothing above row 1
            QCOMPARE(list.currentRow(), 0);
            dialog.MoveFieldDown();
            QCOMPARE(list.currentRow(), 1);
            QCOMPARE(list.currentColumn(), 1);
            list.setCurrentCell(21, 0);
            dialog.MoveFieldDown();  // nothing below the last row
            QCOMPARE(list.currentRow(), 21);
            dialog.ToggleFieldExported(3, 1);  // Serial -> No
            dialog.ToggleFieldExported(3, 0);  // title column: nothing
            dialog.ToggleFieldExported(4, 1);
            dialog.ToggleFieldExported(4, 1);  // twice: back to Yes
            dialog.DbfOption->setChecked(true);
            dialog.CloseWindow();
        }
        const common::Settings& s = AppSettings();
        QCOMPARE(s.Field(1).exportOrder, 2);
        QCOMPARE(s.Field(2).exportOrder, 1);
        QCOMPARE(s.Field(4).exported, false);
        QCOMPARE(s.Field(5).exported, true);
        QCOMPARE(s.exportFileType, 2);

        // Defaults asks first; No keeps the order, Yes puts it back.
        ExportDialog dialog(*m_main);
        m_ui->ExpectAsk("Re-Order", "This will set the order of fields to the program defaults.  Continue?", Answer::No);
        dialog.RestoreDefaultOrder();
        QCOMPARE(dialog.SelectedFields().front(), 2);
        m_ui->ExpectAsk("Re-Order", std::nullopt, Answer::Yes);
        dialog.RestoreDefaultOrder();
        std::vector<int> all;
        for (int p = 1; p <= store::kItemFieldCount; ++p) all.push_back(p);
        QCOMPARE(dialog.SelectedFields(), all);
    }

    void exportWithoutFieldsWritesNothing() {
        ExportDialog dialog(*m_main);
        for (int row = 0; row < store::kItemFieldCount; ++row) dialog.ToggleFieldExported(row, 1);
        m_ui->ExpectMessage("Error", "No fields selected for export.");
        dialog.StartExport();
        QCOMPARE(AppSettings().Field(1).exported, false);  // stored on Start
    }

    void exportsTextWithTheViewerTitles() {
        AddItems(Items(), {{{"Item", "Lamp"}, {"Cost", "12.5"}, {"Brand", "Lux"}}});
        common::Settings& s = AppSettings();
        for (int p = 1; p <= store::kItemFieldCount; ++p) s.Field(p).exported = p == 1 || p == 2 || p == 11;
        s.Field(11).title = "Price";
        s.Field(2).title = "Maker";
        s.Field(2).display = false;  // not in the grid: the stored name heads it
        ExportDialog dialog(*m_main);
        m_ui->ExpectSaveFile("Export Data", Path("lamp.txt"));
        m_ui->ExpectMessage("Ok", "Export Complete.");
        dialog.StartExport();
        QCOMPARE(ReadAll(Path("lamp.txt")), QByteArray("\"Item\",\"Brand\",\"Price\"\r\n\"Lamp\",\"Lux\",\"12.5\"\r\n"));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.ProgressBar->value(), 0);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(m_ui->Calls()[0].text, kTextFilter);
    }

    void exportAsksToCopyTheAttachmentsOfTheExportedItems() {
        AddItems(Items(), {{{"Item", "Lamp"}}, {{"Item", "Sofa"}}});
        AppSettings().exportFileType = 2;
        const QByteArray photo(3000, 'p');
        QFile f(Path("lamp.jpg"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(photo) == photo.size());
        f.close();
        attachments::AttachmentStore& store = *m_main->Attachments();
        const uint32_t sofa = Items().DeliveredRecords().back();
        store.Add(sofa, {{Path("lamp.jpg").toStdString(), attachments::Kind::Photo, "Blue"}});
        for (const Answer answer : {Answer::Cancel, Answer::No, Answer::Yes}) {
            ExportDialog dialog(*m_main);
            m_ui->ExpectSaveFile("Export Data", Path("out.dbf"));
            m_ui->ExpectAsk("Export", std::nullopt, answer);
            if (answer != Answer::Cancel) m_ui->ExpectMessage("Ok", "Export Complete.");
            dialog.StartExport();
            QCOMPARE(QFile::exists(Path("out.dbf")), answer != Answer::Cancel);
            QCOMPARE(QDir(Path("out.files")).exists(), answer == Answer::Yes);
        }
        // The copy's manifest names the item by its record in the new file.
        store::Table copy;
        store::PointAt(copy, Path("out.dbf").toStdString());
        copy.Open();
        attachments::AttachmentStore copied;
        QVERIFY(copied.Attach(copy).Empty());
        QCOMPARE(copied.CountOf(0), size_t(0));
        QCOMPARE(copied.Of(1).size(), size_t(1));
        QCOMPARE(copied.Of(1)[0].caption, std::string("Blue"));
        QFile stored(QString::fromStdString(copied.PathOf(copied.Of(1)[0])));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), photo);
    }

    void dbfExportChecksTheName() {
        AddItems(Items(), {{{"Item", "Lamp"}}});
        AppSettings().exportFileType = 2;
        ExportDialog dialog(*m_main);
        m_ui->ExpectSaveFile("Export Data", Path("wrong.txt"));
        m_ui->ExpectMessage("Error", "Invalid file type selected.");
        dialog.StartExport();
        QVERIFY(!QFile::exists(Path("wrong.txt")));
        m_ui->ExpectSaveFile("Export Data", std::nullopt);  // cancelled: nothing happens
        dialog.StartExport();
        m_ui->ExpectSaveFile("Export Data", Path("lamp.dbf"));
        m_ui->ExpectMessage("Ok", "Export Complete.");
        dialog.StartExport();
        QCOMPARE(DbfRead(Path("lamp.dbf"))["records"].toArray().size(), 1);
    }

    void entireDatabaseEndsTheSearchForTheRun() {
        AddItems(Items(), {{{"Item", "a"}, {"Brand", "X"}}, {{"Item", "b"}, {"Brand", "Y"}}, {{"Item", "c"}, {"Brand", "X"}}});
        AppSettings().exportFirstRow = false;
        for (int p = 2; p <= store::kItemFieldCount; ++p) AppSettings().Field(p).exported = false;
        Search("X");
        {
            ExportDialog dialog(*m_main);
            QVERIFY(dialog.SearchOption->isChecked());
            m_ui->ExpectSaveFile("Export Data", Path("found.txt"));
            m_ui->ExpectMessage("Ok", "Export Complete.");
            dialog.StartExport();
        }
        QCOMPARE(ReadAll(Path("found.txt")), QByteArray("\"a\"\r\n\"c\"\r\n"));
        {
            ExportDialog dialog(*m_main);
            dialog.EntireOption->setChecked(true);
            m_ui->ExpectSaveFile("Export Data", Path("all.txt"));
            m_ui->ExpectMessage("Ok", "Export Complete.");
            dialog.StartExport();
        }
        QCOMPARE(ReadAll(Path("all.txt")), QByteArray("\"a\"\r\n\"b\"\r\n\"c\"\r\n"));
        QVERIFY(m_main->SearchOn());
        QCOMPARE(Items().RecordCount(), 2u);
        QVERIFY(m_main->SearchOnLabel()->isVisibleTo(m_main.get()));
    }

    void aFailedExportSaysSoAndStays() {
        QDir(m_home.path()).mkdir("taken.txt");
        ExportDialog dialog(*m_main);
        m_ui->ExpectSaveFile("Export Data", Path("taken.txt"));
        m_ui->ExpectMessage("Error", std::nullopt);
        dialog.show();
        dialog.StartExport();
        QVERIFY(dialog.isVisible());
        QVERIFY(m_ui->Messages().last().contains("cannot be replaced"));
        QVERIFY(dialog.StartButton->isEnabled());
        QVERIFY(!dialog.CancelButton->isEnabled());
        QVERIFY(!QApplication::overrideCursor());  // the wait cursor went with the run
        QCOMPARE(dialog.ProgressBar->value(), 0);
    }

    void exportCommandShowsTheDialog() {
        AddItems(Items(), {{{"Item", "Lamp"}}});
        m_ui->ExpectModal("Export", [this](QDialog& d) {
            auto& dialog = As<ExportDialog>(d);
            m_ui->ExpectSaveFile("Export Data", Path("cmd.txt"));
            m_ui->ExpectMessage("Ok", "Export Complete.");
            dialog.StartExport();
            QVERIFY(!dialog.isVisible());
        });
        m_main->DoExport();
        QVERIFY(ReadAll(Path("cmd.txt")).contains("\"Lamp\""));
    }

    void closingTheDialogStopsARunningExport() {
        AddItems(Items(), std::vector<Item>(20, Item{{"Item", "thing"}}));
        ExportDialog dialog(*m_main);
        dialog.show();
        m_ui->ExpectSaveFile("Export Data", Path("stopped.txt"));
        bool cancelEnabled = false;
        // Runs at the run's first report, which looks at the event queue.
        QTimer::singleShot(0, &dialog, [&] {
            cancelEnabled = dialog.CancelButton->isEnabled() && !dialog.StartButton->isEnabled();
            dialog.reject();
        });
        dialog.StartExport();
        QVERIFY(cancelEnabled);
        QVERIFY(dialog.isVisible());  // the close stopped the run; the dialog stays
        QVERIFY(!QFile::exists(Path("stopped.txt")));
        QCOMPARE(QDir(m_home.path()).entryList(QDir::Files | QDir::Hidden).filter("stopped").size(), 0);
        dialog.reject();
        QVERIFY(!dialog.isVisible());
    }

    // ---------------------------------------------------------------- import

    void formatDialogRefusesWithTheReason() {
        WriteAll(Path("plain.txt"), "Item,Cost\r\n");
        AppSettings().importFileType = 2;
        ImportFormatDialog dialog(*m_main);
        QVERIFY(dialog.DbfOption->isChecked());
        m_ui->ExpectOpenFile("Import Data", Path("plain.txt"));
        m_ui->ExpectMessage("Error", "Invalid file type selected.");
        dialog.ChooseSourceFile();
        QCOMPARE(m_ui->Calls()[0].text, QString("DBase  (*.DBF)|*.DBF"));
        dialog.TextOption->setChecked(true);
        m_ui->ExpectOpenFile("Import Data", Path("plain.txt"));
        m_ui->ExpectMessage(
            "Error",
            "The file selected does not appear to be an ASCII delimited text file.  An ASCII delimited file requires "
            "a unique format of each field being surrounded by double quotes and separated by a comma.  The "
            "selected file had an unexpected end of a line most likely due to an unmatched quote.");
        dialog.ChooseSourceFile();
        // Enter chooses the file.
        dialog.show();
        m_ui->ExpectOpenFile("Import Data", std::nullopt);
        QTest::keyClick(&dialog, Qt::Key_Return);
        dialog.Cancel();
        QCOMPARE(AppSettings().importFileType, 1);
    }

    void importGridLinesUpTheFields() {
        ImportDialog dialog(*m_main, exchange::SourceKind::Text, Path("x.txt"), {"Name", "<BLANK FIELD>", "Price", "<BLANK FIELD>"});
        QTableWidget& grid = *dialog.Grid;
        QCOMPARE(grid.rowCount(), 22);
        QCOMPARE(dialog.windowTitle(), QString("Ascii Delimited Text Import"));
        QCOMPARE(ListColumn(grid, 0).first(), QString("Item"));
        QCOMPARE(ListColumn(grid, 1).mid(0, 5), QStringList({"Name", "<BLANK FIELD>", "Price", "<BLANK FIELD>", "<EMPTY>"}));
        QCOMPARE(ListColumn(grid, 2).mid(0, 5), QStringList({"Yes", "Yes", "Yes", "Yes", ""}));
        // Price down beside Cost (row 11); the item fields stay.
        grid.setCurrentCell(2, 1);
        for (int i = 0; i < 8; ++i) dialog.MoveFieldDown();
        QCOMPARE(grid.item(10, 1)->text(), QString("Price"));
        QCOMPARE(grid.item(10, 0)->text(), QString("Cost"));
        QCOMPARE(grid.currentRow(), 10);
        dialog.MoveFieldUp();
        dialog.MoveFieldDown();
        // USE toggles; an empty cell stays empty.
        dialog.ToggleFieldImported(1, 2);
        QCOMPARE(grid.item(1, 2)->text(), QString("No"));
        dialog.ToggleFieldImported(15, 2);
        QCOMPARE(grid.item(15, 2)->text(), QString());
        dialog.ToggleFieldImported(0, 1);
        QCOMPARE(grid.item(0, 1)->text(), QString("Name"));
        // Both blank fields follow the first row showing their name, whose USE is No.
        QCOMPARE(dialog.FieldMap(), std::vector<int>({1, 0, 11, 0}));
    }

    void importGridGrowsForWideSources() {
        QStringList names;
        for (int i = 1; i <= 24; ++i) names << QString("f%1").arg(i);
        ImportDialog dialog(*m_main, exchange::SourceKind::Dbase, Path("x.dbf"), names);
        QCOMPARE(dialog.Grid->rowCount(), 24);
        QCOMPARE(dialog.windowTitle(), QString("DBase File Import"));
        QCOMPARE(dialog.Grid->item(23, 0)->text(), QString());
        QVERIFY(dialog.SkipFirstCheck->isHidden());
        // Moved below the last item field, a source field is not imported.
        dialog.Grid->setCurrentCell(0, 1);
        for (int i = 0; i < 23; ++i) dialog.MoveFieldDown();
        QCOMPARE(dialog.FieldMap()[0], 0);
        QCOMPARE(dialog.FieldMap()[1], 1);
    }

    void importCommandRunsTheWholeWay() {
        WriteAll(Path("in.txt"), "\"Item\",\"Price\",\"Bought\"\r\n\"Lamp\",\"12.5\",\"3/7/1996\"\r\n\"Desk\",\"80\",\"\"\r\n");
        AppSettings().importSkipFirst = false;
        AppSettings().Field(11).title = "Price";
        m_ui->ExpectModal("Import Format", [this](QDialog& d) {
            auto& format = As<ImportFormatDialog>(d);
            m_ui->ExpectOpenFile("Import Data", Path("in.txt"));
            m_ui->ExpectModal("Ascii Delimited Text Import", [this](QDialog& i) {
                auto& import = As<ImportDialog>(i);
                QVERIFY(!import.SkipFirstCheck->isChecked());
                import.SkipFirstCheck->setChecked(true);
                import.StoreSkipFirstChoice();
                // Price beside Cost; Bought, which that moved up a row,
                // beside Purchase Date.
                import.Grid->setCurrentCell(1, 1);
                for (int k = 0; k < 9; ++k) import.MoveFieldDown();
                QCOMPARE(import.Grid->item(1, 1)->text(), QString("Bought"));
                import.Grid->setCurrentCell(1, 1);
                for (int k = 0; k < 8; ++k) import.MoveFieldDown();
                m_ui->ExpectMessage("Ok", "Import Complete.");
                import.StartImport();
                QCOMPARE(import.CountValue->text(), QString("2"));
                QVERIFY(!import.isVisible());
            });
            format.ChooseSourceFile();
            QVERIFY(!format.isVisible());  // closed with the import dialog
        });
        m_main->DoImport();
        QCOMPARE(AppSettings().importSkipFirst, true);
        QCOMPARE(Column(Items(), "Item"), QStringList({"Lamp", "Desk"}));
        QCOMPARE(Column(Items(), "Cost"), QStringList({"12.5", "80"}));
        QCOMPARE(Column(Items(), "PurchDate"), QStringList({"3/7/96", ""}));
        QCOMPARE(m_main->CountLabel()->text(), QString("2"));
        // The import is undone as one step: both items go again.
        QCOMPARE(m_main->UndoAction()->text(), QString("&Undo Import"));
        m_main->UndoAction()->trigger();
        QCOMPARE(Items().RecordCount(), 0u);
        QCOMPARE(m_main->CountLabel()->text(), QString("0"));
        QVERIFY(!m_main->UndoAction()->isEnabled());
    }

    // While a run goes on, its window's other controls are held still, the
    // first report and the last are drawn, and a click on Cancel waiting in
    // the event queue reaches the run at its next report.
    void aRunDrawsItsReportsAndTakesCancel() {
        QDialog window;
        auto* other = new QPushButton("Other", &window);
        auto* cancel = new QPushButton("Cancel", &window);
        cancel->setEnabled(false);
        std::vector<uint64_t> drawn;
        {
            exchange::RunFeedback feedback(window, cancel, [&](const exchange::Progress& p) { drawn.push_back(p.done); });
            QObject::connect(cancel, &QPushButton::clicked, &window, [&feedback] { feedback.Cancel(); });
            QVERIFY(!other->isEnabled());
            QVERIFY(cancel->isEnabled());
            const exchange::ProgressFn report = feedback.Callback();
            QVERIFY(report({0, 1, 10}));
            QMetaObject::invokeMethod(cancel, &QPushButton::click, Qt::QueuedConnection);
            QVERIFY(!report({0, 10, 10}));
            QVERIFY(drawn.size() >= 2);
            QCOMPARE(drawn.front(), uint64_t(1));
            QCOMPARE(drawn.back(), uint64_t(10));
        }
        QVERIFY(other->isEnabled());
        QVERIFY(!cancel->isEnabled());
    }

    // A spreadsheet chosen in Import Format opens its import, which runs
    // with the columns matched by their headers and closes both windows.
    void spreadsheetImportRunsTheWholeWay() {
        WriteAll(Path("sheet.csv"), "Name,Purchase Price\r\nLamp,12.5\r\nDesk,80\r\n");
        m_ui->ExpectModal("Import Format", [this](QDialog& d) {
            auto& format = As<ImportFormatDialog>(d);
            m_ui->ExpectOpenFile("Import Data", Path("sheet.csv"));
            m_ui->ExpectModal("CSV Import", [this](QDialog& i) {
                auto& import = As<SheetImportDialog>(i);
                m_ui->ExpectMessage("Ok", "Import Complete.  2 items were imported.");
                import.StartImport();
                QCOMPARE(import.ProgressBar->value(), 1000);
                QVERIFY(!import.isVisible());
            });
            format.ChooseSpreadsheet();
            QVERIFY(!format.isVisible());
        });
        m_main->DoImport();
        QCOMPARE(Column(Items(), "Item"), QStringList({"Lamp", "Desk"}));
        QCOMPARE(Column(Items(), "Cost"), QStringList({"12.5", "80"}));
    }

    void aStoppedImportKeepsItsRecordsAndTheDialog() {
        WriteAll(Path("bad.txt"), "\"Item\",\"Cost\"\r\n\"ok\",\"1\"\r\n\"bad\",\"1,5\"\r\n");
        m_ui->ExpectModal("Import Format", [this](QDialog& d) {
            m_ui->ExpectOpenFile("Import Data", Path("bad.txt"));
            m_ui->ExpectModal("Ascii Delimited Text Import", [this](QDialog& i) {
                auto& import = As<ImportDialog>(i);
                import.Grid->setCurrentCell(1, 1);
                for (int k = 0; k < 9; ++k) import.MoveFieldDown();
                m_ui->ExpectMessage("Error",
                                    "The import stopped at line 3, field 2 (Cost): \"1,5\" is not a number.  1 record "
                                    "was imported before it.");
                import.StartImport();
                QVERIFY(import.isVisible());
                QCOMPARE(import.CountValue->text(), QString("1"));
                import.CloseWindow();
            });
            As<ImportFormatDialog>(d).ChooseSourceFile();
        });
        m_main->DoImport();
        QCOMPARE(Column(Items(), "Item"), QStringList{"ok"});
        QCOMPARE(m_main->CountLabel()->text(), QString("1"));
    }

    // Lines off the format are told with the end of the import, which
    // used to say "Import Complete." alone.
    void importTellsOfLinesOffTheFormat() {
        WriteAll(Path("sheet.txt"), "\"Item\",\"Cost\"\r\n\"Lamp\",12.5\r\n\"Desk\",\"80\"\r\n");
        ImportDialog dialog(*m_main, exchange::SourceKind::Text, Path("sheet.txt"), {"Item", "Cost"});
        dialog.SkipFirstCheck->setChecked(true);
        m_ui->ExpectMessage("Ok", "Import Complete.  1 line does not follow the format (every value in double "
                                  "quotes, separated by commas, as many values as the first line), so its values may "
                                  "be in the wrong fields: line 2.");
        dialog.StartImport();
        QCOMPARE(Column(Items(), "Item"), QStringList({"Lamp", "Desk"}));
    }

    // ---------------------------------------------------------- spreadsheets

    // The third kind of source: its own file types, a file that is no
    // spreadsheet refused with the reason, the choice kept beside the file
    // type other programs read.
    void formatDialogOffersSpreadsheets() {
        WriteAll(Path("book.xlsx"), "Name,Cost\n");
        AppSettings().importFileType = 2;
        ImportFormatDialog dialog(*m_main);
        dialog.SheetOption->setChecked(true);
        m_ui->ExpectOpenFile("Import Data", Path("book.xlsx"));
        m_ui->ExpectMessage("Error", "The file \"" + Path("book.xlsx") + "\" is not a workbook (.xlsx): it is not a zip archive.");
        dialog.ChooseSourceFile();
        QCOMPARE(m_ui->Calls()[0].text, QString("Spreadsheets (*.CSV;*.XLSX)|*.CSV;*.XLSX|Text (*.TXT)|*.TXT"));
        dialog.Cancel();
        QCOMPARE(AppSettings().importFileType, 2);
        QVERIFY(AppSettings().importSpreadsheet);
        ImportFormatDialog again(*m_main);
        QVERIFY(again.SheetOption->isChecked());
        again.DbfOption->setChecked(true);
        again.Cancel();
        QVERIFY(!AppSettings().importSpreadsheet);
        QCOMPARE(AppSettings().importFileType, 2);
    }

    // Columns matched by their headers, a match changed by the user, the
    // preview as it will be stored; the problems listed and the question
    // asked before anything is written; No writes nothing, Yes the rows that
    // convert.
    void spreadsheetImportChecksBeforeItWrites() {
        WriteAll(Path("sheet.csv"), "Name;Purchase Price;Purchase Date;Colour\r\n"
                                    "Lamp;\"1.234,50\";31.03.2024;blue\r\n"
                                    "Desk;abc;2024-02-30;red\r\n");
        const uint32_t before = Items().RecordCount();
        SheetImportDialog dialog(*m_main, Path("sheet.csv"));
        QVERIFY(dialog.Readable());
        QCOMPARE(dialog.SeparatorChoice->currentText(), QString("Semicolon"));
        QCOMPARE(dialog.DecimalChoice->currentIndex(), 1);  // a comma, as the amounts say
        QCOMPARE(dialog.ColumnGrid->rowCount(), 4);
        QCOMPARE(dialog.FieldChoice(0)->currentText(), QString("Item"));
        QCOMPARE(dialog.FieldChoice(1)->currentText(), QString("Cost"));
        QCOMPARE(dialog.FieldChoice(3)->currentText(), QString("(not imported)"));
        QCOMPARE(dialog.ColumnGrid->item(1, 2)->text(), QString("1.234,50"));
        // Colour into User Defined 1.
        dialog.FieldChoice(3)->setCurrentIndex(dialog.FieldChoice(3)->findData(19));
        QCOMPARE(dialog.PreviewGrid->columnCount(), 4);
        QCOMPARE(dialog.PreviewGrid->horizontalHeaderItem(3)->text(), AppSettings().Field(19).title);
        QCOMPARE(dialog.PreviewGrid->item(0, 1)->text(), QString("1234.5"));
        QCOMPARE(dialog.PreviewGrid->item(0, 3)->text(), QString("blue"));
        QCOMPARE(dialog.PreviewGrid->item(1, 1)->text(), QString("?"));
        QCOMPARE(dialog.PreviewGrid->item(1, 1)->toolTip(), QString("\"abc\" is not an amount."));
        QCOMPARE(dialog.PreviewGrid->item(0, 1)->toolTip(), QString());
        QCOMPARE(dialog.ProblemList->count(), 2);

        m_ui->ExpectAsk("Import", "1 of 2 rows cannot be imported for the problems listed.  Import the other 1 row?",
                        Answer::No);
        dialog.StartImport();
        QCOMPARE(Items().RecordCount(), before);
        QCOMPARE(dialog.ProblemList->count(), 2);
        QCOMPARE(dialog.ProblemList->item(0)->text(),
                 QString("Row 3, column 2 (Cost): \"abc\" is not an amount."));
        QCOMPARE(dialog.SummaryLabel->text(), QString("2 rows read; 1 row with problems."));

        m_ui->ExpectAsk("Import", std::nullopt, Answer::Yes);
        m_ui->ExpectMessage("Ok", "Import Complete.  1 item was imported.  1 of 2 rows was left out for the "
                                  "problems listed.");
        dialog.StartImport();
        QCOMPARE(Items().RecordCount(), before + 1);
        QCOMPARE(Column(Items(), "UserDef1").count("blue"), 1);
        QVERIFY(!dialog.isVisible() && dialog.result() == QDialog::Accepted);
    }

    // A first row shorter than the titles shows nothing under the columns
    // it lacks; the progress bar starts empty; Help has its own page.
    void spreadsheetImportShowsAShortFirstRow() {
        WriteAll(Path("short.csv"), "Name,Cost,Room\nLamp\nDesk,2,Attic\n");
        SheetImportDialog dialog(*m_main, Path("short.csv"));
        QCOMPARE(dialog.ColumnGrid->rowCount(), 3);
        QCOMPARE(dialog.ColumnGrid->item(0, 2)->text(), QString("Lamp"));
        QCOMPARE(dialog.ColumnGrid->item(1, 2)->text(), QString());
        QCOMPARE(dialog.ColumnGrid->item(2, 2)->text(), QString());
        QCOMPARE(dialog.ProgressBar->value(), 0);
        m_ui->ExpectHelp("Spreadsheet Import");
        dialog.HelpButton->click();
    }

    // Another separator reads the file again: one column no field takes.
    void spreadsheetImportReadsAgainWithAnotherSeparator() {
        WriteAll(Path("semi.csv"), "Name;Cost\nLamp;1\n");
        SheetImportDialog dialog(*m_main, Path("semi.csv"));
        QVERIFY(dialog.StartButton->isEnabled());
        dialog.SeparatorChoice->setCurrentIndex(0);
        QCOMPARE(dialog.ColumnGrid->rowCount(), 1);
        QCOMPARE(dialog.ColumnGrid->item(0, 0)->text(), QString("Name;Cost"));
        QVERIFY(!dialog.StartButton->isEnabled());
        QCOMPARE(dialog.SummaryLabel->text(), QString("No column goes to an item field: choose one under GOES TO."));
        dialog.HeaderCheck->setChecked(false);  // the columns go to the fields in order
        QCOMPARE(dialog.ColumnGrid->item(0, 0)->text(), QString("Column 1"));
        QCOMPARE(dialog.FieldChoice(0)->currentText(), QString("Item"));
        QVERIFY(dialog.StartButton->isEnabled());
    }

    void cancelStopsARunningImport() {
        QByteArray text = "\"Item\"\r\n";
        for (int i = 0; i < 200000; ++i) text += "\"item " + QByteArray::number(i) + "\"\r\n";
        WriteAll(Path("many.txt"), text);
        ImportDialog dialog(*m_main, exchange::SourceKind::Text, Path("many.txt"), {"Item"});
        dialog.show();
        QTimer::singleShot(0, &dialog, [&] { dialog.CancelButton->click(); });
        m_ui->ExpectMessage("Notice", std::nullopt);
        dialog.StartImport();
        QVERIFY(m_ui->Messages().last().startsWith("Notice|The import was cancelled."));
        QVERIFY(dialog.isVisible());
        const uint32_t kept = Items().RecordCount();
        QVERIFY(kept > 0 && kept < 200000);
        QCOMPARE(dialog.CountValue->text(), QString::number(kept));
    }
};

QTEST_MAIN(ExchangeDialogsTest)
#include "ExchangeDialogsTest.moc"
