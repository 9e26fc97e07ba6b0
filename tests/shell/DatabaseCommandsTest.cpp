// Switching databases (open, new, recent list), pack and reindex, and the
// conversion of the two older data files offered at start.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include "AppPaths.h"
#include "AttachmentStore.h"
#include "ChildRun.h"
#include "ItemGridModel.h"
#include "ItemTable.h"
#include "LegacyConversion.h"
#include "ScriptedUiServices.h"
#include "Settings.h"
#include "MainWindow.h"
#include "TableHolder.h"

using common::Answer;
using common::ScriptedUiServices;
using shell::MainWindow;

namespace {

const QSize kScreen(1600, 1200);
const QString kPackQuestion =
    "Deleted items are not permanently removed from the database until packing occurs.  Packing simply removes them "
    "to free up space.  Continue?";

QString MakeTable(const QString& path, const std::vector<std::string>& items = {}) {
    store::Table create, check, t;
    if (!store::MakeNewDB(create, check, path.toStdString(), nullptr)) return {};
    store::PointAt(t, path.toStdString());
    t.Open();
    for (const auto& item : items) {
        t.Append();
        t.SetText("Item", item);
        t.SetText("Category", "Misc");
        t.Post();
    }
    return path;
}

// The same table with a numeric field where the sort order wants text: it
// passes the check (names only) and fails when the sort tag is built.
QString MakeTableWithNumericCategory(const QString& path) {
    std::vector<store::FieldDef> fields = store::ItemTableFieldDefs();
    fields[11] = store::FieldDef::Integer("Category");
    store::Table t;
    store::PointAt(t, path.toStdString());
    t.Create(fields);
    t.Open();
    t.Append();
    t.SetText("Item", "Odd one");
    t.Post();
    return path;
}

QStringList GridItems(MainWindow& w) {
    QStringList out;
    w.RefreshGrid();
    for (int r = 0; r < w.GridModel()->rowCount(); ++r) out << w.GridModel()->index(r, 0).data().toString();
    return out;
}

// An older data file: a first field of any name, then the named fields.
QString MakeOldFile(const QString& path, const QString& firstField, const std::vector<store::FieldDef>& fields) {
    std::vector<store::FieldDef> all{store::FieldDef::String(firstField.toStdString(), 5)};
    all.insert(all.end(), fields.begin(), fields.end());
    store::Table t;
    store::PointAt(t, path.toStdString());
    t.Create(all);
    return path;
}

std::vector<store::FieldDef> Version2Fields() {
    std::vector<store::FieldDef> f = store::ItemTableFieldDefs();
    f.resize(18);
    return f;
}

std::vector<store::FieldDef> Version1Fields() {
    using store::FieldDef;
    return {FieldDef::String("Item", 40),      FieldDef::String("Brand", 20),     FieldDef::String("Model", 20),
            FieldDef::String("Serial", 20),    FieldDef::String("Room", 30),      FieldDef::String("Descriptio", 110),
            FieldDef::String("BoughtFrom", 40), FieldDef::String("IDMarks", 60),  FieldDef::Integer("Quantity"),
            FieldDef::String("PurchDay", 2),   FieldDef::String("PurchMonth", 4), FieldDef::String("PurchYear", 4),
            FieldDef::Float("Cost"),           FieldDef::String("Category", 20)};
}

QString ConvertQuestion(const QString& version, const QString& file) {
    return "A database from a previous version (" + version +
           ") has been detected.  Would you like to convert it now?  NOTE: After conversion the old file will be "
           "deleted.  You may wish to make a copy of \"" + file + "\" first.";
}

}  // namespace

class DatabaseCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", m_home->filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", m_home->filePath("config").toUtf8());
        common::AppSettings() = common::Settings();
        store::SetCurrentDateFormat(store::DateFormat());
    }

    void recentListKeepsFivePreviousDatabases() {
        ScriptedUiServices ui;
        MainWindow w(kScreen);
        const QString master = common::AppSettings().lastDatabase;
        QStringList paths;
        for (const char* name : {"A.DBF", "B.DBF", "C.DBF", "D.DBF", "E.DBF", "F.DBF"})
            paths << MakeTable(m_home->filePath(name));
        auto& recent = common::AppSettings().lastFiles;

        ui.ExpectOpenFile("Open Database File", paths[0]);
        w.DoOpen();  // master -> A
        QCOMPARE(recent[0], master);
        QCOMPARE(w.windowTitle(), QString("Halvenor Inventory 95 (A)"));
        ui.ExpectOpenFile("Open Database File", paths[1]);
        w.DoOpen();  // A -> B
        QCOMPARE(recent[0], paths[0]);
        QCOMPARE(recent[1], master);
        // Opening A again puts B first and takes A out of the list.
        w.OpenSaveFile(paths[0]);
        QCOMPARE(recent[0], paths[1]);
        QCOMPARE(recent[1], master);
        QVERIFY(recent[2].isEmpty());
        // Reopening the open database puts its own path first.
        w.OpenSaveFile(paths[0]);
        QCOMPARE(recent[0], paths[0]);
        QCOMPARE(recent[1], paths[1]);
        // Six switches keep only five.
        for (int i = 1; i < 6; ++i) w.OpenSaveFile(paths[i]);
        QCOMPARE(recent[0], paths[4]);
        QCOMPARE(recent[4], paths[0]);
        QCOMPARE(w.Action("&1")->text(), "&1   " + paths[4]);
        QVERIFY(w.Action("&5")->isVisible());
        HALVENOR_VERIFY_UI(ui);
    }

    void letterCaseMakesADifferentEntryAndExtensionsAreChecked() {
        ScriptedUiServices ui;
        MainWindow w(kScreen);
        const QString lower = MakeTable(m_home->filePath("home.dbf"));
        QFile::copy(lower, m_home->filePath("HOME.dbf"));
        ui.ExpectOpenFile("Open Database File", lower);
        w.DoOpen();
        ui.ExpectOpenFile("Open Database File", m_home->filePath("HOME.dbf"));
        w.DoOpen();
        QCOMPARE(common::AppSettings().lastFiles[0], lower);
        ui.ExpectOpenFile("Open Database File", m_home->filePath("notes.dbx"));
        ui.ExpectMessage("Error", QString("Invalid file type selected."));
        w.DoOpen();
        QCOMPARE(w.windowTitle(), QString("Halvenor Inventory 95 (HOME)"));
        HALVENOR_VERIFY_UI(ui);
    }

    void newDatabaseIsCreatedAndOpened() {
        ScriptedUiServices ui;
        MainWindow w(kScreen);
        const QString path = m_home->filePath("fresh.dbf");
        ui.ExpectSaveFile("New Database File", path);
        w.DoNew();
        QVERIFY(QFile::exists(path));
        QCOMPARE(w.windowTitle(), QString("Halvenor Inventory 95 (fresh)"));
        QCOMPARE(w.ItemTable().ActiveIndex(), std::string("NewIndex"));
        HALVENOR_VERIFY_UI(ui);
    }

    void recentEntryWhoseFileIsGoneIsNamedAndKept() {
        ScriptedUiServices ui;
        MainWindow w(kScreen);
        const QString gone = MakeTable(m_home->filePath("GONE.DBF"));
        w.OpenSaveFile(gone);
        w.OpenSaveFile(common::AppSettings().lastFiles[0]);  // back to MASTER; GONE is now entry 1
        QCOMPARE(common::AppSettings().lastFiles[0], gone);
        QFile::remove(gone);
        ui.ExpectMessage("Error", "The database \"" + gone + "\" no longer exists.");
        w.Action("&1")->trigger();
        QCOMPARE(common::AppSettings().lastFiles[0], gone);
        QCOMPARE(w.windowTitle(), QString("Halvenor Inventory 95 (MASTER)"));
        HALVENOR_VERIFY_UI(ui);
    }

    void packRemovesDeletedRecordsAndKeepsTheOrder() {
        ScriptedUiServices ui;
        MainWindow w(kScreen);
        w.show();
        store::Table& t = w.ItemTable();
        for (const char* item : {"Pear", "apple", "Fig", "banana"}) {
            t.Append();
            t.SetText("Item", item);
            t.SetText("Category", "Fruit");
            t.Post();
        }
        common::AppSettings().sortFields = {12, 1, 0, 0};
        w.BuildSortString();
        w.OpenSaveFile(common::AppSettings().lastDatabase);  // rebuilds the index on the new order
        QCOMPARE(GridItems(w), (QStringList{"apple", "banana", "Fig", "Pear"}));

        ui.ExpectAsk("Confirm", kPackQuestion, Answer::No);
        w.PackDatabase();
        QCOMPARE(GridItems(w), (QStringList{"apple", "banana", "Fig", "Pear"}));

        ui.ExpectAsk("Confirm", kPackQuestion, Answer::Yes);
        w.PackDatabase();  // nothing deleted: same items, same order
        QCOMPARE(GridItems(w), (QStringList{"apple", "banana", "Fig", "Pear"}));

        t.First();
        t.Next();
        t.Delete();  // banana
        ui.ExpectAsk("Confirm", kPackQuestion, Answer::Yes);
        w.PackDatabase();
        QCOMPARE(t.PhysicalCount(), 3u);
        QCOMPARE(GridItems(w), (QStringList{"apple", "Fig", "Pear"}));
        QVERIFY(!t.Exclusive());
        HALVENOR_VERIFY_UI(ui);
    }

    // The pack removed photos without a word, and after a damaged list
    // those of items it kept.
    void packNamesThePhotosItRemovesAndAsksAboutFilesNoItemNames() {
        ScriptedUiServices ui;
        MainWindow w(kScreen);
        w.show();
        store::Table& t = w.ItemTable();
        for (const char* item : {"Sofa", "Lamp", "Clock"}) {
            t.Append();
            t.SetText("Item", item);
            t.Post();
        }
        QTemporaryDir files;
        attachments::AttachmentStore& store = *w.Attachments();
        for (uint32_t r = 0; r < 3; ++r) {
            const QString photo = files.filePath(QString("%1.jpg").arg(r));
            QFile f(photo);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("photo " + QByteArray::number(r));
            f.close();
            store.Add(r, {{photo.toStdString(), attachments::Kind::Photo, {}}});
        }
        // The lamp's line is lost from the list; the clock is deleted.
        attachments::Manifest m = store.Current();
        m.items.erase(m.items.begin() + 1);
        const QString folder = QString::fromStdString(store.Folder());
        {
            QFile f(folder + "/manifest.txt");
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray::fromStdString(attachments::WriteManifest(m)));
        }
        w.OpenSaveFile(common::AppSettings().lastDatabase);  // reads the list again
        t.GoTo(2);
        t.Delete();
        const QString question =
            "Deleted items are not permanently removed from the database until packing occurs.  Packing simply "
            "removes them to free up space.  The photo or document of the deleted items is removed with them.  "
            "Continue?";
        const QString loose = "1 file in the attachments folder \"" + folder + "\" belongs to no item: the list of "
                              "attachments was damaged, or a command was cut short.  Remove it with the pack?  Choose "
                              "No to keep it; Tools > Recover Attachments gives files back to the items it can find.";
        ui.ExpectAsk("Confirm", question, Answer::Yes);
        ui.ExpectAsk("Confirm", loose, Answer::Cancel);
        w.PackDatabase();
        QCOMPARE(t.PhysicalCount(), 3u);
        ui.ExpectAsk("Confirm", question, Answer::Yes);
        ui.ExpectAsk("Confirm", loose, Answer::No);
        w.PackDatabase();
        QCOMPARE(t.PhysicalCount(), 2u);
        const QStringList photos = QDir(folder).entryList({"*.jpg"});
        QCOMPARE(photos.size(), 2);  // the sofa's, and the lamp's that no item names
        HALVENOR_VERIFY_UI(ui);
    }

    void packAndReindexNeedTheFileToThemselves() {
        ScriptedUiServices ui;
        MainWindow w(kScreen);
        w.show();
        store::Table& t = w.ItemTable();
        t.Append();
        t.SetText("Item", "Clock");
        t.Post();
        const testsupport::TableHolder other(common::AppSettings().lastDatabase.toStdString());
        QVERIFY(other.Holding());
        ui.ExpectAsk("Confirm", kPackQuestion, Answer::Yes);
        ui.ExpectMessage("Error", QString("Unable to pack table.  Packing requires exclusive use of the DBase File.  "
                                          "Make sure that the DBase File is not in use by another program  or that no "
                                          "other users are running the software or that no other copies of the "
                                          "software are in use."));
        w.PackDatabase();
        ui.ExpectAsk("Confirm", std::nullopt, Answer::Yes);
        ui.ExpectMessage("Error", QString("Unable to reindex table.  Reindexing requires exclusive use of the DBase "
                                          "File.  Make sure that the DBase File is not in use by another program  or "
                                          "that no other users are running the software or that no other copies of "
                                          "the software are in use."));
        w.RebuildIndexes();
        QVERIFY(t.IsOpen());
        QCOMPARE(GridItems(w), QStringList{"Clock"});
        HALVENOR_VERIFY_UI(ui);
    }

    void versionOneDatesAreBuiltFromTheirParts_data() {
        QTest::addColumn<QString>("day");
        QTest::addColumn<QString>("month");
        QTest::addColumn<QString>("year");
        QTest::addColumn<QString>("text");
        QTest::newRow("month name") << "5" << "Oct" << "94" << "10/5/94";
        QTest::newRow("month number kept") << "12" << "3" << "1996" << "3/12/1996";
        QTest::newRow("name in other case is not a name") << "1" << "oct" << "90" << "oct/1/90";
        QTest::newRow("long parts are cut") << "12345" << "Decem" << "199999" << "Dece/1234/1999";
    }
    void versionOneDatesAreBuiltFromTheirParts() {
        QFETCH(QString, day);
        QFETCH(QString, month);
        QFETCH(QString, year);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(
                     store::VersionOneDateText(day.toStdString(), month.toStdString(), year.toStdString())),
                 text);
    }

    void olderFilesAreOfferedConvertedAndRemoved() {
        const QString dataDir = common::AppPaths::DataDir();
        const QString v2 = MakeOldFile(common::AppPaths::Join(dataDir, "H2LOG.DBF"), "ANYNAME", Version2Fields());
        const QString v1 = MakeOldFile(common::AppPaths::Join(dataDir, "HLOG.DBF"), "Rec", Version1Fields());
        {
            store::Table t;
            store::PointAt(t, v2.toStdString());
            t.Open();
            t.Append();
            t.SetText("Item", "Old TV");
            t.SetText("PurchDate", "2/3/91");
            t.SetText("Cost", "99.5");
            t.Post();
            store::PointAt(t, v1.toStdString());
            t.Open();
            t.Append();
            t.SetText("Item", "Older radio");
            t.SetText("Room", "Den");
            t.SetText("PurchDay", "5");
            t.SetText("PurchMonth", "Oct");
            t.SetText("PurchYear", "94");
            t.Post();
        }
        common::AppSettings().dateFormat = 12;  // the conversion builds month/day/year whatever the menu says
        {
            QDir().mkpath(common::AppPaths::ConfigDir());
            common::AppSettings().Save(common::AppPaths::SettingsFile());
        }
        ScriptedUiServices ui;
        ui.ExpectAsk("Convert", ConvertQuestion("2.X", "H2LOG.DBF"), Answer::Yes);
        ui.ExpectAsk("Convert", ConvertQuestion("1.X", "HLOG.DBF"), Answer::Yes);
        {
            MainWindow w(kScreen);
            QVERIFY(!QFile::exists(v2));
            QVERIFY(!QFile::exists(v1));
            store::Table& t = w.ItemTable();
            t.SetActiveIndex("");
            t.First();
            QCOMPARE(t.GetText("Item"), std::string("Old TV"));
            QCOMPARE(t.GetDate(t.FieldIndex("PurchDate")), std::optional<store::Date>(store::Date{1991, 2, 3}));
            QCOMPARE(t.GetText("Cost"), std::string("99.5"));
            t.Next();
            QCOMPARE(t.GetText("Item"), std::string("Older radio"));
            QCOMPARE(t.GetText("Location"), std::string("Den"));
            QCOMPARE(t.GetDate(t.FieldIndex("PurchDate")), std::optional<store::Date>(store::Date{1994, 10, 5}));
            QCOMPARE(QString::fromStdString(t.GetText("PurchDate")), QString("5.10.1994"));
            w.close();
        }
        HALVENOR_VERIFY_UI(ui);
        ScriptedUiServices quiet;  // nothing is asked at the next start
        MainWindow again(kScreen);
        HALVENOR_VERIFY_UI(quiet);
    }

    void conversionStoppedByABadDateKeepsTheOldFile() {
        const QString dataDir = common::AppPaths::DataDir();
        const QString v1 = MakeOldFile(common::AppPaths::Join(dataDir, "HLOG.DBF"), "Rec", Version1Fields());
        {
            store::Table t;
            store::PointAt(t, v1.toStdString());
            t.Open();
            for (const char* month : {"Jan", "Smr"}) {
                t.Append();
                t.SetText("Item", "thing");
                t.SetText("PurchDay", "1");
                t.SetText("PurchMonth", month);
                t.SetText("PurchYear", "90");
                t.Post();
            }
        }
        ScriptedUiServices ui;
        ui.ExpectAsk("Convert", ConvertQuestion("1.X", "HLOG.DBF"), Answer::Yes);
        ui.ExpectMessage("Error", std::nullopt);
        {
            MainWindow w(kScreen);
            QVERIFY(QFile::exists(v1));
            QVERIFY(ui.Messages().last().contains("Record 2 of HLOG.DBF"));
            QCOMPARE(w.ItemTable().RecordCount(), 1u);  // the records before it stay
        }
        HALVENOR_VERIFY_UI(ui);
    }

    void failedSwitchLeavesThePreviousTableShown() {
        ScriptedUiServices ui;
        MainWindow w(kScreen);
        w.show();
        common::AppSettings().sortFields = {12, 1, 0, 0};
        w.BuildSortString();
        const QString a = MakeTable(m_home->filePath("A.DBF"), {"Wrist Watch", "Laptop Computer", "Camera"});
        const QString b = MakeTableWithNumericCategory(m_home->filePath("B.DBF"));
        ui.ExpectOpenFile("Open Database File", a);
        w.DoOpen();
        w.SetSearchTest([](const store::RecordView& r) { return r.Text(0) != "Camera"; });
        w.EnableEndSearch();
        QCOMPARE(GridItems(w), (QStringList{"Laptop Computer", "Wrist Watch"}));
        const auto recent = common::AppSettings().lastFiles;

        ui.ExpectOpenFile("Open Database File", b);
        ui.ExpectMessage("Error", std::nullopt);
        w.DoOpen();
        // Nothing of the switch is left: table, grid, search, caption, lists.
        QCOMPARE(w.windowTitle(), QString("Halvenor Inventory 95 (A)"));
        QCOMPARE(common::AppSettings().lastDatabase, a);
        QCOMPARE(common::AppSettings().lastFiles, recent);
        QCOMPARE(QFileInfo(QString::fromStdString(w.ItemTable().DataFilePath())).fileName(), QString("A.DBF"));
        QVERIFY(w.SearchOn());
        QCOMPARE(GridItems(w), (QStringList{"Laptop Computer", "Wrist Watch"}));
        QCOMPARE(w.CountLabel()->text(), QString("2"));

        // Delete takes the record the user is looking at.
        w.Grid()->setCurrentIndex(w.GridModel()->index(0, 0));
        ui.ExpectAsk("Confirm", QString("Delete this record?"), Answer::Yes);
        w.DoDelete();
        QCOMPARE(GridItems(w), QStringList{"Wrist Watch"});
        HALVENOR_VERIFY_UI(ui);
    }

    void tableTheUserMayNotWriteOpensReadOnlyAndSaysSoOnce_data() {
        QTest::addColumn<bool>("fileReadOnly");
        QTest::newRow("folder the user may not write") << false;
        QTest::newRow("data file of mode 444") << true;
    }
    void tableTheUserMayNotWriteOpensReadOnlyAndSaysSoOnce() {
        QFETCH(bool, fileReadOnly);
        const QByteArray asUser = qgetenv("HALVENOR_TEST_FOLDER");
        if (asUser.isEmpty()) {
            // Made here; the rest runs in this test program started again
            // as a user bound by permissions (the build machine runs as root).
            ::chmod(m_home->path().toLocal8Bit().constData(), 0755);
            QVERIFY(QDir(m_home->path()).mkdir("ro"));
            const QString folder = m_home->filePath("ro");
            const QString path = MakeTable(folder + "/T.DBF", {"Wrist Watch", "Laptop Computer", "Camera"});
            for (const QString& f : QDir(folder).entryList(QDir::Files)) {
                const QByteArray p = QDir(folder).filePath(f).toLocal8Bit();
                if (testsupport::RunningAsRoot() && !fileReadOnly)
                    (void)!::chown(p.constData(), testsupport::kNobody, testsupport::kNobody);
                ::chmod(p.constData(), fileReadOnly ? 0444 : 0644);
            }
            ::chmod(folder.toLocal8Bit().constData(), 0555);
            const QByteArray before = [&] {
                QFile f(path);
                return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            }();
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("HALVENOR_TEST_FOLDER", folder);
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.setChildProcessModifier([] {
                if (testsupport::RunningAsRoot() &&
                    (::setgroups(0, nullptr) != 0 || ::setgid(testsupport::kNobody) != 0 ||
                     ::setuid(testsupport::kNobody) != 0))
                    ::_exit(3);
            });
            // A copy the user can run wherever the build folder lies.
            const QString program = m_home->filePath("child-test");
            QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
            ::chmod(program.toLocal8Bit().constData(), 0755);
            child.start(program, {QString(QTest::currentTestFunction()) + ":" + QTest::currentDataTag()});
            QVERIFY(child.waitForFinished(120000));
            const QByteArray output = child.readAll();
            ::chmod(folder.toLocal8Bit().constData(), 0755);
            QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
            QVERIFY2(output.contains("PASS   : DatabaseCommandsTest::tableTheUserMayNotWrite") &&
                         output.contains(" 0 failed, 0 skipped"),
                     output.constData());
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), before);  // the header flag included
            QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"T.DBF"});
            return;
        }
        const QString path = QString::fromLocal8Bit(asUser) + "/T.DBF";
        ScriptedUiServices ui;
        MainWindow w(kScreen);
        w.show();
        common::AppSettings().sortFields = {1, 0, 0, 0};
        w.BuildSortString();
        ui.ExpectOpenFile("Open Database File", path);
        ui.ExpectMessage("Notice", std::nullopt);
        w.DoOpen();
        QVERIFY(ui.Messages().last().contains("read"));
        QCOMPARE(w.windowTitle(), QString("Halvenor Inventory 95 (T)"));
        QCOMPARE(common::AppSettings().lastDatabase, path);
        QCOMPARE(GridItems(w), (QStringList{"Camera", "Laptop Computer", "Wrist Watch"}));
        // Reopened by a command: not told again. Changing is refused clearly.
        w.DoEndSearch();
        ui.ExpectAsk("Confirm", QString("Delete this record?"), Answer::Yes);
        ui.ExpectMessage("Error", std::nullopt);
        w.Action("&Delete")->trigger();
        QVERIFY(ui.Messages().last().contains("read-only"));
        QCOMPARE(GridItems(w), (QStringList{"Camera", "Laptop Computer", "Wrist Watch"}));
        HALVENOR_VERIFY_UI(ui);
    }

private:
    std::unique_ptr<QTemporaryDir> m_home;
};

QTEST_MAIN(DatabaseCommandsTest)
#include "DatabaseCommandsTest.moc"
