// The main window driven headless: start-up with and without settings and
// data, the invalid-database loop, the access-mode layouts, screen sizes,
// date formats, the delete question and the settings written at close.

#include <QAction>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "AppPaths.h"
#include "IniFile.h"
#include "ItemGridModel.h"
#include "ItemTable.h"
#include "ScriptedUiServices.h"
#include "Settings.h"
#include "MainWindow.h"

using shell::ItemGridModel;

using common::Answer;
using common::ScriptedUiServices;
using shell::MainWindow;

namespace {

const QSize kBigScreen(1600, 1200);

void WriteSettings(const QString& section, const QString& key, const QString& value) {
    common::IniFile ini = common::IniFile::Load(common::AppPaths::SettingsFile());
    ini.SetValue(section, key, value);
    QDir().mkpath(common::AppPaths::ConfigDir());
    QVERIFY(ini.Save(common::AppPaths::SettingsFile()));
}

QString ReadSetting(const QString& section, const QString& key) {
    const common::IniFile ini = common::IniFile::Load(common::AppPaths::SettingsFile());
    return ini.Value(section, key).value_or(QString());
}

void AddItems(MainWindow& w, const std::vector<std::pair<std::string, std::string>>& items) {
    store::Table& t = w.ItemTable();
    for (const auto& [item, date] : items) {
        t.Append();
        t.SetText("Item", item);
        t.SetText("PurchDate", date);
        t.Post();
    }
    w.RefreshGrid();
    w.DisplayCount();
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", m_home->filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", m_home->filePath("config").toUtf8());
        common::AppSettings() = common::Settings();
    }

    void firstStartCreatesMasterAndWritesSettingsAtClose() {
        ScriptedUiServices ui;
        QString master;
        {
            MainWindow w(kBigScreen);
            QVERIFY(w.Created());
            QCOMPARE(w.windowTitle(), QString("Halvenor Inventory 95 (MASTER)"));
            master = common::AppPaths::Join(common::AppPaths::DataDir(), "MASTER.DBF");
            QVERIFY(QFile::exists(master));
            QCOMPARE(w.ItemTable().FieldCount(), 22);
            QCOMPARE(w.CountLabel()->text(), QString("0"));
            // The default sort order is in force through the "NewIndex" tag.
            QCOMPARE(w.ItemTable().ActiveIndex(), std::string("NewIndex"));
            QVERIFY(!QFile::exists(common::AppPaths::SettingsFile()));
            w.show();
            w.move(12, 34);
            w.close();
        }
        QVERIFY(QFile::exists(common::AppPaths::SettingsFile()));
        QCOMPARE(ReadSetting("Misc", "Last Database"), master);
        QCOMPARE(ReadSetting("Misc", "Main Window Left"), QString("12"));
        QCOMPARE(ReadSetting("Sort Order", "Primary Sort"), QString("12"));
        QCOMPARE(ReadSetting("Field Names", "Descriptio"), QString("Description"));
        HALVENOR_VERIFY_UI(ui);
    }

    void missingLastDatabaseFallsBackToMasterSilently() {
        WriteSettings("Misc", "Last Database", m_home->filePath("gone/OLD.DBF"));
        ScriptedUiServices ui;
        MainWindow w(kBigScreen);
        QVERIFY(w.Created());
        QCOMPARE(w.windowTitle(), QString("Halvenor Inventory 95 (MASTER)"));
        HALVENOR_VERIFY_UI(ui);
    }

    void invalidLastDatabaseLoopsThroughTheOpenDialog() {
        const QString bad = m_home->filePath("NOTOURS.DBF");
        {
            store::Table t;
            store::PointAt(t, bad.toStdString());
            t.Create({store::FieldDef::String("Name", 10)});
        }
        store::Table create, check;
        const QString good = m_home->filePath("home.items.dbf");
        QVERIFY(store::MakeNewDB(create, check, good.toStdString(), nullptr));
        WriteSettings("Misc", "Last Database", bad);

        ScriptedUiServices ui;
        ui.ExpectMessage("Error", QString(store::kNotItemTableMessage));
        ui.ExpectMessage("Error", QString("The last database used as recorded in the INI file is not a valid Halvenor "
                                          "Inventory 95 file.  You will need to choose a new file."));
        ui.ExpectOpenFile("Open Database File", std::nullopt);  // cancelled: the recorded file is checked again
        ui.ExpectMessage("Error", QString(store::kNotItemTableMessage));
        ui.ExpectOpenFile("Open Database File", bad);  // the same bad file picked
        ui.ExpectMessage("Error", QString(store::kNotItemTableMessage));
        ui.ExpectMessage("Error", QString(store::kNotItemTableMessage));
        ui.ExpectOpenFile("Open Database File", good);
        MainWindow w(kBigScreen);
        HALVENOR_VERIFY_UI(ui);
        QCOMPARE(w.windowTitle(), QString("Halvenor Inventory 95 (home)"));
        QVERIFY(w.ItemTable().IsOpen());
        QCOMPARE(common::AppSettings().lastDatabase, good);
        QCOMPARE(common::AppSettings().lastFiles[0], bad);
    }

    void accessModesShowTheirControls_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("speed buttons") << 1;
        QTest::newRow("lettered buttons") << 2;
        QTest::newRow("no buttons") << 3;
    }
    void accessModesShowTheirControls() {
        QFETCH(int, mode);
        WriteSettings("Misc", "Button Bar", QString::number(mode));
        ScriptedUiServices ui;
        MainWindow w(kBigScreen);
        QCOMPARE(w.SpeedPanel()->isHidden(), mode != 1);
        QCOMPARE(w.SpeedButtons().size(), size_t(17));
        QCOMPARE(w.SpeedButtons()[0]->toolTip(), QString("New Database"));
        QCOMPARE(w.SpeedButtons()[16]->toolTip(), QString("Help"));
        QCOMPARE(w.LetteredButtons().size(), size_t(10));
        QStringList captions;
        for (QPushButton* b : w.LetteredButtons()) {
            QCOMPARE(b->isHidden(), mode != 2);
            QCOMPARE(b->isEnabled(), mode == 2 && b->text() != "E&nd Srch");
            captions << b->text();
        }
        QCOMPARE(captions, (QStringList{"&Add", "&Edit", "&Copy", "&Delete", "&Search", "E&nd Srch", "&Reports",
                                        "&Viewer", "He&lp", "E&xit"}));
        for (QFrame* f : w.ButtonBevels()) QCOMPARE(f->isHidden(), mode != 2);
        QCOMPARE(w.NavigatorLabel()->isHidden(), mode != 2);
        QCOMPARE(w.NavigatorLabel()->text(), QString("Navigation Controls"));
        QVERIFY(!w.Navigator()->isHidden());
        // Without a button bar the navigator moves into the viewer's title row.
        QCOMPARE(w.Navigator()->parentWidget() == w.ViewerLabel()->parentWidget(), mode == 3);
        const char* checks[3] = {"&Speed Buttons", "&Lettered Buttons", "&None"};
        for (int i = 0; i < 3; ++i) QCOMPARE(w.Action(checks[i])->isChecked(), i + 1 == mode);
        // Changing the mode later applies the same table.
        w.ChooseAccessMode(mode == 1 ? 2 : 1);
        QCOMPARE(w.SpeedPanel()->isHidden(), mode == 1);
        HALVENOR_VERIFY_UI(ui);
    }

    void changingTheAccessModeDoesNotWidenTheWindow() {
        ScriptedUiServices ui;
        MainWindow w(kBigScreen);
        common::AppSettings().showTips = false;
        w.show();
        QCoreApplication::processEvents();
        const int width = w.width();
        for (int mode : {2, 3, 1, 3, 2}) {
            w.ChooseAccessMode(mode);
            QCoreApplication::processEvents();
            QCOMPARE(w.width(), width);
        }
        HALVENOR_VERIFY_UI(ui);
    }

    void screenSizeIsRefusedOrStored() {
        WriteSettings("Misc", "Window Size", "1280");
        {
            ScriptedUiServices ui;
            MainWindow w(QSize(1024, 768));
            QCOMPARE(w.Factor(), 1.0);
            QVERIFY(w.Action("640 x 480")->isChecked());
            QVERIFY(!w.Action("1280 x 1024")->isChecked());
            w.Action("1280 x 1024")->trigger();  // the stored value: choosing it does nothing
            QVERIFY(w.Action("640 x 480")->isChecked());
            QVERIFY(!w.Action("1280 x 1024")->isChecked());
            HALVENOR_VERIFY_UI(ui);
        }
        {
            ScriptedUiServices ui;
            ui.ExpectMessage("Error", QString("Your current screen resolution does not support 1280 x 1024 pixels."));
            WriteSettings("Misc", "Window Size", "640");
            common::AppSettings() = common::Settings();
            MainWindow w(QSize(1024, 768));
            w.ChooseScreenSize(1280);
            QCOMPARE(common::AppSettings().windowSize, 640);
            QCOMPARE(w.Factor(), 1.0);
            w.ChooseScreenSize(1024);
            QCOMPARE(common::AppSettings().windowSize, 1024);
            QCOMPARE(w.Factor(), 1.6);
            QVERIFY(w.Action("1024 x 768")->isChecked());
            QVERIFY(!w.Action("640 x 480")->isChecked());
            w.show();
            w.close();
            HALVENOR_VERIFY_UI(ui);
        }
        ScriptedUiServices ui;
        common::AppSettings() = common::Settings();
        MainWindow again(QSize(1024, 768));
        QCOMPARE(again.Factor(), 1.6);
        QVERIFY(again.Action("1024 x 768")->isChecked());
    }

    void dateFormatRedisplaysDatesAndIsStored() {
        ScriptedUiServices ui;
        MainWindow w(kBigScreen);
        w.show();
        AddItems(w, {{"Camera", "3/7/96"}});
        const int dateColumn = 9;  // Purchase Date in the default column order
        QCOMPARE(w.GridModel()->PositionOfColumn(dateColumn), 10);
        QCOMPARE(w.GridModel()->index(0, dateColumn).data().toString(), QString("3/7/96"));
        w.ChooseDateFormat(12);
        QCOMPARE(w.GridModel()->index(0, dateColumn).data().toString(), QString("7.3.1996"));
        QCOMPARE(common::AppSettings().dateFormat, 12);
        QVERIFY(w.Action("dd.mm.yyyy")->isChecked());
        QVERIFY(!w.Action("mm/dd/yy")->isChecked());
        w.Action("dd.mm.yyyy")->trigger();  // the checked one: nothing changes
        QVERIFY(w.Action("dd.mm.yyyy")->isChecked());
        QCOMPARE(common::AppSettings().dateFormat, 12);
        w.ChooseDateFormat(1);
        HALVENOR_VERIFY_UI(ui);
    }

    void deleteAsksAndAlwaysRefreshesTheCount() {
        ScriptedUiServices ui;
        MainWindow w(kBigScreen);
        w.show();
        AddItems(w, {{"Lamp", ""}, {"Desk", ""}});
        QCOMPARE(w.CountLabel()->text(), QString("2"));
        // Another program's change shows after either answer.
        w.CountLabel()->setText("stale");
        ui.ExpectAsk("Confirm", QString("Delete this record?"), Answer::No);
        w.DoDelete();
        QCOMPARE(w.CountLabel()->text(), QString("2"));
        ui.ExpectAsk("Confirm", QString("Delete this record?"), Answer::Yes);
        w.Action("&Delete")->trigger();
        QCOMPARE(w.CountLabel()->text(), QString("1"));
        QCOMPARE(w.GridModel()->rowCount(), 1);
        ui.ExpectAsk("Confirm", QString("Delete this record?"), Answer::Yes);
        w.DoDelete();
        // Deleting with no record left is the engine's error, shown; nothing else happens.
        ui.ExpectAsk("Confirm", QString("Delete this record?"), Answer::Yes);
        ui.ExpectMessage("Error", QString("Cannot perform this operation on an empty table."));
        w.Action("&Delete")->trigger();
        QCOMPARE(w.CountLabel()->text(), QString("0"));
        HALVENOR_VERIFY_UI(ui);
    }

    void recordEditedInTheGridMovesToItsPlaceWhenItsRowIsLeft() {
        ScriptedUiServices ui;
        MainWindow w(kBigScreen);
        common::AppSettings().showTips = false;
        w.show();
        common::AppSettings().gridFieldEditing = true;
        w.SetViewerOptions();
        store::Table& t = w.ItemTable();
        for (const char* category : {"Books", "Garden", "Tools"}) {
            t.Append();
            t.SetText("Item", std::string("in ") + category);
            t.SetText("Category", category);
            t.Post();
        }
        w.RefreshGrid();
        ItemGridModel* model = w.GridModel();
        int categoryColumn = -1;
        for (int c = 0; c < model->columnCount(); ++c)
            if (model->PositionOfColumn(c) == 12) categoryColumn = c;
        QVERIFY(categoryColumn >= 0);
        QVERIFY(model->setData(model->index(0, categoryColumn), "Zoo", Qt::EditRole));
        QCOMPARE(model->index(0, 0).data().toString(), QString("in Books"));  // stays while its row is current
        w.Grid()->setCurrentIndex(model->index(1, 0));
        QTRY_COMPARE(model->index(2, 0).data().toString(), QString("in Books"));
        QCOMPARE(QString::fromStdString(t.GetText("Item")), QString("in Garden"));
        // The first column is the table's first field; a cell's edit is a step to undo.
        QCOMPARE(model->PositionOfColumn(0), 1);
        QVERIFY(model->setData(model->index(0, 0), "Spade", Qt::EditRole));
        QCOMPARE(QString::fromStdString(t.ViewOf(1).Text(0)), QString("Spade"));
        QCOMPARE(w.UndoAction()->text(), QString("&Undo Edit"));
        w.UndoAction()->trigger();
        QCOMPARE(QString::fromStdString(t.ViewOf(1).Text(0)), QString("in Garden"));
        HALVENOR_VERIFY_UI(ui);
    }

    void closingWritesTheSettings() {
        ScriptedUiServices ui;
        {
            MainWindow w(kBigScreen);
            w.ChooseAccessMode(2);
            w.ChooseCurrencyFormat(2);
            w.show();
            w.resize(700, 500);
            w.close();
        }
        QCOMPARE(ReadSetting("Misc", "Button Bar"), QString("2"));
        QCOMPARE(ReadSetting("Misc", "Currency Format"), QString("2"));
        QCOMPARE(ReadSetting("Misc", "Main Window Width"), QString("700"));
        HALVENOR_VERIFY_UI(ui);
    }

    void helpOpensTheContents() {
        ScriptedUiServices ui;
        ui.ExpectHelp("");
        MainWindow w(kBigScreen);
        w.Action("&Contents")->trigger();
        HALVENOR_VERIFY_UI(ui);
    }

    // Every command stands in its menu with its key, and no two commands
    // share a key; the report formats tick the one chosen.
    void commandsHaveTheirKeysAndNoneClash() {
        ScriptedUiServices ui;
        MainWindow w(kBigScreen);
        std::map<QString, QString> keys;  // shortcut -> caption
        std::map<QString, QString> byMenu;
        for (QMenu* menu : w.menuBar()->findChildren<QMenu*>())
            for (QAction* a : menu->actions()) {
                if (a->shortcut().isEmpty()) continue;
                const QString key = a->shortcut().toString();
                QVERIFY2(!keys.count(key) || keys[key] == a->text(), qPrintable(key + ": " + keys[key] + ", " + a->text()));
                keys[key] = a->text();
                byMenu[a->text()] = menu->title() + " " + key;
            }
        const std::map<QString, QString> expected = {
            {"&New Database", "&File Ctrl+W"}, {"&Open Database", "&File Ctrl+O"}, {"&Back Up Data", "&File Ctrl+B"},
            {"&Restore Data", "&File Ctrl+Y"}, {"&Print", "&File Ctrl+P"}, {"Printer &Setup", "&File Ctrl+U"},
            {"E&xit", "&File Ctrl+X"}, {"&Add", "&Records Ctrl+A"}, {"&Edit", "&Records Ctrl+E"},
            {"&Copy", "&Records Ctrl+C"}, {"&Delete", "&Records Ctrl+D"}, {"&Import", "&Records Ctrl+M"},
            {"E&xport", "&Records Ctrl+T"}, {"&Search (Query)", "Navi&gate Ctrl+S"}, {"&End Search", "Navi&gate Ctrl+I"},
            {"&Locate", "Navi&gate Ctrl+L"}, {"Locate &Next", "Navi&gate Ctrl+N"}, {"&Reports", "Navi&gate Ctrl+R"},
            {"&Viewer", "Navi&gate Ctrl+V"}, {"&Overview", "Navi&gate Ctrl+Shift+O"},
            {"Sort &Order", "&Options Ctrl+Q"}, {"&Search and Replace", "&Tools Ctrl+F"}, {"&Contents", "&Help Ctrl+H"}};
        for (const auto& [caption, where] : expected) QCOMPARE(byMenu[caption], where);

        w.ChooseNumericFormat(1);
        QVERIFY(w.Action("&U.S. Format")->isChecked());
        w.ChooseNumericFormat(2);
        QVERIFY(!w.Action("&U.S. Format")->isChecked());
    }

private:
    std::unique_ptr<QTemporaryDir> m_home;
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
