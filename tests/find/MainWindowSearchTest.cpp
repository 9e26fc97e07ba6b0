// The main window's Search, End Search, Locate and Locate Next commands
// with the real window: "SEARCH ON", End Search, the item count and the
// grid follow the search, and the grid follows a located record.

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include "FindTestSupport.h"
#include "ItemGridModel.h"
#include "ScriptedUiServices.h"
#include "MainWindow.h"
#include "LocateDialog.h"
#include "SearchWindow.h"

using common::ScriptedUiServices;

class MainWindowSearchTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void searchEndSearchAndLocate();

private:
    QTemporaryDir m_home;
};

void MainWindowSearchTest::initTestCase() {
    qputenv("XDG_DATA_HOME", (m_home.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + "/config").toUtf8());
}

void MainWindowSearchTest::searchEndSearchAndLocate() {
    ScriptedUiServices ui;
    ui.AllowBeeps(true);
    shell::MainWindow main(QSize(1024, 768));
    QVERIFY(main.Created());
    store::Table& t = main.ItemTable();
    findtest::AddItem(t, {{"Item", "tv"}, {"Brand", "Sony"}});
    findtest::AddItem(t, {{"Item", "saw"}, {"Brand", "Jackson"}});
    findtest::AddItem(t, {{"Item", "cup"}, {"Brand", "Delft"}});
    main.RefreshGrid();
    main.DisplayCount();
    QCOMPARE(main.CountLabel()->text(), QString("3"));
    QVERIFY(main.SearchOnLabel()->isHidden());
    QVERIFY(!main.Action("&End Search")->isEnabled());

    ui.ExpectModal("Search", [](QDialog& d) {
        auto& search = static_cast<find::SearchWindow&>(d);
        search.SearchGrid->item(2, 2)->setText("son");
        search.ApplySearch();
    });
    main.DoSearch();
    QVERIFY(main.SearchOn());
    QVERIFY(!main.SearchOnLabel()->isHidden());
    QVERIFY(main.Action("&End Search")->isEnabled());
    QCOMPARE(main.CountLabel()->text(), QString("2"));
    QCOMPARE(main.GridModel()->rowCount(), 2);

    // Showing the window again and leaving it changes nothing.
    ui.ExpectModal("Search", [](QDialog& d) { static_cast<find::SearchWindow&>(d).CloseWindow(); });
    main.DoSearch();
    QVERIFY(main.SearchOn());
    QCOMPARE(main.CountLabel()->text(), QString("2"));

    // Locate within the search, then after it.
    ui.ExpectModal("Locate Field Value", [](QDialog& d) {
        auto& dlg = static_cast<find::LocateDialog&>(d);
        dlg.FieldNameComboBox->setCurrentText("Item");
        dlg.SearchValue->setText("cup");
        dlg.FindFirst();
    });
    ui.ExpectMessage("Information", "No matches found");
    main.DoFind();

    main.DoEndSearch();
    QVERIFY(!main.SearchOn());
    QVERIFY(main.SearchOnLabel()->isHidden());
    QVERIFY(!main.Action("&End Search")->isEnabled());
    QCOMPARE(main.CountLabel()->text(), QString("3"));

    t.First();
    main.DoFindNext();  // "cup" is remembered
    QCOMPARE(QString::fromStdString(t.GetText("Item")), QString("cup"));
    QCOMPARE(main.GridModel()->RecordOfRow(main.Grid()->currentIndex().row()), t.RecNo());
    HALVENOR_VERIFY_UI(ui);
}

QTEST_MAIN(MainWindowSearchTest)
#include "MainWindowSearchTest.moc"
